// The operand compiler: every position, length, literal and number a statement names becomes an
// operand descriptor (engine/operand.h) here. Callers pass the slot to fill and the accepted
// forms (compiler.h); this file owns the expression grammar, the position and length keywords,
// literals, immediate and computed numbers, TYPE, and the special-variable name table.
//
// Exports: compile_operand (compiler.h); compile_expression, read_type and the helpers of
// operand_compiler.h.
//
// Invariants:
//  - Expression values are stored as written; resolution subtracts 1 once per position (see
//    operand.h), so "POS L-1", "POS @P+1" and "POS DATE+1" name the positions they say.
//  - compile_expression takes all of an expression or nothing: a failed expression gives back
//    every token it took, so the caller's literal rule sees the token where it began.
//  - "+" and "-" inside a word are term signs whether or not the tokenizer split the word, so a
//    substituted and joined "10+5" reads like the split "10", "+", "5".
//  - A word that is no term but names a variable defined by EQU or on the command line stands
//    for the variable's value, read as one bracketed group of terms straight from the variable's
//    value tokens: the statement's token list is never changed for it.
#include <array>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "base/pool.h"
#include "compiler/compiler.h"
#include "compiler/operand_compiler.h"
#include "compiler/statement_internal.h"
#include "convert/special_area.h"
#include "input/input.h"
#include "program/operand.h"
#include "report/report.h"

