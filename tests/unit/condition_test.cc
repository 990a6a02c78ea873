// Tests of the condition compiler: condition texts (after IF) against the compiled record, its
// operands and flags, the generated statements of value lists, the messages and the marks.
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

// "op=N" then flags, pad, step, ptr, file, then each operand: " | " + description.
std::string describe_statement(const program::Statement& st) {
  std::string out = "op=" + std::to_string(st.compare);
  if (st.flags & program::kSfRange) out += " range";
  if (st.flags & program::kSfScan) out += " scan";
  if (st.flags & program::kSfStepped) out += " step=" + std::to_string(st.step);
  if (st.flags & program::kSfReverse) out += " rev";
  if (st.flags & program::kSfPadded) out += std::string(" pad=") + static_cast<char>(st.pad);
  if (st.ptr_var >= 0) out += " ptr=" + std::to_string(st.ptr_var);
  if (st.file_name != nullptr) out += std::string(" file=") + st.file_name;
  for (int i = 0; i < 2; ++i) {
    if (st.operands[i] != nullptr) out += " | " + describe_operand(st.operands[i]);
  }
  return out;
}

struct Case {
  const char* text;
  const char* expected;  // statement description, or "msg N"
};

std::string run(const char* text) {
  CompileCase cc(text);
  const int rc = compile_condition(cc.ctx(), program::kStIf);
  if (rc != 0) return message_of(cc.messages());
  EXPECT_EQ(cc.statement().type, program::kStIf);
  return describe_statement(cc.statement());
}

TEST(ConditionCompiler, OperandsOperatorsAndOptions) {
  const std::vector<Case> cases = {
      {"POS 1 = 'ABC'", "op=1 | field(pos 1 len =2nd kw) | lit('ABC')"},
      {"POS 1 HIGH 'M'", "op=6 | field(pos 1 len =2nd kw) | lit('M')"},
      {"POS 1 LE 'M'", "op=6 | field(pos 1 len =2nd kw) | lit('M')"},
      {"POS 1 LO 'M'", "op=5 | field(pos 1 len =2nd kw) | lit('M')"},
      {"POS 1 >= 'M'", "op=5 | field(pos 1 len =2nd kw) | lit('M')"},
      {"POS 1 =< 'M'", "op=6 | field(pos 1 len =2nd kw) | lit('M')"},
      {"POS 1 < 'M'", "op=2 | field(pos 1 len =2nd kw) | lit('M')"},
      {"POS 1,80 = 'XYZ'", "op=1 range scan | field(pos 1 len 80 kw range) | lit('XYZ')"},
      {"POS 1,80 = 'XYZ' PTR @P",
       "op=1 range scan ptr=2 | field(pos 1 len 80 kw range) | lit('XYZ')"},
      {"POS 1,80 EQ 'X' STEP 2 REVERSE",
       "op=1 range scan step=2 rev | field(pos 1 len 80 kw range) | lit('X')"},
      {"POS 1,4 EQ 'AB' FILL '*'", "op=1 range pad=* | field(pos 1 len 4 kw range) | lit('AB')"},
      {"POS ANY EQ 'X'", "op=1 scan | field(pos 1 len (L)) | lit('X')"},
      {"POS 5 ONES X'81'", "op=8 | field(pos 5 len =2nd kw) | lit(X'81')"},
      {"POS 1,4 TYPE B > 100", "op=3 range scan | field(pos 1 len 4 type B kw range) | imm(100)"},
      {"POS 1 LEN 3 = 123", "op=1 | field(pos 1 len 3 kw) | lit('123')"},
      {"POS 1 LEN 3 = POS 11 LEN 3", "op=1 | field(pos 1 len 3 kw) | field(pos 11 len 3 kw)"},
      {"UXLRECL GT 100", "op=3 | area(0) | imm(100)"},
      {"RC > 4", "op=3 | rc | imm(4)"},
      {"LINE GE 60", "op=5 | line | imm(60)"},
      {"INCOUNT = 10 FILE=in.Txt", "op=1 file=in.Txt | incount | imm(10)"},
      {"EOF", "op=14"},
      {"EOF FILE=Day-2.txt", "op=14 file=Day-2.txt"},
      {"DIR F=x", "op=12 file=x"},
      {"DATA", "op=13"},
      {"@P EQ NULL", "op=15 | field(pos @2 fmt ptrtest)"},
      {"POS @P NE NUL", "op=16 | field(pos @2 fmt ptrtest kw)"},
      {"DIFF = 'A'", "op=1 | field(pos @1 len =2nd) | lit('A')"},
  };
  for (const Case& c : cases) EXPECT_EQ(run(c.text), c.expected) << c.text;
}

