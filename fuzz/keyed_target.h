// Keyed reads under arbitrary input: one file in memory (F, U, V, VB, V2 or MFV) with any KEYPOS
// and KEYLEN, and a script of keyed reads (equal, greater or equal, full and generic keys), plain
// READs and READs at a byte address. Every result must be a record, not found, end of file or an
// error text of the file layer. In the sorted mode the file is built from the input's bytes with
// unique keys in ascending order, and every answer is checked against a scan of those records:
// KEY finds the record whose key equals, KGE the first not lower, and the READ after a keyed read
// goes on from the record after the one found (after nothing found: the first greater key).
// Shared by fuzz/keyed_fuzzer.cc and the replay test of the inputs that once failed.
#ifndef RECSIFT_FUZZ_KEYED_TARGET_H_
#define RECSIFT_FUZZ_KEYED_TARGET_H_

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "base/pool.h"
#include "memory_host.h"

namespace recsift::fuzz {

namespace keyed_detail {

using files::FFREC;

// The file's bytes for `records` (data only) in f's format; f's sizes are already valid.
inline std::string lay_out(const FFREC& f, const std::vector<std::string>& records) {
  std::string out;
  auto be16 = [](int32_t v) {
    return std::string{static_cast<char>(v >> 8), static_cast<char>(v)};
  };
  if (f.recfm == files::kRecfmMfv) {
    std::string header(files::kMfvHeaderSize, '\0');
    header[0] = 0x30;
    header[1] = files::kMfvHeaderSize - 2;
    out = header;
  }
  std::string block;
  for (const std::string& r : records) {
    const auto n = static_cast<int32_t>(r.size());
    switch (f.recfm) {
      case files::kRecfmF:
        out += r;
        break;
      case files::kRecfmU:
        out += r + "\n";
        break;
      case files::kRecfmV: {
        std::string rec = be16(n + 4) + std::string(2, '\0') + r;
        if (f.nobdw) {
          out += rec;
          break;
        }
        if (!block.empty() && static_cast<int32_t>(block.size() + rec.size()) + 4 > f.blksize) {
          out += be16(static_cast<int32_t>(block.size()) + 4) + std::string(2, '\0') + block;
          block.clear();
        }
        block += rec;
        break;
      }
      case files::kRecfmV2:
        out += be16(n) + r;
        break;
      default: {
        std::string rec = be16(n | 0x4000) + r;
        rec.append((4 - rec.size() % 4) % 4, '\0');
        out += rec;
        break;
      }
    }
  }
  if (!block.empty())
    out += be16(static_cast<int32_t>(block.size()) + 4) + std::string(2, '\0') + block;
  return out;
}

// Records with unique keys in ascending order, made from the bytes; empty when the key does
// not fit in a record of the format. Each record's data fits LRECL with its descriptor.
inline std::vector<std::string> sorted_records(const FFREC& f, int32_t key_position,
                                               const std::string& bytes) {
  const int32_t descriptor = files::record_format(f.recfm).record_descriptor;
  const int32_t largest = f.lrecl - descriptor;
  const int32_t least = key_position + f.key_length;
  std::vector<std::string> records;
  if (least > largest || least == 0) return records;
  size_t at = 0;
  while (at < bytes.size() && records.size() < 200) {
    const int32_t extra = static_cast<uint8_t>(bytes[at]) % 8;
    const int32_t n = f.recfm == files::kRecfmF ? f.lrecl : std::min(least + extra, largest);
    std::string r = bytes.substr(at + 1, static_cast<size_t>(n));
    r.resize(static_cast<size_t>(n), 'k');
    at += static_cast<size_t>(n) + 1;
    for (char& c : r) {
      // Text lines hold no line ends and no final control-Z; V data hold no zero bytes, which a
      // search for a record start could take for a descriptor's.
      if (f.recfm == files::kRecfmU && (c == '\n' || c == '\r' || c == 0x1A)) c = 'x';
      if (f.recfm == files::kRecfmV && c == '\0') c = 1;
    }
    records.push_back(r);
  }
  auto key = [&](const std::string& r) { return r.substr(key_position, f.key_length); };
  std::stable_sort(records.begin(), records.end(),
                   [&](const std::string& a, const std::string& b) { return key(a) < key(b); });
  records.erase(
      std::unique(records.begin(), records.end(),
                  [&](const std::string& a, const std::string& b) { return key(a) == key(b); }),
      records.end());
  return records;
}

}  // namespace keyed_detail

// Bytes in front of the script.
inline constexpr size_t kKeyedHeader = 10;

// Runs one input; null when every check held, else the one that broke.
// `detail`, when given, receives the file layer's text of the last result and the op count.
inline const char* check_keyed_input(const uint8_t* data, size_t size,
                                     std::string* detail = nullptr) {
  using namespace files;
  ByteSource in(data, size);
  base::PoolArena arena;  // every pool block of the input (buffer, index nodes) goes with it
  MemoryHost host;
  FileRequest request;
  request.host = &host;
  FFREC f;
  define_input(f);

  static constexpr uint8_t kFormats[] = {kRecfmF, kRecfmU, kRecfmV, kRecfmV, kRecfmV2, kRecfmMfv};
  const uint8_t format = in.byte() % 6;
  f.recfm = kFormats[format];
  f.nobdw = format == 2;
  f.blocked = format == 3;
  f.lrecl = static_cast<int32_t>(in.u16() % 400);
  f.blksize = static_cast<int32_t>(in.u16() % 1200);
  const int32_t key_position = in.byte() % 32;  // from the start of the data
  f.key_length = 1 + in.byte() % 12;
  f.key_position_given = f.key_length_given = true;
  f.keyed_modes = kKeyedEqual | kKeyedGreaterEqual | kKeyedRba;
  const uint8_t flags = in.byte();
  f.rdw = (flags & 0x01) != 0;
  f.nordw = !f.rdw;
  const bool sorted = (flags & 0x02) != 0;
  host.least_buffer = (flags & 0x40) != 0 ? 1 << 17 : 0;
  const uint8_t read_size = in.byte();
  host.max_read = (flags & 0x80) != 0 ? read_size % 32 + 1 : 0;
  if (f.recfm == kRecfmU) f.delimiter_length = 2;  // CR, LF and CR LF
  const int ops = in.byte() % 48;
  std::vector<std::pair<uint8_t, uint8_t>> script;
  for (int i = 0; i < ops; ++i) {
    // Two statements: the order in which a call's arguments are evaluated is not fixed, and the
    // replay test may be built by another compiler than the fuzzer.
    const uint8_t op = in.byte();
    script.emplace_back(op, in.byte());
  }
  const std::string rest = in.rest();

  std::vector<std::string> records;
  if (sorted) {
    records = keyed_detail::sorted_records(f, key_position, rest);
    if (records.empty()) return nullptr;
    int32_t overhead = f.recfm == kRecfmU ? 2 : f.recfm == kRecfmMfv ? 3 : f.blocked ? 4 : 0;
    f.blksize = std::max(f.blksize, f.lrecl + overhead);
    if (f.recfm == kRecfmMfv) f.blksize = std::max(f.blksize, kMfvHeaderSize);
    // The key index samples a V file at byte addresses by a search for a chain of descriptors in
    // one buffer, which must hold a record start: with less than two records' room the search may
    // stop at a chain that runs past the buffer and the read then fails ("RECFM=V invalid
    // BDW/RDW", "Cannot find a valid RDW. Check LRECL and BLKSIZE large enough."): an error,
    // never a wrong record (a READ at an address follows the chain from a known start instead).
    if (f.recfm == kRecfmV) f.blksize = std::max(f.blksize, 2 * f.lrecl + 8);
    host.bytes = keyed_detail::lay_out(f, records);
  } else {
    host.bytes = rest;
  }
  // Under RDW the descriptor stays in the record, and the key position counts it.
  const int32_t skip = f.rdw ? record_format(f.recfm).record_descriptor : 0;
  f.key_position = key_position + skip;
  auto key_of = [&](const std::string& r) { return r.substr(key_position, f.key_length); };

  std::string sought;
  size_t next = 0;  // sorted mode: the record the next plain READ must deliver
  for (const auto& [op, arg] : script) {
    const int kind = op % 6;
    const bool generic = (op & 0x40) != 0;
    IoResult r;
    KeyedRead how = KeyedRead::kEqual;
    if (kind <= 2) {
      // The key sought: a record's key (sorted mode), changed by a step, or bytes of the input.
      if (sorted) {
        sought = key_of(records[arg % records.size()]);
        if (kind == 1) sought.back() = static_cast<char>(sought.back() + 1);
        if (kind == 2) sought.back() = static_cast<char>(sought.back() - 1);
      } else {
        sought = rest.substr(std::min<size_t>(arg, rest.size()), f.key_length);
      }
      sought.resize(static_cast<size_t>(f.key_length), static_cast<char>(op));
      if (generic) sought.resize(1 + op % static_cast<size_t>(f.key_length));
      how = (op & 0x80) != 0 ? KeyedRead::kGreaterEqual : KeyedRead::kEqual;
      f.key_sought = reinterpret_cast<const uint8_t*>(sought.data());
      f.key_sought_length = static_cast<int32_t>(sought.size());
      r = read_keyed(request, f, how, nullptr, 0);
    } else if (kind <= 4) {
      r = read_record(request, f, nullptr, 0);
    } else {
      f.position = static_cast<int64_t>(arg) * 7 - 20;
      r = read_at(request, f, nullptr, 0);
    }
    const bool keyed = kind <= 2;
    if (detail != nullptr) {
      *detail = "op " + std::to_string(op) + " arg " + std::to_string(arg) + " status " +
                std::to_string(static_cast<int>(r.status)) + " " +
                (r.error() != nullptr ? r.error() : "") + " records " +
                std::to_string(records.size()) + " next " + std::to_string(next);
    }
    switch (r.status) {
      case IoStatus::kRecord:
        if (r.record() == nullptr || r.length < 0 || r.length > f.blksize) {
          return "a record without data or of an impossible length";
        }
        break;
      case IoStatus::kNotFound:
        if (std::strcmp(r.error(), kErrNotFound) != 0) return "not found with another text";
        break;
      case IoStatus::kEndOfFile:
        if (f.is_open || host.open_now) return "end of file left the file open";
        break;
      case IoStatus::kError:
        if (!file_layer_text(r.error())) return "an error text the file layer does not have";
        if (sorted) return "an error on a well-formed file in key order";
        break;
    }
    const auto length = static_cast<size_t>(f.key_sought_length);
    std::string got;
    if (r.ok() && r.length >= skip) {
      got.assign(reinterpret_cast<const char*>(r.record()) + skip,
                 static_cast<size_t>(r.length - skip));
    }
    if (keyed && r.ok() && got.size() >= key_position + length) {
      const int order = got.compare(key_position, length, sought);
      if (how == KeyedRead::kEqual ? order != 0 : order < 0) return "a keyed read missed its key";
    }
    if (!sorted || kind == 5) {
      if (kind == 5 && sorted && r.ok()) {
        const auto found = std::find(records.begin(), records.end(), got);
        if (found == records.end()) return "READ at an address delivered no record of the file";
        next = static_cast<size_t>(found - records.begin()) + 1;
      } else if (kind == 5 && sorted) {
        // Nothing at or after the address: 0 or the end; an end of file closed the file.
        next = f.position <= 0 || r.status == IoStatus::kEndOfFile ? 0 : records.size();
      }
      continue;
    }
    // Sorted mode: the answer of a scan over the records.
    size_t expected = next;
    if (keyed) {
      expected = records.size();
      for (size_t i = 0; i < records.size(); ++i) {
        if (key_of(records[i]).compare(0, length, sought) >= 0) {
          expected = i;
          break;
        }
      }
      const bool equal =
          expected < records.size() && key_of(records[expected]).compare(0, length, sought) == 0;
      if (how == KeyedRead::kEqual && !equal) {
        // Nothing found: the next READ starts at the first greater key.
        if (r.status != IoStatus::kNotFound) return "KEY found a key the file does not hold";
        next = expected;
        continue;
      }
    }
    if (expected >= records.size()) {
      if (r.status != (keyed ? IoStatus::kNotFound : IoStatus::kEndOfFile)) {
        return "a read past the last record delivered one";
      }
      next = keyed ? records.size() : 0;  // end of file closes: the next READ starts again
      continue;
    }
    if (!r.ok() || got != records[expected]) {
      if (detail != nullptr) {
        *detail += " expected " + std::to_string(expected) + " got " + std::to_string(got.size()) +
                   " bytes at " + std::to_string(f.position);
      }
      return "a read delivered another record than a scan";
    }
    next = expected + 1;
  }
  release_key_index(f);
  if (close_file(request, f).status != IoStatus::kRecord) return "CLOSE of an input failed";
  if (host.open_now || f.is_open) return "CLOSE left the file open";
  if (host.bad_calls != 0) return "a host call on a handle that was not open";
  return nullptr;
}

}  // namespace recsift::fuzz

#endif  // RECSIFT_FUZZ_KEYED_TARGET_H_
