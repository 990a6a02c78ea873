// Fuzz target: one file of any record format and settings, read from memory to its end with
// READ and READ at a byte address (fuzz/reader_target.h). A broken invariant aborts with its
// description; crashes and sanitizer reports are libFuzzer's.
#include <cstdio>
#include <cstdlib>

#include "reader_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (const char* broken = recsift::fuzz::check_reader_input(data, size)) {
    std::fprintf(stderr, "reader invariant broken: %s\n", broken);
    std::abort();
  }
  return 0;
}
