// Keyed access: reads by key of a file whose records are in ascending key order, with no index
// file. A binary tree of sample points over the file (IndexNode) is built on first use and only
// as far as each search needs; a search walks it down to a half that spans less than two
// buffers (2 x BLKSIZE) and reads that half record by record.
//
// Owns: the sample tree of each keyed file (nodes from the pool "xxrec", their keys "kk2"),
// sampling a key at a byte address, the descent, the closing sequential search, and where a
// keyed read leaves the file when the key is not there.
// Exports (files.h): read_keyed, release_key_index; (keyed_access.h): ensure_key_index,
// key_in_range.
//
// Invariants:
//  - Reads made for the index deliver nothing: the record count, the current and previous
//    lengths and the longest record are as they were before them; they never close the file at
//    its end and never fail over tabs to expand.
//  - A read positioned for a key brings only a few buffers from the host (FFREC::read_limit),
//    never the large buffer sequential reading uses; the limit is lifted before returning.
//  - A node's start key is lower than its middle key and that lower than its end key; equal
//    keys pass only when they are the same record (a range too small to hold three).
//  - Every node lives until release_key_index; the tree depth stays within kMaxLevels.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/pool.h"
#include "files/files.h"
#include "files/keyed_access.h"
#include "files/record_io.h"
#include "files/variable_records.h"

namespace recsift::files {
namespace {

constexpr int32_t kMaxLevels = 48;

// The failure of a keyed read: the file's last error, told to the reporter once.
IoResult failed(FileRequest& request, FFREC& f, const char* text) {
  f.last_error = text;
  if (request.reporter != nullptr) request.reporter->failed(f, text);
  return {IoStatus::kError, 0, text};
}

IoResult not_found(FFREC& f) {
  f.last_error = kErrNotFound;
  return {IoStatus::kNotFound, 0, kErrNotFound};
}

// Bytes of the keys the tree holds.
int32_t key_bytes(const FFREC& f) {
  return f.key_length;
}

// -1, 0, 1 as the key sought compares with `key`, over the sought length (a shorter key sought
// compares as a prefix).
int compare_sought(const FFREC& f, const uint8_t* key) {
  const int32_t n = std::min(f.key_sought_length, key_bytes(f));
  const int c = std::memcmp(f.key_sought, key, static_cast<size_t>(n));
  return (c > 0) - (c < 0);
}

// The key sought is the whole key: an equal key in the tree is the record itself.
bool full_key(const FFREC& f) {
  return f.key_length_given && f.key_sought_length >= f.key_length;
}

// Reads made for the index: what they change of the delivered state is put back, and their host
// reads are kept small.
class QuietReads {
 public:
  QuietReads(FFREC& f, int32_t limit)
      : f_(f),
        count_(f.record_count),
        previous_(f.previous_length),
        current_(f.current_length),
        longest_(f.longest_record),
        no_close_(f.no_close_at_eof),
        no_tab_check_(f.no_tab_check) {
    f.no_close_at_eof = true;
    f.no_tab_check = true;
    f.read_limit = limit;
  }
  ~QuietReads() {
    f_.record_count = count_;
    f_.previous_length = previous_;
    f_.current_length = current_;
    f_.longest_record = longest_;
    f_.no_close_at_eof = no_close_;
    f_.no_tab_check = no_tab_check_;
    f_.read_limit = 0;
  }
  QuietReads(const QuietReads&) = delete;
  QuietReads& operator=(const QuietReads&) = delete;

