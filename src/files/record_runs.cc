// Runs of records: many fixed records moved from an input buffer to an output buffer, or many
// text lines read, in one call for the record loop's fast paths.
//
// Exports (files.h): fixed_runs_possible, run_fixed_records, fixed_reads_possible,
// run_fixed_reads, text_runs_possible, run_text_lines.
//
// Invariant: after a run each file is exactly as the single calls would have left it (the
// fields read_record and write_record set, the same counts, positions and lengths). A run only
// takes records that the single calls would find whole in the buffered data without a host call,
// so a run never reads, writes, refills or flushes: everything at a buffer end, at the end of the
// data, or of another shape is left to the single calls.
#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "files/files.h"
#include "files/record_io.h"

namespace recsift::files {

namespace {

// The host files both kinds of run work on: nothing that routes records elsewhere.
bool plain_host_file(const FFREC& f) {
  return f.file_type == kFileOrdinary && f.predefined == kPredefNone && !f.standard_stream &&
         !f.dir_member && f.keyed_modes == 0 && !f.fill;
}

// An input whose next reads are plain sequential reads of the buffered data.
bool reading_on(const FFREC& f) {
  return f.is_open && f.buffer != nullptr && !f.resync && f.read_limit == 0 && f.skip_before < 0;
}

// Translates `bytes` bytes through a 256-byte table, from `from` to `to` (which do not overlap).
#if defined(__x86_64__)
// 32 bytes a step, for machines with 256-bit vectors (chosen once at run time): the table as 16
// rows of 16, each row looked up by the low half of every byte at once, and the row of each
// byte's high half chosen by its bits 4 to 7, one bit a level.
__attribute__((target("avx2"))) int64_t translate_32(const uint8_t* from, uint8_t* to,
                                                     int64_t bytes, const uint8_t* table) {
  __m256i rows[16];
  for (int h = 0; h < 16; ++h) {
    rows[h] = _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(table + 16 * h)));
  }
  const __m256i low_half = _mm256_set1_epi8(0x0F);
  int64_t i = 0;
  for (; i + 32 <= bytes; i += 32) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i));
    const __m256i index = _mm256_and_si256(x, low_half);
    __m256i pick[8];
    // Bit 4 moved to bit 7, which is what a blend looks at (16-bit shifts keep each byte's own
    // bit 7 its own).
    const __m256i bit4 = _mm256_slli_epi16(x, 3);
    for (int h = 0; h < 8; ++h) {
      pick[h] = _mm256_blendv_epi8(_mm256_shuffle_epi8(rows[2 * h], index),
                                   _mm256_shuffle_epi8(rows[2 * h + 1], index), bit4);
    }
    const __m256i bit5 = _mm256_slli_epi16(x, 2);
    for (int h = 0; h < 4; ++h) pick[h] = _mm256_blendv_epi8(pick[2 * h], pick[2 * h + 1], bit5);
    const __m256i bit6 = _mm256_slli_epi16(x, 1);
    for (int h = 0; h < 2; ++h) pick[h] = _mm256_blendv_epi8(pick[2 * h], pick[2 * h + 1], bit6);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + i),
                        _mm256_blendv_epi8(pick[0], pick[1], x));
  }
  return i;
}
#endif

void translate(const uint8_t* from, uint8_t* to, int64_t bytes, const uint8_t* table) {
  int64_t i = 0;
#if defined(__x86_64__)
  static const bool wide = __builtin_cpu_supports("avx2");
  if (wide) i = translate_32(from, to, bytes, table);
#endif
  for (; i < bytes; ++i) to[i] = table[from[i]];
}

// The LF bytes of [from, limit) in order, found 64 bytes at a time: a run of short lines costs
// a few instructions a line rather than a search call each.
class LineEnds {
 public:
  LineEnds(const uint8_t* from, const uint8_t* limit) : scan_(from), limit_(limit) {}
  // The next LF, or null when there is none before the limit.
  const uint8_t* next() {
    while (mask_ == 0) {
      if (scan_ >= limit_) return nullptr;
      base_ = scan_;
      mask_ = limit_ - scan_ >= 64 ? mask64(scan_) : tail_mask(scan_, limit_ - scan_);
      scan_ += 64;
    }
    const int bit = __builtin_ctzll(mask_);
    mask_ &= mask_ - 1;
    return base_ + bit;
  }

 private:
  static uint64_t tail_mask(const uint8_t* p, int64_t n) {
    uint64_t m = 0;
    for (int64_t i = 0; i < n; ++i) m |= uint64_t{p[i] == '\n'} << i;
    return m;
  }
#if defined(__x86_64__)
  static uint64_t mask64(const uint8_t* p) {
    const __m128i lf = _mm_set1_epi8('\n');
    const auto part = [&](int i) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
      return uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, lf)))};
    };
    return part(0) | part(1) << 16 | part(2) << 32 | part(3) << 48;
  }
#else
  static uint64_t mask64(const uint8_t* p) {
    return tail_mask(p, 64);
  }
#endif

  const uint8_t* scan_;            // the first byte not yet in a mask
  const uint8_t* const limit_;     // the end of the bytes searched
  const uint8_t* base_ = nullptr;  // the byte of bit 0 of mask_
  uint64_t mask_ = 0;              // LFs found and not yet handed out
};

