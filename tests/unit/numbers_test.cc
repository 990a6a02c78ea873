// Tests of the number forms and the CV dispatcher. Round trips are checked against expectations
// built independently in the test (digits from std::to_string, bytes from 128-bit arithmetic),
// and every conversion code gets a success and a failure.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/convert.h"

namespace recsift::convert {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint8_t kGuard = 0xA5;  // fills the bytes around a destination to catch stray writes
constexpr int kPad = 4;           // guard bytes on each side

// A destination of n bytes with guard bytes on both sides.
struct Guarded {
  explicit Guarded(int n, uint8_t fill = kGuard) : buf(static_cast<size_t>(n + 2 * kPad), kGuard) {
    std::memset(buf.data() + kPad, fill, static_cast<size_t>(n));
  }
  uint8_t* data() { return buf.data() + kPad; }
  char* chars() { return reinterpret_cast<char*>(data()); }
  Bytes field() const { return Bytes(buf.begin() + kPad, buf.end() - kPad); }
  std::string text() const { return std::string(buf.begin() + kPad, buf.end() - kPad); }
  bool guards_intact() const {
    for (int i = 0; i < kPad; ++i) {
      if (buf[i] != kGuard || buf[buf.size() - 1 - i] != kGuard) return false;
    }
    return true;
  }
  Bytes buf;  // kPad guards, the destination, kPad guards
};

const int64_t kInt64Min = std::numeric_limits<int64_t>::min();
const int64_t kInt64Max = std::numeric_limits<int64_t>::max();

// Edges of every binary width (including the 32-bit extremes), of every decimal length, and the
// 64-bit extremes.
std::vector<int64_t> sample_values() {
  std::vector<int64_t> v = {0, 1, -1, 255, 256, kInt64Max, kInt64Min, kInt64Min + 1};
  for (int bits = 7; bits < 63; bits += 8) {
    const int64_t p = int64_t{1} << bits;
    v.insert(v.end(), {p - 1, p, -p, -p - 1});
  }
  int64_t p = 1;
  for (int k = 1; k <= 18; ++k) {
    p *= 10;
    v.insert(v.end(), {p - 1, p, -(p - 1), -p});
  }
  return v;
}

std::string magnitude_digits(int64_t v) {
  const std::string s = std::to_string(v);
  return v < 0 ? s.substr(1) : s;
}

// The packed form of v in n bytes, built nibble by nibble from its decimal digits; also tells
// whether all the digits fit.
Bytes expected_packed(int64_t v, int n, bool* fits) {
  const std::string digits = magnitude_digits(v);
  const size_t slots = static_cast<size_t>(2 * n - 1);
  *fits = digits.size() <= slots;
  std::string nibbles(slots, '0');
  const size_t take = std::min(slots, digits.size());
  nibbles.replace(slots - take, take, digits.substr(digits.size() - take));
  Bytes out;
  for (int i = 0; i < n; ++i) {
    const int high = nibbles[2 * i] - '0';
    const int low = i == n - 1 ? (v < 0 ? 0xD : 0xC) : nibbles[2 * i + 1] - '0';
    out.push_back(static_cast<uint8_t>(high << 4 | low));
  }
  return out;
}

// The big-endian two's complement form of v in n bytes through 128-bit arithmetic.
Bytes expected_binary(int64_t v, int n, bool* fits) {
  const __int128 x = v;
  if (n == 1) {
    *fits = x >= 0 && x <= 255;
  } else if (n >= 16) {
    *fits = true;
  } else {
    const __int128 half = static_cast<__int128>(1) << (8 * n - 1);
    *fits = x >= -half && x < half;
  }
  Bytes out(static_cast<size_t>(n));
  __int128 rest = x;
  for (int i = n - 1; i >= 0; --i) {
    out[static_cast<size_t>(i)] = static_cast<uint8_t>(rest & 0xFF);
    rest >>= 8;
  }
  return out;
}

// ---- Packed decimal ------------------------------------------------------------------------

TEST(NumbersPacked, RoundTripsEveryWidth) {
  for (int n = 1; n <= 16; ++n) {
    for (const int64_t v : sample_values()) {
      bool fits = false;
      const Bytes want = expected_packed(v, n, &fits);
      Guarded out(n);
      ASSERT_EQ(int_to_packed64(out.data(), n, v), fits ? 0 : 1) << v << " in " << n;
      EXPECT_EQ(out.field(), want) << v << " in " << n;  // the low digits even when cut
      EXPECT_TRUE(out.guards_intact());
      if (!fits) continue;

      int64_t back = 7;
      ASSERT_EQ(packed_to_int64(&back, want.data(), n), 0) << v << " in " << n;
      EXPECT_EQ(back, v);

      const bool in32 = v >= INT32_MIN && v <= INT32_MAX;
      int32_t back32 = 7;
      EXPECT_EQ(packed_to_int(&back32, want.data(), n), in32 ? 0 : 1) << v << " in " << n;
      if (in32) {
        EXPECT_EQ(back32, v);
        Guarded out32(n);
        EXPECT_EQ(int_to_packed(out32.data(), n, static_cast<int32_t>(v)), 0);
        EXPECT_EQ(out32.field(), want);
      } else {
        EXPECT_EQ(back32, 7);  // untouched on failure
      }
    }
  }
}

TEST(NumbersPacked, SignsNibblesAndLeadingZeros) {
  struct Case {
    Bytes field;
    int result;
    int64_t value;
  };
  const Case cases[] = {
      {{0x12, 0x3D}, 0, -123},
      {{0x12, 0x3B}, 0, -123},
      {{0x12, 0x3A}, 0, 123},
      {{0x12, 0x3C}, 0, 123},
      {{0x12, 0x3E}, 0, 123},
      {{0x12, 0x3F}, 0, 123},
      {{0x12, 0x39}, 1, 0},
      {{0x12, 0x30}, 1, 0},
      {{0x1A, 0x3C}, 1, 0},
      {{0xB2, 0x3C}, 1, 0},
      {{0x12, 0xA3}, 1, 0},
      {{0x00, 0x00, 0x0D}, 0, 0},
      {{0x00, 0x00, 0x00}, 1, 0},
      {{0x00, 0x00, 0x7C}, 0, 7},
      // 2,147,483,647 is the largest positive 32-bit value; its negative neighbour one more.
      {{0x02, 0x14, 0x74, 0x83, 0x64, 0x7C}, 0, 2147483647},
      {{0x02, 0x14, 0x74, 0x83, 0x64, 0x8C}, 1, 0},
      {{0x02, 0x14, 0x74, 0x83, 0x64, 0x8D}, 0, -2147483648LL},
      {{0x02, 0x14, 0x74, 0x83, 0x64, 0x9D}, 1, 0},
  };
  for (const Case& c : cases) {
    int32_t v = 0;
    EXPECT_EQ(packed_to_int(&v, c.field.data(), static_cast<int>(c.field.size())), c.result)
        << ::testing::PrintToString(c.field);
    if (c.result == 0) {
      EXPECT_EQ(v, c.value);
    }
  }
  int64_t v64 = 0;
  const Bytes too_big = {0x92, 0x23, 0x37, 0x20, 0x36, 0x85, 0x47, 0x75, 0x80, 0x8C};
  EXPECT_EQ(packed_to_int64(&v64, too_big.data(), 10), 1);
  const Bytes at_limit = {0x92, 0x23, 0x37, 0x20, 0x36, 0x85, 0x47, 0x75, 0x80, 0x7C};
  EXPECT_EQ(packed_to_int64(&v64, at_limit.data(), 10), 0);
  EXPECT_EQ(v64, kInt64Max);
  EXPECT_EQ(packed_to_int64(&v64, at_limit.data(), 0), 1);
  EXPECT_EQ(packed_to_int(nullptr, nullptr, -1), 1);
}

TEST(NumbersPacked, FieldWidthOutsideOneToSixteenWritesNothing) {
  for (const int n : {0, -1, 17, 100}) {
    Guarded out(20);
    EXPECT_EQ(int_to_packed(out.data(), n, 5), 8888) << n;
    EXPECT_EQ(int_to_packed64(out.data(), n, 5), 8888) << n;
    EXPECT_EQ(out.field(), Bytes(20, kGuard));
  }
}

// ---- Binary ----------------------------------------------------------------------------------

TEST(NumbersBinary, RoundTripsEveryWidth) {
  for (int n = 1; n <= 12; ++n) {
    for (const int64_t v : sample_values()) {
      bool fits = false;
      const Bytes want = expected_binary(v, n, &fits);
      Guarded out(n);
      ASSERT_EQ(int_to_binary64(out.data(), n, v), fits ? 0 : 1) << v << " in " << n;
      EXPECT_EQ(out.field(), fits ? want : Bytes(n, kGuard)) << v << " in " << n;
      EXPECT_TRUE(out.guards_intact());
      if (!fits) continue;

      int64_t back = 7;
      ASSERT_EQ(binary_to_int64(&back, want.data(), n), 0) << v << " in " << n;
      EXPECT_EQ(back, v);

      const bool in32 = v >= INT32_MIN && v <= INT32_MAX;
      int32_t back32 = 7;
      EXPECT_EQ(binary_to_int(&back32, want.data(), n), in32 ? 0 : 1) << v << " in " << n;
      if (in32) {
        EXPECT_EQ(back32, v);
        Guarded out32(n);
        EXPECT_EQ(int_to_binary(out32.data(), n, static_cast<int32_t>(v)), 0);
        EXPECT_EQ(out32.field(), want);
      }
    }
  }
}

TEST(NumbersBinary, OneByteIsUnsignedAndLongFieldsNeedSignFill) {
  struct Case {
    Bytes field;
    int result;  // of binary_to_int; binary_to_int64 accepts everything up to 8 bytes
    int64_t value;
  };
  const Case cases[] = {
      {{0xFF}, 0, 255},
      {{0x00, 0xFF}, 0, 255},
      {{0xFF, 0xFF}, 0, -1},
      {{0x80, 0x00, 0x00}, 0, -8388608},
      {{0x00, 0x00, 0x00, 0x00, 0x01}, 0, 1},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFE}, 0, -2},
      {{0x00, 0x80, 0x00, 0x00, 0x00}, 1, 2147483648LL},  // sign bit disagrees with the fill
      {{0xFF, 0x7F, 0xFF, 0xFF, 0xFF}, 1, -2147483649LL},
      {{0x01, 0x00, 0x00, 0x00, 0x00}, 1, 4294967296LL},
  };
  for (const Case& c : cases) {
    const int n = static_cast<int>(c.field.size());
    int32_t v = 0;
    EXPECT_EQ(binary_to_int(&v, c.field.data(), n), c.result) << ::testing::PrintToString(c.field);
    if (c.result == 0) {
      EXPECT_EQ(v, c.value);
    }
    int64_t v64 = 0;
    EXPECT_EQ(binary_to_int64(&v64, c.field.data(), n), 0);
    EXPECT_EQ(v64, c.value);
  }
  const Bytes nine = {0x00, 0x80, 0, 0, 0, 0, 0, 0, 0};
  int64_t v64 = 0;
  EXPECT_EQ(binary_to_int64(&v64, nine.data(), 9), 1);
  EXPECT_EQ(binary_to_int64(&v64, nine.data(), 0), 1);
  Guarded out(1);
  EXPECT_EQ(int_to_binary(out.data(), 1, 255), 0);
  EXPECT_EQ(int_to_binary(out.data(), 1, -1), 1);  // would read back as 255
  EXPECT_EQ(int_to_binary(out.data(), 1, 256), 1);
  EXPECT_EQ(int_to_binary(out.data(), 0, 1), 1);
  EXPECT_EQ(out.field(), Bytes{0xFF});
}

