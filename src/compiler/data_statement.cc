// The data statement compiler: the operands of the assignments, GEN, the arithmetic verbs, MOVE
// and its bitwise forms, CMPRS, XPND, TRAN, the conversion verbs, CVDATE and UTIME, compiled into
// the slots of the current statement record with the operation modifier and argument.
//
// Exports compile_data_statement (compiler.h).
//
// Slot roles (the contract with the data operations):
//   0 target or result; 1 source, value or operand A; 2 operand B, translate table, edit mask,
//   GEN seed; 3 remainder, GEN range or character set.
// Shapes the executor can rely on:
//  - "@=", "@x=": slot 0 is a computed number of one kNumberPointer term (the pointer
//    variable); "lrecl=", "rc=": slot 0 is the area field assigned. The argument is the
//    conversion code of a field value (0x22, 0x32, 0x42 ...); 0x32 for a long numeric literal.
//    A value with no numeric type and no length is a 1-byte field: its position is the value.
//  - GEN: slot 1 is the statement's own 4-byte binary value; slot 2, when BASE was given, the
//    seed's four bytes: type 2 as they stand (a hex literal), type 3 characters still to be
//    translated to EBCDIC before use; slot 2 null means the executor derives a seed. Slot 3 is
//    the range (position = start, fixed length = count of values) or the character set.
//  - TRAN, CMPRS, XPND without TO or INTO have a null slot 0: they work on the source in place.
//  - The conversion verbs keep the edit mask, when given, in slot 2.
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "base/fatal.h"
#include "base/pool.h"
#include "compiler/compiler.h"
#include "compiler/operand_compiler.h"
#include "compiler/statement_internal.h"
#include "convert/special_area.h"
#include "input/input.h"
#include "program/operand.h"
#include "program/program.h"

