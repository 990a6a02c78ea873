// The CSV statement and its COLUMN statements: the line options (SEP, EBCDIC, TRIM, HEADER) and
// the columns, each a field with its number form. A control line is short, so a line of many
// columns is written as CSV followed by COLUMN statements, which add to the CSV statement before
// them instead of making records of their own.
//
// Exports (statement_internal.h): compile_csv_line, compile_column.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "base/pool.h"
#include "compiler/compiler.h"
#include "compiler/statement_internal.h"
#include "files/files.h"
#include "program/operand.h"
#include "program/program.h"

namespace recsift::compiler {
namespace {

using input::Token;
using input::TokenList;
using program::CsvColumn;
using program::CsvLine;
using program::Operand;

constexpr uint32_t kColumnForms = kFormPosKeyword | kFormEndPosition | kFormLengthHere | kFormType;
// Room for a column whose length is known only when it runs (a position or length expression).
constexpr int32_t kVariableColumnRoom = 32760;
// The buffer of a CSV file: large writes, whatever its line length.
constexpr int32_t kCsvBlockSize = 1 << 16;
// Longest line the statement sizes its file for: beyond it LRECL must be given.
constexpr int64_t kMaxLineLength = 1 << 24;

Token* open_at(TokenList& list) {
  return input::left_over(list);
}

bool is_plain_word(const Token* t, std::string_view words) {
  return t != nullptr && detail::is_word(t) && (t->flags & input::kTokSplit) == 0 &&
         (t->flags & input::kTokAfterEquals) == 0 &&
         input::list_contains(words, detail::token_text(t));
}

// The value after KEYWORD= (or KEYWORD value): taken, its text returned; null when none follows.
const Token* take_value(TokenList& list) {
  Token* t = open_at(list);
  if (t == nullptr) return nullptr;
  input::take_token(list);
  return t;
}

// Bytes the cell of a column can take at most: its text doubled by quoting and the quotes, or
// the digits, sign, point and the zeros a scale adds.
int64_t column_room(const CsvColumn& c) {
  const Operand& f = *c.field;
  if (f.len_kind != program::LengthKind::kFixed) return kVariableColumnRoom;
  const int64_t n = std::max<int32_t>(f.len.value, 0);
  const int64_t zeros = c.scale < 0 ? -c.scale : c.scale + 2;
  switch (c.form) {
    case program::kCsvText:
      return 2 * n + 2;
    case program::kCsvPacked:
      return 2 * n + 2 + zeros;
    case program::kCsvBinary:
    case program::kCsvUnsignedBinary:
      return 21 + zeros;
    default:
      return n + 2 + zeros;
  }
}

// The file follows its columns: a text file (unless RECFM was given) whose lines hold the
// longest line the columns can make (unless LRECL was given), written whole.
void size_file(CsvLine& line, files::FFREC& file, bool lrecl_chosen) {
  if (!lrecl_chosen) return;
  int64_t length = 0;
  for (int32_t i = 0; i < line.count; ++i) {
    const CsvColumn& c = line.columns[i];
    // The header line holds the names, quoted at worst.
    length += std::max<int64_t>(column_room(c), 2 * int64_t{c.name_length} + 2) + 1;
  }
  length = std::min<int64_t>(std::max<int64_t>(length, 1), kMaxLineLength);
  file.lrecl = static_cast<int32_t>(length);
  if (!file.blksize_given) {
    file.blksize = std::max<int32_t>(file.lrecl + 2, kCsvBlockSize);
  }
}

// Appends one column to the line, growing its block ("csvc") by doubling.
CsvColumn& add_column(CsvLine& line) {
  if (line.count == line.capacity) {
    const int32_t capacity = line.capacity == 0 ? 8 : line.capacity * 2;
    auto* grown = static_cast<CsvColumn*>(
        base::qelgcore(static_cast<int64_t>(sizeof(CsvColumn)) * capacity, 0, "csvc"));
    for (int32_t i = 0; i < capacity; ++i) new (&grown[i]) CsvColumn();
    if (line.columns != nullptr) {
      std::copy(line.columns, line.columns + line.count, grown);
      base::qelgrel(&line.columns, "csvc");
    }
    line.columns = grown;
    line.capacity = capacity;
  }
  return line.columns[line.count++];
}

// The words after a column's field: UNSIGNED, DEC n, SIGN=form. Returns 0 or the message.
int column_words(Context& ctx, CsvColumn& c) {
  TokenList& list = *ctx.tokens;
  for (;;) {
    Token* t = open_at(list);
    if (is_plain_word(t, "UNSIGNED")) {
      input::take_token(list);
      if (c.form != program::kCsvBinary) return raise(ctx, detail::kMsgCsvColumn);
      c.form = program::kCsvUnsignedBinary;
    } else if (is_plain_word(t, "DEC")) {
      input::take_token(list);
      if (open_at(list) == nullptr) return raise(ctx, detail::kMsgCsvColumn);
      const std::string text = detail::word_as_typed(list, true);
      const bool negative = !text.empty() && text[0] == '-';
      int32_t scale = 0;
      if (!detail::parse_count(negative ? text.substr(1) : text, &scale) || scale > 99 ||
          c.form == program::kCsvText) {
        return raise(ctx, detail::kMsgCsvColumn);
      }
      c.scale = static_cast<int16_t>(negative ? -scale : scale);
    } else if (is_plain_word(t, "SIGN")) {
      input::take_token(list);
      const Token* v = take_value(list);
      const std::string_view w = detail::token_text(v);
      if (c.form != program::kCsvZoned || v == nullptr || !detail::is_word(v)) {
        return raise(ctx, detail::kMsgCsvColumn);
      }
      if (w == "TRAILING") {
        c.sign = program::kCsvSignTrailing;
      } else if (w == "LEADING") {
        c.sign = program::kCsvSignLeading;
      } else if (w == "LEADSEP") {
        c.sign = program::kCsvSignLeadingSeparate;
      } else if (w == "TRAILSEP") {
        c.sign = program::kCsvSignTrailingSeparate;
      } else {
        return raise(ctx, detail::kMsgCsvColumn);
      }
    } else {
      return 0;
    }
  }
}

// One column: an optional quoted name, the field, its TYPE and words. Returns 0 or the message.
int compile_one_column(Context& ctx, CsvLine& line) {
  TokenList& list = *ctx.tokens;
  Token* t = open_at(list);
  const char* name = nullptr;
  int32_t name_length = 0;
  if ((t->flags & input::kTokQuoted) != 0 && (t->flags & input::kTokHex) == 0) {
    name_length = t->length;
    auto* copy = static_cast<char*>(base::qelgcore(name_length + 1, 0, "csvn"));
    std::memcpy(copy, t->text, static_cast<size_t>(name_length));
    name = copy;
    input::take_token(list);
    if (open_at(list) == nullptr) return raise(ctx, detail::kMsgNoOperand);
  }
  Operand* field = nullptr;
  if (int rc = compile_operand(ctx, &field, kColumnForms); rc != 0) return rc;
  if (field->kind != program::OperandKind::kField ||
      field->len_kind == program::LengthKind::kNone) {
    return raise(ctx, detail::kMsgCsvColumn);
  }
  uint8_t form = program::kCsvText;
  switch (field->type) {
    case program::kTypeCharacter0:
    case program::kTypeCharacter:
      break;
    case program::kTypeNumericText:
      form = program::kCsvZoned;
      break;
    case program::kTypePacked:
      form = program::kCsvPacked;
      break;
    case program::kTypeBinary:
      form = program::kCsvBinary;
      break;
    default:
      return raise(ctx, detail::kMsgCsvColumn);
  }
  if (form == program::kCsvBinary && field->len_kind == program::LengthKind::kFixed &&
      (field->len.value < 1 || field->len.value > 8)) {
    return raise(ctx, detail::kMsgCsvColumn);
  }
  CsvColumn& c = add_column(line);
  c.field = field;
  c.name = name;
  c.name_length = name_length;
  c.form = form;
  if (int rc = column_words(ctx, c); rc != 0) {
    --line.count;
    return rc;
  }
  return 0;
}

// Columns until the statement's words run out or one is not a column.
void compile_columns(Context& ctx, program::Statement& csv) {
  TokenList& list = *ctx.tokens;
  CsvLine& line = *csv.csv;
  while (open_at(list) != nullptr && ctx.messages->pending == 0) {
    if (compile_one_column(ctx, line) != 0) return;
  }
  if (csv.file != nullptr) size_file(line, *csv.file, (csv.flags & program::kSfCsvSized) != 0);
}

// SEP=c: TAB, or one character other than a quote, CR or LF.
int separator(Context& ctx, CsvLine& line) {
  TokenList& list = *ctx.tokens;
  const Token* v = take_value(list);
  const std::string_view w = detail::token_text(v);
  if (v != nullptr && detail::is_word(v) && w == "TAB") {
    line.separator = '\t';
  } else if (v != nullptr && w.size() == 1 && w[0] != '"' && w[0] != '\r' && w[0] != '\n') {
    // An unquoted letter was upper-cased: the separator is the character as typed.
    const std::string typed = detail::is_word(v) ? std::string(v->source, 1) : std::string(w);
    line.separator = static_cast<uint8_t>(typed[0]);
  } else {
    return raise(ctx, detail::kMsgCsvSeparator);
  }
  return 0;
}

}  // namespace

void detail::compile_csv_line(Context& ctx) {
  program::Statement& rec = *ctx.program->current;
  TokenList& list = *ctx.tokens;
  rec.csv = new (base::qelgcore(sizeof(CsvLine), 0, "csv")) CsvLine();
  CsvLine& line = *rec.csv;
  // The lines need a file of their own: the primary input linking would supply is read.
  files::FFREC* file = rec.file;
  if (file == nullptr) {
    raise(ctx, detail::kMsgNoOperand);
    return;
  }
  {
    // A CSV file is text written as it is made: trailing blanks of the last cell stay.
    if (!file->recfm_given) {
      file->recfm = files::kRecfmU;
      file->recfm_given = true;
    }
    file->truncate = false;
    if (!file->lrecl_given) {
      file->lrecl_given = true;
      rec.flags |= program::kSfCsvSized;
    }
  }
  for (Token* t = open_at(list); t != nullptr && ctx.messages->pending == 0; t = open_at(list)) {
    if (is_plain_word(t, "SEP")) {
      input::take_token(list);
      if (separator(ctx, line) != 0) return;
    } else if (is_plain_word(t, "EBCDIC")) {
      input::take_token(list);
      line.ebcdic = true;
    } else if (is_plain_word(t, "TRIM")) {
      input::take_token(list);
      line.trim = true;
    } else if (is_plain_word(t, "HEADER")) {
      input::take_token(list);
      line.header = true;
    } else {
      break;
    }
  }
  if (ctx.messages->pending == 0) compile_columns(ctx, rec);
}

void detail::compile_column(Context& ctx) {
  program::Statement* csv = ctx.program->current->prev;
  if (csv == nullptr || !program::is_action(csv->type) || csv->op != program::Op::kCsv ||
      csv->csv == nullptr) {
    raise(ctx, kMsgColumnNotAfterCsv);
    return;
  }
  if (open_at(*ctx.tokens) == nullptr) {
    raise(ctx, kMsgNoOperand);
    return;
  }
  compile_columns(ctx, *csv);
}

}  // namespace recsift::compiler
