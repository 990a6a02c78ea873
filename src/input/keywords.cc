// Keyword lists and the token list operations every compile step uses to recognise and consume
// the tokens of its statement.
//
// Exports (input.h): list_contains, wildcard_match, coded_list_code, operator_code,
// reserved_word, match_current, find_anywhere, take_token, left_over, back_up, mark_error.
// Owns the comparison-operator list and the reserved-word list, both checked when compiled.
//
// Invariants:
//  - `current` is null or a token before the end record; the operations pass over consumed
//    tokens and brackets (a token with exactly one of the two marks).
//  - `unconsumed` counts the tokens with text that are not consumed: taking and backing up
//    change it only when the consumed bit really changes.
//  - Names are compared as whole items: a list's commas and code bytes are never part of a
//    match, and an empty word matches nothing.
#include <cstdio>
#include <string_view>

#include "base/fatal.h"
#include "input/input.h"
#include "input/input_internal.h"

namespace recsift::input {
namespace {

using namespace std::string_view_literals;

// The comparison operators as a coded list: a code byte, then the words that mean it. 0xAA is
// the not sign of the console code page.
constexpr std::string_view kOperatorList =
    "\x01,EQ,EX,EXACT,"
    "\x02,LT,<,"
    "\x03,GT,>,"
    "\x04,NE,<>,NOT,\xAA,"
    "\x05,GE,>=,=>,NLT,\xAA<,LOW,LO,"
    "\x06,LE,<=,=<,NGT,\xAA>,HIGH,HI,"
    "\x08,ONES,"
    "\x09,MIXED,"
    "\x0A,ZEROS,ZEROES,"sv;

// Words the file definitions refuse as names, grouped by length (an empty item between
// groups). They are the statement words a name could be mistaken for.
constexpr std::string_view kReservedWords =
    ",E,L,R,,GG,EL,PR,,END,EOJ,LOG,OPT,PRT,RET,WTO,,ELSE,PLOG,QUIT,STOP,,"
    "DUMMY,PDUMP,PRINT,PUNCH,SPACE,,CANCEL,OPTION,PRTCTL,REPORT,RETURN,,OPTIONS,"sv;
// Longest reserved word.
constexpr size_t kReservedMax = 7;

constexpr bool is_code_item(std::string_view item) {
  return item.size() == 1 && static_cast<unsigned char>(item[0]) >= 1 &&
         static_cast<unsigned char>(item[0]) <= 10;
}

// Calls f(item) for each comma-separated item; stops early when f returns true. A final comma
// ends the last item (it makes no empty item of its own).
template <typename F>
constexpr bool any_item(std::string_view list, F f) {
  size_t start = 0;
  while (start < list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string_view::npos) comma = list.size();
    if (f(list.substr(start, comma - start))) return true;
    start = comma + 1;
  }
  return false;
}

// A coded list starts with a code, its codes rise, every code has a word, and it ends with a
// comma.
constexpr bool coded_list_ok(std::string_view list) {
  if (list.empty() || list.back() != ',') return false;
  int code = 0;
  bool named = true;
  bool ok = true;
  any_item(list, [&](std::string_view item) {
    if (is_code_item(item)) {
      const int next = static_cast<unsigned char>(item[0]);
      if (next <= code || !named) ok = false;
      code = next;
      named = false;
    } else if (item.empty() || code == 0) {
      ok = false;
    } else {
      named = true;
    }
    return !ok;
  });
  return ok && named;
}

// A length-grouped list starts with a comma, its groups hold names of one length each, rising
// from 1, and it ends with a comma.
constexpr bool grouped_list_ok(std::string_view list, size_t longest) {
  if (list.size() < 2 || list.front() != ',' || list.back() != ',') return false;
  size_t length = 1;
  bool in_group = false;
  bool ok = true;
  any_item(list.substr(1), [&](std::string_view item) {
    if (item.empty()) {
      if (!in_group) ok = false;
      ++length;
      in_group = false;
    } else {
      if (item.size() != length) ok = false;
      in_group = true;
    }
    return !ok;
  });
  return ok && length == longest;
}

static_assert(coded_list_ok(kOperatorList), "operator list out of shape");
static_assert(grouped_list_ok(kReservedWords, kReservedMax), "reserved words out of shape");

std::string_view text_of(const Token& t) {
  return t.text != nullptr ? std::string_view(t.text, static_cast<size_t>(t.length))
                           : std::string_view();
}

bool has_wildcard(std::string_view name) {
  return name.find_first_of("*?") != std::string_view::npos;
}

// find_anywhere's comparison: wildcard names as patterns, the others exactly.
bool matches_any(std::string_view synonyms, std::string_view word) {
  if (word.empty()) return false;
  return any_item(synonyms, [word](std::string_view name) {
    if (name.empty()) return false;
    return has_wildcard(name) ? wildcard_match(name, word) : name == word;
  });
}

// Tokens that are never keywords: quoted strings, hexadecimal literals, pieces of a split word.
bool keyword_candidate(const Token& t) {
  return (t.flags & (kTokQuoted | kTokSplit)) == 0 && t.text != nullptr;
}

}  // namespace

