// Tests of the data statement compiler: the operands (after the verb) of each data statement
// against its slots, modifier and argument, or the message raised.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compiler/compiler.h"
#include "engine/program.h"
#include "operand_fixture.h"

namespace recsift::compiler {
namespace {

using testing_support::CompileCase;
using testing_support::describe;
using testing_support::message_of;

struct Case {
  uint8_t op;
  const char* text;      // the statement after its verb
  int32_t argument;      // preset operation argument (conversion code of the CV verbs)
  const char* expected;  // "mod=.. arg=0x.. | slot0 | slot1 | slot2 | slot3" or "msg N"
};

std::string run(const Case& c) {
  CompileCase cc(c.text);
  cc.statement().argument = c.argument;
  const int rc = compile_data_statement(cc.ctx(), c.op);
  if (rc != 0) return message_of(cc.messages());
  const engine::Statement& st = cc.statement();
  char head[48];
  std::snprintf(head, sizeof head, "mod=%d arg=0x%X", st.modifier, st.argument);
  std::string out = head;
  if (st.pad != ' ') out += std::string(" pad=") + static_cast<char>(st.pad);
  for (const engine::Operand* o : st.operands) out += " | " + describe(o);
  return out;
}

void check(const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(run(c), c.expected) << c.text;
}

TEST(DataStatementCompiler, Assignments) {
  check({
      {engine::kOpPointerOp, "@P = 10", 0,
       "mod=0 arg=0x22 | =@2 L4 t2 f8 | #10 L4 t2 f8 | null | null"},
      {engine::kOpPointerOp, "@P = POS 10", 0,
       "mod=0 arg=0x0 | =@2 L4 t2 f8 | F 10 L1 f10 | null | null"},
      {engine::kOpPointerOp, "@P = @Q+1", 0,
       "mod=0 arg=0x22 | =@2 L4 t2 f8 | =@3+1 L4 t2 f8 | null | null"},
      {engine::kOpPointerOp, "@P = POS 1,4 TYPE B", 0,
       "mod=0 arg=0x22 | =@2 L4 t2 f8 | F 1 L4 t2 f10 r | null | null"},
      {engine::kOpPointerOp, "@P = 3 FR 10", 0,
       "mod=0 arg=0x42 | =@2 L4 t2 f8 | F 10 L3 t4 f10 | null | null"},
      {engine::kOpLrecl, "80", 0, "mod=0 arg=0x22 | A0 L4 t2 f8 | #80 L4 t2 f8 | null | null"},
      {engine::kOpRc, "0", 0, "mod=0 arg=0x22 | A24 L4 t2 f8 | #0 L4 t2 f8 | null | null"},
      {engine::kOpLrecl, "-1", 0, "msg 9"},
      {engine::kOpPointerOp, "@P+1 = 5", 0, "msg 127"},
      {engine::kOpPointerOp, "@P = POS 1,20 TYPE P", 0, "msg 62"},
      {engine::kOpPointerOp, "@P = POS 1,5 TYPE B", 0, "msg 62"},
  });
}

TEST(DataStatementCompiler, Arithmetic) {
  check({
      {engine::kOpAdd, "1 TO POS 10,12 TYPE P", 0,
       "mod=0 arg=0x44 | null | #1 L4 t2 f8 | F 10 L3 t4 f10 r | null"},
      {engine::kOpAdd, "12345678901234 TO POS 10,17 TYPE P", 0,
       "mod=0 arg=0x44 | null | X'012345678901234C' L8 t4 f8 | F 10 L8 t4 f10 r | null"},
      {engine::kOpAdd, "POS 1,4 TO POS 5,8 INTO POS 9,12 TYPE B", 0,
       "mod=0 arg=0x22 | F 9 L4 t2 f10 r | F 1 L4 t2 f10 r | F 5 L4 t2 f10 r | null"},
      {engine::kOpSub, "POS 1,4 FROM POS 5,8", 0,
       "mod=0 arg=0x44 | null | F 1 L4 t4 f10 r | F 5 L4 t4 f10 r | null"},
      {engine::kOpSub, "POS 1,4 POS 5,8", 0, "msg 52"},
      {engine::kOpAdd, "POS 1,4", 0, "msg 51"},
      {engine::kOpDiv, "POS 1,4 INTO POS 5,8 REM POS 9,12", 0,
       "mod=0 arg=0x44 | null | F 1 L4 t4 f10 r | F 5 L4 t4 f10 r | F 9 L4 t4 f10 r"},
      {engine::kOpMult, "POS 1,4 BY 3 INTO POS 5,8", 0,
       "mod=0 arg=0x44 | F 5 L4 t4 f10 r | #3 L4 t2 f8 | F 1 L4 t4 f10 r | null"},
      {engine::kOpMult, "5 BY 3", 0, "msg 78"},
      {engine::kOpMult, "5 BY 3 INTO POS 1,4", 0, "msg 59"},
      {engine::kOpMult, "POS 1,4 3", 0, "msg 81"},
      {engine::kOpDiv, "POS 1,9 INTO POS 10,12", 0, "msg 62"},
      {engine::kOpAdd, "1 TO POS 1,4 TYPE X", 0, "msg 79"},
  });
}

TEST(DataStatementCompiler, MoveAndMod) {
  check({
      {engine::kOpMove, "'ABC' TO POS 10,15", 0,
       "mod=0 arg=0x0 | F 10 L6 f10 r | 'ABC' L3 t3 f8 | null | null"},
      {engine::kOpMove, "10 FR 21 TO POS 1", 0,
       "mod=0 arg=0x0 | F 1 =2nd f0 | F 21 L10 f10 | null | null"},
      {engine::kOpMove, "POS 1,9 TO POS 2,10 FILL '.'", 0,
       "mod=0 arg=0x0 pad=. | F 2 L9 f10 r | F 1 L9 f10 r | null | null"},
      {engine::kOpMove, "POS 1 TO POS 2", 0, "msg 69"},
      {engine::kOpMove, "'A' POS 2", 0, "msg 51"},
      {engine::kOpMove, "ABC TO POS 2", 0, "msg 42"},
      {engine::kOpMove, "'A' TO POS 2 PAD XY", 0, "msg 46"},
      {engine::kOpMod, "POS 10,12 = 'ABC'", 0,
       "mod=26 arg=0x0 | F 10 L3 f10 r | 'ABC' L3 t3 f8 | null | null"},
      {engine::kOpMod, "POS 10 OR X'01'", 0,
       "mod=28 arg=0x0 | F 10 =2nd f0 | X'01' L1 t3 f8 | null | null"},
      {engine::kOpMod, "POS 10 LEN 2 XOR POS 20", 0,
       "mod=29 arg=0x0 | F 10 L2 f10 | F 20 =1st f0 | null | null"},
      {engine::kOpMod, "POS 10 = POS 20", 0, "msg 69"},
  });
}

TEST(DataStatementCompiler, TranCompressAndConversions) {
  check({
      {engine::kOpTran, "POS 1,10 UPPER", 0,
       "mod=0 arg=0x0 | null | F 1 L10 f10 r | T1 L256 f8 | null"},
      {engine::kOpTran, "CVA POS 1,10 TO POS 11,20", 0,
       "mod=0 arg=0x0 | F 11 L10 f10 r | F 1 L10 f10 r | T4 L256 f8 | null"},
      {engine::kOpTran, "POS 1,10 TAB POS 101,300", 0, "msg 144"},
      {engine::kOpTran, "POS 1,10 'ab' 'x'", 0, "msg 145"},
      {engine::kOpTran, "POS 1,10", 0, "msg 145"},
      {engine::kOpCmprs, "POS 1 TO POS 101", 0,
       "mod=0 arg=0x0 | F 101 rest f0 | F 1 rest f0 | null | null"},
      {engine::kOpConvert, "POS 1,4 TO POS 11,18", 0x27,
       "mod=0 arg=0x27 | F 11 L8 f10 r | F 1 L4 f10 r | null | null"},
      {engine::kOpConvert, "POS 1,4 TO POS 11", 0x38,
       "mod=0 arg=0x38 | F 11 L8 f10 | F 1 L4 f10 r | null | null"},
      {engine::kOpConvert, "POS 1,8 TO POS 11", 0x83,
       "mod=0 arg=0x83 | F 11 L4 f10 | F 1 L8 f10 r | null | null"},
      {engine::kOpConvert, "POS 1 LEN L-4 TO POS 11", 0x38,
       "mod=0 arg=0x38 | F 11 2x2nd f0 | F 1 L(L-4) f10 | null | null"},
      {engine::kOpConvert, "POS 1,4 TO POS 11 FMT 'zz,zz9s'", 0x43,
       "mod=0 arg=0x43 | F 11 L7 f10 | F 1 L4 f10 r | '00,009S' L7 t3 f8 | null"},
      {engine::kOpConvert, "POS 1,4 TO POS 11", 0x42, "msg 59"},
      {engine::kOpConvert, "POS 1,4 POS 11,14", 0x42, "msg 51"},
      {engine::kOpConvert, "POS 1,20 TO POS 31,34", 0x42, "msg 80"},
      {engine::kOpConvert, "POS 1 TO POS 11,14", 0x42, "msg 69"},
  });
}

TEST(DataStatementCompiler, GenCvdateAndUtime) {
  check({
      {engine::kOpGen, "POS 1,4 TYPE B RANGE 1,6", 0,
       "mod=0 arg=0x22 | F 1 L4 t2 f10 r | X'00000000' L4 t2 f8 | null | F 1 L6 f10 r"},
      {engine::kOpGen, "POS 1,8 TYPE C", 0,
       "mod=0 arg=0x23 | F 1 L8 t3 f10 r | X'00000000' L4 t2 f8 | null | "
       "'ABCDEFGHIJKLMNOPQRSTUVWXYZ' L26 t3 f8"},
      {engine::kOpGen, "POS 1,8 TYPE C RANGE 'xyz' BASE ab", 0,
       "mod=0 arg=0x23 | F 1 L8 t3 f10 r | X'00000000' L4 t2 f8 | 'AB  ' L4 t3 f8 | 'xyz' L3 t3 "
       "f8"},
      {engine::kOpGen, "POS 1,4", 0, "msg 94"},
      {engine::kOpGen, "POS 1,4 RANGE 5", 0, "msg 7"},
      {engine::kOpCvdate, "NOW TO DATECB", 0,
       "mod=0 arg=0x0 | F S21:0 L128 f10 | null | null | null"},
      {engine::kOpCvdate, "TODAY", 0, "msg 45"},
      {engine::kOpCvdate, "", 0, "msg 5"},
      {engine::kOpUtime, "FILE out/Day-2.txt FTIME '20240101'", 0,
       "mod=0 arg=0x0 | 'out/Day-2.txt' L13 t3 f8 | '20240101' L8 t3 f8 | null | null"},
  });
}

TEST(DataStatementCompilerDeathTest, OperationOutsideTheFamilyIsALogicError) {
  EXPECT_EXIT(
      {
        CompileCase cc("X");
        compile_data_statement(cc.ctx(), engine::kOpRead);
      },
      ::testing::ExitedWithCode(7101 % 256), "Logic Error=7101");
}

}  // namespace
}  // namespace recsift::compiler
