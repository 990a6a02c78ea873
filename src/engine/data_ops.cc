// The data statements that move and translate bytes or set run values: the assignments to
// pointer variables, the record length and the return code; MOVE and its bitwise forms (MOD);
// TRAN with its built-in tables; the conversion verbs; GEN; CVDATE. Also the dispatch of every
// data statement (execute_data_operation) and the helpers of data_ops_internal.h.
//
// Operand slots are the data statement compiler's (see compiler/data_statement.cc): 0 target,
// 1 source or value, 2 table, mask or GEN seed, 3 GEN range or character set.
//
// Invariants:
//  - A statement whose operand cannot be resolved does nothing more (resolution has counted it).
//  - Every other failure counts once (count_data_failure) and changes nothing that was not
//    already stored when it was detected.
//  - Bytes are written only inside the resolved target.
#include <array>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "base/fatal.h"
#include "convert/convert.h"
#include "convert/special_area.h"
#include "engine/data_ops_internal.h"
#include "engine/engine.h"
#include "engine/run_internal.h"
#include "files/files.h"
#include "host/host.h"
#include "program/operand.h"
#include "program/program.h"

namespace recsift::engine {
namespace {

// Logic error: an operation without a data-statement executor reached this one.

// MOVE and MOD forms (the operation modifier); any other value copies.
constexpr uint8_t kModAnd = 27;
constexpr uint8_t kModOr = 28;
constexpr uint8_t kModXor = 29;

// ---- Translate tables --------------------------------------------------------------------------

using Table = std::array<uint8_t, 256>;

// EBCDIC to ASCII, indexed by the EBCDIC byte: a permutation of the 256 byte values.
constexpr Table kEbcdicToAscii = {
    0x00, 0x01, 0x02, 0x03, 0xCF, 0x09, 0xD3, 0x7F, 0xD4, 0xD5, 0xC3, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    0x10, 0x11, 0x12, 0x13, 0xC7, 0xB4, 0x08, 0xC9, 0x18, 0x19, 0xCC, 0xCD, 0x83, 0x1D, 0xD2, 0x1F,
    0x81, 0x82, 0x1C, 0x84, 0x86, 0x0A, 0x17, 0x1B, 0x89, 0x91, 0x92, 0x95, 0xA2, 0x05, 0x06, 0x07,
    0xE0, 0xEE, 0x16, 0xE5, 0xD0, 0x1E, 0xEA, 0x04, 0x8A, 0xF6, 0xC6, 0xC2, 0x14, 0x15, 0xC1, 0x1A,
    0x20, 0xA6, 0xE1, 0xFE, 0xEB, 0x90, 0x9F, 0xE2, 0xAB, 0x8B, 0x9B, 0x2E, 0x3C, 0x28, 0x2B, 0x7C,
    0x26, 0xA9, 0xAA, 0x9C, 0xDB, 0xA5, 0x99, 0xE3, 0xA8, 0x9E, 0x21, 0x24, 0x2A, 0x29, 0x3B, 0x5E,
    0x2D, 0x2F, 0xDF, 0xDC, 0x9A, 0xDD, 0xDE, 0x98, 0x9D, 0xAC, 0xBA, 0x2C, 0x25, 0x5F, 0x3E, 0x3F,
    0xD7, 0x88, 0x94, 0xB0, 0xB1, 0xB2, 0xFC, 0xD6, 0xFB, 0x60, 0x3A, 0x23, 0x40, 0x27, 0x3D, 0x22,
    0xF8, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x96, 0xA4, 0xF3, 0xAF, 0xAE, 0xC5,
    0x8C, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F, 0x70, 0x71, 0x72, 0x97, 0x87, 0xCE, 0x93, 0xF1, 0x80,
    0xC8, 0x7E, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0xEF, 0xC0, 0xDA, 0x5B, 0xF2, 0xF9,
    0xB5, 0xB6, 0xFD, 0xB7, 0xB8, 0xB9, 0xE6, 0xBB, 0xBC, 0xBD, 0x8D, 0xD9, 0xBF, 0x5D, 0xD8, 0xC4,
    0x7B, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0xCB, 0xCA, 0xBE, 0xE8, 0xEC, 0xED,
    0x7D, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F, 0x50, 0x51, 0x52, 0xA1, 0xAD, 0xF5, 0xF4, 0xA3, 0x8F,
    0x5C, 0xE7, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0xA0, 0x85, 0x8E, 0xE9, 0xE4, 0xD1,
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0xB3, 0xF7, 0xF0, 0xFA, 0xA7, 0xFF,
};

constexpr bool is_permutation(const Table& t) {
  std::array<bool, 256> seen{};
  for (uint8_t b : t) {
    if (seen[b]) return false;
    seen[b] = true;
  }
  return true;
}
static_assert(is_permutation(kEbcdicToAscii), "the EBCDIC table must be invertible");

constexpr Table inverse(const Table& t) {
  Table out{};
  for (int i = 0; i < 256; ++i) out[t[i]] = static_cast<uint8_t>(i);
  return out;
}

// A table that maps [first, last] by adding `shift` and keeps every other byte.
constexpr Table shifted(int first, int last, int shift) {
  Table out{};
  for (int i = 0; i < 256; ++i) {
    out[i] = static_cast<uint8_t>(i >= first && i <= last ? i + shift : i);
  }
  return out;
}

constexpr Table printable() {
  Table out{};
  for (int i = 0; i < 256; ++i) {
    out[i] = static_cast<uint8_t>((i >= 0x20 && i <= 0x7E) || i == 0x80 ? i : '.');
  }
  return out;
}

constexpr Table kAsciiToEbcdic = inverse(kEbcdicToAscii);
constexpr Table kUpper = shifted('a', 'z', 'A' - 'a');
constexpr Table kLower = shifted('A', 'Z', 'a' - 'A');
constexpr Table kPrint = printable();
static_assert(kAsciiToEbcdic['A'] == 0xC1 && kAsciiToEbcdic[' '] == 0x40);

}  // namespace

const uint8_t* builtin_table(int32_t which) {
  switch (which) {
    case kTableUpper:
      return kUpper.data();
    case kTableLower:
      return kLower.data();
    case kTablePrint:
      return kPrint.data();
    case kTableAscii:
      return kEbcdicToAscii.data();
    case kTableEbcdic:
      return kAsciiToEbcdic.data();
    default:
      return nullptr;
  }
}

namespace {

bool needs_second(const Operand* op) {
  switch (op->len_kind) {
    case LengthKind::kSameAsSecond:
    case LengthKind::kTwiceSecond:
    case LengthKind::kHalfSecond:
      return true;
    default:
      return false;
  }
}

// ---- Assignments (28-31) -----------------------------------------------------------------------

bool fits32(int64_t v) {
  return v >= INT32_MIN && v <= INT32_MAX;
}

// The value of an assignment: a number, or the position of a character operand. False when it
// is not a number that fits 32 bits (or, for a position, when the operand has none).
bool assigned_value(const Statement& st, const Operand& v, int32_t* out) {
  int64_t value = 0;
  switch (v.kind) {
    case OperandKind::kField: {
      const int source_form = (st.argument >> 4) & 15;
      if (st.argument == 0) {
        *out = v.position;
        return true;
      }
      int rc = 1;
      if (source_form == convert::kFormBinary) {
        rc = convert::binary_to_int64(&value, v.address, v.length);
      } else if (source_form == convert::kFormCharacter) {
        rc = convert::text_to_int64(&value, reinterpret_cast<const char*>(v.address), v.length);
      } else if (source_form == convert::kFormPacked) {
        rc = convert::packed_to_int64(&value, v.address, v.length);
      }
      if (rc != 0 || !fits32(value)) return false;
      *out = static_cast<int32_t>(value);
      return true;
    }
    case OperandKind::kLiteral:
      // A long numeric literal, as decimal text.
      if (convert::text_to_int64(&value, reinterpret_cast<const char*>(v.address), v.length) != 0 ||
          !fits32(value)) {
        return false;
      }
      *out = static_cast<int32_t>(value);
      return true;
    default:
      // Numbers held in the descriptor, computed numbers and area fields: 4 bytes big-endian.
      if (v.length != 4) return false;
      *out = convert::load_be32(v.address);
      return true;
  }
}

// A pointer term of a computed value that lies in one of the run's other areas, or null.
const Term* outside_pointer_term(const Run& run, const Operand& v) {
  if (v.kind != OperandKind::kComputed) return nullptr;
  for (const Term* t = &v.pos; t != nullptr; t = t->next) {
    if (t->kind != TermKind::kNumberPointer || (t->flags & kTermNegative) != 0) continue;
    const PointerVariable pv = pointer_variable(run, t->pointer);
    if ((pv.flags & kPointerOutside) != 0) return t;
  }
  return nullptr;
}

// Points pointer `number` at the 1-based position `value` from the record base. A position
// outside the addressable area stays a position (resolution clips it), unless it came from a
// pointer into another area and still lies in that area.
void assign_position(Run& run, int number, int32_t value, const Operand& v) {
  if (value == 0) {
    set_pointer(run, number, nullptr);
    return;
  }
  if (run.record_base != nullptr && value >= 1 && value <= run.addressable_length) {
    set_pointer(run, number, run.record_base + (value - 1));
    return;
  }
  if (const Term* t = outside_pointer_term(run, v); t != nullptr) {
    const PointerVariable pv = pointer_variable(run, t->pointer);
    const int64_t offset = int64_t{pv.area_offset} + value - pv.value;
    if (pv.area != nullptr && offset >= 0 && offset < pv.area_size) {
      set_pointer(run, number, pv.area + offset);
      return;
    }
  }
  if (static_cast<size_t>(number) >= run.pointers.size()) {
    run.pointers.resize(static_cast<size_t>(number) + 1);
  }
  PointerVariable pv;
  pv.value = value;
  pv.flags = kPointerSetFlags | kPointerOutside;
  run.pointers[static_cast<size_t>(number)] = pv;
  if (number == kAtPointer && run.special != nullptr) {
    const uintptr_t address =
        reinterpret_cast<uintptr_t>(run.record_base) + static_cast<uintptr_t>(int64_t{value} - 1);
    convert::store_be32(
        run.special + convert::kSpAtPointer,
        static_cast<int32_t>(host::address_word(reinterpret_cast<const void*>(address))));
  }
}

int execute_assignment(Run& run, Statement& st) {
  Operand* target = st.operands[0];
  Operand* v = st.operands[1];
  const bool pointer = st.op == Op::kPointerSet || st.op == Op::kPointerOp;
  if (v == nullptr || target == nullptr) base::logic_error(base::kLogicNoExecutor, st.selid);
  const int number = pointer ? target->pos.pointer : -1;
  if (resolve_operand(run, v) == nullptr) {
    if (pointer) set_pointer(run, number, nullptr);
    return kVerbNext;
  }
  int32_t value = 0;
  if (!assigned_value(st, *v, &value)) {
    count_data_failure(run, st);
    if (st.op == Op::kLrecl) ++run.lrecl_changes_ignored;
    return kVerbNext;
  }
  switch (st.op) {
    case Op::kRc:
      // Sets the return code outright: the one way to lower it.
      if (run.special != nullptr) convert::store_be32(run.special + convert::kSpReturnCode, value);
      run.rc_selid = value > 0 ? st.selid : kNoSelid;
      break;
    case Op::kLrecl:
      if (value < 0 || value > run.addressable_length) {
        count_data_failure(run, st);
        ++run.lrecl_changes_ignored;
      } else {
        set_record_length(run, value);
      }
      break;
    default:
      if (v->kind == OperandKind::kField && st.argument == 0) {
        set_pointer(run, number, v->address);  // the position, in whichever area it lies
      } else {
        assign_position(run, number, value, *v);
      }
      break;
  }
  return kVerbNext;
}

// ---- MOVE, MOD (38, 39) ------------------------------------------------------------------------

void combine(uint8_t* target, uint8_t byte, uint8_t form) {
  switch (form) {
    case kModAnd:
      *target &= byte;
      break;
    case kModOr:
      *target |= byte;
      break;
    case kModXor:
      *target ^= byte;
      break;
    default:
      *target = byte;
      break;
  }
}

int execute_move(Run& run, Statement& st) {
  Operand* target = st.operands[0];
  Operand* source = st.operands[1];
  if (target == nullptr || source == nullptr) base::logic_error(base::kLogicNoExecutor, st.selid);
  if (!resolve_target_and_source(run, target, source)) return kVerbNext;
  const int32_t n = source->length < target->length ? source->length : target->length;
  // Byte by byte from the left, reading each source byte when it is reached: a target that
  // overlaps its source and starts after it repeats the source's leading bytes.
  uint8_t* t = target->address;
  const uint8_t* s = source->address;
  for (int32_t i = 0; i < n; ++i) combine(t + i, s[i], st.modifier);
  for (int32_t i = n; i < target->length; ++i) combine(t + i, st.pad, st.modifier);
  return kVerbNext;
}

// ---- TRAN (42) ---------------------------------------------------------------------------------

int execute_tran(Run& run, Statement& st) {
  Operand* table_op = st.operands[2];
  Operand* source = st.operands[1];
  Operand* target = st.operands[0];
  if (table_op == nullptr || source == nullptr) base::logic_error(base::kLogicNoExecutor, st.selid);
  const uint8_t* table = nullptr;
  if (table_op->kind == OperandKind::kTable) {
    table = builtin_table(table_op->immediate);
    if (table == nullptr) base::logic_error(base::kLogicNoExecutor, st.selid);
  } else {
    table = resolve_operand(run, table_op);
    if (table == nullptr) return kVerbNext;
    // A table field cut short (LEN L, the end of the record) cannot translate every byte.
    if (table_op->length < 256) {
      count_data_failure(run, st);
      return kVerbNext;
    }
  }
  if (!resolve_target_and_source(run, target, source)) return kVerbNext;
  if (target == nullptr) target = source;
  const int32_t n = source->length < target->length ? source->length : target->length;
  for (int32_t i = n - 1; i >= 0; --i) target->address[i] = table[source->address[i]];
  return kVerbNext;
}

// ---- Conversions (43) --------------------------------------------------------------------------

int execute_conversion(Run& run, Statement& st) {
  Operand* target = st.operands[0];
  Operand* source = st.operands[1];
  if (target == nullptr || source == nullptr) base::logic_error(base::kLogicNoExecutor, st.selid);
  if (!resolve_target_and_source(run, target, source)) return kVerbNext;
  std::string mask;
  const Operand* mask_op = st.operands[2];
  if (mask_op != nullptr && mask_op->lit != nullptr) {
    mask.assign(reinterpret_cast<const char*>(mask_op->lit),
                static_cast<size_t>(mask_op->lit_length));
  }
  convert::ConvertRequest request;
  request.code = st.argument;
  request.dest = target->address;
  request.dest_len = target->length;
  request.src = source->address;
  request.src_len = source->length;
  request.mask = mask_op != nullptr ? mask.c_str() : nullptr;
  request.target_follows_source =
      target->len_kind == LengthKind::kTwiceSecond || target->len_kind == LengthKind::kHalfSecond;
  if (convert::convert(request) > 0) count_data_failure(run, st);
  return kVerbNext;
}

// ---- GEN (33) ----------------------------------------------------------------------------------

// Rejected draws allowed before a draw is given up as a failure: a range the generator never
// hits shows up as a failed statement instead of a run that never ends.
constexpr int kMaxRejectedDraws = 1 << 20;

// One draw in [0, range); false when none was found (range below 1, or no hit).
bool draw(uint32_t* state, int32_t range, int32_t* out) {
  if (range < 1) return false;
  for (int attempt = 0; attempt < kMaxRejectedDraws; ++attempt) {
    int32_t hi = static_cast<int16_t>(*state >> 16);
    int32_t lo = static_cast<int16_t>(*state & 0xFFFF);
    // An upper half of 0 (or 0x8000) is a fixed point of the multiplication below and would
    // never reach 0x2000.
    if ((hi & 0x7FFF) == 0) hi = 1;
    do {
      hi = (hi * 0x905) & 0x7FFF;
      lo = static_cast<int16_t>(((lo * 0x905) >> 11) & 0xFFFF);
    } while (hi < 0x2000);
    *state = (static_cast<uint32_t>(hi) << 16) | (static_cast<uint32_t>(lo) & 0xFFFF);
    const int32_t r = static_cast<int32_t>(*state) % (range | 7);
    if (r < range) {
      *out = r;
      return true;
    }
  }
  return false;
}

// The generator's state: the 4 bytes of slot 2, big-endian. BASE characters are translated to
// EBCDIC on first use (the slot then holds binary); without BASE a seed is taken from the clock
// and the statement's id, so unseeded runs differ.
uint8_t* generator_state(Statement& st) {
  Operand*& seed = st.operands[2];
  if (seed == nullptr) {
    void* block = base::qelgcore(sizeof(Operand), 0, "FLD");
    seed = new (block) Operand();
    seed->kind = OperandKind::kLiteral;
    seed->type = kTypeBinary;
    seed->format = kFormatLiteral;
    seed->lit = static_cast<uint8_t*>(base::qelgcore(4, 0, "lit"));
    seed->lit_length = 4;
    const auto now = static_cast<uint32_t>(host::clock_now());
    convert::store_be32(
        seed->lit, static_cast<int32_t>(now ^ (static_cast<uint32_t>(st.selid) * 0x9E3779B9u)));
  } else if (seed->type == kTypeCharacter) {
    for (int i = 0; i < 4 && i < seed->lit_length; ++i) seed->lit[i] = kAsciiToEbcdic[seed->lit[i]];
    seed->type = kTypeBinary;
  }
  return seed->lit;
}

int execute_gen(Run& run, Statement& st) {
  Operand* target = st.operands[0];
  Operand* kept = st.operands[1];
  const Operand* range = st.operands[3];
  if (target == nullptr || kept == nullptr || kept->lit_length != 4 || range == nullptr) {
    base::logic_error(base::kLogicNoExecutor, st.selid);
  }
  if (resolve_operand(run, target) == nullptr) return kVerbNext;
  uint8_t* state_bytes = generator_state(st);
  auto state = static_cast<uint32_t>(convert::load_be32(state_bytes));
  bool ok = true;
  int32_t r = 0;
  if (range->kind == OperandKind::kLiteral) {
    // The character form: one draw for each byte of the target.
    for (int32_t i = 0; ok && i < target->length; ++i) {
      ok = draw(&state, range->lit_length, &r);
      if (ok) target->address[i] = range->lit[r];
    }
    convert::store_be32(kept->lit, r);
  } else {
    // The numeric form: RANGE start,end compiled as position start and length end - start + 1;
    // the value is start + r, and is converted into the target as a CV statement would.
    ok = draw(&state, range->len.value, &r);
    if (ok) {
      convert::store_be32(kept->lit, static_cast<int32_t>(int64_t{r} + range->pos.value));
      convert::ConvertRequest request;
      request.code = st.argument;
      request.dest = target->address;
      request.dest_len = target->length;
      request.src = kept->lit;
      request.src_len = 4;
      ok = convert::convert(request) == 0;
    }
  }
  convert::store_be32(state_bytes, static_cast<int32_t>(state));
  if (!ok) count_data_failure(run, st);
  return kVerbNext;
}

// ---- CVDATE (44) ------------------------------------------------------------------------------

int execute_cvdate(Run& run) {
  if (run.date_area != nullptr) convert::fill_date_area(run.date_area);
  return kVerbNext;
}

}  // namespace

// ---- Shared helpers ----------------------------------------------------------------------------

void count_data_failure(Run& run, Statement& statement) {
  ++statement.error_count;
  raise_return_code(run, 8);
}

void set_record_length(Run& run, int32_t length) {
  run.record_length = length;
  run.addressable_length = detail::addressable_for(run);
  detail::publish_record_length(run);
}

bool resolve_target_and_source(Run& run, Operand* target, Operand* source) {
  bool target_first = source->kind == OperandKind::kLiteral;
  if (target != nullptr && needs_second(target)) target_first = false;
  if (target != nullptr && source->len_kind == LengthKind::kSameAsFirst) target_first = true;
  if (target_first && target != nullptr && resolve_operand(run, target) == nullptr) return false;
  if (resolve_operand(run, source) == nullptr) return false;
  if (!target_first && target != nullptr && resolve_operand(run, target) == nullptr) return false;
  return true;
}

int execute_data_operation(Run& run, Statement& statement) {
  switch (statement.op) {
    case Op::kPointerSet:
    case Op::kPointerOp:
    case Op::kLrecl:
    case Op::kRc:
      return execute_assignment(run, statement);
    case Op::kGen:
      return execute_gen(run, statement);
    case Op::kAdd:
    case Op::kSub:
    case Op::kMult:
    case Op::kDiv:
      return execute_arithmetic(run, statement);
    case Op::kMove:
    case Op::kMod:
      return execute_move(run, statement);
    case Op::kCmprs:
      return execute_compress(run, statement);
    case Op::kXpnd:
      return execute_expand(run, statement);
    case Op::kTran:
      return execute_tran(run, statement);
    case Op::kConvert:
      return execute_conversion(run, statement);
    case Op::kCvdate:
      return execute_cvdate(run);
    case Op::kUtime:
      return execute_utime(run, statement);
    default:
      base::logic_error(base::kLogicNoExecutor, statement.selid);
  }
}

}  // namespace recsift::engine
