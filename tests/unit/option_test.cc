// The OPTION statement: statements against the run settings they change (shown as the settings
// that differ from start-up) and the messages they raise.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "run_storage.h"
#include "statement_harness.h"

namespace recsift::compiler {
namespace {

using testing::CompileRun;

// Each test's runs and their pool blocks go when the test ends.
using OptionStatement = testing_support::RunsPerTest<CompileRun>;

// The settings of a run that differ from start-up, blank-separated.
std::string changed(CompileRun& run) {
  std::string out;
  auto add = [&out](const std::string& s) { out += (out.empty() ? "" : " ") + s; };
  const report::Listing& l = run.listing;
  const convert::SpecialArea sp(run.special);
  if (l.page_width != 132) add("pw=" + std::to_string(l.page_width));
  if (l.data_width != 100) add("dw=" + std::to_string(l.data_width));
  if (l.page_depth != 86) add("pd=" + std::to_string(l.page_depth));
  if (run.lines_left != 50) add("left=" + std::to_string(run.lines_left));
  if (l.length_print != 8) add("reclen=" + std::to_string(l.length_print));
  if (l.dump_enclosure != 0x7C3A) {
    add("enc=" + std::string(1, static_cast<char>(l.dump_enclosure >> 8)) +
        static_cast<char>(l.dump_enclosure & 0xFF));
  }
  if (l.dump_all) add("dumpall");
  if (l.no_echo) add("noecho");
  if (l.no_totals) add("nototals");
  if (l.report_mode) add("report");
  if (l.summary_level != 2) add("level=" + std::to_string(l.summary_level));
  if (!l.headings_built) add("rebuild");
  const files::FileList& f = run.files;
  if (f.fill_char != ' ') add(std::string("fill=") + static_cast<char>(f.fill_char));
  if (sp.byte(convert::kSpFillChar) != 0 && sp.byte(convert::kSpFillChar) != f.fill_char) {
    add("fill byte differs");
  }
  if (f.tabs_in != -1) add("tabsin=" + std::to_string(f.tabs_in));
  if (f.tabs_out != -1) add("tabsout=" + std::to_string(f.tabs_out));
  if (f.default_dir != nullptr) add(std::string("dir=") + f.default_dir);
  if (f.dir_sort != 0) add(std::string("sort=") + static_cast<char>(f.dir_sort));
  if (f.dir_sub != 0) add("sub=" + std::to_string(f.dir_sub));
  if (sp.get(convert::kSpWorkLength) != 0)
    add("work=" + std::to_string(sp.get(convert::kSpWorkLength)));
  const uint8_t sep = sp.byte(convert::kSpSeparator);
  if (sep != '!')
    add(sep == 0 ? std::string("sep=none") : std::string("sep=") + static_cast<char>(sep));
  if (sp.byte(convert::kSpNoRdw) != 1) add("rdw");
  if (sp.byte(convert::kSpKeyNotFoundRc) != 0)
    add("keynf=" + std::to_string(sp.byte(convert::kSpKeyNotFoundRc)));
  if (sp.byte(convert::kSpBannerFlags) != convert::kBannerWanted) add("nobanner");
  if (run.tokens.max_token_length != 516)
    add("contmax=" + std::to_string(run.tokens.max_token_length));
  const input::Variables& v = run.variables;
  if (v.no_env) add("noenv");
  if (v.envfail != input::EnvFail::kSame) {
    const char* names[] = {"same", "null", "text", "cancel"};
    add(std::string("envfail=") + names[static_cast<int>(v.envfail)]);
  }
  if (v.envfail_text != nullptr) add(std::string("envtext=") + v.envfail_text);
  return out;
}

struct OptionCase {
  const char* statements;  // one statement a line
  const char* changed;     // the settings that differ from start-up
  const char* messages;    // "n:m" per statement raising message m
};

TEST_F(OptionStatement, SettingsAndMessages) {
  const OptionCase cases[] = {
      // Listing sizes and their lower bounds.
      {"OPTION PW=60", "pw=66 rebuild", "1:6"},
      {"OPTION DW 5", "dw=60 rebuild", "1:6"},
      {"OPTION PD 5", "", "1:6"},
      {"OPTION PD 60", "pd=60 left=24", ""},
      {"OPT PAGEWIDTH 200 DATAWIDTH 150", "pw=200 dw=150 rebuild", ""},
      {"OPTION PW X", "", "1:7"},
      {"REPORT PW 100", "pw=100 report rebuild", ""},
      {"R\nOPTIONS REPORT", "report", ""},
      {"OPTION PRRECLEN NO", "reclen=0", ""},
      {"OPTION PRRECLEN", "reclen=1 rebuild", ""},
      {"OPTION PRRECLEN YES PW 70", "pw=70 reclen=1 rebuild", ""},
      {"OPTION DUMPENC <> DUMPALL", "enc=<> dumpall", ""},
      {"OPTION DUMPENC [ DUMPALL ON DUMPALL OFF", "enc=[:", ""},
      {"OPTION DUMPENC ABC", "", "1:167"},
      // The summary and the listing of statements.
      {"OPTION PRTSUM 3", "level=3", ""},
      {"OPTION PRTSUM 0", "nototals", ""},
      {"OPTION PRTSUM X", "level=1", "1:45"},
      {"NOPCTL\nOPTION PRTCTL", "", ""},
      // Separator, fill, banner, tokens.
      {"OPTION SEP ;", "sep=;", ""},
      {"OPTION SEP NO", "sep=none", ""},
      {"OPTION SEP ;;", "", "1:117"},
      {"OPTION FILL x", "fill=x", ""},
      {"OPTION PAD '*'", "fill=*", ""},
      {"OPTION FILL XY", "", "1:46"},
      {"OPTION CONTMAX 300", "", ""},
      {"OPTION CONTMAX 1000", "contmax=1000", ""},
      {"OPTION NOBANNER", "nobanner", ""},
      {"OPTION NOBAN BANNER", "", ""},
      // Work area, files and directories.
      {"OPTION WORKLEN 100\nOPTION W 200", "work=100", ""},
      {"OPTION W 10", "work=10", "1:66"},
      {"OPTION TABSIN 8 TABSOUT 4", "tabsin=8 tabsout=4", ""},
      {"OPTION SORT D SUB", "sort=D sub=256", ""},
      {"OPTION SORTDIR X", "", "1:166"},
      {"OPTION SORT NO SUB 2\nOPTION NOSUB", "", ""},
      {"OPTION RDW RC_KEYNF 12", "rdw keynf=12", ""},
      {"OPTION RC_KEYNF 256", "", "1:7"},
      {"OPTION DEFDIR /Data/My-Dir", "dir=/Data/My-Dir", ""},
      {"OPTION EOF AB ABTRAP ON ASA0 Y4", "", ""},
      {"OPTION EOF ABC", "", "1:67"},
      // Substitution.
      {"OPTION NOENV", "noenv", ""},
      {"OPTION ENVFAIL 'gone'", "envfail=text envtext=gone", ""},
      {"OPTION ENVFAIL 'gone'\nOPTION ENVFAIL NULL", "envfail=null", ""},
      {"OPTION NOENVVAR ENVFAIL CANCEL\nOPTION ENVVAR", "", ""},
      {"OPTION ENVFAIL MAYBE", "", "1:161"},
      // Keywords in any order; unknown ones are left over.
      {"OPTION HEAD NO PD 20 PW 80", "pw=80 pd=20 left=-16 rebuild", ""},
      {"OPTION PW 80 COLOUR RED", "pw=80 rebuild", "1:45"},
  };
  for (const OptionCase& c : cases) {
    CompileRun& run = new_run();
    EXPECT_EQ(run.compile_all(c.statements), c.messages) << c.statements;
    EXPECT_EQ(changed(run), c.changed) << c.statements;
    EXPECT_EQ(run.program.head->type, program::kStEnd) << c.statements;  // no record of its own
  }
}

TEST_F(OptionStatement, HeadingTitleAndRule) {
  CompileRun& run = new_run();
  std::memcpy(run.heading + 2, "RECSIFT/WNT 2.08 at ", 20);
  std::memset(run.rule, '-', 20);
  EXPECT_EQ(run.compile("OPTION HEAD 'Monthly run'"), "");
  EXPECT_EQ(std::string(run.heading + 2, 58), "Monthly run" + std::string(47, ' '));
  EXPECT_EQ(std::string(run.rule, 58), std::string(11, '-') + std::string(47, ' '));
  EXPECT_FALSE(run.listing.headings_built);

  EXPECT_EQ(run.compile("OPTION HD " + std::string(60, 'x')), "");  // cut to the title's width
  EXPECT_EQ(std::string(run.heading + 2, 57), std::string(56, 'x') + ' ');
  EXPECT_EQ(std::string(run.rule, 57), std::string(56, '-') + ' ');

  EXPECT_EQ(run.compile("OPTION H NO"), "");
  EXPECT_EQ(std::string(run.heading + 2, 56), std::string(56, ' '));
  EXPECT_EQ(std::string(run.rule, 56), std::string(56, ' '));
}

TEST_F(OptionStatement, DefaultDirectoryAfterAFileDefinition) {
  CompileRun& run = new_run();
  run.files.head = reinterpret_cast<files::FFREC*>(run.special);  // any file defined
  EXPECT_EQ(run.compile("OPTION DEFDIR /tmp/in"), "169@14+7");    // on the folder
  EXPECT_STREQ(run.files.default_dir, "/tmp/in");
}

TEST_F(OptionStatement, PrintOptionsChangeTheRunButEnclosureOnlyTheStatement) {
  CompileRun& run = new_run();
  EXPECT_EQ(run.compile_all("PRINT PW 90 PD 40 DUMPENC {} DUMPALL\nPRINT"), "");
  EXPECT_EQ(changed(run), "pw=90 pd=40 left=4 rebuild");
  EXPECT_EQ(dump(run.program),
            "1 act pr mod=17 arg=0x7b7d op0=field(pos 1 len rest type 1) flags=dumpall\n"
            "2 act pr mod=17 arg=0x7c3a op0=field(pos 1 len rest type 1)\n");
}

}  // namespace
}  // namespace recsift::compiler
