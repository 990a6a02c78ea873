// A layout as a CSV control file: READ the records of %1, and for each one write a CSV line to
// %2 whose cells are the named elementary items, after a header line of their names. Groups and
// FILLER give no column; the numbers are read as the copybook stores them (TYPE, DEC, SIGN=,
// UNSIGNED), so the cells hold values, not bytes.
//
// Every note goes in the comments at the top: the COLUMN statements must follow their CSV
// statement directly.
#include <string>

#include "copybook/copybook.h"

namespace recsift::copybook {
namespace {

// The longest control line the program reads whole.
constexpr size_t kMaxLine = 500;

// The 4-byte record descriptor that V and VB records begin with (LRECL counts it).
constexpr int64_t kDescriptor = 4;

// The longest V record (descriptor included) read without an LRECL of its own.
constexpr int64_t kDefaultVariableLrecl = 2048;

// A quoted literal of the statement language: a quote inside is written twice.
std::string quoted(std::string_view text) {
  std::string s = "'";
  for (char c : text) {
    s += c;
    if (c == '\'') s += c;
  }
  return s + "'";
}

// The last component of a path, with the characters that would end or reshape a comment (the
// statement separator, quotes) and control characters replaced by "?".
std::string comment_safe_name(std::string_view path) {
  const size_t slash = path.find_last_of('/');
  std::string s(slash == std::string_view::npos ? path : path.substr(slash + 1));
  for (char& c : s) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '!' || c == '\'' || c == '"') c = '?';
  }
  return s;
}

// The READ statement, and a note when the LRECL given cuts the layout short.
std::string read_statement(const Layout& layout, const CsvOptions& o, std::string* notes) {
  const bool variable = o.recfm == RecordFormat::kV || o.recfm == RecordFormat::kVB;
  std::string s = "READ %1 RECFM=";
  switch (o.recfm) {
    case RecordFormat::kF:
      s += "F";
      break;
    case RecordFormat::kFB:
      s += "FB";
      break;
    case RecordFormat::kV:
      s += "V";
      break;
    case RecordFormat::kVB:
      s += "VB";
      break;
  }
  // Positions count from the first data byte, as in the copybook: the descriptor is not data.
  if (variable) s += " NORDW";
  int64_t lrecl = o.lrecl;
  if (lrecl == 0 && !variable) lrecl = layout.record_length;
  // A V record longer than the default LRECL would be refused as a bad descriptor: the layout's
  // longest record sets the LRECL then.
  if (lrecl == 0 && layout.record_length + kDescriptor > kDefaultVariableLrecl) {
    lrecl = layout.record_length + kDescriptor;
  }
  if (lrecl > 0) s += " LRECL=" + std::to_string(lrecl);
  const int64_t data = variable ? lrecl - kDescriptor : lrecl;
  if (lrecl > 0 && data < layout.record_length) {
    *notes += "* LRECL " + std::to_string(lrecl) + " holds " + std::to_string(data) +
              " data bytes of the layout's " + std::to_string(layout.record_length) +
              ": columns past byte " + std::to_string(data) + " are empty\n";
  }
  return s + "\n";
}

// The CSV statement: separator, translation, trimming and the header line.
std::string csv_statement(const CsvOptions& o) {
  std::string s = "CSV %2";
  if (o.separator == '\t') {
    s += " SEP=TAB";
  } else if (o.separator != ',') {
    s += " SEP=" + quoted(std::string(1, o.separator));
  }
  if (o.ebcdic) s += " EBCDIC";
  if (o.trim) s += " TRIM";
  return s + " HEADER\n";
}

// How a number is read: TYPE, UNSIGNED for a binary item without S, DEC for the decimal places
// (negative for P positions right of the digits), SIGN= where the sign is not over-punched in
// the last digit. Text needs none of them.
std::string number_form(const Item& item) {
  if (item.kind == Kind::kText) return "";
  std::string s = std::string(" TYPE ") + type_letter(item);
  if (item.kind == Kind::kBinary && !item.is_signed) s += " UNSIGNED";
  if (item.scale != 0) s += " DEC " + std::to_string(item.scale);
  switch (item.sign) {
    case SignPosition::kLeading:
      s += " SIGN=LEADING";
      break;
    case SignPosition::kLeadingSeparate:
      s += " SIGN=LEADSEP";
      break;
    case SignPosition::kTrailingSeparate:
      s += " SIGN=TRAILSEP";
      break;
    case SignPosition::kNone:
    case SignPosition::kTrailing:
      break;
  }
  return s;
}

}  // namespace

int write_csv(const Layout& layout, const CsvOptions& options, std::string* out, Error* error) {
  std::string columns;
  for (const Item& item : layout.items) {
    if (item.group || item.filler) continue;
    // One column per statement: a table's columns would not fit one control line.
    const std::string line =
        "COLUMN " + quoted(item.name) + " " + field_place(item) + number_form(item);
    if (line.size() > kMaxLine) {
      error->line = item.line;
      error->text.clear();
      error->reason = "the column statement of " + item.name + " would be longer than " +
                      std::to_string(kMaxLine) + " characters";
      return 1;
    }
    columns += line + "\n";
  }
  if (columns.empty()) {
    *error = Error{};
    error->reason = "the layout has no named elementary field to make a column of";
    return 1;
  }
  std::string notes;
  if (layout.variable) {
    notes += table_note(*layout.variable);
    notes += "* A record that holds fewer occurrences gives empty cells for the others\n";
  }
  const std::string read = read_statement(layout, options, &notes);
  out->append("* Records of %1 as CSV lines in %2, columns from " +
              comment_safe_name(options.copybook) + "\n");
  out->append(notes + read + csv_statement(options) + columns);
  return 0;
}

}  // namespace recsift::copybook
