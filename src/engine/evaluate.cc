// Condition evaluation: the compiled test of the current condition statement against the
// current record: file and pointer tests, numeric and character comparisons with the pad,
// scans (forward, REVERSE, STEP, PTR) and mask tests.
//
// A test whose operands cannot be resolved is false (the failed-test rule): it counts one failed
// test in the statement's error_count, raises the return code to 6 unless the test is an
// equality or pointer test, and clears the PTR pointer.
#include <algorithm>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif
#include <cstring>

#include "convert/convert.h"
#include "convert/special_area.h"
#include "engine/engine.h"
#include "engine/run_internal.h"
#include "files/files.h"
#include "program/operand.h"
#include "program/program.h"
#include "report/report.h"

namespace recsift::engine {

uint8_t* resolve_operand_for(Run& run, Operand* op, bool clip_fails_condition);

namespace {

constexpr int32_t kMaskLimit = 256;

int sign_of(int64_t v) {
  return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

// The relation rule: does a relation (sign) satisfy the comparison code?
// For each relation code, the relations (bit 0 less, bit 1 equal, bit 2 greater) that satisfy it.
constexpr uint8_t kRelationsHolding[] = {0, 0b010, 0b001, 0b100, 0b101, 0b110, 0b011};

inline bool holds(int relation, uint8_t code) {
  if (code < kCmpEqual || code > kCmpLessEqual) return false;
  return ((kRelationsHolding[code] >> (relation + 1)) & 1) != 0;
}

void record_message(Run& run, int32_t number) {
  if (run.messages != nullptr) report::record_error(*run.messages, number);
}

bool failed_test(Run& run, Statement* st) {
  const Operand* first = st->operands[0];
  ++st->error_count;
  if (st->compare != kCmpEqual && (first == nullptr || first->format != kFormatPointerTest)) {
    raise_return_code(run, 6);
  }
  if (st->ptr_var >= 0) set_pointer(run, st->ptr_var, nullptr);
  return false;
}

// Fills the number a special operand stands for.
void fill_special(const Run& run, const Statement* st, Operand* op) {
  if (op == nullptr) return;
  switch (op->kind) {
    case OperandKind::kRecordCount:
      op->immediate = st->file != nullptr ? static_cast<int32_t>(st->file->record_count) : 0;
      break;
    case OperandKind::kListingLine:
      op->immediate = run.special != nullptr
                          ? convert::load_be32(run.special + convert::kSpPageDepth) -
                                convert::load_be32(run.special + convert::kSpLinesLeft) + 1
                          : 0;
      break;
    case OperandKind::kReturnCode:
      op->immediate = return_code(run);
      break;
    default:
      break;
  }
}

bool holds_number(const Operand* op) {
  switch (op->kind) {
    case OperandKind::kImmediate:
    case OperandKind::kComputed:
    case OperandKind::kRecordCount:
    case OperandKind::kListingLine:
    case OperandKind::kReturnCode:
      return true;
    default:
      return false;
  }
}

// The numeric value of a resolved operand; false when it has none.
bool numeric_value(const Operand* op, int64_t* value) {
  if (holds_number(op)) {
    *value = convert::load_be32(op->address);
    return true;
  }
  if (op->type == kTypeBinary) {
    if (op->length < 1 || op->length > 8) return false;
    int64_t v = (op->address[0] & 0x80) != 0 ? -1 : 0;
    for (int i = 0; i < op->length; ++i)
      v = static_cast<int64_t>((static_cast<uint64_t>(v) << 8) | op->address[i]);
    *value = v;
    return true;
  }
  if (op->type == kTypePacked) {
    return op->length >= 1 && convert::packed_to_int64(value, op->address, op->length) == 0;
  }
  return false;
}

// Numeric text (TYPE Z, a long numeric literal) compared with a number: the values of both, when
// each spells one. Comparing their characters would rank "000000030000" below "300" and
// over-punched negatives above positives; a quoted string, or bytes that are no number, keep the
// character comparison.
bool numeric_text_values(const Operand* first, const Operand* second, int64_t* a, int64_t* b) {
  auto value = [](const Operand* op, int64_t* v) {
    if (op->type == kTypeNumericText) {
      return op->length >= 1 && op->length <= 31 &&
             convert::text_to_int64(v, reinterpret_cast<const char*>(op->address), op->length) == 0;
    }
    return (op->type == kTypeBinary || op->type == kTypePacked || holds_number(op)) &&
           numeric_value(op, v);
  };
  return first->type == kTypeNumericText && value(first, a) && value(second, b);
}

// Address of byte `index` counted from `base` (may lie past the operand; only its value is used).
const uint8_t* offset_address(const uint8_t* base, int64_t index) {
  return reinterpret_cast<const uint8_t*>(reinterpret_cast<uintptr_t>(base) +
                                          static_cast<uintptr_t>(index));
}

// Character comparison with the pad; sets the comparison pointer.
int compare_characters(Run& run, const Operand* a, const Operand* b, uint8_t pad) {
  const int32_t common = std::min(a->length, b->length);
  for (int32_t i = 0; i < common; ++i) {
    if (a->address[i] != b->address[i]) {
      if (run.compare_pointer_seen) set_pointer(run, kComparePointer, a->address + i);
      return a->address[i] < b->address[i] ? -1 : 1;
    }
  }
  const Operand* longer = a->length > b->length ? a : b;
  for (int32_t i = common; i < longer->length; ++i) {
    if (longer->address[i] != pad) {
      if (run.compare_pointer_seen) {
        set_pointer(run, kComparePointer, offset_address(a->address, i));
      }
      return longer == a ? 1 : -1;
    }
  }
  if (run.compare_pointer_seen) set_pointer(run, kComparePointer, nullptr);
  return 0;
}

// Mask test at `data` (at least mask length bytes, or one byte for a one-byte mask).
bool mask_holds(Run& run, const uint8_t* data, const uint8_t* mask, int32_t n, uint8_t code) {
  bool all_on = true;
  bool all_off = true;
  bool partial = false;
  bool any_on = false;
  bool any_off = false;
  bool any_bits = false;
  for (int32_t i = 0; i < n; ++i) {
    const uint8_t m = mask[i];
    if (m == 0) continue;
    any_bits = true;
    const uint8_t bits = data[i] & m;
    if (bits == m) {
      any_on = true;
      all_off = false;
    } else if (bits == 0) {
      any_off = true;
      all_on = false;
    } else {
      partial = true;
      all_on = false;
      all_off = false;
    }
  }
  if (!any_bits) return false;  // a zero mask never holds
  switch (code) {
    case kCmpOnes:
      return all_on;
    case kCmpZeros:
      return all_off;
    case kCmpMixed:
      return partial || (any_on && any_off);
    default:
      record_message(run, kRunErrNotMask);
      return false;
  }
}

// The mask length, cut to the limit (which raises the return code to 6 and is counted).
int32_t mask_length(Run& run, const Operand* mask) {
  if (mask->length <= kMaskLimit) return mask->length;
  raise_return_code(run, 6);
  ++run.mask_truncations;
  return kMaskLimit;
}

// The first place among the `starts` places from `data` where the `n` bytes of `text` begin, or
// null. The search for a text runs once per record, so it looks at 16 places a step where the
// machine allows: the text's first and last bytes are compared at all of them together, and
// only the places where both match are compared in full.
#if defined(__x86_64__)
// find_text in steps of 32 places, for machines with 256-bit vectors (chosen once at run time).
__attribute__((target("avx2"))) const uint8_t* find_text_32(const uint8_t* data, int64_t starts,
                                                            const uint8_t* text, int32_t n) {
  const __m256i first = _mm256_set1_epi8(static_cast<char>(text[0]));
  const __m256i last = _mm256_set1_epi8(static_cast<char>(text[n - 1]));
  int64_t i = 0;
  for (uint32_t fresh = 0xFFFFFFFFu;; i += 32) {
    if (i + 32 > starts) {
      fresh = 0xFFFFFFFFu << (i - (starts - 32));
      i = starts - 32;
    }
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i + n - 1));
    auto hits = fresh & static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_and_si256(
                            _mm256_cmpeq_epi8(a, first), _mm256_cmpeq_epi8(b, last))));
    while (hits != 0) {
      const int k = __builtin_ctz(hits);
      if (std::memcmp(data + i + k, text, static_cast<size_t>(n)) == 0) return data + i + k;
      hits &= hits - 1;
    }
    if (i + 32 >= starts) return nullptr;
  }
}

