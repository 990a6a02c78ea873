// Tests of directory input where the end-to-end scenarios cannot reach: the name pattern's
// corners, the record's columns at their limits, folders the host refuses (as root a chmod does
// not), a member whose read fails, and the storage a listing gives back.
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "file_bytes.h"

#include "base/pool.h"
#include "files/directory_input.h"
#include "files/files.h"
#include "files/record_io.h"

namespace recsift::files {
namespace {

TEST(DirNameTest, PatternsMatchAsTheListingSays) {
  struct Row {
    const char* pattern;
    const char* name;
    bool matches;
  };
  const Row rows[] = {
      {"*", "anything.at.all", true},
      {"*.txt", "A.TXT", true},
      {"*.txt", "a.txt.bak", false},
      {"a?c", "abc", true},
      {"a?c", "a.c", false},
      {"a?c", "ac", false},
      {"*.*", "noext", true},
      {"*.*", "two.parts", true},
      {"r*.*", "readme", true},
      {"r*.*", "notes", false},
      {"*a*b", "xaxxab", true},
      {"*a*b", "xaxxabc", false},
      {"data??.dat", "data01.dat", true},
      {"data??.dat", "data1.dat", false},
      {"", "", true},
      {"x*", "", false},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(listing_name_matches(r.pattern, r.name), r.matches) << r.pattern << " " << r.name;
  }
}

TEST(DirRecordTest, ColumnsAtTheirLimits) {
  uint8_t out[kColPath + 64];
  char time[20];
  listing_time_text(0, time);  // the scenarios run under TZ=UTC; here any zone gives 19 bytes
  ASSERT_EQ(std::string(time).size(), 19u);
  listing_time_text(INT64_MAX, time);
  EXPECT_STREQ(time, kTimeUnavailable);

  const std::string t = "2024/01/02 03:04:05";
  auto row = [&](uint8_t attributes, const std::string& name, int64_t size) {
    const int32_t n = format_listing_record(out, t.c_str(), attributes, "/d/", name, size);
    return std::string(reinterpret_cast<char*>(out), static_cast<size_t>(n));
  };
  // Name, extension and size columns written out by hand, column for column.
  EXPECT_EQ(row(kAttrArchive | kAttrReadOnly, "abcdef.longexte", 1234567),
            t + "     ar   abcdef  .lo*       1,234,567  /d/abcdef.longexte");
  EXPECT_EQ(row(0, "ninechars", 0), t + "          ninecha*.                  0  /d/ninechars");
  EXPECT_EQ(row(kAttrHidden, ".profile", 12),
            t + "       h  .profile.                 12  /d/.profile");
  EXPECT_EQ(row(kAttrArchive, "a.b.c", 999999999999),
            t + "     a    a.b     .c   999,999,999,999  /d/a.b.c");
  EXPECT_EQ(row(kAttrArchive, "big", 1000000000000),
            t + "     a    big     .    ***************  /d/big");
}

// A host that refuses the folders it is told to, and the reads of one member.
class RefusingHost : public FileHost {
 public:
  std::string refused_folder;  // folder path ending that open_folder refuses
  int refusal = 0;             // its errno value
  std::string failing_member;  // the one file whose reads fail
  int failing_handle = -1;
  int open_folder(const std::string& path, host::Folder** folder) override {
    if (!refused_folder.empty() && path.size() >= refused_folder.size() &&
        path.compare(path.size() - refused_folder.size(), std::string::npos, refused_folder) == 0) {
      *folder = nullptr;
      return refusal;
    }
    return FileHost::open_folder(path, folder);
  }
  int open(const std::string& path, host::OpenMode mode, int* handle) override {
    const int rc = FileHost::open(path, mode, handle);
    if (rc == 0 && path == failing_member) failing_handle = *handle;
    return rc;
  }
  int read(int handle, void* buf, int64_t len, int64_t* got) override {
    return handle == failing_handle ? EIO : FileHost::read(handle, buf, len, got);
  }
};

class Lines : public IoReporter {
 public:
  void failed(const FFREC& file, const char* text) override {
    failures += failure_line(file, text);
  }
  void listing_line(const std::string& line, bool trace) override {
    (trace ? trace_lines : notes) += line;
  }
  std::string failures, trace_lines, notes;
};

class DirListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = ::testing::TempDir() + "recsift_listing_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + "/";
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_ + "open/locked");
    put("one.txt", "1a\n1b\n");
    put("open/two.txt", "2a\n");
    put("open/locked/three.txt", "3a\n");
    request_.host = &host_;
    request_.reporter = &lines_;
    file_.file_type = kFileDirectory;
    file_.open_type = kOpenInput;
    file_.recfm = kRecfmU;
    file_.delimiter_length = 2;
    file_.tab_width = -1;
    file_.dir_sub = 256;
    file_.dir_sort = 'P';
    file_.full_name = true;
    pattern_ = root_ + "*";
    file_.dsn = pattern_.data();
  }
  void TearDown() override { std::filesystem::remove_all(root_); }
  void put(const std::string& name, const std::string& bytes) {
    ASSERT_TRUE(recsift::testing::put_file_bytes(root_ + name, bytes));
  }
  // The records up to the first result that is not one (kept in last_), each cut to the part
  // from the listing's root on (directory records) or whole (data).
  std::vector<std::string> read_all() {
    std::vector<std::string> out;
    for (;;) {
      last_ = read_record(request_, file_, nullptr, 0);
      if (!last_.ok()) return out;
      std::string r(static_cast<const char*>(last_.data), static_cast<size_t>(last_.length));
      const size_t at = r.find(root_);
      out.push_back(at == std::string::npos ? r : r.substr(at + root_.size()));
    }
  }

  std::string root_, pattern_;
  RefusingHost host_;
  Lines lines_;
  FileRequest request_;
  FFREC file_;
  IoResult last_;
};

