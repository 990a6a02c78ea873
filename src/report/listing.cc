// The listing file: its destinations (listing, log stream or both), the line writer, the page
// headings, line counting and page breaks, the statement echo and the plain-text prints (types 1
// to 9). The record prints (types 11 and up, record_prints.cc) share the entry point and the page
// accounting: the page check writes their column headings.
//
// Invariants: every listing line ends with CR LF and carries no trailing blanks; the first heading
// line of page 1 begins with a carriage return, of every later page with a form feed; lines_left
// counts every line written to the listing except the closing lines and the blank lines of a
// SPACE (already counted off before they are written). Any failed write, flush or close of the
// listing ends the process with exit code 77: a listing that silently lost lines is worse than
// none. A listing file (not a standard stream) writes through one large stdio buffer.
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/fatal.h"
#include "base/pool.h"
#include "convert/convert.h"
#include "convert/special_area.h"
#include "host/host.h"
#include "report/record_prints.h"
#include "report/report.h"

namespace recsift::report {

namespace {

constexpr int kMinWidth = 66;                         // narrowest page the heading layout allows
constexpr int kMaxWidth = kHeadingSize - 2;           // widest page the heading buffers can hold
constexpr int kTitleColumns = 16;                     // title shown on the closing line
constexpr int kDateColumns = 16;                      // "yyyy/mm/dd hh:mm"
constexpr int kRecordPrintFirst = 10;                 // types from here carry column headings
constexpr int kLinePrefix = 10;                       // echo columns before the statement text
constexpr int kLogCutColumns = 80;                    // log copy of a LOG without explicit length
constexpr const char* kDefaultName = "RSFT.LST";      // listing name without -lst and RSFLST
constexpr const char* kNameVariable = "RSFLST";       // environment variable naming the listing
constexpr const char* kPageMask = "0009";             // page number in the heading
constexpr const char* kEchoNumberMask = "000009.  ";  // statement number before the echo text
constexpr size_t kStreamBufferSize = 1 << 20;         // listing file writes go out in 1 MiB pieces

// Process exit codes of the listing's fatal stops.
constexpr int kExitOpenFailed = 1;
constexpr int kExitBadType = 5;
constexpr int kExitWriteFailed = 77;

// The print types a request may carry; every other code is a fatal error.
constexpr std::array<bool, 23> kValidType = [] {
  std::array<bool, 23> valid{};
  for (int t : {PT_ECHO, PT_TEXT, PT_CLOSE, PT_SPACE, PT_SKIP, PT_LINE, PT_REPORT, PT_DUMP,
                PT_DUMP_HEX, PT_DUMP_DA, PT_DUMP_DE, PT_CHAR_RAW, PT_CHAR, PT_HEX, PT_BOTH,
                PT_MIXED, PT_MIXED_2, PT_MIXED_3}) {
    valid[t] = true;
  }
  return valid;
}();

[[noreturn]] void fatal(int exit_code, const char* format, ...) {
  std::FILE* log = base::log_stream();
  va_list args;
  va_start(args, format);
  std::vfprintf(log, format, args);
  va_end(args);
  base::stop_process(exit_code);
}

[[noreturn]] void write_failed(const Listing& listing) {
  fatal(kExitWriteFailed, "Write %s failed.\n", listing.name.c_str());
}

// The page width the heading layout uses: the date, "PAGE" and the rule need 27 columns at the
// right, and the first heading line must fit its 160-byte buffer behind its two control bytes.
int heading_width(const Listing& listing) {
  return std::clamp(listing.page_width, kMinWidth, kMaxWidth);
}

bool listing_writable(const Listing& listing) {
  return listing.file != nullptr && !listing.closed;
}

void write_raw(Listing& listing, const char* bytes, size_t n) {
  if (n != 0 && std::fwrite(bytes, 1, n, listing.file) != n) write_failed(listing);
}

void set_special(Listing& listing, convert::SpecialOffset offset, int32_t value) {
  if (listing.special != nullptr) convert::store_be32(listing.special + offset, value);
}

// Heading buffers for a listing the driver did not attach (tests, tools): a blank title.
void ensure_areas(Listing& listing) {
  if (listing.heading_1 != nullptr) return;
  auto* h1 = static_cast<char*>(base::qelgcore(kHeadingSize, ' ', "hdg1"));
  auto* h2 = static_cast<char*>(base::qelgcore(kHeadingSize, ' ', "hdg2"));
  auto* date = static_cast<uint8_t*>(base::qelgcore(convert::kDateAreaSize, ' ', "hdgdate"));
  h1[0] = '\n';
  h1[1] = '\r';
  listing_attach(listing, h1, h2, date, listing.special, listing.short_banner, "");
}

// Lays out the right-hand part of both heading lines for the current page width. Columns count
// from 1: heading_1 column c is byte c + 1, heading_2 column c is byte c - 1.
void build_headings(Listing& listing) {
  ensure_areas(listing);
  const int pw = heading_width(listing);
  char* h1 = listing.heading_1;
  char* h2 = listing.heading_2;
  // The title columns an earlier, narrower layout wrote over get the title back, unless a new
  // title (HEAD) has been put there since.
  if (listing.laid_over_from > 0) {
    const int32_t from = listing.laid_over_from;
    const size_t n = static_cast<size_t>(kHeadTextMax - from + 1);
    if (listing.laid_over_1.compare(0, n, h1 + from + 1, n) == 0 &&
        listing.laid_over_2.compare(0, n, h2 + from - 1, n) == 0) {
      std::memcpy(h1 + from + 1, listing.title_under_1.data(), n);
      std::memcpy(h2 + from - 1, listing.title_under_2.data(), n);
    }
    listing.laid_over_from = 0;
  }
  const int32_t over_from = pw - 26;
  const size_t over =
      over_from <= kHeadTextMax ? static_cast<size_t>(kHeadTextMax - over_from + 1) : 0;
  if (over > 0) {
    listing.title_under_1.assign(h1 + over_from + 1, over);
    listing.title_under_2.assign(h2 + over_from - 1, over);
  }
  std::memset(h1 + kHeadTextMax + 2, ' ', kHeadingSize - kHeadTextMax - 2);
  std::memset(h2 + kHeadTextMax, ' ', kHeadingSize - kHeadTextMax);
  if (listing.date_area != nullptr) {
    std::memcpy(h1 + (pw - 26) + 1, listing.date_area + convert::kDateTimestamp, kDateColumns);
  }
  std::memcpy(h1 + (pw - 7) + 1, "PAGE9999", 8);
  listing.page_digits = (pw - 3) + 1;
  std::memset(h2 + (pw - 26) - 1, '-', 27);
  std::memset(h2 + (pw - 10) - 1, ' ', 3);
  if (over > 0) {
    listing.laid_over_from = over_from;
    listing.laid_over_1.assign(h1 + over_from + 1, over);
    listing.laid_over_2.assign(h2 + over_from - 1, over);
  }
  const size_t work = 20 + static_cast<size_t>(std::max(listing.data_width, 0)) + 8;
  if (listing.line_buffer.size() < work) listing.line_buffer.resize(work, ' ');
  listing.headings_built = true;
}

// One large stdio buffer serves the open listing file of the process. It is never freed: a
// listing dropped without its close leaves its stream using it, and the exit still flushes that
// stream. A second listing opened meanwhile keeps the default buffer.
bool stream_buffer_in_use = false;

bool claim_stream_buffer(std::FILE* file) {
  static char* buffer = nullptr;
  if (stream_buffer_in_use) return false;
  if (buffer == nullptr) buffer = new char[kStreamBufferSize];
  if (std::setvbuf(file, buffer, _IOFBF, kStreamBufferSize) != 0) return false;
  stream_buffer_in_use = true;
  return true;
}

void open_listing(Listing& listing) {
  if (listing.name.empty()) {
    const char* from_env = host::env(kNameVariable);
    listing.name = from_env != nullptr && *from_env != '\0' ? from_env : kDefaultName;
  }
  std::string upper = listing.name;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper == "STDOUT" || upper == "STDERR") {
    listing.file = upper[3] == 'E' ? stderr : stdout;
    listing.standard_stream = true;
  } else {
    int error = 0;
    listing.file = host::open_output_stream(listing.name, &error);
    if (listing.file == nullptr) fatal(kExitOpenFailed, "Open %s failed.\n", listing.name.c_str());
    listing.standard_stream = false;
    // A large listing goes out in few large writes. Standard streams keep their buffering: the
    // log stream may share them, and its lines must stay in order with the listing's.
    listing.large_buffer = claim_stream_buffer(listing.file);
  }
  listing.opened = true;
  listing.lines_left = 0;
  listing_page_check(listing);
}

// Reads a console reply into the reply area after its prompt has been written to the log.
void read_reply(Listing& listing) {
  std::memset(listing.reply_area, ' ', static_cast<size_t>(std::max(listing.reply_length, 0)));
  if (listing.console == nullptr && !listing.console_failed) {
    listing.console = std::fopen(host::kConsoleDevice, "r");
    listing.console_failed = listing.console == nullptr;
  }
  std::FILE* log = base::log_stream();
  if (listing.console == nullptr) {
    if (listing.messages != nullptr) record_error(*listing.messages, 570);
    std::fputc('\n', log);
    return;
  }
  std::fflush(log);
  int32_t kept = 0;
  for (int c = std::fgetc(listing.console); c != EOF && c != '\n';
       c = std::fgetc(listing.console)) {
    if (c != '\r' && kept < listing.reply_length) listing.reply_area[kept++] = static_cast<char>(c);
  }
  set_special(listing, convert::kSpReplyLength, kept);
}

// The copy of a line on the log stream: `full` bytes as given, `trimmed` without the trailing line
// feed and blanks.
void write_log_line(Listing& listing, const char* text, size_t full, size_t trimmed) {
  std::FILE* log = base::log_stream();
  if (listing.reply_area != nullptr) {
    std::fwrite(text, 1, full, log);
    read_reply(listing);
    return;
  }
  if (listing.log_cut_80 && trimmed > kLogCutColumns) {
    trimmed = kLogCutColumns;
    while (trimmed > 0 && text[trimmed - 1] == ' ') --trimmed;
  }
  std::fwrite(text, 1, trimmed, log);
  std::fputc('\n', log);
}

// The next print starts a new page; the line fields say so at once.
void force_new_page(Listing& listing) {
  listing.lines_left = 0;
  set_special(listing, convert::kSpLine, 0);
  set_special(listing, convert::kSpPageLines, listing.page_depth);
  set_special(listing, convert::kSpLinesLeft, listing.page_depth);
}

// PT_SPACE. Returns false when it forced a new page (the line fields are then final).
bool space_lines(Listing& listing, int32_t n) {
  if (n <= 0) return true;
  listing.lines_left -= n;
  if (listing.lines_left <= 1 &&
      (listing.lines_left <= 0 || listing.previous_type > kCharFamilyAbove)) {
    force_new_page(listing);
    return false;
  }
  listing.destination = DEST_LISTING;
  if (listing_writable(listing)) {
    for (int32_t i = 0; i < n; ++i) write_raw(listing, "\r\n", 2);
  }
  return true;
}

// PT_SKIP: on to line n of the page, or to the next page when line n has been passed.
bool skip_to_line(Listing& listing, int32_t n) {
  const int32_t current = listing.page_depth - listing.lines_left + 1;
  if (n < current) {
    force_new_page(listing);
    return false;
  }
  return space_lines(listing, n - current);
}

// PT_ECHO: data holds the carriage-control byte, nine columns for the statement number and the
// statement text from byte 10, up to a zero byte. The caller's buffer is not changed.
void print_echo(Listing& listing, const char* data, int32_t count) {
  size_t n = 0;
  while (n < kEchoLineSize - 1 && data[n] != '\0') ++n;
  listing.echo_line.assign(data, n);
  if (listing.echo_line.empty()) listing.echo_line.push_back(' ');
  if (listing.lines_left <= 1) listing_page_check(listing);
  if (count != 0) {
    if (listing.echo_line.size() < kLinePrefix) listing.echo_line.resize(kLinePrefix, ' ');
    convert::edit_number(&listing.echo_line[1], count, kEchoNumberMask);
    listing.echo_line[7] = '.';
  }
  if (listing.echo_line[0] == '0') listing_write_line(listing, "", 0, 1);
  listing_write_line(listing, listing.echo_line.data() + 1,
                     static_cast<int32_t>(listing.echo_line.size() - 1), 1);
}

// Ends the page: closes a block of character prints, then heads the next page.
void new_page(Listing& listing, bool echo, bool echo_after_blank) {
  close_print_block(listing);
  ++listing.page_number;
  convert::edit_number(listing.heading_1 + listing.page_digits, listing.page_number, kPageMask);
  set_special(listing, convert::kSpPageNumber, listing.page_number);
  if (listing.lines_left == 1 && echo) {
    // The blank line before the heading is the one the echo asked for.
    listing.heading_start = 0;
    if (echo_after_blank) listing.echo_line[0] = ' ';
  }
  listing.lines_left = listing.page_depth;
  // Headings belong to the listing: a PLOG request does not copy them to the log.
  const uint8_t destination = listing.destination;
  listing.destination = DEST_LISTING;
  // The first heading runs from its start byte through its last column, whatever the start.
  const int pw = heading_width(listing);
  // The blank line before the heading ends like every other line, with carriage return and
  // line feed (the heading buffer's own line feed would leave a bare one in the listing).
  if (listing.heading_start == 0) write_raw(listing, "\r\n", 2);
  listing_write_line(listing, listing.heading_1 + 1, pw + 1, 1);
  listing_write_line(listing, listing.heading_2, pw, 1);
  if (listing.current_type < kRecordPrintFirst) listing_write_line(listing, "", 0, 1);
  listing.destination = destination;
  listing.heading_1[1] = '\f';
  listing.heading_start = 1;
  listing.previous_type = PT_TEXT;
}

void close_listing(Listing& listing) {
  if (!listing.opened || listing.closed) return;  // nothing was ever listed: no file at all
  close_print_block(listing);
  if (!(listing.no_totals && listing.no_echo)) {
    listing.destination = DEST_LISTING;
    std::string closing = "    ** ";
    closing += listing.title;
    closing += listing.build_suffix;
    listing_write_line(listing, "", 0, 0);
    listing_write_line(listing, closing.c_str(), static_cast<int32_t>(closing.size()), 0);
  }
  const bool flushed = std::fflush(listing.file) == 0;
  const bool closed = listing.standard_stream || std::fclose(listing.file) == 0;
  listing.file = nullptr;
  listing.closed = true;
  if (listing.large_buffer) stream_buffer_in_use = false;
  listing.large_buffer = false;
  if (!flushed || !closed) write_failed(listing);
}

}  // namespace

