// Tests of variable-length records: V and VB written with their descriptors and blocks, read back
// with and without descriptors (also one byte per host read), V2 and MFV layouts, real VB files,
// reads at a byte address, and damaged descriptors that must fail with their texts.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "file_bytes.h"

#include "files/files.h"
#include "files/record_io.h"
#include "files/variable_records.h"

namespace recsift::files {
namespace {

class OneByteHost : public FileHost {
 public:
  bool one_byte = false;
  bool fail_write = false;
  int read(int handle, void* buf, int64_t len, int64_t* got) override {
    return FileHost::read(handle, buf, one_byte ? 1 : len, got);
  }
  int write(int handle, const void* buf, int64_t len) override {
    return fail_write ? 28 : FileHost::write(handle, buf, len);
  }
};

std::string bytes(std::initializer_list<int> list) {
  std::string s;
  for (const int b : list) s += static_cast<char>(b);
  return s;
}

class VariableRecordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    request_.host = &host_;
    path_ = ::testing::TempDir() + "recsift_variable_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".dat";
  }
  void TearDown() override {
    for (FFREC* f : files_) {
      close(*f);
      if (f->buffer != nullptr) base::qelgrel(&f->buffer, "buf");
      release_variable(*f);
      delete f;
    }
    std::remove(path_.c_str());
  }
  FFREC& define(uint8_t recfm, uint8_t open_type, int32_t lrecl, int32_t blksize,
                const std::string& path = "") {
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
    f->full_name = true;
    names_.push_back(path.empty() ? path_ : path);
    f->dsn = names_.back().data();
    f->handle = -1;
    return *f;
  }
  void put(const std::string& data) { ASSERT_TRUE(recsift::testing::put_file_bytes(path_, data)); }
  std::string contents() { return recsift::testing::file_bytes(path_); }
  // Records until end of file or an error (the result that ended them is kept in last_).
  std::vector<std::string> read_all(FFREC& f) {
    std::vector<std::string> records;
    for (int guard = 0; guard < 100000; ++guard) {
      last_ = read_record(request_, f, nullptr, 0);
      if (!last_.ok()) break;
      records.emplace_back(text(last_));
    }
    return records;
  }
  static std::string text(const IoResult& r) {
    return {reinterpret_cast<const char*>(r.record()), static_cast<size_t>(r.length)};
  }
  IoResult write(FFREC& f, const std::string& record) {
    return write_record(request_, f, reinterpret_cast<const uint8_t*>(record.data()),
                        static_cast<int32_t>(record.size()));
  }
  void close(FFREC& f) {
    if (f.is_open) close_file(request_, f);
  }

  OneByteHost host_;
  FileRequest request_{};
  IoResult last_;
  std::string path_;
  std::vector<FFREC*> files_;
  std::vector<std::string> names_;
};

// ---- Writing: exact layouts, then the same records read back -----------------------------------

// Records separated by "|".
std::vector<std::string> split(const std::string& list) {
  std::vector<std::string> parts(1);
  for (const char ch : list) {
    if (ch == '|') {
      parts.emplace_back();
    } else {
      parts.back().push_back(ch);
    }
  }
  return parts;
}

const std::string k10(10, 'a'), k20(20, 'b'), k30(30, 'c');

struct WriteCase {
  const char* name;
  uint8_t recfm;
  bool nobdw;
  int32_t lrecl;
  int32_t blksize;
  std::string records;    // written, "|" between them
  std::string file;       // the bytes expected
  std::string read_back;  // NORDW delivery
  int truncated;
};

