// Tests of the operand compiler: operand texts and accepted forms against the descriptor they
// compile to (or the message they raise), and the name-index entries of pointer names.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compiler/compiler.h"
#include "compiler/operand_compiler.h"
#include "input/input.h"
#include "operand_fixture.h"
#include "program/operand.h"

namespace recsift::compiler {
namespace {

using testing_support::CompileCase;
using testing_support::message_of;

constexpr uint32_t kPosField = kFormPosKeyword | kFormEndPosition;
constexpr uint32_t kLenField = kFormLength | kFormPositionOnly;
constexpr uint32_t kSource = kFormFromKeywords | kFormFrKeyword | kFormEndPosition;
constexpr uint32_t kNumber = kFormLongNumber | kFormPlainNumber;

constexpr program::Op kNoOp = program::Op::kNone;

struct Case {
  const char* text;
  uint32_t forms;
  program::Op op;        // operation of the statement record (ADD makes long numbers packed)
  const char* expected;  // description, or "msg N"
};

std::string run(const Case& c) {
  CompileCase cc(c.text, c.op);
  program::Operand* op = nullptr;
  const int rc = compile_operand(cc.ctx(), &op, c.forms);
  if (rc != 0) {
    EXPECT_EQ(cc.messages().pending, rc) << c.text;
    return message_of(cc.messages());
  }
  return describe_operand(op);
}

TEST(OperandCompiler, PositionsLengthsAndRanges) {
  const std::vector<Case> cases = {
      {"POS 10,20", kPosField, kNoOp, "field(pos 10 len 11 kw range)"},
      {"POS 10 20", kPosField, kNoOp, "field(pos 10 len 11 kw range)"},
      {"P 5,5", kPosField, kNoOp, "field(pos 5 len 1 kw range)"},
      {"POS 20,10", kPosField, kNoOp, "msg 74"},
      {"POS L-9,L", kPosField, kNoOp, "field(pos L-9 to L kw range)"},
      {"POS @P,@P", kPosField, kNoOp, "field(pos @2 len 1 kw range)"},
      {"POS 10 LEN 5", kPosField, kNoOp, "field(pos 10 len 5 kw)"},
      {"POS 10 LEN L-4", kPosField, kNoOp, "field(pos 10 len (L-4) kw)"},
      {"POS 10 L 5", kPosField, kNoOp, "field(pos 10 len 5 kw)"},
      {"10 LENGTH 5", kLenField, kNoOp, "field(pos 10 len 5)"},
      {"10 RECSIZE 5", kLenField | kFormNoRecsizeLrecl, kNoOp, "field(pos 10)"},
      {"10 L 5", kLenField | kFormNoL, kNoOp, "field(pos 10)"},
      {"POS 10", kFormPosKeyword, kNoOp, "msg 69"},
      {"POS 10", kPosField | kFormPositionOnly, kNoOp, "field(pos 10 kw)"},
      {"POS 10 LEN 0", kPosField, kNoOp, "field(pos 10 len 0 kw len<1)"},
      {"POS 0 LEN 5", kPosField, kNoOp, "msg 75"},
      {"POS 0,5", kPosField, kNoOp, "msg 75"},
      {"POS 0", kPosField | kFormPositionOnly, kNoOp, "msg 9"},
      {"POS 0", kPosField | kFormPositionOnly | kFormBelowOneAllowed, kNoOp,
       "field(pos 0 kw below1)"},
      {"POS L-1", kFormPositionOnly | kFormPosKeyword, kNoOp, "field(pos L-1 kw)"},
      {"POS @P+1", kFormPositionOnly | kFormPosKeyword, kNoOp, "field(pos @2+1 kw)"},
      {"POS @+1", kFormPositionOnly | kFormPosKeyword, kNoOp, "field(pos @0+1 kw)"},
      {"POS DIFF", kFormPositionOnly | kFormPosKeyword, kNoOp, "field(pos @1 kw)"},
      {"POS DATE+1", kFormPositionOnly | kFormPosKeyword, kNoOp, "field(pos DATE+1 kw)"},
      {"POS 10 + 5", kFormPositionOnly | kFormPosKeyword, kNoOp, "field(pos 10+5 kw)"},
      {"POS -L+20", kFormPositionOnly | kFormPosKeyword, kNoOp, "field(pos -L+20 kw)"},
      {"POS 10++5", kFormPositionOnly | kFormPosKeyword, kNoOp, "msg 7"},
      {"POS 10-", kFormPositionOnly | kFormPosKeyword, kNoOp, "msg 7"},
      {"10 FR 21", kSource, kNoOp, "field(pos 21 len 10 lenfirst)"},
      {"10 AT 21", kFormFromKeywords, kNoOp, "field(pos 21 len 10 lenfirst)"},
      {"10 FROM 21", kFormFromKeywords, kNoOp, "msg 7"},
      {"10 FR 0", kSource, kNoOp, "msg 9"},
      {"L-4 INTO 21", kFormFromKeywords | kFormIntoKeyword, kNoOp,
       "field(pos 21 len (L-4) lenfirst)"},
      {"10 TO X FR 21", kSource | kFormFromAnywhere, kNoOp, "field(pos 21 len 10 lenfirst)"},
      {"1,80", kFormEndPosition | kFormAbsoluteOnly, kNoOp, "field(pos 1 len 80 range)"},
      {"L,80", kFormEndPosition | kFormAbsoluteOnly, kNoOp, "msg 7"},
      {"1,L", kFormEndPosition | kFormAbsoluteOnly, kNoOp, "msg 7"},
  };
  for (const Case& c : cases) EXPECT_EQ(run(c), c.expected) << c.text;
}

TEST(OperandCompiler, NumbersLiteralsAndTypes) {
  const std::vector<Case> cases = {
      {"25", kNumber, kNoOp, "imm(25)"},
      {"-5", kNumber, kNoOp, "imm(-5)"},
      {"2147483647", kNumber, kNoOp, "imm(2147483647)"},
      {"2147483648", kFormPlainNumber, kNoOp, "msg 7"},
      {"12345678901234", kFormLongNumber, program::Op::kAdd, "lit(X'012345678901234C' type P)"},
      {"-00123", kFormLongNumber | kFormFromKeywords, program::Op::kSub, "imm(-123)"},
      {"-0012345678901", kFormLongNumber, program::Op::kSub, "lit(X'12345678901D' type P)"},
      {"0009876543210", kFormLongNumber, program::Op::kMult, "lit('9876543210' type Z)"},
      {"L-4", kNumber, kNoOp, "num(L-4)"},
      {"@P+1", kNumber, kNoOp, "num(@2+1)"},
      {"DATE+1", kNumber, kNoOp, "msg 137"},
      {"UXLRECL", kNumber, kNoOp, "area(0)"},
      {"POS RETCD", kFormPosKeyword | kFormPositionOnly, kNoOp, "area(24 kw)"},
      {"'abc'", kFormCharLiteral, kNoOp, "lit('abc')"},
      {"X'0081'", kFormLiteralRefused, kNoOp, "lit(X'0081')"},
      {"''", kFormCharLiteral, kNoOp, "lit('')"},
      {"'abc'", kFormPositionOnly, kNoOp, "msg 7"},
      {"ABC", kFormCharLiteral | kFormFromKeywords, kNoOp, "lit('ABC')"},
      {"A-B", kFormCharLiteral, kNoOp, "lit('A-B')"},
      {"ABC", kFormLiteralRefused | kSource, kNoOp, "msg 42"},
      {"5 TO X", kFormLiteralRefused | kSource, kNoOp, "msg 42"},
      {"ABC", kFormEndPosition, kNoOp, "msg 7"},
      {"'ab' TYPE Z", kFormCharLiteral | kFormType, kNoOp, "lit('ab' type Z)"},
      {"POS 1,4 TY B", kPosField | kFormType, kNoOp, "field(pos 1 len 4 type B kw range)"},
      {"POS 1,4 TYPE PP", kPosField | kFormType, kNoOp, "msg 79"},
      {"POS 1,4 TYPE Q", kPosField | kFormType, kNoOp, "msg 79"},
      {"", kSource, kNoOp, "msg 5"},
      {"POS 1", kFormPosKeyword | kFormLength, kNoOp, "msg 2"},
      {"1", kFormPlainNumber | kFormEndPosition, kNoOp, "msg 2"},
      {"1", kFormLengthOnly | kFormType, kNoOp, "msg 2"},
      {"L-4", kFormLengthOnly, kNoOp, "none(len (L-4))"},
  };
  for (const Case& c : cases) EXPECT_EQ(run(c), c.expected) << c.text;
}

TEST(OperandCompiler, TypeAloneIsFoundAnywhereForTheOperandInTheSlot) {
  CompileCase cc("POS 1,4 TYPE P TO X");
  program::Operand* op = nullptr;
  ASSERT_EQ(compile_operand(cc.ctx(), &op, kPosField), 0);
  ASSERT_EQ(compile_operand(cc.ctx(), &op, kFormType), 0);
  EXPECT_EQ(describe_operand(op), "field(pos 1 len 4 type P kw range)");
  ASSERT_NE(cc.list().current, nullptr);
  EXPECT_STREQ(cc.list().current->text, "TO");
}

TEST(OperandCompiler, PointerNamesAreEnteredOnFirstUse) {
  CompileCase cc("POS @Next+1");
  program::Operand* op = nullptr;
  ASSERT_EQ(compile_operand(cc.ctx(), &op, kFormPosKeyword | kFormPositionOnly), 0);
  EXPECT_EQ(cc.names().size(), 3);
  EXPECT_EQ(cc.names().find("NEXT"), 2);
  CompileCase again("@NEXT");
  again.names().insert("OTHER");
  again.names().insert("NEXT");
  program::Operand* op2 = nullptr;
  ASSERT_EQ(compile_operand(again.ctx(), &op2, kFormPlainNumber), 0);
  EXPECT_EQ(describe_operand(op2), "num(@3)");
}

TEST(OperandCompiler, JoinedWordsReadLikeSplitOnes) {
  // Substitution joins "%1+5" back into one word; the signs inside it still separate terms.
  CompileCase cc("POS 10+5,L-1");
  input::Token* t = cc.list().head->next;
  // Glue the pieces of "10+5" back into one token, as substitution does.
  ASSERT_STREQ(t->text, "10");
  t->flags &= ~input::kTokSplit;
  static char joined[] = "10+5";
  t->text = joined;
  t->length = 4;
  t->next->flags |= input::kTokConsumed;
  t->next->next->flags |= input::kTokConsumed;
  cc.list().unconsumed -= 2;
  program::Operand* op = nullptr;
  ASSERT_EQ(compile_operand(cc.ctx(), &op, kPosField), 0);
  EXPECT_EQ(describe_operand(op), "field(pos 10+5 to L-1 kw range)");
}

TEST(OperandCompiler, PendingMessageStopsAtOnceAndUxlineWantsLineFields) {
  CompileCase cc("POS UXLINE");
  cc.messages().pending = 42;
  program::Operand* op = nullptr;
  EXPECT_EQ(compile_operand(cc.ctx(), &op, kFormPosKeyword | kFormPositionOnly), 42);
  EXPECT_EQ(op, nullptr);
  cc.messages().pending = 0;
  ASSERT_EQ(compile_operand(cc.ctx(), &op, kFormPosKeyword | kFormPositionOnly), 0);
  EXPECT_TRUE(cc.listing().line_fields_wanted);
}

TEST(OperandCompiler, EndPositionRequestCompletesTheOperandInTheSlot) {
  CompileCase cc("10 12 'x'");
  program::Operand* op = nullptr;
  ASSERT_EQ(compile_operand(cc.ctx(), &op, kFormPositionOnly), 0);
  ASSERT_EQ(compile_operand(cc.ctx(), &op, 0x40030), 0);
  EXPECT_EQ(describe_operand(op), "field(pos 10 len 3 range)");
  EXPECT_EQ(compile_operand(cc.ctx(), &op, 0x40030), 0);  // a quoted token is no end
  EXPECT_EQ(describe_operand(op), "field(pos 10 len 3 range)");
}

// Defines a variable from the text of an EQU statement after its keyword ("NAME value..."), as
// the EQU statement (or, from_command_line, a definition on the command line) does.
void define(CompileCase& cc, const std::string& text, bool from_command_line = false) {
  CompileCase equ(text);
  ASSERT_EQ(input::define_variable(equ.list(), cc.variables(), from_command_line), 0) << text;
}

struct VariableCase {
  const char* text;
  uint32_t forms;
  const char* expected;  // description, or "msg N"
};

// The variables every case below can use.
void define_all(CompileCase& cc) {
  define(cc, "OFF 10");
  define(cc, "FLD 10 + 5");
  define(cc, "NEXT @X+1");
  define(cc, "REC 100+FLD");  // a value naming another variable
  define(cc, "L 5");          // L stays the record length
  define(cc, "WIDTH 8", true);
  define(cc, "QUOTED 'abc'");
  define(cc, "HEX X'0A'");
  define(cc, "TRAILING 10 +");
  define(cc, "TWO 10 20");
  define(cc, "WORD ABC");
  define(cc, "PING PONG");  // a cycle of names
  define(cc, "PONG PING");
}

TEST(OperandCompiler, VariableNamesInExpressionsReadTheirValues) {
  constexpr uint32_t kPosOnly = kFormPositionOnly | kFormPosKeyword;
  const std::vector<VariableCase> cases = {
      {"POS OFF+1", kPosOnly, "field(pos 10+1 kw)"},
      {"POS OFF + 1", kPosOnly, "field(pos 10+1 kw)"},
      {"POS FLD", kPosOnly, "field(pos 10+5 kw)"},
      {"POS 20-FLD", kPosOnly, "field(pos 20-10-5 kw)"},  // the value is one group
      {"POS L-FLD", kPosOnly, "field(pos L-10-5 kw)"},
      {"POS NEXT", kPosOnly, "field(pos @2+1 kw)"},
      {"POS REC-1", kPosOnly, "field(pos 100+10+5-1 kw)"},
      {"POS L", kPosOnly, "field(pos L kw)"},
      {"POS WIDTH", kPosOnly, "field(pos 8 kw)"},
      {"POS 1 LEN OFF", kPosField, "field(pos 1 len 10 kw)"},
      {"POS 1 LEN FLD-1", kPosField, "field(pos 1 len (10+5-1) kw)"},
      {"POS OFF,OFF+4", kPosField, "field(pos 10 to 10+4 kw range)"},
      {"OFF", kNumber, "imm(10)"},
      {"FLD", kNumber, "num(10+5)"},
      {"POS QUOTED", kPosOnly, "msg 114"},
      {"POS HEX", kPosOnly, "msg 114"},
      {"POS TRAILING", kPosOnly, "msg 114"},
      {"POS 1+TWO", kPosOnly, "msg 114"},
      {"POS WORD", kPosOnly, "msg 114"},
      {"POS PING", kPosOnly, "msg 114"},
      {"POS 1 LEN QUOTED", kPosField, "msg 114"},
      {"POS 1,WORD", kPosField, "msg 114"},
      {"POS NOSUCH", kPosOnly, "msg 7"},
  };
  for (const VariableCase& c : cases) {
    CompileCase cc(c.text);
    define_all(cc);
    program::Operand* op = nullptr;
    const int rc = compile_operand(cc.ctx(), &op, c.forms);
    EXPECT_EQ(rc != 0 ? message_of(cc.messages()) : describe_operand(op), c.expected) << c.text;
  }
}

TEST(OperandCompiler, VariableThatFailsIsMarkedWhereItIsNamed) {
  struct MarkCase {
    const char* text;
    int32_t offset;
    int32_t length;
  };
  const MarkCase cases[] = {
      {"POS 1 + WORD", 8, 4},
      {"POS WORD+1", 4, 4},
      {"POS 1+WORD", 4, 1},  // inside a word: its first piece
  };
  for (const MarkCase& c : cases) {
    CompileCase cc(c.text);
    define_all(cc);
    program::Operand* op = nullptr;
    EXPECT_EQ(compile_operand(cc.ctx(), &op, kFormPositionOnly | kFormPosKeyword), 114) << c.text;
    EXPECT_EQ(cc.messages().mark_offset, c.offset) << c.text;
    EXPECT_EQ(cc.messages().mark_length, c.length) << c.text;
  }
}

TEST(OperandCompiler, EnvironmentVariablesAreNoTerms) {
  CompileCase cc("POS HOME");
  define(cc, "HOME 10");
  cc.variables().head->kind = input::kVarEnvironment;  // as if HOME came from the environment
  program::Operand* op = nullptr;
  EXPECT_EQ(compile_operand(cc.ctx(), &op, kFormPositionOnly | kFormPosKeyword), 7);
}

}  // namespace
}  // namespace recsift::compiler
