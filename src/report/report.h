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

// ---- Listing ---------------------------------------------------------------------------------

// Listing settings (changed by OPTION and by PRINT/LOG statements) and the listing's state.
struct Listing {
  // Settings.
  int32_t page_width = 132;          // PW: columns of the heading lines
  int32_t data_width = 100;          // DW: data bytes per line of character and hex prints
  int32_t page_depth = 86;           // PD: lines per page, headings included
  int32_t length_print = 8;          // PRRECLEN: record-length column (0 = off)
  uint16_t dump_enclosure = 0x7C3A;  // DUMPENC: the two characters around dumped data
  bool dump_all = false;             // DUMPALL: dumps show every line, no compression
  bool no_echo = false;              // NOPCTL: control statements are not listed
  bool no_totals = false;            // NOPTOT, NOPSUM, PRTSUM 0: no summary
  bool report_mode = false;          // REPORT: prints use format 9, counters restart for the run
  int32_t summary_level = 2;         // PRTSUM 1..3
  bool headings_built = false;       // false after PW, DW, PRRECLEN or HEAD changed
  bool line_fields_wanted = false;   // a statement names UXLINE...: keep the line fields current
};

}  // namespace recsift::report

#endif  // RECSIFT_REPORT_REPORT_H_