namespace recsift::compiler {

using input::Token;
using input::TokenList;
using program::LengthKind;
using program::Operand;
using program::OperandKind;
using program::Statement;
using program::TermKind;

namespace {

// Logic error: an operation code outside this family.

// Accepted forms by role.
constexpr uint32_t kFieldHere = kFormLength | kFormFromKeywords | kFormEndPosition |
                                kFormPositionOnly | kFormLengthHere | kFormNoL |
                                kFormNoRecsizeLrecl;
constexpr uint32_t kSourceForms = kFormFromKeywords | kFormFrKeyword | kFormEndPosition;
constexpr uint32_t kArithForms = kFormLongNumber | kFormFromKeywords | kFormEndPosition;
constexpr uint32_t kResultForms = kFormType | kFormFromKeywords | kFormEndPosition;
constexpr uint32_t kAssignValueForms =
    kFormType | kFormFromKeywords | kFormFrKeyword | kFormEndPosition;

// Largest fixed length by numeric type (0 = unlimited).
constexpr std::array<int32_t, 16> kMaxLength = {256, 0, 8, 256, 16, 0, 8, 31,
                                                0,   0, 0, 0,   0,  0, 0, 0};
// Largest value an assignment accepts, by numeric type (0 = unlimited).
constexpr std::array<int32_t, 8> kMaxAssignLength = {256, 0, 4, 256, 16, 0, 0, 31};

// Built-in translate tables by name.
struct TableName {
  std::string_view names;
  program::TranslateTable table;
};
constexpr std::array<TableName, 5> kTables{{
    {"UPPER", program::kTableUpper},
    {"LOWER", program::kTableLower},
    {"PRINT", program::kTablePrint},
    {"CVEA,CVA,ASCII", program::kTableAscii},
    {"CVAE,CVE,EBCDIC", program::kTableEbcdic},
}};
constexpr std::string_view kTableWords = "UPPER,LOWER,PRINT,CVEA,CVA,ASCII,CVAE,CVE,EBCDIC";
constexpr int32_t kTableSize = 256;

// The characters GEN draws from without RANGE: the first 26 of this set.
constexpr std::string_view kGenCharacters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 +-=,./*()_!:@#$";
constexpr int32_t kGenDefaultRange = 26;

// MOVE and MOD forms (the operation modifier).
constexpr uint8_t kModCopy = 26;
constexpr uint8_t kModAnd = 27;
constexpr uint8_t kModOr = 28;
constexpr uint8_t kModXor = 29;

bool in_family(program::Op op) {
  return program::op_executor(op) == program::Executor::kData;
}

void set_fixed_length(Operand* op, int32_t n) {
  op->len_kind = LengthKind::kFixed;
  op->len = program::Term{};
  op->len.kind = TermKind::kAbsolute;
  op->len.value = n;
  if (op->kind == OperandKind::kField) op->format = program::kFormatField;
}

// A field of the special-variable area, 4-byte binary.
void set_area_field(Operand* op, int offset) {
  *op = Operand();
  op->kind = OperandKind::kAreaField;
  op->type = program::kTypeBinary;
  op->format = program::kFormatLiteral;
  op->pos.kind = TermKind::kSpecial;
  op->pos.special = program::SpecialKind::kAreaField;
  op->pos.offset = offset;
  set_fixed_length(op, 4);
}

// FILL or PAD anywhere: the pad byte.
int read_pad(Context& ctx, Statement* st) {
  TokenList& list = *ctx.tokens;
  if (input::find_anywhere(list, "FILL,PAD") == nullptr) return 0;
  const Token* t = list.current;
  if (t != nullptr) {
    if (t->length != 1) return raise(ctx, kMsgFillTooLong);
    st->pad = static_cast<uint8_t>(t->text[0]);
    input::take_token(list);
  }
  input::left_over(list);
  return 0;
}

// ---- Assignments (28-31) ---------------------------------------------------------------------

int compile_assignment(Context& ctx, Statement* st, program::Op op) {
  TokenList& list = *ctx.tokens;
  if (op == program::Op::kPointerSet || op == program::Op::kPointerOp) {
    if (int rc = compile_operand(ctx, &st->operands[0], kFormPlainNumber); rc != 0) return rc;
    const Operand* t = st->operands[0];
    if (t->kind != OperandKind::kComputed || t->pos.kind != TermKind::kNumberPointer ||
        t->pos.next != nullptr || (t->pos.flags & program::kTermNegative) != 0) {
      return raise(ctx, kMsgNotPointer);
    }
  } else {
    set_area_field(st->operands[0],
                   op == program::Op::kLrecl ? convert::kSpRecordLength : convert::kSpReturnCode);
  }

  Operand* v = st->operands[1];
  if (list.current == nullptr) return compile_operand(ctx, &st->operands[1], kAssignValueForms);
  // A field converted to binary.
  {
    TokenState before(ctx);
    if (compile_operand(ctx, &st->operands[1], kAssignValueForms) == 0 &&
        v->kind == OperandKind::kField) {
      if (v->type == 0) v->type = program::kTypePacked;
      st->argument = v->type * 16 + program::kTypeBinary;
      const int32_t n = fixed_length(v);
      const int32_t max = v->type < kMaxAssignLength.size() ? kMaxAssignLength[v->type] : 0;
      if (n > 0 && max > 0 && n > max) return raise(ctx, kMsgTooLong);
      return 0;
    }
    before.restore();
    clear_operand(v);
  }
  // A number ("POS n" is a position, below).
  if (!token_is(list.current, "P,POS")) {
    TokenState before(ctx);
    if (compile_operand(ctx, &st->operands[1], kFormLongNumber | kFormPlainNumber) == 0) {
      if (op == program::Op::kLrecl && v->kind == OperandKind::kImmediate && v->immediate < 0) {
        return raise(ctx, kMsgBelowOne);
      }
      if (v->kind == OperandKind::kLiteral) {
        if (op == program::Op::kLrecl && v->lit_length > 0 && v->lit[0] == '-') {
          return raise(ctx, kMsgBelowOne);
        }
        st->argument = program::kTypeCharacter * 16 + program::kTypeBinary;
        if (v->lit_length > kMaxAssignLength[program::kTypeNumericText]) {
          return raise(ctx, kMsgTooLong);
        }
      } else {
        st->argument = program::kTypeBinary * 16 + program::kTypeBinary;
      }
      return 0;
    }
    before.restore();
    clear_operand(v);
  }
  // A position: one byte there.
  if (int rc = compile_operand(ctx, &st->operands[1], kFormPositionOnly); rc != 0) return rc;
  if (v->kind == OperandKind::kField && v->len_kind == LengthKind::kNone) set_fixed_length(v, 1);
  return 0;
}

// ---- GEN (33) --------------------------------------------------------------------------------

int compile_gen(Context& ctx, Statement* st) {
  TokenList& list = *ctx.tokens;
  if (int rc = compile_operand(ctx, &st->operands[0], kFormFromKeywords | kFormEndPosition);
      rc != 0) {
    return rc;
  }
  if (int rc = compile_operand(ctx, &st->operands[0], kFormType); rc != 0) return rc;
  input::left_over(list);
  Operand* target = st->operands[0];
  if (target->type == 0) target->type = program::kTypePacked;
  st->argument = 0x20 + target->type;

  // The value the generator fills.
  Operand* value = st->operands[1];
  clear_operand(value);
  value->kind = OperandKind::kLiteral;
  value->type = program::kTypeBinary;
  value->format = program::kFormatLiteral;
  value->lit = static_cast<uint8_t*>(base::qelgcore(4, 0, "lit"));
  value->lit_length = 4;
  set_fixed_length(value, 4);

  const bool character = target->type == program::kTypeCharacter;
  if (input::find_anywhere(list, "RANGE") != nullptr) {
    TokenState before(ctx);
    const int rc = compile_operand(ctx, &st->operands[3],
                                   kFormBelowOneAllowed | kFormAbsoluteOnly | kFormEndPosition);
    if (rc != 0 || st->operands[3]->len_kind != LengthKind::kFixed) {
      before.restore();
      if (st->operands[3] != nullptr) clear_operand(st->operands[3]);
      if (!character || list.current == nullptr) return raise(ctx, kMsgInvalidOperand);
      if (int lrc = compile_operand(ctx, &st->operands[3], kFormCharLiteral); lrc != 0) {
        return lrc;
      }
    }
    input::left_over(list);
  } else if (character) {
    st->operands[3] = new_operand();
    set_char_literal(st->operands[3], kGenCharacters.data(), kGenDefaultRange);
  } else {
    return raise(ctx, kMsgGenWithoutRange);
  }

  if (input::find_anywhere(list, "BASE") != nullptr) {
    const Token* t = list.current;
    if (t == nullptr) return raise(ctx, kMsgNoOperand);
    Operand* seed = st->operands[2] = new_operand();
    seed->kind = OperandKind::kLiteral;
    seed->format = program::kFormatLiteral;
    seed->lit = static_cast<uint8_t*>(base::qelgcore(4, ' ', "lit"));
    seed->lit_length = 4;
    std::memcpy(seed->lit, t->text, static_cast<size_t>(t->length < 4 ? t->length : 4));
    seed->type = (t->flags & input::kTokHex) != 0 ? program::kTypeBinary : program::kTypeCharacter;
    set_fixed_length(seed, 4);
    input::take_token(list);
    input::left_over(list);
  }
  return 0;
}

// ---- ADD, SUB, MULT, DIV (34-37) -------------------------------------------------------------

int compile_arithmetic(Context& ctx, Statement* st, program::Op op) {
  TokenList& list = *ctx.tokens;
  Operand type_holder;
  if (int rc = read_type(ctx, &type_holder, true); rc != 0) return rc;
  input::left_over(list);
  uint8_t type = type_holder.type;
  auto& slots = st->operands;

  switch (op) {
    case program::Op::kAdd:
    case program::Op::kSub: {
      if (int rc = compile_operand(ctx, &slots[1], kArithForms); rc != 0) return rc;
      const bool add = op == program::Op::kAdd;
      const int missing = add ? kMsgNoTo : kMsgNoFrom;
      const char* found = input::find_anywhere(list, add ? "TO" : "FR,FROM");
      if (found == nullptr && add) found = input::find_anywhere(list, "INTO");
      // Without it there is no operand B to work on.
      if (found == nullptr) return raise(ctx, missing);
      if (int rc = compile_operand(ctx, &slots[2], kArithForms | kFormType); rc != 0) return rc;
      break;
    }
    default: {
      if (int rc = compile_operand(ctx, &slots[2], kArithForms | kFormType); rc != 0) return rc;
      if (input::find_anywhere(list, "BY") != nullptr) {
        if (int rc = compile_operand(ctx, &slots[1], kArithForms | kFormType); rc != 0) {
          return rc;
        }
      } else if (op == program::Op::kDiv && input::find_anywhere(list, "INTO") != nullptr) {
        // DIV a INTO b: what was compiled is the divisor.
        Operand* divisor = slots[2];
        slots[2] = slots[1];
        slots[1] = divisor;
        clear_operand(slots[2]);
        if (int rc = compile_operand(ctx, &slots[2], kArithForms | kFormType); rc != 0) {
          return rc;
        }
      } else {
        return raise(ctx, kMsgNoBy);
      }
      break;
    }
  }
  input::left_over(list);

  if (op == program::Op::kDiv) {
    if (fixed_length(slots[1]) > 8) return raise(ctx, kMsgTooLong);
    if (input::find_anywhere(list, "REM") != nullptr) {
      if (int rc = compile_operand(ctx, &slots[3], kResultForms); rc != 0) return rc;
      input::left_over(list);
    }
  }
  if (input::find_anywhere(list, "INTO") != nullptr) {
    clear_operand(slots[0]);
    if (int rc = compile_operand(ctx, &slots[0], kResultForms); rc != 0) return rc;
    input::left_over(list);
  } else {
    // The result replaces B, which must be a field.
    release_operand(&slots[0]);
    if (is_number(slots[2])) return raise(ctx, kMsgResultIsNumber);
  }
  if (is_number(slots[1]) && is_number(slots[2])) return raise(ctx, kMsgTwoNumbers);

  // One numeric type for the fields: TYPE, else the result's own, else packed decimal.
  // Numbers held in the descriptor keep their binary type.
  const Operand* result = slots[0] != nullptr ? slots[0] : slots[2];
  if (type == 0) type = result->type;
  if (type == 0) type = program::kTypePacked;
  for (Operand* o : slots) {
    if (o != nullptr && o->kind == OperandKind::kField) o->type = type;
  }
  st->argument = type * 17;
  return 0;
}

// ---- Source and target (MOVE, CMPRS, XPND, TRAN, conversions) --------------------------------

int compile_source(Context& ctx, Statement* st, bool literal_refused) {
  TokenList& list = *ctx.tokens;
  if (input::match_current(list, "FR,FROM") != nullptr || token_is(list.current, "P,POS")) {
    return compile_operand(ctx, &st->operands[1], kFieldHere);
  }
  return compile_operand(ctx, &st->operands[1],
                         kSourceForms | (literal_refused ? uint32_t{kFormLiteralRefused} : 0u));
}

// TO or INTO anywhere: the target. *found tells whether there was one.
int compile_target(Context& ctx, Statement* st, bool* found) {
  TokenList& list = *ctx.tokens;
  *found = input::find_anywhere(list, "TO,INTO") != nullptr;
  if (!*found) return 0;
  const int rc = compile_operand(ctx, &st->operands[0], kFieldHere);
  input::left_over(list);
  return rc;
}

// Default lengths of target and source (not for conversions).
int settle_lengths(Context& ctx, Statement* st, bool strict) {
  Operand* target = st->operands[0];
  Operand* source = st->operands[1];
  const bool source_length = has_length(source);
  if (target == nullptr) {
    if (!source_length) source->len_kind = LengthKind::kRest;
    return 0;
  }
  if (!has_length(target)) {
    if (!source_length) {
      if (strict) return raise(ctx, kMsgNoLength);
      target->len_kind = LengthKind::kRest;
      source->len_kind = LengthKind::kRest;
      return 0;
    }
    target->len_kind = LengthKind::kSameAsSecond;
  } else if (!source_length) {
    source->len_kind = LengthKind::kSameAsFirst;
  }
  return 0;
}

int compile_move(Context& ctx, Statement* st, program::Op op) {
  if (op == program::Op::kMove) {
    if (int rc = read_pad(ctx, st); rc != 0) return rc;
  }
  if (int rc = compile_source(ctx, st, op == program::Op::kMove); rc != 0) return rc;
  bool found = false;
  if (int rc = compile_target(ctx, st, &found); rc != 0) return rc;
  if (!found) {
    if (op == program::Op::kMove) return raise(ctx, kMsgNoTo);
    release_operand(&st->operands[0]);  // in place
  }
  // Compressed data ends within the record: an XPND source without a length runs to the
  // record's last byte, not to the end of the work area or the target's length.
  const bool xpnd_to_record_end = op == program::Op::kXpnd && !has_length(st->operands[1]) &&
                                  st->operands[1]->kind == OperandKind::kField;
  if (int rc = settle_lengths(ctx, st, op == program::Op::kMove); rc != 0) return rc;
  if (xpnd_to_record_end) {
    Operand* source = st->operands[1];
    source->len_kind = LengthKind::kToEnd;
    source->end = program::Term{};
    source->end.kind = TermKind::kRecordLength;
    source->format = program::kFormatField;
  }
  return 0;
}

int compile_mod(Context& ctx, Statement* st, bool verb_pos) {
  TokenList& list = *ctx.tokens;
  if (int rc = read_pad(ctx, st); rc != 0) return rc;
  bool pos_written = verb_pos;
  if (!verb_pos && input::match_current(list, "P,POS") != nullptr) pos_written = true;
  uint32_t forms =
      kFormLength | kFormPositionOnly | kFormNoRecsizeLrecl | kFormNoL | kFormLengthHere;
  if (!pos_written) forms |= kFormFromKeywords;
  if (int rc = compile_operand(ctx, &st->operands[0], forms); rc != 0) return rc;
  if (list.unconsumed > 1 && !has_length(st->operands[0])) {
    constexpr uint32_t kEndOnly = kFormEndPosition | kFormPositionOnly | 0x40000;
    if (int rc = compile_operand(ctx, &st->operands[0], kEndOnly); rc != 0) return rc;
  }
  st->modifier = kModCopy;
  if (input::match_current(list, "AND") != nullptr) {
    st->modifier = kModAnd;
  } else if (input::match_current(list, "OR") != nullptr) {
    st->modifier = kModOr;
  } else if (input::match_current(list, "XOR") != nullptr) {
    st->modifier = kModXor;
  } else {
    input::match_current(list, "MOD");
  }
  const uint32_t source_forms = token_is(list.current, "P,POS")
                                    ? kFormEndPosition | kFormPositionOnly | kFormLength
                                    : kFormCharLiteral | kFormFromKeywords;
  if (int rc = compile_operand(ctx, &st->operands[1], source_forms); rc != 0) return rc;
  return settle_lengths(ctx, st, true);
}

int compile_tran(Context& ctx, Statement* st) {
  TokenList& list = *ctx.tokens;
  bool table_named = false;
  if (input::find_anywhere(list, kTableWords) != nullptr) {
    const std::string_view word = token_text(list.last_keyword);
    Operand* table = st->operands[2] = new_operand();
    table->kind = OperandKind::kTable;
    table->format = program::kFormatLiteral;
    for (const TableName& t : kTables) {
      if (input::list_contains(t.names, word)) table->immediate = t.table;
    }
    set_fixed_length(table, kTableSize);
    table_named = true;
    input::left_over(list);
  } else if (input::find_anywhere(list, "TAB") != nullptr) {
    if (int rc = compile_operand(ctx, &st->operands[2],
                                 kFormLength | kFormEndPosition | kFormPositionOnly);
        rc != 0) {
      return rc;
    }
    Operand* table = st->operands[2];
    if (!has_length(table)) {
      set_fixed_length(table, kTableSize);
    } else if (fixed_length(table) >= 0 && fixed_length(table) != kTableSize) {
      return raise(ctx, kMsgTableLength);
    }
    table_named = true;
    input::left_over(list);
  }

  if (int rc = compile_source(ctx, st, false); rc != 0) return rc;
  bool found = false;
  if (int rc = compile_target(ctx, st, &found); rc != 0) return rc;
  if (!found) release_operand(&st->operands[0]);

  if (!table_named) {
    // Two texts: each character of the first becomes the one at its place in the second.
    Token* from = input::left_over(list);
    if (from == nullptr) return raise(ctx, kMsgPairs);
    input::take_token(list);
    Token* to = list.current;
    if (to == nullptr || from->length != to->length) return raise(ctx, kMsgPairs);
    input::take_token(list);
    auto* tab = static_cast<uint8_t*>(base::qelgcore(kTableSize, 0, "tr"));
    for (int i = 0; i < kTableSize; ++i) tab[i] = static_cast<uint8_t>(i);
    for (int i = from->length - 1; i >= 0; --i) {
      tab[static_cast<uint8_t>(from->text[i])] = static_cast<uint8_t>(to->text[i]);
    }
    Operand* table = st->operands[2] = new_operand();
    table->kind = OperandKind::kLiteral;
    table->type = program::kTypeCharacter;
    table->format = program::kFormatLiteral;
    table->lit = tab;
    table->lit_length = kTableSize;
    set_fixed_length(table, kTableSize);
  }
  return settle_lengths(ctx, st, false);
}

int compile_conversion(Context& ctx, Statement* st) {
  TokenList& list = *ctx.tokens;
  const int code = st->argument;
  const int source_type = (code >> 4) & 15;
  const int target_type = code & 15;
  if (int rc = compile_source(ctx, st, true); rc != 0) return rc;
  bool found = false;
  if (int rc = compile_target(ctx, st, &found); rc != 0) return rc;
  if (!found) return raise(ctx, kMsgNoTo);
  Operand* source = st->operands[1];
  Operand* target = st->operands[0];

  if (!has_length(target) && input::find_anywhere(list, "INTO") != nullptr) {
    if (int rc = compile_expression(ctx, target, kExprLength, 0); rc != 0) {
      return raise(ctx, rc > 0 ? rc : kMsgInvalidOperand);
    }
    input::left_over(list);
  }
  if (target_type == program::kTypeCharacter || target_type == convert::kFormHex) {
    if (input::find_anywhere(list, "FMT,FMAT,FORMAT") != nullptr) {
      if (int rc = compile_operand(ctx, &st->operands[2], kFormCharLiteral); rc != 0) return rc;
      Operand* mask = st->operands[2];
      for (int32_t i = 0; i < mask->lit_length; ++i) {
        uint8_t& c = mask->lit[i];
        if (c == 'z' || c == 'Z') c = '0';
        if (c == 's' || c == '+') c = 'S';
      }
      set_fixed_length(target, mask->lit_length);
      input::left_over(list);
    }
  }
  if (!has_length(target)) {
    const int32_t n = fixed_length(source);
    if (code == 0x38 || code == 0x83) {
      if (!has_length(source)) return raise(ctx, kMsgTwoNumbers);
      if (n >= 0) {
        set_fixed_length(target, code == 0x38 ? n * 2 : n / 2);
      } else {
        target->len_kind = code == 0x38 ? LengthKind::kTwiceSecond : LengthKind::kHalfSecond;
      }
    } else {
      return raise(ctx, kMsgTwoNumbers);
    }
  }
  // A source of no length has nothing to convert, whatever the code.
  if (!has_length(source)) return raise(ctx, kMsgNoLength);
  const int32_t ns = fixed_length(source);
  const int32_t nt = fixed_length(target);
  if (ns > 0 && kMaxLength[source_type] > 0 && ns > kMaxLength[source_type]) {
    return raise(ctx, kMsgAboveMaximum);
  }
  if (nt > 0 && kMaxLength[target_type] > 0 && nt > kMaxLength[target_type]) {
    return raise(ctx, kMsgAboveMaximum);
  }
  return 0;
}

// ---- CVDATE (44), UTIME (63) -----------------------------------------------------------------

int compile_cvdate(Context& ctx, Statement* st) {
  TokenList& list = *ctx.tokens;
  if (list.current == nullptr) return raise(ctx, kMsgNoOperand);
  if (input::match_current(list, "NOW") == nullptr || input::match_current(list, "TO") == nullptr ||
      input::match_current(list, "DATECB") == nullptr) {
    return raise(ctx, kMsgBadCvdate);
  }
  Operand* area = st->operands[0];
  clear_operand(area);
  area->kind = OperandKind::kField;
  area->pos.kind = TermKind::kSpecial;
  area->pos.special = program::SpecialKind::kDateArea;
  area->pos.value = 1;
  set_fixed_length(area, convert::kDateAreaSize);
  release_operand(&st->operands[1]);
  return 0;
}

int compile_utime(Context& ctx, Statement* st) {
  TokenList& list = *ctx.tokens;
  constexpr uint32_t kForms = kFormCharLiteral | kFormFromKeywords | kFormEndPosition;
  if (list.unconsumed > 1) input::match_current(list, "F,FILE");
  const Token* t = list.current;
  const std::string_view w = token_text(t);
  if (t != nullptr && (t->flags & (input::kTokQuoted | input::kTokHex)) == 0 && !w.empty() &&
      !token_is(t, "P,POS") && !(w[0] >= '0' && w[0] <= '9') && w[0] != '@' &&
      t->source != nullptr) {
    // A file name as typed: the whole word, case kept.
    set_char_literal(st->operands[0], t->source, t->source_length);
    for (;;) {
      const bool more = (list.current->flags & input::kTokSplit) != 0;
      input::take_token(list);
      if (!more || list.current == nullptr) break;
    }
  } else if (int rc = compile_operand(ctx, &st->operands[0], kForms); rc != 0) {
    return rc;
  }
  if (list.unconsumed > 1) input::match_current(list, "FTIME");
  return compile_operand(ctx, &st->operands[1], kForms);
}

}  // namespace

int compile_data_statement(Context& ctx, program::Op op) {
  if (!in_family(op)) base::logic_error(base::kLogicNotDataStatement);
  if (ctx.messages->pending != 0) return ctx.messages->pending;
  Statement* st = ctx.program->current;
  // Whether the verb itself was P or POS (MOD), before any keyword is taken here.
  const bool verb_pos = token_is(ctx.tokens->last_keyword, "P,POS");
  st->op = op;
  for (int i = 0; i < 2; ++i) {
    if (st->operands[i] == nullptr) st->operands[i] = new_operand();
  }
  switch (op) {
    case program::Op::kPointerSet:
    case program::Op::kPointerOp:
    case program::Op::kLrecl:
    case program::Op::kRc:
      return compile_assignment(ctx, st, op);
    case program::Op::kGen:
      return compile_gen(ctx, st);
    case program::Op::kAdd:
    case program::Op::kSub:
    case program::Op::kMult:
    case program::Op::kDiv:
      return compile_arithmetic(ctx, st, op);
    case program::Op::kMove:
    case program::Op::kCmprs:
    case program::Op::kXpnd:
      return compile_move(ctx, st, op);
    case program::Op::kMod:
      return compile_mod(ctx, st, verb_pos);
    case program::Op::kTran:
      return compile_tran(ctx, st);
    case program::Op::kConvert:
      return compile_conversion(ctx, st);
    case program::Op::kCvdate:
      return compile_cvdate(ctx, st);
    case program::Op::kUtime:
      return compile_utime(ctx, st);
    default:
      base::logic_error(base::kLogicNotDataStatement);
  }
}

}  // namespace recsift::compiler
