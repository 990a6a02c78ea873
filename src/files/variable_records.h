// Variable-length records (RECFM V/VB, V2, MFV) for record I/O: the format-specific steps of a READ
// (which bytes at the buffer offset form the next record) and of a WRITE (placing one record
// with its descriptor, and its block descriptor, into the output buffer). The buffer, refills,
// flushes, completion of a READ and error reporting stay with record_io.cc.
#ifndef RECSIFT_FILES_VARIABLE_RECORDS_H_
#define RECSIFT_FILES_VARIABLE_RECORDS_H_

#include <cstdint>

#include "files/files.h"

namespace recsift::files {

inline constexpr const char* kErrDescShort = "RECFM=V/V2/MFV desc word too short (at EOF).";
inline constexpr const char* kErrDescInvalid = "RECFM=V invalid BDW/RDW (Blk/Rec Desc Word).";
inline constexpr const char* kErrDescTooLong = "RECFM=V/V2/MFV len in RDW > bufsize.";
inline constexpr const char* kErrDescTail = "RECFM=V/V2/MFV insuff data for RDW on final rec.";
inline constexpr const char* kErrMfvHeaderMissing = "RECFM=MFV Header Rec missing.";
inline constexpr const char* kErrBlockExceeded = "RECFM=V data exceeds BDW value.";
inline constexpr const char* kErrMfvHeaderDup = "Dup MFV Hdr.";
inline constexpr const char* kErrNoRecordStart =
    "Cannot find a valid RDW. Check LRECL and BLKSIZE large enough.";

inline constexpr int32_t kMfvHeaderSize = 128;

inline bool is_variable(const FFREC& f) {
  return record_format(f.recfm).finder == RecordCode::kVariable;
}
// Descriptor bytes of each record (4 for V, 2 for V2 and MFV).
int32_t record_descriptor_size(const FFREC& f);
// Bytes an output buffer needs beyond LRECL: the block descriptor, MFV padding.
int32_t variable_overhead(const FFREC& f);

// What the data at the buffer offset hold.
struct VariableStep {
  enum Kind { kRecord, kMore, kError } kind = kRecord;
  const char* error = nullptr;  // kError: the text to report
  int32_t block = 0;            // a block descriptor before the record (4) or none (0)
  int32_t block_length = 0;     // its length value
  int32_t length = 0;           // record bytes, descriptor included
  int32_t padding = 0;          // MFV alignment bytes after the record
  bool header = false;          // the MFV header record: kept, never delivered
};

// Looks at the buffered input; changes nothing. `more` tells whether a refill can add data.
VariableStep find_variable(const FFREC& f, bool more);
// After a reposition (RECFM V): the offset from buffer_offset of the first place where a chain
// of valid descriptors begins, or -1. `final`: no more data can come.
int32_t find_record_start(const FFREC& f, bool final);
// Takes the record found: block bookkeeping, the MFV header, the buffer offset. Returns the
// record's start in the buffer.
const uint8_t* take_variable(FFREC& f, const VariableStep& step);
// At the end of the data: an error text when a block descriptor promised more, else null.
const char* variable_end_error(const FFREC& f);

// Output.
struct VariableWrite {
  int32_t length = 0;      // data bytes to write
  bool truncated = false;  // shortened to fit LRECL or the descriptor's length field
};
// The data length to write: trailing fill bytes dropped under TRUNC, cut to the largest length.
VariableWrite variable_write_length(const FFREC& f, const uint8_t* data, int32_t length);
// Whether a record of data_length bytes fits after the buffer offset.
bool variable_fits(const FFREC& f, int32_t data_length);
// Prepares the empty buffer: the MFV header for the first record of the file, the room for the
// block descriptor. Returns null or an error text.
const char* begin_variable_buffer(FFREC& f, bool first);
// Places the record (it fits) at the buffer offset and returns the bytes it takes, descriptor
// included.
int32_t put_variable(FFREC& f, const uint8_t* data, int32_t length);
// Releases what a variable file holds beyond the buffer (the MFV header).
void release_variable(FFREC& f);

}  // namespace recsift::files

#endif  // RECSIFT_FILES_VARIABLE_RECORDS_H_
