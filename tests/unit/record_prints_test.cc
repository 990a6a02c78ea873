// The record print formats of the listing: character, raw, hexadecimal, both, mixed and the dumps,
// their column headings and rulers, the repeated-line summaries, the record-length column and
// page breaks, compared byte for byte with the listing file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/fatal.h"
#include "report_test_util.h"

namespace recsift::report {
namespace {

using testing::columns;
using testing::headings;
using testing::TestListing;

// Input record 7, SEL TOT 3, SEL ID 2 in columns 1-20.
const std::string kPrefix = "        7     3   2 ";
const std::string kBlank20(20, ' ');

// Character-family headings and ruler at DW 10.
const std::string kCharHead10 =
    "    INPUT   SEL SEL             RECORD\r\n"
    "    RECNO   TOT ID.          1  LENGTH\r\n"
    "    -----   --- --- ....,....0  ------\r\n";
const std::string kCharHead10NoLength =
    "    INPUT   SEL SEL\r\n"
    "    RECNO   TOT ID.          1\r\n"
    "    -----   --- --- ....,....0\r\n";
const std::string kRuler10 = kBlank20 + "....,....1\r\n";
const std::string kDumpHead =
    "    INPUT   SEL SEL\r\n"
    "    RECNO   TOT ID.\r\n"
    "    -----   --- ---\r\n";

std::string repeat(const std::string& text, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += text;
  return out;
}

std::string crlf(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\r\n";
  return out;
}

// The first line of a character print at DW 10: prefix, data, length column.
std::string char_first(const std::string& data, const std::string& length) {
  return columns(38, {{1, kPrefix}, {21, data}, {31, length}});
}

struct Printer {
  Printer(int32_t dw, bool length_column) {
    t.listing.data_width = dw;
    t.listing.length_print = length_column ? 8 : 0;
    t.listing.input_number = 7;
    t.listing.selection_total = 3;
    t.listing.selection_id = 2;
  }
  void print(const std::string& data, int type) {
    t.listing.print_length = static_cast<int32_t>(data.size());
    t.listing.record_length = static_cast<int32_t>(data.size());
    listing_print(t.listing, data.data(), type, 0);
  }
  // The listing after the page heading.
  std::string body() {
    const std::string bytes = t.bytes();
    const std::string head = headings(t.listing.page_width, 1);
    EXPECT_EQ(bytes.substr(0, head.size()), head);
    return bytes.substr(std::min(head.size(), bytes.size()));
  }
  TestListing t;
};

struct CharCase {
  const char* name;
  int type;
  std::string data;
  bool length_column;
  std::string expected;  // the lines after the column headings
};

TEST(RecordPrintCharacter, FormatsOfOneRecord) {
  const std::string twenty_five = "abcdefghij0123456789ABCDE";
  const CharCase cases[] = {
      {"C translates unprintable bytes to dots, 0x80 kept", PT_CHAR,
       std::string("AB\x01\x80\xff", 5), true, char_first("AB.\x80.", "      5") + "\r\n"},
      {"C splits a long record at the data width", PT_CHAR, twenty_five, true,
       crlf({char_first("abcdefghij", "     25"), kBlank20 + "0123456789", kBlank20 + "ABCDE"})},
      {"C without the length column", PT_CHAR, "xyz", false, kPrefix + "xyz\r\n"},
      {"N prints the bytes untranslated", PT_CHAR_RAW, std::string("A\x01\x7f", 3), true,
       char_first(std::string("A\x01\x7f", 3), "      3") + "\r\n"},
      {"H: empty line, zone line with prefix, digit line", PT_HEX, std::string("A1\0", 3), true,
       crlf({"", char_first("430", "      3"), kBlank20 + "110"})},
      {"H on a long record repeats the empty line for each chunk", PT_HEX, "0123456789AB", true,
       crlf({"", char_first("3333333333", "     12"), kBlank20 + "0123456789", "", kBlank20 + "44",
             kBlank20 + "12"})},
      {"B: characters with blanks for unprintable bytes", PT_BOTH, std::string("A\x01z", 3), true,
       crlf({"", char_first("A z", "      3"), kBlank20 + "407", kBlank20 + "11A"})},
      {"M: character or hexadecimal value", PT_MIXED, "A\r", true,
       crlf({"", char_first("A0", "      2"), kBlank20 + " D"})},
      {"M, 0x80 counts as printable", PT_MIXED_3, std::string("\x80\xff", 2), true,
       crlf({"",
             char_first("\x80"
                        "F",
                        "      2"),
             kBlank20 + " F"})},
      {"empty record prints the prefix", PT_CHAR, "", true, char_first("", "      0") + "\r\n"},
  };
  for (const CharCase& c : cases) {
    Printer p(10, c.length_column);
    p.print(c.data, c.type);
    EXPECT_EQ(p.body(), (c.length_column ? kCharHead10 : kCharHead10NoLength) + c.expected)
        << c.name;
  }
}

TEST(RecordPrintCharacter, PrefixAndLengthOverflowShowAsterisks) {
  Printer p(10, true);
  p.t.listing.input_number = 1000000000;
  p.t.listing.print_length = 2;
  p.t.listing.record_length = -12;
  listing_print(p.t.listing, "ab", PT_CHAR, 0);
  EXPECT_EQ(p.body(), kCharHead10 +
                          columns(38, {{1, "*********     3   2"}, {21, "ab"}, {31, "     12-"}}) +
                          "\r\n");
}

// The direct character prints (listing alone) and the general ones write the same bytes: records
// of every length around the data width running over page breaks, counts at the edges of their
// columns (SEL TOT 1,000,000 overflows), a trailing line feed and blanks, blocks closed by text, a
// dump and a PLOG print in between.
TEST(RecordPrintCharacter, DirectAndGeneralPathsAgree) {
  const auto listing_of = [](bool general, int32_t dw, bool length_column) {
    Printer p(dw, length_column);
    p.t.listing.general_prints = general;
    p.t.listing.page_depth = 12;
    const int32_t counts[] = {0, 1, 9, 10, 999999, 1000000, 999999999, 1000000000, INT32_MAX, -3};
    int step = 0;
    for (int type = PT_CHAR_RAW; type <= PT_MIXED_3; ++type) {
      for (int32_t size : {0, 1, dw - 1, dw, dw + 1, 3 * dw + 2}) {
        std::string data;
        for (int32_t i = 0; i < size; ++i) data += static_cast<char>((i * 37 + type) % 256);
        if (size > 2) data.replace(data.size() - 2, 2, step % 2 == 0 ? " \n" : "  ");
        p.t.listing.input_number = counts[step % 10];
        p.t.listing.selection_total = counts[(step + 3) % 10];
        p.t.listing.selection_id = counts[(step + 7) % 10];
        p.print(data, type);
        if (++step % 9 == 0) p.t.text("T");
        if (step % 13 == 0) p.print("ab", PT_DUMP);
        if (step % 17 == 0) {
          p.t.listing.destination = DEST_LISTING | DEST_LOG;
          p.print(data, type);
          p.t.listing.destination = DEST_LISTING;
        }
      }
    }
    listing_print(p.t.listing, nullptr, PT_CLOSE, 0);
    return p.t.bytes();
  };
  std::FILE* log = std::tmpfile();
  ASSERT_NE(log, nullptr);
  base::set_log_stream(log);
  for (int32_t dw : {1, 10, 100}) {
    for (bool length_column : {true, false}) {
      const std::string general = listing_of(true, dw, length_column);
      EXPECT_EQ(listing_of(false, dw, length_column), general) << dw << " " << length_column;
      EXPECT_NE(general.find("******"), std::string::npos);
    }
  }
  base::set_log_stream(nullptr);
  std::fclose(log);
}

TEST(RecordPrintCharacter, DefaultWidthHeadingsAndRuler) {
  Printer p(100, true);
  std::string data(250, 'x');
  data[0] = '\0';
  p.print(data, PT_CHAR);
  listing_print(p.t.listing, nullptr, PT_CLOSE, 0);
  std::string dots;
  std::string tens;
  std::string ruler;
  for (int i = 1; i <= 10; ++i) {
    dots += "....,....0";
    tens += "         " + std::to_string(i % 10);
    ruler += "....,...." + std::to_string(i % 10);
  }
  const std::string expected =
      "    INPUT   SEL SEL " + std::string(99, ' ') + "1  RECORD\r\n" + "    RECNO   TOT ID. " +
      tens + "  LENGTH\r\n" + "    -----   --- --- " + dots + "  ------\r\n" + kPrefix + "." +
      std::string(99, 'x') + "    250\r\n" + kBlank20 + std::string(100, 'x') + "\r\n" + kBlank20 +
      std::string(50, 'x') + "\r\n" + kBlank20 + ruler + "\r\n" +
      "\r\n    ** RECSIFT/WNT 2.08.666\r\n";
  EXPECT_EQ(p.body(), expected);
}

TEST(RecordPrintCharacter, WideDataWidthLeavesNoStaleColumns) {
  Printer p(150, true);
  p.print(std::string(150, 'X'), PT_CHAR);
  p.print("abc", PT_CHAR);
  const std::string bytes = p.body();
  const std::string second = kPrefix + "abc" + std::string(147, ' ') + "      3\r\n";
  EXPECT_NE(bytes.find("\r\n" + second), std::string::npos);
  // Beyond data column 100 the heading digits go on: "1" at 110 on the tens line.
  EXPECT_NE(bytes.find("         0         1         2         3         4         5  LENGTH"),
            std::string::npos);
}

struct BlockCase {
  const char* name;
  std::vector<int> types;  // PT_TEXT prints the text "T"
  std::string expected;    // after the page heading
};

TEST(RecordPrintBlock, HeadingsAndClosingRulers) {
  const std::string line = char_first("ab", "      2") + "\r\n";
  const std::string hex = "\r\n" + char_first("66", "      2") + "\r\n" + kBlank20 + "12\r\n";
  const std::string dump_first = columns(34, {{1, kPrefix}, {29, "    2"}}) + "\r\n";
  const std::string dump_line =
      columns(119, {{3, "0000"}, {9, "6162"}, {86, "|ab"}, {119, "|"}}) + "\r\n";
  const std::string dx_line = columns(119, {{3, "0000"}, {9, "6162"}}) + "\r\n";
  const BlockCase cases[] = {
      {"character types share one heading",
       {PT_CHAR, PT_HEX, PT_CHAR},
       kCharHead10 + line + hex + line},
      {"a text line closes the block with a ruler",
       {PT_CHAR, PT_TEXT, PT_CHAR},
       kCharHead10 + line + kRuler10 + "T\r\n" + kCharHead10 + line},
      {"a dump closes the block and has no heading of its own",
       {PT_CHAR, PT_DUMP, PT_DUMP},
       kCharHead10 + line + kRuler10 + dump_first + dump_line + dump_first + dump_line},
      {"dumps of one type share a heading, another type repeats it",
       {PT_DUMP, PT_DUMP_HEX},
       kDumpHead + dump_first + dump_line + kDumpHead + dump_first + dx_line},
      {"a character print after a dump has its heading",
       {PT_DUMP, PT_CHAR},
       kDumpHead + dump_first + dump_line + kCharHead10 + line},
      {"the listing's close writes the ruler",
       {PT_CHAR, PT_CLOSE},
       kCharHead10 + line + kRuler10 + "\r\n    ** RECSIFT/WNT 2.08.666\r\n"},
  };
  for (const BlockCase& c : cases) {
    Printer p(10, true);
    for (int type : c.types) {
      if (type == PT_TEXT) {
        p.t.text("T");
      } else if (type == PT_CLOSE) {
        listing_print(p.t.listing, nullptr, PT_CLOSE, 0);
      } else {
        p.print("ab", type);
      }
    }
    EXPECT_EQ(p.body(), c.expected) << c.name;
  }
}

// A dump line at PW 132: offset, hexadecimal digits in groups at their columns, character part.
std::string dump_line(const std::string& offset, const std::string& hex, const std::string& chars,
                      char enclosure = '|') {
  static const int kGroupColumns[] = {9, 18, 27, 36, 46, 55, 64, 73};
  std::string line(119, ' ');
  line.replace(2, 4, offset);
  for (size_t g = 0; g * 8 < hex.size(); ++g) {
    line.replace(static_cast<size_t>(kGroupColumns[g] - 1), std::min<size_t>(8, hex.size() - g * 8),
                 hex.substr(g * 8, 8));
  }
  line[85] = enclosure;
  line.replace(86, chars.size(), chars);
  line[118] = enclosure;
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line + "\r\n";
}

std::string same_line(const std::string& offset, const std::string& count, const std::string& end,
                      char enclosure = ':') {
  std::string line = columns(119, {{3, offset},
                                   {14, "=same="},
                                   {86, std::string(1, enclosure)},
                                   {119, std::string(1, enclosure)}});
  if (!count.empty()) line.replace(23, 15, count);
  if (!end.empty()) line.replace(6, 5, "-" + end);
  return line + "\r\n";
}

std::string dump_first(int32_t length) {
  char text[8];
  std::snprintf(text, sizeof text, "%5d", length);
  return columns(34, {{1, kPrefix}, {29, text}}) + "\r\n";
}

struct DumpCase {
  const char* name;
  int type;
  std::string data;
  uint16_t enclosure;
  bool dump_all;
  std::string expected;    // after the dump heading and the first line
  bool statement = false;  // the printing statement's own settings: "+" and "-", no DUMPALL
};

TEST(RecordPrintDump, LinesAndRepeats) {
  const std::string zeros32(64, '0');
  const std::string dots32(32, '.');
  std::string counting;
  for (int i = 0; i < 40; ++i) counting += static_cast<char>('A' + i % 26);
  const DumpCase cases[] = {
      {"short record", PT_DUMP, "ABC\x01", 0x7C3A, false, dump_line("0000", "41424301", "ABC.")},
      {"a second line with a partial last group", PT_DUMP, counting, 0x7C3A, false,
       dump_line("0000", "4142434445464748494A4B4C4D4E4F505152535455565758595A414243444546",
                 counting.substr(0, 32)) +
           dump_line("0020", "4748494A4B4C4D4E", counting.substr(32))},
      {"4096 zero bytes fold into one summary", PT_DUMP, std::string(4096, '\0'), 0x7C3A, false,
       dump_line("0000", zeros32, dots32) + same_line("0020", "    (127 lines)", "0FFF")},
      {"a single repeated line shows no count", PT_DUMP, std::string(64, 'q') + "xyz", 0x7C3A,
       false,
       dump_line("0000", repeat("71", 32), std::string(32, 'q')) + same_line("0020", "", "") +
           dump_line("0040", "78797A", "xyz")},
      {"DUMPALL prints repeated lines in full", PT_DUMP, std::string(64, '\0'), 0x7C3A, true,
       dump_line("0000", zeros32, dots32) + dump_line("0020", zeros32, dots32)},
      {"one enclosing character keeps the summary's", PT_DUMP, std::string(64, '\0'), 0x2A3A, false,
       dump_line("0000", zeros32, dots32, '*') + same_line("0020", "", "003F")},
      {"thousands in the repeat count", PT_DUMP, std::string(32 * 1002, '\0'), 0x7C3A, false,
       dump_line("0000", zeros32, dots32) + same_line("0020", "  (1,001 lines)", "7D3F")},
      {"offsets past 65535 show their low 16 bits", PT_DUMP, std::string(65540, '\0'), 0x7C3A,
       false,
       dump_line("0000", zeros32, dots32) + same_line("0020", "  (2,047 lines)", "") +
           dump_line("0000", "00000000", "....")},
      {"DX leaves the character part and enclosures blank", PT_DUMP_HEX, std::string(64, '\0'),
       0x7C3A, false,
       columns(119, {{3, "0000"},
                     {9, "00000000"},
                     {18, "00000000"},
                     {27, "00000000"},
                     {36, "00000000"},
                     {46, "00000000"},
                     {55, "00000000"},
                     {64, "00000000"},
                     {73, "00000000"}}) +
           "\r\n" + columns(119, {{3, "0020-003F"}, {14, "=same="}}) + "\r\n"},
      {"a statement's own settings win over the run-wide", PT_DUMP, std::string(64, '\0'), 0x7C3A,
       true, dump_line("0000", zeros32, dots32, '+') + same_line("0020", "", "003F", '-'), true},
      {"DA shows the bytes untranslated", PT_DUMP_DA, std::string("a\x01", 2), 0x7C3A, false,
       dump_line("0000", "6101", std::string("a\x01", 2))},
      {"DE shows the bytes untranslated", PT_DUMP_DE, std::string("\xc1", 1), 0x7C3A, false,
       dump_line("0000", "C1", "\xc1")},
  };
  for (const DumpCase& c : cases) {
    Printer p(10, true);
    p.t.listing.dump_enclosure = c.enclosure;
    p.t.listing.dump_all = c.dump_all;
    p.t.listing.statement_dump = c.statement;
    p.t.listing.statement_enclosure = 0x2B2D;
    p.print(c.data, c.type);
    EXPECT_EQ(p.body(), kDumpHead + dump_first(static_cast<int32_t>(c.data.size())) + c.expected)
        << c.name;
  }
}

TEST(RecordPrintDump, NarrowPageHasThreeGroupsWithoutGap) {
  Printer p(10, true);
  p.t.listing.page_width = 66;
  p.print("ABCDEFGHIJKLMN", PT_DUMP);
  EXPECT_EQ(p.body(), kDumpHead + dump_first(14) +
                          columns(53, {{3, "0000"},
                                       {9, "41424344"},
                                       {18, "45464748"},
                                       {27, "494A4B4C"},
                                       {40, "|ABCDEFGHIJKL|"}}) +
                          "\r\n" + columns(53, {{3, "000C"}, {9, "4D4E"}, {40, "|MN"}, {53, "|"}}) +
                          "\r\n");
}

TEST(RecordPrintPage, LongRecordRunsPastTheDepthAndTheNextStartsAPage) {
  Printer p(10, true);
  p.t.listing.page_depth = 10;  // 2 heading lines, 3 column headings, 5 lines left
  const std::string data = "abcdefghij0123456789ABCDE";
  const std::string lines =
      crlf({char_first("abcdefghij", "     25"), kBlank20 + "0123456789", kBlank20 + "ABCDE"});
  p.print(data, PT_CHAR);  // 2 left
  p.print(data, PT_CHAR);  // fits the 2 it needs, goes 1 past the depth
  p.print(data, PT_CHAR);  // new page
  EXPECT_EQ(p.body(),
            kCharHead10 + lines + lines + kRuler10 + headings(132, 2) + kCharHead10 + lines);
  EXPECT_EQ(p.t.listing.lines_left, 2);
}

TEST(RecordPrintPage, DumpNeedsTwoLines) {
  Printer p(10, true);
  p.t.listing.page_depth = 10;
  p.print("ab", PT_DUMP);  // 5 + 2 lines used, 3 left
  p.print("ab", PT_DUMP);  // 1 left
  p.print("ab", PT_DUMP);  // new page
  const std::string one = dump_first(2) + dump_line("0000", "6162", "ab");
  EXPECT_EQ(p.body(), kDumpHead + one + one + headings(132, 2) + kDumpHead + one);
}

// A LOG print reaches the log alone and leaves the listing's block open; a PLOG print writes its
// lines to both, the headings and rulers to the listing only.
TEST(RecordPrintDestination, LogAndBoth) {
  std::FILE* log = std::tmpfile();
  ASSERT_NE(log, nullptr);
  base::set_log_stream(log);
  Printer p(10, true);
  p.print("ab", PT_CHAR);
  p.t.listing.destination = DEST_LOG;
  p.print("ab", PT_DUMP);
  p.t.listing.destination = DEST_LISTING | DEST_LOG;
  p.print("ab", PT_HEX);
  p.t.listing.destination = DEST_LISTING;
  p.t.text("T");
  std::fflush(log);
  std::rewind(log);
  char got[1024] = {};
  const size_t n = std::fread(got, 1, sizeof got - 1, log);
  base::set_log_stream(nullptr);
  std::fclose(log);
  const std::string dump_first_line = columns(34, {{1, kPrefix}, {29, "    2"}});
  const std::string dump_data = columns(119, {{3, "0000"}, {9, "6162"}, {86, "|ab"}, {119, "|"}});
  EXPECT_EQ(std::string(got, n), dump_first_line + "\n" + dump_data + "\n\n" +
                                     char_first("66", "      2") + "\n" + kBlank20 + "12\n");
  EXPECT_EQ(p.body(), kCharHead10 + char_first("ab", "      2") + "\r\n\r\n" +
                          char_first("66", "      2") + "\r\n" + kBlank20 + "12\r\n" + kRuler10 +
                          "T\r\n");
}

}  // namespace
}  // namespace recsift::report
