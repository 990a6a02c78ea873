// Tests of record input and output: fixed and text records read back from temporary files (every
// line end, cut lines, EOL=NO pieces, tabs, control-Z), the same reads through a host that hands
// out one byte at a time, writes with padding, cuts and delimiters, append and replace, update
// in place, reads at a byte address, the buffer sentinel and the error texts.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "file_bytes.h"

#include "files/files.h"
#include "files/record_io.h"

namespace recsift::files {
namespace {

// Hears of failures as the run does, keeping their lines.
class Lines : public IoReporter {
 public:
  void failed(const FFREC& file, const char* text) override {
    ++calls;
    text_ += failure_line(file, text);
  }
  std::string text_;
  int calls = 0;
};

// A host that gives at most max_read bytes per read and fails the calls it is told to.
class TestHost : public FileHost {
 public:
  // BLKSIZE-sized host reads and writes, so that short blocks show.
  int32_t minimum_buffer() const override { return 0; }
  int64_t max_read = 0;         // 0 = no limit
  int reads_before_error = -1;  // reads that succeed before one fails (-1 = never)
  bool fail_write = false;
  bool fail_seek = false;
  int read(int handle, void* buf, int64_t len, int64_t* got) override {
    if (reads_before_error == 0) return 5;
    if (reads_before_error > 0) --reads_before_error;
    if (max_read > 0 && len > max_read) len = max_read;
    return FileHost::read(handle, buf, len, got);
  }
  int write(int handle, const void* buf, int64_t len) override {
    return fail_write ? 28 : FileHost::write(handle, buf, len);
  }
  int seek(int handle, int64_t offset, int whence, int64_t* position) override {
    return fail_seek ? 22 : FileHost::seek(handle, offset, whence, position);
  }
};

class RecordIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    request_.reporter = &lines_;
    request_.host = &host_;
    path_ = ::testing::TempDir() + "recsift_record_io_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".dat";
  }
  void TearDown() override {
    for (FFREC* f : files_) {
      if (f->is_open) close_file(request_, *f);
      if (f->buffer != nullptr) base::qelgrel(&f->buffer, "buf");
      delete f;
    }
    std::remove(path_.c_str());
  }

  // A file control block for path_ as the definitions would leave it.
  FFREC& define(uint8_t recfm, uint8_t open_type, int32_t lrecl = 0, int32_t blksize = 0) {
    auto* f = new FFREC{};
    files_.push_back(f);
    f->file_type = kFileOrdinary;
    f->recfm = recfm;
    f->open_type = open_type;
    f->lrecl = lrecl;
    f->blksize = blksize;
    f->tab_width = -1;
    f->fill_char = ' ';
    f->replace = true;
    f->truncate = (open_type & kOpenOutput) != 0;
    f->delimiter_length = recfm == kRecfmU ? 2 : 0;
    if (recfm == kRecfmU && (open_type & kOpenOutput)) f->delimiter = "\r\n";
    f->full_name = true;
    f->dsn = const_cast<char*>(path_.c_str());
    f->handle = -1;
    return *f;
  }

