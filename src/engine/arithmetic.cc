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
#include <cstdint>

#include "base/fatal.h"
#include "convert/convert.h"
#include "engine/data_ops_internal.h"
#include "engine/engine.h"
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

Outcome read_number(const Operand& op, Number* out) {
  switch (op.kind) {
    case OperandKind::kField:
    case OperandKind::kLiteral:
    case OperandKind::kAreaField:
      break;
    default:
      // Numbers held in the descriptor: resolution gave their 4 bytes.
      return read_binary(op.address, op.length, out);
  }
  switch (op.type) {
    case kTypeBinary:
      return read_binary(op.address, op.length, out);
    case kTypePacked:
      return read_packed(op.address, op.length, out);
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

Outcome store_number(const Operand& op, Number v) {
  if (op.kind != OperandKind::kField && op.kind != OperandKind::kAreaField) {
    return Outcome::kUnsupported;
  }
  switch (op.type) {
    case kTypeBinary:
      return store_binary(op.address, op.length, v);
    case kTypePacked:
      return store_packed(op.address, op.length, v);
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
  if (read_number(operand, &v) != Outcome::kOk || v < INT64_MIN || v > INT64_MAX) return false;
  *value = static_cast<int64_t>(v);
  return true;
}

int execute_arithmetic(Run& run, Statement& st) {
  Operand* a = st.operands[1];
  Operand* b = st.operands[2];
  if (a == nullptr || b == nullptr) base::logic_error(base::kLogicNoExecutor, st.selid);
  Operand* result = st.operands[0] != nullptr ? st.operands[0] : b;
  Operand* remainder = st.op == Op::kDiv ? st.operands[3] : nullptr;
  if (resolve_operand(run, a) == nullptr || resolve_operand(run, b) == nullptr) return kVerbNext;
  if (result != b && resolve_operand(run, result) == nullptr) return kVerbNext;
  if (remainder != nullptr && resolve_operand(run, remainder) == nullptr) return kVerbNext;

  int verb = kVerbNext;
  Number va = 0;
  Number vb = 0;
  if (!settle(run, st, read_number(*a, &va), &verb) ||
      !settle(run, st, read_number(*b, &vb), &verb)) {
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
      !settle(run, st, store_number(*result, value), &verb)) {
    return verb;
  }
  if (remainder != nullptr) settle(run, st, store_number(*remainder, rest), &verb);
  return verb;
}

}  // namespace recsift::engine
