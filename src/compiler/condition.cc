// The condition compiler: the operands of IF, AND, OR, THENIF and ELSEIF become the tested data
// (first operand), the comparison code, the comparison value (second operand) and the scan
// options of the current statement record. A value list ("NE 'A','B'") becomes generated And
// statements chained after it.
//
// Exports compile_condition (compiler.h).
//
// Invariants:
//  - On return the first operand is decided: a record field with a length (format 10; a field
//    written without one takes the comparison value's length), a pointer test (format 6), or a
//    number held in the descriptor (format 8). File tests (codes 12-14) have no operands beyond
//    an optional record count, and record their file by name only: linking looks it up.
//  - Generated statements share the first operand and the file name with the statement they
//    were generated from; program->current is left at the last record of the chain.
//  - The condition marks of the program say what the current sentence tests: the first is set
//    by an end-of-file test, the second by any other test (the statement compiler reads them
//    for the default STOPAFT). An IF starts a new sentence and clears both.
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "base/pool.h"
#include "compiler/compiler.h"
#include "compiler/operand_compiler.h"
#include "compiler/statement_internal.h"
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

// Selection ids of generated statements lie below all others: -(counter) - this.
constexpr int32_t kGeneratedSelidOffset = 1000;

// Forms of the tested data and of the comparison value. Length keywords only where the operand
// stands: the other operand may carry its own.
constexpr uint32_t kFirstForms =
    kFormPosKeyword | kFormEndPosition | kFormPositionOnly | kFormType | kFormLengthHere;
constexpr uint32_t kValueForms =
    kFormPosKeyword | kFormCharLiteral | kFormLongNumber | kFormType | kFormLengthHere;

// The special operands, decided by their letters (see special_operand).
constexpr std::string_view kSpecialOperands = "IN,INCOUNT,REC,RC,RETCD,RETCODE,LINE,EOF,DIR,DATA";
constexpr std::string_view kFileWords = "FILE,F";
constexpr std::string_view kNullWords = "NULL,NUL";
// The longest operator word.
constexpr size_t kOperatorMax = 6;

enum class Special { kEndOfFile, kDirectory, kData, kRecordCount, kReturnCode, kListingLine };

Special special_operand(std::string_view w) {
  if (w[0] == 'E') return Special::kEndOfFile;
  if (w.size() > 2 && w[2] == 'R') return Special::kDirectory;
  if (w.size() > 1 && w[1] == 'A') return Special::kData;
  if (w[0] == 'I' || (w.size() > 2 && w[2] == 'C')) return Special::kRecordCount;
  if (w[0] == 'R') return Special::kReturnCode;
  return Special::kListingLine;
}

// A 4-byte binary number that evaluation fills into the descriptor.
Operand* number_operand(OperandKind kind) {
  Operand* op = new_operand();
  op->kind = kind;
  op->type = program::kTypeBinary;
  op->format = program::kFormatLiteral;
  op->len_kind = LengthKind::kFixed;
  op->len.kind = TermKind::kAbsolute;
  op->len.value = 4;
  return op;
}

// The whole word beginning at t (its split pieces joined), as its tokens' texts.
std::string joined_word(const Token* t) {
  std::string out;
  for (; t != nullptr && (t->flags & input::kTokEnd) == 0; t = t->next) {
    out.append(token_text(t));
    if ((t->flags & input::kTokSplit) == 0) break;
  }
  return out;
}

// Takes the current token and the pieces that continue its word.
void take_word(TokenList& list) {
  for (;;) {
    const bool more = (list.current->flags & input::kTokSplit) != 0;
    input::take_token(list);
    if (!more || list.current == nullptr) return;
  }
}

// The FILE= name as typed, into a pool text.
int take_file_name(Context& ctx, Statement* st) {
  TokenList& list = *ctx.tokens;
  if (input::find_anywhere(list, kFileWords) == nullptr) return 0;
  Token* t = list.current;
  if (t == nullptr) return raise(ctx, kMsgNoOperand);
  // A split word keeps the whole span as typed in its first piece's source.
  const char* from = t->source != nullptr ? t->source : t->text;
  int32_t n = t->source != nullptr ? t->source_length : t->length;
  if ((t->flags & input::kTokQuoted) != 0 || t->source == nullptr) {
    from = t->text;
    n = t->length;
  }
  auto* name = static_cast<char*>(base::qelgcore(n + 1, 0, "fnm"));
  std::memcpy(name, from, static_cast<size_t>(n));
  st->file_name = name;
  take_word(list);
  input::left_over(list);
  return 0;
}