bool has_256_bit_vectors() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

}  // namespace

const uint8_t* detail::find_text(const uint8_t* data, int64_t starts, const uint8_t* text,
                                 int32_t n) {
  int64_t i = 0;
#if defined(__x86_64__)
  if (starts >= 32 && has_256_bit_vectors()) return find_text_32(data, starts, text, n);
#endif
#if defined(__SSE2__)
  if (starts >= 16) {
    const __m128i first = _mm_set1_epi8(static_cast<char>(text[0]));
    const __m128i last = _mm_set1_epi8(static_cast<char>(text[n - 1]));
    // Steps of 16 places; the last step is moved back to end at the last place, its places
    // already looked at masked off, so that nothing is read beyond the data.
    for (unsigned fresh = 0xFFFF;; i += 16) {
      if (i + 16 > starts) {
        fresh = 0xFFFFu << (i - (starts - 16));
        i = starts - 16;
      }
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + n - 1));
      auto hits = fresh & static_cast<unsigned>(_mm_movemask_epi8(
                              _mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
      while (hits != 0) {
        const int k = __builtin_ctz(hits);
        if (std::memcmp(data + i + k, text, static_cast<size_t>(n)) == 0) return data + i + k;
        hits &= hits - 1;
      }
      if (i + 16 >= starts) return nullptr;
    }
  }
#endif
  for (; i < starts; ++i) {
    if (data[i] == text[0] && std::memcmp(data + i, text, static_cast<size_t>(n)) == 0) {
      return data + i;
    }
  }
  return nullptr;
}

