// Listing and reports: the log stream every trace, banner and fatal message goes to, and the
// pending message of the run. The listing file, record prints, the summary and the message
// printer join this header as they are built.
#ifndef RECSIFT_REPORT_REPORT_H_
#define RECSIFT_REPORT_REPORT_H_

#include <cstdint>
#include <cstdio>

namespace recsift::report {

// ---- Log stream ------------------------------------------------------------------------------
// Standard error unless "-log" named a file. Process-wide: fatal stops anywhere write to it.

std::FILE* log_stream();
void set_log_stream(std::FILE* stream);
// Closes a log file (never a standard stream) and falls back to standard error. Returns 0, or
// the error of the final flush or close.
int close_log_stream();

// ---- Pending message -------------------------------------------------------------------------
// Message numbers below 500 are compile-time messages, 500 and above run-time messages.

inline constexpr int32_t kFirstRunTimeMessage = 500;

struct Messages {
  int32_t pending = 0;  // first number raised since the last clear; 0 = none
  int32_t printed = 0;  // messages printed in the run
};

// Keeps `number` unless a message is already pending; 0 clears the pending message.
void record_error(Messages& messages, int32_t number);

}  // namespace recsift::report

#endif  // RECSIFT_REPORT_REPORT_H_