// ---- Decimal text --------------------------------------------------------------------------

TEST(NumbersText, Normalise) {
  struct Case {
    std::string text;
    int result;
    const char* normalised;
  };
  const Case cases[] = {
      {"123", 0, "+123"},
      {"  00123}", 0, "-1230"},
      {"12A", 0, "+121"},
      {"12{", 0, "+120"},
      {"12R", 0, "-129"},
      {"12J", 0, "-121"},
      {"+123-", 0, "+123"},
      {"123-", 0, "-123"},
      {"0123+", 0, "+123"},  // a separate trailing plus
      {"-123", 0, "-123"},
      {"-12I", 0, "-129"},
      {"-", 0, "-0"},
      {"   ", 0, "+0"},
      {"0000", 0, "+0"},
      {"1,234.50", 0, "+123450"},
      {"  42  ", 0, "+42"},
      {"12 A", 0, "-12"},
      {"12AB", 0, "-12"},
      {"123 CR", 0, "-123"},
      {"0}", 0, "-0"},
      {"{", 0, "+0"},
      {"", 1, ""},
      {std::string(47, '9'), 0, nullptr},
      {std::string(48, '9'), 1, ""},
      {std::string(30, '0') + std::string(47, '1'), 0, nullptr},
      {std::string(47, '1') + "A", 1, ""},  // the overpunch is the 48th digit
  };
  for (const Case& c : cases) {
    char out[kNormalisedMax];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(normalise_decimal(out, c.text.data(), static_cast<int>(c.text.size())), c.result)
        << '"' << c.text << '"';
    const std::string want =
        c.normalised != nullptr ? c.normalised : "+" + c.text.substr(c.text.find_first_not_of('0'));
    EXPECT_EQ(std::string(out), want) << '"' << c.text << '"';
  }
}

