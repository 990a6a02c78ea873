// The name-index table of pointer variables.
#include "base/names.h"
#include "program/program.h"

namespace recsift::program {

namespace {

using base::same_name;

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
