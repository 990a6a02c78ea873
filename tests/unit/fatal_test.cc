// The logic-error stop.
#include <gtest/gtest.h>

#include "base/fatal.h"

namespace recsift::base {
namespace {

TEST(LogicError, WritesOneLineAndExitsWithTheCode) {
  // The shell sees exit statuses modulo 256.
  EXPECT_EXIT(logic_error(kLogicVerbResult, 7), testing::ExitedWithCode(22002 & 0xFF),
              "^\\*\\* Logic Error=22002  Selid=7  Run terminated\\.\n$");
  EXPECT_EXIT(logic_error(kLogicTakeWithoutToken), testing::ExitedWithCode(3202 & 0xFF),
              "^\\*\\* Logic Error=3202  Run terminated\\.\n$");
}

}  // namespace
}  // namespace recsift::base
