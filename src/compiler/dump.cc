// The compiled program as text: one line per statement record, in chain order, for the compiler
// tests and for traces; and the text forms of an operand descriptor and of a file that the lines
// use.
//
// Exports (compiler.h): dump, describe_operand, describe_file.
//
// A line holds the selection id and the type name, then only the fields that are set, each as
// name=value (flags by name), so that a test states exactly what a statement compiled to:
//   1 act move op0=field(pos 10 len 6 range) op1=lit('ABC')
//   -2 if cmp=1 op0=field(pos 1 len =2nd kw) op1=lit('A') true=#3 false=#4
// Continuations and jump targets name records by their place in the chain (#1 is the head).
//
// An operand is its kind and, in brackets, its data and every detail that differs from what the
// kind implies (see kKindRows): a literal is character data (TYPE C) as long as its bytes, a
// number held in the descriptor is a 4-byte binary, a field with a length has the field format.
// So a detail the compiler set wrongly always shows. A file is its name as defined (relative to
// the current folder when it lies below it, so that the text does not depend on where the run
// starts) and, in brackets, its open type, record format and record length.
#include <cstdio>
#include <string>
#include <string_view>

#include "compiler/compiler.h"
#include "files/files.h"
#include "host/host.h"
#include "program/operand.h"
#include "program/program.h"