  void put(const std::string& bytes) {
    ASSERT_TRUE(recsift::testing::put_file_bytes(path_, bytes));
  }
  std::string contents() { return recsift::testing::file_bytes(path_); }
  // Every record until the first result that is not one (kept in last_), read into an area of
  // area_length bytes (0: views).
  std::vector<std::string> read_all(FFREC& f, int32_t area_length = 0) {
    std::vector<std::string> records;
    std::vector<uint8_t> area(static_cast<size_t>(area_length) + 1);
    for (int guard = 0; guard < 100000; ++guard) {
      last_ = read_record(request_, f, area_length > 0 ? area.data() : nullptr, area_length);
      if (!last_.ok()) break;
      EXPECT_EQ(last_.length, f.current_length);
      records.emplace_back(reinterpret_cast<const char*>(last_.record()),
                           static_cast<size_t>(last_.length));
    }
    return records;
  }
  IoResult read(FFREC& f, char* area = nullptr, int32_t length = 0) {
    return read_record(request_, f, reinterpret_cast<uint8_t*>(area), length);
  }
  IoResult read_position(FFREC& f, int64_t position) {
    f.position = position;
    return read_at(request_, f, nullptr, 0);
  }
  static std::string text(const IoResult& r) {
    return {reinterpret_cast<const char*>(r.record()), static_cast<size_t>(r.length)};
  }
  IoResult write(FFREC& f, const std::string& record) {
    return write_record(request_, f, reinterpret_cast<const uint8_t*>(record.data()),
                        static_cast<int32_t>(record.size()));
  }
  IoResult update(FFREC& f, const void* data, int32_t length) {
    return update_record(request_, f, static_cast<const uint8_t*>(data), length);
  }
  IoResult close(FFREC& f) { return close_file(request_, f); }
  std::string report() const { return lines_.text_; }

  TestHost host_;
  Lines lines_;
  FileRequest request_;
  IoResult last_;
  std::string path_;
  std::vector<FFREC*> files_;
};

using Records = std::vector<std::string>;

// ---- Reading text and fixed records ----------------------------------------------------------

struct ReadCase {
  const char* name;
  std::string bytes;
  uint8_t recfm;
  int32_t lrecl;
  int32_t blksize;
  const char* delimiter;  // null: CR, LF and CR LF recognised
  int32_t delimiter_length;
  int32_t tab_width;
  bool keep_ctlz;
  Records expected;
};

const std::string kLong300(300, 'x');

const ReadCase kReadCases[] = {
    {"lf", "a\nbb\n", kRecfmU, 0, 0, nullptr, 2, -1, false, {"a", "bb"}},
    {"crlf", "a\r\nbb\r\n", kRecfmU, 0, 0, nullptr, 2, -1, false, {"a", "bb"}},
    {"cr", "a\rbb\r", kRecfmU, 0, 0, nullptr, 2, -1, false, {"a", "bb"}},
    {"mixed", "A\r\nB\rC\n", kRecfmU, 0, 0, nullptr, 2, -1, false, {"A", "B", "C"}},
    {"no final line end", "a\nlast", kRecfmU, 0, 0, nullptr, 2, -1, false, {"a", "last"}},
    {"empty lines", "\n\r\nx\n", kRecfmU, 0, 0, nullptr, 2, -1, false, {"", "", "x"}},
    {"empty file", "", kRecfmU, 0, 0, nullptr, 2, -1, false, {}},
    {"control-Z dropped", "a\n\x1A", kRecfmU, 0, 0, nullptr, 2, -1, false, {"a"}},
    {"control-Z kept", "a\n\x1A", kRecfmU, 0, 0, nullptr, 2, -1, true, {"a", "\x1A"}},
    {"control-Z inside kept",
     "a\n\x1A"
     "b\n",
     kRecfmU,
     0,
     0,
     nullptr,
     2,
     -1,
     false,
     {"a",
      "\x1A"
      "b"}},
    {"control-Z alone", "\x1A", kRecfmU, 0, 0, nullptr, 2, -1, false, {}},
    {"line cut at lrecl",
     kLong300 + "\n",
     kRecfmU,
     256,
     0,
     nullptr,
     2,
     -1,
     false,
     {std::string(256, 'x'), std::string(44, 'x')}},
    {"line of exactly lrecl", "abcd\r\nef\n", kRecfmU, 4, 6, nullptr, 2, -1, false, {"abcd", "ef"}},
    {"crlf across blocks",
     "abc\r\nd\r\nefgh\r\n",
     kRecfmU,
     4,
     6,
     nullptr,
     2,
     -1,
     false,
     {"abc", "d", "efgh"}},
    {"eol=no pieces", "abcdefghij", kRecfmU, 4, 0, nullptr, 0, -1, false, {"abcd", "efgh", "ij"}},
    {"delimiter text", "a||bb||c", kRecfmU, 0, 0, "||", 2, -1, false, {"a", "bb", "c"}},
    {"delimiter text split by block",
     "abc||d|e||",
     kRecfmU,
     4,
     6,
     "||",
     2,
     -1,
     false,
     {"abc", "d|e"}},
    {"tab expanded",
     "abc\td\n\tx\n",
     kRecfmU,
     0,
     0,
     nullptr,
     2,
     8,
     false,
     {"abc     d", "        x"}},
    {"tab kept without width", "abc\td\n", kRecfmU, 0, 0, nullptr, 2, -1, false, {"abc\td"}},
    {"fixed", "abcdefg", kRecfmF, 3, 0, nullptr, 0, -1, false, {"abc", "def", "g"}},
    {"fixed keeps line ends",
     "a\nb\nc\n",
     kRecfmF,
     2,
     4,
     nullptr,
     0,
     -1,
     false,
     {"a\n", "b\n", "c\n"}},
};

