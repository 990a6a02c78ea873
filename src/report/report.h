// Listing and reports: the log stream every trace, banner and fatal message goes to; the pending
// message, the message catalogue and the message printer; the listing file with its pages,
// headings, statement echo and plain-text prints; the record prints (character, hexadecimal,
// mixed and dump formats) through the same entry point; the run summary and its return codes.
#ifndef RECSIFT_REPORT_REPORT_H_
#define RECSIFT_REPORT_REPORT_H_

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"
#include "program/program.h"

namespace recsift::report {

// ---- Pending message -------------------------------------------------------------------------
// Message numbers below 500 are compile-time messages, 500 and above run-time messages.

inline constexpr int32_t kFirstRunTimeMessage = 500;
// Largest catalogue kept in storage: later message lines of the file are not loaded.
inline constexpr int kCatalogueLimit = 8192;
// The text shown when a number has no line in the catalogue (or there is no catalogue).
inline constexpr const char* kMissingMessageText = "Error Number not in recsift.msg file";

struct Messages {
  // The pending message: set by record_error, cleared by print_message.
  int32_t pending = 0;       // first number raised since the last clear; 0 = none
  int32_t printed = 0;       // messages printed in the run
  int32_t mark_offset = -1;  // offending token's offset in the statement buffer; -1 = none
  int32_t mark_length = 0;   // its length (the underline's width)
  bool warning = false;      // a statement deserves a warning underline without a number

  // Set by the caller of a run-time message that concerns a file (the file the failing
  // statement used); both null otherwise. Not owned; cleared by print_message.
  const char* file_name = nullptr;     // the file's short name, shown as "F=name - "
  const char* file_message = nullptr;  // the file layer's own text for the failure, if any
  // Set by the run phase for run-time messages: the most recent block of the current input file
  // (or of the primary input), dumped after the message; null or length 0 for none. Not owned;
  // cleared by print_message.
  const uint8_t* input_block = nullptr;
  int32_t input_block_length = 0;

  // The catalogue, loaded whole at the first message of the run.
  std::string program_dir;        // folder searched first for recsift.msg (ends with "/")
  std::string catalogue;          // "\n" then the kept "Ennn text" lines, each ended by "\n"
  bool catalogue_loaded = false;  // the file has been looked for (found or not)
};

// Keeps `number` (and the offending token's place, when given) unless a message is already
// pending; 0 clears the pending message and the mark.
void record_error(Messages& messages, int32_t number, int32_t mark_offset = -1,
                  int32_t mark_length = 0);

// Loads the catalogue from `path` (replacing any earlier one) and marks it loaded: every line
// "Ennn text" of the file is kept, up to kCatalogueLimit bytes. An empty path, or a file that
// cannot be read, leaves an empty catalogue. Returns the number of message lines kept.
int32_t load_catalogue(Messages& messages, const std::string& path);
// The catalogue text of `number` (up to its "!", carriage return or line feed), or
// kMissingMessageText. Loads the catalogue first when it has not been looked for yet.
std::string_view message_text(Messages& messages, int32_t number);

// ---- Listing ---------------------------------------------------------------------------------

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

inline constexpr int kHeadingSize = 160;   // each of the two heading buffers
inline constexpr int kHeadTextMax = 56;    // columns of the left heading (HEAD text)
inline constexpr int kEchoLineSize = 528;  // longest echo line: prefix, statement, terminator

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
  // A page narrower than 83 columns puts the date into the title's columns: the first of them
  // (0 when none), what the title held there, and what the layout wrote there, for both lines.
  int32_t laid_over_from = 0;
  std::string title_under_1, title_under_2, laid_over_1, laid_over_2;
  bool line_fields_wanted = false;  // a statement names UXLINE...: keep the line fields current

  // Run areas, handed over once by listing_attach (all inside the driver's work block).
  char* heading_1 = nullptr;           // kHeadingSize: [0] LF, [1] page control, columns from [2]
  char* heading_2 = nullptr;           // kHeadingSize: the rule line, columns from [0]
  const uint8_t* date_area = nullptr;  // the run's date area (start-up time stamp)
  uint8_t* special = nullptr;          // the special-variable area (PGNO, UXLINE, banner flags)
  const char* short_banner = nullptr;  // zero-terminated banner line for the log, "\n" ended
  std::string title;                   // first 16 heading columns as set at start-up
  std::string build_suffix;            // ".nnn" from the version text, for the closing line