namespace recsift::compiler {

namespace {

// Short names of the statement types, by type.
constexpr std::string_view kTypeNames[] = {"end", "act", "then",   "else",  "if",
                                           "and", "or",  "thenif", "elseif"};
static_assert(std::size(kTypeNames) == program::kStElseIf + 1);

// Names of the compile-time statement flags, in bit order of the names shown.
struct FlagName {
  uint32_t bit;           // StatementFlag bit
  std::string_view name;  // as shown
};
constexpr FlagName kFlagNames[] = {
    {program::kSfRange, "range"},
    {program::kSfScan, "scan"},
    {program::kSfStepped, "stepped"},
    {program::kSfReverse, "reverse"},
    {program::kSfPadded, "padded"},
    {program::kSfConsoleClear, "clear"},
    {program::kSfDumpAll, "dumpall"},
    {program::kSfRepeating, "repeating"},
    {program::kSfRetired, "retired"},
    {program::kSfDefaultInput, "definput"},
    {program::kSfContinuedThen, "contthen"},
    {program::kSfRequireRecord, "reqrec"},
};

// Operations whose argument reads best in hexadecimal: conversion codes and dump enclosures.
bool hex_argument(program::Op op) {
  return op == program::Op::kConvert || op == program::Op::kPrint || op == program::Op::kPlog ||
         op == program::Op::kLog;
}

std::string number(int64_t n) {
  return std::to_string(n);
}

std::string hex(uint32_t n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%x", n);
  return buf;
}

// ---- Operands ----------------------------------------------------------------------------------

using program::LengthKind;
using program::OperandKind;
using program::SpecialKind;
using program::Term;
using program::TermKind;

// What each kind of operand implies, by kind: the name shown and the length, type and format the
// kind has unless the descriptor says otherwise. Only differences from these are shown.
constexpr int32_t kNoLength = -1;          // no length (LengthKind::kNone)
constexpr int32_t kLiteralLength = -2;     // a fixed length of lit_length bytes
constexpr uint8_t kFormatByLength = 0xFF;  // kFormatField with a length, else undecided
struct KindRow {
  OperandKind kind;
  std::string_view name;  // as shown
  int32_t length;         // fixed length implied, kNoLength or kLiteralLength
  uint8_t type;           // NumericType implied
  uint8_t format;         // Format implied, or kFormatByLength
};
constexpr KindRow kKindRows[] = {
    {OperandKind::kNone, "none", kNoLength, 0, program::kFormatUndecided},
    {OperandKind::kField, "field", kNoLength, 0, kFormatByLength},
    {OperandKind::kLiteral, "lit", kLiteralLength, program::kTypeCharacter,
     program::kFormatLiteral},
    {OperandKind::kImmediate, "imm", 4, program::kTypeBinary, program::kFormatLiteral},
    {OperandKind::kComputed, "num", 4, program::kTypeBinary, program::kFormatLiteral},
    {OperandKind::kAreaField, "area", 4, program::kTypeBinary, program::kFormatLiteral},
    {OperandKind::kTable, "table", 256, 0, program::kFormatLiteral},
    {OperandKind::kRecordCount, "incount", 4, program::kTypeBinary, program::kFormatLiteral},
    {OperandKind::kListingLine, "line", 4, program::kTypeBinary, program::kFormatLiteral},
    {OperandKind::kReturnCode, "rc", 4, program::kTypeBinary, program::kFormatLiteral},
};
constexpr bool kind_rows_in_order() {
  for (size_t i = 0; i < std::size(kKindRows); ++i) {
    if (static_cast<size_t>(kKindRows[i].kind) != i) return false;
  }
  return true;
}
static_assert(kind_rows_in_order(), "kKindRows: entry i must describe operand kind i");
static_assert(std::size(kKindRows) == static_cast<size_t>(OperandKind::kReturnCode) + 1);

// Names of the special variables a term can stand for.
struct SpecialRow {
  SpecialKind kind;
  std::string_view name;
};
constexpr SpecialRow kSpecialRows[] = {
    {SpecialKind::kFt, "FT"},          {SpecialKind::kAreaField, "AREA"},
    {SpecialKind::kComreg, "COMREG"},  {SpecialKind::kCn, "CN"},
    {SpecialKind::kPcb, "PCB"},        {SpecialKind::kQelname, "QELNAME"},
    {SpecialKind::kParm, "PARM"},      {SpecialKind::kDsn, "DSN"},
    {SpecialKind::kDiff, "DIFF"},      {SpecialKind::kFileName, "FNAME"},
    {SpecialKind::kFileSize, "FSIZE"}, {SpecialKind::kFileHeader, "FHDR"},
    {SpecialKind::kRpl, "RPL"},        {SpecialKind::kSqlda, "SQLDA"},
    {SpecialKind::kSqlma, "SQLMA"},    {SpecialKind::kSqlca, "SQLCA"},
    {SpecialKind::kVolid, "VOLID"},    {SpecialKind::kRba, "RBA"},
    {SpecialKind::kArg, "ARG"},        {SpecialKind::kDateArea, "DATE"},
    {SpecialKind::kHeading, "HEAD"},
};

// Names of the built-in translate tables.
constexpr std::string_view kTableNames[] = {"", "upper", "lower", "print", "ascii", "ebcdic"};
static_assert(std::size(kTableNames) == program::kTableEbcdic + 1);

// Names of the format bytes that have one.
std::string format_name(uint8_t format) {
  switch (format) {
    case program::kFormatUndecided:
      return "undecided";
    case program::kFormatPointerTest:
      return "ptrtest";
    case program::kFormatLiteral:
      return "value";
    case program::kFormatField:
      return "field";
    default:
      return std::to_string(format);
  }
}

// The TYPE letter of a numeric type, or its number when it has none.
std::string type_name(uint8_t type) {
  switch (type) {
    case program::kTypeBinary:
      return "B";
    case program::kTypeCharacter:
      return "C";
    case program::kTypePacked:
      return "P";
    case program::kTypeF:
      return "F";
    case program::kTypeNumericText:
      return "Z";
    default:
      return std::to_string(type);
  }
}

// One term as written: a number with its sign, L, @n (pointer number), or a special variable's
// name with its offset in brackets when not 0. `numbers`: the chain is a computed number, whose
// terms are number kinds; a term of the other family is marked with "!".
std::string term_text(const Term& t, bool first, bool numbers) {
  std::string out;
  bool number_kind = false;
  switch (t.kind) {
    case TermKind::kNone:
      return "?";
    case TermKind::kNumber:
      number_kind = true;
      [[fallthrough]];
    case TermKind::kAbsolute:
      out = (!first && t.value >= 0 ? "+" : "") + std::to_string(t.value);
      break;
    case TermKind::kNumberRecordLength:
      number_kind = true;
      [[fallthrough]];
    case TermKind::kRecordLength:
      out = "L";
      break;
    case TermKind::kNumberPointer:
      number_kind = true;
      [[fallthrough]];
    case TermKind::kPointer:
      out = "@" + std::to_string(t.pointer);
      break;
    case TermKind::kSpecial: {
      out = "S" + std::to_string(static_cast<int>(t.special));
      for (const SpecialRow& row : kSpecialRows) {
        if (row.kind == t.special) out = std::string(row.name);
      }
      if (t.offset != 0) out += "[" + std::to_string(t.offset) + "]";
      break;
    }
  }
  if (t.kind != TermKind::kAbsolute && t.kind != TermKind::kNumber) {
    const bool negative = (t.flags & program::kTermNegative) != 0;
    out = (negative ? "-" : (first ? "" : "+")) + out;
  }
  if (number_kind != numbers) out += "!";
  return out;
}

std::string chain_text(const Term& head, bool numbers = false) {
  std::string out;
  for (const Term* t = &head; t != nullptr; t = t->next) out += term_text(*t, t == &head, numbers);
  return out;
}

// Literal bytes: 'text' when every byte is printable (a quote doubled), else X'hex'.
std::string bytes_text(const uint8_t* p, int32_t n) {
  bool printable = true;
  for (int32_t i = 0; i < n; ++i) printable = printable && p[i] >= 0x20 && p[i] < 0x7F;
  std::string out;
  if (printable) {
    out = "'";
    for (int32_t i = 0; i < n; ++i) {
      out += static_cast<char>(p[i]);
      if (p[i] == '\'') out += '\'';
    }
    return out + "'";
  }
  out = "X'";
  char buf[4];
  for (int32_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, "%02X", p[i]);
    out += buf;
  }
  return out + "'";
}

std::string length_text(const program::Operand& op) {
  switch (op.len_kind) {
    case LengthKind::kNone:
      return "len none";
    case LengthKind::kFixed:
      return "len " + std::to_string(op.len.value);
    case LengthKind::kExpression:
      return "len (" + chain_text(op.len) + ")";
    case LengthKind::kToEnd:
      return "to " + chain_text(op.end);
    case LengthKind::kRest:
      return op.len.value > 0 ? "len rest max " + std::to_string(op.len.value) : "len rest";
    case LengthKind::kSameAsFirst:
      return "len =1st";
    case LengthKind::kSameAsSecond:
      return "len =2nd";
    case LengthKind::kTwiceSecond:
      return "len 2*2nd";
    case LengthKind::kHalfSecond:
      return "len 2nd/2";
  }
  return "len ?";
}

// True when the operand's length is the one its kind implies.
bool implied_length(const program::Operand& op, const KindRow& row) {
  if (row.length == kNoLength) return op.len_kind == LengthKind::kNone;
  const int32_t n = row.length == kLiteralLength ? op.lit_length : row.length;
  return op.len_kind == LengthKind::kFixed && op.len.value == n;
}

std::string operand_text(const program::Operand* op) {
  return op != nullptr ? "=" + describe_operand(op) : std::string();
}

std::string place(const program::Program& program, const program::Statement* target) {
  int i = 1;
  for (const program::Statement* s = program.head; s != nullptr; s = s->next, ++i) {
    if (s == target) return "#" + number(i);
  }
  return "#?";
}

std::string line(const program::Program& program, const program::Statement& s) {
  std::string out = number(s.selid) + " ";
  out += s.type < std::size(kTypeNames) ? std::string(kTypeNames[s.type]) : "type" + number(s.type);
  auto add = [&out](const std::string& field) { out += " " + field; };
  if (program::is_condition(s.type)) {
    if (s.compare != 0) add("cmp=" + number(s.compare));
  } else if (s.op != program::Op::kNone) {
    if (!program::op_name(s.op).empty()) {
      add(std::string(program::op_name(s.op)));
    } else {
      add("op=" + number(static_cast<int>(s.op)));
    }
  }
  if (s.modifier != 0) add("mod=" + number(s.modifier));
  if (s.access != 0) add("access=" + number(s.access));
  if (s.argument != 0) {
    add("arg=" +
        (hex_argument(s.op) ? hex(static_cast<uint32_t>(s.argument)) : number(s.argument)));
  }
  if (s.stopaft != 0) add("stop=" + number(s.stopaft));
  if (s.times != 0) add("times=" + number(s.times));
  for (size_t i = 0; i < s.operands.size(); ++i) {
    if (s.operands[i] != nullptr) {
      add("op" + number(static_cast<int64_t>(i)) + operand_text(s.operands[i]));
    }
  }
  if (s.reply != nullptr) add("reply" + operand_text(s.reply));
  if (s.call_args != nullptr) {
    std::string args = "call[";
    for (int i = 0; i < s.argument; ++i) {
      args += (i == 0 ? "" : ",") +
              describe_operand(static_cast<const program::Operand*>(s.call_args[i]));
    }
    add(args + "]");
  }
  if (s.file != nullptr) add("file=" + describe_file(*s.file));
  if (s.file_name != nullptr) add("fname=" + std::string(s.file_name));
  if (s.pad != ' ' && s.pad != 0) add("pad=" + hex(s.pad));
  if (s.step != 1 && s.step != 0) add("step=" + number(s.step));
  if (s.ptr_var >= 0) add("ptr=" + number(s.ptr_var));
  if (s.flags != 0) {
    std::string names;
    for (const FlagName& f : kFlagNames) {
      if ((s.flags & f.bit) != 0) names += (names.empty() ? "" : ",") + std::string(f.name);
    }
    add("flags=" + names);
  }
  if (s.label != nullptr) add("label=" + std::string(s.label->name));
  if (s.branch != nullptr) {
    add("to=" + std::string(s.branch->name) + (s.branch->target != nullptr ? "" : "?"));
  }
  if (s.jump != nullptr) add("jump=" + place(program, s.jump));
  if (s.on_true != nullptr) add("true=" + place(program, s.on_true));
  if (s.on_false != nullptr) add("false=" + place(program, s.on_false));
  if (s.on_false_suspended != nullptr) add("susp=" + place(program, s.on_false_suspended));
  return out;
}

}  // namespace

