// The name-index table of pointer variables.
#include <gtest/gtest.h>

#include "program/program.h"

namespace recsift::program {
namespace {

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
}  // namespace recsift::program