TEST(ConditionCompiler, Messages) {
  const std::vector<Case> cases = {
      {"10 = 'A'", "msg 8"},
      {"", "msg 8"},
      {"POS 1 =", "msg 8"},
      {"@P GT NULL", "msg 157"},
      {"POS 1,80 = 'A' PTR @P+1", "msg 128"},
      {"POS 1,80 = 'A' PTR X", "msg 128"},
      {"POS 1,80 = 'A' STEP 0", "msg 9"},
      {"POS 1,4 = 'A' FILL XY", "msg 46"},
      {"POS 1,4 = 'A' STEP 2 FILL X", "msg 130"},
      {"POS 1 = 'A' STEP 2", "msg 129"},
      {"POS 1,8 TYPE B = 5", "msg 133"},
      {"POS 1 TYPE B = 5", "msg 133"},
      {"POS 1,4 TYPE F = 5", "msg 135"},
      {"POS 1,4 TYPE P = POS 5 LEN 4 TYPE B", "msg 136"},
      {"POS 1 LEN 3 = 'A' TYPE P", "msg 134"},
      {"RC = 'A'", "msg 134"},
      {"POS 1 = POS 5", "msg 69"},
      {"POS 1 EQ 'A','B'", "msg 8"},
  };
  for (const Case& c : cases) EXPECT_EQ(run(c.text), c.expected) << c.text;
}

TEST(ConditionCompiler, ValueListBecomesGeneratedAndStatements) {
  CompileCase cc("POS 1 NE 'A','B','C'");
  cc.program().selid_counter = 7;
  ASSERT_EQ(compile_condition(cc.ctx(), program::kStIf), 0) << message_of(cc.messages());
  const program::Statement* st = &cc.statement();
  std::vector<std::string> chain;
  for (const program::Statement* s = st; s != nullptr; s = s->next) {
    chain.push_back(std::to_string(s->type) + " " + std::to_string(s->selid) + " " +
                    describe_statement(*s));
    if (s != st) {
      EXPECT_EQ(s->operands[0], st->operands[0]);  // shared
    }
    if (s->next != nullptr) {
      EXPECT_EQ(s->next->prev, s);
    }
  }
  const std::vector<std::string> expected = {
      "4 0 op=4 | field(pos 1 len =2nd kw) | lit('A')",
      "5 -1007 op=4 | field(pos 1 len =2nd kw) | lit('B')",
      "5 -1007 op=4 | field(pos 1 len =2nd kw) | lit('C')",
  };
  EXPECT_EQ(chain, expected);
  EXPECT_EQ(cc.program().current, st->next->next);
}

TEST(ConditionCompiler, MarksTellAnEndOfFileSentenceFromOthers) {
  CompileCase eof("EOF");
  eof.program().second_condition_mark = true;  // left from an earlier sentence
  ASSERT_EQ(compile_condition(eof.ctx(), program::kStIf), 0);
  EXPECT_TRUE(eof.program().first_condition_mark);
  EXPECT_FALSE(eof.program().second_condition_mark);

  CompileCase other("POS 1 = 'A'");
  other.program().first_condition_mark = true;  // IF EOF ... AND POS 1 = 'A'
  ASSERT_EQ(compile_condition(other.ctx(), program::kStAnd), 0);
  EXPECT_TRUE(other.program().first_condition_mark);
  EXPECT_TRUE(other.program().second_condition_mark);
  EXPECT_EQ(other.statement().type, program::kStAnd);
}

}  // namespace
}  // namespace recsift::compiler