// The input after `count` (>= 1) whole F records buffered from its buffer offset were read one
// by one.
void took_fixed_records(FFREC& in, int32_t count) {
  const int32_t n = in.lrecl;
  const int64_t bytes = int64_t{count} * n;
  in.previous_length = count >= 2 ? n : in.current_length;
  in.position = in.buffered_address - in.bytes_remaining + bytes - n;
  in.buffer_offset += static_cast<int32_t>(bytes);
  in.bytes_remaining -= static_cast<int32_t>(bytes);
  in.delimiter_found = 0;
  in.tab_seen = false;
  in.current_length = n;
  in.longest_record = std::max(in.longest_record, n);
  in.record_count += count;
}

}  // namespace

bool fixed_runs_possible(const FFREC& in, const FFREC& out) {
  return &in != &out && plain_host_file(in) && plain_host_file(out) && in.recfm == kRecfmF &&
         out.recfm == kRecfmF && in.lrecl >= 2 && in.lrecl == out.lrecl &&
         in.open_type == kOpenInput && out.open_type == kOpenOutput && in.tab_width <= 0;
}

int32_t run_fixed_records(FFREC& in, FFREC& out, const uint8_t* table, uint8_t** last) {
  if (!fixed_runs_possible(in, out) || !reading_on(in) || !out.is_open || out.buffer == nullptr ||
      out.write_error) {
    return 0;
  }
  const int32_t n = in.lrecl;
  // Each read finds at least n (>= 2) bytes: no refill before it. Each write fits without a
  // flush: buffer_offset + n stays within the capacity.
  const int32_t room = out.buffer_capacity - out.buffer_offset;
  const int32_t count = std::min(in.bytes_remaining / n, room > 0 ? room / n : 0);
  if (count <= 0) return 0;
  const int64_t bytes = int64_t{count} * n;
  uint8_t* from = in.buffer + in.buffer_offset;
  uint8_t* to = out.buffer + out.buffer_offset;
  uint8_t* final_record = from + bytes - n;
  if (table != nullptr) {
    translate(from, to, bytes, table);
    // The record read last stays current: it is translated where it lies, as the single
    // statement would have left it. The ones before it are never looked at again.
    std::memcpy(final_record, to + bytes - n, static_cast<size_t>(n));
  } else {
    std::memcpy(to, from, static_cast<size_t>(bytes));
  }

  took_fixed_records(in, count);

  out.record_truncated = false;
  out.current_length = n;
  out.position = out.buffered_address + out.buffer_offset + bytes - n;
  out.buffer_offset += static_cast<int32_t>(bytes);
  out.longest_record = std::max(out.longest_record, n);
  out.record_count += count;
  *last = final_record;
  return count;
}

bool fixed_reads_possible(const FFREC& in) {
  return plain_host_file(in) && in.recfm == kRecfmF && in.lrecl >= 2 &&
         in.open_type == kOpenInput && in.tab_width <= 0;
}

int32_t run_fixed_reads(FFREC& in, RecordFilter take, void* context, uint8_t** last) {
  if (!fixed_reads_possible(in) || !reading_on(in)) return 0;
  const int32_t n = in.lrecl;
  uint8_t* const start = in.buffer + in.buffer_offset;
  const int32_t whole = in.bytes_remaining / n;  // each found whole without a refill
  int32_t count = 0;
  while (count < whole && take(context, start + int64_t{count} * n)) ++count;
  if (count == 0) return 0;
  took_fixed_records(in, count);
  *last = start + int64_t{count - 1} * n;
  return count;
}

bool text_runs_possible(const FFREC& in) {
  return plain_host_file(in) && record_format(in.recfm).finder == RecordCode::kText &&
         in.open_type == kOpenInput && in.delimiter == nullptr && in.delimiter_length > 0 &&
         in.tab_width <= 0 && in.lrecl >= 1;
}

int32_t run_text_lines(FFREC& in, LineFilter take, void* context, uint8_t** last) {
  if (!text_runs_possible(in) || !reading_on(in) || in.bytes_remaining < 2) return 0;
  uint8_t* const start = in.buffer + in.buffer_offset;
  const uint8_t* const data_end = start + in.bytes_remaining;
  // A line is taken only when its LF comes before the next CR, within LRECL + 1 bytes, and at
  // least 2 bytes are buffered from its start: the line the single read hands over in the buffer.
  const uint8_t* const limit = start + next_carriage_return(in, start, in.bytes_remaining);
  const int64_t lrecl = in.lrecl;
  uint8_t* line = start;
  uint8_t* final_line = nullptr;
  int32_t count = 0;
  int32_t before_final = in.current_length;
  int32_t length = in.current_length;
  int32_t longest = 0;
  LineEnds ends(start, limit);
  while (data_end - line >= 2 && line < limit) {
    const uint8_t* lf = ends.next();
    // Beyond LRECL the single read splits the line: left to it.
    if (lf == nullptr || lf - line > lrecl) break;
    const auto n = static_cast<int32_t>(lf - line);
    if (!take(context, line, n, limit)) break;
    before_final = length;
    length = n;
    longest = std::max(longest, n);
    final_line = line;
    ++count;
    line += n + 1;
  }
  if (count == 0) return 0;
  const auto used = static_cast<int32_t>(line - start);
  in.previous_length = before_final;
  in.position = in.buffered_address - (data_end - final_line);
  in.buffer_offset += used;
  in.bytes_remaining -= used;
  in.truncate = false;
  in.delimiter_found = 1;
  in.tab_seen = false;
  in.current_length = length;
  in.longest_record = std::max(in.longest_record, longest);
  in.record_count += count;
  *last = final_line;
  return count;
}

}  // namespace recsift::files