void listing_attach(Listing& listing, char* heading_1, char* heading_2, const uint8_t* date_area,
                    uint8_t* special, const char* short_banner, std::string_view version_text) {
  listing.heading_1 = heading_1;
  listing.heading_2 = heading_2;
  listing.date_area = date_area;
  listing.special = special;
  listing.short_banner = short_banner;
  listing.title.assign(heading_1 + 2, kTitleColumns);
  while (!listing.title.empty() && listing.title.back() == ' ') listing.title.pop_back();
  // "2.08.666 2005/09/16 14:33": the build number follows the four-character version.
  const size_t build_end = version_text.find(' ');
  listing.build_suffix =
      version_text.size() > 4
          ? std::string(version_text.substr(
                4, build_end == std::string_view::npos ? std::string_view::npos : build_end - 4))
          : std::string();
  listing.headings_built = false;
}

void listing_write_line(Listing& listing, const char* text, int32_t length, int32_t lines) {
  const size_t full = length < 0 ? std::strlen(text) : static_cast<size_t>(length);
  size_t n = full;
  if (n > 0 && text[n - 1] == '\n') --n;
  while (n > 0 && text[n - 1] == ' ') --n;
  if ((listing.destination & DEST_LISTING) != 0 && listing_writable(listing)) {
    write_raw(listing, text, n);
    write_raw(listing, "\r\n", 2);
    listing.lines_left -= lines;
  }
  if ((listing.destination & DEST_LOG) != 0) write_log_line(listing, text, full, n);
}

