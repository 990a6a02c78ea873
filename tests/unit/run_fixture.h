// Test support for operand resolution and condition evaluation: a condition compiled by the
// condition compiler and a run state over a record of the test's choosing, with a special-variable
// area, a date area and no work area beyond the record.
#ifndef RECSIFT_TESTS_UNIT_RUN_FIXTURE_H_
#define RECSIFT_TESTS_UNIT_RUN_FIXTURE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "compiler/compiler.h"
#include "convert/convert.h"
#include "convert/special_area.h"
#include "engine/engine.h"
#include "operand_fixture.h"
#include "program/program.h"

namespace recsift::testing_support {

class RunCase {
 public:
  RunCase(const std::string& condition, const std::string& record)
      : cc_(condition), record_(record.begin(), record.end()) {
    compiled_ = compiler::compile_condition(cc_.ctx(), program::kStIf) == 0;
    for (int i = 0; i < kDateAreaBytes; ++i) date_[i] = static_cast<uint8_t>('a' + i % 26);
    run_.record_base = record_.empty() ? empty_ : record_.data();
    run_.record_length = static_cast<int32_t>(record_.size());
    run_.addressable_length = run_.record_length;
    run_.special = special_;
    run_.date_area = date_;
    run_.current = &cc_.statement();
    convert::store_be32(special_ + convert::kSpRecordLength, run_.record_length);
  }

  bool compiled() const { return compiled_; }
  engine::Run& run() { return run_; }
  program::Statement& statement() { return cc_.statement(); }
  uint8_t* record() { return run_.record_base; }
  uint8_t* special() { return special_; }
  uint8_t* date() { return date_; }
  std::string message() { return message_of(cc_.messages()); }
  // The number of pointer variable @name (entered by the compile when the text names it).
  int pointer(const char* name) { return cc_.names().insert(name); }
  int32_t rc() const { return engine::return_code(run_); }

  // Evaluates the statement and the generated And statements that follow it, as the record
  // loop would for a chain of tests joined by And: true when all hold.
  bool evaluate() {
    for (program::Statement* s = &cc_.statement(); s != nullptr; s = s->next) {
      run_.current = s;
      const bool ok = engine::evaluate_condition(run_);
      if (!ok) return false;
    }
    run_.current = &cc_.statement();
    return true;
  }

 private:
  static constexpr int kDateAreaBytes = 128;
  CompileCase cc_;
  std::vector<uint8_t> record_;
  uint8_t empty_[1] = {0};
  uint8_t special_[128] = {};
  uint8_t date_[kDateAreaBytes] = {};
  engine::Run run_;
  bool compiled_ = false;
};

}  // namespace recsift::testing_support

#endif  // RECSIFT_TESTS_UNIT_RUN_FIXTURE_H_
