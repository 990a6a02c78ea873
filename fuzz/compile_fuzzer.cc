// Fuzz target: any bytes as a control file. Each line (cut to the longest logical line) is
// tokenised, substituted and compiled as the reader would hand it over; nothing may crash, read
// or write outside a buffer, or end in a logic error.
#include <cstddef>
#include <cstdint>
#include <string>

#include "../tests/unit/statement_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Runs keep their pool blocks, as a real run does; a fresh one per input keeps inputs apart.
  auto* run = new recsift::compiler::testing::CompileRun();
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
  return 0;
}
