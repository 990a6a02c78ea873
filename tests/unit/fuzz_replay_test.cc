// Replays the inputs that once broke the record-layer fuzz targets (fuzz/regressions/reader and
// fuzz/regressions/keyed) through the same checks as the targets, without libFuzzer: a hang, a
// crash or a broken check there is a fault come back.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "../../fuzz/keyed_target.h"
#include "../../fuzz/reader_target.h"

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

}  // namespace
}  // namespace recsift::fuzz
