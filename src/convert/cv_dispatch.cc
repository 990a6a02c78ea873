// The CV dispatcher: one entry per conversion code (source form * 16 + target form), each a short
// function over the resolved operands. The CV statement and the PACK family reach every numeric
// conversion through convert().
//
// Invariants: a conversion writes only inside [dest, dest + dest_len) and reads only inside
// [src, src + src_len); when the two fields overlap, the source is read from a private copy so a
// conversion never consumes bytes it has already written. On return dest_len is the length of
// the target actually used (the mask's length for an edited target, the cut length for the hex
// conversions).
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/convert.h"

namespace recsift::convert {
namespace {

constexpr int kFailed = 1;            // unknown code or failed conversion
constexpr int kUnresolved = -1;       // an operand has no address
constexpr int kMaxEditedBinary = 32;  // longest edited target of a binary source

constexpr int code_of(NumberForm from, NumberForm to) {
  return from * 16 + to;
}

// The last character of an unmasked edited target carries a negative sign as an overpunch:
// "}" for a last digit 0, "J".."R" for 1..9.
void overpunch_negative(uint8_t* last) {
  *last = *last == '0' ? '}' : static_cast<uint8_t>('J' + (*last - '1'));
}

// Length of the edited text, or 0 when the target cannot hold it. With a mask the target takes
// the mask's length; without one the whole target is used.
int edited_length(const ConvertRequest& r) {
  if (r.mask == nullptr) return r.dest_len;
  const size_t mask_len = std::strlen(r.mask);
  return mask_len <= static_cast<size_t>(r.dest_len) ? static_cast<int>(mask_len) : 0;
}

int binary_to_binary(ConvertRequest& r) {
  const int n = r.src_len;
  const int m = r.dest_len;
  // A 1-byte field is unsigned, so only a longer source can be negative.
  const bool negative = n > 1 && (r.src[0] & 0x80) != 0;
  if (m >= n) {
    std::memmove(r.dest + (m - n), r.src, static_cast<size_t>(n));
    std::memset(r.dest, negative ? 0xFF : 0x00, static_cast<size_t>(m - n));
    return 0;
  }
  // Narrowing drops leading bytes: they must be pure sign fill and the kept part must show the
  // same sign. A 1-byte target is unsigned, so it takes only a non-negative 0..255.
  const int dropped = n - m;
  const uint8_t fill = negative ? 0xFF : 0x00;
  for (int i = 0; i < dropped; ++i) {
    if (r.src[i] != fill) return kFailed;
  }
  if (m == 1) {
    if (negative) return kFailed;
  } else if (((r.src[dropped] & 0x80) != 0) != negative) {
    return kFailed;
  }
  std::memmove(r.dest, r.src + dropped, static_cast<size_t>(m));
  return 0;
}

int binary_to_packed(ConvertRequest& r) {
  int64_t value = 0;
  if (binary_to_int64(&value, r.src, r.src_len) != 0) return kFailed;
  return int_to_packed64(r.dest, r.dest_len, value) == 0 ? 0 : kFailed;
}

// Binary to character: edited by the mask, or without one as zoned decimal (all digits shown,
// a negative sign overpunched in the last). The value is edited as the signed number it is:
// the unsigned reading the listing gives its long count masks has no place in a record field.
int binary_to_edited(ConvertRequest& r) {
  const int length = edited_length(r);
  if (length < 1 || length > kMaxEditedBinary) return kFailed;
  int64_t value = 0;
  if (binary_to_int64(&value, r.src, r.src_len) != 0) return kFailed;
  char* out = reinterpret_cast<char*>(r.dest);
  if (r.mask != nullptr) {
    if (edit_number64(out, value, std::string_view(r.mask, length)) != 0) return kFailed;
  } else {
    if (edit_number64(out, value, std::string(length, '9')) != 0) return kFailed;
    if (value < 0) overpunch_negative(r.dest + length - 1);
  }
  r.dest_len = length;
  return 0;
}

int text_to_binary(ConvertRequest& r) {
  const char* text = reinterpret_cast<const char*>(r.src);
  if (r.dest_len < 5) {
    int32_t value = 0;
    if (text_to_int(&value, text, r.src_len) != 0) return kFailed;
    return int_to_binary(r.dest, r.dest_len, value) == 0 ? 0 : kFailed;
  }
  int64_t value = 0;
  if (text_to_int64(&value, text, r.src_len) != 0) return kFailed;
  return int_to_binary64(r.dest, r.dest_len, value) == 0 ? 0 : kFailed;
}

// Decimal text to packed goes digit by digit, so numbers beyond 64 bits (up to the 47 digits
// the text form keeps) convert into a wide enough field.
int text_to_packed(ConvertRequest& r) {
  char text[kNormalisedMax];
  if (normalise_decimal(text, reinterpret_cast<const char*>(r.src), r.src_len) != 0) {
    return kFailed;
  }
  const int m = r.dest_len;
  int next = static_cast<int>(std::strlen(text)) - 1;  // next digit from the right; 0 is the sign
  auto take = [&]() -> uint8_t { return next >= 1 ? static_cast<uint8_t>(text[next--] - '0') : 0; };
  const uint8_t sign = text[0] == '-' ? 0x0D : 0x0C;
  r.dest[m - 1] = static_cast<uint8_t>(take() << 4 | sign);
  for (int i = m - 2; i >= 0; --i) {
    const uint8_t low = take();
    r.dest[i] = static_cast<uint8_t>(take() << 4 | low);
  }
  return next >= 1 ? kFailed : 0;
}

int text_to_hex(ConvertRequest& r) {
  if (r.target_follows_source && int64_t{r.dest_len} > 2 * int64_t{r.src_len}) {
    r.dest_len = 2 * r.src_len;
  }
  return bytes_to_hex(reinterpret_cast<char*>(r.dest), r.dest_len, r.src, r.src_len) == 0 ? 0
                                                                                          : kFailed;
}

int packed_to_binary(ConvertRequest& r) {
  if (r.dest_len < 5) {
    int32_t value = 0;
    if (packed_to_int(&value, r.src, r.src_len) != 0) return kFailed;
    return int_to_binary(r.dest, r.dest_len, value) == 0 ? 0 : kFailed;
  }
  int64_t value = 0;
  if (packed_to_int64(&value, r.src, r.src_len) != 0) return kFailed;
  return int_to_binary64(r.dest, r.dest_len, value) == 0 ? 0 : kFailed;
}

// Packed to character: edited by the mask, or without one as zoned decimal (as binary_to_edited).
int packed_to_edited(ConvertRequest& r) {
  const int length = edited_length(r);
  if (length < 1) return kFailed;
  char* out = reinterpret_cast<char*>(r.dest);
  if (r.mask != nullptr) {
    if (edit_packed(out, r.src, r.src_len, std::string_view(r.mask, length)) != 0) return kFailed;
  } else {
    if (edit_packed(out, r.src, r.src_len, std::string(length, '9')) != 0) return kFailed;
    const int sign = r.src[r.src_len - 1] & 0x0F;
    if (sign == 0x0B || sign == 0x0D) overpunch_negative(r.dest + length - 1);
  }
  r.dest_len = length;
  return 0;
}

int hex_to_text(ConvertRequest& r) {
  if (r.target_follows_source && r.dest_len > r.src_len / 2) r.dest_len = r.src_len / 2;
  return hex_to_bytes(r.dest, r.dest_len, reinterpret_cast<const char*>(r.src), r.src_len) == 0
             ? 0
             : kFailed;
}

// One row per conversion code the CV statement can reach.
struct Conversion {
  int code;                       // source form * 16 + target form
  int (*run)(ConvertRequest& r);  // 0 done, else failed; operands have positive lengths
};

constexpr std::array<Conversion, 11> kConversions = {{
    {code_of(kFormBinary, kFormBinary), binary_to_binary},
    {code_of(kFormBinary, kFormCharacter), binary_to_edited},  // UNPKB: as binary to edited
    {code_of(kFormBinary, kFormPacked), binary_to_packed},
    {code_of(kFormBinary, kFormEdited), binary_to_edited},
    {code_of(kFormCharacter, kFormBinary), text_to_binary},
    {code_of(kFormCharacter, kFormPacked), text_to_packed},
    {code_of(kFormCharacter, kFormHex), text_to_hex},
    {code_of(kFormPacked, kFormBinary), packed_to_binary},
    {code_of(kFormPacked, kFormCharacter), packed_to_edited},
    {code_of(kFormPacked, kFormEdited), packed_to_edited},
    {code_of(kFormHex, kFormCharacter), hex_to_text},
}};

bool fields_overlap(const uint8_t* a, int a_len, const uint8_t* b, int b_len) {
  const std::less<const uint8_t*> before;
  return before(a, b + b_len) && before(b, a + a_len);
}

}  // namespace

int convert(ConvertRequest& request) {
  if (request.dest == nullptr || request.src == nullptr) return kUnresolved;
  const Conversion* conversion = nullptr;
  for (const Conversion& c : kConversions) {
    if (c.code == request.code) conversion = &c;
  }
  if (conversion == nullptr || request.dest_len < 1 || request.src_len < 1) return kFailed;

  if (!fields_overlap(request.dest, request.dest_len, request.src, request.src_len)) {
    return conversion->run(request) == 0 ? 0 : kFailed;
  }
  const std::vector<uint8_t> copy(request.src, request.src + request.src_len);
  ConvertRequest from_copy = request;
  from_copy.src = copy.data();
  const int result = conversion->run(from_copy);
  request.dest_len = from_copy.dest_len;
  return result == 0 ? 0 : kFailed;
}

}  // namespace recsift::convert
