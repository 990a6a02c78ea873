// The one way out of an impossible internal state.
#include <cstdio>
#include <cstdlib>

#include "engine/engine.h"
#include "report/report.h"

namespace recsift::engine {

void logic_error(int32_t code, int32_t selid) {
  std::FILE* log = report::log_stream();
  std::fprintf(log, "** Logic Error=%d", code);
  if (selid != kNoSelid) std::fprintf(log, "  Selid=%d", selid);
  std::fputs("  Run terminated.\n", log);
  std::fflush(nullptr);
  std::exit(code);
}

}  // namespace recsift::engine
