// The pending message number.
#include "report/report.h"

namespace recsift::report {

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
