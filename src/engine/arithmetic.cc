// ADD, SUB, MULT and DIV: A is slot 1, B slot 2, the result goes to slot 0 (INTO) or replaces B,
// and DIV's remainder goes to slot 3 (REM). ADD gives A + B, SUB B - A, MULT A * B, DIV B / A
// truncated towards zero with the remainder B - A * quotient (the sign of B).
//
// Every operand is read exactly into a 128-bit integer and every result is computed exactly, so
// packed fields of up to 31 digits, binary fields of up to 8 bytes and long numeric literals
// mix freely; the one limit is the result field: a value that does not fit it is an overflow.
// Forms by numeric type: 2 big-endian two's complement (a 1-byte field unsigned), 4 packed
// decimal (sign nibble A-F, B and D negative; results signed C or D), 3 and 7 decimal text
// (results written as zoned decimal, a negative sign overpunched on the last digit).
//
// Failures (invalid number, overflow, division by zero) count one error and raise the return
// code to 8; whatever was stored before the failure stays (a DIV whose remainder does not fit
// keeps its quotient). A numeric type the arithmetic has no form for is error 579 and ends the
// run.
//
// Quick forms: packed fields of up to 10 bytes (19 digits, below 2^64) and binary fields of up to
// 8 bytes are read and stored with 64-bit steps and digit-pair tables instead of the 128-bit
// digit loops, which cost an ADD on a record twenty times its other work. They give exactly what
// the general forms give (values, failures, stored bytes); RECSIFT_GENERAL turns them off so that
// tests can compare the two.
#include <array>
#include <cstdint>
#include <cstring>

#include "base/fatal.h"
#include "convert/convert.h"
#include "engine/data_ops_internal.h"
#include "engine/engine.h"
#include "host/host.h"
#include "program/operand.h"
#include "program/program.h"