 private:
  FFREC& f_;
  int64_t count_;
  int32_t previous_, current_, longest_;
  bool no_close_, no_tab_check_;
};

// Checks a record read for the index and copies its key. kRecord, or the failure (reported).
IoResult take_key(FileRequest& request, FFREC& f, const IoResult& r, uint8_t* key) {
  if (r.status == IoStatus::kError) return r;  // reported with its own text
  if (!r.ok()) return failed(request, f, kErrSeqReadForKey);
  if (record_format(f.recfm).finder == RecordCode::kText && f.truncate) {
    return failed(request, f, kErrBufferLrecl);  // a line longer than LRECL was cut
  }
  if (r.length < f.key_position + key_bytes(f)) return failed(request, f, kErrRecTooSmall);
  std::memcpy(key, r.record() + f.key_position, static_cast<size_t>(key_bytes(f)));
  return r;
}

// Samples the record at or after `address`: its key into `key`, its address into *at.
IoResult sample(FileRequest& request, FFREC& f, int64_t address, uint8_t* key, int64_t* at) {
  f.position = address;
  const IoResult r = take_key(request, f, read_at_position(request, f, nullptr, 0), key);
  if (r.ok()) *at = f.position;
  return r;
}

// The middle of a range: halfway, on a record boundary for fixed records.
int64_t middle_of(const FFREC& f, int64_t start, int64_t end) {
  int64_t middle = start + (end - start) / 2;
  if (f.recfm == kRecfmF) middle -= middle % f.lrecl;
  return std::max(middle, start);
}

// a before b in key order: a lower key, or the very same record.
bool in_order(const FFREC& f, const uint8_t* a, int64_t a_at, const uint8_t* b, int64_t b_at) {
  const int c = std::memcmp(a, b, static_cast<size_t>(key_bytes(f)));
  return c < 0 || (c == 0 && a_at == b_at);
}

IndexNode* new_node(const FFREC& f) {
  auto* node = static_cast<IndexNode*>(base::qelgcore(sizeof(IndexNode), 0, "xxrec"));
  auto* keys = static_cast<uint8_t*>(base::qelgcore(3 * int64_t{key_bytes(f)}, 0, "kk2"));
  node->start_key = keys;
  node->middle_key = keys + key_bytes(f);
  node->end_key = keys + 2 * key_bytes(f);
  return node;
}

void free_node(IndexNode*& node) {
  if (node == nullptr) return;
  free_node(node->low);
  free_node(node->high);
  base::qelgrel(&node->start_key, "kk2");
  base::qelgrel(&node, "xxrec");
}

// Samples the middle of a node whose start and end are set, checks the order of its keys, and
// marks its small halves. The node joins the tree (counted, current) only when it holds.
IoResult finish_node(FileRequest& request, FFREC& f, IndexNode* node) {
  node->middle = middle_of(f, node->start, node->end);
  IoResult r;
  {
    QuietReads quiet(f, f.blksize);
    f.key_range = node->level > 1 ? node : nullptr;
    note_record_start(f, node->start);
    r = sample(request, f, node->middle, node->middle_key, &node->middle);
    f.key_range = nullptr;
  }
  if (!r.ok()) return r;
  if (!in_order(f, node->start_key, node->start, node->middle_key, node->middle) ||
      !in_order(f, node->middle_key, node->middle, node->end_key, node->end)) {
    return failed(request, f, kErrKeySequence);
  }
  const int64_t small = 2 * int64_t{f.blksize};
  if (node->middle - node->start < small) node->flags |= kSmallLow;
  if (node->end - node->middle < small) node->flags |= kSmallHigh;
  ++f.index_nodes;
  f.index_current = node;
  return r;
}

// The root: the first record, the last record (read up to the end of the file), the middle.
IoResult build_root(FileRequest& request, FFREC& f) {
  if (f.key_length <= 0) f.key_length = f.key_sought_length;  // KEYLEN not given: the key's own
  if (f.key_length <= 0) return failed(request, f, kErrIndexBuild);
  IndexNode* node = new_node(f);
  node->level = 1;
  IoResult r;
  {
    QuietReads quiet(f, f.blksize);
    r = sample(request, f, 0, node->start_key, &node->start);
    if (r.ok()) {
      int64_t end = std::max<int64_t>(f.file_size - f.blksize, node->start);
      if (f.recfm == kRecfmF) end -= end % f.lrecl;
      for (;;) {
        f.position = std::max(end, node->start);
        const IoResult got = read_at_position(request, f, nullptr, 0);
        if ((got.status == IoStatus::kEndOfFile || got.status == IoStatus::kNotFound) &&
            end > node->start) {
          // The last record began before that address and runs to the end: look earlier.
          end = std::max(end - f.blksize, node->start);
          continue;
        }
        r = take_key(request, f, got, node->end_key);
        if (r.ok()) node->end = f.position;
        break;
      }
      while (r.ok()) {
        const IoResult next = read_next_record(request, f);
        if (next.status == IoStatus::kEndOfFile) break;
        r = take_key(request, f, next, node->end_key);
        if (r.ok()) node->end = f.position;
      }
    }
  }
  if (r.ok()) r = finish_node(request, f, node);
  if (!r.ok()) {
    free_node(node);
    return r.status == IoStatus::kError ? r : failed(request, f, kErrIndexBuild);
  }
  f.index_root = node;
  return r;
}

// The child of the current node for its low or high half, built when it does not exist yet.
IoResult child(FileRequest& request, FFREC& f, bool high, IndexNode** out) {
  IndexNode* parent = f.index_current;
  if (parent == nullptr) return failed(request, f, kErrIndexLogic);
  IndexNode*& slot = high ? parent->high : parent->low;
  if (slot == nullptr) {
    if (parent->level >= kMaxLevels) return failed(request, f, kErrIndexDepth);
    IndexNode* node = new_node(f);
    node->level = parent->level + 1;
    node->parent = parent;
    const size_t n = static_cast<size_t>(key_bytes(f));
    node->start = high ? parent->middle : parent->start;
    node->end = high ? parent->end : parent->middle;
    std::memcpy(node->start_key, high ? parent->middle_key : parent->start_key, n);
    std::memcpy(node->end_key, high ? parent->end_key : parent->middle_key, n);
    if (const IoResult r = finish_node(request, f, node); !r.ok()) {
      free_node(node);
      f.index_current = parent;
      return r.status == IoStatus::kError ? r : failed(request, f, kErrIndexBuild);
    }
    slot = node;
  }
  f.index_current = slot;
  *out = slot;
  return {IoStatus::kRecord};
}

// Where a search ended: the record to deliver (its address, and whether its key equals the key
// sought), or nothing at `address` (0 or the file size).
struct Target {
  bool found = false;  // a record with a key not lower than the key sought
  bool equal = false;  // its key equals the key sought
  int64_t address = 0;
};

// Reads from `from` (a record start) until a key is not lower than the key sought.
IoResult search_half(FileRequest& request, FFREC& f, int64_t from, Target* t) {
  QuietReads quiet(f, 2 * f.blksize);
  note_record_start(f, from);
  f.position = from;
  IoResult r = read_at_position(request, f, nullptr, 0);
  for (;;) {
    if (r.status == IoStatus::kEndOfFile || r.status == IoStatus::kNotFound) {
      t->address = f.file_size;
      return {IoStatus::kRecord};
    }
    if (r.status == IoStatus::kError) return r;
    if (r.length < f.key_position + key_bytes(f)) return failed(request, f, kErrRecTooSmall);
    const int c = compare_sought(f, r.record() + f.key_position);
    if (c <= 0) {
      *t = {true, c == 0, f.position};
      return r;
    }
    r = read_next_record(request, f);
  }
}

// The descent from the root to the record or the half that holds the key sought.
IoResult find(FileRequest& request, FFREC& f, KeyedRead how, Target* t) {
  IndexNode* node = f.index_root;
  f.index_current = node;
  int c = compare_sought(f, node->start_key);
  if (c <= 0) {
    if (c < 0 && how == KeyedRead::kEqual) {
      t->address = 0;
    } else {
      *t = {true, c == 0, node->start};
    }
    return {IoStatus::kRecord};
  }
  c = compare_sought(f, node->end_key);
  if (c > 0) {
    t->address = f.file_size;
    return {IoStatus::kRecord};
  }
  if (c == 0 && full_key(f)) {
    *t = {true, true, node->end};
    return {IoStatus::kRecord};
  }
  for (;;) {
    c = compare_sought(f, node->middle_key);
    if (c == 0 && full_key(f)) {
      *t = {true, true, node->middle};
      return {IoStatus::kRecord};
    }
    const bool high = c > 0;
    if ((node->flags & (high ? kSmallHigh : kSmallLow)) != 0) {
      return search_half(request, f, high ? node->middle : node->start, t);
    }
    if (const IoResult r = child(request, f, high, &node); !r.ok()) return r;
  }
}

}  // namespace

IoResult ensure_key_index(FileRequest& request, FFREC& f) {
  if (f.index_root != nullptr) return {IoStatus::kRecord};
  if (!f.is_open) {
    if (const IoResult r = open_file(request, f); r.status == IoStatus::kError) return r;
  }
  if (f.empty) return not_found(f);
  return build_root(request, f);
}

IoResult read_keyed(FileRequest& request, FFREC& f, KeyedRead how, uint8_t* area,
                    int32_t area_length) {
  if (f.predefined == kPredefDummy) return failed(request, f, kErrFunction);
  if (f.key_sought == nullptr || f.standard_stream ||
      (f.key_sought_length <= 0 && f.key_length <= 0)) {
    return failed(request, f, kErrKeyed);
  }
  if (!f.is_open) {
    if (const IoResult r = open_file(request, f); r.status == IoStatus::kError) return r;
  }
  if (f.empty) {
    f.position = 0;
    return not_found(f);
  }
  if (const IoResult r = ensure_key_index(request, f); !r.ok()) return r;
  Target t;
  if (const IoResult r = find(request, f, how, &t); r.status == IoStatus::kError) return r;
  if (!t.found || (how == KeyedRead::kEqual && !t.equal)) {
    // Not there: the next READ goes on from 0, the end, or the first greater key.
    if (!place_for_read(request, f, t.address)) return failed(request, f, kErrReposition);
    return not_found(f);
  }
  note_record_start(f, t.address);
  f.position = t.address;
  f.read_limit = 2 * f.blksize;
  const IoResult r = read_at_position(request, f, area, area_length);
  f.read_limit = 0;
  // The record is found again from its address: a V record by a search for a chain of
  // descriptors, which data that look like descriptors may lead past it; a text line by skipping
  // the line that ends at or after the address, which a line cut at LRECL does not. The record
  // delivered must be the one the search found, never another record in its place.
  if (r.ok() && !f.tab_seen) {
    const int c = r.length < f.key_position + key_bytes(f)
                      ? 1
                      : compare_sought(f, r.record() + f.key_position);
    if (c > 0 || (t.equal && c != 0)) {
      return failed(request, f,
                    f.recfm == kRecfmV                                   ? kErrNoRecordStart
                    : record_format(f.recfm).finder == RecordCode::kText ? kErrBufferLrecl
                                                                         : kErrIndexLogic);
    }
  }
  return r;
}

bool key_in_range(const FFREC& f, const uint8_t* record, int32_t length, const uint8_t** previous) {
  const IndexNode* node = f.key_range;
  if (node == nullptr) return true;
  const int32_t at = (f.rdw ? 0 : f.descriptor_length) + f.key_position;
  if (length < at + key_bytes(f)) return true;
  const uint8_t* key = record + at;
  const auto n = static_cast<size_t>(key_bytes(f));
  const uint8_t* lower = *previous != nullptr ? *previous : node->start_key;
  if (std::memcmp(lower, key, n) > 0 || std::memcmp(node->start_key, key, n) > 0) return false;
  *previous = key;
  return true;
}

void release_key_index(FFREC& f) {
  free_node(f.index_root);
  f.index_current = nullptr;
  f.key_range = nullptr;
  f.index_nodes = 0;
}

}  // namespace recsift::files
