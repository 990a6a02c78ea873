// Tests of condition evaluation: compiled conditions against records, with the return code, the
// failed-test count, the comparison pointer and the PTR pointer they leave behind.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/convert.h"
#include "convert/special_area.h"
#include "engine/engine.h"
#include "files/files.h"
#include "host/host.h"
#include "program/program.h"
#include "report/report.h"
#include "run_fixture.h"

namespace recsift::engine {
namespace {

using testing_support::RunCase;

struct Case {
  const char* condition;
  std::string record;
  bool holds;
  int32_t rc;      // return code afterwards
  int32_t failed;  // failed tests counted
};

void check(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    RunCase rc(c.condition, c.record);
    if (!rc.compiled()) {
      ADD_FAILURE() << c.condition << ": " << rc.message();
      continue;
    }
    EXPECT_EQ(rc.evaluate(), c.holds) << c.condition << " on " << c.record;
    EXPECT_EQ(rc.rc(), c.rc) << c.condition << " on " << c.record;
    EXPECT_EQ(rc.statement().error_count, c.failed) << c.condition << " on " << c.record;
  }
}

TEST(EvaluateCondition, CharacterComparisonsAndThePad) {
  check({
      {"POS 1 = 'AB'", "ABCD", true, 0, 0},
      {"POS 1 = 'AC'", "ABCD", false, 0, 0},
      {"POS 2 GT 'A'", "ABCD", true, 0, 0},
      {"POS 2 LT 'A'", "ABCD", false, 0, 0},
      {"POS 1 LEN 2 = 'AB  '", "ABCD", true, 0, 0},       // excess equal to the blank pad
      {"POS 1 LEN 2 = 'ABx'", "ABCD", false, 0, 0},       // the value is greater...
      {"POS 1 LEN 2 LT 'ABx'", "ABCD", true, 0, 0},       // ...
      {"POS 1 LEN 2 LT X'414200'", "ABCD", true, 0, 0},   // ...whatever its excess byte's code
      {"POS 1 LEN 4 GT 'AB'", "AB\x01\x01", true, 0, 0},  // a longer first operand is greater
      {"POS 1 LEN 4 = 'AB'", "AB  ", true, 0, 0},
      {"POS 1 LEN 4 = 'AB' PAD '*'", "AB**", true, 0, 0},
      {"POS 1 LEN 4 = 'AB' PAD '*'", "AB  ", false, 0, 0},
      {"POS 1 GT X'7F'", "\xC1", true, 0, 0},  // bytes compare unsigned
      {"POS 1 HIGH 'M'", "A", true, 0, 0},     // HIGH is LE
      {"POS 1 HIGH 'M'", "M", true, 0, 0},
      {"POS 1 HIGH 'M'", "Z", false, 0, 0},
      {"POS 1 LO 'M'", "A", false, 0, 0},  // LOW is GE
      {"POS 1 LO 'M'", "M", true, 0, 0},
      {"POS 1 NE 'A','B'", "A", false, 0, 0},  // the generated And
      {"POS 1 NE 'A','B'", "B", false, 0, 0},
      {"POS 1 NE 'A','B'", "C", true, 0, 0},
      {"POS L-1 LEN 2 = 'YZ'", "WXYZ", true, 0, 0},
      {"POS L-1 LEN 2 = 'XY'", "WXYZ", false, 0, 0},
  });
}

TEST(EvaluateCondition, FailedTests) {
  check({
      {"POS 1 = 'ABC'", "AB", false, 0, 1},   // clipped: fails, EQ leaves the return code
      {"POS 1 NE 'ABC'", "AB", false, 6, 1},  // other codes raise it to 6
      {"POS 1 GT 'ABC'", "AB", false, 6, 1},
      {"POS 3 = 'A'", "AB", false, 0, 1},
      {"POS L-5 GT 'A'", "AB", false, 6, 1},  // before the record
      {"POS @Q GT 'A'", "AB", false, 6, 1},   // a null pointer
      {"POS 1,80 = 'XYZ'", "", false, 0, 1},  // nothing to scan
      {"POS 1,80 GT 'XYZ'", "", false, 6, 1},
  });
}

TEST(EvaluateCondition, Numbers) {
  check({
      {"POS 1 LEN 4 TYPE B > 100", std::string("\0\0\0\x65", 4), true, 0, 0},
      {"POS 1 LEN 4 TYPE B > 100", std::string("\0\0\0\x64", 4), false, 0, 0},
      {"POS 1 LEN 4 TYPE B < 0", "\xFF\xFF\xFF\xFF", true, 0, 0},  // signed
      {"POS 1 LEN 2 TYPE B = -2", "\xFF\xFE", true, 0, 0},
      {"POS 1 LEN 2 TYPE B = 258", "\x01\x02", true, 0, 0},
      {"POS 1 LEN 4 TYPE B = 16909060", "\x01\x02\x03\x04", true, 0, 0},
      {"POS 1 LEN 3 TYPE B = -65536", std::string("\xFF\x00\x00", 3), true, 0, 0},
      {"POS 1 LEN 3 TYPE P = 12345", "\x12\x34\x5C", true, 0, 0},
      {"POS 1 LEN 3 TYPE P < 0", "\x12\x34\x5D", true, 0, 0},
      {"POS 1 LEN 3 TYPE P = -12345", "\x12\x34\x5D", true, 0, 0},
      {"POS 1 LEN 2 TYPE B = POS 3 LEN 2 TYPE B", std::string("\x01\x02\x01\x02", 4), true, 0, 0},
      {"POS 1 LEN 2 TYPE B LT POS 3 LEN 2 TYPE B", std::string("\x80\x00\x01\x02", 4), true, 0, 0},
      {"POS 1 LEN 2 TYPE P GT POS 3 LEN 2 TYPE P", std::string("\x01\x0C\x00\x9C", 4), true, 0, 0},
      // Zoned digits compared with a number compare as the numbers they spell (sign
      // over-punched or written).
      {"POS 1 LEN 5 TYPE Z GT 300", "00301", true, 0, 0},
      {"POS 1 LEN 5 TYPE Z LT 0", "0030J", true, 0, 0},
      {"POS 1 LEN 5 TYPE Z = -301", "0030J", true, 0, 0},
      {"POS 1 LEN 5 TYPE Z LT 0", " -301", true, 0, 0},
      {"POS 1 LEN 12 TYPE Z = 12345678901", "012345678901", true, 0, 0},
      {"POS 1 LEN 2 TYPE Z LT POS 3 LEN 3 TYPE Z", "99100", true, 0, 0},
      {"UXLRECL = 5", "ABCDE", true, 0, 0},
      {"UXLRECL GT 5", "ABCDE", false, 0, 0},
  });
}

TEST(EvaluateCondition, SpecialOperands) {
  RunCase rc("RC > 4", "A");
  ASSERT_TRUE(rc.compiled());
  EXPECT_FALSE(rc.evaluate());
  raise_return_code(rc.run(), 8);
  EXPECT_TRUE(rc.evaluate());

  RunCase line("LINE GE 60", "A");
  ASSERT_TRUE(line.compiled());
  convert::store_be32(line.special() + convert::kSpPageDepth, 86);
  convert::store_be32(line.special() + convert::kSpLinesLeft, 27);  // line 60
  EXPECT_TRUE(line.evaluate());
  convert::store_be32(line.special() + convert::kSpLinesLeft, 28);
  EXPECT_FALSE(line.evaluate());

  RunCase count("INCOUNT = 10", "A");
  ASSERT_TRUE(count.compiled());
  files::FFREC file{};
  count.statement().file = &file;
  file.record_count = 9;
  EXPECT_FALSE(count.evaluate());
  file.record_count = 10;
  EXPECT_TRUE(count.evaluate());
}

TEST(EvaluateCondition, ComparisonPointer) {
  RunCase rc("POS 1 LEN 3 = 'ABD'", "ABCD");
  ASSERT_TRUE(rc.compiled());
  EXPECT_FALSE(rc.evaluate());
  EXPECT_EQ(static_cast<uint32_t>(convert::load_be32(rc.special() + convert::kSpAddressDiff)),
            host::address_word(rc.record() + 2));
  EXPECT_EQ(pointer_variable(rc.run(), kComparePointer).value, 3);

  rc.record()[2] = 'D';
  EXPECT_TRUE(rc.evaluate());
  EXPECT_EQ(convert::load_be32(rc.special() + convert::kSpAddressDiff), 0);
  EXPECT_EQ(pointer_variable(rc.run(), kComparePointer).flags, kPointerNullFlags);

  // A difference in the excess: counted from the first operand's start.
  RunCase excess("POS 2 LEN 2 = 'BCxy'", "ABCDE");
  ASSERT_TRUE(excess.compiled());
  EXPECT_FALSE(excess.evaluate());
  EXPECT_EQ(pointer_variable(excess.run(), kComparePointer).value, 4);
}

TEST(EvaluateCondition, PointerPositions) {
  RunCase rc("POS @P+1 = 'C'", "ABCD");
  ASSERT_TRUE(rc.compiled());
  set_pointer(rc.run(), rc.pointer("P"), rc.record() + 1);  // @P = 2
  EXPECT_TRUE(rc.evaluate());
  set_pointer(rc.run(), rc.pointer("P"), rc.record() + 2);
  EXPECT_FALSE(rc.evaluate());
}

struct ScanCase {
  const char* condition;
  std::string record;
  bool holds;
  int ptr;  // the PTR pointer afterwards; 0 = null
};

TEST(EvaluateScan, ForwardReverseAndStep) {
  const std::string none(80, '.');
  std::string at40 = none;
  at40.replace(39, 3, "XYZ");
  std::string at78 = none;
  at78.replace(77, 3, "XYZ");
  const std::vector<ScanCase> cases = {
      {"POS 1,80 = 'XYZ' PTR @P", at40, true, 40},
      {"POS 1,80 = 'XYZ' PTR @P", at78, true, 78},
      {"POS 1,80 = 'XYZ' PTR @P", none, false, 0},
      {"POS 1,80 = 'XYZ' PTR @P", at40.substr(0, 50), true, 40},  // a shorter record
      {"POS 1,80 = 'XYZ' PTR @P", at40.substr(0, 41), false, 0},
      {"POS 1,10 = 'A' PTR @P", "xxAxxxAxxx", true, 3},
      {"POS 1,10 = 'A' PTR @P REVERSE", "xxAxxxAxxx", true, 7},
      {"POS 1,10 = 'A' STEP 3 PTR @P", "xxAxxxAxxx", true, 7},  // candidates 1, 4, 7, 10
      {"POS 1,10 = 'A' STEP 3 PTR @P", "xxAxxxxxxx", false, 0},
      {"POS 1,9 = 'A' STEP 3 REVERSE PTR @P", "xxxxxxAxA", true, 7},  // 7, 4, 1: not 9
      {"POS 1,10 = 'A' STEP 3 REVERSE PTR @P", "AxxAxxxxxA", true, 10},
      {"POS 1,10 GT 'x' PTR @P", "xxxxxyxxzx", true, 6},
      {"POS 1,10 NE 'x' PTR @P", "xxxxxyxxzx", true, 6},
      {"POS 1,10 NE 'x' PTR @P REV", "xxxxxyxxzx", true, 9},
      {"POS 1,10 ONES X'81' PTR @P", "\x01\x80\x81\xC1xxxxxx", true, 3},
      {"POS 1,10 ZEROS X'81' STEP 2 PTR @P", "\x81\x40\x01\x40\x40xxxxx", true, 5},
      {"POS ANY = 'CD' PTR @P", "ABCDE", true, 3},
  };
  for (const ScanCase& c : cases) {
    RunCase rc(c.condition, c.record);
    if (!rc.compiled()) {
      ADD_FAILURE() << c.condition << ": " << rc.message();
      continue;
    }
    const int p = rc.pointer("P");
    set_pointer(rc.run(), p, rc.record());  // set beforehand: a miss must clear it
    EXPECT_EQ(rc.evaluate(), c.holds) << c.condition << " on " << c.record;
    EXPECT_EQ(pointer_variable(rc.run(), p).value, c.ptr) << c.condition << " on " << c.record;
    EXPECT_EQ(pointer_variable(rc.run(), p).flags, c.ptr != 0 ? 0x25 : 0x20) << c.condition;
    EXPECT_EQ(rc.rc(), 0) << c.condition;
  }
}

// The search for a text in steps of many places: every record length around the step, the text
// at every place (first, last, straddling a step), near misses of its first or last byte.
TEST(EvaluateScan, TextFoundAtEveryPlaceOfEveryLength) {
  for (size_t length = 3; length <= 70; ++length) {
    for (size_t at = 0; at + 3 <= length + 1; ++at) {
      std::string record(length, '.');
      if (at + 3 <= length) record.replace(at, 3, "XYZ");
      if (at > 0) record[at - 1] = 'X';            // a first byte without the rest
      if (at + 4 <= length) record[at + 3] = 'Z';  // a last byte without the rest
      RunCase rc("POS ANY = 'XYZ' PTR @P", record);
      ASSERT_TRUE(rc.compiled());
      const size_t expected = record.find("XYZ");
      EXPECT_EQ(rc.evaluate(), expected != std::string::npos) << record;
      EXPECT_EQ(pointer_variable(rc.run(), rc.pointer("P")).value,
                expected != std::string::npos ? static_cast<int32_t>(expected) + 1 : 0)
          << record;
    }
  }
}

TEST(EvaluateMask, OnesZerosMixed) {
  check({
      {"POS 5 ONES X'81'", "....\x81", true, 0, 0},
      {"POS 5 ONES X'81'", "....\xC1", true, 0, 0},
      {"POS 5 ONES X'81'", "....\x80", false, 0, 0},
      {"POS 5 ZEROS X'81'", "....\x40", true, 0, 0},
      {"POS 5 ZEROS X'81'", "....\x01", false, 0, 0},
      {"POS 5 MIXED X'81'", "....\x80", true, 0, 0},
      {"POS 5 MIXED X'81'", "....\x81", false, 0, 0},
      {"POS 5 ONES X'00'", "....\x81", false, 0, 0},  // a zero mask never holds
      {"POS 1 ONES X'8001'", "\x80\x01", true, 0, 0},
      {"POS 1 ONES X'8001'", std::string("\x80\x00", 2), false, 0, 0},
      {"POS 1 ZEROS X'8001'", "\x7F\xFE", true, 0, 0},
      {"POS 1 MIXED X'8001'", std::string("\x80\x00", 2), true, 0, 0},  // one all on, one all off
      {"POS 1 MIXED X'C001'", "\x40\x01", true, 0, 0},                  // partly on
      {"POS 1 MIXED X'8001'", "\x80\x01", false, 0, 0},
  });
}

TEST(EvaluateMask, LongMasksAreCutTo256Bytes) {
  // 257 mask bytes: only the first 256 are tested (the last one would fail), which raises the
  // return code to 6 and is counted.
  std::string hex;
  for (int i = 0; i < 256; ++i) hex += "80";
  const std::string condition = "POS 1 ONES X'" + hex + "01'";
  RunCase rc(condition, std::string(257, '\x80'));
  ASSERT_TRUE(rc.compiled()) << rc.message();
  EXPECT_TRUE(rc.evaluate());
  EXPECT_EQ(rc.rc(), 6);
  EXPECT_EQ(rc.run().mask_truncations, 1);
}

TEST(EvaluateCondition, NullTests) {
  struct NullCase {
    const char* condition;
    bool set;
    bool holds;
  };
  const std::vector<NullCase> cases = {
      {"@P EQ NULL", false, true},
      {"@P EQ NULL", true, false},
      {"POS @P NE NUL", false, false},
      {"POS @P NE NUL", true, true},
  };
  for (const NullCase& c : cases) {
    RunCase rc(c.condition, "ABC");
    ASSERT_TRUE(rc.compiled()) << c.condition << rc.message();
    if (c.set) set_pointer(rc.run(), rc.pointer("P"), rc.record() + 1);
    EXPECT_EQ(rc.evaluate(), c.holds) << c.condition << " set=" << c.set;
    EXPECT_EQ(rc.rc(), 0);
  }
}

struct FileState {
  bool eof = false;
  bool directory = false;
  const files::FFREC* asked = nullptr;
};

bool answer(void* context, const files::FFREC* file, FileQuestion q) {
  auto* state = static_cast<FileState*>(context);
  state->asked = file;
  return q == FileQuestion::kEndOfFile ? state->eof : state->directory;
}

TEST(EvaluateCondition, FileTests) {
  struct FileCase {
    const char* condition;
    bool eof;
    bool directory;
    bool holds;
  };
  const std::vector<FileCase> cases = {
      {"EOF", false, false, false}, {"EOF", true, false, true},   {"DIR", false, true, true},
      {"DIR", false, false, false}, {"DATA", false, true, false}, {"DATA", false, false, true},
  };
  for (const FileCase& c : cases) {
    RunCase rc(c.condition, "A");
    ASSERT_TRUE(rc.compiled()) << c.condition;
    files::FFREC file{};
    FileState state{c.eof, c.directory, nullptr};
    rc.statement().file = &file;
    rc.run().file_query = answer;
    rc.run().file_query_context = &state;
    EXPECT_EQ(rc.evaluate(), c.holds) << c.condition;
    EXPECT_EQ(state.asked, &file) << c.condition;
  }
}

TEST(EvaluateCondition, NumericAgainstCharacterRecords901) {
  RunCase rc("POS 1 LEN 2 TYPE B = 5", "AB");
  ASSERT_TRUE(rc.compiled());
  report::Messages messages;
  rc.run().messages = &messages;
  // A second operand that is no number (made so after compiling) cannot be compared.
  Operand* second = rc.statement().operands[1];
  static uint8_t text[] = {'5'};
  second->kind = OperandKind::kLiteral;
  second->type = kTypeCharacter;
  second->lit = text;
  second->lit_length = 1;
  EXPECT_FALSE(rc.evaluate());
  EXPECT_EQ(messages.pending, 901);
}

}  // namespace
}  // namespace recsift::engine