std::string describe_operand(const program::Operand* op) {
  if (op == nullptr) return "null";
  const auto kind = static_cast<size_t>(op->kind);
  if (kind >= std::size(kKindRows)) return "kind" + std::to_string(kind);
  const KindRow& row = kKindRows[kind];
  std::string out;
  auto add = [&out](const std::string& detail) { out += (out.empty() ? "" : " ") + detail; };
  switch (op->kind) {
    case OperandKind::kField:
      add("pos " + chain_text(op->pos));
      break;
    case OperandKind::kLiteral:
      add(op->lit != nullptr ? bytes_text(op->lit, op->lit_length) : "no bytes");
      break;
    case OperandKind::kImmediate:
      add(std::to_string(op->immediate));
      break;
    case OperandKind::kComputed:
      add(chain_text(op->pos, true));
      break;
    case OperandKind::kAreaField:
      add(std::to_string(op->pos.offset));
      break;
    case OperandKind::kTable:
      add(op->immediate > 0 && op->immediate < static_cast<int32_t>(std::size(kTableNames))
              ? std::string(kTableNames[op->immediate])
              : std::to_string(op->immediate));
      break;
    case OperandKind::kNone:
    case OperandKind::kRecordCount:
    case OperandKind::kListingLine:
    case OperandKind::kReturnCode:
      break;
  }
  if (!implied_length(*op, row)) add(length_text(*op));
  if (op->type != row.type) add("type " + type_name(op->type));
  uint8_t format = row.format;
  if (format == kFormatByLength) {
    format = op->len_kind != LengthKind::kNone ? program::kFormatField : program::kFormatUndecided;
  }
  if (op->format != format) add("fmt " + format_name(op->format));
  if ((op->pos_flags & program::kPosKeyword) != 0) add("kw");
  if ((op->pos_flags & program::kPosRange) != 0) add("range");
  if ((op->pos_flags & program::kPosBelowOne) != 0) add("below1");
  if ((op->len_flags & program::kLenBelowOne) != 0) add("len<1");
  if ((op->len_flags & program::kLenFromAt) != 0) add("lenfirst");
  return std::string(row.name) + (out.empty() ? "" : "(" + out + ")");
}