namespace {

bool scan(Run& run, Statement* st, const Operand* area, const Operand* value) {
  const uint8_t code = st->compare;
  const bool mask = code == kCmpOnes || code == kCmpMixed || code == kCmpZeros;
  const int32_t vlen = mask ? mask_length(run, value) : value->length;
  const int64_t span = static_cast<int64_t>(area->length) - (std::max(vlen, 1) - 1);
  if (span <= 0 || vlen <= 0) return failed_test(run, st);
  const int64_t step = st->step >= 1 ? st->step : 1;
  const int64_t count = (span - 1) / step + 1;
  const bool reverse = (st->flags & kSfReverse) != 0;
  const uint8_t* found = nullptr;
  const bool plain_search = code == kCmpEqual && !mask && step == 1 && !reverse;
  if (plain_search) found = detail::find_text(area->address, span, value->address, vlen);
  for (int64_t i = 0; !plain_search && i < count && found == nullptr; ++i) {
    const int64_t at = (reverse ? count - 1 - i : i) * step;
    const uint8_t* data = area->address + at;
    bool ok = false;
    if (mask) {
      ok = mask_holds(run, data, value->address, vlen, code);
    } else {
      int relation = 0;
      for (int32_t k = 0; k < vlen && relation == 0; ++k) {
        relation = sign_of(int64_t{data[k]} - value->address[k]);
      }
      ok = holds(relation, code);
    }
    if (ok) found = data;
  }
  if (st->ptr_var >= 0) set_pointer(run, st->ptr_var, found);
  return found != nullptr;
}

// The commonest test, a field at a fixed place against a character literal of its length,
// decided without the general steps (what they would decide, and the comparison pointer as they
// would leave it). False when the test is not of that kind, or its field is not wholly there.
bool quick_compare(Run& run, const Statement* st, const Operand* first, const Operand* second,
                   bool* holds_now) {
  const uint8_t code = st->compare;
  if (second->kind != OperandKind::kLiteral || first->kind != OperandKind::kField ||
      first->pos.kind != TermKind::kAbsolute || first->pos.next != nullptr ||
      (st->flags & kSfScan) != 0 || code < kCmpEqual || code > kCmpLessEqual ||
      first->type == kTypeBinary || first->type == kTypePacked || first->type == kTypeNumericText ||
      run.record_base == nullptr) {
    return false;
  }
  const int32_t n = second->lit_length;
  const bool same_length = first->len_kind == LengthKind::kSameAsSecond ||
                           (first->len_kind == LengthKind::kFixed && first->len.value == n);
  const int64_t offset = int64_t{first->pos.value} - 1;
  if (!same_length || n <= 0 || second->lit == nullptr || offset < 0 ||
      offset + n > run.addressable_length) {
    return false;
  }
  const uint8_t* a = run.record_base + offset;
  const uint8_t* b = second->lit;
  int relation = 0;
  int32_t i = 0;
  while (i < n && a[i] == b[i]) ++i;
  if (i < n) relation = a[i] < b[i] ? -1 : 1;
  if (run.compare_pointer_seen) set_pointer(run, kComparePointer, i < n ? a + i : nullptr);
  *holds_now = holds(relation, code);
  return true;
}

bool file_answer(const Run& run, const Statement* st, FileQuestion q) {
  return run.file_query != nullptr && run.file_query(run.file_query_context, st->file, q);
}

}  // namespace