  // Listing file.
  std::string name;              // "-lst" value; resolved at open (RSFLST, "RSFT.LST")
  std::FILE* file = nullptr;     // the open listing, or null
  bool standard_stream = false;  // file is standard output or error: flushed, never closed
  bool opened = false;           // the listing has been opened in this run
  bool closed = false;           // PT_CLOSE done: later listing lines are dropped

  // Page and request state.
  uint8_t destination = DEST_LISTING;  // DEST_LISTING | DEST_LOG, set before each print
  int32_t lines_left = 0;              // lines still free on the page (may go negative)
  int32_t page_number = 0;             // pages begun so far
  int32_t lines_needed = 0;            // lines the current print needs before a new page
  uint8_t current_type = 0;            // print type of the request in hand
  uint8_t previous_type = 0;           // type of the last request that reached the listing
  int heading_start = 1;               // byte of heading_1 where the first heading line starts
  int page_digits = 0;                 // offset in heading_1 of the page number's four digits
  std::string echo_line;               // the echo in hand: carriage control, number, text
  std::vector<char> line_buffer;       // work line of record prints: 20 + DW + 8 bytes at least
  std::vector<char> fast_line;         // line of the direct character prints: 20 + DW + 8 + CR LF
  // The counts the direct character prints showed last (input number, SEL TOT, SEL ID, record
  // length) and their edited columns (the 20 of the prefix, then the 8 of the length column): a
  // print edits only what changed. The text is meaningful once fast_counts_shown is set.
  std::array<int32_t, 4> fast_counts{};
  std::array<char, 28> fast_count_text{};
  bool fast_counts_shown = false;
  // The character family's three column-heading lines and its ruler, built for char_rows_width
  // data columns (0: not built yet) with or without the length column (char_rows_length).
  std::array<std::string, 4> char_rows;
  int32_t char_rows_width = 0;
  bool char_rows_length = false;
  // Prints take the general path only (RECSIFT_GENERAL; tests compare both paths).
  bool general_prints = host::general_path_only();
  bool large_buffer = false;  // the listing file uses the process's large stdio buffer

  // Record prints: set by the caller before a print of type 8 and up.
  int32_t print_length = 0;   // bytes to print
  int32_t record_length = 0;  // shown in the length column
  // The line prefix of record prints (types 11 and up), set by the caller with the two above.
  int64_t input_number = 0;     // records read from the current input file (0 = none)
  int64_t selection_total = 0;  // times the printing statement has run (SEL TOT)
  int32_t selection_id = 0;     // the printing statement's number (SEL ID)
  // A PRINT, LOG or PLOG statement carries its own copy of the dump settings; without one
  // (statement_dump false) dumps use the run-wide dump_enclosure and dump_all.
  bool statement_dump = false;
  uint16_t statement_enclosure = 0x7C3A;  // the statement's DUMPENC
  bool statement_dump_all = false;        // the statement's DUMPALL

  // Console replies of LOG ... REPLY: set by the executor for one print, cleared after it.
  char* reply_area = nullptr;    // blanked, then receives the typed characters
  int32_t reply_length = 0;      // its length
  bool log_cut_80 = false;       // the log copy is cut to 80 columns (no explicit length)
  std::FILE* console = nullptr;  // console opened for replies (once per run)
  bool console_failed = false;   // the console could not be opened
  Messages* messages = nullptr;  // where message 570 is flagged (set by the driver)
};

// Hands the run's areas to the listing (the driver calls it once, after start-up has set the
// heading template and the rule). Remembers the start-up title (the first 16 heading columns)
// and the build suffix of `version_text` ("2.08.666 ..." gives ".666") for the closing line.
void listing_attach(Listing& listing, char* heading_1, char* heading_2, const uint8_t* date_area,
                    uint8_t* special, const char* short_banner, std::string_view version_text);

// The single entry point of the listing: builds the headings and opens the listing when needed,
// then performs the print. count: statement number (PT_ECHO), lines (PT_SPACE), line number
// (PT_SKIP). Fatal listing errors end the process: an unknown type (exit 5), a listing that cannot
// be opened (exit 1), a write, flush or close that fails (exit 77).
void listing_print(Listing& listing, const void* data, int type, int32_t count);

// Writes one line to the active destinations: `length` bytes of text (negative: up to its zero
// byte), less one trailing line feed and every trailing blank, then CR LF on the listing (where
// `lines` is counted off the page) and LF on the log stream.
void listing_write_line(Listing& listing, const char* text, int32_t length, int32_t lines);

// Starts a new page when the print in hand does not fit on the current one (nothing while the
// listing destination is off).
void listing_page_check(Listing& listing);