std::string describe_file(const files::FFREC& file) {
  std::string name;
  if (file.predefined != files::kPredefNone) {
    name.assign(file.ident, sizeof file.ident);
    name.erase(name.find_last_not_of(' ') + 1);
  } else {
    name = file.path != nullptr ? file.path : "";
    const std::string here = host::current_directory();
    if (!here.empty() && name.compare(0, here.size(), here) == 0) name.erase(0, here.size());
    name += file.name;
    if (file.ext[0] != 0) name += "." + std::string(file.ext);
  }
  std::string details;
  auto add = [&details](const std::string& d) { details += (details.empty() ? "" : " ") + d; };
  static constexpr struct {
    uint8_t bit;
    std::string_view name;
  } kOpenNames[] = {{files::kOpenInput, "in"},   {files::kOpenOutput, "out"},
                    {files::kOpenUpdate, "upd"}, {files::kOpenInsert, "ins"},
                    {files::kOpenDelete, "del"}, {files::kOpenExternal, "call"}};
  std::string open;
  for (const auto& o : kOpenNames) {
    if ((file.open_type & o.bit) != 0) open += (open.empty() ? "" : "+") + std::string(o.name);
  }
  add(open.empty() ? "noopen" : open);
  const files::RecordFormatRow& format = files::record_format(file.recfm);
  if (format.format != file.recfm) {
    add("recfm" + std::to_string(file.recfm));
  } else if (file.recfm != files::kRecfmNone) {
    add(file.blocked ? format.blocked_text : format.text);
  }
  if (file.lrecl != 0) add("lrecl " + std::to_string(file.lrecl));
  if (file.dsn != nullptr) add("dsn=" + std::string(file.dsn));
  return name + "(" + details + ")";
}

std::string dump(const program::Program& program) {
  std::string out;
  for (const program::Statement* s = program.head; s != nullptr; s = s->next) {
    out += line(program, *s);
    out += '\n';
  }
  return out;
}

}  // namespace recsift::compiler
