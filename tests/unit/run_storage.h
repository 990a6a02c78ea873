// Where the pool blocks of the tests' runs go: tests and harnesses release them when a test or a
// case ends, so one test process can go through any number of runs.
#ifndef RECSIFT_TESTS_UNIT_RUN_STORAGE_H_
#define RECSIFT_TESTS_UNIT_RUN_STORAGE_H_

#include <gtest/gtest.h>

#include <deque>
#include <optional>

#include "base/pool.h"

namespace recsift::testing_support {

// A fixture for tests that build whole runs: the runs a test creates, and every pool block they
// take, are released when the test ends.
template <typename RunType>
class RunsPerTest : public ::testing::Test {
 protected:
  // A new run; it stays in place (the runs point into themselves) until the test ends.
  RunType& new_run() { return runs_.emplace_back(); }

 private:
  base::PoolArena arena_;  // first: released once the runs are destroyed
  std::deque<RunType> runs_;
};

// The storage of a test case: an arena of its own unless one is already current, so that cases
// made while another lives (a variable defined through a case of its own) share the outer one's
// and every block goes when the outermost case does.
class CaseArena {
 public:
  CaseArena() {
    if (base::PoolArena::current() == nullptr) arena_.emplace();
  }

 private:
  std::optional<base::PoolArena> arena_;
};

}  // namespace recsift::testing_support

#endif  // RECSIFT_TESTS_UNIT_RUN_STORAGE_H_
