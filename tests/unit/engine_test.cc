// The logic-error stop and the name-index table.
#include <gtest/gtest.h>

#include "engine/engine.h"

namespace recsift::engine {
namespace {

TEST(LogicError, WritesOneLineAndExitsWithTheCode) {
  // The shell sees exit statuses modulo 256.
  EXPECT_EXIT(logic_error(22002, 7), testing::ExitedWithCode(22002 & 0xFF),
              "^\\*\\* Logic Error=22002  Selid=7  Run terminated\\.\n$");
  EXPECT_EXIT(logic_error(3202), testing::ExitedWithCode(3202 & 0xFF),
              "^\\*\\* Logic Error=3202  Run terminated\\.\n$");
}

TEST(NameIndex, NumbersInOrderOfEntryWithoutRegardToCase) {
  NameIndex names;
  EXPECT_EQ(names.insert(""), 0);
  EXPECT_EQ(names.insert(std::string_view("\xD1\xFF", 2)), 1);
  EXPECT_EQ(names.insert("Ptr"), 2);
  EXPECT_EQ(names.insert("PTR"), 2);
  EXPECT_EQ(names.find("ptr"), 2);
  EXPECT_EQ(names.find("PT"), NameIndex::kNotFound);
  // Only letters fold: 0xD1 is not the upper case of anything.
  EXPECT_EQ(names.find(std::string_view("\xF1\xFF", 2)), NameIndex::kNotFound);
  EXPECT_EQ(names.size(), 3);
}

}  // namespace
}  // namespace recsift::engine
