// Tests of operand resolution: positions named by expressions, lengths, clipping and its
// counting by statement family, the run's other areas, pointer variables and the return code.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/convert.h"
#include "convert/special_area.h"
#include "engine/engine.h"
#include "host/host.h"
#include "program/operand.h"
#include "program/program.h"
#include "run_fixture.h"

namespace recsift::engine {
namespace {

using testing_support::RunCase;

// Resolves the compiled condition's operands (second, then first) and describes the first:
// "pos P len L" (+ " req R" when clipped), or "fail".
std::string resolve_first(RunCase& rc) {
  Statement& st = rc.statement();
  if (resolve_operand(rc.run(), st.operands[1]) == nullptr) return "fail 2nd";
  Operand* op = st.operands[0];
  if (resolve_operand(rc.run(), op) == nullptr) return "fail";
  std::string out = "pos " + std::to_string(op->position) + " len " + std::to_string(op->length);
  if (op->requested_length != 0) out += " req " + std::to_string(op->requested_length);
  if (op->address != rc.record() + op->position - 1) out += " elsewhere";
  return out;
}

struct PositionCase {
  const char* condition;
  const char* record;
  int at_p;  // @P set to this position first; 0 = left null
  const char* expected;
};

TEST(ResolveOperand, PositionsNameThePlaceTheySay) {
  const std::vector<PositionCase> cases = {
      {"POS 10 = 'A'", "0123456789ABCDEF", 0, "pos 10 len 1"},
      {"POS L = 'A'", "ABCDE", 0, "pos 5 len 1"},
      {"POS L-1 = 'AB'", "ABCDE", 0, "pos 4 len 2"},
      {"POS @P = 'A'", "ABCDE", 3, "pos 3 len 1"},
      {"POS @P+1 = 'A'", "ABCDE", 3, "pos 4 len 1"},
      {"POS @P-2 = 'AB'", "ABCDE", 3, "pos 1 len 2"},
      {"POS @P = 'A'", "ABCDE", 0, "fail"},  // a null pointer fails
      {"POS 2 LEN 3 = 'A'", "ABCDE", 0, "pos 2 len 3"},
      {"POS 2 LEN L-2 = 'A'", "ABCDE", 0, "pos 2 len 3"},
      {"POS 2 LEN @P = 'A'", "ABCDE", 3, "pos 2 len 3"},
      {"POS 2 LEN @P = 'A'", "ABCDE", 0, "fail"},
      {"POS L-9 = 'A'", "ABCDE", 0, "fail"},  // before the record: never read
      {"POS 4 = 'ABC'", "ABCDE", 0, "fail"},  // clipped: a condition gets null
      {"POS 6 = 'A'", "ABCDE", 0, "fail"},    // nothing remains
  };
  for (const PositionCase& c : cases) {
    RunCase rc(c.condition, c.record);
    if (!rc.compiled()) {
      ADD_FAILURE() << c.condition << ": " << rc.message();
      continue;
    }
    if (c.at_p != 0) set_pointer(rc.run(), rc.pointer("P"), rc.record() + c.at_p - 1);
    EXPECT_EQ(resolve_first(rc), c.expected) << c.condition;
    EXPECT_EQ(rc.statement().error_count, 0) << c.condition;  // conditions count elsewhere
    EXPECT_EQ(rc.rc(), 0) << c.condition;
  }
}

struct ClipCase {
  uint8_t type;
  program::Op op;
  const char* expected;
  int errors;
  int32_t rc;
};

TEST(ResolveOperand, ClippingIsCountedByStatementFamily) {
  const std::vector<ClipCase> cases = {
      {kStIf, Op::kNone, "fail", 0, 0},
      {kStAction, Op::kMove, "pos 4 len 2 req 3", 1, 8},
      {kStAction, Op::kPointerSet, "pos 4 len 2 req 3", 1, 8},
      {kStAction, Op::kJecl, "pos 4 len 2 req 3", 1, 8},
      {kStAction, Op::kPrint, "pos 4 len 2 req 3", 0, 0},
      {kStThenAction, Op::kWrite, "pos 4 len 2 req 3", 0, 0},
  };
  for (const ClipCase& c : cases) {
    RunCase rc("POS 4 = 'ABC'", "ABCDE");
    ASSERT_TRUE(rc.compiled());
    rc.statement().type = c.type;
    rc.statement().op = c.op;
    EXPECT_EQ(resolve_first(rc), c.expected) << static_cast<int>(c.op);
    EXPECT_EQ(rc.statement().error_count, c.errors) << static_cast<int>(c.op);
    EXPECT_EQ(rc.rc(), c.rc) << static_cast<int>(c.op);
  }
}

TEST(ResolveOperand, FailuresOfActionsCountOnceAndRaiseEight) {
  RunCase rc("POS @P LEN 2 = 'AB'", "ABCDE");
  ASSERT_TRUE(rc.compiled());
  rc.statement().type = kStAction;
  rc.statement().op = Op::kWrite;
  EXPECT_EQ(resolve_first(rc), "fail");
  EXPECT_EQ(rc.statement().error_count, 1);
  EXPECT_EQ(rc.rc(), 8);
  EXPECT_EQ(rc.run().rc_selid, rc.statement().selid);
}

TEST(ResolveOperand, AreasOutsideTheRecordStayWithinThemselves) {
  struct Case {
    const char* condition;
    int area_offset;  // expected offset of byte 1 in the date area; -1 = fails
    int length;
  };
  const std::vector<Case> cases = {
      {"POS DATE = 'ab'", 0, 2},
      {"POS DATE+1 = 'bcd'", 1, 3},
      {"POS DATE+126 = 'xyz'", -1, 0},  // would run past the area's end: clipped, so null
      {"POS DATE-1 = 'a'", -1, 0},      // before the area
  };
  for (const Case& c : cases) {
    RunCase rc(c.condition, "ABCDE");
    ASSERT_TRUE(rc.compiled()) << c.condition << rc.message();
    Statement& st = rc.statement();
    ASSERT_NE(resolve_operand(rc.run(), st.operands[1]), nullptr);
    uint8_t* p = resolve_operand(rc.run(), st.operands[0]);
    if (c.area_offset < 0) {
      EXPECT_EQ(p, nullptr) << c.condition;
      continue;
    }
    EXPECT_EQ(p, rc.date() + c.area_offset) << c.condition;
    EXPECT_EQ(st.operands[0]->length, c.length) << c.condition;
    EXPECT_NE(st.operands[0]->resolved_flags & kResUnclipped, 0) << c.condition;
  }
  // An action gets what remains of the area, never the bytes after it.
  RunCase print("POS DATE+126 = 'xyz'", "ABCDE");
  ASSERT_TRUE(print.compiled());
  print.statement().type = kStAction;
  print.statement().op = Op::kPrint;
  ASSERT_NE(resolve_operand(print.run(), print.statement().operands[1]), nullptr);
  EXPECT_EQ(resolve_operand(print.run(), print.statement().operands[0]), print.date() + 126);
  EXPECT_EQ(print.statement().operands[0]->length, 2);
  EXPECT_EQ(print.statement().operands[0]->requested_length, 3);
}

TEST(ResolveOperand, AreaFieldsLiteralsAndNumbers) {
  RunCase rc("UXLRECL GT 100", "ABCDE");
  ASSERT_TRUE(rc.compiled());
  Operand* first = rc.statement().operands[0];
  Operand* second = rc.statement().operands[1];
  EXPECT_EQ(resolve_operand(rc.run(), first), rc.special() + convert::kSpRecordLength);
  EXPECT_EQ(first->length, 4);
  EXPECT_EQ(convert::load_be32(first->address), 5);
  ASSERT_NE(resolve_operand(rc.run(), second), nullptr);
  EXPECT_EQ(second->position, -1);
  EXPECT_EQ(second->length, 4);
  EXPECT_EQ(convert::load_be32(second->address), 100);

  RunCase lit("POS 1 = 'XYZ'", "ABCDE");
  ASSERT_TRUE(lit.compiled());
  Operand* value = lit.statement().operands[1];
  ASSERT_NE(resolve_operand(lit.run(), value), nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(value->address), value->length), "XYZ");
  EXPECT_EQ(value->position, -1);
}

TEST(ResolvePointer, FlagsAndAddressWords) {
  RunCase rc("POS 1 = 'A'", "ABCDE");
  engine::Run& run = rc.run();
  const int p = rc.pointer("P");
  EXPECT_EQ(pointer_variable(run, p).flags, kPointerNullFlags);  // never set

  set_pointer(run, p, rc.record() + 2);
  EXPECT_EQ(pointer_variable(run, p).value, 3);
  EXPECT_EQ(pointer_variable(run, p).flags, 0x25);

  set_pointer(run, p, nullptr);
  EXPECT_EQ(pointer_variable(run, p).value, 0);
  EXPECT_EQ(pointer_variable(run, p).flags, 0x20);

  set_pointer(run, p, rc.date() + 4);  // outside the record: into the date area
  EXPECT_EQ(pointer_variable(run, p).flags, 0x27);

  set_pointer(run, kAtPointer, rc.record() + 1);
  EXPECT_EQ(static_cast<uint32_t>(convert::load_be32(rc.special() + convert::kSpAtPointer)),
            host::address_word(rc.record() + 1));
  set_pointer(run, kComparePointer, rc.record() + 4);
  EXPECT_EQ(static_cast<uint32_t>(convert::load_be32(rc.special() + convert::kSpAddressDiff)),
            host::address_word(rc.record() + 4));
  set_pointer(run, kComparePointer, nullptr);
  EXPECT_EQ(convert::load_be32(rc.special() + convert::kSpAddressDiff), 0);
  EXPECT_EQ(convert::load_be32(rc.special() + convert::kSpAtPointer),
            static_cast<int32_t>(host::address_word(rc.record() + 1)));  // untouched
}

TEST(ResolvePointer, APointerIntoAnAreaResolvesThere) {
  RunCase rc("POS @P+1 = 'fg'", "ABCDE");
  ASSERT_TRUE(rc.compiled());
  set_pointer(rc.run(), rc.pointer("P"), rc.date() + 4);
  Statement& st = rc.statement();
  ASSERT_NE(resolve_operand(rc.run(), st.operands[1]), nullptr);
  EXPECT_EQ(resolve_operand(rc.run(), st.operands[0]), rc.date() + 5);
  EXPECT_EQ(st.operands[0]->resolved_flags, kResPointerRelative | kResOutside | kResUnclipped);

  // A pointer beyond the record, in no area, is clipped like any record position.
  set_pointer(rc.run(), rc.pointer("P"), rc.record() + 6);
  EXPECT_EQ(pointer_variable(rc.run(), rc.pointer("P")).flags, 0x27);
  EXPECT_EQ(resolve_operand(rc.run(), st.operands[0]), nullptr);
}

TEST(ResolveReturnCode, OnlyRaisesAndRemembersTheStatement) {
  RunCase rc("POS 1 = 'A'", "A");
  rc.statement().selid = 7;
  raise_return_code(rc.run(), 6);
  EXPECT_EQ(rc.rc(), 6);
  EXPECT_EQ(rc.run().rc_selid, 7);
  rc.statement().selid = 9;
  raise_return_code(rc.run(), 4);
  EXPECT_EQ(rc.rc(), 6);
  EXPECT_EQ(rc.run().rc_selid, 7);
  raise_return_code(rc.run(), 8);
  EXPECT_EQ(rc.rc(), 8);
  EXPECT_EQ(rc.run().rc_selid, 9);
}

}  // namespace
}  // namespace recsift::engine
