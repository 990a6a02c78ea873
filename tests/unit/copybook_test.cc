// Tests of the copybook reader: the reference format, every clause of the subset, the level
// structure, OCCURS and REDEFINES, the refusals, and the EQU statements. Offsets of the sample
// copybooks are checked against values decoded from their data files by other programs.
#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "copybook/copybook.h"

namespace recsift::copybook {
namespace {

// A copybook line: sequence area, indicator and text, as the columns put them.
std::string card(std::string_view text, char indicator = ' ') {
  return "000100" + std::string(1, indicator) + std::string(text) + "\n";
}

Layout parse_ok(const std::string& source, Options options = {}) {
  Layout layout;
  Error error;
  EXPECT_EQ(parse_copybook(source, options, &layout, &error), 0) << describe(error, "test");
  return layout;
}

Error parse_error(const std::string& source, Options options = {}) {
  Layout layout;
  Error error;
  EXPECT_EQ(parse_copybook(source, options, &layout, &error), 1) << source;
  EXPECT_TRUE(layout.items.empty());
  return error;
}

const Item* find(const Layout& layout, std::string_view name) {
  for (const Item& item : layout.items) {
    if (item.name == name) return &item;
  }
  return nullptr;
}

// Fields (non-group, non-filler) as "NAME@offset+length" for compact comparisons.
std::string fields(const Layout& layout) {
  std::string s;
  for (const Item& i : layout.items) {
    if (i.group || i.filler) continue;
    s += i.name + "@" + std::to_string(i.offset) + "+" + std::to_string(i.length) + " ";
  }
  return s;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return in ? s.str() : std::string();
}

TEST(CopybookFormat, SequenceIndicatorAndIdentificationAreasAreIgnored) {
  std::string src = card("* a comment line, PIC 9(99) COMP-1.", '*');
  src += card("page eject", '/');
  src += "ABCDEF 01  REC.\r\n";                       // sequence area with letters, CR LF
  src += card("    05  A-1   PIC X(3).      ") + "";  // trailing blanks
  src += "000300     05  B-2   PIC 9(4)." + std::string(42, ' ') + "IDENT123\n";
  src += card("    * shifted comment: no entry begins with a star");
  src += card("    05  C-3   PIC X(2");  // a word continued on the next line
  src += card("    5).", '-');
  src += card("    05  D-4 PIC X", ' ');
  src += card("        VALUE 'AB", ' ');  // a literal continued
  src += card("'C'.", '-');
  const Layout l = parse_ok(src);
  EXPECT_EQ(fields(l), "A_1@0+3 B_2@3+4 C_3@7+25 D_4@32+1 ");
  EXPECT_EQ(l.record_length, 33);
  EXPECT_EQ(find(l, "B_2")->line, 5);
}

TEST(CopybookPicture, FormsUsagesAndSizes) {
  struct Case {
    const char* clauses;
    Kind kind;
    int64_t length;
    bool is_signed;
    int digits;
    int scale;
  };
  // Lengths follow the storage rules: zoned one byte per digit, packed (digits + 1) / 2 rounded
  // up, binary 2/4/8 bytes for up to 4/9/18 digits.
  const Case cases[] = {
      {"PIC X(10)", Kind::kText, 10, false, 0, 0},
      {"PICTURE IS XXAA", Kind::kText, 4, false, 0, 0},
      {"PIC 9(3)V99", Kind::kZoned, 5, false, 5, 2},
      {"PIC S9(10)V99 USAGE IS DISPLAY", Kind::kZoned, 12, true, 12, 2},
      {"PIC 999PP", Kind::kZoned, 3, false, 3, -2},
      {"PIC PP99", Kind::kZoned, 2, false, 2, 4},
      {"PIC SVP9(2) COMP-3", Kind::kPacked, 2, true, 2, 3},
      {"PIC S9(7) COMP-3", Kind::kPacked, 4, true, 7, 0},
      {"PIC S9(6) PACKED-DECIMAL", Kind::kPacked, 4, true, 6, 0},
      {"PIC S9(9)V99 COMPUTATIONAL-3", Kind::kPacked, 6, true, 11, 2},
      {"PIC S9(4) COMP", Kind::kBinary, 2, true, 4, 0},
      {"PIC 9(5) BINARY", Kind::kBinary, 4, false, 5, 0},
      {"PIC 9(9) COMP-4", Kind::kBinary, 4, false, 9, 0},
      {"PIC S9(10)V99 COMPUTATIONAL", Kind::kBinary, 8, true, 12, 2},
      {"PIC S9(18) USAGE COMP-5", Kind::kBinary, 8, true, 18, 0},
  };
  for (const Case& c : cases) {
    const Layout l = parse_ok(card("01 R.") + card("05 F " + std::string(c.clauses) + "."));
    const Item* f = find(l, "F");
    ASSERT_NE(f, nullptr) << c.clauses;
    EXPECT_EQ(f->kind, c.kind) << c.clauses;
    EXPECT_EQ(f->length, c.length) << c.clauses;
    EXPECT_EQ(f->is_signed, c.is_signed) << c.clauses;
    EXPECT_EQ(f->digits, c.digits) << c.clauses;
    EXPECT_EQ(f->scale, c.scale) << c.clauses;
  }
}

TEST(CopybookPicture, SignPositionsAndInheritedUsage) {
  const Layout l = parse_ok(
      card("01 R.") + card("05 T PIC S99.") + card("05 L PIC S99 SIGN IS LEADING.") +
      card("05 LS PIC S99 SIGN LEADING SEPARATE CHARACTER.") +
      card("05 TS PIC S99 TRAILING SEPARATE.") + card("05 U PIC 99.") + card("05 G COMP-3.") +
      card("10 P1 PIC S9(3).") + card("10 P2 PIC 9(4) USAGE DISPLAY."));
  EXPECT_EQ(find(l, "T")->sign, SignPosition::kTrailing);
  EXPECT_EQ(find(l, "L")->sign, SignPosition::kLeading);
  EXPECT_EQ(find(l, "LS")->sign, SignPosition::kLeadingSeparate);
  EXPECT_EQ(find(l, "TS")->sign, SignPosition::kTrailingSeparate);
  EXPECT_EQ(find(l, "U")->sign, SignPosition::kNone);
  EXPECT_EQ(fields(l), "T@0+2 L@2+2 LS@4+3 TS@7+3 U@10+2 P1@12+2 P2@14+4 ");
  EXPECT_EQ(find(l, "P1")->kind, Kind::kPacked);  // the group's usage
  EXPECT_EQ(find(l, "P2")->kind, Kind::kZoned);   // its own
}

TEST(CopybookStructure, LevelsGroupsFillerAndSkippedLevels) {
  const Layout l = parse_ok(card("01 R.") + card("  03 K.") + card("    05 K1 PIC X.") +
                            card("    88 K1-YES VALUE 'Y'.") + card("    05 FILLER PIC X(2).") +
                            card("    05 PIC X.") + card("  03 N PIC 9 VALUE ZERO.") +
                            card("  66 ALIAS RENAMES K1 THRU N."));
  ASSERT_EQ(l.items.size(), 6u);
  EXPECT_TRUE(l.items[1].group);
  EXPECT_EQ(l.items[1].name, "K");
  EXPECT_EQ(l.items[1].depth, 1);
  EXPECT_EQ(l.items[1].length, 4);
  EXPECT_TRUE(l.items[3].filler);
  EXPECT_TRUE(l.items[4].filler);  // unnamed
  EXPECT_EQ(fields(l), "K1@0+1 N@4+1 ");
  EXPECT_EQ(l.record_length, 5);
  // Outermost items above 01 follow each other; the record ends after the last.
  EXPECT_EQ(fields(parse_ok(card("03 A PIC X.") + card("03 B.") + card("05 C PIC XX."))),
            "A@0+1 C@1+2 ");
}

TEST(CopybookStructure, NestedOccursNumbersEveryOccurrence) {
  const Layout l = parse_ok(card("01 R.") + card("05 T OCCURS 2 TIMES.") + card("10 A PIC X.") +
                            card("10 B PIC 9 OCCURS 3.") + card("05 Z PIC X."));
  EXPECT_EQ(fields(l),
            "A_1@0+1 B_1_1@1+1 B_1_2@2+1 B_1_3@3+1 A_2@4+1 B_2_1@5+1 B_2_2@6+1 B_2_3@7+1 "
            "Z@8+1 ");
  EXPECT_EQ(find(l, "T_2")->offset, 4);
  EXPECT_EQ(l.record_length, 9);
}

TEST(CopybookStructure, OccursDependingOnOnlyWhereItEndsItsRecord) {
  // The last field of the last group of its record; a second 01 record is another record.
  const std::string odo =
      card("01 R.") + card("05 N PIC S9(3) COMP-3.") + card("05 G.") + card("10 K PIC X(2).") +
      card("10 T OCCURS 0 TO 3 TIMES DEPENDING ON N IN R INDEXED BY I.") + card("15 A PIC X.") +
      card("15 B PIC 9 OCCURS 2.") + card("01 R2.") + card("05 W PIC X(20).");
  const Layout l = parse_ok(odo);
  EXPECT_EQ(fields(l),
            "N@0+2 K@2+2 A_1@4+1 B_1_1@5+1 B_1_2@6+1 A_2@7+1 B_2_1@8+1 B_2_2@9+1 A_3@10+1 "
            "B_3_1@11+1 B_3_2@12+1 ");
  EXPECT_EQ(l.record_length, 20);  // R2 is the longer record
  ASSERT_TRUE(l.variable);
  EXPECT_EQ(l.variable->line, 5);
  std::string out;
  Error error;
  ASSERT_EQ(write_equ(l, &out, &error), 0);
  EXPECT_EQ(out.substr(0, out.find("* R ")),
            "* Record length 20\n"
            "* T: OCCURS 0 TO 3 TIMES DEPENDING ON N, 3 bytes each from POS 5; records of 4 to "
            "13 bytes\n");
  EXPECT_FALSE(parse_ok(odo, {{"R2"}}).variable);  // the chosen record has no such table
  // Without TO; the record length counts the most occurrences.
  const Layout most = parse_ok(card("01 R.") + card("05 N-1 PIC 9.") +
                               card("05 T PIC X(4) OCCURS 5 DEPENDING ON N-1."));
  EXPECT_EQ(most.record_length, 21);
  ASSERT_TRUE(most.variable);
  EXPECT_EQ(table_note(*most.variable),
            "* T: OCCURS 5 TIMES DEPENDING ON N_1, 4 bytes each from POS 2; records of at most "
            "21 bytes\n");

  // Refused where bytes follow the table or the table repeats; the error names its line.
  const std::string not_last =
      "OCCURS DEPENDING ON is supported only at the end of a record (the items after the table "
      "would move with its count)";
  const std::string t = card("10 T PIC X OCCURS 1 TO 3 DEPENDING ON N.");
  const std::pair<std::string, std::string> refused[] = {
      {card("01 R.") + card("05 G.") + t + card("10 U PIC X."), not_last},
      {card("01 R.") + card("05 G.") + t + card("05 U PIC X."), not_last},
      {card("01 R.") + card("05 G.") + t + card("10 U REDEFINES T PIC X."), not_last},
      {card("01 R.") + card("05 A PIC X(9).") + card("05 G REDEFINES A.") + t, not_last},
      {card("05 G.") + t + card("05 U PIC X."), not_last},  // outermost items in sequence
      {card("01 R.") + card("05 G OCCURS 2.") + t,
       "OCCURS DEPENDING ON inside another OCCURS table is not supported"},
  };
  for (const auto& [source, reason] : refused) {
    const Error e = parse_error(source);
    EXPECT_EQ(e.reason, reason) << source;
    EXPECT_EQ(e.text, "000100 10 T PIC X OCCURS 1 TO 3 DEPENDING ON N.") << source;
  }
}

TEST(CopybookStructure, RedefinesTakesTheFirstLayoutUnlessAnotherIsChosen) {
  const std::string src = card("01 R.") + card("05 A PIC X(4).") +
                          card("05 B REDEFINES A PIC S9(7) COMP-3.") + card("05 C REDEFINES A.") +
                          card("10 C1 PIC XX.") + card("10 C2 PIC XX.") + card("05 D PIC X.") +
                          card("01 R2.") + card("05 W PIC X(9).");
  EXPECT_EQ(fields(parse_ok(src)), "A@0+4 D@4+1 ");
  EXPECT_EQ(fields(parse_ok(src, {{"b"}})), "B@0+4 D@4+1 ");
  EXPECT_EQ(fields(parse_ok(src, {{"C"}})), "C1@0+2 C2@2+2 D@4+1 ");
  // A second 01 record is an alternative of the first; the longest sets the record length.
  const Layout r2 = parse_ok(src, {{"R2"}});
  EXPECT_EQ(fields(r2), "W@0+9 ");
  EXPECT_EQ(r2.record_length, 9);
  EXPECT_EQ(parse_error(src, {{"B", "C"}}).reason,
            "--redefine C: another alternative of A is already chosen");
  EXPECT_EQ(parse_error(src, {{"D"}}).reason,
            "--redefine D: no REDEFINES alternative has that name");
}

TEST(CopybookErrors, NameTheLineAndTheText) {
  struct Case {
    std::string source;
    int line;
    const char* reason;
  };
  const std::string head = card("01 R.");
  const Case cases[] = {
      {head + card("05 A PIC X(3) COMPUTATIONAL-9."), 2, "unknown clause COMPUTATIONAL-9"},
      {head + card("05 A PIC X USAGE IS WEIRD."), 2, "unknown USAGE WEIRD"},
      {head + card("05 A PIC S9(4) COMP-1."), 2, "USAGE COMP-1 is not supported"},
      {head + card("05 A USAGE COMP-2."), 2, "USAGE COMP-2 is not supported"},
      {head + card("05 A INDEX."), 2, "USAGE INDEX is not supported"},
      {head + card("05 A USAGE POINTER."), 2, "USAGE POINTER is not supported"},
      {head + card("05 A PIC SV."), 2, "PICTURE SV: the PICTURE has no digit positions"},
      {head + card("05 A PIC ZZ9."), 2,
       "PICTURE ZZ9: the PICTURE symbol \"Z\" is not supported (only X, A, 9, S, V and P)"},
      {head + card("05 N PIC 9.") + card("05 T OCCURS 1 TO 5 DEPENDING ON N.") +
           card("10 X PIC X.") + card("05 Y PIC X."),
       3,
       "OCCURS DEPENDING ON is supported only at the end of a record (the items after the "
       "table would move with its count)"},
      {head + card("05 A PIC X DEPENDING ON N."), 2, "DEPENDING ON without OCCURS"},
      {head + card("05 A PIC X OCCURS 2 TO 5."), 2, "OCCURS n TO m needs DEPENDING ON"},
      {head + card("05 A PIC X OCCURS 6 TO 5 DEPENDING N."), 2,
       "OCCURS n TO m needs n no greater than m"},
      {head + card("05 A%B PIC X."), 2,
       "the name A%B holds a character other than a letter, a digit, \"-\" or \"_\""},
      {head + card("05 A.") + card("10 B PIC X.") + card("07 C PIC X."), 4,
       "level 7 is out of order (it matches no open group)"},
      {card("05 A PIC X.") + card("03 B PIC X."), 2,
       "level 3 is out of order (above the first entry's level)"},
      {head + card("05 A PIC X.") + card("10 B PIC X."), 3,
       "A has a PICTURE, so it cannot hold the fields that follow"},
      {head + card("05 A PIC X(2)") + card("05 B PIC X."), 3, "unknown clause 05"},
      {head + card("05 A PIC X." + std::string(62, ' ') + "X"), 2,
       "the line is longer than 80 columns"},
      {head + card("05 A PIC X.", 'D'), 2,
       "column 7 holds \"D\": only a blank, \"*\", \"/\" or \"-\" may stand there"},
      {head + card("05 A PIC X SYNC."), 2,
       "SYNCHRONIZED is not supported (it moves fields to word boundaries)"},
      {head + card("05 A PIC 9(19) COMP."), 2, "a binary number of more than 18 digits"},
      {head + card("05 A REDEFINES Q PIC X."), 2,
       "REDEFINES Q: no earlier item of the same level has that name"},
      {head + card("05 A."), 2, "A has neither a PICTURE nor fields of its own"},
      {head + card("05 A PIC X"), 2, "the last entry has no closing period"},
      {head + card("X-1 PIC X."), 2, "an entry must begin with a level number, not X-1"},
      {head + card("05 A PIC S9(4) VALUE 0") + card("   COMP-1."), 3,
       "USAGE COMP-1 is not supported"},
      {head + card("05 T OCCURS 65536.") + card("10 U OCCURS 65536.") + card("15 V PIC X."), 2,
       "T would be longer than 1 GiB"},
      {head + card("05 T OCCURS 1001.") + card("10 U OCCURS 1000.") + card("15 V PIC X."), 0,
       "the layout would hold more than 1000000 items (OCCURS nested too deep)"},
  };
  for (const Case& c : cases) {
    const Error e = parse_error(c.source);
    EXPECT_EQ(e.line, c.line) << c.source;
    EXPECT_EQ(e.reason, c.reason) << c.source;
  }
  // The message carries the file, the line number and the line's text.
  const Error e = parse_error(head + card("05  BAL  PIC S9(4) COMP-2."));
  EXPECT_EQ(describe(e, "acct.cpy"),
            "acct.cpy:2: USAGE COMP-2 is not supported: 000100 05  BAL  PIC S9(4) COMP-2.");
}

TEST(CopybookEqu, OneStatementPerNamedFieldAndACommentPerGroup) {
  const Layout l = parse_ok(
      card("01 ACCT-REC.") + card("05 ACCT-ID PIC 9(5).") + card("05 BAL PIC S9(7)V99 COMP-3.") +
      card("05 CNT PIC 9(4) COMP.") + card("05 ADDR OCCURS 2.") + card("10 CITY PIC X(3).") +
      card("05 LS PIC S9 SIGN LEADING SEPARATE.") + card("05 FILLER PIC X(4)."));
  std::string out;
  Error error;
  ASSERT_EQ(write_equ(l, &out, &error), 0);
  EXPECT_EQ(out,
            "* Record length 24\n"
            "* ACCT_REC POS 1 LEN 24\n"
            "EQU %ACCT_ID% POS 1 LEN 5 TYPE Z\n"
            "EQU %BAL% POS 6 LEN 5 TYPE P\n"
            "EQU %CNT% POS 11 LEN 2 TYPE B\n"
            "* ADDR_1 POS 13 LEN 3\n"
            "EQU %CITY_1% POS 13 LEN 3\n"
            "* ADDR_2 POS 16 LEN 3\n"
            "EQU %CITY_2% POS 16 LEN 3\n"
            "* LS: sign in the first byte\n"
            "EQU %LS% POS 19 LEN 2 TYPE Z\n");
  // Two fields of one name would make the second EQU replace the first: refused.
  const Layout twice = parse_ok(card("01 R.") + card("05 A.") + card("10 YEAR PIC 9(4).") +
                                card("05 B.") + card("10 YEAR PIC 9(4)."));
  EXPECT_EQ(write_equ(twice, &out, &error), 1);
  EXPECT_EQ(error.line, 5);
  EXPECT_EQ(error.reason,
            "the field name YEAR is used twice (lines 3 and 5): a second EQU would replace the "
            "first");
}

std::string csv_text(const Layout& layout, const CsvOptions& options) {
  std::string out;
  Error error;
  EXPECT_EQ(write_csv(layout, options, &out, &error), 0) << describe(error, "test");
  return out;
}

TEST(CopybookCsv, EachColumnSaysHowItsFieldIsRead) {
  const std::string src =
      card("01 R.") + card("05 ID PIC X(3).") + card("05 T PIC S99V9.") +
      card("05 L PIC S99 SIGN LEADING.") + card("05 LS PIC S9V99 SIGN LEADING SEPARATE.") +
      card("05 TS PIC S99 SIGN TRAILING SEPARATE.") + card("05 U PIC 9(3).") +
      card("05 P PIC S9(5)V99 COMP-3.") + card("05 BS PIC S9(4) COMP.") +
      card("05 BU PIC 9(5)V9 COMP-5.") + card("05 K PIC 999PP COMP-3.") + card("05 G OCCURS 2.") +
      card("10 C PIC X.") + card("05 FILLER PIC X(2).") + card("05 A PIC X(2).") +
      card("05 B REDEFINES A PIC 9(4) COMP.");
  CsvOptions o;
  o.copybook = "books/rec.cpy";
  const std::string columns =
      "COLUMN 'ID' POS 1 LEN 3\n"
      "COLUMN 'T' POS 4 LEN 3 TYPE Z DEC 1\n"
      "COLUMN 'L' POS 7 LEN 2 TYPE Z SIGN=LEADING\n"
      "COLUMN 'LS' POS 9 LEN 4 TYPE Z DEC 2 SIGN=LEADSEP\n"
      "COLUMN 'TS' POS 13 LEN 3 TYPE Z SIGN=TRAILSEP\n"
      "COLUMN 'U' POS 16 LEN 3 TYPE Z\n"
      "COLUMN 'P' POS 19 LEN 4 TYPE P DEC 2\n"
      "COLUMN 'BS' POS 23 LEN 2 TYPE B\n"
      "COLUMN 'BU' POS 25 LEN 4 TYPE B UNSIGNED DEC 1\n"
      "COLUMN 'K' POS 29 LEN 2 TYPE P DEC -2\n"
      "COLUMN 'C_1' POS 31 LEN 1\n"
      "COLUMN 'C_2' POS 32 LEN 1\n";
  EXPECT_EQ(csv_text(parse_ok(src), o),
            "* Records of %1 as CSV lines in %2, columns from rec.cpy\n"
            "READ %1 RECFM=F LRECL=36\n"
            "CSV %2 HEADER\n" +
                columns + "COLUMN 'A' POS 35 LEN 2\n");

  // The other REDEFINES alternative; V records; every CSV keyword. Characters that would end
  // or reshape the opening comment are left out of it.
  o.copybook = "/x/it's!.cpy";
  o.recfm = RecordFormat::kV;
  o.separator = '\t';
  o.ebcdic = o.trim = true;
  EXPECT_EQ(csv_text(parse_ok(src, {{"B"}}), o),
            "* Records of %1 as CSV lines in %2, columns from it?s?.cpy\n"
            "READ %1 RECFM=V NORDW\n"
            "CSV %2 SEP=TAB EBCDIC TRIM HEADER\n" +
                columns + "COLUMN 'B' POS 35 LEN 2 TYPE B UNSIGNED\n");

  // Separators, LRECL given, and what the first lines become.
  struct Case {
    RecordFormat recfm;
    int64_t lrecl;
    char separator;
    const char* head;  // the lines after the opening comment, up to the first COLUMN
  };
  const Case cases[] = {
      {RecordFormat::kFB, 40, ';', "READ %1 RECFM=FB LRECL=40\nCSV %2 SEP=';' HEADER\n"},
      {RecordFormat::kVB, 40, '\'', "READ %1 RECFM=VB NORDW LRECL=40\nCSV %2 SEP='''' HEADER\n"},
      {RecordFormat::kF, 30, ',',
       "* LRECL 30 holds 30 data bytes of the layout's 36: columns past byte 30 are empty\n"
       "READ %1 RECFM=F LRECL=30\nCSV %2 HEADER\n"},
      {RecordFormat::kV, 39, ',',
       "* LRECL 39 holds 35 data bytes of the layout's 36: columns past byte 35 are empty\n"
       "READ %1 RECFM=V NORDW LRECL=39\nCSV %2 HEADER\n"},
  };
  const Layout l = parse_ok(src);
  for (const Case& c : cases) {
    CsvOptions co;
    co.recfm = c.recfm;
    co.lrecl = c.lrecl;
    co.separator = c.separator;
    const std::string out = csv_text(l, co);
    const size_t from = out.find('\n') + 1;
    EXPECT_EQ(out.substr(from, out.find("COLUMN") - from), c.head);
  }
  // A V record longer than the default LRECL of 2048 gets an LRECL that holds it.
  CsvOptions v;
  v.recfm = RecordFormat::kV;
  EXPECT_NE(csv_text(parse_ok(card("01 R.") + card("05 X PIC X(3000).")), v)
                .find("\nREAD %1 RECFM=V NORDW LRECL=3004\n"),
            std::string::npos);

  // A variable table is noted before the statements; its columns are all there.
  const std::string odo = csv_text(
      parse_ok(card("01 R.") + card("05 N PIC 9.") + card("05 T PIC X OCCURS 1 TO 2 DEPENDING N.")),
      v);
  EXPECT_EQ(odo.substr(odo.find('\n') + 1),
            "* T: OCCURS 1 TO 2 TIMES DEPENDING ON N, 1 bytes each from POS 2; records of 2 to 3 "
            "bytes\n"
            "* A record that holds fewer occurrences gives empty cells for the others\n"
            "READ %1 RECFM=V NORDW\n"
            "CSV %2 HEADER\n"
            "COLUMN 'N' POS 1 LEN 1 TYPE Z\n"
            "COLUMN 'T_1' POS 2 LEN 1\n"
            "COLUMN 'T_2' POS 3 LEN 1\n");

  // Refused: nothing to make a column of; a column statement longer than a control line.
  std::string out;
  Error error;
  EXPECT_EQ(write_csv(parse_ok(card("01 R.") + card("05 FILLER PIC X.")), o, &out, &error), 1);
  EXPECT_EQ(error.reason, "the layout has no named elementary field to make a column of");
  Layout wide;
  wide.items.resize(1);
  wide.items[0].name = std::string(480, 'N');
  wide.items[0].line = 7;
  EXPECT_EQ(write_csv(wide, o, &out, &error), 1);
  EXPECT_EQ(error.line, 7);
}

// The columns written for the packed sample file, decoded here byte by byte, give the values
// another program's CSV of the same file holds, row for row.
TEST(CopybookCsv, PackedSampleColumnsGiveTheDecodedValues) {
  const std::string dir = RECSIFT_EXTERNAL_DATA_DIR;
  const std::string book = read_file(dir + "jrecord/DTAR020.cbl");
  const std::string data = read_file(dir + "jrecord/DTAR020.bin");
  std::string want = read_file(dir + "jrecord/DTAR020.csv");
  if (book.empty() || data.empty() || want.empty()) GTEST_SKIP() << "no shared sample folder";
  want.erase(std::remove(want.begin(), want.end(), '\r'), want.end());
  CsvOptions o;
  o.separator = '\t';
  o.ebcdic = true;
  const std::string ctl = csv_text(parse_ok(book), o);
  ASSERT_NE(ctl.find("\nREAD %1 RECFM=F LRECL=27\n"), std::string::npos);
  struct Column {
    std::string name;
    size_t pos = 0, len = 0;
    bool packed = false;
    int dec = 0;
  };
  std::vector<Column> columns;
  std::istringstream lines(ctl);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("COLUMN '", 0) != 0) continue;
    Column c;
    const size_t close = line.find('\'', 8);
    c.name = line.substr(8, close - 8);
    std::istringstream rest(line.substr(close + 1));
    for (std::string word; rest >> word;) {
      if (word == "POS") rest >> c.pos;
      if (word == "LEN") rest >> c.len;
      if (word == "DEC") rest >> c.dec;
      if (word == "TYPE") {
        rest >> word;
        c.packed = word == "P";
      }
    }
    columns.push_back(c);
  }
  ASSERT_EQ(columns.size(), 6u);
  std::string got;
  for (const Column& c : columns) {
    got += (got.empty() ? "" : "\t") + c.name.substr(c.name.find('_') + 1);  // no "DTAR020_"
  }
  got += "\n";
  for (size_t at = 0; at + 27 <= data.size(); at += 27) {
    for (size_t k = 0; k < columns.size(); ++k) {
      const Column& c = columns[k];
      const std::string_view f(data.data() + at + c.pos - 1, c.len);
      std::string cell;
      if (!c.packed) {
        for (char ch : f) cell += static_cast<char>((ch & 0x0F) + '0');  // EBCDIC digits only
      } else {
        int64_t v = 0;
        for (size_t b = 0; b < f.size(); ++b) {
          const unsigned char u = static_cast<unsigned char>(f[b]);
          v = v * 10 + (u >> 4);
          if (b + 1 < f.size()) v = v * 10 + (u & 15);
        }
        const bool negative = (static_cast<unsigned char>(f.back()) & 15) == 0xD;
        int64_t scale = 1;
        for (int d = 0; d < c.dec; ++d) scale *= 10;
        cell = (negative && v != 0 ? "-" : "") + std::to_string(v / scale);
        // The fraction with its leading zeros: scale + rest, without the scale's leading 1.
        if (c.dec > 0) cell += "." + std::to_string(v % scale + scale).substr(1);
      }
      got += (k ? "\t" : "") + cell;
    }
    got += "\n";
  }
  EXPECT_EQ(got, want);
}