void listing_put_line(Listing& listing, char* line, int32_t length) {
  size_t n = static_cast<size_t>(length);
  if (n > 0 && line[n - 1] == '\n') --n;
  while (n > 0 && line[n - 1] == ' ') --n;
  // The line ends where its text ends: CR LF go in place for one write, then the bytes they
  // covered come back.
  const char kept[2] = {line[n], line[n + 1]};
  line[n] = '\r';
  line[n + 1] = '\n';
  write_raw(listing, line, n + 2);
  line[n] = kept[0];
  line[n + 1] = kept[1];
  --listing.lines_left;
}

void listing_page_check(Listing& listing) {
  if ((listing.destination & DEST_LISTING) == 0 || !listing_writable(listing)) return;
  const bool echo = listing.current_type == PT_ECHO;
  const bool echo_after_blank = echo && !listing.echo_line.empty() && listing.echo_line[0] == '0';
  if (listing.lines_left < listing.lines_needed || (listing.lines_left == 1 && echo_after_blank)) {
    new_page(listing, echo, echo_after_blank);
  }
  // The column headings of a record print, unless it continues a block of character prints.
  if (listing.current_type >= kRecordPrintFirst && listing.previous_type <= kCharFamilyAbove) {
    write_column_headings(listing);
  }
}