class RecordIoReadTest : public RecordIoTest {
 public:
  void check(const ReadCase& c, int64_t max_read) {
    SCOPED_TRACE(std::string(c.name) + (max_read > 0 ? " (1-byte reads)" : ""));
    host_.max_read = max_read;
    put(c.bytes);
    FFREC& f = define(c.recfm, kOpenInput, c.lrecl, c.blksize);
    f.delimiter = c.delimiter;
    f.delimiter_length = c.delimiter_length;
    f.tab_width = c.tab_width;
    f.keep_ctlz = c.keep_ctlz;
    EXPECT_EQ(read_all(f, 4096), c.expected);
    EXPECT_EQ(last_.status, IoStatus::kEndOfFile);
    EXPECT_FALSE(f.is_open);  // end of file closed it
    if (c.tab_width < 0) {
      // Views into the buffer give the same records.
      EXPECT_EQ(read_all(f), c.expected);
    }
    EXPECT_EQ(report(), "");
  }
};

TEST_F(RecordIoReadTest, RecordsAsWritten) {
  for (const ReadCase& c : kReadCases) check(c, 0);
}

TEST_F(RecordIoReadTest, RecordsAsWrittenThroughOneByteReads) {
  for (const ReadCase& c : kReadCases) check(c, 1);
}

TEST_F(RecordIoTest, MegabyteLineIsCutIntoLreclPieces) {
  const std::string line(1 << 20, 'q');
  put("head\n" + line + "\ntail\n");
  FFREC& f = define(kRecfmU, kOpenInput, 1000);
  const Records got = read_all(f);
  ASSERT_EQ(got.size(), 2 + (line.size() + 999) / 1000);
  EXPECT_EQ(got.front(), "head");
  EXPECT_EQ(got[1], std::string(1000, 'q'));
  EXPECT_EQ(got[got.size() - 2], std::string(line.size() % 1000, 'q'));
  EXPECT_EQ(got.back(), "tail");
  EXPECT_EQ(f.longest_record, 1000);
}

TEST_F(RecordIoTest, PositionsAndCountsFollowTheRecords) {
  put("one\r\ntwo\nthree");
  FFREC& f = define(kRecfmU, kOpenInput);
  const int64_t expected_position[] = {0, 5, 9};
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(read(f).ok());
    EXPECT_EQ(f.position, expected_position[i]);
    EXPECT_EQ(f.record_count, i + 1);
  }
  EXPECT_EQ(f.delimiter_found, 0);
  EXPECT_EQ(read(f).status, IoStatus::kEndOfFile);
  EXPECT_EQ(f.position, 14);  // the offset reached
  // A READ after end of file starts again from the beginning.
  ASSERT_TRUE(read(f).ok());
  EXPECT_EQ(f.position, 0);
}

