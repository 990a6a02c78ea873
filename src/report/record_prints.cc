// The record print formats of the listing (types 11 to 22): the character family (raw, dotted,
// hexadecimal zone and digit lines, character-over-hexadecimal, mixed) and the dump family (offset,
// hexadecimal groups and an enclosed character part, with repeated lines folded into one summary
// line). Also their column headings and the ruler that closes a block of character-family prints.
//
// Invariants: every line is built in the listing's work line and written with one call of
// listing_write_line, except the character prints to the listing alone, which build theirs in the
// fast line and write each with listing_put_line (the same bytes: RECSIFT_GENERAL turns them back
// to the work line for tests that compare both); only the first line of a record carries the line
// prefix (input record number, SEL TOT, SEL ID) and the record-length column; no byte past the
// print length is read. Whether a print needs a new page is decided once per record, so a long
// record runs past the page depth and the next record starts the new page.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "convert/convert.h"
#include "report/record_prints.h"
#include "report/report.h"

namespace recsift::report {

namespace {

// A count for the fixed-width columns of a record print: a count beyond 32 bits overflows the
// column (asterisks) as any count too wide for it does.
int32_t print_count(int64_t count) {
  return count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count);
}

constexpr int kPrefixColumns = 20;  // input record number, SEL TOT, SEL ID
constexpr int kLengthColumns = 8;   // record-length column of character-family prints
constexpr int kMinWorkLine = 132;   // the work line always holds a full default page width
constexpr int kDumpFirstLine = 34;  // columns of a dump's first line (prefix and length)
constexpr int kMaxDumpGroups = 8;   // 4-byte groups per dump line at most
constexpr int kDumpGapGroups = 5;   // more groups than this: a double gap before the last 4
constexpr const char* kRecnoMask = "000000009";
constexpr const char* kSelTotMask = "000009";
constexpr const char* kSelIdMask = "0009 ";
constexpr const char* kCharLengthMask = "0000009-";
constexpr const char* kDumpLengthMask = "00009-";
constexpr const char* kRepeatCountMask = "0000,009";
constexpr char kHexDigits[] = "0123456789ABCDEF";

// ---- Translation tables ----------------------------------------------------------------------

enum Table : uint8_t {
  kRaw,         // the byte itself (no table)
  kDots,        // printable itself, else "."
  kBlanks,      // printable itself, else blank
  kMixedUpper,  // printable itself, else its high hexadecimal digit
  kMixedLower,  // printable blank, else its low hexadecimal digit
  kZone,        // high hexadecimal digit
  kDigit,       // low hexadecimal digit
  kTableCount,
};

// Byte 0x80 counts as printable with 0x20-0x7E.
constexpr bool printable(int byte) {
  return (byte >= 0x20 && byte <= 0x7E) || byte == 0x80;
}

constexpr std::array<std::array<char, 256>, kTableCount> kTables = [] {
  std::array<std::array<char, 256>, kTableCount> t{};
  for (int b = 0; b < 256; ++b) {
    const char self = static_cast<char>(b);
    const char high = kHexDigits[b >> 4];
    const char low = kHexDigits[b & 0x0F];
    const bool p = printable(b);
    t[kRaw][b] = self;
    t[kDots][b] = p ? self : '.';
    t[kBlanks][b] = p ? self : ' ';
    t[kMixedUpper][b] = p ? self : high;
    t[kMixedLower][b] = p ? ' ' : low;
    t[kZone][b] = high;
    t[kDigit][b] = low;
  }
  return t;
}();
static_assert(kTables[kZone][0x80] == '8' && kTables[kDigit][0x80] == '0');
static_assert(kTables[kMixedUpper][0x0D] == '0' && kTables[kMixedLower][0x0D] == 'D');

void translate(char* to, const uint8_t* from, int32_t n, Table table) {
  const auto& map = kTables[table];
  int32_t i = 0;
  for (; i + 4 <= n; i += 4) {
    to[i] = map[from[i]];
    to[i + 1] = map[from[i + 1]];
    to[i + 2] = map[from[i + 2]];
    to[i + 3] = map[from[i + 3]];
  }
  for (; i < n; ++i) to[i] = map[from[i]];
}

// kDots sixteen bytes at a time (the compiler's vector extension): bytes 0x20-0x7E and 0x80
// stay, every other byte becomes ".". The same result as the table.
void translate_dots(char* to, const uint8_t* from, int32_t n) {
  using Bytes = uint8_t __attribute__((vector_size(16)));
  constexpr Bytes kDot = {'.', '.', '.', '.', '.', '.', '.', '.',
                          '.', '.', '.', '.', '.', '.', '.', '.'};
  int32_t i = 0;
  for (; i + 16 <= n; i += 16) {
    Bytes x;
    std::memcpy(&x, from + i, 16);
    const auto keep = reinterpret_cast<Bytes>(((x >= 0x20) & (x <= 0x7E)) | (x == 0x80));
    const Bytes out = (x & keep) | (kDot & ~keep);
    std::memcpy(to + i, &out, 16);
  }
  for (; i < n; ++i) to[i] = kTables[kDots][from[i]];
}

// ---- Character family ------------------------------------------------------------------------

// The lines of one chunk of data, by print type.
struct CharFormat {
  uint8_t type;                // print type
  int8_t lines_needed;         // lines of one chunk plus the closing ruler
  bool leading_empty;          // the chunk begins with an empty line
  int8_t count;                // data lines of the chunk
  std::array<Table, 3> lines;  // translation of each data line
};

constexpr std::array<CharFormat, 7> kCharFormats = {{
    {PT_CHAR_RAW, 2, false, 1, {kRaw}},
    {PT_CHAR, 2, false, 1, {kDots}},
    {PT_HEX, 4, true, 2, {kZone, kDigit}},
    {PT_BOTH, 5, true, 3, {kBlanks, kZone, kDigit}},
    {PT_MIXED, 4, true, 2, {kMixedUpper, kMixedLower}},
    {PT_MIXED_2, 4, true, 2, {kMixedUpper, kMixedLower}},
    {PT_MIXED_3, 4, true, 2, {kMixedUpper, kMixedLower}},
}};
static_assert([] {
  for (size_t i = 0; i < kCharFormats.size(); ++i) {
    if (kCharFormats[i].type != PT_CHAR_RAW + i) return false;
  }
  return true;
}());

int data_width(const Listing& listing) {
  return std::max(listing.data_width, 1);
}

bool length_column(const Listing& listing) {
  return listing.length_print > 0;
}

// The work line, blank, at least as long as every line a record print builds.
char* work_line(Listing& listing) {
  const size_t need = static_cast<size_t>(
      std::max(kMinWorkLine, kPrefixColumns + data_width(listing) + kLengthColumns));
  if (listing.line_buffer.size() < need) listing.line_buffer.resize(need);
  std::fill(listing.line_buffer.begin(), listing.line_buffer.end(), ' ');
  return listing.line_buffer.data();
}

void put_prefix(const Listing& listing, char* line) {
  convert::edit_number(line, print_count(listing.input_number), kRecnoMask);
  convert::edit_number(line + 9, print_count(listing.selection_total), kSelTotMask);
  convert::edit_number(line + 15, listing.selection_id, kSelIdMask);
}

bool to_listing(const Listing& listing) {
  return (listing.destination & DEST_LISTING) != 0;
}

void print_characters(Listing& listing, const uint8_t* data, int type) {
  const CharFormat& format = kCharFormats[static_cast<size_t>(type - PT_CHAR_RAW)];
  listing.lines_needed = to_listing(listing) ? format.lines_needed : 0;
  if (listing.lines_left < listing.lines_needed || type != listing.previous_type) {
    listing_page_check(listing);
  }
  const int dw = data_width(listing);
  char* line = work_line(listing);
  put_prefix(listing, line);
  int32_t first_width = kPrefixColumns + dw;
  if (length_column(listing)) {
    convert::edit_number(line + first_width, listing.record_length, kCharLengthMask);
    first_width += kLengthColumns;
  }
  bool first_line = true;
  int32_t remaining = data != nullptr ? std::max(listing.print_length, 0) : 0;
  const uint8_t* chunk = data;
  // A record of no bytes still prints its (empty) chunk, with the prefix.
  do {
    const int32_t n = std::min(remaining, dw);
    if (format.leading_empty) listing_write_line(listing, "", 0, 1);
    for (int i = 0; i < format.count; ++i) {
      if (n > 0) translate(line + kPrefixColumns, chunk, n, format.lines[static_cast<size_t>(i)]);
      listing_write_line(listing, line, first_line ? first_width : kPrefixColumns + n, 1);
      if (first_line) {
        // The prefix and the length column belong to the record's first line only.
        std::memset(line, ' ', kPrefixColumns);
        std::memset(line + kPrefixColumns + dw, ' ', kLengthColumns);
        first_line = false;
      }
    }
    chunk += n;
    remaining -= n;
  } while (remaining > 0);
  work_line(listing);
}

// The smallest count that overflows n digit positions.
constexpr std::array<uint32_t, 10> kCountLimit = {1,      10,      100,      1000,      10000,
                                                  100000, 1000000, 10000000, 100000000, 1000000000};

// Edits `value` into the columns of `mask` as convert::edit_number does, for the masks of counts:
// `digits` positions of "0" ending in a "9", then literals. A count that is not negative shows
// right-aligned with blanks before it and over the literals, or as asterisks over the whole field
// when it has more digits than the mask; a negative one goes to the mask editor.
void put_count(char* to, int32_t value, std::string_view mask, int digits) {
  if (value < 0) {
    convert::edit_number(to, value, mask);
    return;
  }
  auto count = static_cast<uint32_t>(value);
  const size_t width = mask.size();
  if (count >= kCountLimit[static_cast<size_t>(digits)]) {
    std::memset(to, '*', width);
    return;
  }
  std::memset(to + digits, ' ', width - static_cast<size_t>(digits));
  char* at = to + digits;
  do {
    *--at = static_cast<char>('0' + count % 10);
    count /= 10;
  } while (count != 0);
  while (at > to) *--at = ' ';
}

// The count columns of the fast count text.
struct CountColumn {
  const char* mask;  // the mask the general path edits with
  int offset;        // first byte in the text
  int digits;        // digit positions of the mask
};
constexpr std::array<CountColumn, 4> kCountColumns = {{
    {kRecnoMask, 0, 9},
    {kSelTotMask, 9, 6},
    {kSelIdMask, 15, 4},
    {kCharLengthMask, kPrefixColumns, 7},
}};

// Brings count column k of the fast count text to `value`: nothing when it shows it already, a
// step of its digits for the next count (as long as it fits), else a full edit.
void update_count(Listing& listing, size_t k, int32_t value) {
  const CountColumn& column = kCountColumns[k];
  char* at = listing.fast_count_text.data() + column.offset;
  int32_t& shown = listing.fast_counts[k];
  if (listing.fast_counts_shown && value == shown) return;
  if (listing.fast_counts_shown && value > 0 && value - 1 == shown &&
      static_cast<uint32_t>(value) < kCountLimit[static_cast<size_t>(column.digits)]) {
    char* digit = at + column.digits - 1;
    while (*digit == '9') *digit-- = '0';
    *digit = *digit == ' ' ? '1' : static_cast<char>(*digit + 1);
  } else {
    put_count(at, value, column.mask, column.digits);
  }
  shown = value;
}

// The character family on the listing alone: the lines print_characters writes, built in the
// fast line (the counts kept edited between prints, only the columns a line shows rewritten) and
// each written with its CR LF in one piece.
void print_characters_fast(Listing& listing, const uint8_t* data, int type) {
  const CharFormat& format = kCharFormats[static_cast<size_t>(type - PT_CHAR_RAW)];
  listing.lines_needed = format.lines_needed;
  if (listing.lines_left < listing.lines_needed || type != listing.previous_type) {
    listing_page_check(listing);
  }
  const int dw = data_width(listing);
  const size_t need = static_cast<size_t>(kPrefixColumns + dw + kLengthColumns + 2);
  if (listing.fast_line.size() < need) listing.fast_line.resize(need, ' ');
  char* line = listing.fast_line.data();
  char* text = line + kPrefixColumns;
  if (!listing.fast_counts_shown) {
    for (size_t k = 0; k < kCountColumns.size(); ++k) update_count(listing, k, 0);
    listing.fast_counts_shown = true;
  }
  update_count(listing, 0, print_count(listing.input_number));
  update_count(listing, 1, print_count(listing.selection_total));
  update_count(listing, 2, listing.selection_id);
  std::memcpy(line, listing.fast_count_text.data(), kPrefixColumns);
  bool first_line = true;
  int32_t remaining = data != nullptr ? std::max(listing.print_length, 0) : 0;
  const uint8_t* chunk = data;
  // A record of no bytes still prints its (empty) chunk, with the prefix.
  do {
    const int32_t n = std::min(remaining, dw);
    if (format.leading_empty) listing_write_line(listing, "", 0, 1);
    for (int i = 0; i < format.count; ++i) {
      const Table table = format.lines[static_cast<size_t>(i)];
      if (table == kDots) {
        translate_dots(text, chunk, n);
      } else if (n > 0) {
        translate(text, chunk, n, table);
      }
      if (first_line) {
        std::memset(text + n, ' ', static_cast<size_t>(dw - n));
        int32_t width = kPrefixColumns + dw;
        if (length_column(listing)) {
          update_count(listing, 3, listing.record_length);
          std::memcpy(line + width, listing.fast_count_text.data() + kPrefixColumns,
                      kLengthColumns);
          width += kLengthColumns;
        }
        listing_put_line(listing, line, width);
        // The prefix and the length column belong to the record's first line only.
        std::memset(line, ' ', kPrefixColumns);
        first_line = false;
      } else {
        listing_put_line(listing, line, kPrefixColumns + n);
      }
    }
    chunk += n;
    remaining -= n;
  } while (remaining > 0);
}

// Data column k (1-based) of the rulers: the digit of `place` (10 or 100) where k is a multiple
// of it, else `other`.
char ruler_digit(int k, int place, char other) {
  return k % place == 0 ? kHexDigits[(k / place) % 10] : other;
}

// The dump family's column headings.
constexpr std::array<const char*, 3> kDumpHeadings = {"    INPUT   SEL SEL", "    RECNO   TOT ID.",
                                                      "    -----   --- ---"};
// The first 20 columns of the character family's headings, then the length column's.
constexpr std::array<const char*, 3> kCharHeadings = {
    "    INPUT   SEL SEL ", "    RECNO   TOT ID. ", "    -----   --- --- "};
constexpr std::array<const char*, 3> kLengthHeadings = {"  RECORD", "  LENGTH", "  ------"};

// ---- Dump family -----------------------------------------------------------------------------

struct DumpLayout {
  int groups;      // 4-byte groups per line
  int bytes;       // bytes per line
  bool gap;        // one more blank before the last four groups
  int char_start;  // 0-based column of the opening enclosing character
  int width;       // columns of every line after the first
};

DumpLayout dump_layout(const Listing& listing) {
  DumpLayout d{};
  d.groups = std::clamp((listing.page_width - 15) / 13, 1, kMaxDumpGroups);
  d.bytes = 4 * d.groups;
  d.gap = d.groups > kDumpGapGroups;
  d.char_start = 9 * d.groups + 12 + (d.gap ? 1 : 0);
  d.width = d.char_start + d.bytes + 2;
  return d;
}

void put_hex4(char* to, int64_t value) {
  for (int i = 3; i >= 0; --i) {
    to[i] = kHexDigits[value & 0x0F];
    value >>= 4;
  }
}

// One ordinary line: offset, n (1 to bytes) bytes in hexadecimal groups, the character part.
void dump_line(Listing& listing, const DumpLayout& d, const uint8_t* bytes, int32_t n,
               int64_t offset, int type, char enclosure) {
  char* line = work_line(listing);
  put_hex4(line + 2, offset);
  for (int32_t i = 0; i < n; ++i) {
    const int group = i / 4;
    const int column = 8 + 9 * group + (d.gap && group >= d.groups - 4 ? 1 : 0) + 2 * (i % 4);
    line[column] = kTables[kZone][bytes[i]];
    line[column + 1] = kTables[kDigit][bytes[i]];
  }
  line[d.char_start] = enclosure;
  line[d.char_start + d.bytes + 1] = enclosure;
  if (type == PT_DUMP) translate(line + d.char_start + 1, bytes, n, kDots);
  if (type == PT_DUMP_DA || type == PT_DUMP_DE) translate(line + d.char_start + 1, bytes, n, kRaw);
  listing_write_line(listing, line, d.width, 1);
}

// The summary of `count` repeated lines from `offset`; `last_byte` >= 0 when they reach the end
// of the data.
void repeat_line(Listing& listing, const DumpLayout& d, int64_t offset, int64_t count,
                 int64_t last_byte, char enclosure) {
  char* line = work_line(listing);
  put_hex4(line + 2, offset);
  std::memcpy(line + 13, "=same=", 6);
  if (count > 1) {
    const int32_t shown = static_cast<int32_t>(std::min<int64_t>(count, INT32_MAX));
    convert::edit_number(line + 23, shown, kRepeatCountMask);
    int first = 23;
    while (first < 30 && line[first] == ' ') ++first;
    line[first - 1] = '(';
    std::memcpy(line + 32, "lines)", 6);
  }
  if (last_byte >= 0) {
    line[6] = '-';
    put_hex4(line + 7, last_byte);
  }
  line[d.char_start] = enclosure;
  line[d.char_start + d.bytes + 1] = enclosure;
  listing_write_line(listing, line, d.width, 1);
}

void print_dump(Listing& listing, const uint8_t* data, int type) {
  const uint16_t enclosures =
      listing.statement_dump ? listing.statement_enclosure : listing.dump_enclosure;
  const bool all = listing.statement_dump ? listing.statement_dump_all : listing.dump_all;
  const char ordinary = type == PT_DUMP_HEX ? ' ' : static_cast<char>(enclosures >> 8);
  const char repeat = type == PT_DUMP_HEX ? ' ' : static_cast<char>(enclosures & 0xFF);
  listing.lines_needed = to_listing(listing) ? 2 : 0;
  // A dump closes a block of character prints on the listing and takes its place without a
  // column heading of its own.
  if (to_listing(listing) && listing.previous_type > kCharFamilyAbove) {
    close_print_block(listing);
    listing.previous_type = static_cast<uint8_t>(type);
  }
  if (listing.lines_left < listing.lines_needed || type != listing.previous_type) {
    listing_page_check(listing);
  }
  char* line = work_line(listing);
  put_prefix(listing, line);
  convert::edit_number(line + 28, listing.record_length, kDumpLengthMask);
  listing_write_line(listing, line, kDumpFirstLine, 1);

  const DumpLayout d = dump_layout(listing);
  const int64_t length = data != nullptr ? std::max(listing.print_length, 0) : 0;
  const auto same_as_before = [&](int64_t at) {
    return length - at >= d.bytes && std::memcmp(data + at, data + at - d.bytes, d.bytes) == 0;
  };
  int64_t offset = 0;
  while (offset < length) {
    if (!all && offset > 0 && same_as_before(offset)) {
      int64_t count = 1;
      while (same_as_before(offset + count * d.bytes)) ++count;
      const int64_t end = offset + count * d.bytes;
      repeat_line(listing, d, offset, count, end == length ? length - 1 : -1, repeat);
      offset = end;
      continue;
    }
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(d.bytes, length - offset));
    dump_line(listing, d, data + offset, n, offset, type, ordinary);
    offset += d.bytes;
  }
  work_line(listing);
}