// The comparison code written in the statement (the operator token is taken), or 1.
int take_operator(Context& ctx) {
  TokenList& list = *ctx.tokens;
  for (Token* t = list.current; t != nullptr && (t->flags & input::kTokEnd) == 0; t = t->next) {
    if ((t->flags & (input::kTokConsumed | input::kTokQuoted | input::kTokHex)) != 0) continue;
    if (t->text == nullptr || t->length == 0 || static_cast<size_t>(t->length) > kOperatorMax) {
      continue;
    }
    std::string word(token_text(t));
    if (word == "<" || word == ">") {
      // "<=", ">=", "=<" and "=>" are cut by the "=" delimiter: join them back from the text as
      // typed, whose offsets are the statement buffer's.
      const char* s = t->source;
      const bool in_buffer =
          ctx.statement != nullptr && (t->flags & input::kTokOwnsText) == 0 && s != nullptr;
      const char* base = in_buffer ? s - (t->text - ctx.statement) : nullptr;
      if (s != nullptr && s[1] == '=') {
        word += '=';
      } else if (base != nullptr && s > base && s[-1] == '=') {
        word.insert(word.begin(), '=');
      }
    }
    const int code = input::operator_code(word);
    if (code == input::kOpNone) continue;
    list.current = t;
    input::take_token(list);
    input::left_over(list);
    return code;
  }
  return program::kCmpEqual;
}

// Numeric class of an operand for the consistency check.
enum class Class { kCharacter, kNumeric };

int classify(Context& ctx, const Operand* op, Class* out) {
  switch (op->type) {
    case program::kTypeCharacter0:
    case program::kTypeCharacter:
      *out = Class::kCharacter;
      return 0;
    case program::kTypePacked:
    case program::kTypeNumericText:
      *out = Class::kNumeric;
      return 0;
    case program::kTypeBinary: {
      const int32_t n = fixed_length(op);
      if (n < 0 || n > 4) return raise(ctx, kMsgBadBinary);
      *out = Class::kNumeric;
      return 0;
    }
    default:
      return raise(ctx, kMsgUnknownType);
  }
}

// Consistency of the tested data and one comparison value, and the formats. value_token is the
// first token of the value as written, for reading a number again as characters.
int check_operands(Context& ctx, Statement* st, Operand* value, const Token* value_token) {
  Operand* first = st->operands[0];
  Class a{};
  Class b{};
  if (int rc = classify(ctx, first, &a); rc != 0) return rc;
  if (int rc = classify(ctx, value, &b); rc != 0) return rc;
  const bool scan = (st->flags & program::kSfScan) != 0;
  if (a != b) {
    // A number compared with character data is read as the characters written. (Any field
    // qualifies, not only one whose format is still open: "POS 1,3 = 123" means the text.)
    if (!is_bare_number(value) || !(first->format != program::kFormatLiteral || scan)) {
      return raise(ctx, kMsgCharVersusNumber);
    }
    const std::string text = joined_word(value_token);
    clear_operand(value);
    set_char_literal(value, text.data(), static_cast<int32_t>(text.size()));
  } else if (first->type != 0 && value->type != 0 && first->type != value->type &&
             !is_bare_number(first) && !is_bare_number(value)) {
    return raise(ctx, kMsgTypesDiffer);
  }

  const bool undecidable =
      (st->flags & (program::kSfStepped | program::kSfPadded | program::kSfScan)) != 0;
  if (first->format == program::kFormatUndecided) {
    if (undecidable) return raise(ctx, kMsgFormatUndecidable);
    if (!has_length(value)) return raise(ctx, kMsgNeedsLength);
    first->format = program::kFormatField;
    first->len_kind = LengthKind::kSameAsSecond;
  }
  if (value->format == program::kFormatUndecided) {
    // A field without a length: it is compared over the tested data's length.
    if (undecidable) return raise(ctx, kMsgFormatUndecidable);
    if (first->len_kind == LengthKind::kSameAsSecond) return raise(ctx, kMsgNeedsLength);
    value->format = program::kFormatField;
    value->len_kind = LengthKind::kSameAsFirst;
  }
  return 0;
}

