// The pending message, the catalogue file and the message printer: frames, underlines, the file
// name of run-time messages, the first-message copy on the log, and the shipped catalogue.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "base/fatal.h"
#include "host/host.h"
#include "report_test_util.h"

namespace recsift::report {
namespace {

using testing::headings;
using testing::read_file;
using testing::TestListing;

// A folder holding a recsift.msg with the given content; removed at the end of the test.
class Catalogue {
 public:
  explicit Catalogue(const std::string& content) {
    dir_ = testing::temp_path("msgdir");
    mkdir(dir_.c_str(), 0700);
    if (!content.empty()) {
      std::FILE* f = std::fopen(file().c_str(), "wb");
      std::fwrite(content.data(), 1, content.size(), f);
      std::fclose(f);
    }
  }
  ~Catalogue() {
    std::remove(file().c_str());
    rmdir(dir_.c_str());
  }
  std::string dir() const { return dir_ + "/"; }
  std::string file() const { return dir_ + "/recsift.msg"; }

 private:
  std::string dir_;
};

std::string sample() {
  std::string text =
      "* comment line\n"
      "E017 Statement out of order.\n"
      "E042 Token not allowed here! remark that is not shown\n"
      "E043 abcRV a line with RV in columns 9 and 10 is ignored\n"
      "E044 Ends at the carriage return\r\n"
      "Ex45 not a message line\n"
      "E046\n"
      "E521 ELSE without THEN.\n"
      "E537 fThe read failed.\n";
  // A line longer than 99 characters: the rest is passed over, not read as a line of its own.
  text += "E547 " + std::string(94, 'x') + "E548 never a line of its own\n";
  text += "E580 " + std::string(90, 'y') + "\n";
  return text;
}

// The messages of a run with the sample catalogue.
struct MessageRun {
  MessageRun() : catalogue(sample()), log(std::tmpfile()) {
    messages.program_dir = catalogue.dir();
    base::set_log_stream(log);  // the first message's copy stays out of the test output
  }
  ~MessageRun() {
    base::set_log_stream(nullptr);
    if (log != nullptr) std::fclose(log);
  }
  Catalogue catalogue;
  std::FILE* log;
  TestListing t;
  Messages messages;
};

TEST(MessagePending, FirstNumberStaysUntilCleared) {
  Messages m;
  record_error(m, 120, 4, 3);
  record_error(m, 130, 9, 9);
  EXPECT_EQ(m.pending, 120);
  EXPECT_EQ(m.mark_offset, 4);
  EXPECT_EQ(m.mark_length, 3);
  record_error(m, 0);
  EXPECT_EQ(m.pending, 0);
  EXPECT_EQ(m.mark_offset, -1);
  record_error(m, 130);
  EXPECT_EQ(m.pending, 130);
}

TEST(MessageCatalogue, LinesRemarksAndIgnoredLines) {
  Catalogue file(sample());
  Messages m;
  EXPECT_EQ(load_catalogue(m, file.file()), 8);
  struct Case {
    int32_t number;
    std::string text;
  };
  const Case cases[] = {
      {42, "Token not allowed here"},       // "!" ends the text
      {43, kMissingMessageText},            // "RV" line ignored
      {44, "Ends at the carriage return"},  // CR LF line end
      {45, kMissingMessageText},            // "Ex45" is not a message line
      {46, ""},                             // a number without text
      {547, std::string(94, 'x')},          // cut after 99 characters
      {548, kMissingMessageText},           // the rest of the long line
      {1, kMissingMessageText},             // never in the file
      {1000, kMissingMessageText},          // not a message number at all
  };
  for (const Case& c : cases) EXPECT_EQ(message_text(m, c.number), c.text) << c.number;
}

TEST(MessageCatalogue, WholeFileLoadedOnceForBothRanges) {
  MessageRun run;
  record_error(run.messages, 42);
  print_message(run.t.listing, run.messages);
  std::remove(run.catalogue.file().c_str());  // loaded once: the file is not read again
  EXPECT_EQ(message_text(run.messages, 521), "ELSE without THEN.");
  EXPECT_EQ(message_text(run.messages, 17), "Statement out of order.");
}

TEST(MessagePrint, CompileTimeFrameWithUnderline) {
  MessageRun run;
  run.t.space(1);
  char echo[] = "          MOVE 'X' TO POS 1";
  listing_print(run.t.listing, echo, PT_ECHO, 1);
  record_error(run.messages, 42, 5, 3);  // the token "'X'" at offset 5 of the statement
  EXPECT_EQ(print_message(run.t.listing, run.messages), 1);
  EXPECT_EQ(run.t.bytes(), headings(132, 1) + "\r\n\r\n" + "     1.  MOVE 'X' TO POS 1\r\n" +
                               std::string(14, ' ') + "***\r\n" +
                               "*** ERROR 042 ***  Token not allowed here\r\n" + "\r\n");
  EXPECT_EQ(run.messages.pending, 0);
  EXPECT_EQ(run.messages.mark_offset, -1);
  EXPECT_EQ(print_message(run.t.listing, run.messages), 1);  // nothing pending: nothing printed
  record_error(run.messages, 17, 0, 4);                      // out of order: no token to blame
  print_message(run.t.listing, run.messages);
  const std::string tail = "here\r\n\r\n*** ERROR 017 ***  Statement out of order.\r\n\r\n";
  const std::string bytes = run.t.bytes();
  EXPECT_EQ(bytes.substr(bytes.size() - std::min(bytes.size(), tail.size())), tail);
}

TEST(MessagePrint, WarningUnderlineOnly) {
  MessageRun run;
  run.messages.warning = true;
  run.messages.mark_offset = 0;
  run.messages.mark_length = 2;
  EXPECT_EQ(print_message(run.t.listing, run.messages), 0);
  EXPECT_EQ(run.t.bytes(), headings(132, 1) + "\r\n" + std::string(9, ' ') + "--\r\n");
  EXPECT_FALSE(run.messages.warning);

  MessageRun quiet;  // no statement echo: no warning either
  quiet.t.listing.no_echo = true;
  quiet.messages.warning = true;
  quiet.messages.mark_offset = 0;
  quiet.messages.mark_length = 2;
  EXPECT_EQ(print_message(quiet.t.listing, quiet.messages), 0);
  EXPECT_FALSE(quiet.t.listing.opened);
}

TEST(MessagePrint, RunTimeFrameAndFileName) {
  struct Case {
    int32_t number;
    const char* file_name;
    const char* file_message;
    std::string text;
  };
  const Case cases[] = {
      {521, nullptr, nullptr, "ELSE without THEN."},
      {537, "INFILE", nullptr, "F=INFILE - The read failed."},
      {537, "INFILE", "Write failed.", "F=INFILE - Write failed."},
      {537, nullptr, "Write failed.", "The read failed."},  // the marker never shows
  };
  for (const Case& c : cases) {
    MessageRun run;
    run.t.text("before");
    record_error(run.messages, c.number);
    run.messages.file_name = c.file_name;
    run.messages.file_message = c.file_message;
    print_message(run.t.listing, run.messages);
    char frame[64];
    std::snprintf(frame, sizeof frame, "*** SELECTION TIME ERROR %03d ***   ", c.number);
    EXPECT_EQ(run.t.bytes(), headings(132, 1) + "\r\nbefore\r\n\r\n" + std::string(18, ' ') +
                                 frame + c.text + "\r\n")
        << c.text;
    EXPECT_EQ(run.messages.file_name, nullptr);
  }
}

TEST(MessagePrint, RunTimeMessageDumpsTheInputBlock) {
  MessageRun run;
  const uint8_t block[] = {'A', 'B', 'C', 'D', 0x00, 0x01, 0x02, 0x03};
  run.t.listing.print_length = 99;  // the caller's own print settings survive the dump
  run.t.listing.selection_id = 7;
  record_error(run.messages, 521);
  run.messages.input_block = block;
  run.messages.input_block_length = sizeof block;
  print_message(run.t.listing, run.messages);
  const std::string frame = "*** SELECTION TIME ERROR 521 ***   ELSE without THEN.";
  EXPECT_EQ(
      run.t.bytes(),
      headings(132, 1) + "\r\n\r\n" + std::string(18, ' ') + frame + "\r\n\r\n" +
          "MOST RECENT INPUT BLOCK (PRINTED FROM I/O BUFFER)....\r\n" +
          "    INPUT   SEL SEL\r\n    RECNO   TOT ID.\r\n    -----   --- ---\r\n" +
          testing::columns(40, {{9, "0"}, {15, "0"}, {19, "0"}, {33, "8"}}) + "\r\n" +
          testing::columns(
              132,
              {{3, "0000"}, {9, "41424344"}, {18, "00010203"}, {86, "|ABCD...."}, {119, "|"}}) +
          "\r\n");
  EXPECT_EQ(run.messages.input_block, nullptr);
  EXPECT_EQ(run.t.listing.print_length, 99);
  EXPECT_EQ(run.t.listing.selection_id, 7);
}

TEST(MessagePrint, MissingCatalogue) {
  Catalogue empty("");
  std::FILE* log = std::tmpfile();
  base::set_log_stream(log);
  TestListing t;
  Messages m;
  m.program_dir = empty.dir();
  record_error(m, 42);
  print_message(t.listing, m);
  EXPECT_EQ(t.bytes(), headings(132, 1) +
                           "\r\n*** ERROR 042 ***  Error Number not in recsift.msg file\r\n\r\n");
}

TEST(MessagePrint, FirstMessageCopiedToTheLogAfterTheBanner) {
  MessageRun run;
  record_error(run.messages, 580);  // a long run-time line: the copy stops at column 77
  print_message(run.t.listing, run.messages);
  record_error(run.messages, 42);  // later messages stay in the listing
  print_message(run.t.listing, run.messages);
  std::fflush(run.log);
  std::rewind(run.log);
  char got[1024] = {};
  const size_t n = std::fread(got, 1, sizeof got - 1, run.log);
  const std::string copy =
      ("RECSIFT/WNT 2.08  *** SELECTION TIME ERROR 580 ***   " + std::string(90, 'y'))
          .substr(0, 77);
  EXPECT_EQ(std::string(got, n), std::string(testing::kShortBanner) + copy + "\n");
  EXPECT_NE(run.t.banner_flags() & convert::kBannerPrinted, 0);
}

// The shipped catalogue: the source tree's copy (the build copies it next to the program only
// when the program is relinked), else the copy beside the program.
std::string shipped_catalogue() {
  const std::string source =
      std::string(host::directory_part(__FILE__)) + "../../share/recsift.msg";
  if (!read_file(source).empty()) return source;
  const char* bin = std::getenv("RECSIFT_BIN");
  if (bin != nullptr && *bin != '\0') return std::string(host::directory_part(bin)) + "recsift.msg";
  return host::program_directory(nullptr) + "../recsift.msg";  // build/tests/unit_tests
}

// Every number the compilers, the linker, the record loop and the file verbs raise.
constexpr int32_t kRaised[] = {
    1,   2,   4,   5,   6,   7,   8,   9,   17,  18,  20,  22,  26,  27,  30,  31,  33,  36,
    41,  42,  45,  46,  50,  51,  52,  59,  62,  63,  64,  66,  67,  69,  74,  75,  78,  79,
    80,  81,  82,  83,  84,  86,  94,  95,  96,  104, 105, 110, 114, 117, 118, 121, 127, 128,
    129, 130, 131, 132, 133, 134, 135, 136, 137, 140, 144, 145, 152, 155, 156, 157, 159, 160,
    161, 162, 163, 166, 167, 168, 169, 170, 182, 513, 514, 520, 521, 522, 523, 524, 529, 537,
    538, 542, 543, 544, 545, 546, 547, 565, 567, 570, 571, 578, 579, 580, 901, 902};

TEST(MessageShippedCatalogue, EveryRaisedNumberHasAText) {
  const std::string path = shipped_catalogue();
  const std::string file = read_file(path);
  ASSERT_FALSE(file.empty()) << path;
  Messages m;
  load_catalogue(m, path);
  for (int32_t number : kRaised) {
    const std::string_view text = message_text(m, number);
    EXPECT_NE(text, kMissingMessageText) << number;
    EXPECT_FALSE(text.empty()) << number;
    EXPECT_LT(text.size(), 93u) << number;
    if (number < kFirstRunTimeMessage) {
      EXPECT_NE(text.front(), 'f') << number;
    }
  }
  // Ascending numbers, each once.
  int last = -1;
  for (size_t at = file.find("\nE"); at != std::string::npos; at = file.find("\nE", at + 1)) {
    const int number = std::atoi(file.substr(at + 2, 3).c_str());
    EXPECT_GT(number, last);
    last = number;
  }
}

}  // namespace
}  // namespace recsift::report
