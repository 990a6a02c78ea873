// The run summary: one block on the listing that shows, for every statement of the program in
// text order, how often it ran, which files it used with their attributes, counts and status, its
// failures and (levels 2 and 3) its labels; then the return-code rules of the end of the run (16
// when nothing was written or printed, 4 when the primary input was not read to its end), the
// warning lines and the abnormal-end banner.
//
// Every summary line is built in one work line at fixed columns (column c is byte c - 1) and
// written through PT_LINE when the next statement, file or label needs a line of its own. The
// work line has no fixed limit (a long path is shown whole); a written line holds at most 132
// columns and the rest goes to continuation lines that begin at a column chosen by the kind of
// line. After a line is written the work line is blank again.
//
// The return code is only ever raised here, never lowered, and rc_selid is left alone: the raise
// belongs to the run as a whole, not to a statement.
#include <algorithm>
#include <array>
#include <cstdio>
#include <set>
#include <string>
#include <string_view>

#include "base/fatal.h"
#include "convert/convert.h"
#include "convert/special_area.h"
#include "program/program.h"
#include "report/report.h"

namespace recsift::report {

namespace {

// Roles of the condition statements at level 3, three columns each, from type 4 (IF) to 8.
constexpr std::string_view kConditionRoles = "if  a or ti li ";
static_assert(kConditionRoles.size() == 3 * (program::kStElseIf - program::kStIf + 1));

// ---- Layout ----------------------------------------------------------------------------------

constexpr int kMinLinesForBlock = 12;  // fewer lines left: the summary starts a new page
constexpr int kPieceWidth = 132;       // columns of a written line
constexpr int kShortenMax = 10;        // a piece gives back at most this many columns for a blank
constexpr int kContinueFile = 72;      // continuation column of a file line (levels 1 and 2)
constexpr int kContinueFileLevel3 = 78;
constexpr int kContinueLabel = 55;
constexpr int kContinueOther = 75;
constexpr int kFileShiftLevel3 = 6;  // level 3: the file detail stands further right
constexpr int kNoteShiftLevel3 = 8;  // level 3: the error note stands further right
constexpr int kOpColumn = 21;        // levels 1 and 2: operation name, "=ret=", failure text
constexpr int kRoleColumn = 23;      // level 3: role word, or operation name without one
constexpr int kOpAfterRole = 27;     // level 3: operation name after a role word
constexpr int kOpWidth = 7;
constexpr int kAnnotationColumn = 53;             // statement and label annotations
constexpr int64_t kRangeCountLimit = 10'000'000;  // a larger count fills the range's columns

constexpr std::string_view kHeading =
    " SEL-ID      SELTOT      FILE     BLKSIZE  LRECL           FSIZE   CI    DSN";
constexpr size_t kHeadingFileAt = 25;  // 0-based: where "FILE" starts (moved at level 3)

constexpr const char* kSelidMask = "00009";
constexpr const char* kCountMask = "0,000,000,009";
constexpr const char* kBlksizeMask = "0000000 ";
constexpr const char* kLreclMask = "00000";
constexpr const char* kFileCountMask = " 0,000,000,009";
constexpr const char* kStatusCountMask = "009 ";
constexpr const char* kNoteCountMask = "00099";
constexpr const char* kWarningValueMask = "00000009";

std::string edit(int64_t value, std::string_view mask) {
  std::string text(mask.size(), ' ');
  convert::edit_number64(text.data(), value, mask);
  return text;
}

// Leading blanks of an edited number shown as `fill`.
std::string edit_filled(int64_t value, std::string_view mask, char fill) {
  std::string text = edit(value, mask);
  for (char& c : text) {
    if (c != ' ') break;
    c = fill;
  }
  return text;
}

// Counters are kept in 32 bits by the run: a negative one has wrapped and is shown unsigned.
int64_t shown_count(int64_t count) {
  return count < 0 ? (count & 0xFFFFFFFF) : count;
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// ---- The work line and its writer ------------------------------------------------------------

enum class LineKind { kOther, kFile, kLabel };

class SummaryBlock {
 public:
  SummaryBlock(Listing& listing, int level) : listing_(listing), level_(level) {}

  void heading();
  void statement(const SummaryStatement& st);
  void condition_failures(const SummaryStatement& st);
  // Writes the pending line, if any.
  void finish() { write(); }
  void empty_line() { print_piece(""); }

 private:
  int file_shift() const { return level_ == 3 ? kFileShiftLevel3 : 0; }

  // Places text from 1-based `column` on, growing the work line as needed.
  void put(int column, std::string_view text) {
    const size_t at = static_cast<size_t>(column - 1);
    if (line_.size() < at + text.size()) line_.resize(at + text.size(), ' ');
    line_.replace(at, text.size(), text);
  }
  // Columns from..to (1-based, inclusive) hold nothing yet.
  bool blank(int from, int to) const {
    for (int c = from; c <= to && static_cast<size_t>(c) <= line_.size(); ++c) {
      if (line_[static_cast<size_t>(c - 1)] != ' ') return false;
    }
    return true;
  }

  void write();
  void print_piece(const std::string& text);
  void label_line(const SummaryLabel& label);
  void operation_column(const SummaryStatement& st, std::string_view name, bool first_line);
  void file_lines(const SummaryStatement& st);
  void file_detail(const SummaryFile& file);
  void status_line(int32_t count, std::string_view text);
  void error_note(int32_t errors);

  Listing& listing_;
  const int level_;
  std::string line_;                  // the work line: column c is line_[c - 1]
  LineKind kind_ = LineKind::kOther;  // decides the continuation column
  bool range_open_ = false;           // the pending line shows actions a next one may join
  int64_t range_count_ = 0;           // their count
};

void SummaryBlock::print_piece(const std::string& text) {
  listing_.print_length = static_cast<int32_t>(text.size());
  listing_print(listing_, text.c_str(), PT_LINE, 0);
}

// Cuts the work line into pieces of at most 132 columns. Every piece after the first begins at
// the continuation column; except on file lines (whose path is cut where it must), a piece that
// more text follows gives back up to 10 columns so that the next piece begins at a blank.
void SummaryBlock::write() {
  const size_t used = line_.find_last_not_of(' ');
  if (used != std::string::npos) {
    const size_t length = used + 1;
    const int continuation = kind_ == LineKind::kLabel ? kContinueLabel
                             : kind_ == LineKind::kFile
                                 ? (level_ == 3 ? kContinueFileLevel3 : kContinueFile)
                                 : kContinueOther;
    size_t at = 0;
    size_t width = kPieceWidth;
    std::string indent;
    while (at < length) {
      size_t n = std::min(width, length - at);
      if (at + n < length && kind_ != LineKind::kFile) {
        size_t back = 0;
        while (back <= kShortenMax && line_[at + n - back] != ' ') ++back;
        if (back <= kShortenMax) n -= back;
      }
      print_piece(indent + line_.substr(at, n));
      at += n;
      width = static_cast<size_t>(kPieceWidth + 1 - continuation);
      indent.assign(static_cast<size_t>(continuation - 1), ' ');
    }
  }
  line_.clear();
  kind_ = LineKind::kOther;
  range_open_ = false;
}

void SummaryBlock::heading() {
  std::string columns(kHeading);
  if (level_ == 3) columns.insert(kHeadingFileAt, static_cast<size_t>(kFileShiftLevel3), ' ');
  std::string underline = columns;
  for (char& c : underline) {
    if (c != ' ') c = '-';
  }
  listing_print(listing_, "", PT_TEXT, 0);
  listing_print(listing_, "SUMMARY..", PT_TEXT, 0);
  listing_print(listing_, columns.c_str(), PT_TEXT, 0);
  listing_print(listing_, underline.c_str(), PT_TEXT, 0);
}

// "=name=" and the label's annotation, on a line of its own.
void SummaryBlock::label_line(const SummaryLabel& label) {
  put(kOpColumn, "=" + label.name + "=");
  if (!label.annotation.empty()) {
    const int end = kOpColumn + static_cast<int>(label.name.size()) + 1;  // the closing "="
    put(std::max(kAnnotationColumn, end + 2), label.annotation);
  }
  kind_ = LineKind::kLabel;
  write();
}

// The operation column of a statement line: at levels 1 and 2 at column 21, 7 columns wide; at
// level 3 the role word (conditions, THEN and ELSE actions) at column 23 and the lower-case name
// after it. `first_line` is false for the further files of a statement, which carry no role.
void SummaryBlock::operation_column(const SummaryStatement& st, std::string_view name,
                                    bool first_line) {
  if (level_ < 3) {
    std::string shown(name.substr(0, kOpWidth));
    shown.resize(kOpWidth, ' ');
    put(kOpColumn, shown);
    return;
  }
  int column = kRoleColumn;
  if (first_line) {
    std::string_view role;
    if (program::is_condition(st.type)) {
      role = kConditionRoles.substr(static_cast<size_t>(3 * (st.type - program::kStIf)), 3);
    } else if (st.type == program::kStThenAction) {
      role = "t";
    } else if (st.type == program::kStElseAction) {
      role = "el";
    }
    if (!role.empty()) {
      put(kRoleColumn, role);
      column = kOpAfterRole;
    }
  }
  if (!name.empty()) put(column, name.substr(0, kOpWidth));
}

void SummaryBlock::file_detail(const SummaryFile& file) {
  const int s = file_shift();
  std::string name = file.short_name.substr(0, 8);
  name.resize(8, ' ');
  put(26 + s, name);
  put(34 + s, edit(file.blksize, kBlksizeMask));
  put(42 + s, edit(file.lrecl, kLreclMask));
  const std::string recfm = file.recfm.empty() ? "?" : file.recfm.substr(0, 3);
  put(48 + s, recfm);
  // The blocked mark follows a one-letter format ("FB", "VB"); the longer forms carry none.
  if (file.blocked && recfm.size() == 1) put(49 + s, "B");
  put(51 + s, edit(shown_count(file.record_count), kFileCountMask));
  put(72 + s, file.path);
  kind_ = LineKind::kFile;
}

void SummaryBlock::status_line(int32_t count, std::string_view text) {
  const int s = file_shift();
  if (count != 0) put(30 + s, edit(count, kStatusCountMask));
  put(34 + s, text);
  write();
}

// One line for each file of the statement (the first on the statement's own line), each followed
// by its status lines.
void SummaryBlock::file_lines(const SummaryStatement& st) {
  const std::string_view op = program::op_name(st.dummy_read ? program::Op::kRead : st.op);
  for (size_t i = 0; i < st.files.size(); ++i) {
    const SummaryFile& file = st.files[i];
    if (i > 0) write();
    std::string name = file.concatenated ? "CAT" : file.dl1 ? "DL1" : std::string(op);
    if (level_ == 3 && !file.concatenated && !file.dl1) name = lower(name);
    operation_column(st, name, i == 0);
    file_detail(file);
    write();
    if (file.truncated != 0) status_line(file.truncated, "=RECORDS*TRUNCATED*");
    if (st.selid == 0 && st.reads) status_line(0, "*WHEN*IN*SUSP*STATE*");
    if (file.error_code != 0) status_line(file.error_code, "=ERROR*CODE*");
    if (file.open_failed) {
      status_line(0, "### **OPEN*FAILED** ###");
    } else if (file.not_found_or_empty) {
      status_line(0, "### **NOT*FOUND*OR*EMPTY** ###");
    } else if (!file.opened) {
      status_line(0, "*NOT*OPENED*");
    } else if (st.reads && !file.eof_reached) {
      status_line(0, "*EOF*NOT*REACHED*");
    }
    if (file.incomplete) status_line(0, "### **OUTPUT*INCOMPLETE** ###");
  }
}

// "(*zz99 RETCD=8*#*)" with the count in place of "*zz99": on the current line when its columns
// are free, else on a new line.
void SummaryBlock::error_note(int32_t errors) {
  const int at = 26 + (level_ == 3 ? kNoteShiftLevel3 : 0);
  std::string note = "(" + edit_filled(errors, kNoteCountMask, '*') + " RETCD=8***)";
  if (!blank(at, at + static_cast<int>(note.size()) - 1)) write();
  put(at, note);
}

// The line of a test's failures: statement number 0, the count of failed tests.
void SummaryBlock::condition_failures(const SummaryStatement& st) {
  if (!program::is_condition(st.type) || st.error_count == 0) return;
  write();
  put(5, "0");
  put(7, edit(st.error_count, kCountMask));
  put(kOpColumn, "POS OUTSIDE REC/WORKA - TEST FAILED");
  write();
}

void SummaryBlock::statement(const SummaryStatement& st) {
  if (level_ >= 2 && !st.labels.empty()) {
    write();
    if (st.type == program::kStAction || st.type == program::kStIf) empty_line();
    for (const SummaryLabel& label : st.labels) label_line(label);
  }
  if (program::is_condition(st.type) && level_ < 3) {
    // Below level 3 a test shows only its failures; it still ends a range of actions.
    write();
    range_open_ = false;
    condition_failures(st);
    return;
  }
  const int64_t count = shown_count(st.exec_count);
  // File-less actions with equal counts, no failures and nothing of their own to show share one
  // line: the first selid in columns 1-5, the last in 6-10 (which the count leaves free below
  // 10,000,000). At level 3 every statement shows its own role and name, so nothing is shared.
  const bool joinable = level_ < 3 && program::is_action(st.type) && st.files.empty() &&
                        !st.dummy_read && st.op != program::Op::kRet && st.error_count == 0 &&
                        st.annotation.empty();
  if (joinable && range_open_ && count == range_count_ && count < kRangeCountLimit) {
    put(6, edit_filled(st.selid, kSelidMask, '-'));
    return;
  }
  write();
  put(1, edit(st.selid, kSelidMask));
  put(7, edit(count, kCountMask));

  if (!st.files.empty()) {
    file_lines(st);
  } else if (st.dummy_read) {
    operation_column(st, level_ == 3 ? "read" : "READ", true);
  } else if (level_ == 3) {
    operation_column(
        st, program::is_action(st.type) ? lower(program::op_name(st.op)) : std::string(), true);
  } else if (program::is_action(st.type) && st.op == program::Op::kRet) {
    put(kOpColumn, "=ret=");
  }

  // A condition's failures are failed tests (return code 6): they get the line of their own
  // below instead of the note, which speaks of return code 8.
  if (st.error_count != 0 && !program::is_condition(st.type)) error_note(st.error_count);
  if (!st.annotation.empty()) {
    if (!blank(kAnnotationColumn, static_cast<int>(line_.size()))) write();
    put(kAnnotationColumn, st.annotation);
  }
  condition_failures(st);
  if (joinable) {
    range_open_ = true;
    range_count_ = count;
  }
}

// ---- After the block -------------------------------------------------------------------------

// The record totals asked for on the console, one per file (a file used by several statements
// is counted once: the mark is used up by its first line).
void console_totals(Listing& listing, const SummaryInput& input) {
  std::set<std::string> done;
  for (const SummaryStatement& st : input.statements) {
    for (const SummaryFile& file : st.files) {
      if (!file.console_total || !done.insert(file.short_name).second) continue;
      std::string name = file.short_name;
      while (!name.empty() && name.back() == ' ') name.pop_back();
      const std::string line =
          edit(shown_count(file.record_count), kCountMask) + "=RECTOT  FILE=" + name + "\n";
      log_banner_once(listing);
      std::fputs(line.c_str(), base::log_stream());
    }
  }
}

int32_t return_code(const SummaryInput& input) {
  return input.special != nullptr ? convert::load_be32(input.special + convert::kSpReturnCode) : 0;
}

void raise_return_code(const SummaryInput& input, int32_t rc) {
  if (input.special != nullptr && rc > return_code(input)) {
    convert::store_be32(input.special + convert::kSpReturnCode, rc);
  }
}

// "***WARNING***", the raising statement (when given), the value and the text.
void warning_line(Listing& listing, int32_t selid, int32_t value, std::string_view text) {
  std::string line(34, ' ');
  line.replace(0, 13, "***WARNING***");
  if (selid != 0) line.replace(14, 10, "(SEL" + edit_filled(selid, kSelidMask, '-') + ")");
  line.replace(25, 8, edit(value, kWarningValueMask));
  line += text;
  listing_print(listing, line.c_str(), PT_TEXT, 0);
}

}  // namespace

void print_summary(Listing& listing, const SummaryInput& input) {
  listing.destination = DEST_LISTING;
  const bool shown = !listing.no_totals && listing.summary_level >= 1;
  const int level = std::clamp(listing.summary_level, 1, 3);

  // A new page (the skip to line 0 forces one); an unopened listing starts on page 1 anyway.
  if ((listing.lines_left < kMinLinesForBlock || listing.report_mode) && listing.opened) {
    listing_print(listing, nullptr, PT_SKIP, 0);
  }

  if (shown) {
    SummaryBlock block(listing, level);
    block.heading();
    for (const SummaryStatement& st : input.statements) block.statement(st);
    block.finish();
    block.empty_line();
  }
  console_totals(listing, input);

  int64_t output = 0;
  for (const SummaryStatement& st : input.statements) {
    if (program::is_action(st.type) && program::op_has(st.op, program::kTraitWrites))
      output += shown_count(st.exec_count);
  }
  if (output == 0 && !input.stopped) raise_return_code(input, 16);
  if (shown && !input.stopped && input.primary_unfinished) raise_return_code(input, 4);

  const int32_t rc = return_code(input);
  if (rc != 0) warning_line(listing, input.rc_selid, rc, "= RETURN CODE FROM RECSIFT");
  if (input.lrecl_changes_ignored != 0) {
    warning_line(listing, 0, input.lrecl_changes_ignored, "INVALID LRECL CHANGES IGNORED");
  }
  if (input.mask_truncations != 0) {
    warning_line(listing, 0, input.mask_truncations, "MASK LENGTHS TRUNCATED TO 256");
  }

  if (input.abended) {
    listing_print(listing, nullptr, PT_SPACE, 1);
    std::string banner(20, ' ');
    banner += std::string(43, '*');
    banner.replace(28, 25, "JOB ABNORMALLY TERMINATED");
    listing_print(listing, banner.c_str(), PT_TEXT, 0);
  }
}

}  // namespace recsift::report
