// The record reader under arbitrary input: the first bytes of an input set up one file (record
// format, LRECL, BLKSIZE, descriptor handling, line ends, tabs, FILL, the host's read size and a
// few byte addresses), the rest is the file's content, served from memory. Reads run to the end
// (bounded), mixing READ and READ at a byte address, and every result is checked against what
// must hold whatever the bytes: see check_reader_input. Shared by fuzz/reader_fuzzer.cc and the
// replay test of the inputs that once failed.
#ifndef RECSIFT_FUZZ_READER_TARGET_H_
#define RECSIFT_FUZZ_READER_TARGET_H_

#include <algorithm>
#include <cstdint>
#include <vector>

#include "base/pool.h"
#include "memory_host.h"

namespace recsift::fuzz {

// Bytes in front of the file's content.
inline constexpr size_t kReaderHeader = 23;

// Runs one input; null when every invariant held, else the one that broke.
inline const char* check_reader_input(const uint8_t* data, size_t size) {
  using namespace files;
  ByteSource in(data, size);
  base::PoolArena arena;  // every pool block of the input goes with it
  MemoryHost host;
  FileRequest request;
  request.host = &host;
  FFREC f;
  define_input(f);

  // Format: F, FB, U, V, VB, V with NOBDW, V2, MFV.
  const uint8_t format = in.byte() % 8;
  static constexpr uint8_t kFormats[] = {kRecfmF, kRecfmF, kRecfmU,  kRecfmV,
                                         kRecfmV, kRecfmV, kRecfmV2, kRecfmMfv};
  f.recfm = kFormats[format];
  f.blocked = format == 1 || format == 4;
  f.nobdw = format == 5;
  f.lrecl = static_cast<int32_t>(in.u16() % 700);  // 0: from BLKSIZE
  f.lrecl_given = f.lrecl > 0;
  f.blksize = static_cast<int32_t>(in.u16() % 1500);  // 0: from LRECL
  const uint8_t flags = in.byte();
  f.rdw = (flags & 0x01) != 0;
  f.nordw = !f.rdw;
  const int eol = (flags >> 1) & 3;  // default, EOL=NO, a standard delimiter, a typed one
  f.fill = (flags & 0x08) != 0;
  f.keep_ctlz = (flags & 0x20) != 0;
  host.least_buffer = (flags & 0x40) != 0 ? 1 << 17 : 0;
  const uint8_t read_size = in.byte();
  host.max_read = (flags & 0x80) != 0 ? read_size % 64 + 1 : 0;
  const uint8_t tabs = in.byte() % 9;
  f.fill_char = in.byte();
  char typed_delimiter[4] = {};
  for (char& c : typed_delimiter) c = static_cast<char>(in.byte());
  const int32_t area_length = static_cast<int32_t>(in.u16() % 1200);  // 0: records in place
  int64_t positions[3];
  for (int64_t& p : positions) p = static_cast<int64_t>(in.u16() % 2100) - 20;
  const uint32_t script = in.u16();
  if (f.recfm == kRecfmU) {
    f.tab_width = tabs == 0 ? -1 : tabs;
    if (eol == 0) {
      f.delimiter_length = 2;  // CR, LF and CR LF all end a line
    } else if (eol == 1) {
      f.delimiter_length = 0;  // EOL=NO: pieces of LRECL bytes
    } else if (eol == 2) {
      static const char* const kStandard[] = {"\r\n", "\n", "\r", "\r\n"};
      f.delimiter = kStandard[read_size % 4];
      f.delimiter_length = static_cast<int32_t>(std::strlen(f.delimiter));
    } else {
      f.delimiter = typed_delimiter;
      f.delimiter_length = 1 + read_size % 3;
    }
  }
  host.bytes = in.rest();
  const int64_t file_size = static_cast<int64_t>(host.bytes.size());

  std::vector<uint8_t> area(static_cast<size_t>(area_length) + 1);
  uint8_t* area_data = area_length > 0 ? area.data() : nullptr;
  const bool variable = record_format(f.recfm).finder == RecordCode::kVariable;
  int64_t consumed = 0;       // data bytes delivered since the last open or reposition
  int64_t last_address = -1;  // address of the record before, in that same run of READs
  int errors = 0;
  int ends = 0;
  const int steps = static_cast<int>(std::min<int64_t>(4 * file_size + 64, 20000));
  for (int step = 0; step < steps && errors < 8; ++step) {
    // At most one READ in four is at a byte address, as the script's bits say.
    const bool at = step % 4 == 3 && ((script >> (step / 4 % 16)) & 1) != 0;
    int64_t target = 0;
    IoResult r;
    if (at) {
      target = positions[step / 4 % 3];
      f.position = target;
      r = read_at(request, f, area_data, area_length);
      consumed = 0;
      last_address = -1;
    } else {
      r = read_record(request, f, area_data, area_length);
    }
    switch (r.status) {
      case IoStatus::kRecord: {
        if (r.record() == nullptr) return "a record without data";
        if (r.length < 0 || r.length != f.current_length) return "record length not current";
        if (!f.is_open || !host.open_now) return "a record from a closed file";
        if (!f.tab_seen) {
          // V2 and MFV records are bounded by BLKSIZE only (their MFV header is 128 bytes
          // whatever LRECL); every other format by LRECL.
          const bool short_words = f.recfm == kRecfmV2 || f.recfm == kRecfmMfv;
          if (r.length > (short_words ? f.blksize : f.lrecl)) return "a record longer than allowed";
          const int64_t bytes = r.length + (variable && !f.rdw ? f.descriptor_length : 0);
          consumed += bytes;
          if (consumed > file_size) return "more data delivered than the file holds";
          if (f.position < 0 || f.position + bytes > file_size) return "a record outside the file";
        } else if (area_data == nullptr || r.length > area_length) {
          return "expanded tabs outside the caller's area";
        }
        if (f.position <= last_address) return "a READ that did not move forward";
        if (at) {
          const int32_t piece = f.recfm == kRecfmF                              ? f.lrecl
                                : f.recfm == kRecfmU && f.delimiter_length <= 0 ? f.current_lrecl
                                                                                : 0;
          if (piece > 0 ? f.position > target || f.position + piece <= target
                        : f.position < target) {
            return "READ at an address delivered another record";
          }
        }
        last_address = f.position;
        break;
      }
      case IoStatus::kEndOfFile:
        if (f.is_open || host.open_now) return "end of file left the file open";
        consumed = 0;
        last_address = -1;
        if (!at && ++ends == 2) step = steps;  // the file read to its end twice is enough
        break;
      case IoStatus::kNotFound:
        if (!at || r.error() == nullptr || std::strcmp(r.error(), kErrNotFound) != 0) {
          return "not found outside a READ at an address";
        }
        consumed = 0;
        last_address = -1;
        break;
      case IoStatus::kError:
        if (!file_layer_text(r.error())) return "an error text the file layer does not have";
        if (f.last_error != r.error()) return "last_error differs from the result";
        ++errors;
        consumed = 0;
        last_address = -1;
        break;
    }
  }
  if (close_file(request, f).status != IoStatus::kRecord) return "CLOSE of an input failed";
  if (host.open_now || f.is_open) return "CLOSE left the file open";
  if (host.bad_calls != 0) return "a host call on a handle that was not open";
  return nullptr;
}

}  // namespace recsift::fuzz

#endif  // RECSIFT_FUZZ_READER_TARGET_H_