TEST_F(RecordIoTest, SplitMarkTellsACutLine) {
  put("abcdefgh\nxy\n");
  FFREC& f = define(kRecfmU, kOpenInput, 5);
  ASSERT_TRUE(read(f).ok());
  EXPECT_TRUE(f.truncate);
  ASSERT_TRUE(read(f).ok());
  EXPECT_FALSE(f.truncate);
}

TEST_F(RecordIoTest, FillClearsTheRestOfTheLongerPreviousRecord) {
  put("abcdef\nxy\n");
  FFREC& f = define(kRecfmU, kOpenInput);
  f.fill = true;
  f.fill_char = '.';
  char area[16];
  std::memset(area, '#', sizeof area);
  ASSERT_TRUE(read(f, area, sizeof area).ok());
  ASSERT_TRUE(read(f, area, sizeof area).ok());
  EXPECT_EQ(std::string(area, 7), "xy....#");
  EXPECT_EQ(read(f, area, sizeof area).status, IoStatus::kEndOfFile);
  EXPECT_EQ(std::string(area, 3), "...");
}

// ---- Missing files and failures --------------------------------------------------------------

TEST_F(RecordIoTest, MissingInputOpensAsEndOfFileAndReadsEndOfFile) {
  FFREC& f = define(kRecfmU, kOpenInput);
  EXPECT_EQ(open_file(request_, f).status, IoStatus::kEndOfFile);
  EXPECT_TRUE(f.empty);
  EXPECT_EQ(read(f).status, IoStatus::kEndOfFile);
  EXPECT_EQ(report(), "");
}

enum class Call { kOpen, kRead, kReadAt, kReadKeyed, kUpdate };

struct FailureCase {
  const char* name;
  uint8_t recfm;
  uint8_t open_type;
  int32_t lrecl;
  int32_t blksize;
  Call call;
  IoStatus status;
  const char* message;
};

const FailureCase kFailures[] = {
    {"text read as variable", kRecfmV, kOpenInput, 0, 0, Call::kRead, IoStatus::kError,
     "RECFM=V invalid BDW/RDW (Blk/Rec Desc Word)."},
    {"no format", kRecfmNone, kOpenInput, 0, 0, Call::kOpen, IoStatus::kError,
     "RECFM not supported here."},
    {"keyed read", kRecfmU, kOpenInput, 0, 0, Call::kReadKeyed, IoStatus::kError,
     "No keyed read for this file."},
    {"buffer too small", kRecfmU, kOpenInput, 100, 101, Call::kOpen, IoStatus::kError,
     "Bufsize < LRECL+delims."},
    {"no open type", kRecfmU, 0, 0, 0, Call::kOpen, IoStatus::kError, "Bad OPEN type."},
    {"read of output file", kRecfmU, kOpenOutput, 0, 0, Call::kRead, IoStatus::kError,
     "Bad OPEN type."},
    {"update without record", kRecfmU, kOpenUpdate | kOpenInput, 0, 0, Call::kUpdate,
     IoStatus::kError, "UPDATE failed."},
    {"position not in file", kRecfmU, kOpenInput, 0, 0, Call::kReadAt, IoStatus::kNotFound,
     "Key/Rec not found."},
};

