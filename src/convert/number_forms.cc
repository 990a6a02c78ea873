// The number forms records carry: packed decimal, big-endian binary, decimal text (with a
// trailing sign or an overpunched last digit) and hexadecimal text, with the conversions between
// them and native integers.
//
// Invariants: no routine writes outside [dest, dest + its length) or reads outside
// [src, src + n); a length of zero or below is a failure, never a read. A failed conversion
// leaves *value untouched.
#include <cstdint>
#include <cstring>

#include "convert/convert.h"

namespace recsift::convert {
namespace {

constexpr int kFails = 1;               // the value does not fit or the field is not a number
constexpr int kBadPackedLength = 8888;  // int_to_packed: the field is not 1..16 bytes
constexpr int kMaxPackedBytes = 16;     // widest packed field a native integer is written to
constexpr int kMaxDecimalDigits = 47;   // longest number normalise_decimal keeps
constexpr int kHexLoneDigit = 1;        // hex_to_bytes: the text ends inside a pair
constexpr int kHexInvalid = 2;          // hex_to_bytes: a bad character, or no digit at all

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Largest magnitudes of a signed width: a negative number may reach one further than a positive.
constexpr uint64_t kMaxPositive32 = 2147483647u;
constexpr uint64_t kMaxPositive64 = 9223372036854775807u;

uint64_t magnitude_of(int64_t value) {
  return value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
}

// Applies a sign to a magnitude already checked against the width's limit.
int64_t signed_from(uint64_t magnitude, bool negative) {
  return negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
}

// Reads a packed field into a magnitude no larger than max_positive (one more when negative).
// Leading 0x00 bytes are skipped: they carry neither digits nor the sign. Result 0 or kFails.
int read_packed(uint64_t* magnitude, bool* negative, const uint8_t* src, int n,
                uint64_t max_positive) {
  if (n < 1) return kFails;
  int first = 0;
  while (first < n - 1 && src[first] == 0) ++first;
  const int sign = src[n - 1] & 0x0F;
  if (sign < 10) return kFails;
  const bool minus = sign == 0x0B || sign == 0x0D;
  const uint64_t limit = minus ? max_positive + 1 : max_positive;
  uint64_t m = 0;
  for (int i = first; i < n; ++i) {
    const int nibbles[2] = {src[i] >> 4, src[i] & 0x0F};
    const int count = i == n - 1 ? 1 : 2;  // the last low nibble is the sign
    for (int k = 0; k < count; ++k) {
      const int d = nibbles[k];
      if (d > 9) return kFails;
      if (m > (limit - static_cast<uint64_t>(d)) / 10) return kFails;
      m = m * 10 + static_cast<uint64_t>(d);
    }
  }
  *magnitude = m;
  *negative = minus;
  return 0;
}

// Reads a big-endian two's complement field into 64 bits. Bytes beyond `width` (4 or 8) must be
// pure sign fill agreeing with the sign bit of the first significant byte; a 1-byte field is
// unsigned.
int read_binary(int64_t* value, const uint8_t* src, int n, int width) {
  if (n < 1) return kFails;
  if (n == 1) {
    *value = src[0];
    return 0;
  }
  int first = 0;
  if (n > width) {
    first = n - width;
    const uint8_t fill = (src[first] & 0x80) ? 0xFF : 0x00;
    for (int i = 0; i < first; ++i) {
      if (src[i] != fill) return kFails;
    }
  }
  uint64_t bits = (src[first] & 0x80) ? ~uint64_t{0} : 0;
  for (int i = first; i < n; ++i) bits = (bits << 8) | src[i];
  *value = static_cast<int64_t>(bits);
  return 0;
}

// Writes a value as n big-endian bytes, sign-filled when n exceeds 8. The range of n bytes is
// checked first, so a value that does not fit leaves the field as it was. A 1-byte field is
// unsigned (0..255), as it reads back.
int write_binary(uint8_t* dest, int n, int64_t value) {
  if (n < 1) return kFails;
  if (n == 1) {
    if (value < 0 || value > 255) return kFails;
    dest[0] = static_cast<uint8_t>(value);
    return 0;
  }
  if (n < 8) {
    const int64_t max = (int64_t{1} << (8 * n - 1)) - 1;
    if (value > max || value < -max - 1) return kFails;
  }
  auto bits = static_cast<uint64_t>(value);
  const uint8_t fill = value < 0 ? 0xFF : 0x00;
  for (int i = n - 1; i >= 0; --i) {
    const int from_right = n - 1 - i;
    dest[i] = from_right < 8 ? static_cast<uint8_t>(bits >> (8 * from_right)) : fill;
  }
  return 0;
}

// Writes a magnitude and sign as an n-byte packed field: sign nibble C or D, digits from the
// right, zeros in front. The field is written even when the number is too long for it; the
// result then says so.
int write_packed(uint8_t* dest, int n, uint64_t magnitude, bool negative) {
  if (n < 1 || n > kMaxPackedBytes) return kBadPackedLength;
  dest[n - 1] = static_cast<uint8_t>((magnitude % 10) << 4 | (negative ? 0x0D : 0x0C));
  magnitude /= 10;
  for (int i = n - 2; i >= 0; --i) {
    const auto low = static_cast<uint8_t>(magnitude % 10);
    magnitude /= 10;
    const auto high = static_cast<uint8_t>(magnitude % 10);
    magnitude /= 10;
    dest[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return magnitude != 0 ? kFails : 0;
}

// Value of an overpunched last digit: "{" and "A".."I" are +0..+9, "}" and "J".."R" -0..-9.
// Returns -1 for a character that is not an overpunch.
int overpunch_digit(char c, bool* negative) {
  if (c == '{' || c == '}') {
    *negative = c == '}';
    return 0;
  }
  if (c >= 'A' && c <= 'I') {
    *negative = false;
    return c - 'A' + 1;
  }
  if (c >= 'J' && c <= 'R') {
    *negative = true;
    return c - 'J' + 1;
  }
  return -1;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Decimal text to a magnitude no larger than max_positive (one more when negative).
int read_decimal(uint64_t* magnitude, bool* negative, const char* src, int n,
                 uint64_t max_positive) {
  char text[kNormalisedMax];
  if (normalise_decimal(text, src, n) != 0) return kFails;
  const bool minus = text[0] == '-';
  const uint64_t limit = minus ? max_positive + 1 : max_positive;
  uint64_t m = 0;
  for (const char* p = text + 1; *p != '\0'; ++p) {
    const auto d = static_cast<uint64_t>(*p - '0');
    if (m > (limit - d) / 10) return kFails;
    m = m * 10 + d;
  }
  *magnitude = m;
  *negative = minus;
  return 0;
}

}  // namespace

// ---- Packed decimal ------------------------------------------------------------------------

int int_to_packed(uint8_t* dest, int n, int32_t value) {
  return write_packed(dest, n, magnitude_of(value), value < 0);
}

int int_to_packed64(uint8_t* dest, int n, int64_t value) {
  return write_packed(dest, n, magnitude_of(value), value < 0);
}

int packed_to_int(int32_t* value, const uint8_t* src, int n) {
  uint64_t m = 0;
  bool negative = false;
  if (read_packed(&m, &negative, src, n, kMaxPositive32) != 0) return kFails;
  *value = static_cast<int32_t>(signed_from(m, negative));
  return 0;
}

int packed_to_int64(int64_t* value, const uint8_t* src, int n) {
  uint64_t m = 0;
  bool negative = false;
  if (read_packed(&m, &negative, src, n, kMaxPositive64) != 0) return kFails;
  *value = signed_from(m, negative);
  return 0;
}

// ---- Binary ----------------------------------------------------------------------------------

int int_to_binary(uint8_t* dest, int n, int32_t value) {
  return write_binary(dest, n, value);
}

int int_to_binary64(uint8_t* dest, int n, int64_t value) {
  return write_binary(dest, n, value);
}

int binary_to_int(int32_t* value, const uint8_t* src, int n) {
  int64_t v = 0;
  if (read_binary(&v, src, n, 4) != 0) return kFails;
  *value = static_cast<int32_t>(v);
  return 0;
}

int binary_to_int64(int64_t* value, const uint8_t* src, int n) {
  return read_binary(value, src, n, 8);
}

// ---- Decimal text ----------------------------------------------------------------------------

int normalise_decimal(char* out, const char* src, int n) {
  out[0] = '\0';
  if (n < 1) return kFails;
  char digits[kMaxDecimalDigits];
  int count = 0;
  bool too_long = false;
  auto keep = [&](char d) {
    if (count == 0 && d == '0') return;  // zeros before the first significant digit
    if (count == kMaxDecimalDigits) {
      too_long = true;
      return;
    }
    digits[count++] = d;
  };

  // Blanks are skipped everywhere, so "  123  " carries no trailing indicator. Of the other
  // characters only the first (a leading sign) and the last after the final digit (a trailing
  // sign or overpunch) mean anything.
  char first = '\0';
  int last_digit_at = -1;
  int trailing_at = -1;
  for (int i = 0; i < n; ++i) {
    const char c = src[i];
    if (c == ' ') continue;
    if (first == '\0') first = c;
    if (c >= '0' && c <= '9') {
      keep(c);
      last_digit_at = i;
      trailing_at = -1;
    } else if (last_digit_at >= 0) {
      trailing_at = i;
    }
  }

  bool negative = false;
  if (trailing_at >= 0) {
    // An overpunch counts only directly after the digits ("12A" is +121); a trailing "+" is the
    // plus of a separate sign ("123+"); any other trailing character is a minus indicator
    // ("123-", "123 CR").
    const int punched =
        trailing_at == last_digit_at + 1 ? overpunch_digit(src[trailing_at], &negative) : -1;
    if (punched >= 0) {
      keep(static_cast<char>('0' + punched));
    } else {
      negative = src[trailing_at] != '+';
    }
  }
  if (first == '+' || first == '-') negative = first == '-';
  if (too_long) return kFails;

  out[0] = negative ? '-' : '+';
  if (count == 0) digits[count++] = '0';
  std::memcpy(out + 1, digits, static_cast<size_t>(count));
  out[count + 1] = '\0';
  return 0;
}

int text_to_int(int32_t* value, const char* src, int n) {
  // The normalised text has no leading zeros, so checking the magnitude against the range is
  // the same as checking that the number prints back as the same text ("-0" reads as 0).
  uint64_t m = 0;
  bool negative = false;
  if (read_decimal(&m, &negative, src, n, kMaxPositive32) != 0) return kFails;
  *value = static_cast<int32_t>(signed_from(m, negative));
  return 0;
}

int text_to_int64(int64_t* value, const char* src, int n) {
  uint64_t m = 0;
  bool negative = false;
  if (read_decimal(&m, &negative, src, n, kMaxPositive64) != 0) return kFails;
  *value = signed_from(m, negative);
  return 0;
}

// ---- Hexadecimal text ----------------------------------------------------------------------

int bytes_to_hex(char* dest, int dest_len, const uint8_t* src, int n) {
  if (n < 1 || dest_len < 1 || int64_t{dest_len} < 2 * int64_t{n}) return kFails;
  for (int i = 0; i < n; ++i) {
    dest[2 * i] = kHexDigits[src[i] >> 4];
    dest[2 * i + 1] = kHexDigits[src[i] & 0x0F];
  }
  return 0;
}

int hex_to_bytes(uint8_t* dest, int dest_len, const char* src, int src_len, int* written) {
  if (written != nullptr) *written = 0;
  if (dest_len < 1 || src_len < 0) return kHexInvalid;
  // The whole text is checked even once the destination is full, so a bad character anywhere
  // is reported; bytes past dest_len are dropped instead of stored.
  int stored = 0;
  int digits = 0;
  int high = -1;  // first digit of the pair being read, or -1 between pairs
  for (int i = 0; i < src_len; ++i) {
    const char c = src[i];
    if (c == ' ' || c == ',') continue;
    const int v = hex_value(c);
    if (v < 0) {
      std::memset(dest, '*', static_cast<size_t>(dest_len));
      if (written != nullptr) *written = dest_len;
      return kHexInvalid;
    }
    ++digits;
    if (high < 0) {
      high = v;
      continue;
    }
    if (stored < dest_len) dest[stored++] = static_cast<uint8_t>(high << 4 | v);
    high = -1;
  }
  if (digits == 0) {
    std::memset(dest, '*', static_cast<size_t>(dest_len));
    if (written != nullptr) *written = dest_len;
    return kHexInvalid;
  }
  int result = 0;
  if (high >= 0) {
    if (stored < dest_len) dest[stored++] = '*';
    result = kHexLoneDigit;
  }
  if (written != nullptr) *written = stored;
  return result;
}

}  // namespace recsift::convert
