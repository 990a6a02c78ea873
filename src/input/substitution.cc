// Substitution variables: their records, their definition by EQU statements and command-line
// parameters, and the substitution of references in a tokenised statement.
//
// Exports (input.h): define_variable, define_parameter, substitute, has_variables,
// needs_substitution, find_variable.
//
// A reference is a token, or a split piece, whose whole text is "%d" or "%NAME%". Substitution
// reads a value as if it had been typed in place of the reference: in a word the value's word
// tokens read upper-cased (their text), inside a quoted string they read as typed (their source),
// and a quoted or hexadecimal value keeps its quoting when it replaces a whole token.
//
// Invariants:
//  - Variables and their value tokens live for the run; value tokens are never linked into a
//    statement's list. What a statement receives is copies: texts of their own ("unch") or texts
//    written back into the statement buffer, never pointers into a variable.
//  - A text written back into the statement buffer is never longer than the token's span as
//    written, so it stays inside the token's own bytes and its closing zero byte.
//  - Joined texts are at most kMaxJoined characters; a longer one is cut there and in error.
//  - Records leave or join a statement's list only at its tail (after the end record), where the
//    tokenizer reuses them for later statements; the list keeps statement order.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "base/fatal.h"
#include "base/names.h"
#include "base/pool.h"
#include "host/host.h"
#include "input/input.h"
#include "input/input_internal.h"

