// The listing file: headings, page breaks, echo, spacing, closing line, destinations, naming and
// the fatal stops, compared byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "base/fatal.h"
#include "report_test_util.h"

namespace recsift::report {
namespace {

using testing::columns;
using testing::headings;
using testing::read_file;
using testing::TestListing;

constexpr const char* kClosing = "\r\n    ** RECSIFT/WNT 2.08.666\r\n";

TEST(ListingPage, HeadingsFollowThePageWidth) {
  TestListing t;
  t.space(1);  // as the driver opens the listing before the first echo
  const std::string bytes = t.bytes();
  EXPECT_EQ(bytes, headings(132, 1) + "\r\n" + "\r\n");
  // Column c of the first line is byte c, after the carriage return of page 1.
  EXPECT_EQ(bytes.substr(106, 16), "2024/03/05 14:07");  // columns 106-121
  EXPECT_EQ(bytes.substr(125, 10), "PAGE   1\r\n");      // columns 125-132
  for (const auto& [width, shown] : {std::pair{66, 66}, {100, 100}, {158, 158}, {400, 158}}) {
    TestListing other;
    other.listing.page_width = width;
    other.text("x");
    EXPECT_EQ(other.bytes(), headings(shown, 1) + "\r\nx\r\n") << "PW " << width;
  }
}

TEST(ListingPage, PageBreakAfterThePageDepth) {
  TestListing t;
  t.listing.page_depth = 10;  // two heading lines, a blank line and seven lines of text
  for (int i = 1; i <= 8; ++i) t.text(("L" + std::to_string(i)).c_str());
  std::string expected = headings(132, 1) + "\r\n";
  for (int i = 1; i <= 7; ++i) expected += "L" + std::to_string(i) + "\r\n";
  expected += headings(132, 2) + "\r\nL8\r\n";
  EXPECT_EQ(t.bytes(), expected);
  EXPECT_EQ(t.special(convert::kSpPageNumber), 2);
  EXPECT_EQ(t.listing.lines_left, 6);
}

TEST(ListingPage, DepthChangeEndsTheCurrentPageAtTheNewDepth) {
  TestListing t;
  t.listing.page_depth = 20;
  t.text("T1");  // 4 lines used, 16 left
  listing_set_page_depth(t.listing, 12);
  EXPECT_EQ(t.listing.lines_left, 8);
  for (int i = 2; i <= 10; ++i) t.text(("T" + std::to_string(i)).c_str());
  const std::string bytes = t.bytes();
  EXPECT_NE(bytes.find("T9\r\n" + headings(132, 2) + "\r\nT10\r\n"), std::string::npos);
  EXPECT_EQ(t.listing.lines_left, 12 - 4);
}

TEST(ListingEcho, StatementNumberAndCarriageControl) {
  TestListing t;
  t.space(1);
  char first[] = "0         READ IN.DAT   \n";
  listing_print(t.listing, first, PT_ECHO, 3);
  char second[] = "          PRINT";
  listing_print(t.listing, second, PT_ECHO, 123456);
  char prefix_kept[] = " prefix   WRITE";
  listing_print(t.listing, prefix_kept, PT_ECHO, 0);
  EXPECT_EQ(t.bytes(), headings(132, 1) + "\r\n\r\n" +
                           "\r\n"                      // the "0" asks for a blank line first
                           "     3.  READ IN.DAT\r\n"  // number, point, two blanks, text
                           "123456.  PRINT\r\n"
                           "prefix   WRITE\r\n");
  EXPECT_EQ(std::string(first, 10), "0         ");  // the caller's buffer is not changed
}

TEST(ListingEcho, BlankLineRequestWithOneLineLeftMovesToTheHeading) {
  TestListing t;
  t.listing.page_depth = 10;
  for (int i = 0; i < 6; ++i) t.text("x");  // 9 lines used, one left
  char echo[] = "0         NEXT";
  listing_print(t.listing, echo, PT_ECHO, 4);
  std::string page_2 = headings(132, 2);
  page_2.insert(0, "\r\n");  // the blank line the "0" asked for precedes the heading
  EXPECT_EQ(t.bytes().substr(headings(132, 1).size() + 2 + 6 * 3),
            page_2 + "\r\n" + "     4.  NEXT\r\n");
  t.text("y");
  EXPECT_EQ(t.listing.heading_start, 1);
}

TEST(ListingSpacing, SpaceAndSkip) {
  struct Case {
    const char* name;
    int type;
    int32_t count;
    int blank_lines;  // blank lines between "FIRST" and "NEXT" on page 1
    bool new_page;    // NEXT starts page 2
  };
  // Page depth 20: after the heading, its blank line and FIRST, line 5 is next and 16 are left.
  const Case cases[] = {
      {"space 0 prints nothing", PT_SPACE, 0, 0, false},
      {"space 3", PT_SPACE, 3, 3, false},
      {"space leaving one line", PT_SPACE, 15, 15, false},
      {"space to the end of the page", PT_SPACE, 16, 0, true},
      {"space beyond the page", PT_SPACE, 40, 0, true},
      {"skip to line 8", PT_SKIP, 8, 3, false},
      {"skip to the current line", PT_SKIP, 5, 0, false},
      {"skip back to line 2", PT_SKIP, 2, 0, true},
  };
  for (const Case& c : cases) {
    TestListing t;
    t.listing.page_depth = 20;
    t.listing.line_fields_wanted = true;
    t.text("FIRST");
    listing_print(t.listing, nullptr, c.type, c.count);
    EXPECT_EQ(t.special(convert::kSpLine), c.new_page ? 0 : 4 + c.blank_lines) << c.name;
    EXPECT_EQ(t.special(convert::kSpLinesLeft), c.new_page ? 20 : 16 - c.blank_lines) << c.name;
    t.text("NEXT");
    std::string expected = headings(132, 1) + "\r\nFIRST\r\n";
    for (int i = 0; i < c.blank_lines; ++i) expected += "\r\n";
    expected += c.new_page ? headings(132, 2) + "\r\nNEXT\r\n" : "NEXT\r\n";
    EXPECT_EQ(t.bytes(), expected) << c.name;
  }
}

TEST(ListingClose, ClosingLineAndItsExceptions) {
  {
    TestListing t;  // closed before anything was printed: no file at all
    listing_print(t.listing, nullptr, PT_CLOSE, 0);
    EXPECT_EQ(std::fopen(t.path.c_str(), "rb"), nullptr);
  }
  struct Case {
    const char* name;
    bool no_totals;
    bool no_echo;
    bool closing;
  };
  for (const Case& c : {Case{"default", false, false, true}, Case{"NOPTOT", true, false, true},
                        Case{"NOPCTL", false, true, true}, Case{"NOP", true, true, false}}) {
    TestListing t;
    t.listing.no_totals = c.no_totals;
    t.listing.no_echo = c.no_echo;
    t.text("x");
    listing_print(t.listing, nullptr, PT_CLOSE, 0);
    EXPECT_EQ(read_file(t.path), headings(132, 1) + "\r\nx\r\n" + (c.closing ? kClosing : ""))
        << c.name;
    EXPECT_EQ(t.listing.file, nullptr);
    t.text("after close");  // dropped: the listing is not opened again
    EXPECT_EQ(read_file(t.path).find("after close"), std::string::npos);
  }
}

TEST(ListingDestination, LogAloneAndBoth) {
  std::FILE* log = std::tmpfile();
  ASSERT_NE(log, nullptr);
  base::set_log_stream(log);
  TestListing t;
  t.listing.destination = DEST_LOG;
  t.text("to the log   ");
  EXPECT_FALSE(t.listing.opened);  // no listing, no page
  t.listing.destination = DEST_LISTING | DEST_LOG;
  t.text("to both");
  t.listing.destination = DEST_LOG;
  t.listing.log_cut_80 = true;
  const std::string long_line = std::string(78, 'a') + "  " + "tail";
  t.text(long_line.c_str());
  std::fflush(log);
  std::rewind(log);
  char got[512] = {};
  const size_t n = std::fread(got, 1, sizeof got - 1, log);
  base::set_log_stream(nullptr);
  std::fclose(log);
  EXPECT_EQ(std::string(got, n), "to the log\nto both\n" + std::string(78, 'a') + "\n");
  EXPECT_EQ(t.bytes(), headings(132, 1) + "\r\nto both\r\n");
}

TEST(ListingName, EnvironmentAndStandardOutput) {
  {
    TestListing t;
    const std::string from_env = testing::temp_path("env.lst");
    t.listing.name.clear();
    setenv("RSFLST", from_env.c_str(), 1);
    t.text("x");
    unsetenv("RSFLST");
    EXPECT_EQ(t.listing.name, from_env);
    listing_print(t.listing, nullptr, PT_CLOSE, 0);
    EXPECT_EQ(read_file(from_env), headings(132, 1) + "\r\nx\r\n" + kClosing);
    std::remove(from_env.c_str());
  }
  {
    TestListing t;
    t.listing.name = "StdOut";
    ::testing::internal::CaptureStdout();
    t.text("x");
    listing_print(t.listing, nullptr, PT_CLOSE, 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), headings(132, 1) + "\r\nx\r\n" + kClosing);
  }
}

TEST(ListingFatal, BadTypeOpenAndWriteFailures) {
  EXPECT_EXIT(
      {
        TestListing t;
        listing_print(t.listing, "x", 3, 0);
      },
      ::testing::ExitedWithCode(5), "Print Type 0x3 invalid\\.");
  EXPECT_EXIT(
      {
        TestListing t;
        t.listing.name = "/nonexistent-folder/x.lst";
        t.text("x");
      },
      ::testing::ExitedWithCode(1), "Open /nonexistent-folder/x.lst failed\\.");
  EXPECT_EXIT(
      {
        TestListing t;
        t.listing.name = "/dev/full";
        t.text("x");
        listing_print(t.listing, nullptr, PT_CLOSE, 0);
      },
      ::testing::ExitedWithCode(77), "Write /dev/full failed\\.");
}

}  // namespace
}  // namespace recsift::report
