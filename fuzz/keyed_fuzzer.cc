// Fuzz target: keyed reads, plain READs and READs at a byte address on one file in memory,
// checked against a scan when its keys ascend (fuzz/keyed_target.h). A broken check aborts with
// its description; crashes and sanitizer reports are libFuzzer's.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "keyed_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string detail;
  if (const char* broken = recsift::fuzz::check_keyed_input(data, size, &detail)) {
    std::fprintf(stderr, "keyed invariant broken: %s (%s)\n", broken, detail.c_str());
    std::abort();
  }
  return 0;
}