// Each failure comes back as its status with its text; an error (never a position not found)
// reaches the reporter exactly once, as the line the run prints.
TEST_F(RecordIoTest, FailuresComeBackTypedAndAreReportedOnce) {
  put("data\n");
  for (const FailureCase& c : kFailures) {
    SCOPED_TRACE(c.name);
    FFREC& f = define(c.recfm, c.open_type, c.lrecl, c.blksize);
    f.position = 99;
    lines_.text_.clear();
    lines_.calls = 0;
    uint8_t area[8] = {'x'};
    IoResult r;
    switch (c.call) {
      case Call::kOpen:
        r = open_file(request_, f);
        break;
      case Call::kRead:
        r = read_record(request_, f, area, sizeof area);
        break;
      case Call::kReadAt:
        r = read_at(request_, f, area, sizeof area);
        break;
      case Call::kReadKeyed:
        r = read_keyed(request_, f, KeyedRead::kEqual, area, sizeof area);
        break;
      case Call::kUpdate:
        r = update_record(request_, f, area, 1);
        break;
    }
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.record(), nullptr);
    EXPECT_STREQ(r.error(), c.message);
    EXPECT_STREQ(f.last_error, c.message);
    const bool reported = c.status == IoStatus::kError;
    const char* kind = (c.open_type & kOpenOutput) ? "Outpt" : "Input";
    EXPECT_EQ(lines_.calls, reported ? 1 : 0);
    EXPECT_EQ(report(), reported ? "qelfio: " + std::string(c.message) + "  (" + kind + ") F=\"" +
                                       path_ + "\"\n"
                                 : "");
    close(f);
  }
}

TEST_F(RecordIoTest, OutputThatCannotBeCreatedFails) {
  path_ = ::testing::TempDir() + "no_such_folder_recsift/out.txt";
  FFREC& f = define(kRecfmU, kOpenOutput);
  EXPECT_STREQ(write(f, "x").error(), "OPEN failed.");
  EXPECT_TRUE(f.open_failed);
  EXPECT_EQ(report(), "qelfio: OPEN failed.  (Outpt) F=\"" + path_ + "\"\n");
}

TEST_F(RecordIoTest, SecondOpenIsRefusedUnlessReopenAllowed) {
  put("a\n");
  FFREC& f = define(kRecfmU, kOpenInput);
  EXPECT_TRUE(open_file(request_, f).ok());
  EXPECT_STREQ(open_file(request_, f).error(), "2nd OPEN ignored.");
  f.reopen_allowed = true;
  EXPECT_TRUE(open_file(request_, f).ok());
  EXPECT_EQ(read_all(f), Records{"a"});
}

TEST_F(RecordIoTest, ReadErrorIsNotEndOfFile) {
  put(std::string(10000, 'a'));
  FFREC& f = define(kRecfmF, kOpenInput, 100, 1000);
  host_.reads_before_error = 1;
  EXPECT_EQ(read_all(f).size(), 10u);
  EXPECT_EQ(last_.status, IoStatus::kError);
  EXPECT_STREQ(last_.error(), "Read failed.");
}

TEST_F(RecordIoTest, TabsThatDoNotFitAreAnError) {
  put("a\tb\n");
  FFREC& f = define(kRecfmU, kOpenInput);
  f.tab_width = 8;
  char area[5];
  EXPECT_STREQ(read(f, area, sizeof area).error(), "TAB char expansion exceeds work area.");
  // Without an area the record cannot be expanded either, unless the check is suppressed.
  f.no_tab_check = true;
  const IoResult r = read_position(f, 0);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(text(r), "a\tb");
}

TEST_F(RecordIoTest, PieceLengthBelowOneIsAnError) {
  put("abc");
  FFREC& f = define(kRecfmU, kOpenInput, 10);
  f.delimiter_length = 0;
  f.current_lrecl = -1;
  EXPECT_STREQ(read(f).error(), "Inval curr LRECL for EOL=NO input.");
}

// ---- Writing ---------------------------------------------------------------------------------

struct WriteCase {
  const char* name;
  uint8_t recfm;
  int32_t lrecl;
  int32_t blksize;
  bool trunc;
  Records records;
  std::string file;
  int32_t truncated;
};

