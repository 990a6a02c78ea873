// CMPRS and XPND: the compressed record format, written by CMPRS from slot 1 into slot 0 and
// read back by XPND. Without a target (slot 0 null) both work on the source in place.
//
// The format is a sequence of items, each a header and its data, ended by the byte 0xFE:
//  - item types (header bits 7-6): 0x00 literal bytes follow, 0x40 a run of blanks, 0x80 a run of
//    zero bytes, 0xC0 a run of the one byte that follows the header;
//  - n = item length - 1: n < 32 one header byte (type | n); n < 4096 two bytes
//    (type | 0x20 | n >> 8, then n & 0xFF); otherwise four bytes (0xF0 + (type >> 6), then n as
//    24 bits, big-endian). Longer stretches are cut into several items.
// A run is three equal bytes, or two blanks or two zero bytes; it extends while the byte repeats.
//
// Both verbs make the result's length the current record length. Each builds its result apart
// from its operands and stores it only when it is whole, so source and target may overlap (or be
// one field, when there is no target) and a failing statement leaves the target as it was. What a
// control file or a record can get wrong fails the statement (return code 8), never the run: a
// target without room or outside the record, a compressed result that does not fit, and
// compressed data that is malformed (an item cut off, an expansion past the target, bytes after
// the end mark).
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/fatal.h"
#include "engine/data_ops_internal.h"
#include "engine/engine.h"
#include "program/operand.h"
#include "program/program.h"