// The character family's column headings and ruler for the current data width and length
// column: built once, as every page of a block of prints shows them.
const std::array<std::string, 4>& char_rows(Listing& listing) {
  const int dw = data_width(listing);
  if (listing.char_rows_width == dw && listing.char_rows_length == length_column(listing)) {
    return listing.char_rows;
  }
  auto& rows = listing.char_rows;
  for (size_t row = 0; row < 3; ++row) {
    std::string& text = rows[row];
    text = kCharHeadings[row];
    for (int k = 1; k <= dw; ++k) {
      switch (row) {
        case 0:
          text += ruler_digit(k, 100, ' ');
          break;
        case 1:
          text += ruler_digit(k, 10, ' ');
          break;
        default:
          text += k % 10 == 0 ? '0' : k % 5 == 0 ? ',' : '.';
          break;
      }
    }
    if (length_column(listing)) text += kLengthHeadings[row];
  }
  rows[3].assign(kPrefixColumns, ' ');
  for (int k = 1; k <= dw; ++k) rows[3] += ruler_digit(k, 10, k % 5 == 0 ? ',' : '.');
  listing.char_rows_width = dw;
  listing.char_rows_length = length_column(listing);
  return rows;
}

// Writes `text` to the listing alone, counted as one line.
void write_listing_line(Listing& listing, const std::string& text) {
  const uint8_t destination = listing.destination;
  listing.destination = DEST_LISTING;
  listing_write_line(listing, text.c_str(), static_cast<int32_t>(text.size()), 1);
  listing.destination = destination;
}

}  // namespace

void print_record(Listing& listing, const uint8_t* data, int type) {
  if (type > kCharFamilyAbove) {
    // A print to the listing alone takes the direct way; a log copy has rules of its own.
    if (!listing.general_prints && listing.destination == DEST_LISTING && listing.file != nullptr &&
        !listing.closed) {
      print_characters_fast(listing, data, type);
    } else {
      print_characters(listing, data, type);
    }
  } else {
    print_dump(listing, data, type);
  }
}

void write_column_headings(Listing& listing) {
  const int type = listing.current_type;
  if (type > kCharFamilyAbove) {
    const auto& rows = char_rows(listing);
    for (size_t row = 0; row < 3; ++row) write_listing_line(listing, rows[row]);
  } else {
    for (const char* text : kDumpHeadings) write_listing_line(listing, text);
  }
  listing.previous_type = static_cast<uint8_t>(type);
}

void close_print_block(Listing& listing) {
  if (listing.previous_type <= kCharFamilyAbove) return;
  if (listing.file != nullptr && !listing.closed) {
    write_listing_line(listing, char_rows(listing)[3]);
  }
  listing.previous_type = PT_TEXT;
}

}  // namespace recsift::report
