// Names as the statements write them (pointer variables, substitution variables): ASCII letters
// compare without regard to case, every other byte as it is (names may hold any byte, the
// reserved name 0xD1 0xFF among them).
#ifndef RECSIFT_BASE_NAMES_H_
#define RECSIFT_BASE_NAMES_H_

#include <string_view>

namespace recsift::base {

// The upper case of an ASCII letter; any other byte unchanged.
constexpr char upper_letter(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (upper_letter(a[i]) != upper_letter(b[i])) return false;
  }
  return true;
}

}  // namespace recsift::base

#endif  // RECSIFT_BASE_NAMES_H_