const WriteCase kWrites[] = {
    {"VB block", kRecfmV, false, 84, 200, k10 + "|" + k20 + "|" + k30,
     bytes({0, 0x4C, 0, 0, 0, 0x0E, 0, 0}) + k10 + bytes({0, 0x18, 0, 0}) + k20 +
         bytes({0, 0x22, 0, 0}) + k30,
     k10 + "|" + k20 + "|" + k30, 0},
    {"VB blocked to BLKSIZE", kRecfmV, false, 20, 30, "0123456789|abcdefghij|xy",
     bytes({0, 18, 0, 0, 0, 14, 0, 0}) + "0123456789" + bytes({0, 24, 0, 0, 0, 14, 0, 0}) +
         "abcdefghij" + bytes({0, 6, 0, 0}) + "xy",
     "0123456789|abcdefghij|xy", 0},
    {"V without blocks", kRecfmV, true, 84, 200, "abc|",
     bytes({0, 7, 0, 0}) + "abc" + bytes({0, 4, 0, 0}), "abc|", 0},
    {"V cut to LRECL - 4", kRecfmV, true, 8, 100, "abcdefghij", bytes({0, 8, 0, 0}) + "abcd",
     "abcd", 1},
    {"trailing blanks dropped", kRecfmV, true, 80, 100, "ab   ", bytes({0, 6, 0, 0}) + "ab", "ab",
     0},
    {"V2", kRecfmV2, false, 80, 100, "hello", bytes({0, 5}) + "hello", "hello", 0},
};

TEST_F(VariableRecordsTest, WritesDescriptorsAndBlocksAndReadsThemBack) {
  for (const WriteCase& c : kWrites) {
    SCOPED_TRACE(c.name);
    FFREC& out = define(c.recfm, kOpenOutput, c.lrecl, c.blksize);
    out.nobdw = c.nobdw;
    out.truncate = true;
    for (const std::string& r : split(c.records)) EXPECT_TRUE(write(out, r).ok());
    close(out);
    EXPECT_EQ(contents(), c.file);
    EXPECT_EQ(out.truncated_count, c.truncated);
    for (const bool one_byte : {false, true}) {
      host_.one_byte = one_byte;
      FFREC& in = define(c.recfm, kOpenInput, c.lrecl, c.blksize);
      const std::vector<std::string> expected = split(c.read_back);
      EXPECT_EQ(read_all(in), expected);
      EXPECT_EQ(last_.status, IoStatus::kEndOfFile);
      FFREC& rdw = define(c.recfm, kOpenInput, c.lrecl, c.blksize);
      rdw.rdw = true;
      const std::vector<std::string> with = read_all(rdw);
      ASSERT_EQ(with.size(), expected.size());
      const auto r = static_cast<size_t>(record_format(c.recfm).record_descriptor);
      for (size_t i = 0; i < with.size(); ++i) {
        EXPECT_EQ(with[i].size(), expected[i].size() + r);
        EXPECT_EQ(with[i].substr(r), expected[i]);
      }
    }
    host_.one_byte = false;
  }
}

TEST_F(VariableRecordsTest, ManyRecordsSurviveSmallBlocksAndOneByteReads) {
  std::vector<std::string> records;
  for (int i = 0; i < 300; ++i)
    records.push_back(std::string(static_cast<size_t>(i * 7 % 41), 'a' + i % 26));
  for (const uint8_t recfm : {kRecfmV, kRecfmV2, kRecfmMfv}) {
    SCOPED_TRACE(recfm);
    FFREC& out = define(recfm, kOpenOutput, 50, recfm == kRecfmMfv ? 200 : 64);
    for (const std::string& r : records) ASSERT_TRUE(write(out, r).ok());
    close(out);
    EXPECT_LE(out.longest_block, 64);
    host_.one_byte = true;
    FFREC& in = define(recfm, kOpenInput, 50, recfm == kRecfmMfv ? 200 : 64);
    EXPECT_EQ(read_all(in), records);
    EXPECT_EQ(last_.status, IoStatus::kEndOfFile);
    host_.one_byte = false;
  }
}

// Length fields hold 16 bits (12 for MFV): longer blocks and records must not wrap.
struct FieldCase {
  const char* name;
  uint8_t recfm;
  int32_t lrecl;
  int32_t blksize;  // 0: the default
  int32_t data;     // bytes per record written
  int32_t count;
  int32_t read;  // bytes per record read back
};