bool evaluate_condition(Run& run) {
  Statement* st = run.current;
  if (st == nullptr || !is_condition(st->type)) return false;
  const uint8_t code = st->compare;
  switch (code) {
    case kCmpDirectory:
      return file_answer(run, st, FileQuestion::kDirectoryEntry);
    case kCmpData:
      return !file_answer(run, st, FileQuestion::kDirectoryEntry);
    case kCmpEndOfFile:
      return file_answer(run, st, FileQuestion::kEndOfFile);
    case kCmpNull:
    case kCmpNotNull: {
      const Operand* first = st->operands[0];
      if (first == nullptr || first->pos.kind != TermKind::kPointer) return failed_test(run, st);
      const bool set = (pointer_variable(run, first->pos.pointer).flags & kPointerBitSet) != 0;
      return code == kCmpNull ? !set : set;
    }
    default:
      break;
  }
  Operand* first = st->operands[0];
  Operand* second = st->operands[1];
  if (first == nullptr || second == nullptr) return failed_test(run, st);
  if (bool quick = false; quick_compare(run, st, first, second, &quick)) return quick;
  // Only the special operands of conditions take their value now.
  if (first->kind >= OperandKind::kRecordCount) fill_special(run, st, first);
  if (second->kind >= OperandKind::kRecordCount) fill_special(run, st, second);
  const bool scanning = (st->flags & kSfScan) != 0;
  if (resolve_operand_for(run, second, true) == nullptr) return failed_test(run, st);
  if (resolve_operand_for(run, first, !scanning) == nullptr) return failed_test(run, st);
  if (scanning) return scan(run, st, first, second);

  if (code == kCmpOnes || code == kCmpMixed || code == kCmpZeros) {
    const int32_t n = std::min(mask_length(run, second), second->length == 1 ? 1 : first->length);
    if (n <= 0) return failed_test(run, st);
    return mask_holds(run, first->address, second->address, n, code);
  }
  if (code < kCmpEqual || code > kCmpLessEqual) {
    record_message(run, kRunErrNotMask);
    return false;
  }
  if (first->type == kTypeBinary || first->type == kTypePacked) {
    int64_t a = 0;
    int64_t b = 0;
    if (!numeric_value(first, &a)) return false;
    if (!numeric_value(second, &b)) {
      record_message(run, kRunErrNotNumeric);
      return false;
    }
    return holds(sign_of(a - b), code);
  }
  if (int64_t a = 0, b = 0; numeric_text_values(first, second, &a, &b)) {
    return holds(sign_of(a - b), code);
  }
  return holds(compare_characters(run, first, second, st->pad), code);
}

}  // namespace recsift::engine