namespace recsift::compiler {

using input::Token;
using input::TokenList;
using program::LengthKind;
using program::Operand;
using program::OperandKind;
using program::SpecialKind;
using program::Term;
using program::TermKind;

namespace {

// Messages of this compile step.

// Brackets nest at most this deep inside one expression.
constexpr int kMaxBracketDepth = 256;
// A variable's value may name further variables this deep (a cycle of names ends here).
constexpr int kMaxVariableDepth = 8;

// ---- Special-variable names ----------------------------------------------------------------
// One entry per group of synonyms, in the order of the run's name table; area fields carry their
// offset in the special-variable area. DATE and HEAD stand in the table's area-field group but
// designate the date area and the heading line, so they get kinds of their own.
struct SpecialName {
  std::string_view names;  // synonyms, comma-separated, upper case as the tokenizer delivers
  SpecialKind kind;        // the group's kind
  int offset;              // kAreaField: offset of the 4-byte field; else 0
};

constexpr std::array<SpecialName, 37> kSpecialNames{{
    {"CN", SpecialKind::kCn, 0},
    {"DATE", SpecialKind::kDateArea, 0},
    {"Diff", SpecialKind::kDiff, 0},  // mixed case as in the table: never matched
    {"DSN", SpecialKind::kDsn, 0},
    {"FSIZE", SpecialKind::kFileSize, 0},
    {"FHDR", SpecialKind::kFileHeader, 0},
    {"FN,FNAME", SpecialKind::kFileName, 0},
    {"HEAD", SpecialKind::kHeading, 0},
    {"PGNO,PAGECOUNT", SpecialKind::kAreaField, convert::kSpPageNumber},
    {"PARM,PARMS", SpecialKind::kParm, 0},
    {"RETCD,RETCODE", SpecialKind::kAreaField, convert::kSpReturnCode},
    {"RETVSAM", SpecialKind::kAreaField, convert::kSpKeyedStatus},
    {"RETCMS,CMSRETCD,RETXV,RETSYS", SpecialKind::kAreaField, convert::kSpCommandStatus},
    {"UXADIFF", SpecialKind::kAreaField, convert::kSpAddressDiff},
    {"UXATPTR", SpecialKind::kAreaField, convert::kSpAtPointer},
    {"UXINCNT,UXINCOUNT", SpecialKind::kAreaField, convert::kSpInputCount},
    {"UXLINE", SpecialKind::kAreaField, convert::kSpLine},
    {"UXLRECL", SpecialKind::kAreaField, convert::kSpRecordLength},
    {"UXPGNO", SpecialKind::kAreaField, convert::kSpPageNumber},
    {"UXREPLYL", SpecialKind::kAreaField, convert::kSpReplyLength},
    {"COMRG,COMREG", SpecialKind::kComreg, 0},
    {"UPSI", SpecialKind::kComreg, 0},
    {"PCB", SpecialKind::kPcb, 0},
    {"STATUS", SpecialKind::kPcb, 0},
    {"SEG", SpecialKind::kPcb, 0},
    {"FT", SpecialKind::kFt, 0},
    {"RPL", SpecialKind::kRpl, 0},
    {"SQLDA", SpecialKind::kSqlda, 0},
    {"SQLMA", SpecialKind::kSqlma, 0},
    {"SQLCA", SpecialKind::kSqlca, 0},
    {"VOLID", SpecialKind::kVolid, 0},
    {"RBA", SpecialKind::kRba, 0},
    {"QELNAME", SpecialKind::kQelname, 0},
    {"UXLINEREM", SpecialKind::kAreaField, convert::kSpLinesLeft},
    {"UXPD", SpecialKind::kAreaField, convert::kSpPageDepth},
    {"UXPW", SpecialKind::kAreaField, convert::kSpPageWidth},
    {"UXDW", SpecialKind::kAreaField, convert::kSpDataWidth},
}};

constexpr bool special_names_ok() {
  for (const SpecialName& s : kSpecialNames) {
    if (s.names.empty()) return false;
    if (s.kind == SpecialKind::kAreaField) {
      if (s.offset % 4 != 0 || s.offset + 4 > convert::kSpecialAreaSize) return false;
    } else if (s.offset != 0) {
      return false;
    }
  }
  return true;
}
static_assert(special_names_ok(), "special-variable names out of shape");

// The listing-line field whose use asks the listing to keep its line fields current.
constexpr int kLineFieldOffset = convert::kSpLine;

const SpecialName* find_special(std::string_view word) {
  for (const SpecialName& s : kSpecialNames) {
    if (input::list_contains(s.names, word)) return &s;
  }
  return nullptr;
}

// ---- Keyword lists ---------------------------------------------------------------------------
constexpr std::string_view kPosWords = "P,POS";
constexpr std::string_view kRecordLengthWords = "L,LRECL";
constexpr std::string_view kLenWords = "LEN,LENGTH";
constexpr std::string_view kTypeWords = "TYPE,TY";

// TYPE letters and the numeric types they give.
struct TypeLetter {
  char letter;
  uint8_t type;
};
constexpr std::array<TypeLetter, 5> kTypeLetters{{
    {'B', program::kTypeBinary},
    {'C', program::kTypeCharacter},
    {'F', program::kTypeF},
    {'P', program::kTypePacked},
    {'Z', program::kTypeNumericText},
}};

// ---- Tokens ----------------------------------------------------------------------------------

bool is_bracket(const Token* t) {
  const uint32_t marks = t->flags & input::kTokMarks;
  return marks == input::kTokOpen || marks == input::kTokClose;
}
bool is_end(const Token* t) {
  return (t->flags & input::kTokEnd) != 0;
}
bool is_quoted(const Token* t) {
  return (t->flags & input::kTokQuoted) != 0;
}
// The token continues the word of the token before it (a split piece).
bool continues_word(const Token* t) {
  return t->prev != nullptr && (t->prev->flags & input::kTokSplit) != 0;
}

Term* new_term() {
  return new (base::qelgcore(sizeof(Term), 0, "fldx")) Term();
}

bool all_digits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// ---- Expressions -----------------------------------------------------------------------------

// One piece of a token's text: a sign or a word.
struct Piece {
  std::string_view text;
  bool sign;
};

// Cuts a token's text at "+" and "-" into at most `max` pieces; returns the count, or -1 when
// there are more.
int cut_pieces(std::string_view text, Piece* out, int max) {
  int n = 0;
  size_t i = 0;
  while (i < text.size()) {
    if (n == max) return -1;
    if (text[i] == '+' || text[i] == '-') {
      out[n++] = Piece{text.substr(i, 1), true};
      ++i;
      continue;
    }
    size_t j = i;
    while (j < text.size() && text[j] != '+' && text[j] != '-') ++j;
    out[n++] = Piece{text.substr(i, j - i), false};
    i = j;
  }
  return n;
}

// What a word means as a term. Returns false when it is not a term.
struct TermResult {
  bool is_term = false;
  bool too_long = false;  // digits beyond 32 bits
  Term term;
};

// A term with the sign it was written after: an absolute term carries the sign in its value,
// any other term as its negative flag.
Term with_sign(Term term, int sign) {
  if (sign < 0) {
    if (term.kind == TermKind::kAbsolute) {
      term.value = -term.value;
    } else {
      term.flags |= program::kTermNegative;
    }
  }
  return term;
}

TermResult classify_word(Context& ctx, std::string_view w, int mode) {
  TermResult r;
  if (all_digits(w)) {
    int64_t v = 0;
    for (char c : w) {
      v = v * 10 + (c - '0');
      if (v > INT32_MAX) {
        r.too_long = true;
        return r;
      }
    }
    r.is_term = true;
    r.term.kind = TermKind::kAbsolute;
    r.term.value = static_cast<int32_t>(v);
    return r;
  }
  if (input::list_contains(kRecordLengthWords, w)) {
    r.is_term = true;
    r.term.kind = TermKind::kRecordLength;
    return r;
  }
  if (!w.empty() && w[0] == '@') {
    r.is_term = true;
    r.term.kind = TermKind::kPointer;
    r.term.pointer = w.size() == 1 ? 0 : ctx.names->insert(w.substr(1));
    return r;
  }
  if (w == "DIFF") {
    r.is_term = true;
    r.term.kind = TermKind::kPointer;
    r.term.pointer = 1;  // the comparison pointer
    return r;
  }
  if (mode != kExprLength) {
    if (const SpecialName* s = find_special(w)) {
      r.is_term = true;
      r.term.kind = TermKind::kSpecial;
      r.term.special = s->kind;
      r.term.offset = s->offset;
      if (s->kind == SpecialKind::kAreaField && s->offset == kLineFieldOffset &&
          ctx.listing != nullptr) {
        ctx.listing->line_fields_wanted = true;
      }
      return r;
    }
  }
  return r;
}

// The substitution variable a word names when it is no term itself: one defined by EQU or on
// the command line, with a value. Environment variables only stand where they are referenced
// as %NAME%; an undefined reference that substitution left as written ("%2" under ENVFAIL SAME)
// stays an ordinary word.
const input::Variable* expression_variable(const Context& ctx, std::string_view w) {
  if (ctx.variables == nullptr || w.empty()) return nullptr;
  const input::Variable* v = input::find_variable(*ctx.variables, w);
  if (v == nullptr || (v->kind != input::kVarEqu && v->kind != input::kVarCommandLine) ||
      (v->flags & input::kVarUndefined) != 0) {
    return nullptr;
  }
  return v;
}

// Reads the value tokens of the variable `v` as terms, appending them to *out. The value stands
// in the expression as one bracketed group: `sign` (+1 or -1) applies to each of its terms, so
// "20-FLD" with FLD = "10 + 5" is 5. Brackets inside the value group as in a statement, and a
// word of the value may name another variable. Returns 0, or kMsgBadVariable when the value is
// missing or is not a sum of terms (a quoted or hex token, two signs or two terms in a row, a
// trailing sign, a word that is no term, unbalanced brackets, variables nested too deep).
int variable_terms(Context& ctx, const input::Variable& v, int mode, int sign, int depth,
                   std::vector<Term>* out) {
  if (depth > kMaxVariableDepth || (v.flags & input::kVarUndefined) != 0 || v.value == nullptr ||
      v.value_count == 0) {
    return kMsgBadVariable;
  }
  int group_sign[kMaxBracketDepth + 1] = {sign};
  int level = 0;
  int pending = 0;     // sign read and not yet applied
  bool after = false;  // a term (or a closed group) was read: a sign must come next
  for (const Token* t = v.value; t != nullptr; t = t->next) {
    const uint32_t marks = t->flags & input::kTokMarks;
    if (marks == input::kTokOpen) {
      if (after || level == kMaxBracketDepth) return kMsgBadVariable;
      group_sign[level + 1] = group_sign[level] * (pending < 0 ? -1 : 1);
      ++level;
      pending = 0;
      continue;
    }
    if (marks == input::kTokClose) {
      if (level == 0 || pending != 0 || !after) return kMsgBadVariable;
      --level;
      continue;
    }
    if (is_quoted(t) || (t->flags & input::kTokHex) != 0) return kMsgBadVariable;
    Piece pieces[64];
    const int n = cut_pieces(token_text(t), pieces, 64);
    if (n <= 0) return kMsgBadVariable;
    for (int i = 0; i < n; ++i) {
      if (pieces[i].sign) {
        if (pending != 0) return kMsgBadVariable;
        pending = pieces[i].text[0] == '-' ? -1 : 1;
        after = false;
        continue;
      }
      if (after) return kMsgBadVariable;
      const int term_sign = (pending < 0 ? -1 : 1) * group_sign[level];
      const TermResult r = classify_word(ctx, pieces[i].text, mode);
      if (r.is_term) {
        out->push_back(with_sign(r.term, term_sign));
      } else if (const input::Variable* inner = expression_variable(ctx, pieces[i].text)) {
        if (variable_terms(ctx, *inner, mode, term_sign, depth + 1, out) != 0) {
          return kMsgBadVariable;
        }
      } else {
        return kMsgBadVariable;
      }
      pending = 0;
      after = true;
    }
  }
  if (pending != 0 || level != 0 || !after) return kMsgBadVariable;
  return 0;
}

Term* chain_of(Operand* op, int mode) {
  switch (mode) {
    case kExprLength:
      return &op->len;
    case kExprPosition:
      return &op->pos;
    default:
      return &op->end;
  }
}

// Walks the brackets between two tokens: opening ones push the sign in force, closing ones pop.
struct Brackets {
  int depth = 0;
  int sign[kMaxBracketDepth + 1] = {1};
  // False when nesting is too deep.
  bool pass(const Token* from, const Token* to, int pending) {
    for (const Token* r = from; r != nullptr && r != to && !is_end(r); r = r->next) {
      if (!is_bracket(r)) continue;
      if ((r->flags & input::kTokOpen) != 0) {
        if (depth == kMaxBracketDepth) return false;
        sign[depth + 1] = sign[depth] * (pending < 0 ? -1 : 1);
        ++depth;
        opened = true;
      } else if (depth > 0) {
        --depth;
      }
    }
    return true;
  }
  bool opened = false;  // a group opened since the last term: its first term needs no sign
};

}  // namespace

// ---- Shared helpers --------------------------------------------------------------------------

std::string_view token_text(const Token* t) {
  if (t == nullptr || t->text == nullptr) return {};
  return std::string_view(t->text, static_cast<size_t>(t->length));
}

bool token_is(const Token* t, std::string_view synonyms) {
  return t != nullptr && !is_quoted(t) && (t->flags & input::kTokHex) == 0 &&
         input::list_contains(synonyms, token_text(t));
}

bool is_special_name(std::string_view word) {
  return find_special(word) != nullptr;
}

Operand* new_operand() {
  return new (base::qelgcore(sizeof(Operand), 0, "FLD")) Operand();
}

// Returns a chain's further terms ("fldx") to the pool; the first term lives in the descriptor.
void release_terms(Term& first) {
  Term* t = first.next;
  while (t != nullptr) {
    Term* next = t->next;
    base::qelgrel(&t, "fldx");
    t = next;
  }
  first.next = nullptr;
}

// A descriptor owns its chained terms and the bytes of a literal compiled into it.
void release_parts(Operand* op) {
  release_terms(op->pos);
  release_terms(op->len);
  release_terms(op->end);
  if (op->kind == OperandKind::kLiteral && op->lit != nullptr) base::qelgrel(&op->lit, "lit");
}

void release_operand(Operand** slot) {
  if (*slot != nullptr) release_parts(*slot);
  base::qelgrel(slot, "FLD");
}

void clear_operand(Operand* op) {
  // A descriptor is cleared when a form did not fit and another is tried, or when a later
  // operand takes its slot: what the earlier form holds must not be lost.
  release_parts(op);
  *op = Operand();
}

bool single_absolute(const Term& t) {
  return t.kind == TermKind::kAbsolute && t.next == nullptr;
}

bool has_length(const Operand* op) {
  if (op == nullptr) return false;
  switch (op->kind) {
    case OperandKind::kNone:
      return false;
    case OperandKind::kField:
      return op->len_kind != LengthKind::kNone;
    case OperandKind::kLiteral:
    case OperandKind::kImmediate:
    case OperandKind::kComputed:
    case OperandKind::kAreaField:
    case OperandKind::kTable:
    case OperandKind::kRecordCount:
    case OperandKind::kListingLine:
    case OperandKind::kReturnCode:
      return true;
  }
  return false;
}

int32_t fixed_length(const Operand* op) {
  if (op == nullptr) return -1;
  if (op->kind == OperandKind::kLiteral) return op->lit_length;
  return op->len_kind == LengthKind::kFixed ? op->len.value : -1;
}

void set_char_literal(Operand* op, const char* bytes, int32_t length) {
  auto* text = static_cast<uint8_t*>(base::qelgcore(length + 1, 0, "lit"));
  if (length > 0) std::memcpy(text, bytes, static_cast<size_t>(length));
  op->kind = OperandKind::kLiteral;
  op->type = program::kTypeCharacter;
  op->format = program::kFormatLiteral;
  op->lit = text;
  op->lit_length = length;
  op->len_kind = LengthKind::kFixed;
  op->len = Term{};
  op->len.kind = TermKind::kAbsolute;
  op->len.value = length;
}

TokenState::TokenState(Context& ctx)
    : ctx_(ctx),
      current_(ctx.tokens->current),
      unconsumed_(ctx.tokens->unconsumed),
      last_keyword_(ctx.tokens->last_keyword),
      error_(ctx.tokens->error),
      pending_(ctx.messages->pending),
      mark_offset_(ctx.messages->mark_offset),
      mark_length_(ctx.messages->mark_length) {
  for (const Token* t = ctx.tokens->head; t != nullptr; t = t->next) {
    flags_.push_back(t->flags);
    if (is_end(t)) break;
  }
}

void TokenState::restore() {
  size_t i = 0;
  for (Token* t = ctx_.tokens->head; t != nullptr && i < flags_.size(); t = t->next) {
    t->flags = flags_[i++];
  }
  ctx_.tokens->current = current_;
  ctx_.tokens->unconsumed = unconsumed_;
  ctx_.tokens->last_keyword = last_keyword_;
  ctx_.tokens->error = error_;
  ctx_.messages->pending = pending_;
  ctx_.messages->mark_offset = mark_offset_;
  ctx_.messages->mark_length = mark_length_;
}

int compile_expression(Context& ctx, Operand* op, int mode, uint32_t forms) {
  TokenList& list = *ctx.tokens;
  Term* head = chain_of(op, mode);
  *head = Term{};
  TokenState start(ctx);

  // "P" or "POS" as the first word of a position is passed over.
  if (mode == kExprPosition && list.unconsumed > 1 && token_is(list.current, kPosWords) &&
      (list.current->flags & input::kTokSplit) == 0) {
    input::take_token(list);
  }

  Term* tail = nullptr;
  int terms = 0;
  int pending = 0;  // sign read and not yet applied: +1, -1, or 0
  Brackets brackets;
  const Token* last = nullptr;
  auto fail = [&](int result) {
    start.restore();
    *head = Term{};
    return result;
  };

  for (Token* t = list.current; t != nullptr; t = list.current) {
    if (!brackets.pass(last != nullptr ? last->next : t, t, pending)) {
      return fail(kMsgInvalidOperand);
    }
    if (is_quoted(t) || (t->flags & input::kTokHex) != 0) break;
    const bool expect_term = terms == 0 || pending != 0 || brackets.opened;
    if (terms > 0 && !continues_word(t) &&
        (t->flags & (input::kTokAfterEquals | input::kTokAfterComma)) != 0) {
      break;
    }
    Piece pieces[64];
    const int n = cut_pieces(token_text(t), pieces, 64);
    if (n <= 0) break;
    // A word that does not follow a sign ends the expression, and so does a word that is no
    // term; both leave the token untaken.
    if (!pieces[0].sign) {
      if (!expect_term) break;
      const TermResult probe = classify_word(ctx, pieces[0].text, mode);
      if (probe.too_long && (forms & kFormLongNumber) != 0 && head->kind == TermKind::kNone &&
          n == 1) {
        return fail(kLongNumber);
      }
      if (!probe.is_term && expression_variable(ctx, pieces[0].text) == nullptr) {
        if (pending != 0) return fail(kMsgInvalidOperand);
        break;
      }
    }
    // Take the token whole: every piece must fit.
    for (int i = 0; i < n; ++i) {
      if (pieces[i].sign) {
        if (pending != 0) return fail(kMsgInvalidOperand);  // two signs in a row
        pending = pieces[i].text[0] == '-' ? -1 : 1;
        continue;
      }
      if (terms > 0 && pending == 0 && !brackets.opened) return fail(kMsgInvalidOperand);
      const int sign = (pending < 0 ? -1 : 1) * brackets.sign[brackets.depth];
      // A term as written, or the terms of the variable the word names.
      std::vector<Term> read;
      const TermResult r = classify_word(ctx, pieces[i].text, mode);
      if (r.is_term) {
        read.push_back(with_sign(r.term, sign));
      } else if (const input::Variable* v = expression_variable(ctx, pieces[i].text)) {
        if (variable_terms(ctx, *v, mode, sign, 0, &read) != 0) {
          fail(kMsgBadVariable);
          // The mark goes on the word that names the variable; a piece cut out of a word has no
          // place of its own in the statement, so there the word's first piece is marked.
          Token* begin = list.current;
          Token* at = t;
          while (continues_word(at) &&
                 (at->flags & (input::kTokInserted | input::kTokOwnsText)) != 0) {
            at = at->prev;
          }
          list.current = at;
          raise(ctx, kMsgBadVariable);
          list.current = begin;
          return kMsgBadVariable;
        }
      } else {
        return fail(kMsgInvalidOperand);
      }
      for (const Term& term : read) {
        if (tail == nullptr) {
          *head = term;
          tail = head;
        } else {
          Term* extra = new_term();
          *extra = term;
          tail->next = extra;
          tail = extra;
        }
        ++terms;
      }
      pending = 0;
      brackets.opened = false;
    }
    last = t;
    input::take_token(list);
  }
  if (pending != 0 || terms == 0) return fail(kNoExpression);

  switch (mode) {
    case kExprLength:
      op->len_kind = single_absolute(*head) ? LengthKind::kFixed : LengthKind::kExpression;
      if (op->len_kind == LengthKind::kFixed && head->value < 1) {
        op->len_flags |= program::kLenBelowOne;
      }
      break;
    case kExprPosition: {
      bool all_absolute = true;
      int64_t sum = 0;
      for (const Term* p = head; p != nullptr; p = p->next) {
        if (p->kind != TermKind::kAbsolute) all_absolute = false;
        sum += p->value;
      }
      if (all_absolute && sum < 1) op->pos_flags |= program::kPosBelowOne;
      // A special variable of the area written alone is the 4-byte field itself.
      if (terms == 1 && head->kind == TermKind::kSpecial &&
          head->special == SpecialKind::kAreaField && (head->flags & program::kTermNegative) == 0) {
        op->kind = OperandKind::kAreaField;
        op->type = program::kTypeBinary;
        op->format = program::kFormatLiteral;
        op->len_kind = LengthKind::kFixed;
        op->len = Term{};
        op->len.kind = TermKind::kAbsolute;
        op->len.value = 4;
      } else {
        op->kind = OperandKind::kField;
      }
      break;
    }
    default:
      break;
  }
  return 0;
}

int read_type(Context& ctx, Operand* op, bool anywhere) {
  TokenList& list = *ctx.tokens;
  if (list.unconsumed < 2) return 0;
  if (anywhere) {
    if (input::find_anywhere(list, kTypeWords) == nullptr) return 0;
  } else if (input::match_current(list, kTypeWords) == nullptr) {
    return 0;
  }
  Token* value = list.current;
  if (value == nullptr) {
    // TYPE was the last token: nothing to read.
    if (anywhere) input::left_over(list);
    return raise(ctx, kMsgBadType);
  }
  const std::string_view v = token_text(value);
  uint8_t type = 0;
  for (const TypeLetter& l : kTypeLetters) {
    if (!v.empty() && v[0] == l.letter) type = l.type;
  }
  op->type = type;
  if (v.size() != 1 || type == 0) {
    return raise(ctx, kMsgBadType);
  }
  input::take_token(list);
  if (anywhere) input::left_over(list);
  return 0;
}

namespace {

// ---- Literals --------------------------------------------------------------------------------

// Takes the current token, and the pieces that continue its word, as a character literal.
void take_char_literal(Context& ctx, Operand* op) {
  TokenList& list = *ctx.tokens;
  Token* t = list.current;
  if (is_quoted(t) || (t->flags & input::kTokSplit) == 0) {
    set_char_literal(op, t->text, t->length);
    input::take_token(list);
    return;
  }
  // A split word is joined back from its pieces: the chain from t up to the first piece that is
  // not split. Copying and taking walk the same chain, so the text never outgrows its block.
  int32_t total = 0;
  const Token* last = t;
  for (const Token* p = t; p != nullptr && !is_end(p); p = p->next) {
    total += p->length;
    last = p;
    if ((p->flags & input::kTokSplit) == 0) break;
  }
  auto* joined = static_cast<char*>(base::qelgcore(total + 1, 0, "lit"));
  int32_t at = 0;
  for (const Token* p = t;; p = p->next) {
    std::memcpy(joined + at, p->text, static_cast<size_t>(p->length));
    at += p->length;
    if (p == last) break;
  }
  // Take the pieces that are still open; the current token moves past the chain.
  for (bool in_chain = true; in_chain && list.current != nullptr;) {
    in_chain = false;
    for (const Token* p = t;; p = p->next) {
      if (p == list.current) {
        in_chain = true;
        break;
      }
      if (p == last) break;
    }
    if (in_chain) input::take_token(list);
  }
  op->kind = OperandKind::kLiteral;
  op->type = program::kTypeCharacter;
  op->format = program::kFormatLiteral;
  op->lit = reinterpret_cast<uint8_t*>(joined);
  op->lit_length = at;
  op->len_kind = LengthKind::kFixed;
  op->len = Term{};
  op->len.kind = TermKind::kAbsolute;
  op->len.value = at;
}

// Numeric literal from the current token (a long digit string, perhaps after a sign): packed
// decimal for ADD and SUB, digits as text otherwise.
void take_numeric_literal(Context& ctx, Operand* op) {
  TokenList& list = *ctx.tokens;
  bool negative = false;
  std::string_view text = token_text(list.current);
  if (text == "+" || text == "-") {
    negative = text == "-";
    input::take_token(list);
    text = token_text(list.current);
  } else if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  while (text.size() > 1 && text[0] == '0') text.remove_prefix(1);
  const int digits = static_cast<int>(text.size());
  const program::Op op_code =
      ctx.program->current != nullptr ? ctx.program->current->op : program::Op::kNone;
  const bool packed = op_code == program::Op::kAdd || op_code == program::Op::kSub;
  op->kind = OperandKind::kLiteral;
  op->format = program::kFormatLiteral;
  op->len_kind = LengthKind::kFixed;
  op->len = Term{};
  op->len.kind = TermKind::kAbsolute;
  if (packed) {
    const int n = (digits + 2) / 2;
    auto* p = static_cast<uint8_t*>(base::qelgcore(n, 0, "lit"));
    // Digits fill from the right: the last byte holds the last digit and the sign.
    int d = digits - 1;
    p[n - 1] = static_cast<uint8_t>(((text[d--] - '0') << 4) | (negative ? 0x0D : 0x0C));
    for (int i = n - 2; i >= 0; --i) {
      uint8_t b = 0;
      if (d >= 0) b = static_cast<uint8_t>(text[d--] - '0');
      if (d >= 0) b = static_cast<uint8_t>(b | ((text[d--] - '0') << 4));
      p[i] = b;
    }
    op->type = program::kTypePacked;
    op->lit = p;
    op->lit_length = n;
  } else {
    const int n = digits + (negative ? 1 : 0);
    auto* p = static_cast<uint8_t*>(base::qelgcore(n + 1, 0, "lit"));
    int at = 0;
    if (negative) p[at++] = '-';
    std::memcpy(p + at, text.data(), text.size());
    op->type = program::kTypeNumericText;
    op->lit = p;
    op->lit_length = n;
  }
  op->len.value = op->lit_length;
  input::take_token(list);
}

void make_immediate(Operand* op, int32_t value) {
  op->kind = OperandKind::kImmediate;
  op->immediate = value;
  op->pos_flags = 0;
  op->type = program::kTypeBinary;
  op->format = program::kFormatLiteral;
  op->pos = Term{};
  op->len_kind = LengthKind::kFixed;
  op->len = Term{};
  op->len.kind = TermKind::kAbsolute;
  op->len.value = 4;
}

// Turns the position chain into a computed number. Returns false for a term that has no value.
bool make_computed(Operand* op) {
  for (const Term* t = &op->pos; t != nullptr; t = t->next) {
    if (t->kind != TermKind::kAbsolute && t->kind != TermKind::kRecordLength &&
        t->kind != TermKind::kPointer) {
      return false;
    }
  }
  for (Term* t = &op->pos; t != nullptr; t = t->next) {
    switch (t->kind) {
      case TermKind::kAbsolute:
        t->kind = TermKind::kNumber;
        break;
      case TermKind::kRecordLength:
        t->kind = TermKind::kNumberRecordLength;
        break;
      default:
        t->kind = TermKind::kNumberPointer;
        break;
    }
  }
  op->kind = OperandKind::kComputed;
  op->type = program::kTypeBinary;
  op->format = program::kFormatLiteral;
  op->len_kind = LengthKind::kFixed;
  op->len = Term{};
  op->len.kind = TermKind::kAbsolute;
  op->len.value = 4;
  return true;
}

bool same_base(const Term& a, const Term& b) {
  if (a.next != nullptr || b.next != nullptr || a.kind != b.kind) return false;
  if ((a.flags & program::kTermNegative) != (b.flags & program::kTermNegative)) return false;
  switch (a.kind) {
    case TermKind::kAbsolute:
    case TermKind::kRecordLength:
      return true;
    case TermKind::kPointer:
      return a.pointer == b.pointer;
    case TermKind::kSpecial:
      return a.special == b.special && a.offset == b.offset;
    default:
      return false;
  }
}

// The length keywords the forms allow, as one synonym list.
std::string_view length_words(uint32_t forms, bool l_words) {
  const bool no_l = (forms & kFormNoL) != 0;
  const bool no_big = (forms & kFormNoRecsizeLrecl) != 0;
  if (!l_words) return no_big ? "LEN,LENGTH" : "LEN,LENGTH,RECSIZE";
  if (no_l && no_big) return "";
  if (no_l) return "LRECL";
  if (no_big) return "L";
  return "L,LRECL";
}

// Finds a length keyword: at the current token, or (without kFormLengthHere) anywhere.
const char* find_length_word(TokenList& list, std::string_view words, uint32_t forms) {
  if (words.empty()) return nullptr;
  if ((forms & kFormLengthHere) != 0 || list.unconsumed < 2)
    return input::match_current(list, words);
  const char* found = input::match_current(list, words);
  if (found != nullptr) return found;
  if (input::find_anywhere(list, words) == nullptr) return nullptr;
  return "";
}

// Compiles the operand's end position at the current token (step "end position"). Returns 0
// when an end was taken or none stands here, else a message number; *taken tells which.
int compile_end(Context& ctx, Operand* op, uint32_t forms, bool* taken) {
  *taken = false;
  TokenList& list = *ctx.tokens;
  Token* t = list.current;
  if (t == nullptr || is_quoted(t) || (t->flags & input::kTokHex) != 0 ||
      (t->flags & input::kTokAfterEquals) != 0) {
    return 0;
  }
  const std::string_view w = token_text(t);
  if ((w.size() == 1 || w.size() == 3) && w[0] == 'P') return 0;
  TokenState before(ctx);
  if (const int rc = compile_expression(ctx, op, kExprEnd, forms & ~kFormLongNumber); rc != 0) {
    if (rc == kMsgBadVariable) return rc;
    before.restore();
    op->end = Term{};
    return 0;
  }
  *taken = true;
  if ((forms & kFormAbsoluteOnly) != 0 && !single_absolute(op->end)) {
    return raise(ctx, kMsgInvalidOperand);
  }
  op->pos_flags |= program::kPosRange;
  if (same_base(op->pos, op->end)) {
    const int64_t length = int64_t{op->end.value} - op->pos.value + 1;
    if (length <= 0) return raise(ctx, kMsgEndBeforeStart);
    op->len_kind = LengthKind::kFixed;
    op->len = Term{};
    op->len.kind = TermKind::kAbsolute;
    op->len.value = static_cast<int32_t>(length);
  } else {
    op->len_kind = LengthKind::kToEnd;
  }
  return 0;
}

// The end of a successful field: format, TYPE.
int finish_field(Context& ctx, Operand* op, uint32_t forms) {
  if (op->kind == OperandKind::kField) {
    op->format =
        op->len_kind != LengthKind::kNone ? program::kFormatField : program::kFormatUndecided;
  }
  if ((forms & kFormType) != 0) return read_type(ctx, op, false);
  return 0;
}

bool invalid_request(uint32_t forms, const Operand* op) {
  if ((forms & kFormPosKeyword) != 0 && (forms & kFormLength) != 0) return true;
  if ((forms & kFormPlainNumber) != 0 &&
      (forms & (kFormLength | kFormPosKeyword | kFormEndPosition | kFormPositionOnly)) != 0) {
    return true;
  }
  if ((forms & kFormLengthOnly) != 0 && forms != kFormLengthOnly) return true;
  if ((forms & kFormCharLiteral) != 0 && op != nullptr && op->kind == OperandKind::kField &&
      op->pos.kind != TermKind::kNone) {
    return true;
  }
  return false;
}

// The request that compiles only an end position for the operand in the slot.
constexpr uint32_t kEndOnlyRequest = 0x40030;

// The literal rule: a character literal, message 42 or message 7.
int literal_rule(Context& ctx, Operand* op, uint32_t forms) {
  TokenList& list = *ctx.tokens;
  if ((forms & kFormCharLiteral) != 0 && list.current != nullptr) {
    clear_operand(op);
    take_char_literal(ctx, op);
    return finish_field(ctx, op, forms);
  }
  if ((forms & kFormLiteralRefused) != 0) return raise(ctx, kMsgNotLiteral);
  return raise(ctx, kMsgInvalidOperand);
}

}  // namespace

int compile_operand(Context& ctx, Operand** slot, uint32_t forms) {
  if (ctx.messages->pending != 0) return ctx.messages->pending;
  TokenList& list = *ctx.tokens;

  // 1. TYPE alone; the end-position request; invalid requests.
  if (forms == kFormType) {
    if (*slot == nullptr) *slot = new_operand();
    return read_type(ctx, *slot, true);
  }
  if (invalid_request(forms, *slot) && forms != kEndOnlyRequest) {
    return raise(ctx, kMsgInvalidRequest);
  }
  if (*slot == nullptr) *slot = new_operand();
  Operand* op = *slot;
  if (forms == kEndOnlyRequest) {
    bool taken = false;
    const int rc = compile_end(ctx, op, forms, &taken);
    if (rc == 0 && taken) op->format = program::kFormatField;
    return rc;
  }

  // 2. Something must be there.
  Token* t = list.current;
  if (t == nullptr || list.unconsumed <= 0 || (t->flags & input::kTokConsumed) != 0 ||
      (t->flags & input::kTokError) != 0) {
    return raise(ctx, kMsgNoOperand);
  }

  // 3. One length expression.
  if (forms == kFormLengthOnly) {
    const int rc = compile_expression(ctx, op, kExprLength, forms);
    return rc == 0 ? 0 : raise(ctx, rc > 0 ? rc : kMsgInvalidOperand);
  }

  // 4. A quoted token.
  if (is_quoted(t)) {
    if ((forms & (kFormCharLiteral | kFormLiteralRefused)) == 0) {
      return raise(ctx, kMsgInvalidOperand);
    }
    clear_operand(op);
    take_char_literal(ctx, op);
    return finish_field(ctx, op, forms);
  }

  // 5. P or POS.
  bool pos_given = false;
  uint32_t f = forms;
  if ((forms & kFormPosKeyword) != 0 && list.unconsumed > 1 && token_is(t, kPosWords) &&
      (t->flags & input::kTokSplit) == 0) {
    input::take_token(list);
    pos_given = true;
    f = (f | kFormLength) & ~(kFormFromKeywords | kFormFrKeyword | kFormIntoKeyword);
  }

  // 6. The position expression.
  constexpr uint32_t kExpressionForms = kFormLength | kFormPlainNumber | kFormEndPosition |
                                        kFormPositionOnly | kFormFromKeywords | kFormLongNumber;
  if ((f & kExpressionForms) == 0 && !pos_given) return literal_rule(ctx, op, f);
  TokenState at_expression(ctx);
  const int rc = compile_expression(ctx, op, kExprPosition, f);
  if (rc == kLongNumber) {
    take_numeric_literal(ctx, op);
    return 0;
  }
  if (rc == kNoExpression) return literal_rule(ctx, op, f);
  if (rc != 0) return raise(ctx, rc);
  if (pos_given) op->pos_flags |= program::kPosKeyword;
  if (op->kind == OperandKind::kAreaField) return finish_field(ctx, op, f);

  // 7. Absolute only; immediate values; positions below 1.
  const bool numbers = (f & (kFormPlainNumber | kFormLongNumber)) != 0;
  if ((f & kFormAbsoluteOnly) != 0 && !single_absolute(op->pos)) {
    return raise(ctx, kMsgInvalidOperand);
  }
  const bool below_one = (op->pos_flags & program::kPosBelowOne) != 0;
  if (single_absolute(op->pos) && !below_one && numbers && !pos_given &&
      (f & (kFormLength | kFormEndPosition | kFormFromKeywords)) == 0) {
    make_immediate(op, op->pos.value);
    return 0;
  }
  bool below_one_pending = false;
  if (below_one && (f & kFormBelowOneAllowed) == 0) {
    if (numbers && single_absolute(op->pos) && !pos_given) {
      make_immediate(op, op->pos.value);
      return 0;
    }
    if ((f & kFormCharLiteral) != 0) {
      at_expression.restore();
      return literal_rule(ctx, op, f);
    }
    // 75 when a length or an end follows, else 9.
    below_one_pending = true;
  }

  // 8. AT, FR, FROM, INTO: what was compiled is the length, a position follows.
  if ((f & kFormFromKeywords) != 0 && !pos_given && list.unconsumed > 1) {
    std::string_view words = "AT";
    if ((f & kFormFrKeyword) != 0 && (f & kFormIntoKeyword) != 0) {
      words = "AT,FR,FROM,INTO";
    } else if ((f & kFormFrKeyword) != 0) {
      words = "AT,FR,FROM";
    } else if ((f & kFormIntoKeyword) != 0) {
      words = "AT,INTO";
    }
    const bool found = (f & kFormFromAnywhere) != 0 ? input::find_anywhere(list, words) != nullptr
                                                    : input::match_current(list, words) != nullptr;
    if (found) {
      op->len = op->pos;
      op->len_kind = single_absolute(op->len) ? LengthKind::kFixed : LengthKind::kExpression;
      op->len_flags |= program::kLenFromAt;
      if (op->len_kind == LengthKind::kFixed && op->len.value < 1) {
        op->len_flags |= program::kLenBelowOne;
      }
      op->pos = Term{};
      op->pos_flags = 0;
      const int prc = compile_expression(ctx, op, kExprPosition, f & ~kFormLongNumber);
      if (prc != 0) return raise(ctx, prc > 0 ? prc : kMsgInvalidOperand);
      if ((f & kFormAbsoluteOnly) != 0 && !single_absolute(op->pos)) {
        return raise(ctx, kMsgInvalidOperand);
      }
      if ((op->pos_flags & program::kPosBelowOne) != 0 && (f & kFormBelowOneAllowed) == 0) {
        return raise(ctx, kMsgBelowOne);
      }
      op->kind = OperandKind::kField;
      return finish_field(ctx, op, f);
    }
  }

  // 9. Length keywords.
  if ((f & kFormLength) != 0 && list.current != nullptr) {
    Token* here = list.current;
    bool got = false;
    if (find_length_word(list, length_words(f, false), f) != nullptr) {
      const int lrc = compile_expression(ctx, op, kExprLength, f & ~kFormLongNumber);
      if (lrc != 0) return raise(ctx, lrc > 0 ? lrc : kMsgInvalidOperand);
      got = true;
    } else if (find_length_word(list, length_words(f, true), f) != nullptr) {
      // After L or LRECL the length may not follow: the keyword is given back.
      TokenState after_keyword(ctx);
      const int lrc = compile_expression(ctx, op, kExprLength, f & ~kFormLongNumber);
      if (lrc == kMsgBadVariable) return lrc;
      if (lrc == 0) {
        got = true;
      } else {
        after_keyword.restore();
        input::back_up(list);
      }
    }
    // A length found elsewhere in the statement: go on where the operand stands.
    if (got && here != nullptr && (here->flags & input::kTokConsumed) == 0) {
      list.current = here;
    } else if (got && (f & kFormLengthHere) == 0) {
      input::left_over(list);
    }
    if (got) {
      if (below_one_pending) return raise(ctx, kMsgBelowOneBeforeLength);
      return finish_field(ctx, op, f);
    }
  }
  if (pos_given && (f & (kFormEndPosition | kFormPositionOnly)) == 0) {
    return raise(ctx, kMsgPosWithoutLength);
  }

  // 10. An end position.
  if ((f & kFormEndPosition) != 0) {
    bool taken = false;
    const int erc = compile_end(ctx, op, f, &taken);
    if (erc != 0) return erc;
    if (taken) {
      if (below_one_pending) return raise(ctx, kMsgBelowOneBeforeLength);
      return finish_field(ctx, op, f);
    }
  }

  // 11. A bare position, a number, or the literal rule.
  if (below_one_pending) return raise(ctx, kMsgBelowOne);
  if ((f & kFormPositionOnly) != 0 || pos_given) return finish_field(ctx, op, f);
  if (numbers) {
    if (single_absolute(op->pos)) {
      make_immediate(op, op->pos.value);
      return 0;
    }
    if (!make_computed(op)) return raise(ctx, kMsgNotANumber);
    return 0;
  }
  at_expression.restore();
  clear_operand(op);
  return literal_rule(ctx, op, f);
}

void complete_operand(Context&, Operand** slot) {
  if (*slot == nullptr) *slot = new_operand();
  Operand* op = *slot;
  if (op->kind == program::OperandKind::kNone) {
    // No operand written: the current record from its first byte.
    op->kind = program::OperandKind::kField;
    op->pos.kind = program::TermKind::kAbsolute;
    op->pos.value = 1;
    op->format = program::kFormatField;
  }
  if (op->len_kind == program::LengthKind::kNone) {
    op->len_kind = program::LengthKind::kRest;
    op->len.value = 0;
  }
  if (op->type == 0) op->type = 1;
}

}  // namespace recsift::compiler
