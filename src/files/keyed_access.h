// Keyed access inside the file layer: the index node built over a file in key order, and the few
// calls record I/O and the variable formats make into it (and it into them). Not for use outside
// src/files: files.h declares what the rest of the system may call.
#ifndef RECSIFT_FILES_KEYED_ACCESS_H_
#define RECSIFT_FILES_KEYED_ACCESS_H_

#include <cstdint>

#include "files/files.h"

namespace recsift::files {

inline constexpr const char* kErrSeqReadForKey = "Seq read for Key failed.";
inline constexpr const char* kErrBufferLrecl = "Buffer < Lrecl.";
inline constexpr const char* kErrRecTooSmall = "Rec too small for Key.";
inline constexpr const char* kErrKeySequence = "Not in Key seq.";
inline constexpr const char* kErrIndexLogic = "Index logic err1.";
inline constexpr const char* kErrIndexBuild = "Index build failure.";
inline constexpr const char* kErrIndexDepth = "ixl=48 reached.";
inline constexpr const char* kErrKeyedNeedsLrecl = "LRECL (max) reqd for RECFM=V Keyed access.";

// Flags of an index node: which half spans less than two buffers and is searched record by record.
enum IndexNodeFlag : uint8_t {
  kSmallLow = 0x01,   // start to middle
  kSmallHigh = 0x02,  // middle to end
};

// One node of the sample tree over a keyed file (pool "xxrec", zero-filled). It covers the
// records from `start` to `end` and splits them at `middle`; its keys are the keys of those three
// records, KEYLEN bytes each, in one block (pool "kk2"). Built on demand, kept for the run.
struct IndexNode {
  uint8_t flags;        // IndexNodeFlag set
  int32_t level;        // 1 for the root, parent level + 1 below
  IndexNode* parent;    // null for the root
  IndexNode* low;       // the node over start..middle, once built
  IndexNode* high;      // the node over middle..end, once built
  int64_t start;        // byte address of the first record of the range
  int64_t middle;       // byte address of the first record at or after the range's middle
  int64_t end;          // byte address of the last record of the range
  uint8_t* start_key;   // key of the record at start (in the "kk2" block)
  uint8_t* middle_key;  // key of the record at middle (same block)
  uint8_t* end_key;     // key of the record at end (same block)
};

// READ at a byte address without building the index first (the index's own sampling reads).
IoResult read_at_position(FileRequest& request, FFREC& file, uint8_t* area, int32_t area_length);

// The next record, handed over where it lies in the buffer, for the index's own reads of an
// open file (the record loop's READ, read_record, stays a call of its own).
IoResult read_next_record(FileRequest& request, FFREC& file);

// Makes the next READ start at byte address `address`, a record start, 0 or the file size: the
// buffered data are kept when the address lies among them. Nothing is read. False when the host
// cannot position the file.
bool place_for_read(FileRequest& request, FFREC& file, int64_t address);

// Tells record I/O that a record starts at `address`: a READ at a later byte address of a V2 or
// MFV file (whose records are found by following their chain) may start from there instead of
// the file's start.
void note_record_start(FFREC& file, int64_t address);

// Builds the root node of an unbuilt index of a file with a key position and a key length.
IoResult ensure_key_index(FileRequest& request, FFREC& file);

// During the sampling of a node's middle (FFREC::key_range set): whether the record that starts
// at `record` (its descriptor included, `length` bytes of which are buffered) may be the next
// one of a chain of records: its key not below the node's start key nor below the key of the
// chain's record before it (*previous, null at the chain's first record; set to this record's
// key). Records whose key is not buffered pass. Keys above the node's end key pass: the chain
// may rightly run past the node's last record into the rest of the buffered data.
bool key_in_range(const FFREC& file, const uint8_t* record, int32_t length,
                  const uint8_t** previous);

}  // namespace recsift::files

#endif  // RECSIFT_FILES_KEYED_ACCESS_H_
