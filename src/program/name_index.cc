// The name-index table of pointer variables.
#include "program/program.h"

namespace recsift::program {

namespace {

// Only ASCII letters fold: names may hold any byte (the reserved name 0xD1 0xFF among them).
char fold(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

}  // namespace

int NameIndex::find(std::string_view name) const {
  for (size_t i = 0; i < names_.size(); ++i) {
    if (same_name(names_[i], name)) return static_cast<int>(i);
  }
  return kNotFound;
}

int NameIndex::insert(std::string_view name) {
  const int found = find(name);
  if (found != kNotFound) return found;
  names_.emplace_back(name);
  return static_cast<int>(names_.size()) - 1;
}

}  // namespace recsift::program