const FieldCase kFields[] = {
    {"VB default block", kRecfmV, 130, 0, 123, 600, 123},
    {"MFV record beyond 12 bits", kRecfmMfv, 5000, 6000, 4500, 3, 4095},
};

TEST_F(VariableRecordsTest, LengthFieldsNeverWrap) {
  for (const FieldCase& c : kFields) {
    SCOPED_TRACE(c.name);
    FFREC& out = define(c.recfm, kOpenOutput, c.lrecl, c.blksize);
    const std::string record(static_cast<size_t>(c.data), 'x');
    for (int i = 0; i < c.count; ++i) ASSERT_TRUE(write(out, record).ok());
    close(out);
    EXPECT_LE(out.longest_block, 0xFFFF);
    EXPECT_EQ(out.truncated_count, c.data == c.read ? 0 : c.count);
    FFREC& in = define(c.recfm, kOpenInput, c.lrecl, c.blksize);
    EXPECT_EQ(read_all(in),
              std::vector<std::string>(static_cast<size_t>(c.count),
                                       std::string(static_cast<size_t>(c.read), 'x')));
    EXPECT_EQ(last_.status, IoStatus::kEndOfFile);
  }
}

TEST_F(VariableRecordsTest, FileWithoutBlocksDoesNotDecideForTheNextOpen) {
  FFREC& f = define(kRecfmV, kOpenInput, 80, 200);
  put(bytes({0, 6, 0, 0}) + "ab");
  EXPECT_EQ(read_all(f), std::vector<std::string>{"ab"});
  put(bytes({0, 10, 0, 0, 0, 6, 0, 0}) + "cd");
  f.no_close_at_eof = false;
  EXPECT_EQ(read_all(f), std::vector<std::string>{"cd"});
  EXPECT_EQ(last_.status, IoStatus::kEndOfFile);
}

TEST_F(VariableRecordsTest, MfvFileStartsWithItsHeaderAndAlignsRecords) {
  FFREC& out = define(kRecfmMfv, kOpenOutput, 80, 300);
  ASSERT_TRUE(write(out, "12345").ok());
  ASSERT_TRUE(write(out, "abcdefgh").ok());
  close(out);
  const std::string file = contents();
  ASSERT_EQ(file.size(), 128u + 8 + 12);
  EXPECT_EQ(file.substr(0, 2), bytes({0x30, 0x7E}));
  EXPECT_EQ(file.substr(8, 14), file.substr(22, 14));
  EXPECT_EQ(file.substr(37, 3), bytes({0x3E, 0, 0x01}));
  EXPECT_EQ(file.substr(56, 2), bytes({0x01, 0x2A}));  // 298
  EXPECT_EQ(file.substr(108, 4), bytes({0x5E, 0x1C, 0x02, 0x02}));
  EXPECT_EQ(file.substr(128),
            bytes({0x40, 5}) + "12345" + bytes({0, 0x40, 8}) + "abcdefgh" + bytes({0, 0}));
  FFREC& in = define(kRecfmMfv, kOpenInput, 80, 300);
  in.rdw = true;
  EXPECT_EQ(read_all(in),
            (std::vector<std::string>{bytes({0x40, 5}) + "12345", bytes({0x40, 8}) + "abcdefgh"}));
  ASSERT_NE(in.mfhdr, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(in.mfhdr), 128), file.substr(0, 128));
}

// ---- Reading damaged data ----------------------------------------------------------------------

struct BadCase {
  const char* name;
  uint8_t recfm;
  std::string file;
  std::vector<std::string> records;  // delivered before the error
  const char* message;
};