// The options after the comparison value: PTR, STEP, REVERSE, FILL/PAD.
int compile_options(Context& ctx, Statement* st) {
  TokenList& list = *ctx.tokens;
  if (input::find_anywhere(list, "PTR") != nullptr) {
    const Token* t = list.current;
    const std::string_view v = token_text(t);
    if (t == nullptr || v.empty() || v[0] != '@' || (t->flags & input::kTokSplit) != 0 ||
        v.find_first_of("+-") != std::string_view::npos) {
      return raise(ctx, kMsgBadPtr);
    }
    st->ptr_var = ctx.names->insert(v.substr(1));
    st->flags |= program::kSfScan;
    input::take_token(list);
    input::left_over(list);
  }
  if (input::find_anywhere(list, "STEP") != nullptr) {
    const Token* t = list.current;
    const std::string_view v = token_text(t);
    if (t == nullptr) return raise(ctx, kMsgNoOperand);
    if (v == "-" || v == "+") return raise(ctx, kMsgBelowOne);
    int64_t n = 0;
    for (char c : v) {
      if (c < '0' || c > '9') return raise(ctx, kMsgInvalidOperand);
      n = n * 10 + (c - '0');
      if (n > INT32_MAX) return raise(ctx, kMsgInvalidOperand);
    }
    if (v.empty()) return raise(ctx, kMsgInvalidOperand);
    // A step below 1 would give no candidates or run backwards: REVERSE does that.
    if (n < 1) return raise(ctx, kMsgBelowOne);
    st->step = static_cast<int32_t>(n);
    st->flags |= program::kSfStepped | program::kSfScan;
    input::take_token(list);
    input::left_over(list);
  }
  if (input::find_anywhere(list, "REVERSE,REV") != nullptr) {
    st->flags |= program::kSfReverse | program::kSfScan;
    input::left_over(list);
  }
  if (input::find_anywhere(list, "FILL,PAD") != nullptr) {
    const Token* t = list.current;
    if (t == nullptr) {
      st->pad = ' ';
    } else if (t->length == 1) {
      st->pad = static_cast<uint8_t>(t->text[0]);
      input::take_token(list);
    } else {
      return raise(ctx, kMsgFillTooLong);
    }
    st->flags |= program::kSfPadded;
    input::left_over(list);
  }
  if ((st->flags & program::kSfRange) != 0 && (st->flags & program::kSfPadded) == 0) {
    st->flags |= program::kSfScan;
  }
  if ((st->flags & program::kSfScan) != 0 && (st->flags & program::kSfPadded) != 0) {
    return raise(ctx, kMsgScanWithFill);
  }
  return 0;
}

Statement* new_statement() {
  return new (base::qelgcore(sizeof(Statement), 0, "CN")) Statement();
}

// Further comparison values after commas: one generated And statement each.
int compile_value_list(Context& ctx, Statement* st) {
  TokenList& list = *ctx.tokens;
  program::Program& program = *ctx.program;
  Statement* last = st;
  for (Token* t = input::left_over(list); t != nullptr && (t->flags & input::kTokAfterComma) != 0;
       t = list.current) {
    // EQ with several values could never hold; a scan searches for one value.
    if (st->compare == program::kCmpEqual || (st->flags & program::kSfScan) != 0) {
      return raise(ctx, kMsgNoConditionOperand);
    }
    Statement* g = new_statement();
    g->type = program::kStAnd;
    g->compare = st->compare;
    g->selid = -program.selid_counter - kGeneratedSelidOffset;
    g->operands[0] = st->operands[0];
    g->file_name = st->file_name;
    g->pad = st->pad;
    g->step = st->step;
    g->comment = st->comment;
    g->comment_length = st->comment_length;
    g->prev = last;
    g->next = last->next;
    if (last->next != nullptr) last->next->prev = g;
    last->next = g;
    last = g;
    program.current = g;
    if (int rc = compile_operand(ctx, &g->operands[1], kValueForms); rc != 0) return rc;
    if (int rc = check_operands(ctx, g, g->operands[1], t); rc != 0) return rc;
  }
  return 0;
}

}  // namespace

