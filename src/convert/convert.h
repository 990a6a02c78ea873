// The data conversion library: numbers in their record forms (packed decimal, big-endian binary,
// zoned decimal, decimal and hexadecimal text), edit masks, the CV dispatcher, and the 128-byte
// date area with the calendar rules behind it.
//
// Every routine is a pure function over byte spans. Results are status numbers (0 = done) and a
// routine never reports an error itself: the caller decides what a failure means. No routine
// writes past the destination length it is given.
#ifndef RECSIFT_CONVERT_CONVERT_H_
#define RECSIFT_CONVERT_CONVERT_H_

#include <cstdint>
#include <string_view>

namespace recsift::host {
struct CivilTime;
}

namespace recsift::convert {

// ---- Big-endian integers -------------------------------------------------------------------
// Every multi-byte integer a statement can see is stored most significant byte first.

inline int32_t load_be32(const uint8_t* p) {
  return static_cast<int32_t>((uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) |
                              (uint32_t{p[2]} << 8) | uint32_t{p[3]});
}
inline void store_be32(uint8_t* p, int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}
inline uint16_t load_be16(const uint8_t* p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
inline void store_be16(uint8_t* p, uint16_t value) {
  p[0] = static_cast<uint8_t>(value >> 8);
  p[1] = static_cast<uint8_t>(value);
}

// ---- Edit masks ------------------------------------------------------------------------------
// A mask is made of digit positions ("9" always shows a digit, "0" only a significant one), sign
// positions ("S", "s", "+", "-") and literals (anything else). The edited text has exactly the
// mask's length and is written to dest without a terminator.

// Result 0, or 9 on overflow (dest then holds asterisks). A zero or negative value edited by a
// long count mask (11 characters or more, not beginning with "S", ending with a digit character)
// is shown as its unsigned 32-bit pattern, so counters past 2,147,483,647 print correctly.
int edit_number(char* dest, int32_t value, std::string_view mask);
// The same for a 64-bit value (no unsigned reading: 64-bit counters do not wrap).
int edit_number64(char* dest, int64_t value, std::string_view mask);
// Edits an n-byte packed field. Result 0, 1 for a bad digit nibble, 5 for a bad sign nibble,
// 9 on overflow.
int edit_packed(char* dest, const uint8_t* packed, int n, std::string_view mask);

// ---- Packed decimal, binary, decimal text ----------------------------------------------------
// Results: 0 done, 1 the value does not fit or the field is not a number.

// n must be 1..16, else result 8888 and nothing is written. Sign nibble C or D.
int int_to_packed(uint8_t* dest, int n, int32_t value);
int int_to_packed64(uint8_t* dest, int n, int64_t value);
// Leading 0x00 bytes are skipped; sign nibbles B and D are negative, A, C, E, F positive.
int packed_to_int(int32_t* value, const uint8_t* src, int n);
int packed_to_int64(int64_t* value, const uint8_t* src, int n);

// Big-endian two's complement; a 1-byte field is unsigned 0..255. Longer fields than 4 (8 for
// the 64-bit twins) are accepted when their extra leading bytes are pure sign fill.
int int_to_binary(uint8_t* dest, int n, int32_t value);
int int_to_binary64(uint8_t* dest, int n, int64_t value);
int binary_to_int(int32_t* value, const uint8_t* src, int n);
int binary_to_int64(int64_t* value, const uint8_t* src, int n);

// Longest text normalise_decimal produces: a sign, at most 47 digits and a terminating zero.
inline constexpr int kNormalisedMax = 49;
// Writes a sign followed by the significant digits (at least "0") and a terminating zero into
// out (kNormalisedMax bytes). Blanks are skipped, other characters between digits ignored, a
// trailing overpunch ("{", "}", "A"-"R") or sign indicator is honoured, a leading sign wins.
// Result 0, or 1 when the number has more than 47 significant digits.
int normalise_decimal(char* out, const char* src, int n);
// Decimal text to an integer, through normalise_decimal; rejects overflow and over-long input.
int text_to_int(int32_t* value, const char* src, int n);
int text_to_int64(int64_t* value, const char* src, int n);

// ---- Hexadecimal text ------------------------------------------------------------------------
// Writes 2n upper-case hex digits (no terminator). Result 1, nothing written, when dest_len < 2n.
int bytes_to_hex(char* dest, int dest_len, const uint8_t* src, int n);
// Reads digit pairs, skipping blanks and commas. Result 0; 1 when the text ends with a lone digit
// (its byte becomes "*"); 2 when it holds an invalid character or no digit (dest filled with
// "*"). Never writes more than dest_len bytes. *written, when given, receives the bytes stored.
int hex_to_bytes(uint8_t* dest, int dest_len, const char* src, int src_len, int* written = nullptr);

// ---- The CV dispatcher -----------------------------------------------------------------------
// Number forms that make up a conversion code (source form * 16 + target form).
enum NumberForm : int {
  kFormBinary = 2,     // big-endian two's complement
  kFormCharacter = 3,  // decimal text as a source; plain bytes for the hex conversions
  kFormPacked = 4,     // packed decimal
  kFormEdited = 7,     // character target: zoned decimal, or edited when a mask is given
  kFormHex = 8,        // hexadecimal text
};

// One conversion, its operands already resolved to addresses and lengths.
struct ConvertRequest {
  int code = 0;                        // source form * 16 + target form (0x22, 0x24, ... 0x83)
  uint8_t* dest = nullptr;             // target field
  int dest_len = 0;                    // its length; cut by the hex conversions (below)
  const uint8_t* src = nullptr;        // source field
  int src_len = 0;                     // its length
  const char* mask = nullptr;          // edit mask (zero-terminated), or null for none
  bool target_follows_source = false;  // the target's length was not given explicitly: the
                                       // hex conversions cut it to what the source fills
};

// Result 0 on success, 1 for an unknown code or a failed conversion, -1 when an operand has no
// address (dest or src null). On return dest_len holds the length of the target actually used.
int convert(ConvertRequest& request);

// ---- Dates -----------------------------------------------------------------------------------
inline constexpr int kDateAreaSize = 128;

// Offsets of the fields of the date area.
enum DateAreaOffset : int {
  kDatePackedYearDay = 8,   // 4 bytes packed: year*1000 + day of year, sign F
  kDatePackedTime = 12,     // 4 bytes packed: hhmmss, sign 0 (bytes 0h hm ms s0)
  kDateMdy = 16,            // "mm/dd/yy"
  kDateDmy = 25,            // "dd/mm/yy"
  kDateTimestamp = 34,      // "yyyy/mm/dd hh:mm:ss.0" (21 characters)
  kDateOrdinal = 56,        // "Thursday   3rd December " (24 characters)
  kDateYearDay = 81,        // "yyyy/ddd"
  kDateWeek = 90,           // "Wk:ww"
  kDateDayNumber = 96,      // 4-byte big-endian: days since 1 January 1900 (that day is 1)
  kDateSecondsOfDay = 100,  // 4-byte big-endian: seconds since midnight
};

// 1 when the year is a leap year (divisible by 4, and not by 100 unless by 400), else 0.
int is_leap_year(int year);
// Days in the month (1-12) of that year.
int month_length(int year, int month);
// Week label number: (yday - wday + 7) / 7, plus 1 when the remainder is above 4.
int week_of_year(int yday, int wday);

// Writes the whole area for one moment: `seconds` since 1970 (universal time, for the day
// number) and `local`, the same moment as local calendar time. Bytes 112-127 are not touched.
void write_date_area(uint8_t* area, int64_t seconds, const host::CivilTime& local);
// Fills the area for a moment given in seconds since 1970, converted to local time by the host.
// Returns the four-digit year.
int fill_date_area_at(uint8_t* area, int64_t seconds);
// Fills the area with the current time of the run's clock. Returns the four-digit year.
int fill_date_area(uint8_t* area);

}  // namespace recsift::convert

#endif  // RECSIFT_CONVERT_CONVERT_H_
