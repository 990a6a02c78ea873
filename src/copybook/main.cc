// recsift-copybook: reads a COBOL copybook and writes control statements for recsift to standard
// output. Exit status 0 when the statements were written, 1 when the copybook could not be read
// (the reason on standard error), 2 for a wrong command line.
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
    "\n"
    "Reads a COBOL copybook and writes one EQU statement per field to standard output\n"
    "(EQU %ACCT_ID% POS 1 LEN 11 TYPE Z), for a control file to INCLUDE.\n"
    "\n"
    "  --redefine NAME  use the REDEFINES alternative NAME instead of the first layout\n"
    "                   of its area (repeat for other areas)\n"
    "  -h, --help       show this text\n"
    "  --version        show the version\n";

int usage_error(std::string_view why) {
  std::cerr << "recsift-copybook: " << why << "\n" << kUsage;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  namespace cb = recsift::copybook;
  cb::Options options;
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
    if (a == "--redefine") {
      if (i + 1 >= argc) return usage_error("--redefine needs a name");
      options.redefines.emplace_back(argv[++i]);
    } else if (a.substr(0, 11) == "--redefine=") {
      options.redefines.emplace_back(a.substr(11));
    } else if (a.size() > 1 && a[0] == '-') {
      return usage_error("unknown option " + std::string(a));
    } else if (path.empty()) {
      path = a;
    } else {
      return usage_error("one copybook only");
    }
  }
  if (path.empty()) return usage_error("no copybook named");

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
  if (cb::parse_copybook(text.str(), options, &layout, &error) != 0 ||
      cb::write_equ(layout, &out, &error) != 0) {
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
