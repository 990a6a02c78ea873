// The execution engine: the selection program run once per record, operand resolution and
// conditions, file verbs, data operations, external commands and the special variables. This
// header declares the routine every part of the program uses to stop on an impossible state;
// the record loop and the verbs join it as they are built.
#ifndef RECSIFT_ENGINE_ENGINE_H_
#define RECSIFT_ENGINE_ENGINE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace recsift::engine {

// Selection id meaning "no statement is current".
inline constexpr int32_t kNoSelid = 0;

// Ends the process on an impossible internal state: writes "** Logic Error=<code>", then
// "  Selid=<selid>" when a statement is current, then "  Run terminated." to the log stream, and
// exits with the code as the process status (the shell sees it modulo 256).
[[noreturn]] void logic_error(int32_t code, int32_t selid = kNoSelid);

// The run's name-index table: the names of pointer variables (@name), each numbered from 0 in
// order of entry and found without regard to case. The run driver enters the empty name and the
// two-byte name 0xD1 0xFF first, so they take the numbers 0 and 1.
class NameIndex {
 public:
  static constexpr int kNotFound = -1;
  // The name's number; a name not yet in the table is entered at the end.
  int insert(std::string_view name);
  // The name's number, or kNotFound.
  int find(std::string_view name) const;
  int size() const { return static_cast<int>(names_.size()); }
  const std::string& name(int index) const { return names_[index]; }

 private:
  std::vector<std::string> names_;  // in order of entry; the index is the number
};

}  // namespace recsift::engine

#endif  // RECSIFT_ENGINE_ENGINE_H_
