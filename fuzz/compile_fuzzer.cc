// Fuzz target: any bytes as a control file. Each line (cut to the longest logical line) is
// tokenised, substituted and compiled as the reader would hand it over; nothing may crash, read
// or write outside a buffer, or end in a logic error.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "../tests/unit/statement_harness.h"
#include "base/pool.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A fresh run per input keeps inputs apart; its pool blocks go with the arena once the run's
  // own objects are gone, so memory stays flat however many inputs are tried.
  recsift::base::PoolArena arena;
  auto run = std::make_unique<recsift::compiler::testing::CompileRun>();
  std::string text(reinterpret_cast<const char*>(data), size);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, std::min<size_t>(end - start, 515));
    for (char& c : line) {
      if (c == '\0') c = ' ';  // the reader reads zero bytes as blanks
    }
    run->compile(line + "\n");
    start = end + 1;
  }
  recsift::report::listing_print(run->listing, nullptr, recsift::report::PT_CLOSE, 0);
  run.reset();
  return 0;
}