namespace recsift::engine {
namespace {

using Number = __int128;
using Magnitude = unsigned __int128;

// Decimal digits a Number always holds (10^38 - 1 < 2^127); the operations themselves check
// for overflow.
constexpr int kMaxDigits = 38;

enum class Outcome { kOk, kFailed, kUnsupported };

Magnitude magnitude(Number v) {
  return v < 0 ? -static_cast<Magnitude>(v) : static_cast<Magnitude>(v);
}

// The decimal digits of |v|, least significant first; returns their count (0 for zero).
int digits_of(Number v, uint8_t* out) {
  Magnitude m = magnitude(v);
  int n = 0;
  while (m != 0) {
    out[n++] = static_cast<uint8_t>(m % 10);
    m /= 10;
  }
  return n;
}

// ---- Quick forms -------------------------------------------------------------------------------

constexpr int32_t kQuickPackedBytes = 10;  // 19 digits: every magnitude is below 10^19 < 2^64
constexpr int32_t kQuickBinaryBytes = 8;

// The value 0..99 of a byte of two digit nibbles, or kBadPair when a nibble is above 9.
constexpr uint8_t kBadPair = 0xFF;
constexpr std::array<uint8_t, 256> make_pair_values() {
  std::array<uint8_t, 256> t{};
  for (int b = 0; b < 256; ++b) {
    t[b] = (b >> 4) > 9 || (b & 0x0F) > 9 ? kBadPair
                                          : static_cast<uint8_t>((b >> 4) * 10 + (b & 0x0F));
  }
  return t;
}
constexpr std::array<uint8_t, 256> kPairValue = make_pair_values();

// The byte of two digit nibbles of 0..99.
constexpr std::array<uint8_t, 100> make_pair_bytes() {
  std::array<uint8_t, 100> t{};
  for (int v = 0; v < 100; ++v) t[v] = static_cast<uint8_t>(((v / 10) << 4) | (v % 10));
  return t;
}
constexpr std::array<uint8_t, 100> kPairByte = make_pair_bytes();

// 10^k for k = 0..19.
constexpr std::array<uint64_t, 20> make_powers() {
  std::array<uint64_t, 20> t{};
  uint64_t p = 1;
  for (auto& x : t) {
    x = p;
    p *= 10;
  }
  return t;
}
constexpr std::array<uint64_t, 20> kPow10 = make_powers();

// read_packed for 1 <= n <= kQuickPackedBytes.
Outcome quick_read_packed(const uint8_t* p, int32_t n, Number* out) {
  const uint8_t last = p[n - 1];
  const int sign = last & 0x0F;
  if (sign < 0x0A || (last >> 4) > 9) return Outcome::kFailed;
  uint64_t v = 0;
  for (int32_t i = 0; i < n - 1; ++i) {
    const uint8_t pair = kPairValue[p[i]];
    if (pair == kBadPair) return Outcome::kFailed;
    v = v * 100 + pair;
  }
  v = v * 10 + (last >> 4);
  *out = sign == 0x0B || sign == 0x0D ? -static_cast<Number>(v) : static_cast<Number>(v);
  return Outcome::kOk;
}

// store_packed for 1 <= n <= kQuickPackedBytes.
Outcome quick_store_packed(uint8_t* p, int32_t n, Number v) {
  const Magnitude m = magnitude(v);
  if (m >= kPow10[static_cast<size_t>(2 * n - 1)]) return Outcome::kFailed;
  auto u = static_cast<uint64_t>(m);
  p[n - 1] = static_cast<uint8_t>(((u % 10) << 4) | (v < 0 ? 0x0D : 0x0C));
  u /= 10;
  for (int32_t i = n - 2; i >= 0; --i) {
    p[i] = kPairByte[u % 100];
    u /= 100;
  }
  return Outcome::kOk;
}

// read_binary for 1 <= n <= kQuickBinaryBytes.
Outcome quick_read_binary(const uint8_t* p, int32_t n, Number* out) {
  if (n == 1) {
    *out = p[0];
    return Outcome::kOk;
  }
  uint64_t u = (p[0] & 0x80) != 0 ? ~uint64_t{0} : 0;
  for (int32_t i = 0; i < n; ++i) u = (u << 8) | p[i];
  *out = static_cast<int64_t>(u);
  return Outcome::kOk;
}

// store_binary for 1 <= n <= kQuickBinaryBytes.
Outcome quick_store_binary(uint8_t* p, int32_t n, Number v) {
  if (n == 1) {
    if (v < 0 || v > 255) return Outcome::kFailed;
  } else {
    const Number limit = Number{1} << (8 * n - 1);
    if (v < -limit || v >= limit) return Outcome::kFailed;
  }
  auto u = static_cast<uint64_t>(static_cast<int64_t>(v));
  for (int32_t i = n - 1; i >= 0; --i, u >>= 8) p[i] = static_cast<uint8_t>(u);
  return Outcome::kOk;
}

// ---- Packed sums in decimal --------------------------------------------------------------------
// ADD and SUB of packed fields of up to 16 bytes into such a field, done on the digits as they lie
// (one nibble each in a 128-bit word, the last digit lowest) without turning them into binary:
// decimal values compare as the words do, sums carry with the +6 correction of each nibble, and
// differences give back 6 from each nibble that borrowed. The results are the general path's: the
// same failures for bad digits and signs and for a sum that does not fit the target (which then
// keeps its bytes), and results signed C or D (C for zero).

using Digits = unsigned __int128;
constexpr int32_t kDecimalBytes = 16;  // 31 digits: the word keeps a top nibble for the carry

constexpr Digits every_nibble(unsigned value, int count) {
  Digits w = 0;
  for (int i = 0; i < count; ++i) w = (w << 4) | value;
  return w;
}
constexpr Digits kNibbleLows = every_nibble(1, 32);
constexpr Digits kSixes = every_nibble(6, 31);
constexpr Digits kCarryBits = every_nibble(1, 31) << 4;

// The n bytes at p (1 <= n <= 8) as a big-endian number: two 4-byte loads that overlap, or the
// bytes one by one when there are fewer than 4.
inline __attribute__((always_inline)) uint64_t load_bytes(const uint8_t* p, int32_t n) {
  if (n >= 4) {
    const auto high = static_cast<uint32_t>(convert::load_be32(p));
    const auto low = static_cast<uint32_t>(convert::load_be32(p + n - 4));
    const int shift = 8 * (n - 4);
    return shift == 0 ? high : (uint64_t{high} << shift) | (low & ((uint64_t{1} << shift) - 1));
  }
  uint64_t v = 0;
  for (int32_t i = 0; i < n; ++i) v = (v << 8) | p[i];
  return v;
}

void store_be64(uint8_t* p, uint64_t v) {
  v = __builtin_bswap64(v);
  std::memcpy(p, &v, sizeof v);
}

// Whether a word of digit nibbles holds one above 9 (bit 3 and bit 2 or bit 1 of a nibble), among
// the nibbles that `lows` marks with their lowest bit.
bool bad_nibble(uint64_t w, uint64_t lows) {
  return ((w >> 3) & ((w >> 2) | (w >> 1)) & lows) != 0;
}

// The digits of an n-byte packed field (1 <= n <= 16) and whether it is negative; false for a
// digit above 9 or a sign below A.
inline __attribute__((always_inline)) bool load_digits(const uint8_t* p, int32_t n, Digits* digits,
                                                       bool* negative) {
  const unsigned sign = p[n - 1] & 0x0Fu;
  if (sign < 0x0A) return false;
  constexpr uint64_t kLows = 0x1111111111111111u;
  uint64_t low = 0;
  uint64_t high = 0;
  if (n > 8) {
    low = load_bytes(p + n - 8, 8);
    high = load_bytes(p, n - 8);
  } else {
    low = load_bytes(p, n);
  }
  // The sign nibble is the lowest of `low`.
  if (bad_nibble(low, kLows & ~uint64_t{0xF}) || bad_nibble(high, kLows)) return false;
  *digits = ((Digits{high} << 64) | low) >> 4;
  *negative = sign == 0x0B || sign == 0x0D;
  return true;
}

// a + b for digit words of at most 31 digits each.
Digits add_digits(Digits a, Digits b) {
  const Digits t1 = a + kSixes;
  const Digits t2 = t1 + b;
  const Digits no_carry = ~(t2 ^ t1 ^ b) & kCarryBits;  // nibbles that did not carry
  return t2 - ((no_carry >> 2) | (no_carry >> 3));
}

// a - b for digit words with a >= b: a nibble that borrowed from the next one holds 16 more than
// its digit would and gives back 6.
Digits subtract_digits(Digits a, Digits b) {
  const Digits t = a - b;
  const Digits borrowed = (a ^ b ^ t) & kCarryBits;  // borrows into the nibbles above
  return t - ((borrowed >> 2) | (borrowed >> 3));
}

// ADD (a + b) or SUB (b - a) of packed operands into the packed `result`.
Outcome packed_sum(const Operand& a, const Operand& b, const Operand& result, bool subtract) {
  Digits da = 0;
  Digits db = 0;
  bool na = false;
  bool nb = false;
  if (!load_digits(a.address, a.length, &da, &na) || !load_digits(b.address, b.length, &db, &nb)) {
    return Outcome::kFailed;
  }
  if (subtract) na = !na;
  // Signs alike: the sum of the magnitudes; else the larger less the smaller, with its sign.
  Digits sum = 0;
  bool negative = na;
  if (na == nb) {
    sum = add_digits(da, db);
  } else if (da >= db) {
    sum = subtract_digits(da, db);
  } else {
    sum = subtract_digits(db, da);
    negative = nb;
  }
  const int32_t n = result.length;
  if ((sum >> (4 * (2 * n - 1))) != 0) return Outcome::kFailed;
  Digits w = (sum << 4) | (negative && sum != 0 ? 0x0Du : 0x0Cu);
  uint8_t* out = result.address;
  int32_t head = n;
  if (n >= 8) {
    head = n - 8;
    store_be64(out + head, static_cast<uint64_t>(w));
    w >>= 64;
  }
  auto rest = static_cast<uint64_t>(w);
  for (int32_t i = head - 1; i >= 0; --i, rest >>= 8) out[i] = static_cast<uint8_t>(rest);
  return Outcome::kOk;
}

bool is_short_packed(const Operand& op, bool target) {
  const bool kind_ok = op.kind == OperandKind::kField || op.kind == OperandKind::kAreaField ||
                       (!target && op.kind == OperandKind::kLiteral);
  return kind_ok && op.type == kTypePacked && op.length >= 1 && op.length <= kDecimalBytes;
}

// ---- Reading -----------------------------------------------------------------------------------

Outcome read_packed(const uint8_t* p, int32_t n, Number* out) {
  if (n < 1) return Outcome::kFailed;
  const int sign = p[n - 1] & 0x0F;
  if (sign < 0x0A) return Outcome::kFailed;
  Number v = 0;
  int significant = 0;
  auto take = [&](int digit) {
    if (digit > 9) return false;
    if (v != 0 || digit != 0) ++significant;
    v = v * 10 + digit;
    return significant <= kMaxDigits;
  };
  for (int32_t i = 0; i < n; ++i) {
    if (!take(p[i] >> 4)) return Outcome::kFailed;
    if (i < n - 1 && !take(p[i] & 0x0F)) return Outcome::kFailed;
  }
  *out = sign == 0x0B || sign == 0x0D ? -v : v;
  return Outcome::kOk;
}

Outcome read_binary(const uint8_t* p, int32_t n, Number* out) {
  if (n < 1) return Outcome::kFailed;
  if (n == 1) {
    *out = p[0];
    return Outcome::kOk;
  }
  const bool negative = (p[0] & 0x80) != 0;
  // Bytes beyond 16 must be pure sign fill, agreeing with the sign bit of what follows.
  const int32_t extra = n > 16 ? n - 16 : 0;
  for (int32_t i = 0; i < extra; ++i) {
    if (p[i] != (negative ? 0xFF : 0x00)) return Outcome::kFailed;
  }
  if (extra > 0 && ((p[extra] & 0x80) != 0) != negative) return Outcome::kFailed;
  Magnitude u = 0;
  for (int32_t i = extra; i < n; ++i) u = (u << 8) | p[i];
  const int bits = 8 * (n - extra);
  if (negative && bits < 128) u |= ~Magnitude{0} << bits;
  *out = static_cast<Number>(u);
  return Outcome::kOk;
}

Outcome read_text(const uint8_t* p, int32_t n, Number* out) {
  char text[convert::kNormalisedMax];
  if (convert::normalise_decimal(text, reinterpret_cast<const char*>(p), n) != 0) {
    return Outcome::kFailed;
  }
  Number v = 0;
  int count = 0;
  for (const char* c = text + 1; *c != 0; ++c) {
    if (++count > kMaxDigits) return Outcome::kFailed;
    v = v * 10 + (*c - '0');
  }
  *out = text[0] == '-' ? -v : v;
  return Outcome::kOk;
}

Outcome read_number(const Operand& op, Number* out, bool quick) {
  switch (op.kind) {
    case OperandKind::kField:
    case OperandKind::kLiteral:
    case OperandKind::kAreaField:
      break;
    default:
      // Numbers held in the descriptor: resolution gave their 4 bytes.
      return quick && op.length >= 1 && op.length <= kQuickBinaryBytes
                 ? quick_read_binary(op.address, op.length, out)
                 : read_binary(op.address, op.length, out);
  }
  const bool short_field = quick && op.length >= 1;
  switch (op.type) {
    case kTypeBinary:
      return short_field && op.length <= kQuickBinaryBytes
                 ? quick_read_binary(op.address, op.length, out)
                 : read_binary(op.address, op.length, out);
    case kTypePacked:
      return short_field && op.length <= kQuickPackedBytes
                 ? quick_read_packed(op.address, op.length, out)
                 : read_packed(op.address, op.length, out);
    case kTypeCharacter:
    case kTypeNumericText:
      return read_text(op.address, op.length, out);
    default:
      return Outcome::kUnsupported;
  }
}

// ---- Storing -----------------------------------------------------------------------------------
// Each writer checks the fit before it writes: a value that does not fit changes nothing.

Outcome store_packed(uint8_t* p, int32_t n, Number v) {
  uint8_t d[40];
  const int count = digits_of(v, d);
  if (n < 1 || count > 2 * n - 1) return Outcome::kFailed;
  auto digit = [&](int k) { return k < count ? d[k] : uint8_t{0}; };
  p[n - 1] = static_cast<uint8_t>((digit(0) << 4) | (v < 0 ? 0x0D : 0x0C));
  for (int32_t i = n - 2, k = 1; i >= 0; --i, k += 2) {
    p[i] = static_cast<uint8_t>((digit(k + 1) << 4) | digit(k));
  }
  return Outcome::kOk;
}

Outcome store_binary(uint8_t* p, int32_t n, Number v) {
  if (n < 1) return Outcome::kFailed;
  if (n == 1) {
    if (v < 0 || v > 255) return Outcome::kFailed;
  } else if (n < 16) {
    const Number limit = Number{1} << (8 * n - 1);
    if (v < -limit || v >= limit) return Outcome::kFailed;
  }
  const auto u = static_cast<Magnitude>(v);
  const uint8_t fill = v < 0 ? 0xFF : 0x00;
  for (int32_t i = n - 1, shift = 0; i >= 0; --i, shift += 8) {
    p[i] = shift < 128 ? static_cast<uint8_t>(u >> shift) : fill;
  }
  return Outcome::kOk;
}

Outcome store_zoned(uint8_t* p, int32_t n, Number v) {
  uint8_t d[40];
  const int count = digits_of(v, d);
  if (n < 1 || count > n) return Outcome::kFailed;
  for (int32_t i = n - 1, k = 0; i >= 0; --i, ++k) {
    p[i] = static_cast<uint8_t>('0' + (k < count ? d[k] : 0));
  }
  if (v < 0) p[n - 1] = p[n - 1] == '0' ? '}' : static_cast<uint8_t>('J' + (p[n - 1] - '1'));
  return Outcome::kOk;
}

Outcome store_number(const Operand& op, Number v, bool quick) {
  if (op.kind != OperandKind::kField && op.kind != OperandKind::kAreaField) {
    return Outcome::kUnsupported;
  }
  const bool short_field = quick && op.length >= 1;
  switch (op.type) {
    case kTypeBinary:
      return short_field && op.length <= kQuickBinaryBytes
                 ? quick_store_binary(op.address, op.length, v)
                 : store_binary(op.address, op.length, v);
    case kTypePacked:
      return short_field && op.length <= kQuickPackedBytes
                 ? quick_store_packed(op.address, op.length, v)
                 : store_packed(op.address, op.length, v);
    case kTypeCharacter:
    case kTypeNumericText:
      return store_zoned(op.address, op.length, v);
    default:
      return Outcome::kUnsupported;
  }
}

// ---- The verbs ---------------------------------------------------------------------------------

// Turns an outcome into the statement's verb result; true to go on.
bool settle(Run& run, Statement& st, Outcome outcome, int* verb) {
  switch (outcome) {
    case Outcome::kOk:
      return true;
    case Outcome::kFailed:
      count_data_failure(run, st);
      *verb = kVerbNext;
      return false;
    case Outcome::kUnsupported:
      record_run_error(run, kRunErrArithmetic);
      *verb = kVerbAbend;
      return false;
  }
  return false;
}

}  // namespace

bool operand_number(const Operand& operand, int64_t* value) {
  Number v = 0;
  if (read_number(operand, &v, false) != Outcome::kOk || v < INT64_MIN || v > INT64_MAX)
    return false;
  *value = static_cast<int64_t>(v);
  return true;
}

namespace {

int arithmetic(Run& run, Statement& st, bool quick) {
  Operand* a = st.operands[1];
  Operand* b = st.operands[2];
  if (a == nullptr || b == nullptr) base::logic_error(base::kLogicNoExecutor, st.selid);
  Operand* result = st.operands[0] != nullptr ? st.operands[0] : b;
  Operand* remainder = st.op == Op::kDiv ? st.operands[3] : nullptr;
  if (resolve_operand(run, a) == nullptr || resolve_operand(run, b) == nullptr) return kVerbNext;
  if (result != b && resolve_operand(run, result) == nullptr) return kVerbNext;
  if (remainder != nullptr && resolve_operand(run, remainder) == nullptr) return kVerbNext;

  int verb = kVerbNext;
  if (quick && (st.op == Op::kAdd || st.op == Op::kSub) && is_short_packed(*a, false) &&
      is_short_packed(*b, false) && is_short_packed(*result, true)) {
    settle(run, st, packed_sum(*a, *b, *result, st.op == Op::kSub), &verb);
    return verb;
  }
  Number va = 0;
  Number vb = 0;
  if (!settle(run, st, read_number(*a, &va, quick), &verb) ||
      !settle(run, st, read_number(*b, &vb, quick), &verb)) {
    return verb;
  }
  Number value = 0;
  Number rest = 0;
  bool overflow = false;
  switch (st.op) {
    case Op::kAdd:
      overflow = __builtin_add_overflow(va, vb, &value);
      break;
    case Op::kSub:
      overflow = __builtin_sub_overflow(vb, va, &value);
      break;
    case Op::kMult:
      overflow = __builtin_mul_overflow(va, vb, &value);
      break;
    case Op::kDiv:
      overflow = va == 0;
      if (!overflow) {
        value = vb / va;
        rest = vb % va;
      }
      break;
    default:
      base::logic_error(base::kLogicNoExecutor, st.selid);
  }
  if (!settle(run, st, overflow ? Outcome::kFailed : Outcome::kOk, &verb) ||
      !settle(run, st, store_number(*result, value, quick), &verb)) {
    return verb;
  }
  if (remainder != nullptr) settle(run, st, store_number(*remainder, rest, quick), &verb);
  return verb;
}

}  // namespace

int execute_arithmetic(Run& run, Statement& st) {
  return arithmetic(run, st, !host::general_path_only());
}

int execute_packed_sum(Run& run, Statement& st) {
  int verb = kVerbNext;
  settle(run, st, packed_sum(*st.operands[1], *st.operands[2], *st.operands[2], st.op == Op::kSub),
         &verb);
  return verb;
}

bool add_packed_quietly(const Operand& source, const Operand& target, bool subtract) {
  return packed_sum(source, target, target, subtract) == Outcome::kOk;
}

int execute_arithmetic_general(Run& run, Statement& st) {
  return arithmetic(run, st, false);
}

}  // namespace recsift::engine
