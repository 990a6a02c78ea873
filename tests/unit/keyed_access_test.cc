// Tests of keyed access that files on disk cannot reach: a host that makes up a file of fixed
// records whose key is the record number (16 digits), of any size. They show how far the sample
// tree grows, that reads positioned for a key stay small, and the depth limit of the tree.
// Scenarios (run_keyed_*) cover the reads end to end.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "files/files.h"
#include "files/record_io.h"

namespace recsift::files {
namespace {

constexpr int32_t kRecordLength = 16;
constexpr int32_t kBlock = 64;

// A file of `records` fixed records, record n holding n as 16 decimal digits.
class MadeUpFile : public FileHost {
 public:
  int64_t records = 0;
  int64_t largest_read = 0;  // the largest host read asked for
  int reads = 0;

  int open(const std::string&, host::OpenMode, int* handle) override {
    *handle = 7;
    offset_ = 0;
    return 0;
  }
  int read(int, void* buf, int64_t len, int64_t* got) override {
    ++reads;
    largest_read = std::max(largest_read, len);
    const int64_t size = records * kRecordLength;
    *got = std::max<int64_t>(std::min(len, size - offset_), 0);
    auto* out = static_cast<char*>(buf);
    for (int64_t i = 0; i < *got; ++i) {
      const int64_t at = offset_ + i;
      char digits[24];
      std::snprintf(digits, sizeof digits, "%016" PRId64, at / kRecordLength);
      out[i] = digits[at % kRecordLength];
    }
    offset_ += *got;
    return 0;
  }
  int seek(int, int64_t offset, int, int64_t* position) override {
    *position = offset_ = offset;
    return 0;
  }
  int size(int, int64_t* bytes) override {
    *bytes = records * kRecordLength;
    return 0;
  }
  int close(int) override { return 0; }

 private:
  int64_t offset_ = 0;
};

class KeyedAccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    request_.host = &host_;
    f_.file_type = kFileOrdinary;
    f_.recfm = kRecfmF;
    f_.open_type = kOpenInput;
    f_.lrecl = kRecordLength;
    f_.blksize = kBlock;
    f_.tab_width = -1;
    f_.dsn = const_cast<char*>("made-up");
    f_.full_name = true;
    f_.handle = -1;
    f_.key_length = kRecordLength;
    f_.key_length_given = f_.key_position_given = true;
    f_.keyed_modes = kKeyedEqual;
  }
  void TearDown() override {
    close_file(request_, f_);
    release_key_index(f_);
  }
  // KEY=record n: the record read, or "" when none.
  std::string find(int64_t n, KeyedRead how = KeyedRead::kEqual) {
    std::snprintf(key_, sizeof key_, "%016" PRId64, n);
    f_.key_sought = reinterpret_cast<const uint8_t*>(key_);
    f_.key_sought_length = kRecordLength;
    last_ = read_keyed(request_, f_, how, nullptr, 0);
    return last_.ok() ? std::string(static_cast<const char*>(last_.data), last_.length) : "";
  }

  MadeUpFile host_;
  FileRequest request_;
  FFREC f_;
  IoResult last_;
  char key_[kRecordLength + 1] = {};
};

TEST_F(KeyedAccessTest, SmallFilesAndEndKeysNeedOnlyTheRoot) {
  host_.records = 5;  // 80 bytes: less than two blocks, searched from the root
  EXPECT_EQ(find(3), "0000000000000003");
  EXPECT_EQ(find(4), "0000000000000004");  // the last record's full key
  EXPECT_EQ(find(0), "0000000000000000");
  EXPECT_EQ(find(9), "");
  EXPECT_EQ(last_.status, IoStatus::kNotFound);
  EXPECT_EQ(f_.position, 80);  // the next READ meets the end of the file
  EXPECT_EQ(f_.index_nodes, 1);
  EXPECT_EQ(f_.record_count, 3);  // sampled and skipped records are not counted
}

TEST_F(KeyedAccessTest, ReadsForAKeyStaySmallAndTheTreeGrowsOnlyWhereSearched) {
  host_.records = 1 << 20;  // 16 MiB: about 17 levels down to a half under two blocks
  EXPECT_EQ(find(1 << 19), "0000000000524288");
  const int32_t nodes = f_.index_nodes;
  EXPECT_GT(nodes, 10);
  EXPECT_LT(nodes, 25);
  EXPECT_LE(host_.largest_read, 2 * kBlock);
  // The same key again reuses the tree: no new node, one short search.
  const int reads = host_.reads;
  EXPECT_EQ(find(1 << 19), "0000000000524288");
  EXPECT_EQ(f_.index_nodes, nodes);
  EXPECT_LE(host_.reads - reads, 2);
  // The last record's full key needs no descent.
  EXPECT_EQ(find((1 << 20) - 1), "0000000001048575");
  EXPECT_EQ(f_.index_nodes, nodes);
}

TEST_F(KeyedAccessTest, KeysNearTheEndOfAFileBeyond4GiB) {
  host_.records = (int64_t{6} << 30) / kRecordLength;  // 6 GiB: addresses need 33 bits
  const int64_t last = host_.records - 1;
  for (int64_t n : {last, last - 1, last - 4096, (int64_t{1} << 32) / kRecordLength + 3}) {
    char want[24];
    std::snprintf(want, sizeof want, "%016" PRId64, n);
    EXPECT_EQ(find(n), want);
    EXPECT_EQ(f_.position, n * kRecordLength);
    EXPECT_EQ(find(n, KeyedRead::kGreaterEqual), want);
  }
  EXPECT_EQ(find(host_.records), "");
  EXPECT_EQ(last_.status, IoStatus::kNotFound);
  EXPECT_EQ(f_.position, host_.records * kRecordLength);  // the next READ meets the end
  EXPECT_LE(host_.largest_read, 2 * kBlock);
}

TEST_F(KeyedAccessTest, TheTreeStopsAt48Levels) {
  host_.records = int64_t{1} << 52;  // 2^56 bytes: the low end lies more than 48 levels down
  EXPECT_EQ(find(1), "");
  EXPECT_EQ(last_.status, IoStatus::kError);
  EXPECT_STREQ(last_.error(), "ixl=48 reached.");
  EXPECT_EQ(f_.index_nodes, 48);
}

}  // namespace
}  // namespace recsift::files
