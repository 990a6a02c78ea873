// Fuzz target: a whole run (fuzz/run_target.h). The bytes are a control file and a data file,
// run through the run driver in a folder of the fuzzer's own (emptied before each input; under
// $RUN_FUZZER_DIR when set, else the temporary folder; removed at a normal exit, while libFuzzer's
// own ends may leave it); crashes, sanitizer reports, hangs and memory growth are libFuzzer's to
// report.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "run_target.h"

namespace {

std::filesystem::path g_folder;  // where the runs happen

void remove_folder() {
  std::error_code ec;
  std::filesystem::remove_all(g_folder, ec);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::error_code ec;
  const char* base = recsift::host::env("RUN_FUZZER_DIR");
  std::random_device random;
  g_folder =
      (base != nullptr ? std::filesystem::path(base) : std::filesystem::temp_directory_path(ec)) /
      ("recsift-run-fuzzer-" + std::to_string(random()));
  std::filesystem::create_directories(g_folder, ec);
  std::atexit(remove_folder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  recsift::fuzz::run_input(data, size, g_folder);
  return 0;
}
