// The mask editor: turns a number (32-bit, 64-bit or a packed field) into text shaped by an edit
// mask. Every listing column, the run summary, the message prefixes and the CV statement's edited
// targets go through edit_digits below.
//
// Mask alphabet: "9" always shows a digit, "0" shows a digit only when it is significant, "S",
// "s", "+" and "-" are sign positions, everything else is a literal. A run of "S" (or of "-" not
// standing after a "9") floats: it takes digits like a "0" once the number has started, and the
// sign settles just left of the first digit shown. A "-" after a "9" is a trailing sign that
// shows only for negative numbers.
//
// Invariants: exactly mask.size() characters are written to dest, no terminator; the editor
// never reads outside the mask or the digit text; on overflow the whole field is asterisks.
#include <cstdint>
#include <string>
#include <string_view>

#include "convert/convert.h"

namespace recsift::convert {
namespace {

constexpr int kOverflow = 9;             // result of an edit that does not fit its mask
constexpr int kBadDigitNibble = 1;       // result of edit_packed for a nibble above 9
constexpr int kBadSignNibble = 5;        // result of edit_packed for a sign nibble below 10
constexpr size_t kCountMaskLength = 11;  // masks this long show 32-bit counters unsigned

bool is_digit_char(char c) {
  return c >= '0' && c <= '9';
}
bool is_sign_char(char c) {
  return c == 'S' || c == 's' || c == '+' || c == '-';
}

// The decimal digits of a magnitude, most significant first, without leading zeros (so zero has
// no digits at all). buf must hold 20 characters; the result views into it.
std::string_view significant_digits(uint64_t magnitude, char (&buf)[20]) {
  int at = 20;
  while (magnitude != 0) {
    buf[--at] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  }
  return std::string_view(buf + at, 20 - at);
}

uint64_t magnitude_of(int64_t value) {
  // Unsigned negation keeps INT64_MIN exact.
  return value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
}

// Edits significant digits (no leading zeros; empty for zero) and a sign by the mask. The order of
// the passes matters: digits first (they decide where the number begins), then the untouched
// prefix, then the sign that settles in it, then the blanking of trailing literals.
int edit_digits(char* dest, std::string_view mask, bool negative, std::string_view digits) {
  const int length = static_cast<int>(mask.size());

  // Fill from the right while digits remain. A floating sign position ("S", or "-" that starts
  // the mask or does not follow a "9") takes digits only once the number has begun, so a
  // trailing "-" after the digits stays a sign.
  int remaining = static_cast<int>(digits.size());
  int pos = length - 1;
  bool placed = false;
  while (remaining > 0 && pos >= 0) {
    const char m = mask[pos];
    const bool floating = placed && (m == 'S' || (m == '-' && (pos == 0 || mask[pos - 1] != '9')));
    if (m == '9' || m == '0' || floating) {
      dest[pos] = digits[--remaining];
      placed = true;
    } else {
      dest[pos] = m;
    }
    --pos;
  }

  // Overflow: digits left over, or the last digit landed on a leading sign position that the
  // sign itself needs ("S" always, "-" only when there is a minus to show).
  const bool used_up_exactly = pos < 0 && remaining == 0 && length > 0;
  if (remaining > 0 || (used_up_exactly && (mask[0] == 'S' || (mask[0] == '-' && negative)))) {
    for (int i = 0; i < length; ++i) dest[i] = '*';
    return kOverflow;
  }

  // The prefix the digits did not reach (positions 0..pos): blank up to the first "9", noting
  // the last sign position there; from that "9" on, "9" shows as "0" and literals stay.
  int sign_pos = -1;
  bool seen_nine = false;
  for (int i = 0; i <= pos; ++i) {
    const char m = mask[i];
    if (!seen_nine && m == '9') seen_nine = true;
    if (seen_nine) {
      dest[i] = m == '9' ? '0' : m;
    } else {
      dest[i] = ' ';
      if (is_sign_char(m)) sign_pos = i;
    }
  }

  // A "-" position shows nothing for a number that is not negative; any other sign position
  // shows "+" or "-". The sign slides right over literals (a blank, a comma) so that it stands
  // directly before the digits, but never over a suppressed digit position: "+009" edits -5 as
  // "-  5", not "  -5".
  if (sign_pos >= 0 && !(mask[sign_pos] == '-' && !negative)) {
    int at = sign_pos;
    while (at + 1 < length && !is_digit_char(mask[at + 1]) && !is_sign_char(mask[at + 1])) ++at;
    dest[at] = negative ? '-' : '+';
  }

  // Literals after the last digit position (a trailing "-", a point, a blank) show only for
  // negative numbers. Position 0 is never blanked here.
  if (!negative) {
    for (int k = length - 1; k >= 1 && mask[k] != '0' && mask[k] != '9'; --k) dest[k] = ' ';
  }
  return 0;
}

}  // namespace

int edit_number(char* dest, int32_t value, std::string_view mask) {
  // Counters are kept in 32 bits and may pass 2,147,483,647; the long count masks ("0,000,000,009"
  // and the like) show them as the unsigned count they really are. A mask starting with "S" asks
  // for a signed number and is left alone.
  const bool count_mask =
      mask.size() >= kCountMaskLength && mask[0] != 'S' && is_digit_char(mask.back());
  char buf[20];
  if (value <= 0 && count_mask) {
    const auto count = static_cast<uint32_t>(value);
    return edit_digits(dest, mask, false, significant_digits(count, buf));
  }
  return edit_digits(dest, mask, value < 0, significant_digits(magnitude_of(value), buf));
}

int edit_number64(char* dest, int64_t value, std::string_view mask) {
  char buf[20];
  return edit_digits(dest, mask, value < 0, significant_digits(magnitude_of(value), buf));
}

int edit_packed(char* dest, const uint8_t* packed, int n, std::string_view mask) {
  if (n < 1) return kBadDigitNibble;
  // Every nibble but the last is a digit; leading zeros are dropped as they are read, so a long
  // field of zeros costs nothing.
  std::string digits;
  digits.reserve(static_cast<size_t>(n) * 2);
  for (int i = 0; i < n; ++i) {
    const int high = packed[i] >> 4;
    const int low = packed[i] & 0x0F;
    if (high > 9 || (i < n - 1 && low > 9)) return kBadDigitNibble;
    if (high != 0 || !digits.empty()) digits.push_back(static_cast<char>('0' + high));
    if (i == n - 1) break;
    if (low != 0 || !digits.empty()) digits.push_back(static_cast<char>('0' + low));
  }
  const int sign = packed[n - 1] & 0x0F;
  if (sign < 10) return kBadSignNibble;
  return edit_digits(dest, mask, sign == 0x0B || sign == 0x0D, digits);
}

}  // namespace recsift::convert