int compile_condition(Context& ctx, uint8_t type) {
  if (ctx.messages->pending != 0) return ctx.messages->pending;
  TokenList& list = *ctx.tokens;
  program::Program& program = *ctx.program;
  Statement* st = program.current;

  // 1. The type; an IF starts a sentence.
  st->type = type;
  if (type == program::kStIf) {
    program.first_condition_mark = false;
    program.second_condition_mark = false;
  }

  // 2. The tested data.
  Token* t = list.current;
  if (t == nullptr) return raise(ctx, kMsgNoConditionOperand);
  const std::string_view word = token_text(t);
  const bool unquoted = (t->flags & (input::kTokQuoted | input::kTokHex)) == 0;
  bool file_test = false;
  bool record_count = false;
  Token* after = t->next;
  while (after != nullptr && (after->flags & input::kTokEnd) == 0 &&
         (after->flags & input::kTokConsumed) != 0) {
    after = after->next;
  }
  if (token_is(t, "P,POS") && token_is(after, "ANY")) {
    // POS ANY: the whole record, searched.
    input::take_token(list);
    input::take_token(list);
    Operand* op = new_operand();
    op->kind = OperandKind::kField;
    op->format = program::kFormatField;
    op->pos.kind = TermKind::kAbsolute;
    op->pos.value = 1;
    op->len_kind = LengthKind::kExpression;
    op->len.kind = TermKind::kRecordLength;
    st->operands[0] = op;
    st->flags |= program::kSfScan;
  } else if (token_is(t, kSpecialOperands)) {
    input::take_token(list);
    switch (special_operand(word)) {
      case Special::kEndOfFile:
        st->compare = program::kCmpEndOfFile;
        file_test = true;
        break;
      case Special::kDirectory:
        st->compare = program::kCmpDirectory;
        file_test = true;
        break;
      case Special::kData:
        st->compare = program::kCmpData;
        file_test = true;
        break;
      case Special::kRecordCount:
        st->operands[0] = number_operand(OperandKind::kRecordCount);
        record_count = true;
        break;
      case Special::kReturnCode:
        st->operands[0] = number_operand(OperandKind::kReturnCode);
        break;
      case Special::kListingLine:
        st->operands[0] = number_operand(OperandKind::kListingLine);
        break;
    }
  } else if (token_is(t, "P,POS") || (unquoted && !word.empty() && word[0] == '@') ||
             token_is(t, "DIFF") || (unquoted && is_special_name(word))) {
    // A field: POS ..., or a pointer variable or special variable written alone.
    if (int rc = compile_operand(ctx, &st->operands[0], kFirstForms); rc != 0) return rc;
    if ((st->operands[0]->pos_flags & program::kPosRange) != 0) st->flags |= program::kSfRange;
  } else {
    return raise(ctx, kMsgNoConditionOperand);
  }

  // The sentence's marks.
  if (st->compare == program::kCmpEndOfFile) {
    program.first_condition_mark = true;
  } else {
    program.second_condition_mark = true;
  }

  // 3. The file of a file test or record count.
  if (file_test || record_count) {
    if (int rc = take_file_name(ctx, st); rc != 0) return rc;
  }
  if (file_test) return 0;

  // 4. The operator.
  st->compare = static_cast<uint8_t>(take_operator(ctx));

  // 5. NULL tests of a pointer variable; else the comparison value.
  Operand* first = st->operands[0];
  const bool pointer = first->kind == OperandKind::kField &&
                       first->pos.kind == TermKind::kPointer && first->pos.next == nullptr &&
                       (first->pos.flags & program::kTermNegative) == 0;
  if (pointer && input::match_current(list, kNullWords) != nullptr) {
    if (st->compare == program::kCmpEqual) {
      st->compare = program::kCmpNull;
    } else if (st->compare == program::kCmpNotEqual) {
      st->compare = program::kCmpNotNull;
    } else {
      return raise(ctx, kMsgNullOperator);
    }
    first->format = program::kFormatPointerTest;
    return 0;
  }
  Token* value_token = list.current;
  if (value_token == nullptr) return raise(ctx, kMsgNoConditionOperand);
  if (int rc = compile_operand(ctx, &st->operands[1], kValueForms); rc != 0) return rc;

  // 6, 7. Options.
  if (int rc = compile_options(ctx, st); rc != 0) return rc;

  // 8, 9. Consistency and formats.
  if (int rc = check_operands(ctx, st, st->operands[1], value_token); rc != 0) return rc;

  // 10. Value lists.
  return compile_value_list(ctx, st);
}

}  // namespace recsift::compiler