const WriteCase kWrites[] = {
    {"fixed padded", kRecfmF, 6, 0, true, {"abc", ""}, "abc         ", 0},
    {"fixed cut", kRecfmF, 3, 0, true, {"abcdef", "xy"}, "abcxy ", 1},
    {"fixed across blocks", kRecfmF, 4, 8, true, {"a", "b", "c"}, "a   b   c   ", 0},
    {"text trailing blanks stripped",
     kRecfmU,
     80,
     0,
     true,
     {"ab  ", "    ", ""},
     "ab\r\n\r\n\r\n",
     0},
    {"text blanks kept without trunc", kRecfmU, 80, 0, false, {"ab  "}, "ab  \r\n", 0},
    {"text cut at lrecl", kRecfmU, 4, 0, true, {"abcdefg", "ab   cd"}, "abcd\r\nab\r\n", 2},
    {"text across blocks", kRecfmU, 4, 6, true, {"abcd", "e", "fg"}, "abcd\r\ne\r\nfg\r\n", 0},
};

TEST_F(RecordIoTest, WritesPadCutAndDelimit) {
  for (const WriteCase& c : kWrites) {
    SCOPED_TRACE(c.name);
    FFREC& f = define(c.recfm, kOpenOutput, c.lrecl, c.blksize);
    f.truncate = c.trunc;
    for (const std::string& r : c.records) ASSERT_TRUE(write(f, r).ok());
    EXPECT_TRUE(close(f).ok());
    EXPECT_EQ(contents(), c.file);
    EXPECT_EQ(f.truncated_count, c.truncated);
    EXPECT_EQ(f.record_count, static_cast<int32_t>(c.records.size()));
  }
}

TEST_F(RecordIoTest, WrittenPositionIsTheRecordStart) {
  FFREC& f = define(kRecfmU, kOpenOutput, 10, 12);
  const int64_t expected[] = {0, 5, 9};
  const char* lines[] = {"abc", "de", "fghi"};
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(write(f, lines[i]).ok());
    EXPECT_EQ(f.position, expected[i]);
  }
}

TEST_F(RecordIoTest, AppendKeepsAndResetReplaces) {
  put("old\r\n");
  FFREC& a = define(kRecfmU, kOpenOutput);
  a.replace = false;
  ASSERT_TRUE(write(a, "new").ok());
  EXPECT_EQ(a.position, 5);
  close(a);
  EXPECT_EQ(contents(), "old\r\nnew\r\n");
  FFREC& r = define(kRecfmU, kOpenOutput);
  ASSERT_TRUE(write(r, "only").ok());
  close(r);
  EXPECT_EQ(contents(), "only\r\n");
}

TEST_F(RecordIoTest, FailedFlushesAreReported) {
  FFREC& f = define(kRecfmF, kOpenOutput, 4, 8);
  ASSERT_TRUE(write(f, "a").ok());
  ASSERT_TRUE(write(f, "b").ok());
  host_.fail_write = true;
  EXPECT_STREQ(write(f, "c").error(), "Write failed.");
  EXPECT_TRUE(f.write_error);
  FFREC& g = define(kRecfmU, kOpenOutput);
  ASSERT_TRUE(write(g, "a").ok());
  const IoResult closed = close(g);
  EXPECT_EQ(closed.status, IoStatus::kError);
  EXPECT_STREQ(closed.error(), "Write final buf failed.");
  EXPECT_FALSE(g.is_open);
}

// ---- Update in place and reads at a position ---------------------------------------------------

TEST_F(RecordIoTest, UpdateRewritesTheCurrentRecordInPlace) {
  put("aaa\nbbb\nccc\n");
  FFREC& f = define(kRecfmU, kOpenUpdate | kOpenInput);
  ASSERT_TRUE(read(f).ok());
  char area[8];
  ASSERT_TRUE(read(f, area, sizeof area).ok());
  std::memcpy(area, "BBB", 3);
  EXPECT_EQ(update(f, area, 3).record(), reinterpret_cast<uint8_t*>(area));
  // Another length would overwrite the next record: refused.
  EXPECT_STREQ(update(f, area, 4).error(), "UPDATE failed.");
  // The next READ continues after the record; a READ at its address sees the new data.
  EXPECT_EQ(read_all(f), Records{"ccc"});
  EXPECT_EQ(contents(), "aaa\nBBB\nccc\n");
  const IoResult r = read_position(f, 4);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(text(r), "BBB");
  host_.fail_seek = true;
  EXPECT_STREQ(update(f, r.record(), 3).error(), "UPDATE failed.");
}