const BadCase kBad[] = {
    {"RDW below 4", kRecfmV, bytes({0, 3, 0, 0}) + "abc", {}, kErrDescInvalid},
    {"RDW beyond LRECL", kRecfmV, bytes({0, 90, 0, 0}) + "abc", {}, kErrDescInvalid},
    {"RDW with nonzero low bytes", kRecfmV, bytes({0, 6, 0, 1}) + "ab", {}, kErrDescInvalid},
    {"truncated tail",
     kRecfmV,
     bytes({0, 6, 0, 0}) + "ab" + bytes({0, 10, 0, 0}) + "abc",
     {"ab"},
     kErrDescTail},
    {"descriptor cut at the end",
     kRecfmV,
     bytes({0, 6, 0, 0}) + "ab" + bytes({0, 6}),
     {"ab"},
     kErrDescShort},
    {"records run past the BDW",
     kRecfmV,
     bytes({0, 12, 0, 0, 0, 6, 0, 0}) + "ab" + bytes({0, 6, 0, 0}) + "cd",
     {"ab"},
     kErrBlockExceeded},
    {"file ends inside a block",
     kRecfmV,
     bytes({0, 32, 0, 0, 0, 6, 0, 0}) + "ab",
     {"ab"},
     kErrDescTail},
    {"V2 longer than the buffer", kRecfmV2, bytes({0xFF, 0xFF}) + "abc", {}, kErrDescTooLong},
    {"V2 truncated", kRecfmV2, bytes({0, 2}) + "ab" + bytes({0, 9}) + "abc", {"ab"}, kErrDescTail},
    {"MFV without header", kRecfmMfv, bytes({0x40, 2}) + "ab", {}, kErrMfvHeaderMissing},
};

TEST_F(VariableRecordsTest, DamagedDescriptorsFailWithTheirTexts) {
  for (const BadCase& c : kBad) {
    for (const bool one_byte : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (one_byte ? " (one byte reads)" : ""));
      host_.one_byte = one_byte;
      put(c.file);
      FFREC& in = define(c.recfm, kOpenInput, 80, 200);
      EXPECT_EQ(read_all(in), c.records);
      EXPECT_EQ(last_.status, IoStatus::kError);
      EXPECT_STREQ(last_.error(), c.message);
      close(in);
    }
  }
}

TEST_F(VariableRecordsTest, FailedFlushIsReported) {
  FFREC& out = define(kRecfmV, kOpenOutput, 20, 30);
  ASSERT_TRUE(write(out, "0123456789").ok());
  host_.fail_write = true;
  EXPECT_STREQ(write(out, "abcdefghij").error(), kErrWrite);
}

// ---- Reading at a byte address ------------------------------------------------------------------

struct PositionCase {
  const char* name;
  int record;  // the record whose address is asked for
  int offset;  // bytes added to that address
  int found;   // the record read (-1: none)
};

const PositionCase kPositions[] = {
    {"first record", 0, 0, 0},
    {"last record", 9, 0, 9},
    {"first record of the second block", 2, 0, 2},
    {"inside a record", 4, 3, 5},
    {"on a block descriptor", 2, -4, 2},
    {"inside the last record", 9, 2, -1},
};

TEST_F(VariableRecordsTest, ReadAtAnAddressFindsTheNextRecordStart) {
  FFREC& out = define(kRecfmV, kOpenOutput, 20, 40);
  std::vector<std::string> records;
  std::vector<int64_t> addresses;
  for (int i = 0; i < 10; ++i) {
    records.push_back(std::string(static_cast<size_t>(5 + i % 3 * 4), static_cast<char>('a' + i)));
    ASSERT_TRUE(write(out, records.back()).ok());
    addresses.push_back(out.position);
  }
  close(out);
  for (const bool one_byte : {false, true}) {
    host_.one_byte = one_byte;
    FFREC& in = define(kRecfmV, kOpenInput, 20, 40);
    in.no_close_at_eof = true;
    ASSERT_TRUE(open_file(request_, in).ok());
    for (const PositionCase& c : kPositions) {
      SCOPED_TRACE(std::string(c.name) + (one_byte ? " (one byte reads)" : ""));
      in.position = addresses[static_cast<size_t>(c.record)] + c.offset;
      IoResult r = read_at(request_, in, nullptr, 0);
      if (c.found < 0) {  // no record begins at or after the address
        EXPECT_EQ(r.status, IoStatus::kNotFound);
        continue;
      }
      ASSERT_TRUE(r.ok()) << r.error();
      EXPECT_EQ(text(r), records[static_cast<size_t>(c.found)]);
      EXPECT_EQ(in.position, addresses[static_cast<size_t>(c.found)]);
      // Reading on continues with the record after it.
      if (c.found < 9) {
        r = read_record(request_, in, nullptr, 0);
        ASSERT_TRUE(r.ok());
        EXPECT_EQ(text(r), records[static_cast<size_t>(c.found + 1)]);
      }
    }
  }
  host_.one_byte = false;
}