namespace recsift::input {
namespace {

constexpr int32_t kMaxJoined = 527;  // longest joined text
constexpr char kUnchDescription[] = "unch";
constexpr char kValueDescription[] = "eqv";
constexpr char kSourceDescription[] = "unsr";
constexpr uint32_t kTypeBits = kTokQuoted | kTokHex | kTokWord;
constexpr uint32_t kBracketOpenFlags = kTokOpen | kTokSticky | kTokWord;    // 0x908
constexpr uint32_t kBracketCloseFlags = kTokClose | kTokSticky | kTokWord;  // 0xA08
// Bits a spare record keeps before its reset (as the tokenizer does on reuse).
constexpr uint32_t kKeptOnReuse = kTokOwnsText | kTokFresh;

// The empty text of brackets; nothing ever writes through it.
char g_empty_text[1] = {0};

using base::same_name;

std::string_view text_of(const Token& t) {
  return t.text != nullptr ? std::string_view(t.text, static_cast<size_t>(t.length))
                           : std::string_view();
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// The kind of reference a text is: 'd' for "%d", 'n' for "%NAME%" (a name without "%"), 0 for
// none. "%%" names nothing and is left alone.
char reference_kind(std::string_view text) {
  if (text.size() == 2 && text[0] == '%' && is_digit(text[1])) return 'd';
  if (text.size() >= 3 && text.front() == '%' && text.back() == '%' &&
      text.substr(1, text.size() - 2).find('%') == std::string_view::npos) {
    return 'n';
  }
  return 0;
}

bool is_reference(const Token& t) {
  if ((t.flags & (kTokComment | kTokHex | kTokEnd)) != 0 || detail::is_bracket(t)) return false;
  return reference_kind(text_of(t)) != 0;
}

// ---- Value tokens ----------------------------------------------------------------------------

Token* new_token() {
  return new (base::qelgcore(sizeof(Token), 0, "tk")) Token();
}

// A value token holding `text` and `source` in one pool text "eqv".
Token* value_token(std::string_view text, std::string_view source, uint32_t flags) {
  Token* t = new_token();
  const size_t n = text.size() + source.size() + 2;
  auto* block = static_cast<char*>(base::qelgcore(static_cast<int64_t>(n), 0, kValueDescription));
  std::memcpy(block, text.data(), text.size());
  std::memcpy(block + text.size() + 1, source.data(), source.size());
  t->text = block;
  t->length = static_cast<int32_t>(text.size());
  t->source = block + text.size() + 1;
  t->source_length = static_cast<int32_t>(source.size());
  t->flags = flags;
  return t;
}

Token* bracket_token(uint32_t flags) {
  Token* t = new_token();
  t->text = g_empty_text;
  t->source = g_empty_text;
  t->flags = flags;
  return t;
}

void release_value(Variable& v) {
  for (Token* t = v.value; t != nullptr;) {
    Token* next = t->next;
    if (t->text != g_empty_text && t->text != nullptr) base::qelgrel(&t->text, kValueDescription);
    t->~Token();
    void* block = t;
    base::qelgrel(&block, "tk");
    t = next;
  }
  v.value = nullptr;
  v.value_count = 0;
}

// Appends t to the value list whose last token is *last.
void append_value(Variable& v, Token** last, Token* t) {
  if (*last == nullptr) {
    v.value = t;
  } else {
    (*last)->next = t;
    t->prev = *last;
  }
  *last = t;
}

// Gives v the single value token `t` (a defined variable).
void set_single_value(Variable& v, Token* t) {
  release_value(v);
  v.value = t;
  v.value_count = 1;
  v.flags = static_cast<uint8_t>((v.flags & kVarRedefined) | kVarSingle);
}

Variable* new_variable(Variables& vars, std::string_view name, uint8_t kind) {
  auto* v = new (base::qelgcore(sizeof(Variable), 0, "EQ")) Variable();
  v->name = static_cast<char*>(base::qelgcore(static_cast<int64_t>(name.size()) + 1, 0, "eqn"));
  for (size_t i = 0; i < name.size(); ++i) v->name[i] = base::upper_letter(name[i]);
  v->name_length = static_cast<int32_t>(name.size());
  v->kind = kind;
  v->flags = kVarUndefined;
  if (vars.tail == nullptr) {
    vars.head = v;
  } else {
    vars.tail->next = v;
  }
  vars.tail = v;
  return v;
}

// A word value read from outside any statement (the environment, the program path): its text
// reads upper-cased, its source as it is.
Token* outside_word(std::string_view value) {
  std::string up(value);
  for (char& c : up) c = base::upper_letter(c);
  return value_token(up, value, kTokWord);
}

// The variable a reference names, created when first met: %0 from the program path, %NAME% from
// the environment (looked up as typed, then upper-cased), %d as an undefined parameter.
Variable* resolve(Variables& vars, const Token& ref, const char* program_path) {
  const std::string_view text = text_of(ref);
  if (Variable* v = find_variable(vars, text)) return v;
  const char kind = reference_kind(text);
  if (kind == 'd') {
    Variable* v = new_variable(vars, text, kVarCommandLine);
    if (text[1] == '0' && program_path != nullptr && *program_path != 0) {
      set_single_value(*v, outside_word(program_path));
    }
    return v;
  }
  Variable* v = new_variable(vars, text, kVarEnvironment);
  std::string name;
  if (ref.source != nullptr && ref.source_length >= ref.length) {
    name.assign(ref.source + 1, static_cast<size_t>(ref.length) - 2);
  }
  const char* value = name.empty() ? nullptr : host::env(name.c_str());
  if (value == nullptr) {
    name.assign(text.substr(1, text.size() - 2));
    value = host::env(name.c_str());
  }
  if (value != nullptr && *value != 0) set_single_value(*v, outside_word(value));
  return v;
}

// False for an undefined variable and for one whose value is a single empty text.
bool has_value(const Variable& v) {
  if ((v.flags & kVarUndefined) != 0 || v.value_count == 0 || v.value == nullptr) return false;
  return !(v.value_count == 1 && v.value->length == 0);
}

void release_joined_sources(Variables& vars) {
  while (vars.joined_sources != nullptr) {
    void* block = vars.joined_sources;
    std::memcpy(&vars.joined_sources, block, sizeof(void*));
    base::qelgrel(&block, kSourceDescription);
  }
}

// ---- Statement list surgery ------------------------------------------------------------------

// Where records enter and leave a statement's list: the spare records after its end record.
class ListTail {
 public:
  explicit ListTail(TokenList& list) : list_(list) {}

  // A record ready to be filled: a spare one from the tail, or a new one.
  Token* take() {
    Token* end = end_record();
    if (end != nullptr && end->next != nullptr) {
      Token* spare = end->next;
      unlink(spare);
      spare->flags &= kKeptOnReuse;
      reset_token(*spare);
      return spare;
    }
    return new_token();
  }
  // Moves t out of the statement to the very end of the list, where it waits for reuse.
  void retire(Token* t) {
    unlink(t);
    Token* last = list_.head;
    while (last->next != nullptr) last = last->next;
    last->next = t;
    t->prev = last;
  }
  static void insert_after(Token* at, Token* t) {
    t->prev = at;
    t->next = at->next;
    if (at->next != nullptr) at->next->prev = t;
    at->next = t;
  }

 private:
  Token* end_record() {
    for (Token* t = list_.head; t != nullptr; t = t->next) {
      if (detail::is_end(*t)) return t;
    }
    return nullptr;
  }
  void unlink(Token* t) {
    if (t->prev != nullptr) t->prev->next = t->next;
    if (t->next != nullptr) t->next->prev = t->prev;
    t->prev = t->next = nullptr;
  }

  TokenList& list_;
};

// ---- Substitution ----------------------------------------------------------------------------

// What one reference becomes.
struct Replacement {
  bool replaced = false;            // false: the reference stays as written
  const Variable* multi = nullptr;  // a multi-token value (its tokens), else null
  std::string text;                 // the single value's text in this context
  std::string source;               // its text as typed
  uint32_t type = 0;                // its kTypeBits
};

class Substituter {
 public:
  Substituter(TokenList& list, Variables& vars, const char* program_path, int32_t param_count)
      : list_(list),
        vars_(vars),
        program_path_(program_path),
        param_count_(param_count),
        tail_(list) {}

  int run();

 private:
  // Keeps the first message and the reference that caused it (the statement's error mark).
  void raise(int number, const Token& ref) {
    if (message_ != 0) return;
    message_ = number;
    marked_ = &ref;
  }
  Replacement replacement(const Token& ref, bool in_quotes);
  Token* substitute_alone(Token* t, bool in_quotes);
  Token* join_chain(Token* head, Token* last, bool in_quotes);
  void splice(Token* t, const Variable& v);
  void place_text(Token* t, const std::string& text, const std::string& source);
  const char* keep_source(const std::string& source);

  TokenList& list_;
  Variables& vars_;
  const char* program_path_;
  const int32_t param_count_;
  ListTail tail_;
  int message_ = 0;
  const Token* marked_ = nullptr;
};

int Substituter::run() {
  // The joined sources of the previous statement are no longer referenced.
  release_joined_sources(vars_);
  // The name after a leading EQU is being defined, not referenced.
  Token* equ_name = nullptr;
  if (Token* first = detail::first_open(list_.head);
      first != nullptr && (first->flags & kTokWord) != 0 && text_of(*first) == "EQU") {
    equ_name = detail::first_open(first->next);
  }
  for (Token* t = list_.head; t != nullptr && !detail::is_end(*t);) {
    if ((t->flags & kTokComment) != 0 || detail::is_bracket(*t)) {
      t = t->next;
      continue;
    }
    // A split token: the head and its pieces up to the first one without the split bit. Its
    // pieces are counted off even when it is passed over (a name being defined, a token already
    // taken): it then stays split as typed.
    Token* last = t;
    while ((last->flags & kTokSplit) != 0 && last->next != nullptr &&
           !detail::is_end(*last->next)) {
      last = last->next;
      --list_.pending_splits;
    }
    const bool in_quotes = (t->flags & kTokQuoted) != 0;
    Token* after = last->next;
    if (t == equ_name || (t->flags & kTokConsumed) != 0) {
      t = after;
      continue;
    }
    t = last == t ? substitute_alone(t, in_quotes) : join_chain(t, last, in_quotes);
  }
  if (list_.pending_splits != 0) base::logic_error(base::kLogicSplitsLeft);
  list_.current = detail::first_open(list_.head);
  // The token that failed is the current one, so that the message marks it (or, when its text
  // no longer stands where it was typed, marks nothing rather than the statement's first word).
  if (message_ != 0 && marked_ != nullptr) {
    for (Token* t = list_.head; t != nullptr && !detail::is_end(*t); t = t->next) {
      if (t == marked_) {
        list_.current = t;
        break;
      }
    }
  }
  return message_;
}

Replacement Substituter::replacement(const Token& ref, bool in_quotes) {
  Replacement r;
  if (!is_reference(ref)) return r;
  const std::string_view text = text_of(ref);
  const bool digit = reference_kind(text) == 'd';
  const Variable* v = resolve(vars_, ref, program_path_);
  if (digit && vars_.envfail == EnvFail::kCancel && text[1] - '0' > param_count_ &&
      !(v->kind == kVarEqu && (v->flags & kVarUndefined) == 0)) {
    raise(kMsgParameterFail, ref);
  }
  if (v->kind == kVarEqu) {
    if (in_quotes) return r;
  } else {
    if (vars_.no_env) return r;
    if (!has_value(*v)) {
      switch (vars_.envfail) {
        case EnvFail::kSame:
          return r;
        case EnvFail::kNull:
          r.replaced = true;
          r.type = kTokWord;
          return r;
        case EnvFail::kText:
          r.replaced = true;
          r.type = kTokWord;
          if (vars_.envfail_text != nullptr) r.text = r.source = vars_.envfail_text;
          return r;
        case EnvFail::kCancel:
          raise(digit ? kMsgParameterFail : kMsgEnvironmentFail, ref);
          return r;
      }
    }
  }
  r.replaced = true;
  if (v->value_count > 1) {
    r.multi = v;
    // Inside a token the value's texts are read one after the other: within quotes a blank
    // between them, as text; within a word without one, so that the word stays one word
    // (POS 20-%1 with %1 = 10 + 5 reads 20-10+5, as the text would be typed in place).
    for (const Token* vt = v->value; vt != nullptr; vt = vt->next) {
      if (detail::is_bracket(*vt)) continue;
      if (!r.text.empty() && in_quotes) {
        r.text += ' ';
        r.source += ' ';
      }
      r.text += text_of(*vt);
      r.source.append(vt->source, static_cast<size_t>(vt->source_length));
    }
    r.type = kTokWord;
    return r;
  }
  const Token& vt = *v->value;
  r.type = vt.flags & kTypeBits;
  r.source.assign(vt.source, static_cast<size_t>(vt.source_length));
  if ((vt.flags & kTokWord) != 0 && in_quotes) {
    r.text = r.source;  // a word read inside quotes: as typed
  } else {
    r.text.assign(text_of(vt));
  }
  return r;
}

// A token that is nothing but a reference.
Token* Substituter::substitute_alone(Token* t, bool in_quotes) {
  Token* after = t->next;
  Replacement r = replacement(*t, in_quotes);
  if (!r.replaced) return after;
  if (r.multi != nullptr && !in_quotes) {
    splice(t, *r.multi);
    return after;
  }
  place_text(t, r.text, r.source);
  // A whole token takes the value's quoting; inside quotes it stays a quoted string.
  if (!in_quotes) t->flags = (t->flags & ~kTypeBits) | r.type;
  t->flags |= kTokInserted;
  return after;
}

// A split token [head, last]: always joined back into head, whether or not a piece was replaced,
// so that a quoted string stays one literal and a word one word; unreplaced pieces keep their
// text as written.
Token* Substituter::join_chain(Token* head, Token* last, bool in_quotes) {
  Token* after = last->next;
  std::string text;
  std::string source;
  bool any = false;
  for (Token* p = head;; p = p->next) {
    Replacement r = replacement(*p, in_quotes);
    if (marked_ == p) marked_ = head;  // the piece leaves; its word carries the mark
    if (r.replaced) {
      any = true;
      text += r.text;
      source += r.source;
    } else {
      text.append(text_of(*p));
      // A piece's span as written runs to the next piece; the last one has its own length.
      const std::ptrdiff_t span = p != last ? p->next->source - p->source : p->source_length;
      if (p->source != nullptr && span > 0) source.append(p->source, static_cast<size_t>(span));
    }
    if (p == last) break;
  }

  const uint32_t last_bit = last->flags & kTokLast;
  // The pieces leave the statement; the head holds the joined text.
  for (Token* p = head->next; p != after;) {
    Token* next = p->next;
    if ((p->flags & kTokConsumed) == 0 && p->text != nullptr) --list_.unconsumed;
    tail_.retire(p);
    p = next;
  }
  head->next = after;
  if (after != nullptr) after->prev = head;
  place_text(head, text, source);
  // Joined unchanged, the word still stands as typed and can carry an error mark.
  head->flags = (head->flags & ~kTokSplit) | (any ? uint32_t{kTokInserted} : 0u) | last_bit;
  return after;
}

// Replaces t by the tokens of a multi-token value between an opening and a closing bracket: t
// itself becomes the opening bracket, the rest are inserted after it.
void Substituter::splice(Token* t, const Variable& v) {
  const uint32_t before = t->flags & (kTokAfterEquals | kTokAfterComma);
  const uint32_t last_bit = t->flags & kTokLast;
  if ((t->flags & kTokOwnsText) != 0) base::qelgrel(&t->text, "tkwd");
  if ((t->flags & kTokConsumed) == 0) --list_.unconsumed;
  t->flags = kBracketOpenFlags | kTokInserted;
  t->text = g_empty_text;
  t->length = 0;
  Token* at = t;
  Token* last_value = nullptr;
  for (const Token* vt = v.value; vt != nullptr; vt = vt->next) {
    if (detail::is_bracket(*vt)) continue;
    Token* copy = tail_.take();
    auto* own = static_cast<char*>(base::qelgcore(vt->length + 1, 0, kUnchDescription));
    std::memcpy(own, vt->text, static_cast<size_t>(vt->length));
    copy->text = own;
    copy->length = vt->length;
    copy->source = vt->source;
    copy->source_length = vt->source_length;
    copy->flags = (vt->flags & kTypeBits) | kTokInserted | kTokOwnsText;
    if (last_value == nullptr) copy->flags |= before;
    ++list_.unconsumed;
    ListTail::insert_after(at, copy);
    at = last_value = copy;
  }
  if (last_value != nullptr) last_value->flags |= last_bit;
  Token* close = tail_.take();
  close->flags = kBracketCloseFlags | kTokInserted;
  close->text = g_empty_text;
  close->source = g_empty_text;
  ListTail::insert_after(at, close);
}

// Gives t the text: written back where the token stands when it fits in the token's span as
// written, else in a pool text "unch" of its own. A text over kMaxJoined is cut and in error.
void Substituter::place_text(Token* t, const std::string& text_in, const std::string& source) {
  std::string_view text = text_in;
  if (text.size() > static_cast<size_t>(kMaxJoined)) {
    text = text.substr(0, kMaxJoined);
    Token* saved = list_.current;
    list_.current = t;
    raise(mark_error(list_), *t);
    list_.current = saved;
  }
  const int32_t n = static_cast<int32_t>(text.size());
  if ((t->flags & kTokOwnsText) == 0 && t->text != nullptr && n <= t->source_length) {
    std::memcpy(t->text, text.data(), text.size());
    t->text[n] = 0;
  } else {
    if ((t->flags & kTokOwnsText) != 0 && t->text != nullptr) base::qelgrel(&t->text, "tkwd");
    auto* own = static_cast<char*>(base::qelgcore(n + 1, 0, kUnchDescription));
    std::memcpy(own, text.data(), text.size());
    t->text = own;
    t->flags |= kTokOwnsText;
  }
  t->length = n;
  const std::string_view src = std::string_view(source).substr(0, kMaxJoined);
  t->source = keep_source(std::string(src));
  t->source_length = static_cast<int32_t>(src.size());
}

// A copy of a substituted token's text as typed, kept until the next statement is substituted.
const char* Substituter::keep_source(const std::string& source) {
  const int64_t n = static_cast<int64_t>(sizeof(void*) + source.size() + 1);
  auto* block = static_cast<char*>(base::qelgcore(n, 0, kSourceDescription));
  std::memcpy(block, &vars_.joined_sources, sizeof(void*));
  vars_.joined_sources = block;
  char* text = block + sizeof(void*);
  std::memcpy(text, source.data(), source.size());
  return text;
}

}  // namespace

Variable* find_variable(const Variables& variables, std::string_view name) {
  for (Variable* v = variables.head; v != nullptr; v = v->next) {
    if (same_name(std::string_view(v->name, static_cast<size_t>(v->name_length)), name)) return v;
  }
  return nullptr;
}

void release_variables(Variables& variables) {
  for (Variable* v = variables.head; v != nullptr;) {
    Variable* next = v->next;
    release_value(*v);
    base::qelgrel(&v->name, "eqn");
    v->~Variable();
    void* block = v;
    base::qelgrel(&block, "EQ");
    v = next;
  }
  variables.head = variables.tail = nullptr;
  release_joined_sources(variables);
  base::qelgrel(&variables.envfail_text, "env");
}

bool has_variables(const Variables& variables) {
  return variables.head != nullptr;
}

bool needs_substitution(const Variables& variables, const TokenList& list) {
  if (has_variables(variables)) return true;
  for (const Token* t = list.head; t != nullptr && !detail::is_end(*t); t = t->next) {
    if (is_reference(*t)) return true;
  }
  return false;
}

int define_variable(TokenList& list, Variables& variables, bool from_command_line) {
  Token* name = detail::first_open(list.current);
  if (name == nullptr || (name->flags & kTokWord) == 0 ||
      (name->flags & (kTokQuoted | kTokSplit | kTokHex)) != 0 || name->length == 0) {
    return kMsgBadEqu;
  }
  if (detail::first_open(name->next) == nullptr) return kMsgBadEqu;
  list.current = name;
  const std::string_view name_text = text_of(*name);
  take_token(list);

  Variable* v = find_variable(variables, name_text);
  // An environment variable is defined by the environment, whether referenced yet or not.
  if (v == nullptr && reference_kind(name_text) == 'n') v = resolve(variables, *name, nullptr);
  const uint8_t kind = from_command_line ? kVarCommandLine : kVarEqu;
  bool redefined_env = false;
  if (v != nullptr && (v->flags & kVarUndefined) == 0) {
    const bool env_once = v->kind == kVarEnvironment && (v->flags & kVarRedefined) == 0;
    const bool parameter_again = v->kind == kVarCommandLine && from_command_line;
    if (!env_once) {
      // A parameter's own generated EQU is passed over with its value; anything else is a
      // second definition.
      while (list.current != nullptr) take_token(list);
      return parameter_again ? 0 : kMsgRedefined;
    }
    redefined_env = true;
  }
  if (v == nullptr) v = new_variable(variables, name_text, kind);
  release_value(*v);

  int message = 0;
  Token* last = nullptr;
  int32_t count = 0;
  for (Token* t = list.current; t != nullptr; t = list.current) {
    take_token(list);
    if (t->text == nullptr) continue;
    Token* copy = nullptr;
    if ((t->flags & kTokQuoted) == 0 && same_name(text_of(*t), name_text)) {
      message = kMsgBadEqu;  // a variable cannot stand for itself
      copy = value_token("0", "0", kTokWord);
    } else {
      const std::string_view src =
          t->source != nullptr ? std::string_view(t->source, static_cast<size_t>(t->source_length))
                               : text_of(*t);
      copy = value_token(text_of(*t), src, t->flags & kTypeBits);
    }
    append_value(*v, &last, copy);
    ++count;
  }
  if (count > 1) {
    Token* open = bracket_token(kBracketOpenFlags);
    open->next = v->value;
    v->value->prev = open;
    v->value = open;
    append_value(*v, &last, bracket_token(kBracketCloseFlags));
  }
  v->value_count = count;
  if (redefined_env) {
    v->flags = static_cast<uint8_t>(kVarRedefined | (count == 1 ? kVarSingle : 0));
  } else {
    v->kind = kind;
    v->flags = count == 1 ? kVarSingle : 0;
  }
  return message;
}

int define_parameter(Variables& variables, int n, std::string_view value, std::string_view source,
                     uint32_t token_flags) {
  if (n < 1 || n > 9) return 0;
  const char name[3] = {'%', static_cast<char>('0' + n), 0};
  Variable* v = find_variable(variables, name);
  if (v == nullptr) v = new_variable(variables, name, kVarCommandLine);
  v->kind = kVarCommandLine;
  // The source as a token has it: a quoted value without its quotes (and the X of a literal).
  if ((token_flags & kTokQuoted) != 0) {
    if ((token_flags & kTokHex) != 0 && !source.empty() && (source[0] == 'X' || source[0] == 'x')) {
      source.remove_prefix(1);
    }
    if (source.size() >= 2 && (source.front() == '\'' || source.front() == '"')) {
      const char q = source.front();
      source.remove_prefix(1);
      if (source.back() == q) source.remove_suffix(1);
    }
  }
  int message = 0;
  Token* t = nullptr;
  if ((token_flags & kTokQuoted) == 0 && same_name(value, name)) {
    message = kMsgBadEqu;
    t = value_token("0", "0", kTokWord);
  } else {
    t = value_token(value, source, token_flags & kTypeBits);
  }
  set_single_value(*v, t);
  return message;
}

int substitute(TokenList& list, Variables& variables, const char* program_path,
               int32_t param_count) {
  if (list.head == nullptr) return 0;
  return Substituter(list, variables, program_path, param_count).run();
}

}  // namespace recsift::input
