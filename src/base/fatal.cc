// The log stream, logic errors and the process's one early exit (and its handler for harnesses).
#include "base/fatal.h"

#include <cerrno>
#include <cstdlib>

namespace recsift::base {
namespace {
std::FILE* g_log = nullptr;            // null until set: standard error
StopHandler g_stop_handler = nullptr;  // set by a harness that runs many runs, else null
}  // namespace

std::FILE* log_stream() {
  return g_log != nullptr ? g_log : stderr;
}

void set_log_stream(std::FILE* stream) {
  g_log = stream;
}

int close_log_stream() {
  std::FILE* log = log_stream();
  int status = std::fflush(log) == 0 ? 0 : errno;
  if (log != stderr && log != stdout) {
    if (std::fclose(log) != 0 && status == 0) status = errno;
  }
  g_log = nullptr;
  return status;
}

void logic_error(LogicError code, int32_t selid) {
  std::FILE* log = log_stream();
  std::fprintf(log, "** Logic Error=%d", static_cast<int>(code));
  if (selid != 0) std::fprintf(log, "  Selid=%d", selid);
  std::fputs("  Run terminated.\n", log);
  stop_process(code);
}

void stop_process(int exit_code) {
  std::fflush(nullptr);
  if (g_stop_handler != nullptr) g_stop_handler(exit_code);
  std::exit(exit_code);
}

void set_stop_handler(StopHandler handler) {
  g_stop_handler = handler;
}

}  // namespace recsift::base