// V2 and MFV lengths cannot be told from data: the chain is followed from a known record start,
// forwards and backwards, and a position inside the last record is not found at the file size.
TEST_F(VariableRecordsTest, ReadAtAnAddressFollowsTheChainOfDescriptors) {
  for (const uint8_t recfm : {kRecfmV2, kRecfmMfv, kRecfmV}) {
    FFREC& out = define(recfm, kOpenOutput, 20, 200);
    std::vector<std::string> records;
    std::vector<int64_t> addresses;
    for (int i = 0; i < 10; ++i) {
      // Data bytes that look like descriptors, so a guess from the bytes would misread. V data
      // hold whole chains of record descriptors that end where the record ends.
      const std::string fake("\0\x07\0\0abc", 7);
      records.push_back(
          recfm == kRecfmV ? (i % 2 != 0 ? fake + fake : fake)
                           : std::string(static_cast<size_t>(3 + i % 4), static_cast<char>(i % 2)));
      ASSERT_TRUE(write(out, records.back()).ok());
      addresses.push_back(out.position);
    }
    close(out);
    FFREC& in = define(recfm, kOpenInput, 20, 200);
    in.no_close_at_eof = true;
    ASSERT_TRUE(open_file(request_, in).ok());
    const int order[][3] = {{7, 0, 7}, {2, 1, 3}, {0, 0, 0}, {9, 0, 9}, {4, -1, 4}, {5, 0, 5}};
    for (const auto& c : order) {
      SCOPED_TRACE(std::to_string(recfm) + ": record " + std::to_string(c[0]) + " + " +
                   std::to_string(c[1]));
      in.position = addresses[static_cast<size_t>(c[0])] + c[1];
      IoResult r = read_at(request_, in, nullptr, 0);
      ASSERT_TRUE(r.ok()) << r.error();
      EXPECT_EQ(text(r), records[static_cast<size_t>(c[2])]);
      EXPECT_EQ(in.position, addresses[static_cast<size_t>(c[2])]);
    }
    in.position = 1;  // inside the header (MFV), the first record (V2) or the block descriptor
    EXPECT_EQ(text(read_at(request_, in, nullptr, 0)), records[recfm == kRecfmV2 ? 1 : 0]);
    in.position = addresses[9] + 1;
    EXPECT_EQ(read_at(request_, in, nullptr, 0).status, IoStatus::kNotFound);
    EXPECT_EQ(in.position, in.file_size);
    close(in);
  }
}

