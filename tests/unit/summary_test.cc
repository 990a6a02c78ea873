// The run summary: statement, range, file, status, failure and label lines at their columns,
// continuation lines, the level-3 layout, the return codes 16 and 4 with their exceptions, the
// warning lines and the abnormal-end banner, compared with the listing text.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/fatal.h"
#include "report_test_util.h"

namespace recsift::report {
namespace {

using testing::headings;

// A line of the listing with texts at 1-based columns.
std::string at(std::initializer_list<std::pair<int, std::string>> parts) {
  return testing::columns(1200, parts);
}

// Listing lines, each ended by CR LF.
std::string lines(const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& text : texts) out += text + "\r\n";
  return out;
}

constexpr const char* kHeading =
    " SEL-ID      SELTOT      FILE     BLKSIZE  LRECL           FSIZE   CI    DSN";
constexpr const char* kUnderline =
    " ------      ------      ----     -------  -----           -----   --    ---";

// The start of a summary on a fresh listing: page 1, then the block's heading.
std::string block_start() {
  return headings(132, 1) + "\r\n" + lines({"", "SUMMARY..", kHeading, kUnderline});
}

// A warning line: the raising statement from column 15, the value right-aligned in columns
// 26-33, the text from column 35.
std::string warning(const std::string& selid, const std::string& value, const std::string& text) {
  return at({{1, "***WARNING***"},
             {15, selid},
             {34 - static_cast<int>(value.size()), value},
             {35, text}});
}

using program::Op;
constexpr Op kRead = Op::kRead, kWrite = Op::kWrite, kRet = Op::kRet, kMove = Op::kMove,
             kClose = Op::kClose, kPrint = Op::kPrint;

SummaryStatement statement(int32_t selid, uint8_t type, Op op, int64_t count) {
  SummaryStatement st;
  st.selid = selid;
  st.type = type;
  st.op = op;
  st.exec_count = count;
  return st;
}

// A file that was opened and read to its end.
SummaryFile file(const std::string& name, const std::string& path, int64_t count) {
  SummaryFile f;
  f.short_name = name;
  f.path = path;
  f.lrecl = 80;
  f.recfm = "F";
  f.record_count = count;
  f.opened = true;
  f.eof_reached = true;
  return f;
}

// A summary printed on a test listing whose special area holds the return code; the log stream
// goes to a temporary file.
struct SummaryRun {
  SummaryRun() : log(std::tmpfile()) {
    base::set_log_stream(log);
    input.special = t.listing.special;
  }
  ~SummaryRun() {
    base::set_log_stream(nullptr);
    std::fclose(log);
  }
  std::string print() {
    print_summary(t.listing, input);
    return t.bytes();
  }
  void set_rc(int32_t rc, int32_t selid) {
    convert::store_be32(t.listing.special + convert::kSpReturnCode, rc);
    input.rc_selid = selid;
  }
  int32_t rc() const { return t.special(convert::kSpReturnCode); }
  std::string log_text() {
    std::fflush(log);
    std::rewind(log);
    char got[1024] = {};
    return std::string(got, std::fread(got, 1, sizeof got - 1, log));
  }
  testing::TestListing t;
  SummaryInput input;
  std::FILE* log;
};

TEST(SummaryBlock, RangesFilesFailuresAndLabels) {
  SummaryRun run;
  auto& sts = run.input.statements;
  for (int32_t i = 1; i <= 5; ++i) sts.push_back(statement(i, 1, kMove, 12));
  SummaryStatement test = statement(6, 4, Op::kNone, 0);
  test.error_count = 2;
  test.labels = {{"LOOP", "next record"}};
  sts.push_back(test);
  SummaryStatement write = statement(7, 2, kWrite, 10);
  write.error_count = 3;
  write.files = {file("OUTF", "out.dat", 10)};
  sts.push_back(write);
  SummaryStatement failing = statement(8, 1, kMove, 12);
  failing.error_count = 1;
  sts.push_back(failing);
  sts.push_back(statement(9, 2, kRet, 12));
  SummaryStatement noted = statement(10, 1, kPrint, 12);
  noted.annotation = "show it";
  sts.push_back(noted);
  sts.push_back(statement(11, 1, kMove, 12));
  sts.push_back(statement(12, 1, kMove, 12));
  sts.push_back(statement(13, 1, kMove, 13));  // another count: a line of its own
  run.set_rc(8, 7);

  EXPECT_EQ(
      run.print(),
      block_start() +
          lines({
              "    1----5       12",
              "",
              "                    =LOOP=                          next record",
              "    0             2 POS OUTSIDE REC/WORKA - TEST FAILED",
              "    7            10 WR   OUTF               80 F              10       out.dat",
              "                         (***03 RETCD=8***)",
              "    8            12      (***01 RETCD=8***)",
              "    9            12 =ret=",
              "   10            12                                 show it",
              "   11---12       12",
              "   13            13",
              "",
              warning("(SEL----7)", "8", "= RETURN CODE FROM RECSIFT"),
          }));
  EXPECT_EQ(run.rc(), 8);

  // Level 1 shows no labels, and a count of 10,000,000 or more leaves no room for a range.
  SummaryRun quiet;
  quiet.t.listing.summary_level = 1;
  quiet.input.statements = {statement(1, 1, kPrint, 10'000'000),
                            statement(2, 1, kPrint, 10'000'000)};
  quiet.input.statements[1].labels = {{"SKIP", ""}};
  EXPECT_EQ(quiet.print(), block_start() + lines({
                                               "    1    10,000,000",
                                               "    2    10,000,000",
                                               "",
                                           }));
}

TEST(SummaryBlock, FileStatusLinesAndConsoleTotals) {
  SummaryRun run;
  SummaryStatement read = statement(1, 1, kRead, 5);
  read.reads = true;
  SummaryFile first = file("IN1", "a.dat", 5);
  first.recfm = "V";
  first.blocked = true;
  first.blksize = 27998;
  first.lrecl = 32756;
  first.eof_reached = false;
  first.console_total = true;
  SummaryFile unopened;  // a later member of the concatenation, never reached
  unopened.short_name = "IN2";
  unopened.concatenated = true;
  SummaryFile failed = unopened;  // could not be opened: no "NOT OPENED" as well
  failed.short_name = "IN3";
  failed.open_failed = true;
  read.files = {first, unopened, failed};
  SummaryStatement write = statement(2, 1, kWrite, 4);
  write.files = {file("OUTF", "o.dat", 4)};
  write.files[0].truncated = 3;
  SummaryStatement suspended = statement(0, 1, kRead, 0);  // the system READ of SUSP
  suspended.reads = true;
  suspended.files = {file("SUSPF", "s.dat", 1234)};
  suspended.files[0].error_code = 7;
  suspended.files[0].console_total = true;
  SummaryStatement missing = statement(4, 1, kRead, 0);
  missing.reads = true;
  missing.files = {file("GONE", "gone.dat", 0)};
  missing.files[0].not_found_or_empty = true;
  missing.files[0].opened = false;
  SummaryStatement close = statement(5, 1, kClose, 1);  // the same file again: one console total
  close.files = {read.files[0]};
  run.input.statements = {read, write, suspended, missing, close};

  EXPECT_EQ(
      run.print(),
      block_start() +
          lines({
              "    1             5 READ IN1       27998 32756 VB              5       a.dat",
              "                                 *EOF*NOT*REACHED*",
              "                    CAT  IN2                   ?               0",
              "                                 *NOT*OPENED*",
              "                    CAT  IN3                   ?               0",
              "                                 ### **OPEN*FAILED** ###",
              "    2             4 WR   OUTF               80 F               4       o.dat",
              "                               3 =RECORDS*TRUNCATED*",
              "    0             0 READ SUSPF              80 F           1,234       s.dat",
              "                                 *WHEN*IN*SUSP*STATE*",
              "                               7 =ERROR*CODE*",
              "    4             0 READ GONE               80 F               0       gone.dat",
              "                                 ### **NOT*FOUND*OR*EMPTY** ###",
              "    5             1 CLOS IN1       27998 32756 VB              5       a.dat",
              "",
          }));
  EXPECT_EQ(run.log_text(), std::string(testing::kShortBanner) +
                                "            5=RECTOT  FILE=IN1\n"
                                "        1,234=RECTOT  FILE=SUSPF\n");
}

// Counts beyond 32 bits (a run of five billion records) are shown as they are, not wrapped.
TEST(SummaryBlock, CountsBeyondThirtyTwoBits) {
  SummaryRun run;
  SummaryStatement read = statement(1, 1, kRead, 5000000000);
  read.reads = true;
  read.files = {file("BIG", "big.dat", 5000000000)};
  run.input.statements = {read};
  const std::string printed = run.print();
  EXPECT_NE(printed.find("5,000,000,000 READ BIG"), std::string::npos) << printed;
  EXPECT_NE(printed.find("F   5,000,000,000"), std::string::npos) << printed;
}

TEST(SummaryReturnCodes, SixteenFourAndTheirExceptions) {
  struct Case {
    const char* name;
    bool output;      // a WRITE ran
    bool stopped;     // ended by STOP or EOJ
    bool unfinished;  // the primary input was not read to its end
    bool no_totals;   // NOPTOT
    int32_t rc_before;
    int32_t rc_after;
  };
  const Case cases[] = {
      {"nothing written", false, false, false, false, 0, 16},
      {"nothing written, higher code kept", false, false, false, false, 20, 20},
      {"input not read to its end", true, false, true, false, 0, 4},
      {"stopped: neither 16 nor 4", false, true, true, false, 0, 0},
      {"suppressed block: no 4", true, false, true, true, 0, 0},
      {"suppressed block: 16 still", false, false, false, true, 0, 16},
  };
  for (const Case& c : cases) {
    SummaryRun run;
    run.t.listing.no_totals = c.no_totals;
    SummaryStatement read = statement(1, 1, kRead, 3);
    SummaryStatement write = statement(2, 1, kWrite, c.output ? 3 : 0);
    write.files = {file("OUTF", "o.dat", 3)};
    run.input.statements = {read, write};
    run.input.stopped = c.stopped;
    run.input.primary_unfinished = c.unfinished;
    run.set_rc(c.rc_before, 0);
    const std::string listing = run.print();
    EXPECT_EQ(run.rc(), c.rc_after) << c.name;
    if (c.rc_after == 16) {
      EXPECT_NE(listing.find("\r\n" + warning("", "16", "= RETURN CODE FROM RECSIFT") + "\r\n"),
                std::string::npos)
          << c.name;
    }
    if (c.rc_after == 0) {
      EXPECT_EQ(listing.find("WARNING"), std::string::npos) << c.name;
    }
  }
}

TEST(SummaryReturnCodes, SuppressedBlockPrintsOnlyTheWarnings) {
  SummaryRun run;
  run.t.listing.no_totals = true;
  SummaryStatement write = statement(1, 1, kWrite, 1);
  write.files = {file("OUTF", "o.dat", 1)};
  run.input.statements = {write};
  run.input.lrecl_changes_ignored = 2;
  run.input.mask_truncations = 1;
  run.set_rc(8, 12);
  EXPECT_EQ(run.print(), headings(132, 1) + "\r\n" +
                             lines({
                                 warning("(SEL---12)", "8", "= RETURN CODE FROM RECSIFT"),
                                 warning("", "2", "INVALID LRECL CHANGES IGNORED"),
                                 warning("", "1", "MASK LENGTHS TRUNCATED TO 256"),
                             }));
}

TEST(SummaryLayout, ContinuationLines) {
  SummaryRun run;
  std::string path;  // 150 characters with a blank that a file line does not cut at
  for (int i = 0; i < 150; ++i) path += static_cast<char>('a' + i % 26);
  path[58] = ' ';
  SummaryStatement write = statement(1, 2, kWrite, 1);
  write.files = {file("OUTF", path, 1)};
  SummaryStatement noted = statement(2, 1, kMove, 1);
  noted.annotation = std::string(75, 'x') + " " + std::string(60, 'y');
  noted.labels = {{"L1", std::string(70, 'z') + " " + std::string(20, 'w')}};
  run.input.statements = {write, noted};
  EXPECT_EQ(run.print(),
            block_start() +
                lines({
                    // A file line: cut at the full width, continued at column 72.
                    "    1             1 WR   OUTF               80 F               1       " +
                        path.substr(0, 61),
                    at({{72, path.substr(61, 61)}}),
                    at({{72, path.substr(122)}}),
                    "",
                    // A label line gives back exactly 10 columns, continued at column 55.
                    at({{21, "=L1="}, {53, std::string(70, 'z')}}),
                    at({{56, std::string(20, 'w')}}),
                    // Another line gives back 5 columns; a piece without a blank to give back
                    // to is cut at the full width. Continued at column 75.
                    at({{5, "2"}, {19, "1"}, {53, std::string(75, 'x')}}),
                    at({{76, std::string(57, 'y')}}),
                    at({{75, std::string(3, 'y')}}),
                    "",
                }));
}

TEST(SummaryLayout, LevelThreeRolesAndShiftedColumns) {
  SummaryRun run;
  run.t.listing.summary_level = 3;
  SummaryStatement read = statement(1, 1, kRead, 3);
  read.reads = true;
  read.labels = {{"TOP", ""}};
  read.files = {file("IN", "in.dat", 3)};
  SummaryStatement then = statement(4, 2, kMove, 2);
  then.error_count = 1;
  run.input.statements = {read,
                          statement(2, 4, Op::kNone, 0),
                          statement(3, 5, Op::kNone, 0),
                          then,
                          statement(5, 3, kPrint, 1),
                          statement(6, 1, kMove, 2),
                          statement(7, 1, kMove, 2)};
  std::string heading = kHeading, underline = kUnderline;
  heading.insert(25, 6, ' ');
  underline.insert(25, 6, ' ');
  EXPECT_EQ(
      run.print(),
      headings(132, 1) + "\r\n" +
          lines({
              "",
              "SUMMARY..",
              heading,
              underline,
              "",
              "                    =TOP=",
              "    1             3   read     IN                 80 F               3       in.dat",
              "    2             0   if",
              "    3             0    a",
              "    4             2   t   move   (***01 RETCD=8***)",
              "    5             1   el  pr",
              "    6             2   move",
              "    7             2   move",
              "",
          }));
}

TEST(SummaryLayout, NewPageAndAbnormalEndBanner) {
  SummaryRun run;
  run.t.listing.page_depth = 14;
  run.t.text("x");  // 10 lines left: the summary starts a new page
  SummaryStatement print = statement(1, 1, kPrint, 1);
  run.input.statements = {print};
  run.input.abended = true;
  run.set_rc(44, 1);
  EXPECT_EQ(run.print(), headings(132, 1) + "\r\nx\r\n" + headings(132, 2) + "\r\n" +
                             lines({
                                 "",
                                 "SUMMARY..",
                                 kHeading,
                                 kUnderline,
                                 "    1             1",
                                 "",
                                 warning("(SEL----1)", "44", "= RETURN CODE FROM RECSIFT"),
                                 "",
                                 std::string(20, ' ') + std::string(8, '*') +
                                     "JOB ABNORMALLY TERMINATED" + std::string(10, '*'),
                             }));
}

}  // namespace
}  // namespace recsift::report
