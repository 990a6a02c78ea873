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
  int32_t pending = 0;       // first number raised since the last clear; 0 = none
  int32_t printed = 0;       // messages printed in the run
  int32_t mark_offset = -1;  // offending token's offset in the statement buffer; -1 = none
  int32_t mark_length = 0;   // its length (the underline's width)
  bool warning = false;      // a statement deserves a warning underline without a number
};

// Keeps `number` (and the offending token's place, when given) unless a message is already
// pending; 0 clears the pending message and the mark.
void record_error(Messages& messages, int32_t number, int32_t mark_offset = -1,
                  int32_t mark_length = 0);

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

// Print types of listing requests.
enum PrintType : uint8_t {
  PT_ECHO = 1,       // control-statement echo: carriage-control byte, statement number, text
  PT_TEXT = 2,       // a zero-terminated text line
  PT_CLOSE = 4,      // close the listing
  PT_SPACE = 5,      // count blank lines
  PT_SKIP = 6,       // advance to line `count` of the page
  PT_LINE = 8,       // text of the print length
  PT_REPORT = 9,     // as PT_LINE, under the REPORT option
  PT_DUMP = 11,      // dump format
  PT_DUMP_HEX = 12,  // dump without the character part
  PT_DUMP_DA = 13,   // dump, untranslated characters
  PT_DUMP_DE = 14,   // dump, untranslated characters
  PT_CHAR_RAW = 16,  // character line, untranslated
  PT_CHAR = 17,      // character line
  PT_HEX = 18,       // zone and digit lines
  PT_BOTH = 19,      // character, zone and digit lines
  PT_MIXED = 20,     // mixed lines
  PT_MIXED_2 = 21,   // as PT_MIXED
  PT_MIXED_3 = 22,   // as PT_MIXED
};

// Destinations of listing lines (bits of Listing::destination).
inline constexpr uint8_t DEST_LISTING = 1;
inline constexpr uint8_t DEST_LOG = 2;

// The single entry point of the listing: builds the headings and opens the listing when needed,
// then performs the print. count: statement number (PT_ECHO), lines (PT_SPACE), line number
// (PT_SKIP). Fatal listing errors end the process.
void listing_print(Listing& listing, const void* data, int type, int32_t count);

// Prints the pending message (underline, framed text, first-message copy to the log) and clears
// it. Returns the number of messages printed in the run so far.
int32_t print_message(Listing& listing, Messages& messages);

}  // namespace recsift::report

#endif  // RECSIFT_REPORT_REPORT_H_
