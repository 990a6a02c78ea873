// The log stream, logic errors and the process's one early exit.
#include "base/fatal.h"

#include <cerrno>
#include <cstdlib>

namespace recsift::base {
namespace {
std::FILE* g_log = nullptr;  // null until set: standard error
}

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
  std::exit(exit_code);
}

}  // namespace recsift::base
