// Variable-length records for record I/O: RECFM V and VB (4-byte record descriptors, 4-byte block
// descriptors unless NOBDW), V2 (2-byte length prefix) and MFV (2-byte descriptor with flags,
// records aligned to 4 bytes, a 128-byte header record first).
//
// Owns: recognising descriptors in the buffered input, block bookkeeping, the MFV header, and
// laying out descriptors and blocks on output.
// Exports (variable_records.h): the steps record_io.cc calls for these formats.
//
// Invariants:
//  - Input: no byte at or beyond buffer_offset + bytes_remaining is ever looked at; a record is
//    handed over only when all its bytes (and its block descriptor) are buffered.
//  - A block descriptor is taken only while no block is open; the records of a block must end
//    exactly at its length, and the file may not end inside a block.
//  - Output: a length field never wraps: a record longer than its descriptor can say is cut
//    and counted like one longer than LRECL; a block never grows beyond what its descriptor
//    can say.
#include "files/variable_records.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "files/files.h"
#include "files/keyed_access.h"
#include "host/host.h"

namespace recsift::files {

namespace {

constexpr int32_t kWordSize = 4;           // record and block descriptor words of V
constexpr int32_t kShortSize = 2;          // descriptors of V2 and MFV
constexpr int32_t kLookAhead = 8;          // bytes wanted before deciding about a V descriptor
constexpr int32_t kMaxField = 0xFFFF;      // 16-bit length fields
constexpr int32_t kMaxMfvField = 0x0FFF;   // 12-bit length field of MFV
constexpr uint8_t kMfvDataFlag = 0x40;     // flags of an MFV data record
constexpr uint8_t kMfvHeaderFlags = 0x30;  // flags of the MFV header record

int32_t be16(const uint8_t* p) {
  return (int32_t{p[0]} << 8) | p[1];
}
void put_be16(uint8_t* p, int32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

// Input: no block descriptors in this file, as defined or as its first record showed.
bool without_blocks(const FFREC& f) {
  return f.nobdw || f.no_blocks_found;
}

int32_t block_descriptor_size(const FFREC& f) {
  return f.nobdw ? 0 : record_format(f.recfm).block_descriptor;
}

// The descriptor check of V: the length of a valid record descriptor, of a block descriptor that
// may open a block (only when allow_block and the next word is a record descriptor), else 0.
int32_t check_word(const FFREC& f, const uint8_t* p, int32_t available, bool allow_block) {
  if (available < kWordSize || p[2] != 0 || p[3] != 0) return 0;
  const int32_t length = be16(p);
  const int32_t least = f.key_length > 0 ? f.key_position + f.key_length : 0;
  if (length < least) return 0;
  if (length <= f.lrecl) return length;
  if (!allow_block || without_blocks(f) || length > f.blksize) return 0;
  return check_word(f, p + kWordSize, available - kWordSize, false) >= kWordSize ? length : 0;
}

VariableStep error(const char* text) {
  VariableStep s;
  s.kind = VariableStep::kError;
  s.error = text;
  return s;
}

void build_mfv_header(const FFREC& f, uint8_t* h) {
  std::memset(h, 0, kMfvHeaderSize);
  h[0] = kMfvHeaderFlags;
  h[1] = kMfvHeaderSize - kShortSize;
  const host::CivilTime t = host::local_time(host::clock_now());
  const int digits[] = {t.year % 100, t.month, t.mday, t.hour, t.minute, t.second, t.year / 100};
  uint8_t* d = h + 8;
  for (const int v : digits) {
    *d++ = static_cast<uint8_t>('0' + v / 10 % 10);
    *d++ = static_cast<uint8_t>('0' + v % 10);
  }
  std::memcpy(h + 22, h + 8, 14);
  h[37] = 0x3E;
  h[39] = 0x01;
  h[48] = 0x01;
  put_be16(h + 56, std::min(f.blksize - kShortSize, kMaxField));
  const uint8_t tail[] = {0x5E, 0x1C, 0x02, 0x02};
  std::memcpy(h + 108, tail, sizeof tail);
}

// Follows the descriptors from p over n buffered bytes, as after a block boundary. True when
// every descriptor met is valid (and, while a key index samples, the keys met ascend from the
// node's start key) and the chain ends at the end of the data or runs past it while more data can
// come.
bool chain_holds(const FFREC& f, const uint8_t* p, int32_t n, bool final) {
  int32_t block_left = 0;                 // bytes left in the block the chain is in
  const uint8_t* previous_key = nullptr;  // key of the chain's record before (key index only)
  for (int32_t q = 0; q < n;) {
    const int32_t left = n - q;
    if (left < kWordSize) return !final;
    // A word that may be a block descriptor is judged by the word after it: when that one is
    // not buffered yet, the chain runs past the data (read as a record, the block's descriptors
    // would be taken for its data). A word beyond LRECL that cannot open a block is no
    // descriptor at all.
    if (left < 2 * kWordSize && block_left == 0 && p[q + 2] == 0 && p[q + 3] == 0) {
      const int32_t length = be16(p + q);
      if (!without_blocks(f) && length >= 2 * kWordSize && length <= f.blksize) return !final;
      if (length > f.lrecl) return false;
    }
    const int32_t word = check_word(f, p + q, left, block_left == 0);
    if (word < kWordSize) return false;
    int32_t length = word;
    int32_t block = 0;
    if (block_left == 0 && !without_blocks(f)) {
      const int32_t next = check_word(f, p + q + kWordSize, left - kWordSize, false);
      if (next >= kWordSize && next + kWordSize <= word) {
        block = kWordSize;
        block_left = word - kWordSize;
        length = next;
      }
    }
    if (block == 0 && length > f.lrecl) return false;
    if (block_left > 0) {
      if (length > block_left) return false;
      block_left -= length;
    }
    // While a node of a key index is sampled, a chain through keys outside its range is data
    // that happens to look like descriptors.
    if (!key_in_range(f, p + q + block, std::min(length, n - q - block), &previous_key)) {
      return false;
    }
    if (int64_t{q} + block + length > n) return !final;
    q += block + length;
  }
  return true;
}

}  // namespace

int32_t find_record_start(const FFREC& f, bool final) {
  const uint8_t* p = f.buffer + f.buffer_offset;
  const int32_t n = f.bytes_remaining;
  for (int32_t i = 0; i + kWordSize <= n; ++i) {
    if (p[i + 2] != 0 || p[i + 3] != 0) continue;
    if (chain_holds(f, p + i, n - i, final)) return i;
  }
  return -1;
}

int32_t record_descriptor_size(const FFREC& f) {
  return record_format(f.recfm).record_descriptor;
}

int32_t variable_overhead(const FFREC& f) {
  return f.recfm == kRecfmMfv ? 3 : block_descriptor_size(f);
}

VariableStep find_variable(const FFREC& f, bool more) {
  const uint8_t* p = f.buffer + f.buffer_offset;
  const int32_t remaining = f.bytes_remaining;
  const int32_t r = record_descriptor_size(f);
  VariableStep s;
  if (remaining < kLookAhead && more) return {VariableStep::kMore};
  if (remaining < r) return error(kErrDescShort);
  if (f.recfm == kRecfmV) {
    const int32_t word = check_word(f, p, remaining, f.block_length == 0);
    if (word < kWordSize) return error(kErrDescInvalid);
    s.length = word;
    if (f.block_length == 0 && !without_blocks(f)) {
      const int32_t next = check_word(f, p + kWordSize, remaining - kWordSize, false);
      if (next >= kWordSize && next + kWordSize <= word) {
        s.block = kWordSize;
        s.block_length = word;
        s.length = next;
      }
    }
    if (s.block == 0 && s.length > f.lrecl) return error(kErrDescInvalid);
  } else if (f.recfm == kRecfmV2) {
    s.length = be16(p) + kShortSize;
  } else {
    s.length = ((p[0] & 0x0F) << 8 | p[1]) + kShortSize;
    s.padding = (4 - s.length % 4) % 4;
    // The file's first record is its header. A file opened again (after its end) may be read
    // first at a later record start that its key index knows: no header is held then, and the
    // record there is data.
    if (f.mfhdr == nullptr && f.buffered_address == f.bytes_remaining) {
      if ((p[0] & kMfvHeaderFlags) != kMfvHeaderFlags) return error(kErrMfvHeaderMissing);
      s.header = true;
    }
  }
  if (s.length > f.blksize) return error(kErrDescTooLong);
  if (remaining < s.block + s.length + s.padding) {
    if (more) return {VariableStep::kMore};
    if (remaining < s.block + s.length) {
      // At the end of the file the tail is cut; in a full buffer the record cannot fit.
      return error(f.physical_end ? kErrDescTail : kErrDescTooLong);
    }
    s.padding = remaining - s.block - s.length;  // missing alignment at the end is ignored
  }
  if (f.recfm == kRecfmV) {
    const int32_t limit = s.block != 0 ? s.block_length : f.block_length;
    const int32_t used = (s.block != 0 ? kWordSize : f.block_used) + s.length;
    if (limit > 0 && used > limit) return error(kErrBlockExceeded);
  }
  return s;
}

const uint8_t* take_variable(FFREC& f, const VariableStep& s) {
  if (s.block != 0) {
    f.block_length = s.block_length;
    f.block_used = kWordSize;
    f.longest_block = std::max(f.longest_block, s.block_length);
    f.buffer_offset += s.block;
    f.bytes_remaining -= s.block;
  } else if (f.recfm == kRecfmV && f.block_length == 0 && !without_blocks(f) &&
             f.record_count == 0 && f.keyed_modes == 0 && f.buffered_address == f.bytes_remaining) {
    f.no_blocks_found = true;  // the first record has no block descriptor: none follow
  }
  const uint8_t* rec = f.buffer + f.buffer_offset;
  const int32_t used = s.length + s.padding;
  f.buffer_offset += used;
  f.bytes_remaining -= used;
  if (f.recfm == kRecfmV && f.block_length > 0) {
    f.block_used += s.length;
    if (f.block_used == f.block_length) f.block_length = f.block_used = 0;
  }
  if (s.header) {
    if (f.mfhdr == nullptr)
      f.mfhdr = static_cast<uint8_t*>(base::qelgcore(kMfvHeaderSize, 0, "mfhdr"));
    std::memset(f.mfhdr, 0, kMfvHeaderSize);
    std::memcpy(f.mfhdr, rec, static_cast<size_t>(std::min(s.length, kMfvHeaderSize)));
  }
  return rec;
}

const char* variable_end_error(const FFREC& f) {
  return f.recfm == kRecfmV && f.block_length > 0 ? kErrDescTail : nullptr;
}

VariableWrite variable_write_length(const FFREC& f, const uint8_t* data, int32_t length) {
  const int32_t r = record_descriptor_size(f);
  int32_t field = kMaxField;
  if (f.recfm == kRecfmV) field = kMaxField - kWordSize;
  if (f.recfm == kRecfmMfv) field = kMaxMfvField;
  const int32_t largest = std::max(std::min(f.lrecl - r, field), 0);
  auto strip = [&] {
    if (!f.truncate) return;
    while (length > 0 && data[length - 1] == f.fill_char) --length;
  };
  strip();
  VariableWrite w;
  if (length > largest) {
    length = largest;
    strip();
    w.truncated = true;
  }
  w.length = length;
  return w;
}

bool variable_fits(const FFREC& f, int32_t data_length) {
  const int32_t r = record_descriptor_size(f);
  const int32_t padding = f.recfm == kRecfmMfv ? (4 - (r + data_length) % 4) % 4 : 0;
  const int32_t limit = block_descriptor_size(f) > 0 ? std::min(f.blksize, kMaxField) : f.blksize;
  return int64_t{f.buffer_offset} + r + data_length + padding <= limit;
}

const char* begin_variable_buffer(FFREC& f, bool first) {
  if (first && f.recfm == kRecfmMfv) {
    if (f.mfhdr != nullptr) return kErrMfvHeaderDup;
    build_mfv_header(f, f.buffer);
    f.mfhdr = static_cast<uint8_t*>(base::qelgcore(kMfvHeaderSize, 0, "ffc->mfhdr"));
    std::memcpy(f.mfhdr, f.buffer, kMfvHeaderSize);
    f.buffer_offset = kMfvHeaderSize;
    return nullptr;
  }
  const int32_t b = block_descriptor_size(f);
  if (b > 0) std::memset(f.buffer, 0, static_cast<size_t>(b));
  f.buffer_offset = b;
  return nullptr;
}

int32_t put_variable(FFREC& f, const uint8_t* data, int32_t length) {
  const int32_t r = record_descriptor_size(f);
  uint8_t* to = f.buffer + f.buffer_offset;
  if (length > 0) std::memcpy(to + r, data, static_cast<size_t>(length));
  int32_t used = r + length;
  if (f.recfm == kRecfmV) {
    put_be16(to, used);
    to[2] = to[3] = 0;
  } else {
    put_be16(to, length);
    if (f.recfm == kRecfmMfv) {
      to[0] |= kMfvDataFlag;
      const int32_t padding = (4 - used % 4) % 4;
      std::memset(to + used, 0, static_cast<size_t>(padding));
      used += padding;
    }
  }
  f.buffer_offset += used;
  if (block_descriptor_size(f) > 0) {
    put_be16(f.buffer, f.buffer_offset);
    f.longest_block = std::max(f.longest_block, f.buffer_offset);
  }
  return r + length;
}

void release_variable(FFREC& f) {
  if (f.mfhdr != nullptr) base::qelgrel(&f.mfhdr, "mfhdr");
}

}  // namespace recsift::files
