// Operand resolution: an operand descriptor (operand.h) becomes the address and length of its
// data in the current record or work area, in one of the run's other areas (special variables,
// date, heading) or in the descriptor itself; also the pointer variables and the return code.
//
// Invariants:
//  - Every byte an operand yields lies inside the storage it names: a record operand inside the
//    addressable length from the record base, an area operand inside its area. Operands that are
//    not clipped against the record (special variables, pointers outside the addressable area)
//    are still cut at the end of their own area and fail before its start.
//  - A failure counts once per resolution, and only against action statements (a condition
//    counts its failed test itself, see evaluate.cc).
#include <cstdint>
#include <cstring>

#include "convert/convert.h"
#include "convert/special_area.h"
#include "engine/engine.h"
#include "host/host.h"
#include "program/operand.h"
#include "program/program.h"

namespace recsift::engine {
namespace {

// A storage region an operand can lie in.
struct Region {
  const uint8_t* start = nullptr;
  int32_t size = 0;
};

// A position being summed: the 1-based place relative to `region.start`.
struct Place {
  Region region;
  bool in_record = true;  // the region is the record (clipped, counted from the record base)
  int64_t sum = 0;
  bool failed = false;
};

Region record_region(const Run& run) {
  return Region{run.record_base, run.record_base != nullptr ? run.addressable_length : 0};
}

// The area holding a special variable's storage, or an empty region when it has no source.
Region special_region(const Run& run, SpecialKind kind) {
  switch (kind) {
    case SpecialKind::kAreaField:
      return Region{run.special, run.special != nullptr ? convert::kSpecialAreaSize : 0};
    case SpecialKind::kDateArea:
      return Region{run.date_area, run.date_area != nullptr ? kDateAreaSize : 0};
    case SpecialKind::kHeading:
      return Region{run.heading, run.heading != nullptr ? kHeadingSize : 0};
    default:
      return Region{};
  }
}

bool is_clipped_action(const Statement* st) {
  return st != nullptr && is_action(st->type) && op_has(st->op, kTraitClipped);
}

// Counts a failure against the current statement (actions only) and raises the return code.
void count_failure(Run& run) {
  Statement* st = run.current;
  if (st == nullptr || !is_action(st->type)) return;
  ++st->error_count;
  raise_return_code(run, 8);
}

// Moves `place` to another region (an area base of the chain); a second such base fails.
void rebase(Place& place, Region region, bool negative, int64_t one_based) {
  if (!place.in_record || negative || region.start == nullptr) {
    place.failed = true;
    return;
  }
  place.in_record = false;
  place.region = region;
  place.sum += one_based;
}

// Sums a position chain.
Place sum_position(const Run& run, const Term& head, uint8_t* resolved_flags) {
  Place place;
  place.region = record_region(run);
  for (const Term* t = &head; t != nullptr && !place.failed; t = t->next) {
    const bool negative = (t->flags & kTermNegative) != 0;
    const int64_t sign = negative ? -1 : 1;
    switch (t->kind) {
      case TermKind::kAbsolute:
        place.sum += t->value;
        break;
      case TermKind::kRecordLength:
        place.sum += sign * run.record_length;
        break;
      case TermKind::kPointer: {
        const PointerVariable pv = pointer_variable(run, t->pointer);
        if ((pv.flags & kPointerBitSet) == 0) {
          place.failed = true;
          break;
        }
        *resolved_flags |= kResPointerRelative;
        if ((pv.flags & kPointerOutside) != 0 && pv.area != nullptr) {
          *resolved_flags |= kResOutside | kResUnclipped;
          rebase(place, Region{pv.area, pv.area_size}, negative, pv.area_offset + 1);
        } else {
          if ((pv.flags & kPointerOutside) != 0) *resolved_flags |= kResOutside;
          place.sum += sign * pv.value;
        }
        break;
      }
      case TermKind::kSpecial:
        *resolved_flags |= kResUnclipped;
        rebase(place, special_region(run, t->special), negative, int64_t{t->offset} + 1);
        break;
      case TermKind::kNone:
        break;
      default:  // number kinds belong to computed operands
        place.failed = true;
        break;
    }
  }
  return place;
}

// Sums a length chain or a computed number; false when a pointer in it is null and `strict`.
bool sum_number(const Run& run, const Term& head, bool strict, int64_t* out) {
  int64_t sum = 0;
  for (const Term* t = &head; t != nullptr; t = t->next) {
    const int64_t sign = (t->flags & kTermNegative) != 0 ? -1 : 1;
    switch (t->kind) {
      case TermKind::kAbsolute:
      case TermKind::kNumber:
        sum += t->value;
        break;
      case TermKind::kRecordLength:
      case TermKind::kNumberRecordLength:
        sum += sign * run.record_length;
        break;
      case TermKind::kPointer:
      case TermKind::kNumberPointer: {
        const PointerVariable pv = pointer_variable(run, t->pointer);
        if (strict && (pv.flags & kPointerBitSet) == 0) return false;
        sum += sign * pv.value;
        break;
      }
      case TermKind::kNone:
        break;
      default:
        return false;
    }
  }
  *out = sum;
  return true;
}

// The resolved length of the current statement's operand `slot`, or -1.
int64_t sibling_length(const Run& run, int slot, const Operand* self) {
  const Statement* st = run.current;
  if (st == nullptr || st->operands[slot] == nullptr || st->operands[slot] == self) return -1;
  return st->operands[slot]->length;
}

uint8_t* fail(Run& run, Operand* op, bool count) {
  op->address = nullptr;
  op->length = 0;
  if (count) count_failure(run);
  return nullptr;
}

uint8_t* yield_number(Operand* op, int64_t value) {
  convert::store_be32(op->scratch, static_cast<int32_t>(value));
  op->address = op->scratch;
  op->length = 4;
  op->position = -1;
  return op->address;
}

// A pointer to a byte outside the addressable area: in one of the run's other areas (kept with
// that area, so that resolution reaches the byte without leaving it), or beyond everything
// (kept as a record position when it has one, so that resolution clips it).
PointerVariable outside_pointer(const Run& run, uintptr_t a, uintptr_t base) {
  PointerVariable pv;
  pv.flags = kPointerSetFlags;
  bool placed = false;
  const Region areas[] = {special_region(run, SpecialKind::kAreaField),
                          special_region(run, SpecialKind::kDateArea),
                          special_region(run, SpecialKind::kHeading)};
  for (const Region& r : areas) {
    if (placed || r.start == nullptr) continue;
    const uintptr_t s = reinterpret_cast<uintptr_t>(r.start);
    if (a >= s && a - s < static_cast<uintptr_t>(r.size)) {
      pv.flags |= kPointerOutside;
      pv.area = r.start;
      pv.area_size = r.size;
      pv.area_offset = static_cast<int32_t>(a - s);
      const int64_t distance = static_cast<int64_t>(a) - static_cast<int64_t>(base);
      pv.value = run.record_base != nullptr && distance >= 0 && distance < INT32_MAX
                     ? static_cast<int32_t>(distance + 1)
                     : -1;
      placed = true;
    }
  }
  if (!placed) {
    // Beyond the addressable area (or before the record): kept as a record position when it
    // has one, so that resolution clips it; otherwise set but unusable.
    pv.flags |= kPointerOutside;
    const int64_t distance = static_cast<int64_t>(a) - static_cast<int64_t>(base);
    pv.value = run.record_base != nullptr && distance >= 0 && distance < INT32_MAX
                   ? static_cast<int32_t>(distance + 1)
                   : -1;
  }
  return pv;
}

}  // namespace

// Internal entry: `clip_fails_condition` false lets a condition use a clipped operand (scans).
uint8_t* resolve_operand_for(Run& run, Operand* op, bool clip_fails_condition) {
  op->address = nullptr;
  op->length = 0;
  op->position = 0;
  op->requested_length = 0;
  op->resolved_flags = 0;
  switch (op->kind) {
    case OperandKind::kLiteral:
      op->address = op->lit;
      op->length = op->lit_length;
      op->position = -1;
      if (op->lit == nullptr && op->lit_length > 0) return fail(run, op, true);
      if (op->address == nullptr) op->address = op->scratch;  // an empty literal
      return op->address;
    case OperandKind::kImmediate:
    case OperandKind::kTable:
    case OperandKind::kRecordCount:
    case OperandKind::kListingLine:
    case OperandKind::kReturnCode:
      return yield_number(op, op->immediate);
    case OperandKind::kComputed: {
      int64_t value = 0;
      if (!sum_number(run, op->pos, false, &value)) return fail(run, op, true);
      return yield_number(op, value);
    }
    case OperandKind::kAreaField: {
      if (run.special == nullptr || op->pos.offset < 0 ||
          op->pos.offset + 4 > convert::kSpecialAreaSize) {
        return fail(run, op, true);
      }
      op->resolved_flags = kResUnclipped;
      op->address = run.special + op->pos.offset;
      op->length = 4;
      op->position = -1;
      return op->address;
    }
    case OperandKind::kField:
      if (op->pos.kind == TermKind::kAbsolute && op->pos.next == nullptr &&
          run.record_base != nullptr) {
        // The common fields: a number, and a length as a number, the other operand's length or
        // the record length (POS ANY), wholly inside the record: what the general path below
        // gives, without its steps.
        int64_t length = -1;
        if (op->len_kind == LengthKind::kFixed) {
          length = op->len.value;
        } else if (op->len_kind == LengthKind::kSameAsSecond) {
          length = sibling_length(run, 1, op);
        } else if (op->len_kind == LengthKind::kExpression &&
                   op->len.kind == TermKind::kRecordLength && op->len.next == nullptr &&
                   op->len.flags == 0) {
          length = run.record_length;
        }
        const int64_t offset = int64_t{op->pos.value} - 1;
        if (offset >= 0 && length >= 0 && offset + length <= run.addressable_length) {
          op->address = run.record_base + offset;
          op->length = static_cast<int32_t>(length);
          op->position = static_cast<int32_t>(offset + 1);
          return op->address;
        }
      }
      break;
    case OperandKind::kNone:
    default:
      return fail(run, op, true);
  }

  // A field: position, then length, then clipping against its region.
  Place start = sum_position(run, op->pos, &op->resolved_flags);
  if (start.failed || start.region.start == nullptr) return fail(run, op, true);
  const int64_t offset = start.sum - 1;
  int64_t length = 1;
  switch (op->len_kind) {
    case LengthKind::kNone:
      length = 1;
      break;
    case LengthKind::kFixed:
      length = op->len.value;
      break;
    case LengthKind::kExpression:
      if (!sum_number(run, op->len, true, &length)) return fail(run, op, true);
      break;
    case LengthKind::kToEnd: {
      uint8_t end_flags = 0;
      const Place end = sum_position(run, op->end, &end_flags);
      if (end.failed || end.region.start != start.region.start) return fail(run, op, true);
      length = end.sum - start.sum + 1;
      break;
    }
    case LengthKind::kRest:
      length = start.region.size - offset;
      if (op->len.value > 0 && length > op->len.value) length = op->len.value;
      break;
    case LengthKind::kSameAsFirst:
      length = sibling_length(run, 0, op);
      break;
    case LengthKind::kSameAsSecond:
      length = sibling_length(run, 1, op);
      break;
    case LengthKind::kTwiceSecond:
      length = sibling_length(run, 1, op);
      if (length >= 0) length *= 2;
      break;
    case LengthKind::kHalfSecond:
      length = sibling_length(run, 1, op);
      if (length >= 0) length /= 2;
      break;
  }
  if (length < 0 || offset < 0 || offset >= INT32_MAX) return fail(run, op, true);

  const int64_t size = start.region.size;
  bool clipped = false;
  if (offset + length > size) {
    const int64_t remaining = size - offset;
    if (remaining <= 0) return fail(run, op, true);
    op->requested_length = static_cast<int32_t>(length > INT32_MAX ? INT32_MAX : length);
    length = remaining;
    clipped = true;
  }
  uint8_t* address = const_cast<uint8_t*>(start.region.start) + offset;
  if (clipped) {
    const Statement* st = run.current;
    if (st != nullptr && is_condition(st->type) && clip_fails_condition) {
      return fail(run, op, false);
    }
    if (is_clipped_action(st)) count_failure(run);
  }
  op->address = address;
  op->length = static_cast<int32_t>(length);
  if (start.in_record) {
    op->position = static_cast<int32_t>(offset + 1);
  } else {
    const int64_t distance = static_cast<int64_t>(reinterpret_cast<uintptr_t>(address)) -
                             static_cast<int64_t>(reinterpret_cast<uintptr_t>(run.record_base));
    op->position = distance >= INT32_MIN && distance < INT32_MAX && run.record_base != nullptr
                       ? static_cast<int32_t>(distance + 1)
                       : 0;
  }
  return address;
}

uint8_t* resolve_operand(Run& run, Operand* op) {
  return resolve_operand_for(run, op, true);
}

int32_t return_code(const Run& run) {
  return run.special != nullptr ? convert::load_be32(run.special + convert::kSpReturnCode) : 0;
}

void raise_return_code(Run& run, int32_t rc) {
  if (run.special == nullptr || rc == 0) return;
  const int32_t now = return_code(run);
  if (rc < now || (rc == now && run.rc_selid != kNoSelid)) return;
  convert::store_be32(run.special + convert::kSpReturnCode, rc);
  if (run.current != nullptr && run.current->selid > 0) run.rc_selid = run.current->selid;
}

PointerVariable pointer_variable(const Run& run, int number) {
  if (number < 0 || static_cast<size_t>(number) >= run.pointers.size()) return PointerVariable{};
  return run.pointers[static_cast<size_t>(number)];
}

void set_pointer(Run& run, int number, const uint8_t* address) {
  if (number < 0) return;
  if (static_cast<size_t>(number) >= run.pointers.size()) {
    run.pointers.resize(static_cast<size_t>(number) + 1);
  }
  PointerVariable& slot = run.pointers[static_cast<size_t>(number)];
  const uintptr_t a = reinterpret_cast<uintptr_t>(address);
  const uintptr_t base = reinterpret_cast<uintptr_t>(run.record_base);
  if (address == nullptr) {
    slot = PointerVariable{};
  } else if (run.record_base != nullptr && a >= base &&
             a - base < static_cast<uintptr_t>(run.addressable_length)) {
    slot = PointerVariable{};
    slot.value = static_cast<int32_t>(a - base + 1);
    slot.flags = kPointerSetFlags;
  } else {
    slot = outside_pointer(run, a, base);
  }
  if (run.special != nullptr && (number == kAtPointer || number == kComparePointer)) {
    const int offset = number == kAtPointer ? convert::kSpAtPointer : convert::kSpAddressDiff;
    convert::store_be32(run.special + offset, static_cast<int32_t>(host::address_word(address)));
  }
}

}  // namespace recsift::engine
