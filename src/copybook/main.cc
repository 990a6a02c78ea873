// recsift-copybook: reads a COBOL copybook and writes control statements for recsift to standard
// output: EQU statements for the fields, or (--csv) a control file that turns the records into
// CSV lines. Exit status 0 when the statements were written, 1 when the copybook could not be
// read (the reason on standard error), 2 for a wrong command line.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "copybook/copybook.h"

namespace {

constexpr std::string_view kVersion = "recsift-copybook 2.08.666";

constexpr std::string_view kUsage =
    "usage: recsift-copybook [--redefine NAME]... COPYBOOK\n"
    "       recsift-copybook --csv [--ebcdic] [--trim] [--sep C|tab] [--recfm F|FB|V|VB]\n"
    "                        [--lrecl N] [--redefine NAME]... COPYBOOK\n"
    "\n"
    "Reads a COBOL copybook and writes one EQU statement per field to standard output\n"
    "(EQU %ACCT_ID% POS 1 LEN 11 TYPE Z), for a control file to INCLUDE.\n"
    "With --csv it writes a whole control file instead: recsift -ctl FILE IN OUT then\n"
    "writes each record of IN as a CSV line to OUT, after a line of the field names.\n"
    "\n"
    "  --redefine NAME  use the REDEFINES alternative NAME instead of the first layout\n"
    "                   of its area (repeat for other areas)\n"
    "  --csv            write the CSV control file\n"
    "  --ebcdic         (--csv) the records are EBCDIC: text is translated to ASCII\n"
    "  --trim           (--csv) drop trailing blanks of text cells\n"
    "  --sep C|tab      (--csv) the cell separator: one character or the word tab\n"
    "                   (default: comma; a double quote is refused)\n"
    "  --recfm F|FB|V|VB  (--csv) the input's record format (default F)\n"
    "  --lrecl N        (--csv) the input's LRECL (default: the record length for F and\n"
    "                   FB; for V and VB it counts the 4-byte descriptor)\n"
    "  -h, --help       show this text\n"
    "  --version        show the version\n";

// Largest LRECL accepted: a record of 1 GiB is longer than any copybook describes.
constexpr int64_t kMaxLrecl = int64_t{1} << 30;

int usage_error(std::string_view why) {
  std::cerr << "recsift-copybook: " << why << "\n" << kUsage;
  return 2;
}

std::string upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

// Reads a --sep value into *sep. Returns an empty string, or why the value is refused.
std::string read_separator(std::string_view v, char* sep) {
  if (upper(v) == "TAB" || v == "\t") {
    *sep = '\t';
    return "";
  }
  if (v.size() != 1) return "--sep takes one character or the word tab";
  const unsigned char c = static_cast<unsigned char>(v[0]);
  if (c < 0x20 || c > 0x7E) return "--sep takes a printable character or the word tab";
  if (c == '"') return "--sep: a double quote encloses cells, it cannot separate them";
  *sep = v[0];
  return "";
}

// Reads a --recfm value. Returns an empty string, or why the value is refused.
std::string read_recfm(std::string_view v, recsift::copybook::RecordFormat* recfm) {
  using recsift::copybook::RecordFormat;
  const std::string u = upper(v);
  if (u == "F") {
    *recfm = RecordFormat::kF;
  } else if (u == "FB") {
    *recfm = RecordFormat::kFB;
  } else if (u == "V") {
    *recfm = RecordFormat::kV;
  } else if (u == "VB") {
    *recfm = RecordFormat::kVB;
  } else {
    return "--recfm takes F, FB, V or VB";
  }
  return "";
}

// Reads a --lrecl value. Returns an empty string, or why the value is refused.
std::string read_lrecl(std::string_view v, int64_t* lrecl) {
  if (v.empty() || v.size() > 10 ||
      !std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return "--lrecl takes a number";
  }
  *lrecl = std::stoll(std::string(v));
  if (*lrecl < 1 || *lrecl > kMaxLrecl) return "--lrecl takes a number from 1 to 1073741824";
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  namespace cb = recsift::copybook;
  cb::Options options;
  cb::CsvOptions csv;
  bool want_csv = false;
  bool csv_only = false;  // an option that only --csv uses was given
  std::string path;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "-h" || a == "--help") {
      std::cout << kUsage;
      return 0;
    }
    if (a == "--version") {
      std::cout << kVersion << "\n";
      return 0;
    }
    // An option with a value: "--name VALUE" or "--name=VALUE".
    std::string value;
    auto takes = [&](std::string_view name) {
      if (a == name) {
        if (i + 1 >= argc) return false;
        value = argv[++i];
        return true;
      }
      if (a.size() > name.size() && a.substr(0, name.size()) == name && a[name.size()] == '=') {
        value = a.substr(name.size() + 1);
        return true;
      }
      return false;
    };
    std::string why;
    if (a == "--redefine" && i + 1 >= argc) return usage_error("--redefine needs a name");
    if (takes("--redefine")) {
      options.redefines.push_back(value);
    } else if (a == "--csv") {
      want_csv = true;
    } else if (a == "--ebcdic") {
      csv.ebcdic = csv_only = true;
    } else if (a == "--trim") {
      csv.trim = csv_only = true;
    } else if (takes("--sep")) {
      why = read_separator(value, &csv.separator);
      csv_only = true;
    } else if (takes("--recfm")) {
      why = read_recfm(value, &csv.recfm);
      csv_only = true;
    } else if (takes("--lrecl")) {
      why = read_lrecl(value, &csv.lrecl);
      csv_only = true;
    } else if (a == "--sep" || a == "--recfm" || a == "--lrecl") {
      return usage_error(std::string(a) + " needs a value");
    } else if (a.size() > 1 && a[0] == '-') {
      return usage_error("unknown option " + std::string(a));
    } else if (path.empty()) {
      path = a;
    } else {
      return usage_error("one copybook only");
    }
    if (!why.empty()) return usage_error(why);
  }
  if (path.empty()) return usage_error("no copybook named");
  if (csv_only && !want_csv) {
    return usage_error("--ebcdic, --trim, --sep, --recfm and --lrecl go with --csv");
  }
  const bool variable = csv.recfm == cb::RecordFormat::kV || csv.recfm == cb::RecordFormat::kVB;
  if (variable && csv.lrecl != 0 && csv.lrecl <= 4) {
    return usage_error("--lrecl of V and VB records counts the 4-byte descriptor: at least 5");
  }

  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::cerr << "recsift-copybook: cannot read " << path << "\n";
    return 1;
  }
  std::ostringstream text;
  text << in.rdbuf();

  cb::Layout layout;
  cb::Error error;
  std::string out;
  csv.copybook = path;
  if (cb::parse_copybook(text.str(), options, &layout, &error) != 0 ||
      (want_csv ? cb::write_csv(layout, csv, &out, &error) : cb::write_equ(layout, &out, &error)) !=
          0) {
    std::cerr << "recsift-copybook: " << cb::describe(error, path) << "\n";
    return 1;
  }
  std::cout << out;
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "recsift-copybook: cannot write the statements\n";
    return 1;
  }
  return 0;
}
