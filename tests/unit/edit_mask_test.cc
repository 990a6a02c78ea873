// Tests of the mask editor: the listing's own masks with the values they meet, floating and
// trailing signs, the unsigned reading of long count masks, overflow, packed sources, and a sweep
// of values against an independent rendering with std::to_string.
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "convert/convert.h"

namespace recsift::convert {
namespace {

constexpr char kGuard = '#';  // fills the bytes around dest to catch stray writes

struct Edited {
  int result;
  std::string text;
  bool operator==(const Edited&) const = default;
};

// Edits into a guarded buffer and checks nothing outside the mask's length was touched.
template <typename Edit>
Edited edit_guarded(std::string_view mask, Edit edit) {
  std::string buf(mask.size() + 8, kGuard);
  const int result = edit(buf.data() + 4);
  EXPECT_EQ(buf.substr(0, 4), "####");
  EXPECT_EQ(buf.substr(4 + mask.size()), "####");
  return {result, buf.substr(4, mask.size())};
}

Edited edit32(int32_t value, std::string_view mask) {
  return edit_guarded(mask, [&](char* d) { return edit_number(d, value, mask); });
}
Edited edit64(int64_t value, std::string_view mask) {
  return edit_guarded(mask, [&](char* d) { return edit_number64(d, value, mask); });
}
Edited edit_pk(std::initializer_list<uint8_t> bytes, std::string_view mask) {
  const std::basic_string<uint8_t> field(bytes);
  return edit_guarded(mask, [&](char* d) {
    return edit_packed(d, field.data(), static_cast<int>(field.size()), mask);
  });
}

struct MaskCase {
  int64_t value;
  const char* mask;
  const char* expected;
  int result;
};

TEST(EditMask, ListingMasksAndWorkedExamples) {
  const MaskCase cases[] = {
      // Zero suppression and "9" positions.
      {0, "0009", "   0", 0},
      {7, "0009", "   7", 0},
      {9999, "0009", "9999", 0},
      {10000, "0009", "****", 9},
      {0, "00099", "   00", 0},
      {5, "00099", "   05", 0},
      {42, "999", "042", 0},
      {0, "999", "000", 0},
      {1000, "999", "***", 9},
      {3, "00009", "    3", 0},
      {0, "00000", "     ", 0},
      {12345, "00000", "12345", 0},
      {123456789, "000000009", "123456789", 0},
      {0, "000000009", "        0", 0},
      {4711, "000009", "  4711", 0},
      {99999999, "00000009", "99999999", 0},
      {8, "00000009", "       8", 0},
      // Trailing literals show only for negative numbers.
      {12, "000009.  ", "    12   ", 0},
      {-12, "000009.  ", "    12.  ", 0},
      {5, "0009 ", "   5 ", 0},
      {12, "009 ", " 12 ", 0},
      {1000, "009 ", "****", 9},
      {8192, "0000000 ", "   8192 ", 0},
      {0, "0000000 ", "        ", 0},
      // Trailing minus.
      {-250, "0000009-", "    250-", 0},
      {250, "0000009-", "    250 ", 0},
      {0, "0000009-", "      0 ", 0},
      {-80, "00009-", "   80-", 0},
      {80, "00009-", "   80 ", 0},
      {-99999, "00009-", "99999-", 0},
      // Group separators are blanked before the first digit.
      {1234, "0,000,000,009", "        1,234", 0},
      {123, "0,000,000,009", "          123", 0},
      {2147483647, "0,000,000,009", "2,147,483,647", 0},
      {7, "0000,009", "       7", 0},
      {1234, "0000,009", "   1,234", 0},
      {1234567, "0000,009", "1234,567", 0},
      {12345678, "0000,009", "********", 9},
      {1234, " 0,000,000,009", "         1,234", 0},
      // Leading sign positions: fixed, never floating over suppressed digits.
      {-5, "+009", "-  5", 0},
      {5, "+009", "+  5", 0},
      {5, "-009", "   5", 0},
      {-5, "-009", "-  5", 0},
      {-123, "-009", "-123", 0},
      {1234, "-009", "1234", 0},
      {-1234, "-009", "****", 9},
      {1234, "+009", "****", 9},
      // Floating sign runs.
      {-1234, "---,--9", " -1,234", 0},
      {1234, "---,--9", "  1,234", 0},
      {-5, "---,--9", "     -5", 0},
      {-12345, "---,--9", "-12,345", 0},
      {-123456, "---,--9", "*******", 9},
      {123456, "---,--9", "123,456", 0},
      {-5, "SSS9", "  -5", 0},
      {5, "SSS9", "  +5", 0},
      {-123, "SSS9", "-123", 0},
      {1234, "SSS9", "****", 9},
      {12, "S999", "+012", 0},
      {-12, "S999", "-012", 0},
      {0, "S999", "+000", 0},
      // A sign slides over literals to stand before the digits.
      {5, "S,999", " +005", 0},
      {-7, "+ 09", " - 7", 0},
      // A mask without digit positions keeps its first position (the sign) for zero.
      {0, "S", "+", 0},
      {0, "-", " ", 0},
  };
  for (const MaskCase& c : cases) {
    const Edited e = edit64(c.value, c.mask);
    EXPECT_EQ(e.result, c.result) << c.value << " by \"" << c.mask << '"';
    EXPECT_EQ(e.text, c.expected) << c.value << " by \"" << c.mask << '"';
    if (c.value >= INT32_MIN && c.value <= INT32_MAX) {
      const Edited e32 = edit32(static_cast<int32_t>(c.value), c.mask);
      EXPECT_EQ(e32.result, c.result) << c.value << " by \"" << c.mask << "\" (32-bit)";
      EXPECT_EQ(e32.text, c.expected) << c.value << " by \"" << c.mask << "\" (32-bit)";
    }
  }
}

TEST(EditMask, LongCountMasksShowThirtyTwoBitCountersUnsigned) {
  const auto counter = [](uint32_t count) { return static_cast<int32_t>(count); };
  EXPECT_EQ(edit32(counter(3000000000u), "0,000,000,009").text, "3,000,000,000");
  EXPECT_EQ(edit32(counter(2147483648u), " 0,000,000,009").text, " 2,147,483,648");
  EXPECT_EQ(edit32(-1, "0,000,000,009").text, "4,294,967,295");
  EXPECT_EQ(edit32(0, "0,000,000,009").text, "            0");
  EXPECT_EQ(edit32(-1, "00000000009").text, " 4294967295");  // eleven characters is long
  EXPECT_EQ(edit32(-1, "0000000009").text, "         1");    // ten is not
  // Short masks, masks that start with "S" or end in a literal read the value as signed.
  EXPECT_EQ(edit32(-5, "0000,009-").text, "       5-");
  EXPECT_EQ(edit32(-5, "SSSSSSSSSS9").text, "         -5");
  EXPECT_EQ(edit32(-5, "00000000009-").text, "          5-");
  // 64-bit values never wrap, so they are always signed.
  EXPECT_EQ(edit64(-1, "0,000,000,009-").text, "            1-");
  EXPECT_EQ(edit64(3000000000, "0,000,000,009").text, "3,000,000,000");
}

TEST(EditMask, SixtyFourBitExtremes) {
  const int64_t lowest = std::numeric_limits<int64_t>::min();
  const int64_t highest = std::numeric_limits<int64_t>::max();
  EXPECT_EQ(edit64(highest, "0000000000000000009").text, "9223372036854775807");
  EXPECT_EQ(edit64(lowest, "-0000000000000000009").text, "-9223372036854775808");
  EXPECT_EQ(edit64(lowest, "0000000000000000009-").text, "9223372036854775808-");
  EXPECT_EQ(edit64(lowest, "0000000000000000009").result, 0);  // no sign position: magnitude
  EXPECT_EQ(edit64(highest, "000000000000000009").result, 9);
  EXPECT_EQ(edit32(INT32_MIN, "S0000000009").text, "-2147483648");
  EXPECT_EQ(edit32(INT32_MAX, "0000000009").text, "2147483647");
}

// Zero-suppressing and all-"9" masks of every width against std::to_string.
TEST(EditMask, PlainMasksMatchIndependentRendering) {
  const int64_t values[] = {
      0,       1,         9,  10, 99,  100,   4711,      65535,          999999,
      1000000, INT32_MAX, -1, -9, -10, -4711, INT32_MIN, 123456789012345};
  for (int width = 1; width <= 20; ++width) {
    const std::string suppress = std::string(width - 1, '0') + "9";
    const std::string all_nines(width, '9');
    const std::string minus_trail = suppress + "-";
    for (const int64_t v : values) {
      const std::string digits = std::to_string(v < 0 ? -v : v);
      const bool fits = static_cast<int>(digits.size()) <= width;
      const std::string stars(width, '*');
      const std::string padded = fits ? std::string(width - digits.size(), ' ') + digits : stars;
      const std::string zeros = fits ? std::string(width - digits.size(), '0') + digits : stars;
      const std::string trail = fits ? padded + (v < 0 ? "-" : " ") : std::string(width + 1, '*');
      EXPECT_EQ(edit64(v, suppress).text, padded) << v << " by " << suppress;
      EXPECT_EQ(edit64(v, suppress).result, fits ? 0 : 9);
      EXPECT_EQ(edit64(v, all_nines).text, zeros) << v << " by " << all_nines;
      EXPECT_EQ(edit64(v, minus_trail).text, trail) << v << " by " << minus_trail;
    }
  }
}

TEST(EditMask, PackedFields) {
  EXPECT_EQ(edit_pk({0x12, 0x3D}, "---9").text, "-123");
  EXPECT_EQ(edit_pk({0x12, 0x3C}, "0009-").text, " 123 ");
  EXPECT_EQ(edit_pk({0x12, 0x3B}, "0009-").text, " 123-");
  EXPECT_EQ(edit_pk({0x00, 0x00, 0x5F}, "00099").text, "   05");
  EXPECT_EQ(edit_pk({0x0D}, "0009-").text, "   0-");  // negative zero keeps its sign
  EXPECT_EQ(edit_pk({0x99, 0x99, 0x9C}, "0,000,000,009").text, "       99,999");
  // Thirty-one digits, beyond any native integer.
  const std::string float_run = std::string(33, '-') + "9";
  EXPECT_EQ(edit_pk({0x12, 0x34, 0x56, 0x78, 0x90, 0x12, 0x34, 0x56, 0x78, 0x90, 0x12, 0x34, 0x56,
                     0x78, 0x90, 0x1D},
                    float_run)
                .text,
            "  -1234567890123456789012345678901");
  EXPECT_EQ(edit_pk({0x12, 0x3C}, "09"), (Edited{9, "**"}));

  // Failures leave dest alone.
  EXPECT_EQ(edit_pk({0x1A, 0x3C}, "0009"), (Edited{1, "####"}));
  EXPECT_EQ(edit_pk({0xA1, 0x3C}, "0009"), (Edited{1, "####"}));
  EXPECT_EQ(edit_pk({0x12, 0x39}, "0009"), (Edited{5, "####"}));
  EXPECT_EQ(edit_pk({0x12, 0xC3}, "0009"), (Edited{1, "####"}));  // digits are checked first
  char out[4];
  const uint8_t field[1] = {0x1C};
  EXPECT_EQ(edit_packed(out, field, 0, "0009"), 1);
  EXPECT_EQ(edit_packed(out, field, -3, "0009"), 1);
}

}  // namespace
}  // namespace recsift::convert
