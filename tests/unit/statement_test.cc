// The statement compiler: statements against the dump of the program they compile to and the
// messages they raise; labels, the order check, selection ids, counts and the statements that
// make no record.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "program/operand.h"
#include "run_storage.h"
#include "statement_harness.h"

namespace recsift::compiler {
namespace {

using testing::CompileRun;

// Each test's runs and their pool blocks go when the test ends.
using StatementCompiler = testing_support::RunsPerTest<CompileRun>;

struct DumpCase {
  const char* name;
  const char* statements;  // one statement a line
  const char* dump;        // the program's dump
  const char* messages;    // "n:m" per statement raising message m
};

// The print options every PRINT and LOG carries: the dump enclosure "|:".
#define ENC "arg=0x7c3a"
// The data a PRINT without operands prints: the record from position 1 to its end.
#define PRINTED "op0=field(pos 1 len rest type 1)"

void check(const DumpCase& c) {
  CompileRun run;
  EXPECT_EQ(run.compile_all(c.statements), c.messages) << c.name;
  EXPECT_EQ(dump(run.program), c.dump) << c.name;
}

// A control file that uses every statement family, compiled through the real compile steps:
// files with their keywords, conditions with value lists and scans, data statements, prints,
// branches, listing layout and options.
TEST_F(StatementCompiler, EveryFamilyTogether) {
  const DumpCase cases[] = {
      {"a selection run",
       "OPTION PW=100 WORKLEN=400\n"
       "READ in.dat RECFM=F L=80 INTO POS 101\n"
       "IF POS 101 NE 'A','B'\n"
       "AND POS 101,180 = 'XYZ' PTR @P\n"
       "THEN MOVE POS 101,110 TO POS 1\n"
       "THEN TRAN POS 1,10 UPPER\n"
       "THEN ADD 1 TO POS 11,14 TYPE P\n"
       "THEN CVCP POS 15,19 TO POS 20,22\n"
       "THEN WRITE out.dat RECFM=V FROM POS 1 L 22\n"
       "ELSE PRINT TYPE M STOPAFT 5\n"
       "ELSE LOG 'other' POS 101,110\n"
       "IF EOF\n"
       "THEN GOTO FINISH\n"
       "SPACE 2\n"
       "GOSUB COUNTS TIMES 2\n"
       "GOTO GET\n"
       "COUNTS\n"
       "LINE 3\n"
       "RETURN\n"
       "FINISH\n"
       "PRINT 'done' STOPAFT 1",
       "1 act READ op0=field(pos 101 len rest kw) file=in.dat(in F lrecl 80)\n"
       "-2 if cmp=4 op0=field(pos 101 len =2nd kw) op1=lit('A')\n"
       "-1002 and cmp=4 op0=field(pos 101 len =2nd kw) op1=lit('B')\n"
       "-2 and cmp=1 op0=field(pos 101 len 80 kw range) op1=lit('XYZ') ptr=2 flags=range,scan\n"
       "2 then move op0=field(pos 1 len =2nd fmt undecided) op1=field(pos 101 len 10 range)\n"
       "3 then tran op1=field(pos 1 len 10 range) op2=table(upper)\n"
       "4 then add arg=68 op1=imm(1) op2=field(pos 11 len 4 type P range)\n"
       "5 then cvxx arg=0x34 op0=field(pos 20 len 3 range) op1=field(pos 15 len 5 range)\n"
       "6 then WR op0=field(pos 1 len 22 kw) file=out.dat(out V)\n"
       "7 else pr mod=20 " ENC " stop=5 " PRINTED "\n"
       "8 else log mod=8 " ENC " stop=50 op0=field(pos 101 len 10 type C kw range)\n"
       "-9 if cmp=14\n"
       "9 then goto stop=1 to=FINISH\n"
       "10 act space mod=5 arg=2\n"
       "11 act do times=2 to=COUNTS\n"
       "12 act gg\n"
       "13 act line mod=6 arg=3 label=COUNTS\n"
       "14 act ret\n"
       "15 act pr mod=17 " ENC " stop=1 op0=lit('done') label=FINISH\n",
       ""},
  };
  for (const DumpCase& c : cases) check(c);
}

TEST_F(StatementCompiler, RolesOfTheFirstWord) {
  const DumpCase cases[] = {
      {"L alone is ELSE, its action a WRITE", "IF POS 1 = 'A'\nTHEN PRINT\nL",
       "-1 if cmp=1 op0=field(pos 1 len =2nd kw) op1=lit('A')\n"
       "1 then pr mod=17 " ENC " " PRINTED "\n"
       "2 else WR\n",
       ""},
      {"ELSE IF, THEN IF",
       "IF POS 1 = 'A'\nTHEN IF POS 2 = 'B'\nTHEN PRINT\nELSE IF POS 3 = 'C'\nTHEN PRINT",
       "-1 if cmp=1 op0=field(pos 1 len =2nd kw) op1=lit('A')\n"
       "-1 thenif cmp=1 op0=field(pos 2 len =2nd kw) op1=lit('B')\n"
       "1 then pr mod=17 " ENC " " PRINTED "\n"
       "-2 elseif cmp=1 op0=field(pos 3 len =2nd kw) op1=lit('C')\n"
       "2 then pr mod=17 " ENC " " PRINTED "\n",
       ""},
      {"I alone is IF, E alone ends the statements", "I\nE\nPRINT", "-1 if\n0 end\n",
       "1:8 3:not read"},  // the IF has nothing to test
      {"the verb L after another word", "NOW L 80\nTHEN L 80",
       "1 act lrecl= arg=34 op0=area(0) op1=imm(80)\n"
       "2 act lrecl= arg=34 op0=area(0) op1=imm(80) flags=contthen\n",
       ""},
      {"a file name alone is a WRITE", "OUT.TXT\nFILE=OUT.TXT\n'out.txt'\nDUMMY",
       "1 act WR file=OUT.TXT(out)\n"
       "2 act WR file=OUT.TXT(out)\n"
       "3 act WR file=out.txt(out)\n"
       "4 act dummy file=DUMMY(out lrecl 80)\n",
       ""},
      {"F FILE then a verb", "FILE PRINT", "1 act pr mod=17 " ENC " " PRINTED "\n", ""},
      {"WRITE word skipped", "WRITE\nOUTPUT READ X",
       "1 act WR\n"
       "2 act READ file=X(in)\n",
       ""},
      {"pointer statement", "@P = 5", "1 act @x= arg=34 op0=num(@2) op1=imm(5)\n", ""},
      {"quoted first word is an action", "'THEN'", "1 act WR file=THEN(out)\n", ""},
      {"case translation is TRAN", "UPPER POS 1,10\nNOW LOWER POS 11,20",
       "1 act tran op1=field(pos 1 len 10 range) op2=table(upper)\n"
       "2 act tran op1=field(pos 11 len 10 range) op2=table(lower)\n",
       ""},
      {"NOP words are statement-wide", "PRINT NOPCTL\nNOPTOT",
       "1 act pr mod=17 " ENC " " PRINTED "\n"
       "0 end\n",
       ""},
  };
  for (const DumpCase& c : cases) check(c);
}

TEST_F(StatementCompiler, OrderOfStatements) {
  const DumpCase cases[] = {
      {"IF after IF", "IF POS 1 = 'A'\nIF POS 2 = 'B'",
       "-1 if cmp=1 op0=field(pos 1 len =2nd kw) op1=lit('A')\n"
       "-1 if cmp=1 op0=field(pos 2 len =2nd kw) op1=lit('B')\n",
       "2:17"},
      {"AND and OR after IF", "IF POS 1 = 'A'\nAND POS 2 = 'B'\nOR POS 3 = 'C'\nTHEN PRINT",
       "-1 if cmp=1 op0=field(pos 1 len =2nd kw) op1=lit('A')\n"
       "-1 and cmp=1 op0=field(pos 2 len =2nd kw) op1=lit('B')\n"
       "-1 or cmp=1 op0=field(pos 3 len =2nd kw) op1=lit('C')\n"
       "1 then pr mod=17 " ENC " " PRINTED "\n",
       ""},
      {"action right after a test", "IF POS 1 = 'A'\nPRINT",
       "-1 if cmp=1 op0=field(pos 1 len =2nd kw) op1=lit('A')\n"
       "1 act pr mod=17 " ENC "\n",
       "2:17"},
      {"THEN first", "THEN PRINT", "1 then pr mod=17 " ENC "\n", "1:17"},
      {"ELSE right after IF", "IF POS 1 = 'A'\nELSE PRINT",
       "-1 if cmp=1 op0=field(pos 1 len =2nd kw) op1=lit('A')\n"
       "1 else pr mod=17 " ENC "\n",
       "2:17"},
      {"AND after an action", "PRINT\nAND POS 1 = 'A'",
       "1 act pr mod=17 " ENC " " PRINTED "\n"
       "-2 and cmp=1 op0=field(pos 1 len =2nd kw) op1=lit('A')\n",
       "2:17"},
      {"THEN continues an unconditional statement",
       "PRINT\nTHEN MOVE POS 1,5 TO POS 11\nTHEN PRINT",
       "1 act pr mod=17 " ENC " " PRINTED "\n"
       "2 act move op0=field(pos 11 len =2nd fmt undecided) op1=field(pos 1 len 5 range) "
       "flags=contthen\n"
       "3 act pr mod=17 " ENC " " PRINTED " flags=contthen\n",
       ""},
      {"ids skip conditions", "PRINT\nIF POS 1 = 'A'\nTHEN PRINT\nELSE PRINT\nPRINT",
       "1 act pr mod=17 " ENC " " PRINTED "\n"
       "-2 if cmp=1 op0=field(pos 1 len =2nd kw) op1=lit('A')\n"
       "2 then pr mod=17 " ENC " " PRINTED "\n"
       "3 else pr mod=17 " ENC " " PRINTED "\n"
       "4 act pr mod=17 " ENC " " PRINTED "\n",
       ""},
  };
  for (const DumpCase& c : cases) check(c);
}

TEST_F(StatementCompiler, VerbFamilies) {
  const DumpCase cases[] = {
      {"SPACE and LINE", "SPACE 3\nSPACE 300\nLINE 90\nLINE\nSPACE 86",
       "1 act space mod=5 arg=3\n2 act line mod=6 arg=1\n3 act line mod=6 arg=1\n"
       "4 act line mod=6 arg=1\n5 act space mod=5 arg=86\n",
       ""},
      {"SLEEP units", "SLEEP 2 MIN\nSLEEP\nSLEEP 3 HOURS\nSLEEP 5 SECS",
       "1 act sleep arg=120\n2 act sleep arg=1\n3 act sleep arg=10800\n4 act sleep arg=5\n", ""},
      {"SLEEP that would wrap", "SLEEP 1000000 HR", "1 act sleep\n", "1:7"},
      {"conversion codes",
       "PACK POS 1,5 TO POS 11,13\nUNPKB POS 1,4 TO POS 11,20\nCVCP POS 1,5 TO POS 11,13\n"
       "CVZH POS 1,5 TO POS 11,12\nCVH POS 1,2 TO POS 11,20",
       "1 act cvxx arg=0x34 op0=field(pos 11 len 3 range) op1=field(pos 1 len 5 range)\n"
       "2 act cvxx arg=0x23 op0=field(pos 11 len 10 range) op1=field(pos 1 len 4 range)\n"
       "3 act cvxx arg=0x34 op0=field(pos 11 len 3 range) op1=field(pos 1 len 5 range)\n"
       "4 act cvxx arg=0x78 op0=field(pos 11 len 2 range) op1=field(pos 1 len 5 range)\n"
       "5 act cvxx arg=0x38 op0=field(pos 11 len 10 range) op1=field(pos 1 len 2 range)\n",
       ""},
      {"ASCII and EBCDIC conversions are TRAN", "CVA POS 1,5\nCVEA POS 6,10\nCVE POS 11,20",
       "1 act tran op1=field(pos 1 len 5 range) op2=table(ascii)\n"
       "2 act tran op1=field(pos 6 len 5 range) op2=table(ascii)\n"
       "3 act tran op1=field(pos 11 len 10 range) op2=table(ebcdic)\n",
       ""},
      {"conversion with no form", "CVCF A TO B\nCVFC A",
       "1 act cvxx arg=0x36\n2 act cvxx arg=0x63\n", "1:1 2:1"},
      {"not a conversion verb", "CVX A", "1 act WR op0=lit('A') file=CVX(out)\n", ""},
      {"not available", "NOW SORT X\nINSERT OUT\nDELETE OUT\nNOW EXIT\nJECL X\nTHEN CP 'x'",
       "1 act sort\n2 act INS\n3 act DEL\n4 act\n5 act jecl\n6 act cp flags=contthen\n",
       "1:1 2:1 3:1 4:1 5:1 6:1"},
      {"statement-level words not available", "EOF\nCKPT\nPDUMP X", "0 end\n", "1:1 2:1 3:1"},
      {"FLAG targets", "FLAG EOD\nSIGNAL EOMEMB\nFLAG X",
       "1 act flag mod=25\n2 act flag mod=24\n3 act flag\n", "3:121"},
      {"control verbs", "NOW RETURN\nGG\nEOJ\nSTOP\nNOW CANCEL\nSUSP",
       "1 act ret\n2 act gg\n3 act eoj\n4 act eoj\n5 act cancel\n6 act susp\n", ""},
      {"file verbs skip FILE", "READ FILE IN\nGET\nUPDATE F OUT\nOPEN X\nCLOSE X",
       "1 act READ file=IN(in)\n"
       "2 act READ\n"
       "3 act UPD file=OUT(upd)\n"
       "4 act OPEN file=X(noopen)\n"
       "5 act CLOS file=X(noopen)\n",
       ""},
      {"WRITE operands after the file", "WRITE OUT 'x'", "1 act WR op0=lit('x') file=OUT(out)\n",
       ""},
      {"FROM data and more data", "WRITE OUT FROM POS 1 L 10 'x'\nUPDATE OLD 'x' FROM 1,10",
       "1 act WR op0=field(pos 1 len 10 kw) file=OUT(out)\n"
       "2 act UPD op0=field(pos 1 len 10 range) file=OLD(upd)\n",
       "1:45 2:45"},
      {"system commands need their text", "SYS\nSYSTEM 'ls'\nUNIX 'ls'\nDOS 'dir'",
       "1 act cms " PRINTED "\n"
       "2 act cms op0=lit('ls')\n"
       "3 act cms op0=lit('ls')\n"
       "4 act cms op0=lit('dir')\n",
       "1:95"},
      {"CALL arguments", "CALL RTN A B C\nCALL RTN",
       "1 act call arg=3 call[lit('A'),lit('B'),lit('C')] file=RTN(call)\n"
       "2 act call call[] file=RTN(call)\n",
       ""},
      {"more than 16 CALL arguments",
       "CALL R '1' '2' '3' '4' '5' '6' '7' '8' '9' '10' '11' '12' '13' '14' '15' '16' '17'",
       "1 act call arg=16 "
       "call[lit('1'),lit('2'),lit('3'),lit('4'),lit('5'),lit('6'),lit('7'),lit('8'),lit('9'),lit('"
       "10'),lit('11'),lit('12'),lit('13'),lit('14'),lit('15'),lit('16')] file=R(call)\n",
       "1:96"},
  };
  for (const DumpCase& c : cases) check(c);

  // Without the call library a CALL is refused where it stands.
  CompileRun& bare = new_run();
  bare.files.program_dir = nullptr;
  EXPECT_EQ(bare.compile("CALL RTN 'a'"), "162@5+3");
  EXPECT_EQ(dump(bare.program), "1 act call\n");
}

TEST_F(StatementCompiler, PrintAndLog) {
  const DumpCase cases[] = {
      {"print formats", "PRINT TYPE H\nPRT TY DX\nPLOG TYPE MP\nPR TYPE Q",
       "1 act pr mod=18 " ENC " " PRINTED "\n"
       "2 act pr mod=12 " ENC " " PRINTED "\n"
       "3 act plog mod=20 " ENC " " PRINTED "\n"
       "4 act pr mod=17\n",
       "4:22"},
      {"LOG without a reply stops after 50",
       "LOG 'hello'\nWTO 'x' STOPAFT 2\nSYSLOG 'x' REPLY 1,10",
       "1 act log mod=8 " ENC " stop=50 op0=lit('hello')\n"
       "2 act log mod=8 " ENC " stop=2 op0=lit('x')\n"
       "3 act log mod=8 " ENC " op0=lit('x') reply=field(pos 1 len 10 range)\n",
       ""},
      {"TYPE takes its letter before STOPAFT can", "LOG TYPE S",
       "1 act log mod=8 " ENC " stop=50 " PRINTED "\n", ""},
      {"LOG CLEAR", "TERM CLEAR 'x'", "1 act log mod=8 " ENC " stop=50 op0=lit('x') flags=clear\n",
       ""},
      {"per-statement dump options", "PRINT TYPE D DUMPENC <> DUMPALL\nPRINT DUMPENC [ DUMPALL NO",
       "1 act pr mod=11 arg=0x3c3e " PRINTED " flags=dumpall\n"
       "2 act pr mod=17 arg=0x5b3a " PRINTED "\n",
       ""},
      {"the report option gives format 9", "REPORT\nPRINT TYPE H\nLOG 'x'",
       "1 act pr mod=9 " ENC " " PRINTED "\n"
       "2 act log mod=9 " ENC " stop=50 op0=lit('x')\n",
       ""},
      {"bad dump enclosure", "PRINT DUMPENC ABC", "1 act pr mod=17 " ENC "\n", "1:167"},
  };
  for (const DumpCase& c : cases) check(c);
}

TEST_F(StatementCompiler, CountsAndBranches) {
  const DumpCase cases[] = {
      {"STOPAFT and TIMES anywhere", "PRINT STOPAFT 5\nPRINT TIMES 3 S 2\nGOSUB RTN TIMES 4",
       "1 act pr mod=17 " ENC " stop=5 " PRINTED "\n"
       "2 act pr mod=17 " ENC " stop=2 times=3 " PRINTED "\n"
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
       "1 act goto to=X\n"
       "2 act do to=X\n"
       "3 act pr mod=17 " ENC " " PRINTED " label=X\n",
       ""},
      {"label twice", "X\nPRINT\nx",
       "1 act pr mod=17 " ENC " " PRINTED " label=X\n"
       "0 end\n",
       "3:82"},
      {"two labels on one statement", "A1\nB1\nGOTO A1\nGOTO B1",
       "1 act goto label=B1 to=A1\n2 act goto to=B1\n", ""},
      {"one-word statements that are not labels", "START\nINCLUDE\nEQU\nOUT/X",
       "1 act start\n"
       "2 act WR file=OUT/X(out)\n",
       "2:156 3:31"},
  };
  for (const DumpCase& c : cases) check(c);
}

TEST_F(StatementCompiler, EndOfFileThenActionsRunOnce) {
  // The condition compiler marks what the sentence tests; only THEN actions of a sentence that
  // tests nothing but the end of a file get STOPAFT 1.
  CompileRun& run = new_run();
  EXPECT_EQ(run.compile_all("IF EOF\nTHEN PRINT\nTHEN LOG 'x' REPLY 1,10\nELSE PRINT\nTHEN PRINT\n"
                            "IF EOF\nAND POS 1 = 'A'\nTHEN PRINT\n"
                            "IF EOF FILE=in.dat\nTHEN PRINT\n"
                            "IF POS 1 = 'A'\nTHEN PRINT\nPRINT"),
            "");
  EXPECT_EQ(dump(run.program),
            "-1 if cmp=14\n"
            "1 then pr mod=17 " ENC " stop=1 " PRINTED
            "\n"
            "2 then log mod=8 " ENC
            " stop=1 op0=lit('x') reply=field(pos 1 len 10 range)\n"
            "3 else pr mod=17 " ENC " " PRINTED
            "\n"
            "4 then pr mod=17 " ENC " " PRINTED
            "\n"  // after the ELSE
            "-5 if cmp=14\n"
            "-5 and cmp=1 op0=field(pos 1 len =2nd kw) op1=lit('A')\n"
            "5 then pr mod=17 " ENC " " PRINTED
            "\n"  // a second test in the sentence
            "-6 if cmp=14 fname=in.dat\n"
            "6 then pr mod=17 " ENC " stop=1 " PRINTED
            "\n"
            "-7 if cmp=1 op0=field(pos 1 len =2nd kw) op1=lit('A')\n"
            "7 then pr mod=17 " ENC " " PRINTED
            "\n"
            "8 act pr mod=17 " ENC " " PRINTED "\n");
  // After a CAT the end of one file is not the end of the input.
  CompileRun& cat = new_run();
  EXPECT_EQ(cat.compile_all("READ IN\nCAT MORE\nIF EOF\nTHEN PRINT"), "");
  EXPECT_EQ(dump(cat.program),
            "1 act READ file=IN(in)\n-2 if cmp=14\n2 then pr mod=17 " ENC " " PRINTED "\n");
  // The CAT file follows the READ's file in the chain: an input that continues it.
  const files::FFREC* first = cat.files.primary_input;
  ASSERT_NE(first, nullptr);
  ASSERT_NE(first->next, nullptr);
  EXPECT_FALSE(first->concatenated);
  EXPECT_TRUE(first->next->concatenated);
  EXPECT_NE(first->next->open_type & files::kOpenInput, 0);
}

TEST_F(StatementCompiler, StatementsWithoutARecord) {
  CompileRun& run = new_run();
  EXPECT_EQ(run.compile_all("CAT X\nREAD IN\nCAT MORE\nIF POS 1 = 'A'\nCAT X"), "1:86 5:86");
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

TEST_F(StatementCompiler, IncludeOpensTheNameAsTyped) {
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

TEST_F(StatementCompiler, MessagesMarkTheOffendingWord) {
  struct MarkCase {
    const char* statement;
    const char* message;  // number@offset+length
  };
  const MarkCase cases[] = {
      {"IF POS 2 = 'B'", "17@0+2"},       // an IF after an IF: the statement's first word
      {"GOTO END", "182@5+3"},            // the target
      {"NOW SORT X", "1@4+4"},            // the verb
      {"PRINT TYPE X'C1C2'", "22@13+4"},  // a hex literal: its digits
      {"GOTO", "5@0+4"},                  // nothing after it: the keyword
  };
  CompileRun& run = new_run();
  run.compile("IF POS 1 = 'A'");
  for (const MarkCase& c : cases) EXPECT_EQ(run.compile(c.statement), c.message) << c.statement;
}

TEST_F(StatementCompiler, ParameterBeyondTheCountUnderEnvfailCancel) {
  CompileRun& run = new_run();
  run.ctx.param_count = 1;
  input::define_parameter(run.variables, 1, "X", "X");
  EXPECT_EQ(run.compile_all("PRINT %2\nOPTION ENVFAIL CANCEL\nPRINT %1\nPRINT %2"), "4:152");
}

TEST_F(StatementCompiler, DumpShowsLinks) {
  CompileRun& run = new_run();
  run.compile_all("IF POS 1 = 'A'\nTHEN PRINT\nGOTO L1\nL1");
  program::Statement* test = run.program.head;
  program::Statement* print = test->next;
  test->on_true = print;
  test->on_false = print->next;
  print->next->jump = print->next->next;
  EXPECT_EQ(dump(run.program),
            "-1 if cmp=1 op0=field(pos 1 len =2nd kw) op1=lit('A') true=#2 false=#3\n"
            "1 then pr mod=17 " ENC " " PRINTED
            "\n"
            "2 act goto to=L1 jump=#4\n"
            "0 end label=L1\n");
}

// A variable's name in a position or length stands for its value.
TEST_F(StatementCompiler, VariablesInExpressions) {
  const DumpCase cases[] = {
      {"EQU names",
       "EQU OFF 10\nEQU FLD 10 + 5\nMOVE 'X' TO POS OFF+1\nMOVE POS FLD LEN OFF TO POS 1",
       "1 act move op0=field(pos 10+1 len =2nd fmt undecided) op1=lit('X')\n"
       "2 act move op0=field(pos 1 len =2nd fmt undecided) op1=field(pos 10+5 len 10)\n",
       ""},
      {"a value that is no expression", "EQU NAME 'abc'\nMOVE 'X' TO POS NAME",
       "1 act move op0=none op1=lit('X')\n", "2:114"},
  };
  for (const DumpCase& c : cases) check(c);
}

// Files show their name as defined (below the current folder: relative), the open types of
// every statement naming them, RECFM and LRECL.
TEST_F(StatementCompiler, DumpShowsFilesAsDefined) {
  const DumpCase cases[] = {
      {"predefined names", "READ SYSIN\nWRITE stdout\nREAD DUMMY",
       "1 act READ file=SYSIN(in)\n"
       "2 act WR file=STDOUT(out)\n"
       "3 act dummr file=DUMMY(in lrecl 80)\n",
       ""},
      {"paths, long names and blocked formats",
       "READ /tmp/data/master-file.dat RECFM=FB L=100\nWRITE sub/Out.txt RECFM=VB LRECL=50",
       "1 act READ file=/tmp/data/master-file.dat(in FB lrecl 100)\n"
       "2 act WR file=sub/Out.txt(out VB lrecl 50)\n",
       ""},
      {"open types add up", "READ data.txt\nUPDATE data.txt\nCLOSE data.txt",
       "1 act READ file=data.txt(in+upd)\n"
       "2 act UPD file=data.txt(in+upd)\n"
       "3 act CLOS file=data.txt(in+upd)\n",
       ""},
      {"the file of a file test", "IF EOF FILE=Day-2.txt\nAND INCOUNT > 5 FILE=x",
       "-1 if cmp=14 fname=Day-2.txt\n"
       "-1 and cmp=3 op0=incount op1=imm(5) fname=x\n",
       ""},
  };
  for (const DumpCase& c : cases) check(c);
}

// Every detail of a descriptor that differs from what its kind implies shows, so that a dump
// comparison catches a field the compiler set wrongly.
TEST_F(StatementCompiler, OperandTextShowsEveryDifference) {
  using program::LengthKind;
  using program::OperandKind;
  using program::TermKind;
  uint8_t quote[] = {'i', 't', '\'', 's'};
  uint8_t binary[] = {0x00, 0xC1};
  struct TextCase {
    const char* name;
    program::Operand op;
    const char* text;
  };
  auto literal = [](uint8_t* bytes, int32_t n, int32_t len) {
    program::Operand op;
    op.kind = OperandKind::kLiteral;
    op.type = program::kTypeCharacter;
    op.format = program::kFormatLiteral;
    op.lit = bytes;
    op.lit_length = n;
    op.len_kind = LengthKind::kFixed;
    op.len.kind = TermKind::kAbsolute;
    op.len.value = len;
    return op;
  };
  auto number = [](OperandKind kind, uint8_t type) {
    program::Operand op;
    op.kind = kind;
    op.type = type;
    op.format = program::kFormatLiteral;
    op.len_kind = LengthKind::kFixed;
    op.len.kind = TermKind::kAbsolute;
    op.len.value = 4;
    op.immediate = 5;
    return op;
  };
  auto pointer_number = [](TermKind kind) {
    program::Operand op;
    op.kind = OperandKind::kComputed;
    op.type = program::kTypeBinary;
    op.format = program::kFormatLiteral;
    op.len_kind = LengthKind::kFixed;
    op.len.kind = TermKind::kAbsolute;
    op.len.value = 4;
    op.pos.kind = kind;
    op.pos.pointer = 3;
    return op;
  };
  auto field = [](TermKind kind, LengthKind len_kind, uint8_t format) {
    program::Operand op;
    op.kind = OperandKind::kField;
    op.pos.kind = kind;
    op.pos.value = 10;
    op.pos.pointer = 2;
    op.len_kind = len_kind;
    op.len.value = 6;
    op.format = format;
    return op;
  };
  TextCase cases[] = {
      {"a quote doubled", literal(quote, 4, 4), "lit('it''s')"},
      {"unprintable bytes in hex", literal(binary, 2, 2), "lit(X'00C1')"},
      {"a length other than the bytes'", literal(quote, 4, 3), "lit('it''s' len 3)"},
      {"a number of another type", number(OperandKind::kImmediate, program::kTypePacked),
       "imm(5 type P)"},
      {"a special operand without type", number(OperandKind::kReturnCode, 0), "rc(type 0)"},
      {"a field whose format is left open",
       field(TermKind::kAbsolute, LengthKind::kFixed, program::kFormatUndecided),
       "field(pos 10 len 6 fmt undecided)"},
      {"a field without length but a field format",
       field(TermKind::kAbsolute, LengthKind::kNone, program::kFormatField),
       "field(pos 10 fmt field)"},
      {"a capped rest", field(TermKind::kRecordLength, LengthKind::kRest, program::kFormatField),
       "field(pos L len rest max 6)"},
      {"a value term in a position",
       field(TermKind::kNumberPointer, LengthKind::kSameAsFirst, program::kFormatField),
       "field(pos @2! len =1st)"},
      {"a pointer's value", pointer_number(TermKind::kNumberPointer), "num(@3)"},
      {"a place term in a computed number", pointer_number(TermKind::kPointer), "num(@3!)"},
  };
  for (const TextCase& c : cases) EXPECT_EQ(describe_operand(&c.op), c.text) << c.name;

  program::Operand date;
  date.kind = OperandKind::kField;
  date.pos.kind = TermKind::kSpecial;
  date.pos.special = program::SpecialKind::kDateArea;
  date.pos.offset = 12;
  date.pos.flags = program::kTermNegative;
  program::Term plus{};
  plus.kind = TermKind::kAbsolute;
  plus.value = 40;
  date.pos.next = &plus;
  EXPECT_EQ(describe_operand(&date), "field(pos -DATE[12]+40)");
  EXPECT_EQ(describe_operand(nullptr), "null");
}

TEST_F(StatementCompiler, ListingMarkerBeforeANewSentence) {
  CompileRun& run = new_run();
  run.compile("PRINT");
  EXPECT_EQ(run.line_area[0], ' ');  // nothing before the first statement
  run.compile("PRINT");
  EXPECT_EQ(run.line_area[0], ' ');  // actions in a row stay together
  run.compile("IF POS 1 = 'A'");
  run.compile("THEN PRINT");
  EXPECT_EQ(run.line_area[0], ' ');
  run.compile("PRINT");
  EXPECT_EQ(run.line_area[0], '0');  // a new sentence after a THEN
}

}  // namespace
}  // namespace recsift::compiler

namespace recsift::compiler::testing {
namespace {

// A word split at "+" or "-" taken as a character literal is joined from exactly its pieces;
// the statement below once copied more pieces than it had room for.
TEST_F(StatementCompiler, SplitWordLiteralStaysInItsBlock) {
  CompileRun& run = new_run();
  run.compile_all("IFOP -S 0 TPItheHRINT TYPE C\nIFOP A-B-C\nPRINT X+Y-Z TYPE C");
  SUCCEED();  // the sanitizers watch the copies
}

// A value of several tokens substituted inside a word is read as if typed there.
TEST_F(StatementCompiler, MultiTokenValueInsideAWord) {
  CompileRun& run = new_run();
  EXPECT_EQ(run.compile_all("EQU %1 10 + 5\nMOVE 'X' TO POS 20-%1"), "");
  EXPECT_NE(dump(run.program).find("pos 20-10+5"), std::string::npos) << dump(run.program);
}

}  // namespace
}  // namespace recsift::compiler::testing