TEST(NumbersText, ToIntegerRoundTrips) {
  const std::string overpunch_plus = "{ABCDEFGHI";
  const std::string overpunch_minus = "}JKLMNOPQR";
  for (const int64_t v : sample_values()) {
    const std::string digits = magnitude_digits(v);
    const int last = digits.back() - '0';
    const std::string forms[] = {
        std::to_string(v),
        "  " + digits + (v < 0 ? "-" : ""),
        "000" + digits.substr(0, digits.size() - 1) +
            (v < 0 ? overpunch_minus[last] : overpunch_plus[last]),
    };
    const bool in32 = v >= INT32_MIN && v <= INT32_MAX;
    for (const std::string& text : forms) {
      int64_t v64 = 7;
      ASSERT_EQ(text_to_int64(&v64, text.data(), static_cast<int>(text.size())), 0) << text;
      EXPECT_EQ(v64, v) << text;
      int32_t v32 = 7;
      EXPECT_EQ(text_to_int(&v32, text.data(), static_cast<int>(text.size())), in32 ? 0 : 1)
          << text;
      EXPECT_EQ(v32, in32 ? v : 7) << text;
    }
  }
  int64_t v = 0;
  EXPECT_EQ(text_to_int64(&v, "-9223372036854775809", 20), 1);
  EXPECT_EQ(text_to_int64(&v, "9223372036854775808", 19), 1);
  EXPECT_EQ(text_to_int64(&v, "-0", 2), 0);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(text_to_int64(&v, "5", 0), 1);
}

