// PICTURE strings (X, A, 9, S, V, P with repeat counts) and the usage words.
#include "copybook/picture.h"

#include <algorithm>
#include <array>
#include <vector>

namespace recsift::copybook {
namespace {

constexpr int kMaxDigits = 31;           // the widest decimal number COBOL allows
constexpr int kMaxBinaryDigits = 18;     // the widest binary number: 8 bytes
constexpr int64_t kMaxRepeat = 1 << 24;  // more bytes than any record holds
constexpr size_t kMaxPlaces = 256;       // digit and scaling positions kept while reading

struct UsageWord {
  std::string_view word;
  Usage usage;
};
constexpr std::array<UsageWord, 11> kUsages{{
    {"DISPLAY", Usage::kDisplay},
    {"COMP", Usage::kBinary},
    {"COMPUTATIONAL", Usage::kBinary},
    {"COMP-4", Usage::kBinary},
    {"COMPUTATIONAL-4", Usage::kBinary},
    {"BINARY", Usage::kBinary},
    {"COMP-5", Usage::kNativeBinary},
    {"COMPUTATIONAL-5", Usage::kNativeBinary},
    {"COMP-3", Usage::kPacked},
    {"COMPUTATIONAL-3", Usage::kPacked},
    {"PACKED-DECIMAL", Usage::kPacked},
}};

// Usages that exist but hold no number of the forms read here.
constexpr std::array<std::string_view, 14> kRefusedUsages{
    "COMP-1",   "COMPUTATIONAL-1", "COMP-2",     "COMPUTATIONAL-2",   "COMP-6",
    "INDEX",    "POINTER",         "POINTER-32", "PROCEDURE-POINTER", "FUNCTION-POINTER",
    "NATIONAL", "DISPLAY-1",       "FLOAT-LONG", "FLOAT-SHORT"};

}  // namespace

std::string read_picture(std::string_view s, Picture* pic) {
  *pic = Picture{};
  // The digit positions (9 and P) in order, and where V stands among them.
  std::vector<char> places;
  int point = -1;
  int64_t other = 0;  // X, A and 9 as character positions
  bool any_x = false;
  for (size_t i = 0; i < s.size();) {
    const char c = s[i++];
    int64_t count = 1;
    if (i < s.size() && s[i] == '(') {
      const size_t close = s.find(')', i);
      if (close == std::string_view::npos || close == i + 1) return "a repeat count is not closed";
      count = 0;
      for (size_t k = i + 1; k < close; ++k) {
        if (s[k] < '0' || s[k] > '9') return "a repeat count must be a number";
        count = count * 10 + (s[k] - '0');
        if (count > kMaxRepeat) return "a repeat count is too large";
      }
      if (count == 0) return "a repeat count of 0";
      i = close + 1;
    }
    switch (c) {
      case 'X':
      case 'A':
        any_x = true;
        other += count;
        break;
      case '9':
      case 'P':
        if (c == '9') other += count;
        if (places.size() + count > kMaxPlaces) return "more than 31 digits";
        places.insert(places.end(), static_cast<size_t>(count), c);
        break;
      case 'S':
        if (count != 1 || i != 1) return "S must stand once, first";
        pic->is_signed = true;
        break;
      case 'V':
        if (count != 1 || point >= 0) return "V must stand once";
        point = static_cast<int>(places.size());
        break;
      default:
        return std::string("the PICTURE symbol \"") + c +
               "\" is not supported (only X, A, 9, S, V and P)";
    }
  }
  if (any_x) {
    const bool scaled = std::find(places.begin(), places.end(), 'P') != places.end();
    if (pic->is_signed || point >= 0 || scaled) {
      return "S, V and P belong to numbers, not to a PICTURE with X or A";
    }
    pic->text = true;
    pic->positions = other;
    return "";
  }
  int nines = 0;
  for (char p : places) nines += p == '9';
  if (nines == 0) return "the PICTURE has no digit positions";
  if (nines > kMaxDigits) return "more than 31 digits";
  // P stands at one end of the digits: left of them it sits after the point, right of them
  // before it; without V the point is on the side of the P.
  const size_t first9 = std::find(places.begin(), places.end(), '9') - places.begin();
  const size_t last9 = places.rend() - std::find(places.rbegin(), places.rend(), '9') - 1;
  for (size_t k = first9; k < last9; ++k) {
    if (places[k] == 'P') return "P must stand before or after all the 9s";
  }
  if (point < 0) point = first9 > 0 ? 0 : static_cast<int>(places.size());
  int scale = 0;
  for (size_t k = 0; k < places.size(); ++k) {
    const bool after = static_cast<int>(k) >= point;
    if (places[k] == '9') {
      scale += after ? 1 : 0;
    } else {
      scale += after ? 1 : -1;
    }
  }
  pic->digits = nines;
  pic->scale = scale;
  return "";
}

std::string read_usage(std::string_view word, Usage* usage, bool* known) {
  *known = true;
  for (const UsageWord& u : kUsages) {
    if (u.word == word) {
      *usage = u.usage;
      return "";
    }
  }
  for (std::string_view r : kRefusedUsages) {
    if (r == word) return "USAGE " + std::string(word) + " is not supported";
  }
  *known = false;
  return "";
}

int binary_bytes(int digits) {
  if (digits <= 4) return 2;
  if (digits <= 9) return 4;
  return digits <= kMaxBinaryDigits ? 8 : 0;
}

}  // namespace recsift::copybook
