// The record loop without files: programs whose records are the work area, so that the flow of
// THEN, ELSE, AND, OR, GOSUB, TIMES and STOPAFT shows in the selection totals, and the logic
// errors of impossible statements.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/convert.h"
#include "convert/special_area.h"
#include "engine/engine.h"
#include "files/files.h"
#include "host/host.h"
#include "program/program.h"
#include "run_storage.h"
#include "statement_harness.h"

namespace recsift::engine {
namespace {

using compiler::testing::CompileRun;

// Compiles `lines`, links and runs the program; returns the SELTOT of every action statement in
// text order ("id:count" blank-separated) and the return code after "rc=".
struct LoopRun {
  CompileRun c;
  Run run;
  files::FileRequest io;
  uint8_t main_block[600] = {};

  std::string go(const std::string& lines) {
    const std::string messages = c.compile_all(lines);
    if (!messages.empty()) return "compile " + messages;
    run.special = c.special;
    run.date_area = c.date_area;
    run.messages = &c.messages;
    run.program = &c.program;
    run.files = &c.files;
    run.listing = &c.listing;
    run.main_block = main_block;
    io.files = &c.files;
    run.io = &io;
    if (int32_t e = link_program(run); e != 0) return "link " + std::to_string(e);
    run_program(run);
    std::string out;
    for (const Statement* s = c.program.head; s != nullptr; s = s->next) {
      if (!is_action(s->type) || s->selid == 0) continue;
      out += std::to_string(s->selid) + ":" + std::to_string(s->exec_count) + " ";
    }
    return out + "rc=" + std::to_string(return_code(run));
  }
};

// Each test's runs and the pool blocks they take (the work area, return-stack nodes) go when the
// test ends.
class RecordLoop : public testing_support::RunsPerTest<LoopRun> {
 protected:
  LoopRun& new_loop() { return new_run(); }
};
using RecordLoopDeathTest = RecordLoop;

TEST_F(RecordLoop, ThenElseAndOrFollowTheirTests) {
  // The work area starts as 80 blanks; MOVE puts "AB" in front. Each sentence runs once.
  EXPECT_EQ(new_loop().go("MOVE 'AB' TO POS 1\n"
                          "IF POS 1 = 'A'\nTHEN PRINT 'x'\nELSE PRINT 'y'\nPRINT 'z'\n"
                          "IF POS 1 = 'Q'\nOR POS 2 = 'B'\nTHEN PRINT 'or'\n"
                          "IF POS 1 = 'Q'\nAND POS 2 = 'B'\nTHEN PRINT 'and'\nELSE PRINT 'else'"),
            "1:1 2:1 3:0 4:1 5:1 6:0 7:1 rc=0");
}

TEST_F(RecordLoop, GosubTimesAndReturn) {
  EXPECT_EQ(
      new_loop().go("GOSUB SUBR TIMES 3\nGOTO DONE\nSUBR\nPRINT 'r'\nRETURN\nDONE\nPRINT 'e'"),
      "1:3 2:1 3:3 4:3 5:1 rc=0");
  // RETURN with no GOSUB pending ends the run abnormally.
  EXPECT_EQ(new_loop().go("PRINT 'a'\nRETURN\nPRINT 'b'"), "1:1 2:1 3:0 rc=44");
}

TEST_F(RecordLoop, LinkingErrorsStopTheRun) {
  EXPECT_EQ(new_loop().go("MOVE 'A' TO POS 1"), "link 524");
  EXPECT_EQ(new_loop().go("PRINT 'a'\nGOTO NOWHERE\nNOWHERE"), "link 522");
}

TEST_F(RecordLoop, ComparisonPointerKeptWhereAStatementCanSeeIt) {
  LoopRun& unseen = new_loop();
  ASSERT_EQ(unseen.go("MOVE 'AB' TO POS 1\nIF POS 1 = 'AX'\nTHEN PRINT 'x'"), "1:1 2:0 rc=0");
  EXPECT_FALSE(unseen.run.compare_pointer_seen);
  LoopRun& seen = new_loop();
  ASSERT_EQ(seen.go("MOVE 'AB' TO POS 1\nIF POS 1 = 'AX'\nTHEN PRINT 'x'\nPRINT UXADIFF"),
            "1:1 2:0 3:1 rc=0");
  EXPECT_TRUE(seen.run.compare_pointer_seen);
  // The first difference is the second byte of the work area.
  EXPECT_EQ(convert::load_be32(seen.c.special + convert::kSpAddressDiff),
            static_cast<int32_t>(host::address_word(seen.run.work_area + 1)));
  LoopRun& by_name = new_loop();
  by_name.go("MOVE 'AB' TO POS 1\nIF POS 1 = 'AX'\nTHEN PRINT 'x'\nPRINT POS DIFF,1");
  EXPECT_TRUE(by_name.run.compare_pointer_seen);
}

TEST_F(RecordLoopDeathTest, OperationsWithoutExecutionAreLogicErrors) {
  LoopRun& l = new_loop();
  ASSERT_EQ(l.go("PRINT 'a'"), "1:1 rc=0");
  Statement& st = *l.c.program.head;
  l.run.current = &st;
  st.op = Op::kMarc;
  EXPECT_EXIT(execute_data_operation(l.run, st), ::testing::ExitedWithCode(27009 & 0xFF),
              "Logic Error=27009");
  st.op = Op::kInsert;
  EXPECT_EXIT(execute_file_verb(l.run, st), ::testing::ExitedWithCode(26001 & 0xFF),
              "Logic Error=26001");
}

}  // namespace
}  // namespace recsift::engine
