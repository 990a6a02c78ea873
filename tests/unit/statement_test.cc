// The statement compiler: statements against the dump of the program they compile to and the
// messages they raise; labels, the order check, selection ids, counts and the statements that
// make no record.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "statement_harness.h"

namespace recsift::compiler {
namespace {

using testing::CompileRun;
using testing::new_run;

struct DumpCase {
  const char* name;
  const char* statements;  // one statement a line
  const char* dump;        // the program's dump
  const char* messages;    // "n:m" per statement raising message m
};

// The print options every PRINT and LOG carries: the dump enclosure "|:".
#define ENC "arg=0x7c3a"

void check(const DumpCase& c) {
  CompileRun& run = new_run();
  EXPECT_EQ(run.compile_all(c.statements), c.messages) << c.name;
  EXPECT_EQ(dump(run.program), c.dump) << c.name;
}

TEST(StatementCompiler, RolesOfTheFirstWord) {
  const DumpCase cases[] = {
      {"L alone is ELSE, its action a WRITE", "IF A\nTHEN PRINT\nL",
       "-1 if\n1 then pr mod=17 " ENC " op0\n2 else WR\n", ""},
      {"ELSE IF, THEN IF", "IF A\nTHEN IF B\nTHEN PRINT\nELSE IF C\nTHEN PRINT",
       "-1 if\n-1 thenif\n1 then pr mod=17 " ENC " op0\n-2 elseif\n2 then pr mod=17 " ENC " op0\n",
       ""},
      {"I alone is IF, E alone ends the statements", "I\nE\nPRINT", "-1 if\n0 end\n", "3:not read"},
      {"the verb L after another word", "NOW L 80\nTHEN L 80",
       "1 act lrecl=\n2 act lrecl= flags=contthen\n", ""},
      {"a file name alone is a WRITE", "OUT.TXT\nFILE=OUT.TXT\n'out.txt'\nDUMMY",
       "1 act WR\n2 act WR\n3 act WR\n4 act WR\n", ""},
      {"F FILE then a verb", "FILE PRINT", "1 act pr mod=17 " ENC " op0\n", ""},
      {"WRITE word skipped", "WRITE\nOUTPUT READ X", "1 act WR\n2 act READ\n", ""},
      {"pointer statement", "@P = 5", "1 act @x=\n", ""},
      {"quoted first word is an action", "'THEN'", "1 act WR\n", ""},
      {"case translation is TRAN", "UPPER POS 1,10\nNOW LOWER X", "1 act tran\n2 act tran\n", ""},
      {"NOP words are statement-wide", "PRINT NOPCTL\nNOPTOT",
       "1 act pr mod=17 " ENC " op0\n0 end\n", ""},
  };
  for (const DumpCase& c : cases) check(c);
}

TEST(StatementCompiler, OrderOfStatements) {
  const DumpCase cases[] = {
      {"IF after IF", "IF A\nIF B", "-1 if\n-1 if\n", "2:17"},
      {"AND and OR after IF", "IF A\nAND B\nOR C\nTHEN PRINT",
       "-1 if\n-1 and\n-1 or\n1 then pr mod=17 " ENC " op0\n", ""},
      {"action right after a test", "IF A\nPRINT", "-1 if\n1 act pr mod=17 " ENC "\n", "2:17"},
      {"THEN first", "THEN PRINT", "1 then pr mod=17 " ENC "\n", "1:17"},
      {"ELSE right after IF", "IF A\nELSE PRINT", "-1 if\n1 else pr mod=17 " ENC "\n", "2:17"},
      {"AND after an action", "PRINT\nAND A", "1 act pr mod=17 " ENC " op0\n-2 and\n", "2:17"},
      {"THEN continues an unconditional statement", "PRINT\nTHEN MOVE 1 TO 2\nTHEN PRINT",
       "1 act pr mod=17 " ENC " op0\n2 act move flags=contthen\n3 act pr mod=17 " ENC
       " op0 flags=contthen\n",
       ""},
      {"ids skip conditions", "PRINT\nIF A\nTHEN PRINT\nELSE PRINT\nPRINT",
       "1 act pr mod=17 " ENC " op0\n-2 if\n2 then pr mod=17 " ENC " op0\n3 else pr mod=17 " ENC
       " op0\n4 act pr mod=17 " ENC " op0\n",
       ""},
  };
  for (const DumpCase& c : cases) check(c);
}

TEST(StatementCompiler, VerbFamilies) {
  const DumpCase cases[] = {
      {"SPACE and LINE", "SPACE 3\nSPACE 300\nLINE 90\nLINE\nSPACE 86",
       "1 act space mod=5 arg=3\n2 act line mod=6 arg=1\n3 act line mod=6 arg=1\n"
       "4 act line mod=6 arg=1\n5 act space mod=5 arg=86\n",
       ""},
      {"SLEEP units", "SLEEP 2 MIN\nSLEEP\nSLEEP 3 HOURS\nSLEEP 5 SECS",
       "1 act sleep arg=120\n2 act sleep arg=1\n3 act sleep arg=10800\n4 act sleep arg=5\n", ""},
      {"SLEEP that would wrap", "SLEEP 1000000 HR", "1 act sleep\n", "1:7"},
      {"conversion codes", "PACK A TO B\nUNPKB A TO B\nCVCP A TO B\nCVZH A\nCVH A",
       "1 act cvxx arg=0x34\n2 act cvxx arg=0x23\n3 act cvxx arg=0x34\n4 act cvxx arg=0x78\n"
       "5 act cvxx arg=0x38\n",
       ""},
      {"ASCII and EBCDIC conversions are TRAN", "CVA POS 1,5\nCVEA X\nCVE X",
       "1 act tran\n2 act tran\n3 act tran\n", ""},
      {"conversion with no form", "CVCF A TO B\nCVFC A",
       "1 act cvxx arg=0x36\n2 act cvxx arg=0x63\n", "1:1 2:1"},
      {"not a conversion verb", "CVX A", "1 act WR op0\n", ""},
      {"not available", "NOW SORT X\nINSERT OUT\nDELETE OUT\nNOW EXIT\nJECL X\nTHEN CP 'x'",
       "1 act sort\n2 act INS\n3 act DEL\n4 act\n5 act jecl\n6 act cp flags=contthen\n",
       "1:1 2:1 3:1 4:1 5:1 6:1"},
      {"statement-level words not available", "EOF\nCKPT\nPDUMP X", "0 end\n", "1:1 2:1 3:1"},
      {"FLAG targets", "FLAG EOD\nSIGNAL EOMEMB\nFLAG X",
       "1 act flag mod=25\n2 act flag mod=24\n3 act flag\n", "3:121"},
      {"control verbs", "NOW RETURN\nGG\nEOJ\nSTOP\nNOW CANCEL\nSUSP",
       "1 act ret\n2 act gg\n3 act eoj\n4 act eoj\n5 act cancel\n6 act susp\n", ""},
      {"file verbs skip FILE", "READ FILE IN\nGET\nUPDATE F OUT\nOPEN X\nCLOSE X",
       "1 act READ\n2 act READ\n3 act UPD\n4 act OPEN\n5 act CLOS\n", ""},
      {"WRITE operands after the file", "WRITE OUT 'x'", "1 act WR op0\n", ""},
      {"system commands need their text", "SYS\nSYSTEM 'ls'\nUNIX 'ls'\nDOS 'dir'",
       "1 act cms op0\n2 act cms op0\n3 act cms op0\n4 act cms op0\n", "1:95"},
      {"CALL arguments", "CALL RTN A B C\nCALL RTN",
       "1 act call arg=3 call[a,a,a]\n2 act call call[]\n", ""},
      {"more than 16 CALL arguments", "CALL R 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17",
       "1 act call arg=16 call[a,a,a,a,a,a,a,a,a,a,a,a,a,a,a,a]\n", "1:96"},
  };
  for (const DumpCase& c : cases) check(c);
}

TEST(StatementCompiler, PrintAndLog) {
  const DumpCase cases[] = {
      {"print formats", "PRINT TYPE H\nPRT TY DX\nPLOG TYPE MP\nPR TYPE Q",
       "1 act pr mod=18 " ENC " op0\n2 act pr mod=12 " ENC " op0\n3 act plog mod=20 " ENC
       " op0\n4 act pr mod=17\n",
       "4:22"},
      {"LOG without a reply stops after 50", "LOG 'hello'\nWTO 'x' STOPAFT 2\nSYSLOG 'x' REPLY 1",
       "1 act log mod=8 " ENC " stop=50 op0\n2 act log mod=8 " ENC " stop=2 op0\n"
       "3 act log mod=8 " ENC " op0 reply\n",
       ""},
      {"TYPE takes its letter before STOPAFT can", "LOG TYPE S",
       "1 act log mod=8 " ENC " stop=50 op0\n", ""},
      {"LOG CLEAR", "TERM CLEAR 'x'", "1 act log mod=8 " ENC " stop=50 op0 flags=clear\n", ""},
      {"per-statement dump options", "PRINT TYPE D DUMPENC <> DUMPALL\nPRINT DUMPENC [ DUMPALL NO",
       "1 act pr mod=11 arg=0x3c3e op0 flags=dumpall\n2 act pr mod=17 arg=0x5b3a op0\n", ""},
      {"the report option gives format 9", "REPORT\nPRINT TYPE H\nLOG 'x'",
       "1 act pr mod=9 " ENC " op0\n2 act log mod=9 " ENC " stop=50 op0\n", ""},
      {"bad dump enclosure", "PRINT DUMPENC ABC", "1 act pr mod=17 " ENC "\n", "1:167"},
  };
  for (const DumpCase& c : cases) check(c);
}

TEST(StatementCompiler, CountsAndBranches) {
  const DumpCase cases[] = {
      {"STOPAFT and TIMES anywhere", "PRINT STOPAFT 5\nPRINT TIMES 3 S 2\nGOSUB RTN TIMES 4",
       "1 act pr mod=17 " ENC " stop=5 op0\n2 act pr mod=17 " ENC " stop=2 times=3 op0\n"
       "3 act do times=4 to=RTN?\n",
       ""},
      {"STOPAFT without a value", "PRINT S", "1 act pr mod=17 " ENC "\n", "1:131"},
      {"STOPAFT not a number", "PRINT STOP X", "1 act pr mod=17 " ENC "\n", "1:7"},
      {"reserved GOTO targets", "GOTO GET\nGOTO EOJ\nGOTO CANCEL",
       "1 act gg\n2 act eoj\n3 act cancel\n", ""},
      {"GOTO targets without execution", "GOTO DUMP\nGOTO BOF", "1 act dump\n2 act bof\n",
       "1:1 2:1"},
      {"reserved word as target", "GOTO END\nGOSUB PRINT", "1 act goto\n2 act do\n", "1:182 2:182"},
      {"no target", "GOTO", "1 act goto\n", "1:5"},
      {"GO needs TO", "GO TO X\nGO X", "1 act goto to=X?\n2 act goto\n", "2:18"},
      {"forward label", "GOTO X\nPERFORM X\nX\nPRINT",
       "1 act goto to=X\n2 act do to=X\n3 act pr mod=17 " ENC " op0 label=X\n", ""},
      {"label twice", "X\nPRINT\nx", "1 act pr mod=17 " ENC " op0 label=X\n0 end\n", "3:82"},
      {"two labels on one statement", "A1\nB1\nGOTO A1\nGOTO B1",
       "1 act goto label=B1 to=A1\n2 act goto to=B1\n", ""},
      {"one-word statements that are not labels", "START\nINCLUDE\nEQU\nOUT/X",
       "1 act start\n2 act WR\n", "2:156"},
  };
  for (const DumpCase& c : cases) check(c);
}

TEST(StatementCompiler, EndOfFileThenActionsRunOnce) {
  CompileRun& run = new_run();
  run.compile("IF EOF");
  run.program.first_condition_mark = true;  // as the condition compiler leaves an EOF test
  run.compile("THEN PRINT");
  run.compile("THEN LOG 'x' REPLY 1");
  run.compile("ELSE PRINT");
  run.compile("IF EOF");
  run.program.first_condition_mark = true;
  run.program.second_condition_mark = true;  // a second test in the sentence
  run.compile("THEN PRINT");
  EXPECT_EQ(dump(run.program),
            "-1 if\n1 then pr mod=17 " ENC
            " stop=1 op0\n"
            "2 then log mod=8 " ENC
            " stop=1 op0 reply\n"
            "3 else pr mod=17 " ENC " op0\n-4 if\n4 then pr mod=17 " ENC " op0\n");
  // After a CAT the end of one file is not the end of the input.
  CompileRun& cat = new_run();
  cat.compile_all("READ IN\nCAT MORE\nIF EOF");
  cat.program.first_condition_mark = true;
  cat.compile("THEN PRINT");
  EXPECT_EQ(dump(cat.program), "1 act READ\n-2 if\n2 then pr mod=17 " ENC " op0\n");
}

TEST(StatementCompiler, StatementsWithoutARecord) {
  CompileRun& run = new_run();
  EXPECT_EQ(run.compile_all("CAT X\nREAD IN\nCAT MORE\nIF A\nCAT X"), "1:86 5:86");
  EXPECT_TRUE(run.program.cat_seen);

  CompileRun& quit = new_run();
  EXPECT_EQ(quit.compile_all("PRINT\nQUIT\nPRINT"), "3:not read");
  EXPECT_EQ(quit.messages.printed, 999);
  CompileRun& cancel = new_run();
  EXPECT_EQ(cancel.compile_all("CANCEL FAIL EOJ"), "");
  EXPECT_EQ(cancel.messages.printed, 999);
  CompileRun& end = new_run();
  EXPECT_EQ(end.compile_all("END\nPRINT"), "2:not read");
  EXPECT_EQ(end.messages.printed, 0);

  CompileRun& flags = new_run();
  flags.compile_all("START\nTHEN SUSP\nNOPRINT\nPRTCTL");
  EXPECT_TRUE(flags.program.start_requested);
  EXPECT_TRUE(flags.program.suspend_requested);
  EXPECT_TRUE(flags.listing.no_totals);
  EXPECT_FALSE(flags.listing.no_echo);
}

TEST(StatementCompiler, IncludeOpensTheNameAsTyped) {
  CompileRun& run = new_run();
  std::string opened;
  run.ctx.open_include = [&opened](std::string_view name) {
    opened = std::string(name);
    return name == "missing" ? 156 : 0;
  };
  EXPECT_EQ(run.compile("INCLUDE Day-2+Old.ctl"), "");
  EXPECT_EQ(opened, "Day-2+Old.ctl");
  EXPECT_TRUE(run.ctx.include_pending);
  run.ctx.include_pending = false;
  EXPECT_EQ(run.compile("INC missing"), "156@4+7");
  EXPECT_FALSE(run.ctx.include_pending);
  EXPECT_EQ(dump(run.program), "0 end\n");
}

TEST(StatementCompiler, MessagesMarkTheOffendingWord) {
  struct MarkCase {
    const char* statement;
    const char* message;  // number@offset+length
  };
  const MarkCase cases[] = {
      {"IF A\n", "17@0+2"},               // an IF after an IF: the statement's first word
      {"GOTO END", "182@5+3"},            // the target
      {"NOW SORT X", "1@4+4"},            // the verb
      {"PRINT TYPE X'C1C2'", "22@13+4"},  // a hex literal: its digits
      {"GOTO", "5@0+4"},                  // nothing after it: the keyword
  };
  CompileRun& run = new_run();
  run.compile("IF A");
  for (const MarkCase& c : cases) EXPECT_EQ(run.compile(c.statement), c.message) << c.statement;
}

TEST(StatementCompiler, ParameterBeyondTheCountUnderEnvfailCancel) {
  CompileRun& run = new_run();
  run.ctx.param_count = 1;
  EXPECT_EQ(run.compile_all("PRINT %2\nOPTION ENVFAIL CANCEL\nPRINT %1\nPRINT %2"), "4:152");
}

TEST(StatementCompiler, DumpShowsLinksAndDescriptions) {
  CompileRun& run = new_run();
  run.compile_all("IF A\nTHEN PRINT\nGOTO L1\nL1");
  engine::Statement* test = run.program.head;
  engine::Statement* print = test->next;
  test->on_true = print;
  test->on_false = print->next;
  print->next->jump = print->next->next;
  describe_operand = [](const engine::Operand*) { return std::string("pos 1"); };
  EXPECT_EQ(dump(run.program), "-1 if true=#2 false=#3\n1 then pr mod=17 " ENC
                               " op0(pos 1)\n2 act goto to=L1 jump=#4\n0 end label=L1\n");
  describe_operand = nullptr;
}

TEST(StatementCompiler, ListingMarkerBeforeANewSentence) {
  CompileRun& run = new_run();
  run.compile("PRINT");
  EXPECT_EQ(run.line_area[0], ' ');  // nothing before the first statement
  run.compile("PRINT");
  EXPECT_EQ(run.line_area[0], ' ');  // actions in a row stay together
  run.compile("IF A");
  run.compile("THEN PRINT");
  EXPECT_EQ(run.line_area[0], ' ');
  run.compile("PRINT");
  EXPECT_EQ(run.line_area[0], '0');  // a new sentence after a THEN
}

}  // namespace
}  // namespace recsift::compiler