namespace recsift::engine {
namespace {

constexpr uint8_t kItemLiteral = 0x00;
constexpr uint8_t kItemBlanks = 0x40;
constexpr uint8_t kItemZeros = 0x80;
constexpr uint8_t kItemRun = 0xC0;
constexpr uint8_t kTerminator = 0xFE;
constexpr int64_t kMaxItem = int64_t{1} << 24;  // longest item: n fits 24 bits

// Resolves the operands and checks that the result has a place in the record: false (the
// statement failed) when not. Without a target the source is the target.
bool prepare(Run& run, Statement& st, Operand** target, Operand** source) {
  *target = st.operands[0];
  *source = st.operands[1];
  if (*source == nullptr) base::logic_error(base::kLogicNoExecutor, st.selid);
  if (!resolve_target_and_source(run, *target, *source)) return false;
  if (*target == nullptr) *target = *source;
  if ((*target)->length < 1 || (*source)->length < 0 || (*target)->position < 1) {
    count_data_failure(run, st);
    return false;
  }
  return true;
}

// Makes the result's length the record length, when the record can be that long.
void settle_length(Run& run, Statement& st, int64_t length) {
  if (length > run.addressable_length) {
    count_data_failure(run, st);
    return;
  }
  set_record_length(run, static_cast<int32_t>(length));
}

void put_header(std::vector<uint8_t>& out, uint8_t type, int64_t length) {
  const auto n = static_cast<uint32_t>(length - 1);
  if (n < 32) {
    out.push_back(static_cast<uint8_t>(type | n));
  } else if (n < 4096) {
    out.push_back(static_cast<uint8_t>(type | 0x20 | (n >> 8)));
    out.push_back(static_cast<uint8_t>(n));
  } else {
    out.push_back(static_cast<uint8_t>(0xF0 + (type >> 6)));
    out.push_back(static_cast<uint8_t>(n >> 16));
    out.push_back(static_cast<uint8_t>(n >> 8));
    out.push_back(static_cast<uint8_t>(n));
  }
}

void put_literal(std::vector<uint8_t>& out, const uint8_t* p, int64_t length) {
  while (length > 0) {
    const int64_t part = length < kMaxItem ? length : kMaxItem;
    put_header(out, kItemLiteral, part);
    out.insert(out.end(), p, p + part);
    p += part;
    length -= part;
  }
}

void put_run(std::vector<uint8_t>& out, uint8_t byte, int64_t length) {
  const uint8_t type = byte == ' ' ? kItemBlanks : byte == 0 ? kItemZeros : kItemRun;
  while (length > 0) {
    const int64_t part = length < kMaxItem ? length : kMaxItem;
    put_header(out, type, part);
    if (type == kItemRun) out.push_back(byte);
    length -= part;
  }
}

std::vector<uint8_t> compress(const uint8_t* s, int64_t n) {
  std::vector<uint8_t> out;
  int64_t literal_start = 0;
  int64_t i = 0;
  while (i < n) {
    const uint8_t b = s[i];
    const bool run =
        i + 1 < n && s[i + 1] == b && ((i + 2 < n && s[i + 2] == b) || b == ' ' || b == 0);
    if (!run) {
      ++i;
      continue;
    }
    int64_t end = i + 2;
    while (end < n && s[end] == b) ++end;
    put_literal(out, s + literal_start, i - literal_start);
    put_run(out, b, end - i);
    i = literal_start = end;
  }
  put_literal(out, s + literal_start, n - literal_start);
  out.push_back(kTerminator);
  return out;
}

// Expands the compressed data s[0, n) into *out, at most `room` bytes. False when the data is
// malformed: an item or its header cut off by the end of the source, an expansion longer than
// `room`, no end mark, or bytes after it.
bool expand(const uint8_t* s, int64_t n, int64_t room, std::vector<uint8_t>* out) {
  int64_t i = 0;
  for (;;) {
    if (i >= n) return false;
    const uint8_t header = s[i++];
    if (header == kTerminator) return i == n;
    uint8_t type = 0;
    int64_t count = 0;
    if (header < 0xF0) {
      type = header & 0xC0;
      if ((header & 0x20) == 0) {
        count = header & 0x1F;
      } else {
        if (i >= n) return false;
        count = (int64_t{header & 0x0F} << 8) | s[i++];
      }
    } else {
      type = static_cast<uint8_t>((header & 0x03) << 6);
      if (i + 3 > n) return false;
      count = (int64_t{s[i]} << 16) | (int64_t{s[i + 1]} << 8) | s[i + 2];
      i += 3;
    }
    ++count;
    if (static_cast<int64_t>(out->size()) + count > room) return false;
    switch (type) {
      case kItemLiteral:
        if (i + count > n) return false;
        out->insert(out->end(), s + i, s + i + count);
        i += count;
        break;
      case kItemBlanks:
        out->insert(out->end(), static_cast<size_t>(count), uint8_t{' '});
        break;
      case kItemZeros:
        out->insert(out->end(), static_cast<size_t>(count), uint8_t{0});
        break;
      default:
        if (i >= n) return false;
        out->insert(out->end(), static_cast<size_t>(count), s[i++]);
        break;
    }
  }
}

}  // namespace

int execute_compress(Run& run, Statement& st) {
  Operand* target = nullptr;
  Operand* source = nullptr;
  if (!prepare(run, st, &target, &source)) return kVerbNext;
  const std::vector<uint8_t> out = compress(source->address, source->length);
  if (out.size() > static_cast<size_t>(target->length)) {
    count_data_failure(run, st);
    return kVerbNext;
  }
  std::memcpy(target->address, out.data(), out.size());
  settle_length(run, st, static_cast<int64_t>(out.size()));
  return kVerbNext;
}

int execute_expand(Run& run, Statement& st) {
  Operand* target = nullptr;
  Operand* source = nullptr;
  if (!prepare(run, st, &target, &source)) return kVerbNext;
  std::vector<uint8_t> out;
  if (!expand(source->address, source->length, target->length, &out)) {
    count_data_failure(run, st);
    return kVerbNext;
  }
  if (!out.empty()) std::memcpy(target->address, out.data(), out.size());
  settle_length(run, st, static_cast<int64_t>(out.size()));
  return kVerbNext;
}

}  // namespace recsift::engine