// The project's copy of the account copybook, with the positions the account file's decoded
// values give (ACCT-CURR-BAL at 13 for 12 bytes, sign in byte 24, and so on).
TEST(CopybookSamples, AccountCopybookMatchesTheDecodedFile) {
  const std::string src = read_file(RECSIFT_COPYBOOK_SAMPLE_DIR "CVACT01Y.cpy");
  ASSERT_FALSE(src.empty());
  const Layout l = parse_ok(src);
  EXPECT_EQ(l.record_length, 300);
  EXPECT_EQ(fields(l),
            "ACCT_ID@0+11 ACCT_ACTIVE_STATUS@11+1 ACCT_CURR_BAL@12+12 ACCT_CREDIT_LIMIT@24+12 "
            "ACCT_CASH_CREDIT_LIMIT@36+12 ACCT_OPEN_DATE@48+10 ACCT_EXPIRAION_DATE@58+10 "
            "ACCT_REISSUE_DATE@68+10 ACCT_CURR_CYC_CREDIT@78+12 ACCT_CURR_CYC_DEBIT@90+12 "
            "ACCT_ADDR_ZIP@102+10 ACCT_GROUP_ID@112+10 ");
  const Item* bal = find(l, "ACCT_CURR_BAL");
  EXPECT_EQ(bal->sign, SignPosition::kTrailing);
  EXPECT_EQ(bal->scale, 2);
}