// ---- Keyword lists ----------------------------------------------------------------------------

bool list_contains(std::string_view synonyms, std::string_view word) {
  if (word.empty()) return false;
  return any_item(synonyms, [word](std::string_view name) { return name == word; });
}

bool wildcard_match(std::string_view pattern, std::string_view name) {
  // Greedy with one backtrack point: the last "*" seen takes one more character on a mismatch.
  size_t p = 0;
  size_t n = 0;
  size_t star = std::string_view::npos;
  size_t star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_n = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++star_n;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

int coded_list_code(std::string_view coded_list, std::string_view word) {
  if (word.empty()) return kOpNone;
  int code = kOpNone;
  int found = kOpNone;
  any_item(coded_list, [&](std::string_view item) {
    if (is_code_item(item)) {
      code = static_cast<unsigned char>(item[0]);
      return false;
    }
    if (item != word) return false;
    found = code;
    return true;
  });
  return found;
}

int operator_code(std::string_view word) {
  return coded_list_code(kOperatorList, word);
}

int operator_code(const Token& token) {
  if ((token.flags & kTokQuoted) != 0 || token.text == nullptr) return kOpNone;
  return operator_code(text_of(token));
}

bool reserved_word(std::string_view word) {
  if (word.empty() || word.size() > kReservedMax) return false;
  char upper[kReservedMax];
  for (size_t i = 0; i < word.size(); ++i) {
    const char c = word[i];
    if (c == ',') return false;
    upper[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  const std::string_view key(upper, word.size());
  return any_item(kReservedWords, [key](std::string_view name) { return name == key; });
}

// ---- Token list operations --------------------------------------------------------------------

const char* match_current(TokenList& list, std::string_view synonyms) {
  Token* t = detail::first_open(list.current);
  if (t == nullptr || !keyword_candidate(*t)) return nullptr;
  if (!list_contains(synonyms, text_of(*t))) return nullptr;
  list.current = t;
  return take_token(list);
}

const char* find_anywhere(TokenList& list, std::string_view synonyms) {
  if (list.unconsumed <= 0) return nullptr;
  for (Token* t = detail::first_open(list.head); t != nullptr; t = detail::first_open(t->next)) {
    if (!keyword_candidate(*t) || !matches_any(synonyms, text_of(*t))) continue;
    list.current = t;
    take_token(list);
    const Token* operand = list.current;
    return operand != nullptr && operand->text != nullptr ? operand->text : "";
  }
  return nullptr;
}

const char* take_token(TokenList& list) {
  Token* t = list.current;
  if (t == nullptr || detail::is_end(*t)) {
    base::logic_error(base::kLogicTakeWithoutToken);
  }
  const bool bracket = detail::is_bracket(*t);
  if (bracket && (t->flags & kTokSticky) == 0) {
    base::logic_error(base::kLogicBadBracket);
  }
  if ((t->flags & (kTokSticky | kTokConsumed)) == 0) {
    t->flags |= kTokConsumed;
    if (t->text != nullptr) --list.unconsumed;
  }
  if (!bracket) list.last_keyword = t;
  // Brackets are passed over; each must be the sticky empty token substitution makes.
  Token* next = t->next;
  for (; next != nullptr && !detail::is_end(*next); next = next->next) {
    if (detail::is_bracket(*next)) {
      if ((next->flags & kTokSticky) == 0) {
        base::logic_error(base::kLogicBadBracket);
      }
      continue;
    }
    if ((next->flags & kTokConsumed) == 0) break;
  }
  list.current = (next != nullptr && !detail::is_end(*next)) ? next : nullptr;
  return t->text;
}

Token* left_over(TokenList& list) {
  list.current = detail::first_open(list.head);
  return list.current;
}

const char* back_up(TokenList& list) {
  Token* t = list.last_keyword;
  if (t == nullptr) return nullptr;
  if ((t->flags & kTokConsumed) != 0) {
    t->flags &= ~kTokConsumed;
    if (t->text != nullptr) ++list.unconsumed;
  }
  list.current = t;
  return t->text;
}

int mark_error(TokenList& list) {
  Token* t = list.current;
  if (t == nullptr) {
    // The statement has run out: the mark goes at its end.
    for (t = list.head; t != nullptr && !detail::is_end(*t); t = t->next) {
    }
  }
  if (t != nullptr) {
    t->flags |= kTokError;
    if (list.error == nullptr) list.error = t;
  }
  return kMsgBadToken;
}

}  // namespace recsift::input
