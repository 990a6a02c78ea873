// The log stream and the pending message number.
#include <cerrno>

#include "report/report.h"

namespace recsift::report {

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

void record_error(Messages& messages, int32_t number, int32_t mark_offset, int32_t mark_length) {
  if (number == 0) {
    messages.pending = 0;
    messages.mark_offset = -1;
    messages.mark_length = 0;
  } else if (messages.pending == 0) {
    messages.pending = number;
    messages.mark_offset = mark_offset;
    messages.mark_length = mark_length;
  }
}

}  // namespace recsift::report
