// Pieces of statements that both writers (EQU and CSV) put together from a layout: the TYPE
// letter of an item, its place as an operand, and the note on a table of varying size.
#include <string>

#include "copybook/copybook.h"

namespace recsift::copybook {

char type_letter(const Item& item) {
  switch (item.kind) {
    case Kind::kZoned:
      return 'Z';
    case Kind::kPacked:
      return 'P';
    case Kind::kBinary:
      return 'B';
    case Kind::kText:
      break;
  }
  return 'C';
}

// A length, not an end position: in a test "POS first,last" is a range searched for the value,
// while "POS first LEN n" is the field itself.
std::string field_place(const Item& item) {
  return "POS " + std::to_string(item.offset + 1) + " LEN " + std::to_string(item.length);
}

std::string table_note(const VariableTable& table) {
  const int64_t end = table.offset + table.max_occurs * table.unit;
  std::string s = "* " + table.name + ": OCCURS ";
  if (table.min_occurs >= 0) s += std::to_string(table.min_occurs) + " TO ";
  s += std::to_string(table.max_occurs) + " TIMES DEPENDING ON " + table.depending_on + ", " +
       std::to_string(table.unit) + " bytes each from POS " + std::to_string(table.offset + 1) +
       "; records of ";
  if (table.min_occurs >= 0) {
    s += std::to_string(table.offset + table.min_occurs * table.unit) + " to ";
  } else {
    s += "at most ";
  }
  return s + std::to_string(end) + " bytes\n";
}

}  // namespace recsift::copybook
