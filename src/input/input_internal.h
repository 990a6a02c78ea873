// Private to src/input: the helpers the tokenizer and the token list operations share.
#ifndef RECSIFT_INPUT_INPUT_INTERNAL_H_
#define RECSIFT_INPUT_INPUT_INTERNAL_H_

#include <cstdint>

#include "input/input.h"

namespace recsift::input::detail {

// Logic errors of the token list (impossible states, never user errors).

// A bracket carries exactly one of the two marks: it encloses the tokens of a substituted
// multi-token value and is never a token of its own.
inline bool is_bracket(const Token& t) {
  const uint32_t marks = t.flags & kTokMarks;
  return marks == kTokOpen || marks == kTokClose;
}

inline bool is_end(const Token& t) {
  return (t.flags & kTokEnd) != 0;
}

// The first open token (not consumed, not a bracket) from t on, null at the end of the list.
inline Token* first_open(Token* t) {
  for (; t != nullptr && !is_end(*t); t = t->next) {
    if ((t->flags & kTokConsumed) == 0 && !is_bracket(*t)) return t;
  }
  return nullptr;
}

}  // namespace recsift::input::detail

#endif  // RECSIFT_INPUT_INPUT_INTERNAL_H_
