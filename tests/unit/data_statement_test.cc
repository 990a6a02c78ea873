// Tests of the data statement compiler: the operands (after the verb) of each data statement
// against its slots, modifier and argument, or the message raised.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compiler/compiler.h"
#include "operand_fixture.h"
#include "program/program.h"

namespace recsift::compiler {
namespace {

using testing_support::CompileCase;
using testing_support::message_of;

struct Case {
  program::Op op;
  const char* text;      // the statement after its verb
  int32_t argument;      // preset operation argument (conversion code of the CV verbs)
  const char* expected;  // "mod=.. arg=0x.. | slot0 | slot1 | slot2 | slot3" or "msg N"
};

std::string run(const Case& c) {
  CompileCase cc(c.text);
  cc.statement().argument = c.argument;
  const int rc = compile_data_statement(cc.ctx(), c.op);
  if (rc != 0) return message_of(cc.messages());
  const program::Statement& st = cc.statement();
  char head[48];
  std::snprintf(head, sizeof head, "mod=%d arg=0x%X", st.modifier, st.argument);
  std::string out = head;
  if (st.pad != ' ') out += std::string(" pad=") + static_cast<char>(st.pad);
  for (const program::Operand* o : st.operands) out += " | " + describe_operand(o);
  return out;
}

void check(const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(run(c), c.expected) << c.text;
}

TEST(DataStatementCompiler, Assignments) {
  check({
      {program::Op::kPointerOp, "@P = 10", 0, "mod=0 arg=0x22 | num(@2) | imm(10) | null | null"},
      {program::Op::kPointerOp, "@P = POS 10", 0,
       "mod=0 arg=0x0 | num(@2) | field(pos 10 len 1) | null | null"},
      {program::Op::kPointerOp, "@P = @Q+1", 0,
       "mod=0 arg=0x22 | num(@2) | num(@3+1) | null | null"},
      {program::Op::kPointerOp, "@P = POS 1,4 TYPE B", 0,
       "mod=0 arg=0x22 | num(@2) | field(pos 1 len 4 type B range) | null | null"},
      {program::Op::kPointerOp, "@P = 3 FR 10", 0,
       "mod=0 arg=0x42 | num(@2) | field(pos 10 len 3 type P lenfirst) | null | null"},
      {program::Op::kLrecl, "80", 0, "mod=0 arg=0x22 | area(0) | imm(80) | null | null"},
      {program::Op::kRc, "0", 0, "mod=0 arg=0x22 | area(24) | imm(0) | null | null"},
      {program::Op::kLrecl, "-1", 0, "msg 9"},
      {program::Op::kPointerOp, "@P+1 = 5", 0, "msg 127"},
      {program::Op::kPointerOp, "@P = POS 1,20 TYPE P", 0, "msg 62"},
      {program::Op::kPointerOp, "@P = POS 1,5 TYPE B", 0, "msg 62"},
  });
}

TEST(DataStatementCompiler, Arithmetic) {
  check({
      {program::Op::kAdd, "1 TO POS 10,12 TYPE P", 0,
       "mod=0 arg=0x44 | null | imm(1) | field(pos 10 len 3 type P range) | null"},
      {program::Op::kAdd, "12345678901234 TO POS 10,17 TYPE P", 0,
       "mod=0 arg=0x44 | null | lit(X'012345678901234C' type P) | field(pos 10 len 8 type P range) "
       "| null"},
      {program::Op::kAdd, "POS 1,4 TO POS 5,8 INTO POS 9,12 TYPE B", 0,
       "mod=0 arg=0x22 | field(pos 9 len 4 type B range) | field(pos 1 len 4 type B range) | "
       "field(pos 5 len 4 type B range) | null"},
      {program::Op::kSub, "POS 1,4 FROM POS 5,8", 0,
       "mod=0 arg=0x44 | null | field(pos 1 len 4 type P range) | field(pos 5 len 4 type P range) "
       "| null"},
      {program::Op::kSub, "POS 1,4 POS 5,8", 0, "msg 52"},
      {program::Op::kAdd, "POS 1,4", 0, "msg 51"},
      {program::Op::kDiv, "POS 1,4 INTO POS 5,8 REM POS 9,12", 0,
       "mod=0 arg=0x44 | null | field(pos 1 len 4 type P range) | field(pos 5 len 4 type P range) "
       "| field(pos 9 len 4 type P range)"},
      {program::Op::kMult, "POS 1,4 BY 3 INTO POS 5,8", 0,
       "mod=0 arg=0x44 | field(pos 5 len 4 type P range) | imm(3) | field(pos 1 len 4 type P "
       "range) | null"},
      {program::Op::kMult, "5 BY 3", 0, "msg 78"},
      {program::Op::kMult, "5 BY 3 INTO POS 1,4", 0, "msg 59"},
      {program::Op::kMult, "POS 1,4 3", 0, "msg 81"},
      {program::Op::kDiv, "POS 1,9 INTO POS 10,12", 0, "msg 62"},
      {program::Op::kAdd, "1 TO POS 1,4 TYPE X", 0, "msg 79"},
  });
}

TEST(DataStatementCompiler, MoveAndMod) {
  check({
      {program::Op::kMove, "'ABC' TO POS 10,15", 0,
       "mod=0 arg=0x0 | field(pos 10 len 6 range) | lit('ABC') | null | null"},
      {program::Op::kMove, "10 FR 21 TO POS 1", 0,
       "mod=0 arg=0x0 | field(pos 1 len =2nd fmt undecided) | field(pos 21 len 10 lenfirst) | null "
       "| null"},
      {program::Op::kMove, "POS 1,9 TO POS 2,10 FILL '.'", 0,
       "mod=0 arg=0x0 pad=. | field(pos 2 len 9 range) | field(pos 1 len 9 range) | null | null"},
      {program::Op::kMove, "POS 1 TO POS 2", 0, "msg 69"},
      {program::Op::kMove, "'A' POS 2", 0, "msg 51"},
      {program::Op::kMove, "ABC TO POS 2", 0, "msg 42"},
      {program::Op::kMove, "'A' TO POS 2 PAD XY", 0, "msg 46"},
      {program::Op::kMod, "POS 10,12 = 'ABC'", 0,
       "mod=26 arg=0x0 | field(pos 10 len 3 range) | lit('ABC') | null | null"},
      {program::Op::kMod, "POS 10 OR X'01'", 0,
       "mod=28 arg=0x0 | field(pos 10 len =2nd fmt undecided) | lit(X'01') | null | null"},
      {program::Op::kMod, "POS 10 LEN 2 XOR POS 20", 0,
       "mod=29 arg=0x0 | field(pos 10 len 2) | field(pos 20 len =1st fmt undecided) | null | null"},
      {program::Op::kMod, "POS 10 = POS 20", 0, "msg 69"},
  });
}

TEST(DataStatementCompiler, TranCompressAndConversions) {
  check({
      {program::Op::kTran, "POS 1,10 UPPER", 0,
       "mod=0 arg=0x0 | null | field(pos 1 len 10 range) | table(upper) | null"},
      {program::Op::kTran, "CVA POS 1,10 TO POS 11,20", 0,
       "mod=0 arg=0x0 | field(pos 11 len 10 range) | field(pos 1 len 10 range) | table(ascii) | "
       "null"},
      {program::Op::kTran, "POS 1,10 TAB POS 101,300", 0, "msg 144"},
      {program::Op::kTran, "POS 1,10 'ab' 'x'", 0, "msg 145"},
      {program::Op::kTran, "POS 1,10", 0, "msg 145"},
      {program::Op::kCmprs, "POS 1 TO POS 101", 0,
       "mod=0 arg=0x0 | field(pos 101 len rest fmt undecided) | field(pos 1 len rest fmt "
       "undecided) | null | null"},
      {program::Op::kConvert, "POS 1,4 TO POS 11,18", 0x27,
       "mod=0 arg=0x27 | field(pos 11 len 8 range) | field(pos 1 len 4 range) | null | null"},
      {program::Op::kConvert, "POS 1,4 TO POS 11", 0x38,
       "mod=0 arg=0x38 | field(pos 11 len 8) | field(pos 1 len 4 range) | null | null"},
      {program::Op::kConvert, "POS 1,8 TO POS 11", 0x83,
       "mod=0 arg=0x83 | field(pos 11 len 4) | field(pos 1 len 8 range) | null | null"},
      {program::Op::kConvert, "POS 1 LEN L-4 TO POS 11", 0x38,
       "mod=0 arg=0x38 | field(pos 11 len 2*2nd fmt undecided) | field(pos 1 len (L-4)) | null | "
       "null"},
      {program::Op::kConvert, "POS 1,4 TO POS 11 FMT 'zz,zz9s'", 0x43,
       "mod=0 arg=0x43 | field(pos 11 len 7) | field(pos 1 len 4 range) | lit('00,009S') | null"},
      {program::Op::kConvert, "POS 1,4 TO POS 11", 0x42, "msg 59"},
      {program::Op::kConvert, "POS 1,4 POS 11,14", 0x42, "msg 51"},
      {program::Op::kConvert, "POS 1,20 TO POS 31,34", 0x42, "msg 80"},
      {program::Op::kConvert, "POS 1 TO POS 11,14", 0x42, "msg 69"},
  });
}

TEST(DataStatementCompiler, GenCvdateAndUtime) {
  check({
      {program::Op::kGen, "POS 1,4 TYPE B RANGE 1,6", 0,
       "mod=0 arg=0x22 | field(pos 1 len 4 type B range) | lit(X'00000000' type B) | null | "
       "field(pos 1 len 6 range)"},
      {program::Op::kGen, "POS 1,8 TYPE C", 0,
       "mod=0 arg=0x23 | field(pos 1 len 8 type C range) | lit(X'00000000' type B) | null | "
       "lit('ABCDEFGHIJKLMNOPQRSTUVWXYZ')"},
      {program::Op::kGen, "POS 1,8 TYPE C RANGE 'xyz' BASE ab", 0,
       "mod=0 arg=0x23 | field(pos 1 len 8 type C range) | lit(X'00000000' type B) | lit('AB  ') | "
       "lit('xyz')"},
      {program::Op::kGen, "POS 1,4", 0, "msg 94"},
      {program::Op::kGen, "POS 1,4 RANGE 5", 0, "msg 7"},
      {program::Op::kCvdate, "NOW TO DATECB", 0,
       "mod=0 arg=0x0 | field(pos DATE len 128) | null | null | null"},
      {program::Op::kCvdate, "TODAY", 0, "msg 45"},
      {program::Op::kCvdate, "", 0, "msg 5"},
      {program::Op::kUtime, "FILE out/Day-2.txt FTIME '20240101'", 0,
       "mod=0 arg=0x0 | lit('out/Day-2.txt') | lit('20240101') | null | null"},
  });
}

TEST(DataStatementCompilerDeathTest, OperationOutsideTheFamilyIsALogicError) {
  EXPECT_EXIT(
      {
        CompileCase cc("X");
        compile_data_statement(cc.ctx(), program::Op::kRead);
      },
      ::testing::ExitedWithCode(7101 % 256), "Logic Error=7101");
}

}  // namespace
}  // namespace recsift::compiler
