// Token helpers of the statement compiler and OPTION: the current open token, counts written
// with digits, and words taken as the user typed them (file and folder names, titles).
//
// Exports (statement_internal.h): same_ignoring_case, open_token, token_text, is_word,
// parse_count, word_as_typed.
#include <cstdint>
#include <string>
#include <string_view>

#include "compiler/statement_internal.h"
#include "input/input.h"

namespace recsift::compiler::detail {
namespace {

bool is_bracket(const input::Token& t) {
  const uint32_t marks = t.flags & input::kTokMarks;
  return marks == input::kTokOpen || marks == input::kTokClose;
}

}  // namespace

bool same_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const char x = (a[i] >= 'a' && a[i] <= 'z') ? static_cast<char>(a[i] - 'a' + 'A') : a[i];
    const char y = (b[i] >= 'a' && b[i] <= 'z') ? static_cast<char>(b[i] - 'a' + 'A') : b[i];
    if (x != y) return false;
  }
  return true;
}

input::Token* open_token(input::TokenList& list) {
  for (input::Token* t = list.current; t != nullptr && (t->flags & input::kTokEnd) == 0;
       t = t->next) {
    if ((t->flags & input::kTokConsumed) == 0 && !is_bracket(*t)) return t;
  }
  return nullptr;
}

std::string_view token_text(const input::Token* token) {
  if (token == nullptr || token->text == nullptr) return {};
  return std::string_view(token->text, static_cast<size_t>(token->length));
}

bool is_word(const input::Token* token) {
  return token != nullptr && token->text != nullptr && (token->flags & input::kTokWord) != 0 &&
         (token->flags & (input::kTokQuoted | input::kTokHex)) == 0;
}

bool parse_count(std::string_view text, int32_t* value) {
  if (text.empty()) return false;
  int64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
    if (n > INT32_MAX) return false;
  }
  *value = static_cast<int32_t>(n);
  return true;
}

std::string word_as_typed(input::TokenList& list, bool take) {
  input::Token* first = open_token(list);
  if (first == nullptr) return {};
  list.current = first;
  if ((first->flags & (input::kTokQuoted | input::kTokHex)) != 0 || first->source == nullptr) {
    std::string text(token_text(first));
    if (take) input::take_token(list);
    return text;
  }
  // The pieces of a split word follow it; the first piece's source spans the whole word.
  std::string text;
  input::Token* t = first;
  for (;;) {
    text += token_text(t);
    if ((t->flags & input::kTokSplit) == 0 || t->next == nullptr ||
        (t->next->flags & input::kTokEnd) != 0) {
      break;
    }
    t = t->next;
  }
  const std::string_view source(first->source, static_cast<size_t>(first->source_length));
  std::string result = same_ignoring_case(text, source) ? std::string(source) : text;
  if (take) {
    for (input::Token* p = first;; p = p->next) {
      const bool more = (p->flags & input::kTokSplit) != 0 && p != t;
      if ((p->flags & input::kTokConsumed) == 0) {
        list.current = p;
        input::take_token(list);
      }
      if (!more) break;
    }
  }
  return result;
}

}  // namespace recsift::compiler::detail
