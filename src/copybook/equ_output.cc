// A layout as EQU statements: each named elementary field becomes a variable that stands for
// its position, length and (for numbers) TYPE, so that statements can name fields instead of
// bytes.
#include <map>
#include <string>

#include "copybook/copybook.h"

namespace recsift::copybook {

int write_equ(const Layout& layout, std::string* out, Error* error) {
  std::map<std::string, int> seen;  // variable name -> line of the field that took it
  out->append("* Record length " + std::to_string(layout.record_length) + "\n");
  if (layout.variable) out->append(table_note(*layout.variable));
  for (const Item& item : layout.items) {
    const std::string place = field_place(item);
    if (item.group) {
      if (!item.filler) out->append("* " + item.name + " " + place + "\n");
      continue;
    }
    if (item.filler) continue;
    auto [it, fresh] = seen.emplace(item.name, item.line);
    if (!fresh) {
      error->line = item.line;
      error->text.clear();
      error->reason = "the field name " + item.name + " is used twice (lines " +
                      std::to_string(it->second) + " and " + std::to_string(item.line) +
                      "): a second EQU would replace the first";
      return 1;
    }
    if (item.sign == SignPosition::kLeading) {
      // TYPE Z reads a sign over-punched in the last digit only: say so where it is elsewhere.
      out->append("* " + item.name +
                  ": sign over-punched in the first digit, which TYPE Z does not read\n");
    } else if (item.sign == SignPosition::kLeadingSeparate) {
      out->append("* " + item.name + ": sign in the first byte\n");
    } else if (item.sign == SignPosition::kTrailingSeparate) {
      out->append("* " + item.name + ": sign in the last byte\n");
    }
    // Characters are what a field is without TYPE; a TYPE operand would keep a text field out of
    // the statements that take none (MOVE, TRAN, PRINT).
    out->append("EQU %" + item.name + "% " + place);
    if (item.kind != Kind::kText) out->append(std::string(" TYPE ") + type_letter(item));
    out->append("\n");
  }
  return 0;
}

std::string describe(const Error& error, std::string_view file) {
  std::string s(file);
  if (error.line > 0) s += ":" + std::to_string(error.line);
  s += ": " + error.reason;
  if (!error.text.empty()) s += ": " + error.text;
  return s;
}

}  // namespace recsift::copybook
