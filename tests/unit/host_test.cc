// The platform layer: clock override, path splitting and separators, file round trip, finder.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "host/host.h"

namespace recsift::host {
namespace {

TEST(HostClock, SourceDateEpochReplacesTheClock) {
  setenv("SOURCE_DATE_EPOCH", "1796308387", 1);
  EXPECT_EQ(clock_now(), 1796308387);
  setenv("SOURCE_DATE_EPOCH", "not-a-number", 1);
  EXPECT_GT(clock_now(), 1700000000);  // ignored: the real clock
  unsetenv("SOURCE_DATE_EPOCH");
  setenv("TZ", "UTC", 1);
  const CivilTime t = local_time(1796308387);  // Thursday 2026-12-03 14:33:07
  EXPECT_EQ(t.year, 2026);
  EXPECT_EQ(t.month, 12);
  EXPECT_EQ(t.mday, 3);
  EXPECT_EQ(t.yday, 337);
  EXPECT_EQ(t.wday, 4);
  EXPECT_EQ(t.hour * 10000 + t.minute * 100 + t.second, 143307);
}

TEST(HostPaths, BothSeparatorsSplitForwardSlashIsProduced) {
  std::string path = "a\\b/c\\d.txt";
  EXPECT_EQ(normalise_separators(path), 2);
  EXPECT_EQ(path, "a/b/c/d.txt");
  EXPECT_EQ(directory_part("dir\\sub/name.ext"), "dir\\sub/");
  EXPECT_EQ(name_part("dir\\sub/name.ext"), "name.ext");
  EXPECT_EQ(directory_part("name"), "");
  EXPECT_EQ(name_part("name"), "name");
  EXPECT_EQ(directory_part("/"), "/");
  EXPECT_EQ(name_part("dir/"), "");
  // A drive part is an ordinary name on this host.
  EXPECT_EQ(directory_part("C:file"), "");
}

class HostFiles : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/recsift-host-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
  std::string dir_;
};

TEST_F(HostFiles, WriteReadSeekAndStatus) {
  const std::string name = dir_ + "/f.dat";
  int h = kNoHandle;
  ASSERT_EQ(open_file(name, OpenMode::kWrite, &h), 0);
  ASSERT_EQ(write_file(h, "hello world", 11), 0);
  ASSERT_EQ(close_file(h), 0);
  ASSERT_EQ(open_file(name, OpenMode::kRead, &h), 0);
  int64_t size = 0, at = 0, got = 0;
  ASSERT_EQ(file_size(h, &size), 0);
  EXPECT_EQ(size, 11);
  ASSERT_EQ(seek_file(h, 6, 0, &at), 0);
  char buf[16] = {};
  ASSERT_EQ(read_file(h, buf, sizeof buf, &got), 0);
  EXPECT_EQ(std::string(buf, got), "world");
  ASSERT_EQ(read_file(h, buf, sizeof buf, &got), 0);
  EXPECT_EQ(got, 0);  // end of file
  close_file(h);
  FileStatus st;
  ASSERT_EQ(file_status(name, &st), 0);
  EXPECT_TRUE(st.is_regular);
  EXPECT_FALSE(st.hidden);
  ASSERT_EQ(set_file_time(name, 1000000000), 0);
  ASSERT_EQ(file_status(name, &st), 0);
  EXPECT_EQ(st.mtime, 1000000000);
  EXPECT_NE(open_file(dir_ + "/missing", OpenMode::kRead, &h), 0);
  EXPECT_EQ(h, kNoHandle);
  EXPECT_NE(open_file(dir_, OpenMode::kRead, &h), 0);  // a folder is not a file
}

TEST_F(HostFiles, DirectoryListingSkipsDotsAndDanglingLinks) {
  std::ofstream(dir_ + "/.hidden") << "x";
  std::ofstream(dir_ + "/plain") << "xy";
  ASSERT_EQ(symlink("nowhere", (dir_ + "/dangling").c_str()), 0);
  std::vector<DirEntry> entries;
  ASSERT_EQ(list_directory(dir_, &entries), 0);
  ASSERT_EQ(entries.size(), 2u);
  for (const auto& e : entries) {
    EXPECT_EQ(e.status.hidden, e.name == ".hidden");
    if (e.name == "plain") {
      EXPECT_EQ(e.status.size, 2);
    }
  }
}

TEST_F(HostFiles, FinderLooksBesideTheProgramThenShareThenPath) {
  std::system(("mkdir -p " + dir_ + "/bin " + dir_ + "/share/recsift " + dir_ + "/p").c_str());
  std::ofstream(dir_ + "/share/recsift/cat.msg") << "x";
  std::ofstream(dir_ + "/p/tool.ctl") << "x";
  EXPECT_EQ(find_file("cat.msg", dir_ + "/bin/"), dir_ + "/bin/../share/recsift/cat.msg");
  std::ofstream(dir_ + "/bin/cat.msg") << "x";
  EXPECT_EQ(find_file("cat.msg", dir_ + "/bin/"), dir_ + "/bin/cat.msg");
  const std::string saved = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
  setenv("PATH", ("/nonexistent:" + dir_ + "/p/").c_str(), 1);
  EXPECT_EQ(find_file("tool.ctl", dir_ + "/bin/"), dir_ + "/p/tool.ctl");
  EXPECT_EQ(find_file("absent.ctl", dir_ + "/bin/"), "");
  setenv("PATH", saved.c_str(), 1);
}

TEST(HostProcess, CommandStatusAndAddressWord) {
  int status = -1;
  ASSERT_EQ(run_command("exit 3", &status), 0);
  EXPECT_EQ(status, 3);
  ASSERT_EQ(run_command("kill -TERM $$", &status), 0);
  EXPECT_EQ(status, 128 + 15);
  EXPECT_EQ(address_word(nullptr), 0u);
  EXPECT_EQ(address_word(reinterpret_cast<void*>(uintptr_t{0x100000000})), 1u);
  EXPECT_EQ(address_word(reinterpret_cast<void*>(uintptr_t{0x12345678})), 0x12345678u);
}

// The confinement a harness puts on: nothing that reaches outside the run and its folder.
TEST(HostProcess, ConfinementRefusesWhatReachesOutsideUntilLifted) {
  forbid_outside_effects(true);
  int status = -1;
  EXPECT_EQ(run_command("exit 0", &status), EPERM);
  void* library = &status;
  EXPECT_NE(load_library("libc.so.6", &library, nullptr), 0);
  EXPECT_EQ(library, nullptr);
  EXPECT_FALSE(stdin_is_console());
  int handle = 0;
  for (const char* outside : {"/etc/hostname", "../x", "a/../../x", "..\\x", "a\\.."}) {
    EXPECT_EQ(open_file(outside, OpenMode::kRead, &handle), EACCES) << outside;
    EXPECT_EQ(handle, kNoHandle);
  }
  for (const char* inside : {"x", "a/b", "a..b", "..x", ".hidden", "./x"}) {
    EXPECT_EQ(refuse_outside(inside), 0) << inside;
  }
  std::vector<DirEntry> entries;
  EXPECT_EQ(list_directory("/", &entries), EACCES);
  Folder* folder = nullptr;
  EXPECT_EQ(open_folder("..", &folder), EACCES);
  EXPECT_EQ(remove_file("/nonexistent/x"), EACCES);
  EXPECT_EQ(set_file_time("../x", 0), EACCES);
  forbid_outside_effects(false);
  EXPECT_FALSE(outside_effects_forbidden());
  EXPECT_EQ(refuse_outside("/etc/hostname"), 0);
  EXPECT_EQ(run_command("exit 0", &status), 0);
}

}  // namespace
}  // namespace recsift::host