struct PositionCase {
  int64_t position;
  const char* record;  // null: not found
  int64_t found_at;
};

TEST_F(RecordIoTest, ReadAtPositionFindsTheRecordAtOrAfterIt) {
  put("one\ntwo\n\nfour\r\nfive");
  const PositionCase cases[] = {
      {0, "one", 0},     {4, "two", 4},     {2, "two", 4},    {8, "", 8},
      {9, "four", 9},    {10, "five", 15},  {15, "five", 15}, {14, "five", 15},
      {19, nullptr, 19}, {20, nullptr, 19}, {-1, nullptr, 0},
  };
  FFREC& f = define(kRecfmU, kOpenInput);
  for (const PositionCase& c : cases) {
    SCOPED_TRACE(c.position);
    const IoResult r = read_position(f, c.position);
    if (c.record == nullptr) {
      EXPECT_EQ(r.status, IoStatus::kNotFound);
      EXPECT_STREQ(r.error(), "Key/Rec not found.");
      EXPECT_EQ(f.position, c.found_at);
    } else {
      ASSERT_TRUE(r.ok());
      EXPECT_EQ(text(r), c.record);
      EXPECT_EQ(f.position, c.found_at);
    }
  }
  EXPECT_EQ(report(), "");
}

TEST_F(RecordIoTest, ReadAtPositionOfFixedRecordsRoundsDown) {
  put("abcdefghij");
  FFREC& f = define(kRecfmF, kOpenInput, 3, 2048);
  const IoResult r = read_position(f, 7);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(text(r), "ghi");
  EXPECT_EQ(f.position, 6);
  EXPECT_EQ(read_all(f), Records{"j"});
}

TEST_F(RecordIoTest, ReadAtPositionOutsideTheBufferSeeks) {
  std::string data;
  for (int i = 0; i < 1000; ++i) data += "line" + std::to_string(i) + "\n";
  put(data);
  FFREC& f = define(kRecfmU, kOpenInput, 20, 40);
  const size_t at = data.find("line777");
  const IoResult r = read_position(f, static_cast<int64_t>(at));
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(text(r), "line777");
  host_.fail_seek = true;
  EXPECT_STREQ(read_position(f, 3).error(), "Reposition error.");
}

// ---- Buffer and special files ------------------------------------------------------------------

TEST_F(RecordIoTest, BufferEndsInTheSentinelAndADamagedOneIsReplaced) {
  put("abc\n");
  FFREC& f = define(kRecfmU, kOpenInput, 10, 12);
  ASSERT_TRUE(open_file(request_, f).ok());
  EXPECT_EQ(std::memcmp(f.buffer + 12, "<<<FFREC buf>>>", 16), 0);
  uint8_t* first = f.buffer;
  f.reopen_allowed = true;
  ASSERT_TRUE(open_file(request_, f).ok());
  EXPECT_EQ(f.buffer, first);  // intact: reused (the close returned it, the pool gave it back)
  f.buffer[12] = 'x';
  f.is_open = false;  // keep the damaged block in place for the next open
  ASSERT_TRUE(open_file(request_, f).ok());
  EXPECT_EQ(std::memcmp(f.buffer + 12, "<<<FFREC buf>>>", 16), 0);
  EXPECT_EQ(read_all(f), Records{"abc"});
}

TEST_F(RecordIoTest, DefaultSizesComeFromEachOther) {
  put("x\n");
  FFREC& u = define(kRecfmU, kOpenInput);
  ASSERT_TRUE(open_file(request_, u).ok());
  EXPECT_EQ(u.lrecl, 2046);
  EXPECT_GE(u.blksize, u.lrecl + 2);
  FFREC& g = define(kRecfmF, kOpenInput, 0, 100);
  ASSERT_TRUE(open_file(request_, g).ok());
  EXPECT_EQ(g.lrecl, 100);
  EXPECT_EQ(g.blksize, 100);
}

