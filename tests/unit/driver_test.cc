// The run driver: both passes over the command line, the work block and the defaults.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/pool.h"
#include "convert/special_area.h"
#include "driver/driver.h"
#include "file_bytes.h"
#include "files/files.h"
#include "run_storage.h"

namespace recsift::driver {
namespace {

// Owns an argv built from words; argv[0] is the program.
class Args {
 public:
  explicit Args(std::vector<std::string> words) : words_(std::move(words)) {
    words_.insert(words_.begin(), "recsift");
    for (auto& w : words_) pointers_.push_back(w.data());
    pointers_.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(words_.size()); }
  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::string> words_;
  std::vector<char*> pointers_;
};

// Run states through the first pass, start-up and the second pass. Each test's states, and the
// pool blocks they took, go when the test ends.
class DriverTest : public testing_support::RunsPerTest<RunState> {
 protected:
  RunState& started(std::vector<std::string> words) {
    Args args(std::move(words));
    RunState& run = new_run();
    read_switches(run, args.argc(), args.argv());
    start_up(run);
    read_parameters(run, args.argc(), args.argv());
    return run;
  }
};
using DriverSwitches = DriverTest;
using DriverParameters = DriverTest;
using DriverStartUp = DriverTest;

TEST_F(DriverSwitches, ValueAfterEqualsOrAsNextArgument) {
  RunState& run = started({"-ctl=a.ctl", "-lst", "out.lst"});
  EXPECT_EQ(run.control_file, "a.ctl");
  EXPECT_EQ(run.listing_file, "out.lst");
  EXPECT_EQ(run.messages.pending, 0);
  EXPECT_EQ(run.param_count, 0);  // switches and their values are not parameters
  EXPECT_EQ(std::string(run.work.listing_name, run.listing_file.size()), "out.lst");
}

TEST_F(DriverSwitches, SeveralSwitchesInOneArgument) {
  RunState& run = started({"-ctl a.ctl,-lst b.lst"});
  EXPECT_EQ(run.control_file, "a.ctl");
  EXPECT_EQ(run.listing_file, "b.lst");
}

TEST_F(DriverSwitches, RepeatedOrEmptyValueRaises155) {
  EXPECT_EQ(started({"-ctl", "a.ctl", "-ctl", "b.ctl"}).messages.pending, 155);
  RunState& repeated = started({"-ctl", "a.ctl", "-ctl", "b.ctl"});
  EXPECT_EQ(repeated.control_file, "a.ctl");  // the first value stays
  EXPECT_EQ(started({"-lst"}).messages.pending, 155);
  EXPECT_EQ(started({"-log", "/nonexistent-folder/x.log"}).messages.pending, 155);
}

TEST_F(DriverSwitches, UpperCaseSwitchIsDroppedWithItsValue) {
  RunState& run = started({"-CTL", "a.ctl", "X"});
  EXPECT_FALSE(run.control_file_given);
  EXPECT_EQ(run.param_count, 1);
  EXPECT_EQ(run.params[1].source, "X");
}

TEST_F(DriverSwitches, SwitchAfterInlineStatementsRaises168ButIsObeyed) {
  RunState& run = started({"!", "S1", "-lst", "x.lst"});
  EXPECT_EQ(run.messages.pending, 168);
  EXPECT_EQ(run.listing_file, "x.lst");
}

TEST_F(DriverSwitches, DebugLetters) {
  base::PoolSettings saved = base::pool_settings();
  Args args({"-corA4 -corNR", "-corTR=5", "-corTR9", "-corXX -ctl=ignored", "-cor1,"});
  RunState run;
  read_switches(run, args.argc(), args.argv());
  EXPECT_TRUE(run.debug.a4);
  EXPECT_TRUE(run.debug.nr);
  EXPECT_TRUE(run.debug.tr);
  EXPECT_EQ(run.debug.tr1, 5);
  EXPECT_EQ(run.debug.tr2, 9);
  EXPECT_FALSE(run.control_file_given);  // the rest of an argument after unknown letters is ignored
  EXPECT_FALSE(run.debug.m1);
  EXPECT_EQ(base::pool_settings().n1, 5);
  EXPECT_EQ(base::pool_settings().n2, 9);
  base::pool_settings() = saved;
}

TEST_F(DriverParameters, PlainArgumentsBecomeEquStatements) {
  RunState& run = started({"X", "y", "'a b'", "X'C1'"});
  EXPECT_EQ(run.param_count, 4);
  EXPECT_TRUE(run.params_present);
  EXPECT_EQ(run.staging, "EQU %1   X!EQU %2   y!EQU %3   'a b'!EQU %4   X'C1'!\n");
  EXPECT_EQ(run.params[2].value, "Y");  // words are upper-cased, as typed in the source
  EXPECT_EQ(run.params[3].value, "a b");
  EXPECT_EQ(run.params[4].value, "\xC1");
  EXPECT_EQ(std::string(run.parm, run.parm_length), "X y 'a b' X'C1'");
  EXPECT_EQ(std::string(run.parg, run.parg_length), "X y 'a b' X'C1'");
}

TEST_F(DriverParameters, OnlyNineParametersAreTaken) {
  RunState& run = started({"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"});
  EXPECT_EQ(run.param_count, 9);
  EXPECT_EQ(run.staging.find("EQU %0"), std::string::npos);
  EXPECT_NE(run.staging.find("EQU %9   i!"), std::string::npos);
}

TEST_F(DriverParameters, InlineStatementsFollowTheParameters) {
  RunState& run = started({"P1", "!", "S1", "!", "S2"});
  EXPECT_TRUE(run.inline_statements);
  EXPECT_FALSE(run.no_control_input);
  EXPECT_EQ(run.staging, "EQU %1   P1! S1 ! S2!\n");
}

TEST_F(DriverParameters, SlashStarEndsTheStatementsAndTheControlInput) {
  RunState& run = started({"!", "S1", "!", "/*"});
  EXPECT_TRUE(run.no_control_input);
  EXPECT_EQ(run.staging, " S1 ! /*\n");
  RunState& ended = started({"!", "S1", "!", "end"});
  EXPECT_FALSE(ended.no_control_input);
  EXPECT_EQ(ended.staging, " S1 ! end\n");
}

TEST_F(DriverParameters, VersionRequest) {
  EXPECT_TRUE(started({"-V"}).version_request);
  EXPECT_EQ(started({"-V"}).param_count, 0);
}

TEST_F(DriverParameters, OverlongTailIsCutWith170) {
  RunState& run = started({std::string(600, 'A')});
  EXPECT_EQ(run.messages.pending, 170);
  EXPECT_EQ(run.parm_length, 515);
}

TEST_F(DriverParameters, EquStatementsBeyondTheStagingBufferAreDropped) {
  std::vector<std::string> words(9, std::string(60, 'Q'));
  RunState& run = started(words);
  EXPECT_EQ(run.messages.pending, 170);
  EXPECT_LT(run.param_count, 9);
  EXPECT_LE(run.staging.size(), 528u);
}

TEST_F(DriverParameters, NoArgumentsGiveEmptyTexts) {
  RunState& run = started({});
  EXPECT_EQ(run.parm_length, 0);
  EXPECT_EQ(run.parg_length, 0);
  EXPECT_STREQ(run.parm, "");
  EXPECT_STREQ(run.parg, "");
  EXPECT_TRUE(run.staging.empty());
}

TEST_F(DriverStartUp, WorkBlockAndDefaults) {
  RunState& run = started({"-lst", "my.lst"});
  const WorkBlock& w = run.work;
  EXPECT_EQ(w.size, kWorkBlockFixed + 6);
  EXPECT_EQ(w.line_area[0], ' ');  // blank-filled
  EXPECT_EQ(std::string(w.heading, 22), std::string("\n\rRECSIFT/WNT 2.08 at "));
  EXPECT_EQ(std::string(w.rule, 21), std::string(20, '-') + " ");
  convert::SpecialArea special(w.special);
  EXPECT_EQ(special.get(convert::kSpReturnCode), 52);
  EXPECT_EQ(special.byte(convert::kSpSeparator), '!');
  EXPECT_EQ(special.byte(convert::kSpBannerFlags), convert::kBannerWanted);
  EXPECT_EQ(special.get(convert::kSpFileLayerSize), 2048);
  EXPECT_EQ(special.get(convert::kSpRecordLength), 0);  // cleared from the anchor on
  EXPECT_EQ(run.names.find(""), 0);
  EXPECT_EQ(run.names.find(std::string_view("\xD1\xFF", 2)), 1);
  EXPECT_EQ(run.listing.page_depth, 86);
  EXPECT_EQ(run.listing.dump_enclosure, 0x7C3A);
}

TEST_F(DriverStartUp, BannerShowsTitleAndStartMinute) {
  setenv("SOURCE_DATE_EPOCH", "1796308387", 1);  // 2026-12-03 14:33:07 UTC
  setenv("TZ", "UTC", 1);
  RunState& run = started({});
  const std::string line = banner_line(run);
  EXPECT_EQ(line.size(), 77u);
  EXPECT_EQ(line.substr(0, 20), "RECSIFT/WNT 2.08 at ");
  EXPECT_EQ(line.substr(61), "2026/12/03 14:33");
  unsetenv("SOURCE_DATE_EPOCH");
}

// Whole jobs one after another in one process, as a harness runs them: each gives its storage
// back, and the next, starting afresh, writes the same listing and output.
TEST(DriverJobs, EachJobReleasesItsStorage) {
  setenv("SOURCE_DATE_EPOCH", "1796308387", 1);
  setenv("TZ", "UTC", 1);
  char pattern[] = "/tmp/recsift-jobs-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = std::string(pattern) + "/";
  ASSERT_TRUE(testing::put_file_bytes(dir + "in.txt", "NORTH 1\nSOUTH 2\nNORTH 3\n"));
  ASSERT_TRUE(testing::put_file_bytes(
      dir + "job.ctl",
      "READ " + dir + "in.txt\nIF POS 1 = 'NORTH'\nTHEN WRITE " + dir + "hits.txt\nELSE PRINT\n"));
  const int64_t held = base::pool_blocks_held();
  std::string first;
  for (int job = 0; job < 3; ++job) {
    Args args({"-ctl", dir + "job.ctl", "-lst", dir + "job.lst", "-log", dir + "job.log"});
    EXPECT_EQ(run(args.argc(), args.argv()), 0);
    EXPECT_EQ(base::pool_blocks_held(), held) << job;
    const std::string out = testing::file_bytes(dir + "job.log") +
                            testing::file_bytes(dir + "job.lst") +
                            testing::file_bytes(dir + "hits.txt");
    if (job == 0) first = out;
    EXPECT_EQ(out, first) << job;
  }
  EXPECT_TRUE(first.ends_with("NORTH 1\r\nNORTH 3\r\n")) << first;
  for (const char* f : {"in.txt", "job.ctl", "job.lst", "job.log", "hits.txt", ""})
    std::remove((dir + f).c_str());
}

}  // namespace
}  // namespace recsift::driver
