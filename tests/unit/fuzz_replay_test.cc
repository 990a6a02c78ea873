// Replays the inputs that once broke the fuzz targets (fuzz/regressions/reader, keyed and run)
// through the same checks as the targets, without libFuzzer: a hang, a crash or a broken check
// there is a fault come back. A whole run must end with its exit code, or by a stop of the
// process that the harness catches.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "../../fuzz/keyed_target.h"
#include "../../fuzz/reader_target.h"
#include "../../fuzz/run_target.h"

namespace recsift::fuzz {
namespace {

using Check = const char* (*)(const uint8_t*, size_t);

// Runs every file of the folder; returns how many there were.
int replay(const std::string& folder, Check check) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const char* broken = check(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    EXPECT_EQ(broken, nullptr) << entry.path() << ": " << broken;
    ++files;
  }
  return files;
}

TEST(FuzzReplay, InputsThatOnceFailedNowHold) {
  EXPECT_GT(replay(RECSIFT_FUZZ_DIR "regressions/reader",
                   [](const uint8_t* d, size_t n) { return check_reader_input(d, n); }),
            0);
  EXPECT_GT(replay(RECSIFT_FUZZ_DIR "regressions/keyed",
                   [](const uint8_t* d, size_t n) { return check_keyed_input(d, n); }),
            0);
}

TEST(FuzzReplay, WholeRunsThatOnceFailedNowEnd) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / "recsift-replay-run";
  int runs = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(RECSIFT_FUZZ_DIR "regressions/run")) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const RunOutcome outcome =
        run_input(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), folder);
    EXPECT_TRUE(outcome.ran) << entry.path();
    runs += outcome.ran ? 1 : 0;
  }
  std::filesystem::remove_all(folder);
  EXPECT_GT(runs, 0);
}

}  // namespace
}  // namespace recsift::fuzz