// ---- Hexadecimal text ----------------------------------------------------------------------

TEST(NumbersHex, BytesToHex) {
  const Bytes src = {0x00, 0x9F, 0xC1, 0xFF};
  Guarded out(8);
  EXPECT_EQ(bytes_to_hex(out.chars(), 8, src.data(), 4), 0);
  EXPECT_EQ(out.text(), "009FC1FF");
  Guarded small(7);
  EXPECT_EQ(bytes_to_hex(small.chars(), 7, src.data(), 4), 1);
  EXPECT_EQ(small.field(), Bytes(7, kGuard));
  EXPECT_EQ(bytes_to_hex(small.chars(), 7, src.data(), 0), 1);
}

TEST(NumbersHex, HexToBytes) {
  struct Case {
    std::string text;
    int dest_len;
    int result;
    Bytes stored;  // the whole destination afterwards (guard bytes where nothing was stored)
    int written;
  };
  const uint8_t g = kGuard;
  const Case cases[] = {
      {"C1 c2,F", 4, 1, {0xC1, 0xC2, '*', g}, 3},
      {"C1C2", 2, 0, {0xC1, 0xC2}, 2},
      {" 0 1 , f e ", 3, 0, {0x01, 0xFE, g}, 2},
      {"c1x2", 3, 2, {'*', '*', '*'}, 3},
      {"", 2, 2, {'*', '*'}, 2},
      {" , ", 2, 2, {'*', '*'}, 2},
      // The destination bounds the output; the rest of the text is still checked.
      {"C1C2C3", 2, 0, {0xC1, 0xC2}, 2},
      {"C1C2C", 2, 1, {0xC1, 0xC2}, 2},
      {"C1C2G3", 2, 2, {'*', '*'}, 2},
  };
  for (const Case& c : cases) {
    Guarded out(c.dest_len);
    int written = -1;
    EXPECT_EQ(hex_to_bytes(out.data(), c.dest_len, c.text.data(), static_cast<int>(c.text.size()),
                           &written),
              c.result)
        << '"' << c.text << '"';
    EXPECT_EQ(out.field(), c.stored) << '"' << c.text << '"';
    EXPECT_EQ(written, c.written) << '"' << c.text << '"';
    EXPECT_TRUE(out.guards_intact());
  }
  uint8_t byte = 0;
  EXPECT_EQ(hex_to_bytes(&byte, 0, "C1", 2), 2);
  EXPECT_EQ(hex_to_bytes(&byte, 1, "C1", -1), 2);
}

// ---- The CV dispatcher -----------------------------------------------------------------------

