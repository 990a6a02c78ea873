// The logic-error stop and the stop handler of harnesses.
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

// A harness's handler takes over the stop (and leaves by its own exception); without one the
// process ends.
TEST(StopProcess, AHandlerTakesOverTheStop) {
  struct Stopped {
    int code;
  };
  set_stop_handler([](int code) { throw Stopped{code}; });
  int code = 0;
  try {
    logic_error(kLogicVerbResult);
  } catch (const Stopped& stop) {
    code = stop.code;
  }
  set_stop_handler(nullptr);
  EXPECT_EQ(code, kLogicVerbResult);
  EXPECT_EXIT(stop_process(5), testing::ExitedWithCode(5), "");
}

}  // namespace
}  // namespace recsift::base