// OPTION HEAD: the text (at most 56 columns are used) becomes the left heading, with as many
// dashes under it; an empty text blanks both (the compiler passes "" for HEAD NO).
void listing_set_head(Listing& listing, std::string_view text);
// OPTION PD: the page depth changes and the current page ends at the new depth (the lines left
// change by the same amount). The caller has checked the lower bound.
void listing_set_page_depth(Listing& listing, int32_t depth);
// Writes the short banner to the log stream unless it is not wanted or already there.
void log_banner_once(Listing& listing);

// Prints the pending message (underline, framed text, first-message copy to the log) and clears
// it. Returns the number of messages printed in the run so far.
int32_t print_message(Listing& listing, Messages& messages);

// ---- Run summary -----------------------------------------------------------------------------
// The engine gathers what the summary shows (statements in text order, their files and labels,
// the run's end state) into plain records; the summary prints them and settles the return codes
// 4 and 16. The files are closed by the caller before, so counts and flags are final.

// One file as a summary line shows it.
struct SummaryFile {
  std::string short_name;           // the 8-character name shown in the FILE column
  std::string path;                 // the full name as given (or directory, name and extension)
  int32_t blksize = 0;              // BLKSIZE column
  int32_t lrecl = 0;                // LRECL column
  std::string recfm;                // "F", "V", "U", "V2", "MFV"; "?" when unknown
  bool blocked = false;             // "B" after the format
  int64_t record_count = 0;         // records read or written
  int32_t truncated = 0;            // records shortened on output ("=RECORDS*TRUNCATED*")
  int32_t error_code = 0;           // kinds with error codes ("=ERROR*CODE*"), else 0
  bool open_failed = false;         // "### **OPEN*FAILED** ###"
  bool not_found_or_empty = false;  // "### **NOT*FOUND*OR*EMPTY** ###"
  bool opened = false;              // opened at least once (else "*NOT*OPENED*")
  bool eof_reached = false;         // a READ's file reached its end (else "*EOF*NOT*REACHED*")
  bool incomplete = false;          // an output of a run that ended abnormally or whose write
                                    // failed: it lacks records ("### **OUTPUT*INCOMPLETE** ###")
  bool concatenated = false;        // a member of a concatenation after the first: "CAT"
  bool dl1 = false;                 // a DL/I file: "DL1" in place of the operation name
  bool console_total = false;       // write a record-total line to the log stream
};

// One label printed before a statement (levels 2 and 3).
struct SummaryLabel {
  std::string name;        // as written
  std::string annotation;  // its comment, or ""
};

// One statement of the program in text order (the End statement is not included).
struct SummaryStatement {
  int32_t selid = 0;  // selection id (0 for the system READ of a suspended program)
  uint8_t type = 0;   // statement type 1..8
  program::Op op = program::Op::kNone;  // operation code (actions); kNone for conditions
  int64_t exec_count = 0;               // SELTOT (shown unsigned)
  int32_t error_count = 0;              // failures counted against the statement
  bool reads = false;              // a READ (or a dummy read): its files get the end-of-file status
  bool dummy_read = false;         // the read of a DUMMY file: "READ" in the operation column
  std::vector<SummaryFile> files;  // the files it uses, one line each; empty for none
  std::vector<SummaryLabel> labels;  // labels standing before it
  std::string annotation;            // its comment, or ""
};

// What the summary needs of the run.
struct SummaryInput {
  std::vector<SummaryStatement> statements;  // in text order
  uint8_t* special = nullptr;         // the special-variable area: RETCD is read and raised here
  int32_t rc_selid = 0;               // statement that raised the return code (0 = none)
  bool stopped = false;               // ended by STOP or EOJ
  bool abended = false;               // ended abnormally: the closing banner
  bool primary_unfinished = false;    // the primary input (or a file concatenated to it) did
                                      // not reach its end of file
  int32_t lrecl_changes_ignored = 0;  // "INVALID LRECL CHANGES IGNORED"
  int32_t mask_truncations = 0;       // "MASK LENGTHS TRUNCATED TO 256"
};

// Prints the summary block (unless suppressed), raises the return code to 16 when nothing was
// written or printed and to 4 when the primary input was not read to its end (both not after
// STOP or EOJ), prints the warning lines and the abnormal-end banner. The pending message has
// been printed and the files closed by the caller.
void print_summary(Listing& listing, const SummaryInput& input);

}  // namespace recsift::report

#endif  // RECSIFT_REPORT_REPORT_H_