TEST_F(RecordIoTest, DummyHasNoDataAndTakesEverything) {
  FFREC& f = define(kRecfmU, kOpenInput);
  f.predefined = kPredefDummy;
  EXPECT_TRUE(open_file(request_, f).ok());
  EXPECT_EQ(f.current_length, 80);
  EXPECT_EQ(read(f).status, IoStatus::kEndOfFile);
  EXPECT_EQ(read_position(f, 0).status, IoStatus::kEndOfFile);
  EXPECT_TRUE(write(f, "abc").ok());
  EXPECT_EQ(f.record_count, 1);
  EXPECT_EQ(contents(), "<missing>");
}

TEST_F(RecordIoTest, StandardStreamsReadAndWriteThroughTheirStream) {
  std::FILE* in = std::tmpfile();
  std::fputs("one\r\ntwo\n", in);
  std::rewind(in);
  FFREC& r = define(kRecfmU, kOpenInput);
  r.standard_stream = true;
  r.stream = in;
  EXPECT_EQ(read_all(r), (Records{"one", "two"}));
  EXPECT_EQ(last_.status, IoStatus::kEndOfFile);
  std::FILE* out = std::tmpfile();
  FFREC& w = define(kRecfmU, kOpenOutput);
  w.standard_stream = true;
  w.stream = out;
  ASSERT_TRUE(write(w, "abc").ok());
  close(w);
  std::rewind(out);
  char text[16] = {};
  EXPECT_EQ(std::fread(text, 1, sizeof text, out), 5u);
  EXPECT_STREQ(text, "abc\r\n");
  // A stream cannot be positioned.
  EXPECT_EQ(read_position(r, 0).status, IoStatus::kNotFound);
  std::fclose(in);
  std::fclose(out);
}

TEST_F(RecordIoTest, CardInputEndsAtTheEndLine) {
  const struct {
    const char* text;
    Records records;
  } cases[] = {
      {"A\n/*\nB\n", {"A"}},
      {"A\n/* end\nB\n", {"A"}},
      {"A\n/*x\nB\n", {"A", "/*x", "B"}},
      {"A\n", {"A"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::FILE* in = std::tmpfile();
    std::fputs(c.text, in);
    std::rewind(in);
    FFREC& f = define(kRecfmU, kOpenInput);
    f.standard_stream = true;
    f.predefined = kPredefCard;
    f.stream = in;
    f.line_at_a_time = true;
    EXPECT_EQ(read_all(f), c.records);
    EXPECT_EQ(last_.status, IoStatus::kEndOfFile);
    close(f);
    std::fclose(in);
  }
}

TEST_F(RecordIoTest, UpdateOfFixedRecordsAndOfAViewIntoTheBuffer) {
  put("aaabbbccc");
  FFREC& f = define(kRecfmF, kOpenUpdate | kOpenInput, 3, 2048);
  ASSERT_TRUE(read(f).ok());
  uint8_t* view = read(f).record();
  ASSERT_NE(view, nullptr);
  std::memcpy(view, "XYZ", 3);  // changed where it lies
  EXPECT_EQ(update(f, view, 3).record(), view);
  EXPECT_EQ(read_all(f), Records{"ccc"});
  EXPECT_EQ(contents(), "aaaXYZccc");
  // An input-only file cannot be updated.
  FFREC& g = define(kRecfmF, kOpenInput, 3, 2048);
  char area[3] = {'a', 'a', 'a'};
  ASSERT_TRUE(read(g, area, 3).ok());
  EXPECT_STREQ(update(g, area, 3).error(), "Bad OPEN type.");
  EXPECT_TRUE(g.is_open);
}

}  // namespace
}  // namespace recsift::files