void listing_print(Listing& listing, const void* data, int type, int32_t count) {
  if (type < 0 || type >= static_cast<int>(kValidType.size()) || !kValidType[type]) {
    fatal(kExitBadType, "Print Type 0x%x invalid.\n", static_cast<unsigned>(type));
  }
  listing.current_type = static_cast<uint8_t>(type);
  if (type == PT_CLOSE) {
    close_listing(listing);
    return;
  }
  if (!listing.headings_built) build_headings(listing);
  const bool to_listing = (listing.destination & DEST_LISTING) != 0;
  listing.lines_needed = to_listing ? 1 : 0;
  if (to_listing && !listing.opened) open_listing(listing);

  const char* text = data != nullptr ? static_cast<const char*>(data) : "";
  bool fields_current = true;
  switch (type) {
    case PT_ECHO:
      print_echo(listing, text, count);
      break;
    case PT_TEXT:
      close_print_block(listing);
      listing_page_check(listing);
      listing_write_line(listing, text, -1, 1);
      break;
    case PT_LINE:
    case PT_REPORT:
      listing_page_check(listing);
      listing_write_line(listing, text, data != nullptr ? std::max(listing.print_length, 0) : 0, 1);
      break;
    case PT_SPACE:
      fields_current = space_lines(listing, count);
      break;
    case PT_SKIP:
      fields_current = skip_to_line(listing, count);
      break;
    default:
      print_record(listing, static_cast<const uint8_t*>(data), type);
      break;
  }
  if (type != PT_SPACE && type != PT_SKIP && to_listing) {
    listing.previous_type = static_cast<uint8_t>(type);
  }
  if (fields_current && listing.line_fields_wanted) {
    set_special(listing, convert::kSpLine, listing.page_depth - listing.lines_left);
    set_special(listing, convert::kSpLinesLeft, listing.lines_left);
  }
}

void listing_set_head(Listing& listing, std::string_view text) {
  ensure_areas(listing);
  std::memset(listing.heading_1 + 2, ' ', kHeadTextMax);
  std::memset(listing.heading_2, ' ', kHeadTextMax);
  const size_t n = std::min(text.size(), static_cast<size_t>(kHeadTextMax));
  std::memcpy(listing.heading_1 + 2, text.data(), n);
  std::memset(listing.heading_2, '-', n);
  listing.headings_built = false;
}

void listing_set_page_depth(Listing& listing, int32_t depth) {
  listing.lines_left += depth - listing.page_depth;
  listing.page_depth = depth;
}

void log_banner_once(Listing& listing) {
  if (listing.special == nullptr || listing.short_banner == nullptr) return;
  const uint8_t flags = listing.special[convert::kSpBannerFlags];
  if ((flags & convert::kBannerWanted) == 0 || (flags & convert::kBannerPrinted) != 0) return;
  std::fputs(listing.short_banner, base::log_stream());
  listing.special[convert::kSpBannerFlags] = flags | convert::kBannerPrinted;
}

}  // namespace recsift::report