TEST_F(DirListingTest, RefusedFolderIsNotedAndTheListingGoesOn) {
  host_.refused_folder = "/locked/";
  host_.refusal = EACCES;
  EXPECT_EQ(read_all(), (std::vector<std::string>{"one.txt", "open/two.txt"}));
  EXPECT_EQ(last_.status, IoStatus::kEndOfFile);
  EXPECT_EQ(lines_.notes, "Invalid File Handle. GetLastError = " + std::to_string(EACCES) + "\n");
  EXPECT_EQ(lines_.trace_lines, "");

  // A passing cause is tried kFolderAttempts (6) times in all before the folder is given up.
  lines_ = Lines();
  host_.refusal = EMFILE;
  EXPECT_EQ(read_all().size(), 2u);
  const std::string invalid =
      "Invalid File Handle. GetLastError = " + std::to_string(EMFILE) + "\n";
  std::string want;
  for (int i = 0; i < 6; ++i) want += invalid;
  want += "qelfilef: Open was retried 5 times on dir: " + root_ + "open/locked/\n" +
          "                 All attempts failed.\n";
  EXPECT_EQ(lines_.notes, want);
}

TEST_F(DirListingTest, MemberReadErrorEndsTheReadWithItsText) {
  file_.dirdata = true;
  host_.failing_member = root_ + "open/two.txt";
  EXPECT_EQ(read_all(), (std::vector<std::string>{"1a", "1b"}));
  ASSERT_EQ(last_.status, IoStatus::kError);
  EXPECT_STREQ(last_.error(), kErrRead);
  EXPECT_STREQ(file_.last_error, kErrRead);
  EXPECT_EQ(lines_.failures, "qelfio: Read failed.  (Input) F=\"" + root_ + "open/two.txt\"\n");
  close_file(request_, file_);
}

TEST_F(DirListingTest, EveryBlockComesBackAtTheEndAndAtClose) {
  const int64_t live = base::pool_settings().unguarded_live;
  file_.dirdata = true;
  EXPECT_EQ(read_all(), (std::vector<std::string>{"1a", "1b", "2a", "3a"}));
  EXPECT_EQ(last_.status, IoStatus::kEndOfFile);
  EXPECT_EQ(base::pool_settings().unguarded_live, live);

  file_.dirdata = false;
  file_.dir_sort = 0;
  ASSERT_TRUE(read_record(request_, file_, nullptr, 0).ok());
  EXPECT_GT(base::pool_settings().unguarded_live, live);
  ASSERT_TRUE(close_file(request_, file_).ok());
  EXPECT_EQ(base::pool_settings().unguarded_live, live);
  EXPECT_FALSE(file_.is_open);
}

}  // namespace
}  // namespace recsift::files