// UPDATE rewrites a variable record's data in place, keeping its descriptor; another length
// changes nothing.
TEST_F(VariableRecordsTest, UpdateInPlaceKeepsTheLength) {
  for (const uint8_t recfm : {kRecfmV, kRecfmV2, kRecfmMfv}) {
    for (const bool rdw : {false, true}) {
      SCOPED_TRACE(std::to_string(recfm) + (rdw ? " RDW" : " NORDW"));
      FFREC& out = define(recfm, kOpenOutput, 40, 200);
      for (const char* r : {"alpha", "bravo!", "charlie"}) ASSERT_TRUE(write(out, r).ok());
      close(out);
      const std::string before = contents();
      FFREC& f = define(recfm, kOpenInput | kOpenUpdate, 40, 200);
      f.rdw = rdw;
      const int32_t d = rdw ? record_descriptor_size(f) : 0;
      ASSERT_TRUE(read_record(request_, f, nullptr, 0).ok());
      std::string second = text(read_record(request_, f, nullptr, 0));
      ASSERT_EQ(second.substr(static_cast<size_t>(d)), "bravo!");
      const std::string longer = second + "x";
      EXPECT_STREQ(update_record(request_, f, reinterpret_cast<const uint8_t*>(longer.data()),
                                 static_cast<int32_t>(longer.size()))
                       .error(),
                   kErrUpdate);
      EXPECT_EQ(contents(), before);
      second.replace(static_cast<size_t>(d), 6, "BRAVO?");
      if (rdw) second[0] = '\x7f';  // a damaged descriptor in the copy is not written
      ASSERT_TRUE(update_record(request_, f, reinterpret_cast<const uint8_t*>(second.data()),
                                static_cast<int32_t>(second.size()))
                      .ok());
      // Only the data (RDW: given with or without the descriptor) are rewritten.
      if (rdw) {
        ASSERT_TRUE(update_record(request_, f, reinterpret_cast<const uint8_t*>("BRAVO?"), 6).ok());
      }
      EXPECT_EQ(text(read_record(request_, f, nullptr, 0)).substr(static_cast<size_t>(d)),
                "charlie");
      close(f);
      std::string expected = before;
      expected.replace(expected.find("bravo!"), 6, "BRAVO?");
      EXPECT_EQ(contents(), expected);
    }
  }
}

// ---- Real VB files from other systems, when present ---------------------------------------------

TEST_F(VariableRecordsTest, ReadsRealFiles) {
  const std::string dir = "/work/shared/testdata/external/mvs-vbfile/";
  std::FILE* probe = std::fopen((dir + "mvsvb2.bin").c_str(), "rb");
  if (probe == nullptr) GTEST_SKIP() << "sample files not present";
  std::fclose(probe);
  FFREC& vb = define(kRecfmV, kOpenInput, 100, 1100, dir + "mvsvb2.bin");
  vb.rdw = true;
  const std::vector<std::string> blocked = read_all(vb);
  ASSERT_EQ(blocked.size(), 20u);
  EXPECT_EQ(last_.status, IoStatus::kEndOfFile);
  EXPECT_EQ(vb.longest_block, 1012);
  EXPECT_EQ(blocked[0].substr(0, 8), bytes({0, 0x16, 0, 0, 0xC2, 0x93, 0x85, 0xA2}));
  EXPECT_EQ(blocked[6], bytes({0, 5, 0, 0, 0x40}));
  EXPECT_EQ(blocked[19].substr(4, 4), bytes({0x40, 0x40, 0xE3, 0x88}));
  FFREC& v = define(kRecfmV, kOpenInput, 100, 200, dir + "mvsvb1.bin");
  const std::vector<std::string> plain = read_all(v);
  ASSERT_EQ(plain.size(), 3u);
  EXPECT_EQ(plain[0].size(), 41u);
  EXPECT_EQ(plain[2].substr(0, 4), bytes({0x60, 0x60, 0xC9, 0x40}));
  // 150 records of 62 to 187 bytes without blocks, through a buffer of a few records.
  FFREC& customers = define(kRecfmV, kOpenInput, 200, 400,
                            "/work/shared/testdata/external/jrecord/ZOS.FCUSTDAT_150.vb.bin");
  size_t total = 0;
  const std::vector<std::string> many = read_all(customers);
  for (const std::string& r : many) total += r.size() + 4;
  EXPECT_EQ(many.size(), 150u);
  EXPECT_EQ(total, 18650u);
  EXPECT_EQ(customers.longest_record, 187);
  EXPECT_EQ(last_.status, IoStatus::kEndOfFile);
}

}  // namespace
}  // namespace recsift::files