struct Converted {
  int result;
  Bytes dest;    // the whole target afterwards
  int dest_len;  // the length the dispatcher reports as used
};

Converted run_cv(int code, const Bytes& src, int dest_len, const char* mask = nullptr,
                 bool follows = false) {
  Guarded out(dest_len, ' ');
  ConvertRequest r;
  r.code = code;
  r.dest = out.data();
  r.dest_len = dest_len;
  r.src = src.data();
  r.src_len = static_cast<int>(src.size());
  r.mask = mask;
  r.target_follows_source = follows;
  const int result = convert(r);
  EXPECT_TRUE(out.guards_intact()) << std::hex << code;
  return {result, out.field(), r.dest_len};
}

Bytes text(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

TEST(ConvertDispatch, EveryCodeSucceedsAndFails) {
  struct Case {
    const char* name;
    int code;
    Bytes src;
    int dest_len;
    const char* mask;
    int result;
    Bytes dest;
  };
  const Case cases[] = {
      {"binary widen", 0x22, {0xFF, 0xFE}, 4, nullptr, 0, {0xFF, 0xFF, 0xFF, 0xFE}},
      {"binary narrow", 0x22, {0xFF, 0xFF, 0x80, 0x01}, 2, nullptr, 0, {0x80, 0x01}},
      {"binary narrow lossy", 0x22, {0x00, 0x01, 0x80, 0x01}, 2, nullptr, 1, text("  ")},
      {"binary to 1 byte", 0x22, {0x00, 0xFF}, 1, nullptr, 0, {0xFF}},
      {"binary -1 to 1 byte", 0x22, {0xFF, 0xFF}, 1, nullptr, 1, text(" ")},
      {"unpkb", 0x23, {0xFF, 0xF5}, 4, nullptr, 0, text("001J")},
      {"unpkb too small", 0x23, {0x01, 0x00}, 2, nullptr, 1, text("**")},
      {"binary to packed", 0x24, {0xFF, 0x85}, 2, nullptr, 0, {0x12, 0x3D}},
      {"binary to packed long",
       0x24,
       {0, 0, 0, 0x02, 0x54, 0x0B, 0xE3, 0xFF},
       6,
       nullptr,
       0,
       {0x09, 0x99, 0x99, 0x99, 0x99, 0x9C}},
      {"binary to packed cut", 0x24, {0x03, 0xE8}, 1, nullptr, 1, {0x0C}},
      {"binary to edited", 0x27, {0xFF, 0xFF, 0xFB, 0x2E}, 7, "---,--9", 0, text(" -1,234")},
      {"binary to zoned", 0x27, {0x00, 0x7B}, 5, nullptr, 0, text("00123")},
      {"binary to zoned -0 last", 0x27, {0xFF, 0x9C}, 4, nullptr, 0, text("010}")},
      {"binary to edited wide", 0x27, {0x01}, 33, nullptr, 1, text(std::string(33, ' '))},
      {"binary to edited mask", 0x27, {0x01}, 3, "0009", 1, text("   ")},
      {"text to binary", 0x32, text(" 1234-"), 2, nullptr, 0, {0xFB, 0x2E}},
      {"text to binary long", 0x32, text("4294967296"), 6, nullptr, 0, {0, 1, 0, 0, 0, 0}},
      {"text to binary over", 0x32, text("32768"), 2, nullptr, 1, text("  ")},
      {"text to binary range", 0x32, text("2147483648"), 4, nullptr, 1, text("    ")},
      {"text to packed", 0x34, text("  00123}"), 3, nullptr, 0, {0x01, 0x23, 0x0D}},
      {"text to packed wide", 0x34, text(std::string(40, '9')), 21, nullptr, 0,
       [] {
         Bytes b(21, 0x99);
         b[0] = 0x09;
         b[20] = 0x9C;
         return b;
       }()},
      {"text to packed over", 0x34, text("1234"), 2, nullptr, 1, {0x23, 0x4C}},
      {"text to hex", 0x38, text("A1"), 4, nullptr, 0, text("4131")},
      {"text to hex short", 0x38, text("A1"), 3, nullptr, 1, text("   ")},
      {"packed to binary", 0x42, {0x12, 0x3D}, 2, nullptr, 0, {0xFF, 0x85}},
      {"packed to binary long",
       0x42,
       {0x09, 0x99, 0x99, 0x99, 0x99, 0x9C},
       5,
       nullptr,
       0,
       {0x02, 0x54, 0x0B, 0xE3, 0xFF}},
      {"packed to binary over", 0x42, {0x99, 0x99, 0x9C}, 2, nullptr, 1, text("  ")},
      {"unpk", 0x43, {0x12, 0x3D}, 5, nullptr, 0, text("0012L")},
      {"unpk mask", 0x43, {0x12, 0x3D}, 5, "0009-", 0, text(" 123-")},
      {"unpk bad", 0x43, {0x1A, 0x3C}, 3, nullptr, 1, text("   ")},
      {"packed to edited", 0x47, {0x00, 0x00, 0x0D}, 3, nullptr, 0, text("00}")},
      {"packed to edited over", 0x47, {0x12, 0x3C}, 2, nullptr, 1, text("**")},
      {"hex to text", 0x83, text("C1 c2"), 2, nullptr, 0, {0xC1, 0xC2}},
      {"hex to text bad", 0x83, text("C1Z2"), 2, nullptr, 1, text("**")},
      {"unknown", 0x44, {0x12, 0x3C}, 2, nullptr, 1, text("  ")},
      {"reserved", 0x36, text("12"), 2, nullptr, 1, text("  ")},
  };
  for (const Case& c : cases) {
    const Converted got = run_cv(c.code, c.src, c.dest_len, c.mask);
    EXPECT_EQ(got.result, c.result) << c.name;
    EXPECT_EQ(got.dest, c.dest) << c.name;
  }
}

TEST(ConvertDispatch, HexTargetsFollowTheirSource) {
  Converted got = run_cv(0x38, text("AB"), 10, nullptr, true);
  EXPECT_EQ(got.result, 0);
  EXPECT_EQ(got.dest_len, 4);
  EXPECT_EQ(got.dest, text("4142      "));
  got = run_cv(0x38, text("AB"), 10, nullptr, false);
  EXPECT_EQ(got.dest_len, 10);
  got = run_cv(0x83, text("C1C2C3"), 6, nullptr, true);
  EXPECT_EQ(got.result, 0);
  EXPECT_EQ(got.dest_len, 3);
  EXPECT_EQ(got.dest, (Bytes{0xC1, 0xC2, 0xC3, ' ', ' ', ' '}));
  // A fixed target shorter than the text is never overrun.
  got = run_cv(0x83, text("C1C2C3"), 2, nullptr, false);
  EXPECT_EQ(got.dest, (Bytes{0xC1, 0xC2}));
}

TEST(ConvertDispatch, MaskSetsTheUsedLength) {
  const Converted got = run_cv(0x47, {0x12, 0x3C}, 8, "0009");
  EXPECT_EQ(got.result, 0);
  EXPECT_EQ(got.dest_len, 4);
  EXPECT_EQ(got.dest, text(" 123    "));
  // The long count masks of the listing do not turn a negative field into a huge count.
  EXPECT_EQ(run_cv(0x27, {0xFF, 0xFF, 0xFF, 0xFB}, 13, "0,000,000,009").dest,
            text("            5"));
}

TEST(ConvertDispatch, UnresolvedOperandsAndBadLengths) {
  uint8_t buf[4] = {};
  ConvertRequest r;
  r.code = 0x22;
  r.dest = buf;
  r.dest_len = 2;
  r.src_len = 2;
  EXPECT_EQ(convert(r), -1);
  r.src = buf + 2;
  r.dest_len = 0;
  EXPECT_EQ(convert(r), 1);
  r.dest_len = -4;
  EXPECT_EQ(convert(r), 1);
}

TEST(ConvertDispatch, OverlappingFieldsReadTheOriginalSource) {
  // Hex of two bytes written over themselves and the two bytes after.
  Bytes rec = {0xC1, 0x2F, 0x00, 0x00};
  ConvertRequest r;
  r.code = 0x38;
  r.dest = rec.data();
  r.dest_len = 4;
  r.src = rec.data();
  r.src_len = 2;
  EXPECT_EQ(convert(r), 0);
  EXPECT_EQ(rec, text("C12F"));
  // Binary widened in place to the right.
  rec = {0xFF, 0x80, 0x00, 0x00};
  r.code = 0x22;
  r.src = rec.data();
  r.src_len = 2;
  r.dest = rec.data();
  r.dest_len = 4;
  EXPECT_EQ(convert(r), 0);
  EXPECT_EQ(rec, (Bytes{0xFF, 0xFF, 0xFF, 0x80}));
}

}  // namespace
}  // namespace recsift::convert