// Copybooks of the shared sample folder (not all may be copied into the project).
TEST(CopybookSamples, SharedSampleCopybooks) {
  const std::string dir = RECSIFT_EXTERNAL_DATA_DIR;
  const std::string dtar = read_file(dir + "jrecord/DTAR020.cbl");
  if (dtar.empty()) GTEST_SKIP() << "no shared sample folder";
  const Layout d = parse_ok(dtar);
  EXPECT_EQ(fields(d),
            "DTAR020_KEYCODE_NO@0+8 DTAR020_STORE_NO@8+2 DTAR020_DATE@10+4 DTAR020_DEPT_NO@14+2 "
            "DTAR020_QTY_SOLD@16+5 DTAR020_SALE_PRICE@21+6 ");
  EXPECT_EQ(d.record_length, 27);
  EXPECT_EQ(find(d, "DTAR020_STORE_NO")->kind, Kind::kPacked);

  const Layout s = parse_ok(read_file(dir + "jrecord/DTAR1000.cbl"));
  EXPECT_EQ(s.record_length, 60);
  EXPECT_EQ(find(s, "DTAR1000_REGION_NO")->offset, 2);
  EXPECT_EQ(find(s, "DTAR1000_REGION_NO")->kind, Kind::kBinary);
  EXPECT_EQ(find(s, "DTAR1000_HO_TYPE")->offset, 59);

  // The export file's account and customer alternatives.
  const std::string exp = read_file(dir + "carddemo/CVEXPORT.cpy");
  const Layout a = parse_ok(exp, {{"EXPORT-ACCOUNT-DATA"}});
  EXPECT_EQ(a.record_length, 500);
  const std::pair<const char*, int64_t> account[] = {
      {"EXPORT_SEQUENCE_NUM", 28},        {"EXP_ACCT_ID", 41},
      {"EXP_ACCT_CURR_BAL", 53},          {"EXP_ACCT_CREDIT_LIMIT", 60},
      {"EXP_ACCT_CASH_CREDIT_LIMIT", 72}, {"EXP_ACCT_CURR_CYC_DEBIT", 121},
      {"EXP_ACCT_GROUP_ID", 139}};
  for (const auto& [name, pos] : account) EXPECT_EQ(find(a, name)->offset + 1, pos) << name;
  EXPECT_EQ(find(a, "EXP_ACCT_CURR_BAL")->length, 7);
  EXPECT_EQ(find(a, "EXP_ACCT_CURR_CYC_DEBIT")->length, 8);
  const Layout c = parse_ok(exp, {{"EXPORT_CUSTOMER_DATA"}});
  EXPECT_EQ(find(c, "EXP_CUST_ADDR_LINE_3")->offset + 1, 220);
  EXPECT_EQ(find(c, "EXP_CUST_PHONE_NUM_2")->offset + 1, 300);
  EXPECT_EQ(find(c, "EXP_CUST_FICO_CREDIT_SCORE")->offset + 1, 365);
  EXPECT_EQ(find(c, "EXP_CUST_FICO_CREDIT_SCORE")->length, 2);

  // The table of varying size ends the record: every record of the V sample file is as long
  // as its count (packed, POS 5 LEN 2) says.
  const Layout v = parse_ok(read_file(dir + "mdu/COBVBFM2.cpy"));
  ASSERT_TRUE(v.variable);
  const VariableTable& t = *v.variable;
  const std::string vb = read_file(dir + "mdu/COBVBFM2.EBCDIC.txt");
  ASSERT_FALSE(vb.empty());
  int records = 0;
  for (size_t at = 0; at + 4 <= vb.size(); ++records) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(vb[k]); };
    const size_t length = byte(at) * 256 + byte(at + 1);
    ASSERT_GE(length, 10u);
    ASSERT_LE(at + length, vb.size());
    const int count =
        (byte(at + 4 + 4) >> 4) * 100 + (byte(at + 4 + 4) & 15) * 10 + (byte(at + 4 + 5) >> 4);
    EXPECT_EQ(static_cast<int64_t>(length - 4), t.offset + count * t.unit) << "record " << records;
    EXPECT_LE(count, t.max_occurs);
    at += length;
  }
  EXPECT_GT(records, 5);
}

}  // namespace
}  // namespace recsift::copybook
