// The tokenizer: cuts one statement text into the token list, and keeps the token records.
//
// Exports tokenise, reset_token and release_token_list (input.h).
//
// Invariants:
//  - Text is cut where it stands and never moved: a token's offset in the statement text is its
//    offset in the source (the line as typed), so source positions, the error mark and file
//    names taken as typed stay right for every token of the statement. A doubled quote is
//    collapsed inside its own string's span; a hexadecimal literal is packed inside its quotes.
//  - Nothing is read past the text's zero byte and nothing is written outside the text.
//  - Records are only ever added to the list; a reused record is reset before it is filled.
//  - No token text is longer than the list's max_token_length.
//  - Split pieces own their texts (pool texts "tkwd"): the head of a split token is cut short
//    by a zero byte where its first piece starts, so the pieces cannot stay in the text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "base/fatal.h"
#include "base/pool.h"
#include "input/input.h"
#include "input/input_internal.h"

namespace recsift::input {
namespace {

constexpr char kNoCrFound[] = "**# No CR found #**\n";
constexpr char kTextDescription[] = "tkwd";
// Bits a record keeps when it is reused: its own text (released by the reset) and freshness.
// The marks and the sticky bit of a substituted value must not survive into a new statement.
constexpr uint32_t kKeptOnReuse = kTokOwnsText | kTokFresh;
// Bits a split piece does not take over from the token it was cut from.
constexpr uint32_t kNotInherited =
    kTokQuoted | kTokMarks | kTokSplit | kTokLast | kTokFresh | kTokOwnsText;

Token* new_record() {
  void* block = base::qelgcore(sizeof(Token), 0, "tk");
  return new (block) Token();
}

// The record after t, ready to be filled: a new one linked at the end of the list, or the old
// one reset.
Token* next_record(Token* t) {
  if (t->next == nullptr) {
    Token* fresh = new_record();
    fresh->prev = t;
    t->next = fresh;
    return fresh;
  }
  Token* reused = t->next;
  reused->flags &= kKeptOnReuse;
  reset_token(*reused);
  return reused;
}

bool is_space(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
bool is_quote(unsigned char c) {
  return c == '\'' || c == '"';
}
bool is_digit(unsigned char c) {
  return c >= '0' && c <= '9';
}

int hex_value(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

int32_t clamp_length(std::ptrdiff_t n) {
  return n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
}

// The closing quote of a string opened by q whose text starts at s (a doubled quote is part of
// the text), or null when the string is not closed.
char* find_closing_quote(char* s, unsigned char q) {
  for (char* r = s; *r != 0; ++r) {
    if (static_cast<unsigned char>(*r) != q) continue;
    if (static_cast<unsigned char>(r[1]) != q) return r;
    ++r;  // a doubled quote stands for one quote character
  }
  return nullptr;
}

// Copies [from, to) to dst, a doubled q becoming one q (q = 0: a plain copy). dst may be from:
// the copy never gets ahead of the reading. Returns the bytes written.
int32_t collapse(char* dst, const char* from, const char* to, unsigned char q) {
  char* w = dst;
  for (const char* r = from; r < to; ++r) {
    *w++ = *r;
    if (q != 0 && static_cast<unsigned char>(*r) == q && r + 1 < to) ++r;
  }
  return clamp_length(w - dst);
}

int32_t collapsed_length(const char* from, const char* to, unsigned char q) {
  int32_t n = 0;
  for (const char* r = from; r < to; ++r, ++n) {
    if (q != 0 && static_cast<unsigned char>(*r) == q && r + 1 < to) ++r;
  }
  return n;
}

// How one token ended.
struct Outcome {
  char* resume = nullptr;  // where scanning goes on; null: tokenising ends
};

class Tokenizer {
 public:
  Tokenizer(TokenList& list, char* text, const char* source, uint8_t separator, bool no_split)
      : list_(list),
        text_(text),
        source_(source),
        sep_(separator),
        no_split_(no_split),
        tok_(list.head),
        p_(text) {}

  char* run();

 private:
  bool is_delimiter(unsigned char c) const {
    return is_space(c) || c == '=' || c == ',' || is_quote(c) || (sep_ != 0 && c == sep_);
  }
  const char* source_at(const char* p) const { return source_ + (p - text_); }

  Outcome word();
  Outcome quoted(unsigned char q, bool flagged);
  Outcome hex();
  Outcome comment();
  bool emit_string(char* s, char* e, unsigned char q, bool word);
  void cut_pieces(char* s, char* e, unsigned char q, bool word);
  void set_error();
  bool check_length();
  char* skip_line(char* from);
  char* finish();

  TokenList& list_;
  char* const text_;          // the statement text, cut in place
  const char* const source_;  // the text as typed, same offsets
  const uint8_t sep_;         // statement separator, 0 for none
  const bool no_split_;       // no cutting of "%", "+" and "-" pieces
  Token* tok_;                // record being filled (the last piece after a split)
  bool filled_ = false;       // tok_ holds a token; else it is fresh or the separator token
  char* p_;                   // scan position in text_
  char* stop_ = nullptr;      // a zero byte in text_ where tokenising stopped (end record text)
  char* result_ = nullptr;    // position after the separator that ended the statement
  uint32_t pending_ = 0;      // preceded-by flags ("=" or ",") for the next token
  unsigned char forced_quote_ = 0;  // a word ended at this quote: its string comes next
};

char* Tokenizer::run() {
  for (;;) {
    unsigned char quote = forced_quote_;
    const bool forced = quote != 0;
    forced_quote_ = 0;
    if (!forced) {
      for (;;) {
        const unsigned char c = *p_;
        if (c == 0) {
          stop_ = p_;
          return finish();
        }
        if (sep_ != 0 && c == sep_) {
          // A separator between tokens: the record in hand becomes an empty last token.
          *p_ = 0;
          tok_->flags = (tok_->flags & ~kTokFresh) | kTokLast | pending_;
          tok_->text = p_;
          tok_->source = source_at(p_);
          stop_ = p_;
          result_ = p_ + 1;
          return finish();
        }
        ++p_;
        if (is_space(c)) continue;
        if (c == '=') {
          pending_ |= kTokAfterEquals;
          continue;
        }
        if (c == ',') {
          pending_ |= kTokAfterComma;
          continue;
        }
        if (is_quote(c)) {
          quote = c;
        } else {
          --p_;
        }
        break;
      }
    }

    // A token starts at p_.
    tok_->flags = (tok_->flags & ~kTokFresh) | pending_;
    pending_ = 0;
    filled_ = true;
    Outcome o;
    if (quote != 0) {
      ++list_.unconsumed;
      o = quoted(quote, !forced);
    } else if (*p_ == '*') {
      o = comment();
    } else if ((*p_ == 'X' || *p_ == 'x') && is_quote(static_cast<unsigned char>(p_[1]))) {
      ++list_.unconsumed;
      o = hex();
    } else {
      ++list_.unconsumed;
      o = word();
    }
    if (o.resume == nullptr || (tok_->flags & kTokLast) != 0) return finish();
    p_ = o.resume;
    tok_ = next_record(tok_);
    filled_ = false;
  }
}

// A word runs to the next delimiter and is upper-cased. A quote that ends it opens a string
// read as the next token without the quoted flag (C'abc' gives C and abc).
Outcome Tokenizer::word() {
  char* s = p_;
  char* e = s;
  while (*e != 0 && !is_delimiter(static_cast<unsigned char>(*e))) ++e;
  for (char* c = s; c < e; ++c) {
    if (*c >= 'a' && *c <= 'z') *c = static_cast<char>(*c - 'a' + 'A');
  }
  const unsigned char d = *e;
  tok_->flags |= kTokWord;
  if (!emit_string(s, e, 0, true)) return Outcome{};
  if (d == 0) return Outcome{e};
  *e = 0;  // the delimiter, also when the word was cut short by a split
  if (sep_ != 0 && d == sep_) {
    tok_->flags |= kTokLast;
    stop_ = e;
    result_ = e + 1;
  } else if (d == '=') {
    pending_ |= kTokAfterEquals;
  } else if (d == ',') {
    pending_ |= kTokAfterComma;
  } else if (is_quote(d)) {
    forced_quote_ = d;
  }
  return Outcome{e + 1};
}

// A quoted string runs to its closing quote; a doubled quote is one quote character. What
// follows the closing quote must end the token.
Outcome Tokenizer::quoted(unsigned char q, bool flagged) {
  if (flagged) tok_->flags |= q == '\'' ? kTokSingleQuoted : kTokDoubleQuoted;
  char* s = p_;
  char* close = find_closing_quote(s, q);
  if (close == nullptr) {
    char* e = s;
    while (*e != 0 && *e != '\n') ++e;
    char* next = skip_line(e);
    *e = 0;
    tok_->text = s;
    tok_->length = clamp_length(e - s);
    tok_->source = source_at(s);
    tok_->source_length = tok_->length;
    set_error();
    if (!check_length()) return Outcome{};
    return Outcome{next};
  }
  const unsigned char after = static_cast<unsigned char>(close[1]);
  if (after != 0 && !is_delimiter(after)) {
    char* next = skip_line(close + 1);
    set_error();
    emit_string(s, close, q, false);  // not cut: the token is in error
    if (!check_length()) return Outcome{};
    return Outcome{next};
  }
  if (!emit_string(s, close, q, false)) return Outcome{};
  *close = 0;
  return Outcome{close + 1};
}

// X'...' packs its digits two to a byte from the right, blanks and commas ignored; the bytes
// end just before the closing quote, where the digits were.
Outcome Tokenizer::hex() {
  const unsigned char q = static_cast<unsigned char>(p_[1]);
  tok_->flags |= kTokHex | (q == '\'' ? kTokSingleQuoted : kTokDoubleQuoted);
  char* s = p_ + 2;
  char* close = std::strchr(s, q);
  tok_->source = source_at(s);
  if (close == nullptr) {
    char* e = s;
    while (*e != 0 && *e != '\n') ++e;
    char* next = skip_line(e);
    *e = 0;
    tok_->text = s;
    tok_->length = clamp_length(e - s);
    tok_->source_length = tok_->length;
    set_error();
    if (!check_length()) return Outcome{};
    return Outcome{next};
  }
  tok_->source_length = clamp_length(close - s);
  bool bad = false;
  for (const char* r = s; r < close; ++r) {
    const unsigned char c = static_cast<unsigned char>(*r);
    if (c != ' ' && c != ',' && hex_value(c) < 0) bad = true;
  }
  // Like a quoted string, a literal must be followed by a delimiter: X'C1'B is a typing slip,
  // not two tokens.
  const unsigned char after = static_cast<unsigned char>(close[1]);
  if (after != 0 && !is_delimiter(after)) bad = true;
  char* next = close + 1;
  if (bad) {
    next = skip_line(close + 1);
    tok_->text = s;
    set_error();
  } else {
    // The write position never passes the read position: each byte is written only after
    // its digits (two, or the odd leading one) have been read.
    char* w = close;
    int low = -1;
    for (char* r = close; r > s;) {
      const int v = hex_value(static_cast<unsigned char>(*--r));
      if (v < 0) continue;
      if (low < 0) {
        low = v;
      } else {
        *--w = static_cast<char>(v << 4 | low);
        low = -1;
      }
    }
    if (low >= 0) *--w = static_cast<char>(low);
    tok_->text = w;
  }
  *close = 0;
  tok_->length = clamp_length(close - tok_->text);
  if (!check_length()) return Outcome{};
  return Outcome{next};
}

// A comment runs from "*" to the separator, the line end or the end of the text; inside it only
// quotes pair up, so a separator inside a quoted string does not end it.
Outcome Tokenizer::comment() {
  char* s = p_;
  char* e = nullptr;
  bool last = false;
  if (sep_ == 0 || (s == text_ && s[1] == '<')) {
    e = s + std::strlen(s);
  } else {
    char* r = s + 1;
    for (;;) {
      unsigned char c = static_cast<unsigned char>(*r);
      if (c == 0 || c == '\n' || (c == '\r' && r[1] == '\n')) {
        e = r;
        break;
      }
      if (c == '\r') {
        // A lone carriage return ends the line here: it becomes a separator.
        *r = static_cast<char>(sep_);
        c = sep_;
      }
      if (c == sep_) {
        e = r;
        last = true;
        break;
      }
      if (is_quote(c)) {
        char* pair = std::strchr(r + 1, c);
        if (pair != nullptr) {
          r = pair + 1;
          continue;
        }
        e = r + 1;
        while (*e != 0 && *e != '\n') ++e;
        break;
      }
      ++r;
    }
  }
  tok_->flags |= kTokComment | kTokConsumed;
  if (list_.comment == nullptr) list_.comment = tok_;
  tok_->text = s;
  tok_->length = clamp_length(e - s);
  tok_->source = source_at(s);
  tok_->source_length = tok_->length;
  const bool at_end = *e == 0;
  *e = 0;
  if (!check_length()) return Outcome{};
  if (last) {
    tok_->flags |= kTokLast;
    stop_ = e;
    result_ = e + 1;
  }
  if (at_end) stop_ = e;
  return Outcome{at_end ? e : e + 1};
}

// Records the string whose text as written is [s, e) in tok_ (a doubled q collapsed) and, unless
// splitting is off, cuts its pieces into tokens of their own. Returns false when the token is
// too long (then it is in error and tokenising ends).
bool Tokenizer::emit_string(char* s, char* e, unsigned char q, bool word) {
  const int32_t length = collapsed_length(s, e, q);
  tok_->text = s;
  tok_->source = source_at(s);
  tok_->source_length = clamp_length(e - s);
  if (length > list_.max_token_length) {
    collapse(s, s, e, q);
    tok_->length = length;
    set_error();
    check_length();
    return false;
  }
  // Pieces are found on the text as written: a doubled quote never straddles a cut, which
  // always lies next to a "%", "+" or "-".
  if (!no_split_ && (tok_->flags & kTokError) == 0) {
    cut_pieces(s, e, q, word);
  } else {
    tok_->length = collapse(s, s, e, q);
    s[tok_->length] = 0;
  }
  return true;
}

// Cuts "%" references (and, in a word, every "+" and "-") out of [s, e). Each piece and each
// run of text between pieces becomes a word token after tok_; tok_ keeps the text before the
// first piece. Empty runs make no token, and a token that is one piece is not cut.
void Tokenizer::cut_pieces(char* s, char* e, unsigned char q, bool word) {
  const std::ptrdiff_t n = e - s;
  std::vector<std::ptrdiff_t> bounds{0};  // segment starts, then n
  auto cut = [&bounds](std::ptrdiff_t from, std::ptrdiff_t to) {
    if (from > bounds.back()) bounds.push_back(from);
    bounds.push_back(to);
  };
  for (std::ptrdiff_t i = 0; i < n;) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == '%') {
      if (i + 1 < n && is_digit(static_cast<unsigned char>(s[i + 1]))) {
        cut(i, i + 2);
        i += 2;
        continue;
      }
      const void* close = std::memchr(s + i + 1, '%', static_cast<size_t>(n - i - 1));
      if (close != nullptr) {
        const std::ptrdiff_t j = static_cast<const char*>(close) - s;
        cut(i, j + 1);
        i = j + 1;
        continue;
      }
      // An unclosed "%": one character in a word, plain text in a string.
      if (word) cut(i, i + 1);
      ++i;
      continue;
    }
    if (word && (c == '+' || c == '-')) cut(i, i + 1);
    ++i;
  }
  if (bounds.back() < n) bounds.push_back(n);
  const size_t segments = bounds.size() - 1;
  if (segments <= 1) {
    tok_->length = collapse(s, s, e, q);
    s[tok_->length] = 0;
    return;
  }

  // The later segments are copied out before the head's zero byte overwrites the first of them.
  Token* head = tok_;
  const uint32_t inherited = (head->flags & ~kNotInherited) | kTokWord | kTokFullSource;
  Token* prev = head;
  for (size_t k = 1; k < segments; ++k) {
    char* from = s + bounds[k];
    char* to = s + bounds[k + 1];
    Token* piece = next_record(prev);
    auto* own = static_cast<char*>(base::qelgcore(to - from + 1, 0, kTextDescription));
    piece->length = collapse(own, from, to, q);
    own[piece->length] = 0;
    piece->text = own;
    piece->source = source_at(from);
    piece->source_length = clamp_length(to - from);
    piece->flags =
        inherited | kTokOwnsText | (k + 1 < segments ? uint32_t{kTokSplit} : uint32_t{0});
    ++list_.unconsumed;
    ++list_.pending_splits;
    prev = piece;
  }
  head->length = collapse(s, s, s + bounds[1], q);
  s[head->length] = 0;
  // The head keeps the whole span as written as its source: the joined text goes back there.
  head->flags |= kTokSplit;
  tok_ = prev;
}

void Tokenizer::set_error() {
  tok_->flags |= kTokError;
  if (list_.error == nullptr) list_.error = tok_;
}

// A token longer than the limit is in error and cut to the limit. Returns false for it.
bool Tokenizer::check_length() {
  if (tok_->length <= list_.max_token_length) return true;
  set_error();
  const int32_t limit = list_.max_token_length < 0 ? 0 : list_.max_token_length;
  tok_->length = limit;
  tok_->text[limit] = 0;
  // The cut lies in the text unless the token owns its own (split pieces are never this long).
  stop_ = tok_->text;
  stop_ += limit;
  result_ = nullptr;
  return false;
}

// After a token in error the rest of the line is skipped: the position after the next line
// feed from `from`, or null (with a line on the log) when there is none.
char* Tokenizer::skip_line(char* from) {
  char* lf = std::strchr(from, '\n');
  pending_ = 0;
  if (lf != nullptr) return lf + 1;
  std::fputs(kNoCrFound, list_.log != nullptr ? list_.log : stderr);
  stop_ = from + std::strlen(from);
  result_ = nullptr;
  return nullptr;
}

// The end record follows the last token (or is the separator token itself); the compile steps
// start at the first token not yet consumed.
char* Tokenizer::finish() {
  list_.final_count = list_.unconsumed;
  Token* end = filled_ ? next_record(tok_) : tok_;
  end->flags = (end->flags & ~kTokFresh) | kTokEnd;
  if (end->text == nullptr) {
    end->text = stop_;
    end->source = source_at(stop_);
  }
  list_.current = detail::first_open(list_.head);
  return result_;
}

}  // namespace

char* tokenise(TokenList& list, char* text, const char* source, uint8_t separator, bool no_split) {
  if (list.head == nullptr) {
    list.head = new_record();
  } else {
    list.head->flags &= kKeptOnReuse;
    reset_token(*list.head);
  }
  list.current = list.head;
  list.unconsumed = 0;
  list.final_count = 0;
  list.pending_splits = 0;
  list.comment = nullptr;
  list.error = nullptr;
  list.last_keyword = nullptr;
  if (text == nullptr) {
    list.head->flags = kTokEnd;
    list.current = nullptr;
    return nullptr;
  }
  Tokenizer tokenizer(list, text, source != nullptr ? source : text, separator, no_split);
  return tokenizer.run();
}

void reset_token(Token& token) {
  if ((token.flags & kTokSticky) != 0) base::logic_error(base::kLogicResetSticky);
  if ((token.flags & kTokOwnsText) != 0 && token.text != nullptr) {
    base::qelgrel(&token.text, kTextDescription);
  }
  token.value = 0;
  token.flags = kTokFresh;
  token.source_length = 0;
  token.length = 0;
  token.text = nullptr;
  token.source = nullptr;
}

void release_token_list(TokenList& list) {
  for (Token* t = list.head; t != nullptr;) {
    Token* next = t->next;
    if ((t->flags & kTokOwnsText) != 0 && t->text != nullptr) {
      base::qelgrel(&t->text, kTextDescription);
    }
    t->~Token();
    void* block = t;
    base::qelgrel(&block, "tk");
    t = next;
  }
  list.head = nullptr;
  list.current = nullptr;
  list.unconsumed = 0;
  list.final_count = 0;
  list.pending_splits = 0;
  list.comment = nullptr;
  list.error = nullptr;
  list.last_keyword = nullptr;
}

}  // namespace recsift::input
