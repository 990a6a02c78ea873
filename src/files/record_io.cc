// Record input and output. Fixed (F, FB) and delimited-text (U) records are handled here, the
// variable formats (V, VB, V2, MFV) by variable_records.cc.
//
// Owns: opening and closing host files and standard streams for a file control block, its single
// buffer (BLKSIZE bytes plus the 16-byte sentinel), reading records out of it, writing records
// into it, rewriting a record in place, and the one way failures leave the layer (to the caller's
// reporter).
// Exports (files.h, record_io.h): open_file, close_file, read_record, read_at, write_record,
// update_record, output_target_free, failure_line, default_file_host; to keyed access
// (keyed_access.h): read_at_position, read_next_record, place_for_read.
//
// Invariants:
//  - Input: the buffer holds the file bytes [buffered_address - buffer_offset - bytes_remaining,
//    buffered_address); the next record starts at buffer_offset. A record handed out as a view
//    into the buffer stays valid until the next call for the same file.
//  - Output: the buffer holds the bytes of [buffered_address, buffered_address + buffer_offset)
//    not yet written; they reach the host when the next record does not fit, and at CLOSE.
//  - Whether more data can come is decided in one place (refill): physical_end is set only when
//    the host reports end of file, never on a short read; a host read error is an error, never
//    an end of file.
//  - Each record format finds its record in one finder that answers "record", "need more" or
//    "error"; a finder asks for more only while more can still fit into the buffer.
//  - Every call ends in one IoResult; the reporter hears of each kError once, never of an end of
//    file or of a position not found.
//  - Directory files are handed to directory input at OPEN, READ and CLOSE, keyed reads to keyed
//    access; every other call on a directory file is refused with a failure status. No file is
//    ever read as if it were text when it is not.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>

#include <string>
#include <utility>

#include "files/directory_input.h"
#include "files/files.h"
#include "files/keyed_access.h"
#include "files/record_io.h"
#include "files/variable_records.h"
#include "host/host.h"

namespace recsift::files {

FileHost& default_file_host() {
  static FileHost host;
  return host;
}

namespace {

constexpr int32_t kMinBufferBlock = 256;  // smallest buffer block, sentinel included
constexpr int32_t kDefaultBlock = 2048;   // BLKSIZE assumed when LRECL comes from it
constexpr int32_t kMinFixedBlock = 2048;  // least BLKSIZE of an F file without one
constexpr int32_t kDummyLength = 80;      // current length of a DUMMY file
constexpr uint8_t kControlZ = 0x1A;       // end-of-text mark some editors leave at the end
constexpr char kCrLf[] = "\r\n";          // delimiter written when none is given
constexpr int32_t kScanDelimiter = 2;     // delimiter bytes looked at with CR/LF/CR LF input

// One call: the request, its file and the host in use.
struct Call {
  FileRequest& request;
  FFREC& file;
  FileHost& host;
};

bool is_output(const FFREC& f) {
  return (f.open_type & kOpenOutput) != 0;
}
bool is_readable(const FFREC& f) {
  return (f.open_type & (kOpenInput | kOpenUpdate)) != 0;
}

// The name the error lines show: the member's name, the data set name or path + name + ext.
std::string report_name(const FFREC& f) {
  std::string name;
  if (f.dir_member && f.member_name != nullptr) {
    name = std::string(f.path != nullptr ? f.path : "") + f.member_name;
  } else if (f.dsn != nullptr) {
    name = f.dsn;
  } else {
    name = host_file_name(f);
  }
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}

// The one way out of a failed operation: the text becomes the file's last error, the caller's
// reporter hears of it, and the result is kError.
IoResult fail(Call& c, const char* text) {
  if (text == nullptr) text = c.file.last_error;
  if (text == nullptr) text = kErrUnknown;
  c.file.last_error = text;
  if (c.request.reporter != nullptr) c.request.reporter->failed(c.file, text);
  return {IoStatus::kError, 0, text};
}

// No record at the byte address asked for: an ordinary outcome, not reported.
IoResult not_found(Call& c) {
  c.file.last_error = kErrNotFound;
  return {IoStatus::kNotFound, 0, kErrNotFound};
}

IoResult done(const void* record = nullptr, int32_t length = 0) {
  return {IoStatus::kRecord, length, record};
}

// ---- Buffer --------------------------------------------------------------------------------

bool sentinel_intact(const FFREC& f) {
  return f.buffer != nullptr &&
         std::memcmp(f.buffer + f.buffer_capacity, kBufferSentinel, kBufferSentinelSize) == 0;
}

void obtain_buffer(FFREC& f, const FileHost& host) {
  // Variable formats build and take apart blocks of BLKSIZE in the buffer: theirs stays exact.
  const int32_t capacity = is_variable(f) ? f.blksize : std::max(f.blksize, host.minimum_buffer());
  if (f.buffer_capacity == capacity && sentinel_intact(f)) return;
  // A damaged sentinel means the block is not this BLKSIZE's (or was overrun): never reuse it.
  if (f.buffer != nullptr && !f.dir_member) base::qelgrel(&f.buffer, "buf");
  f.buffer_capacity = capacity;
  const int64_t size = std::max<int64_t>(int64_t{capacity} + kBufferSentinelSize, kMinBufferBlock);
  f.buffer = static_cast<uint8_t*>(base::qelgcore(size, 0, "buf"));
  std::memcpy(f.buffer + capacity, kBufferSentinel, kBufferSentinelSize);
}

// Empties an output that was opened with its old content kept. False when that fails.
bool empty_deferred(Call& c) {
  FFREC& f = c.file;
  if (!f.emptying_deferred) return true;
  f.emptying_deferred = false;
  return c.host.truncate(f.handle) == 0;
}

bool run_started(const Call& c) {
  return c.request.files == nullptr || c.request.files->run_started;
}

// Writes the bytes before buffer_offset. On failure the bytes are dropped and write_error set,
// so that CLOSE does not try them again.
bool flush(Call& c) {
  FFREC& f = c.file;
  const int64_t n = f.buffer_offset;
  if (n == 0) return true;
  bool ok;
  if (f.standard_stream) {
    ok = f.stream != nullptr &&
         std::fwrite(f.buffer, 1, static_cast<size_t>(n), f.stream) == static_cast<size_t>(n);
  } else {
    ok = empty_deferred(c) && c.host.write(f.handle, f.buffer, n) == 0;
  }
  f.buffer_offset = 0;
  if (ok) {
    f.buffered_address += n;
  } else {
    f.write_error = true;
  }
  return ok;
}

// One read from the stream of a standard-stream file: a line in line mode, else a block.
// Returns the bytes obtained, 0 at end of input, -1 on a stream error.
int64_t read_stream(FFREC& f, uint8_t* to, int64_t space) {
  if (f.stream == nullptr) return 0;  // the card input without an attached stream
  if (f.line_at_a_time) {
    int64_t n = 0;
    while (n < space) {
      const int ch = std::getc(f.stream);
      if (ch == EOF) break;
      to[n++] = static_cast<uint8_t>(ch);
      if (ch == '\n') break;
    }
    if (n == 0 && std::ferror(f.stream)) return -1;
    return n;
  }
  const size_t n = std::fread(to, 1, static_cast<size_t>(space), f.stream);
  if (n == 0 && std::ferror(f.stream)) return -1;
  return static_cast<int64_t>(n);
}

// Moves the remaining bytes to the buffer start and appends what the host gives, reading again
// while fewer than 2 bytes are held and more may come. A lone control-Z left at the physical end
// is dropped unless KEEPCTLZ. Returns false on a host read error.
bool refill(Call& c) {
  FFREC& f = c.file;
  if (f.buffer_offset > 0 && f.bytes_remaining > 0) {
    std::memmove(f.buffer, f.buffer + f.buffer_offset, static_cast<size_t>(f.bytes_remaining));
  }
  f.buffer_offset = 0;
  f.cr_free_until = 0;
  do {
    int64_t space = int64_t{f.buffer_capacity} - f.bytes_remaining;
    if (f.read_limit > 0) space = std::min<int64_t>(space, f.read_limit);
    if (space <= 0) break;
    uint8_t* to = f.buffer + f.bytes_remaining;
    int64_t got = 0;
    if (f.standard_stream) {
      got = read_stream(f, to, space);
      if (got < 0) return false;
    } else if (c.host.read(f.handle, to, space, &got) != 0 || got < 0 || got > space) {
      return false;
    }
    if (got == 0) {
      f.physical_end = true;
      break;
    }
    f.bytes_remaining += static_cast<int32_t>(got);
    f.buffered_address += got;
  } while (f.bytes_remaining < 2);
  if (!f.line_at_a_time) {
    // A read positioned for a key clears no more than it could have brought.
    int32_t clear = f.buffer_capacity - f.bytes_remaining;
    if (f.read_limit > 0) clear = std::min(clear, f.read_limit);
    std::memset(f.buffer + f.bytes_remaining, 0, static_cast<size_t>(clear));
  }
  if (f.physical_end && f.bytes_remaining == 1 && f.buffer[0] == kControlZ && !f.keep_ctlz) {
    f.bytes_remaining = 0;
  }
  return true;
}

// ---- Record finders --------------------------------------------------------------------------

// What a finder decided about the data at buffer_offset.
struct Found {
  enum Kind { kRecord, kMore, kError } kind = kRecord;
  const char* error = nullptr;  // kError: the text to report
  int32_t length = 0;           // record bytes
  int32_t delimiter = 0;        // delimiter bytes after them
  bool split = false;           // a text line longer than LRECL was cut here
};

Found record(int32_t length, int32_t delimiter = 0, bool split = false) {
  return {Found::kRecord, nullptr, length, delimiter, split};
}

// A piece of fixed length (F records, EOL=NO input): the short rest at the end is the last one.
Found find_fixed(int32_t length, int32_t remaining, bool final) {
  if (remaining >= length) return record(length);
  if (!final) return {Found::kMore};
  return record(remaining);
}

// No delimiter found within the scan: ask for more while it may come, else the rest or a cut.
Found no_delimiter(int32_t remaining, int32_t lrecl, int32_t scan, bool final) {
  if (remaining < scan && !final) return {Found::kMore};
  if (remaining > lrecl) return record(lrecl, 0, true);
  return record(remaining);
}

}  // namespace

// Text lines ended by LF, CR LF or a lone CR (no delimiter text given). A CR is rare in most
// files, so where the next one lies is looked for once and remembered (f.cr_free_until); each
// line then needs only the search for its LF.
int32_t next_carriage_return(FFREC& f, const uint8_t* p, int32_t remaining) {
  int32_t cr_at = f.cr_free_until - f.buffer_offset;
  if (cr_at < 0 || (cr_at < remaining && p[cr_at] != '\r')) {
    const auto* cr =
        static_cast<const uint8_t*>(std::memchr(p, '\r', static_cast<size_t>(remaining)));
    cr_at = cr != nullptr ? static_cast<int32_t>(cr - p) : remaining;
    f.cr_free_until = f.buffer_offset + cr_at;
  }
  return cr_at;
}

namespace {

Found find_line(FFREC& f, const uint8_t* p, int32_t remaining, int32_t lrecl, bool final) {
  const int32_t scan = lrecl + kScanDelimiter;
  const int32_t window = std::min(remaining, scan);
  const int32_t cr_at = next_carriage_return(f, p, remaining);
  const auto* lf = static_cast<const uint8_t*>(std::memchr(p, '\n', static_cast<size_t>(window)));
  const int32_t lf_at = lf != nullptr ? static_cast<int32_t>(lf - p) : window;
  const int32_t i = std::min(cr_at, lf_at);
  if (i >= window) return no_delimiter(remaining, lrecl, scan, final);
  if (i > lrecl) return record(lrecl, 0, true);
  if (i == lf_at) return record(i, 1);
  if (i + 1 < remaining) return record(i, p[i + 1] == '\n' ? 2 : 1);
  if (!final) return {Found::kMore};  // the LF of a CR LF may be in the next block
  return record(i, 1);
}

// Text lines ended by a given delimiter text.
Found find_delimited(const uint8_t* p, int32_t remaining, int32_t lrecl, const char* delimiter,
                     int32_t length, bool final) {
  const int32_t scan = lrecl + length;
  const int32_t window = std::min(remaining, scan);
  const auto first = static_cast<unsigned char>(delimiter[0]);
  for (int32_t from = 0; from < window;) {
    const auto* q = static_cast<const uint8_t*>(
        std::memchr(p + from, first, static_cast<size_t>(window - from)));
    if (q == nullptr) break;
    const auto i = static_cast<int32_t>(q - p);
    if (i > lrecl) return record(lrecl, 0, true);
    const int32_t available = remaining - i;
    if (available >= length) {
      if (std::memcmp(q, delimiter, static_cast<size_t>(length)) == 0) return record(i, length);
    } else if (std::memcmp(q, delimiter, static_cast<size_t>(available)) == 0 && !final) {
      return {Found::kMore};  // a delimiter cut by the end of the buffered data
    }
    from = i + 1;
  }
  return no_delimiter(remaining, lrecl, scan, final);
}

Found find_record(FFREC& f) {
  const uint8_t* p = f.buffer + f.buffer_offset;
  const int32_t remaining = f.bytes_remaining;
  // Nothing more can arrive at the physical end, nor into a full buffer.
  const bool final = f.physical_end || remaining >= f.buffer_capacity;
  if (record_format(f.recfm).finder == RecordCode::kFixed) {
    return find_fixed(f.lrecl, remaining, final);
  }
  if (f.delimiter_length <= 0) {
    if (f.current_lrecl < 1 || f.current_lrecl > f.blksize) {
      return {Found::kError, kErrPieceLength};
    }
    return find_fixed(f.current_lrecl, remaining, final);
  }
  if (f.delimiter == nullptr) return find_line(f, p, remaining, f.lrecl, final);
  return find_delimited(p, remaining, f.lrecl, f.delimiter, f.delimiter_length, final);
}

// Copies n bytes to dst (cap bytes) with each tab widened to the next multiple of width.
// Returns the bytes produced, or -1 when they do not fit.
int32_t expand_tabs(const uint8_t* src, int32_t n, uint8_t* dst, int32_t cap, int32_t width) {
  int32_t col = 0;
  for (int32_t i = 0; i < n;) {
    const auto* tab =
        static_cast<const uint8_t*>(std::memchr(src + i, '\t', static_cast<size_t>(n - i)));
    const int32_t plain = (tab != nullptr ? static_cast<int32_t>(tab - src) : n) - i;
    if (int64_t{col} + plain > cap) return -1;
    std::memcpy(dst + col, src + i, static_cast<size_t>(plain));
    col += plain;
    i += plain;
    if (tab == nullptr) break;
    const int32_t blanks = width - col % width;
    if (int64_t{col} + blanks > cap) return -1;
    std::memset(dst + col, ' ', static_cast<size_t>(blanks));
    col += blanks;
    ++i;
  }
  return col;
}

// ---- Open and close --------------------------------------------------------------------------

bool supported_format(const FFREC& f) {
  const RecordFormatRow& format = record_format(f.recfm);
  return format.finder != RecordCode::kNone && format.writer != RecordCode::kNone;
}

// Closes the file if open: flushes output, closes the host handle, returns the buffer unless
// keep_buffer (an OPEN of an open file reuses it). False when output could not be completed.
bool close_file(Call& c, bool keep_buffer = false) {
  FFREC& f = c.file;
  if (!f.is_open) return true;
  bool ok = true;
  if (f.emptying_deferred) {
    // Nothing was written: a started run leaves the output empty, one that never started leaves
    // it as it was.
    if (run_started(c) && !empty_deferred(c)) ok = false;
    f.emptying_deferred = false;
  }
  if (is_output(f) && f.buffer_offset > 0 && !f.write_error) ok = flush(c) && ok;
  if (f.standard_stream) {
    if (f.stream != nullptr && is_output(f) && std::fflush(f.stream) != 0) ok = false;
  } else if (c.host.close(f.handle) != 0 && is_output(f)) {
    ok = false;  // a failed close may lose data written before it
  }
  f.handle = host::kNoHandle;
  f.is_open = false;
  f.closed = true;
  if (!keep_buffer && !f.dir_member && f.buffer != nullptr) base::qelgrel(&f.buffer, "buf");
  return ok;
}

// An output must not be, under another name, a file the run reads or another of its outputs:
// opening it would empty data the run still needs, or mix two outputs in one file. Returns the
// error text naming the other file, or null when the output is a file of its own.
const char* same_file_as_another(Call& c) {
  // Texts of the conflicts met; each stays valid for the run, as the file's last error.
  static std::deque<std::string> texts;
  const FFREC& f = c.file;
  if (c.request.files == nullptr) return nullptr;
  host::FileIdentity target;
  if (c.host.identity(report_name(f), &target) != 0) return nullptr;  // new: nothing to lose
  for (const FFREC* g = c.request.files->head; g != nullptr; g = g->next) {
    if (g == &f || g->name[0] == '\0' || g->standard_stream || g->predefined != kPredefNone ||
        (g->file_type != 0 && g->file_type != kFileOrdinary)) {
      continue;
    }
    const bool reads = is_readable(*g);
    if (!reads && !is_output(*g)) continue;
    host::FileIdentity other;
    const int rc = g->is_open && g->handle != host::kNoHandle
                       ? c.host.handle_identity(g->handle, &other)
                       : c.host.identity(report_name(*g), &other);
    if (rc != 0 || !(other == target)) continue;
    std::string text = std::string("Same file as ") + (reads ? "input" : "output") + " \"" +
                       report_name(*g) + "\".";
    // Kept once each: a process that runs many runs (a harness) does not grow with them.
    const auto kept = std::find(texts.begin(), texts.end(), text);
    if (kept != texts.end()) return kept->c_str();
    texts.push_back(std::move(text));
    return texts.back().c_str();
  }
  return nullptr;
}

}  // namespace

bool output_target_free(FileRequest& request, FFREC& file) {
  Call c{request, file, request.host != nullptr ? *request.host : default_file_host()};
  const char* conflict = same_file_as_another(c);
  // An output that cannot be opened is found now, before any other output is emptied.
  if (conflict == nullptr && !file.standard_stream && file.predefined == kPredefNone &&
      (file.file_type == 0 || file.file_type == kFileOrdinary) &&
      c.host.may_write(report_name(file)) != 0) {
    conflict = kErrOpenFailed;
  }
  if (conflict == nullptr) return true;
  file.open_failed = true;
  fail(c, conflict);
  return false;
}

namespace {

// OPEN: kRecord, kEndOfFile for a missing input, or the reported error.
IoResult open_file(Call& c) {
  FFREC& f = c.file;
  if (f.is_open && !f.reopen_allowed && !f.empty) return fail(c, kErrSecondOpen);
  // The other file types (DL1, ADABAS, VTOC, INDEXED, VSAM) name the kind of data set a job was
  // written for; here they are ordinary files, read by key through the sampled index.
  if (f.file_type == kFileDirectory) return fail(c, kErrFileType);
  if (!supported_format(f)) return fail(c, kErrFormat);
  // A file opened again is closed first: its pending output is written, its handle not leaked.
  if (f.is_open && !close_file(c, true)) return fail(c, kErrWriteFinal);
  f.is_open = f.open_failed = f.physical_end = f.empty = false;

  const RecordFormatRow& format = record_format(f.recfm);
  int64_t overhead = format.finder == RecordCode::kText ? std::max(f.delimiter_length, 0) : 0;
  if (is_variable(f)) overhead = variable_overhead(f);
  if (f.lrecl <= 0) {
    // A keyed V file is sampled at any byte address: its records can only be told from data
    // with their largest length known.
    if (f.recfm == kRecfmV && f.keyed_modes != 0) return fail(c, kErrKeyedNeedsLrecl);
    f.lrecl = static_cast<int32_t>((f.blksize > 0 ? f.blksize : kDefaultBlock) - overhead);
  }
  if (f.blksize <= 0 && f.lrecl > 0) {
    int64_t block = f.lrecl + overhead;
    if (format.writer == RecordCode::kFixed) block = std::max<int64_t>(block, kMinFixedBlock);
    f.blksize = static_cast<int32_t>(std::min<int64_t>(block, INT32_MAX - kBufferSentinelSize));
  }
  const bool variable = is_variable(f);
  if (f.lrecl < 1 || f.blksize < f.lrecl + overhead ||
      f.blksize > INT32_MAX - kBufferSentinelSize ||
      (variable && f.lrecl <= record_descriptor_size(f)) ||
      (f.recfm == kRecfmMfv && f.blksize < kMfvHeaderSize)) {
    return fail(c, kErrBufferSize);
  }
  if (f.current_lrecl == 0) f.current_lrecl = f.lrecl;

  obtain_buffer(f, c.host);
  f.buffer_offset = f.bytes_remaining = f.record_count = 0;
  f.cr_free_until = 0;
  f.buffered_address = 0;
  f.file_size = 0;
  std::memset(f.file_size_be, 0, sizeof f.file_size_be);
  f.write_error = false;
  f.resync = false;
  f.skip_before = -1;
  f.chain_address = 0;
  f.chain_block_length = f.chain_block_used = 0;
  f.chain_guessed = false;
  f.block_length = f.block_used = 0;
  f.no_blocks_found = false;
  if (variable) {
    f.descriptor_length = record_descriptor_size(f);
    release_variable(f);  // a header of an earlier open is not this one's
  }

  if (f.standard_stream) {
    f.handle = host::kNoHandle;
    if (f.stream == stdin) f.line_at_a_time = host::stdin_is_console();
    if (f.predefined == kPredefCard && f.stream == nullptr) f.physical_end = f.empty = true;
  } else {
    host::OpenMode mode;
    if (f.open_type & kOpenUpdate) {
      mode = host::OpenMode::kReadWrite;
    } else if (f.open_type & kOpenInput) {
      mode = host::OpenMode::kRead;
    } else if (f.open_type & kOpenOutput) {
      mode = f.replace ? host::OpenMode::kWrite : host::OpenMode::kAppend;
    } else {
      return fail(c, kErrOpenType);
    }
    if (mode == host::OpenMode::kWrite || mode == host::OpenMode::kAppend) {
      if (const char* conflict = same_file_as_another(c)) {
        f.open_failed = true;
        return fail(c, conflict);
      }
    }
    // Before the run starts a replaced output keeps its content: the run may yet fail to start.
    const bool defer = mode == host::OpenMode::kWrite && !run_started(c);
    if (defer) mode = host::OpenMode::kWriteKept;
    int handle = host::kNoHandle;
    if (const int error = c.host.open(report_name(f), mode, &handle); error != 0) {
      // Only an input that is not there reads as empty. One that is there but cannot be read (no
      // permission, a folder, a device error) fails: taking it for empty would end the run as if
      // all were well, with records missing.
      if (mode == host::OpenMode::kRead && (error == ENOENT || error == ENOTDIR)) {
        f.physical_end = f.empty = true;
        return {IoStatus::kEndOfFile};
      }
      f.open_failed = true;
      return fail(c, kErrOpenFailed);
    }
    f.handle = handle;
    f.emptying_deferred = defer;
    if (is_readable(f)) {
      int64_t size = 0;
      if (c.host.size(handle, &size) != 0) {
        c.host.close(handle);
        f.handle = host::kNoHandle;
        return fail(c, kErrFileSize);
      }
      f.file_size = size;
      for (int i = 0; i < 8; ++i) f.file_size_be[i] = static_cast<uint8_t>(size >> (56 - 8 * i));
      if (size == 0) f.empty = true;
    } else if (!f.replace) {
      int64_t end = 0;
      if (c.host.seek(handle, 0, 2, &end) != 0) {
        c.host.close(handle);
        f.handle = host::kNoHandle;
        f.open_failed = true;
        return fail(c, kErrReposition);
      }
      f.buffered_address = end;  // appended output starts at the old end
    }
  }
  f.is_open = f.was_opened = true;
  f.closed = false;
  return done();
}

// Opens a file that is not open, for READ, WRITE and UPDATE: kError after a failed open.
IoResult ensure_open(Call& c) {
  if (c.file.is_open) return done();
  return open_file(c);
}

// ---- Read ------------------------------------------------------------------------------------

IoResult end_of_file(Call& c, uint8_t* area, int32_t area_length) {
  FFREC& f = c.file;
  if (f.fill && area != nullptr && f.previous_length > 0 && f.previous_length <= area_length) {
    std::memset(area, f.fill_char, static_cast<size_t>(f.previous_length));
  }
  f.position = f.buffered_address;
  if (!f.no_close_at_eof) close_file(c);
  return {IoStatus::kEndOfFile};
}

// Hands the record at `record` (length bytes, found at file address `address`) to the caller.
IoResult deliver(Call& c, const uint8_t* rec, int32_t length, int64_t address, uint8_t* area,
                 int32_t area_length) {
  FFREC& f = c.file;
  const bool expand = f.tab_width > 0 && std::memchr(rec, '\t', static_cast<size_t>(length));
  f.tab_seen = expand;
  uint8_t* result;
  int32_t delivered = length;
  if (area != nullptr && area_length >= length) {
    if (expand) {
      delivered = expand_tabs(rec, length, area, area_length, f.tab_width);
      if (delivered < 0) return fail(c, kErrTabs);
    } else {
      std::memcpy(area, rec, static_cast<size_t>(length));
    }
    if (f.fill && f.previous_length > delivered && f.previous_length <= area_length) {
      std::memset(area + delivered, f.fill_char,
                  static_cast<size_t>(f.previous_length - delivered));
    }
    result = area;
  } else {
    if (expand && !f.no_tab_check) return fail(c, kErrTabs);
    result = const_cast<uint8_t*>(rec);
  }
  f.current_length = delivered;
  f.position = address;
  f.longest_record = std::max(f.longest_record, delivered);
  ++f.record_count;
  return done(result, delivered);
}

// The commonest record of all: a text line ended by LF alone, handed over in the buffer, of a
// file without tabs to expand. Returns it as the general path below would (same fields, same
// counts), or null when the line is not of that kind.
// Whether the file reads text lines: the only records quick_line can take (checked inline, so
// that other formats pay nothing for it).
inline bool reads_text_lines(const FFREC& f) {
  return record_format(f.recfm).finder == RecordCode::kText;
}

const uint8_t* quick_line(FFREC& f) {
  if (f.delimiter != nullptr || f.delimiter_length <= 0 || f.resync || f.tab_width > 0 ||
      f.predefined == kPredefCard || f.bytes_remaining < 2) {
    return nullptr;
  }
  const uint8_t* p = f.buffer + f.buffer_offset;
  const int32_t remaining = f.bytes_remaining;
  const int32_t window = std::min(remaining, f.lrecl + kScanDelimiter);
  const auto* lf = static_cast<const uint8_t*>(std::memchr(p, '\n', static_cast<size_t>(window)));
  if (lf == nullptr) return nullptr;
  const auto length = static_cast<int32_t>(lf - p);
  if (length > f.lrecl || next_carriage_return(f, p, remaining) < length) return nullptr;
  f.previous_length = f.current_length;
  f.position = f.buffered_address - remaining;
  f.buffer_offset += length + 1;
  f.bytes_remaining -= length + 1;
  f.truncate = false;
  f.delimiter_found = 1;
  f.tab_seen = false;
  f.current_length = length;
  f.longest_record = std::max(f.longest_record, length);
  ++f.record_count;
  return p;
}

IoResult read_record(Call& c, uint8_t* area, int32_t area_length) {
  FFREC& f = c.file;
  if (!is_readable(f)) return fail(c, kErrOpenType);
  if (area == nullptr && reads_text_lines(f)) {
    if (const uint8_t* line = quick_line(f)) return done(line, f.current_length);
  }
  f.previous_length = f.current_length;
  for (;;) {
    if (f.bytes_remaining == 0 && f.physical_end) {
      if (const char* e = is_variable(f) ? variable_end_error(f) : nullptr) return fail(c, e);
      if (f.skip_before >= 0) {  // the position asked for lies in the last record
        f.skip_before = -1;
        f.position = f.file_size;
        return not_found(c);
      }
      return end_of_file(c, area, area_length);
    }
    if (is_variable(f)) {
      const bool more = !f.physical_end && f.bytes_remaining < f.blksize;
      if (f.resync) {  // the key index's sampling: find where records begin in a full buffer
        if (more) {
          if (!refill(c)) return fail(c, kErrRead);
          continue;
        }
        const int32_t start = find_record_start(f, f.physical_end);
        f.resync = false;
        f.block_length = f.block_used = 0;
        if (start < 0) {
          // A keyed file whose tail holds no record start has no record after the position.
          if (f.keyed_modes == 0 || !f.physical_end) return fail(c, kErrNoRecordStart);
          f.position = f.file_size;
          return not_found(c);
        }
        f.buffer_offset += start;
        f.bytes_remaining -= start;
        continue;
      }
      const VariableStep s = find_variable(f, more);
      if (s.kind == VariableStep::kError) {
        // A broken chain on the way to a position: no record start can be found from there.
        const bool seeking = f.recfm == kRecfmV && f.skip_before >= 0;
        f.skip_before = -1;
        return fail(c, seeking ? kErrNoRecordStart : s.error);
      }
      if (s.kind == VariableStep::kMore) {
        if (!refill(c)) return fail(c, kErrRead);
        continue;
      }
      const int64_t start = f.buffered_address - f.bytes_remaining;
      const int64_t address = start + s.block;
      const int32_t block_length = f.block_length;
      const int32_t block_used = f.block_used;
      const uint8_t* rec = take_variable(f, s);
      if (f.recfm == kRecfmV) {
        // A V record start is only known together with the state of its block, and only when
        // the reading began at a known start.
        if (!f.chain_guessed) {
          f.chain_address = start;
          f.chain_block_length = block_length;
          f.chain_block_used = block_used;
        }
      } else {
        f.chain_address = f.buffered_address - f.bytes_remaining;
      }
      if (s.header) continue;
      if (f.skip_before >= 0) {
        if (address < f.skip_before) continue;
        f.skip_before = -1;
      }
      f.longest_record = std::max(f.longest_record, s.length);
      f.delimiter_found = s.padding;
      const int32_t strip = f.rdw ? 0 : f.descriptor_length;  // NORDW unless RDW is asked for
      return deliver(c, rec + strip, s.length - strip, address, area, area_length);
    }
    // A buffer of one byte (LRECL 1 with BLKSIZE 1 on a host without a least buffer) is full
    // with one byte: the finder takes it, or the refill would find no room and come back forever.
    if (f.bytes_remaining < 2 && f.bytes_remaining < f.buffer_capacity && !f.physical_end) {
      if (!refill(c)) return fail(c, kErrRead);
      continue;
    }
    const Found r = find_record(f);
    if (r.kind == Found::kError) return fail(c, r.error);
    if (r.kind == Found::kMore) {
      if (!refill(c)) return fail(c, kErrRead);
      continue;
    }
    const uint8_t* rec = f.buffer + f.buffer_offset;
    const int64_t address = f.buffered_address - f.bytes_remaining;
    const int32_t used = r.length + r.delimiter;
    f.buffer_offset += used;
    f.bytes_remaining -= used;
    if (f.resync) {  // the record began before the position asked for
      f.resync = false;
      continue;
    }
    if (f.predefined == kPredefCard && r.length >= 2 && rec[0] == '/' && rec[1] == '*' &&
        (r.length == 2 || rec[2] == ' ')) {
      f.buffer_offset -= used;  // left unread: it ends the card input
      f.bytes_remaining += used;
      f.console_ended = true;
      f.position = address;
      return {IoStatus::kEndOfFile};
    }
    if (record_format(f.recfm).finder == RecordCode::kText) f.truncate = r.split;
    f.delimiter_found = r.delimiter;
    return deliver(c, rec, r.length, address, area, area_length);
  }
}

// Where a READ of a variable-length file starts to reach the first record at or after `target`:
// the last record start the chain showed when that lies at or before it, else the file's start.
// Descriptors cannot be told from data (a 2-byte length never, a V word not with certainty: data
// may hold a chain of words that look like descriptors), so the chain is followed from a known
// start and the records before the target are passed over. The MFV header, held already, is
// passed over like any record before the position.
int64_t chain_start(FFREC& f, int64_t target) {
  f.skip_before = target;
  if (f.mfhdr != nullptr) f.skip_before = std::max<int64_t>(target, 1);
  f.chain_guessed = false;
  const bool known = f.chain_address <= target;
  f.block_length = known ? f.chain_block_length : 0;
  f.block_used = known ? f.chain_block_used : 0;
  return known ? f.chain_address : 0;
}

// READ at the byte address f.position. `guess` (the key index's own sampling of a V file, whose
// answers are checked against the keys) lets the record start be found by a search for a chain
// of descriptors in one buffer instead of following the chain from a known start: fast, but data
// that look like descriptors can mislead it, so no READ a statement asked for may use it.
IoResult read_at(Call& c, uint8_t* area, int32_t area_length, bool guess) {
  FFREC& f = c.file;
  int64_t target = f.position;
  if (const IoResult opened = ensure_open(c); opened.status == IoStatus::kError) return opened;
  if (!is_readable(f)) return fail(c, kErrOpenType);
  if (target < 0) {
    f.position = 0;
    return not_found(c);
  }
  if (target >= f.file_size) {
    f.position = f.file_size;
    return not_found(c);
  }
  if (f.standard_stream) return fail(c, kErrReposition);
  f.resync = false;
  f.skip_before = -1;
  if (f.recfm == kRecfmF) {
    target -= target % f.lrecl;
  } else if (f.recfm == kRecfmV && guess && f.chain_address != target) {
    f.resync = target > 0;  // the next record start at or after the position
    f.chain_guessed = f.resync;
    f.block_length = f.block_used = 0;
  } else if (is_variable(f)) {
    target = chain_start(f, target);
  } else if (f.delimiter_length <= 0) {
    if (f.current_lrecl > 0) target -= target % f.current_lrecl;
  } else if (target > 0) {
    // Start just before the position and skip the record found there: when a delimiter ends
    // right before the position, that skipped record is empty and the next one starts at it.
    // With CR, LF and CR LF all recognised one byte is enough (an LF alone may end the line
    // before); a delimiter text needs its whole length, but never more than LRECL: the record
    // found there must end at or after the position, and a line longer than LRECL comes in
    // pieces of LRECL bytes.
    const int64_t back =
        f.delimiter == nullptr ? 1 : std::min<int64_t>(f.delimiter_length, f.lrecl);
    target = std::max<int64_t>(target - back, 0);
    f.resync = true;
  }
  const int64_t start = f.buffered_address - f.buffer_offset - f.bytes_remaining;
  if (target >= start && target < f.buffered_address) {
    f.buffer_offset = static_cast<int32_t>(target - start);
    f.cr_free_until = 0;
    f.bytes_remaining = static_cast<int32_t>(f.buffered_address - target);
  } else {
    int64_t at = 0;
    if (c.host.seek(f.handle, target, 0, &at) != 0 || at != target) {
      f.resync = false;
      f.skip_before = -1;
      return fail(c, kErrReposition);
    }
    f.buffered_address = target;
    f.buffer_offset = f.bytes_remaining = 0;
    f.physical_end = false;
  }
  return read_record(c, area, area_length);
}

// ---- Write and update ------------------------------------------------------------------------

IoResult write_record(Call& c, const uint8_t* area) {
  FFREC& f = c.file;
  if (!is_output(f)) return fail(c, kErrOpenType);
  if (area == nullptr || f.current_length < 0) return fail(c, kErrUnknown);
  int32_t length = f.current_length;
  int32_t written;
  f.record_truncated = false;
  const int64_t start = f.buffered_address + f.buffer_offset;
  const RecordCode writer = record_format(f.recfm).writer;
  if (writer == RecordCode::kVariable) {
    const VariableWrite w = variable_write_length(f, area, length);
    if (w.truncated) {
      ++f.truncated_count;
      f.record_truncated = true;
    }
    if (f.record_count == 0 && f.buffer_offset == 0) {
      // The MFV header begins a new file only: appended records follow the old ones.
      if (const char* e = begin_variable_buffer(f, f.buffered_address == 0)) return fail(c, e);
    }
    if (!variable_fits(f, w.length)) {
      if (!flush(c)) return fail(c, kErrWrite);
      begin_variable_buffer(f, false);
    }
    f.position = f.buffered_address + f.buffer_offset;
    written = put_variable(f, area, w.length);
    f.longest_record = std::max(f.longest_record, written);
    ++f.record_count;
    return done(area, written);
  }
  if (writer == RecordCode::kFixed) {
    if (int64_t{f.buffer_offset} + f.lrecl > f.buffer_capacity && !flush(c)) {
      return fail(c, kErrWrite);
    }
    if (length > f.lrecl) {
      length = f.lrecl;  // the cut loses data: counted like a cut text line
      ++f.truncated_count;
      f.record_truncated = true;
    }
    uint8_t* to = f.buffer + f.buffer_offset;
    std::memcpy(to, area, static_cast<size_t>(length));
    std::memset(to + length, f.fill_char, static_cast<size_t>(f.lrecl - length));
    written = f.lrecl;
    f.buffer_offset += f.lrecl;
  } else {
    auto strip = [&] {
      if (!f.truncate) return;
      while (length > 0 && area[length - 1] == f.fill_char) --length;
    };
    strip();
    if (length > f.lrecl) {
      length = f.lrecl;
      strip();
      ++f.truncated_count;
      f.record_truncated = true;
    }
    const char* delimiter = f.delimiter;
    int32_t dlength = std::max(f.delimiter_length, 0);
    if (delimiter == nullptr && dlength > 0) {
      delimiter = kCrLf;
      dlength = std::min(dlength, 2);
    }
    if (int64_t{f.buffer_offset} + length + dlength > f.buffer_capacity && !flush(c))
      return fail(c, kErrWrite);
    uint8_t* to = f.buffer + f.buffer_offset;
    std::memcpy(to, area, static_cast<size_t>(length));
    if (dlength > 0) std::memcpy(to + length, delimiter, static_cast<size_t>(dlength));
    written = length;
    f.buffer_offset += length + dlength;
  }
  f.position = start;
  f.longest_record = std::max(f.longest_record, written);
  ++f.record_count;
  return done(area, written);
}

IoResult update_record(Call& c, const uint8_t* area) {
  FFREC& f = c.file;
  if ((f.open_type & kOpenUpdate) == 0) return fail(c, kErrOpenType);
  if (!f.is_open || f.record_count == 0 || area == nullptr) return fail(c, kErrUpdate);
  if (f.current_length == 0) return done(area);
  // The record as it lies in the file: from its address to the next record's, less its
  // delimiter or alignment. A rewrite of another length would overwrite its neighbour or leave a
  // gap; a variable record keeps its descriptor as stored (only the data after it is rewritten,
  // whether or not the caller's copy holds the descriptor).
  const int64_t next = f.buffered_address - f.bytes_remaining;
  const int64_t stored = next - f.position - f.delimiter_found;
  const int32_t descriptor = is_variable(f) ? record_descriptor_size(f) : 0;
  const uint8_t* data = area;
  if (descriptor > 0 && f.rdw && f.current_length == stored) {
    data += descriptor;
  } else if (f.current_length != stored - descriptor) {
    return fail(c, kErrUpdate);
  }
  const int64_t data_length = stored - descriptor;
  int64_t at = 0;
  if (c.host.seek(f.handle, f.position + descriptor, 0, &at) != 0 ||
      c.host.write(f.handle, data, data_length) != 0 ||
      c.host.seek(f.handle, f.buffered_address, 0, &at) != 0) {
    return fail(c, kErrUpdate);
  }
  // Keep the buffered copy in step, so a READ at a position inside the buffer sees the update.
  const int64_t in_buffer = int64_t{f.buffer_offset} - f.delimiter_found - data_length;
  if (in_buffer >= 0 && f.buffer + in_buffer != data) {
    std::memmove(f.buffer + in_buffer, data, static_cast<size_t>(data_length));
  }
  return done(area, f.current_length);
}

// DUMMY: always open, no data on input, every record accepted on output. True (after marking the
// file open) when `f` is the dummy file.
bool dummy(FFREC& f) {
  if (f.predefined != kPredefDummy) return false;
  f.is_open = f.closed = f.was_opened = true;
  return true;
}

Call call(FileRequest& request, FFREC& file) {
  return {request, file, request.host != nullptr ? *request.host : default_file_host()};
}

}  // namespace

std::string failure_line(const FFREC& file, const char* text) {
  return std::string("qelfio: ") + text + "  (" + (is_output(file) ? "Outpt" : "Input") + ") F=\"" +
         report_name(file) + "\"\n";
}

IoResult open_file(FileRequest& request, FFREC& file) {
  if (file.file_type == kFileDirectory) return open_listing(request, file);
  if (dummy(file)) {
    file.current_length = kDummyLength;
    return done();
  }
  Call c = call(request, file);
  return open_file(c);
}

IoResult close_file(FileRequest& request, FFREC& file) {
  if (file.file_type == kFileDirectory) return close_listing(request, file);
  if (dummy(file)) return done();
  Call c = call(request, file);
  if (!close_file(c)) return fail(c, kErrWriteFinal);
  return done();
}

IoResult read_record(FileRequest& request, FFREC& file, uint8_t* area, int32_t area_length) {
  // The record loop's plain READ of a text file, once per record: straight to its line.
  if (area == nullptr && file.is_open && reads_text_lines(file) &&
      file.predefined != kPredefDummy && is_readable(file)) {
    if (const uint8_t* line = quick_line(file)) return done(line, file.current_length);
  }
  if (file.file_type == kFileDirectory) return read_listing(request, file, area, area_length);
  if (dummy(file)) return {IoStatus::kEndOfFile};
  Call c = call(request, file);
  if (!file.is_open) {
    if (const IoResult opened = open_file(c); opened.status == IoStatus::kError) return opened;
  }
  return read_record(c, area, std::max(area_length, 0));
}

IoResult read_at_position(FileRequest& request, FFREC& file, uint8_t* area, int32_t area_length) {
  if (dummy(file)) return {IoStatus::kEndOfFile};
  Call c = call(request, file);
  return read_at(c, area, std::max(area_length, 0), true);
}

IoResult read_at(FileRequest& request, FFREC& file, uint8_t* area, int32_t area_length) {
  if (file.key_position_given && file.key_length_given && file.index_root == nullptr &&
      !dummy(file)) {
    const int64_t position = file.position;
    if (const IoResult built = ensure_key_index(request, file); built.status == IoStatus::kError)
      return built;
    file.position = position;
  }
  IoResult r{IoStatus::kEndOfFile};
  if (!dummy(file)) {
    Call c = call(request, file);
    r = read_at(c, area, std::max(area_length, 0), false);
  }
  // Outside the file the next READ continues from where the position was put: 0 or the end.
  if (r.status == IoStatus::kNotFound && file.is_open && !file.standard_stream &&
      !place_for_read(request, file, file.position)) {
    Call c = call(request, file);
    return fail(c, kErrReposition);
  }
  return r;
}

IoResult read_next_record(FileRequest& request, FFREC& file) {
  Call c = call(request, file);
  if (!file.is_open) return fail(c, kErrFunction);
  return read_record(c, nullptr, 0);
}

void note_record_start(FFREC& f, int64_t address) {
  if (is_variable(f) && f.recfm != kRecfmV) f.chain_address = address;
}

bool place_for_read(FileRequest& request, FFREC& f, int64_t address) {
  Call c = call(request, f);
  f.resync = false;
  f.skip_before = -1;
  f.block_length = f.block_used = 0;
  f.cr_free_until = 0;
  f.position = address;
  // The MFV header at the file's start is held already: the next READ passes over it.
  if (address == 0 && f.recfm == kRecfmMfv && f.mfhdr != nullptr) f.skip_before = 1;
  // Inside a V block a record start is read right only with its block's state, known when the
  // chain showed that record last.
  if (f.recfm == kRecfmV && address == f.chain_address) {
    f.block_length = f.chain_block_length;
    f.block_used = f.chain_block_used;
    f.chain_guessed = false;
  } else if (f.recfm == kRecfmV) {
    f.chain_guessed = address > 0;
  }
  const int64_t start = f.buffered_address - f.buffer_offset - f.bytes_remaining;
  if (f.buffer != nullptr && address >= start && address <= f.buffered_address) {
    f.buffer_offset = static_cast<int32_t>(address - start);
    f.bytes_remaining = static_cast<int32_t>(f.buffered_address - address);
    return true;
  }
  int64_t at = 0;
  if (c.host.seek(f.handle, address, 0, &at) != 0 || at != address) return false;
  f.buffered_address = address;
  f.buffer_offset = f.bytes_remaining = 0;
  f.physical_end = false;
  return true;
}

namespace {

// WRITE and UPDATE from outside: the file opened when it is not, DUMMY counting what it takes.
IoResult put(FileRequest& request, FFREC& file, const uint8_t* data, int32_t length,
             IoResult (*operation)(Call&, const uint8_t*)) {
  file.current_length = length;
  if (dummy(file)) {
    ++file.record_count;
    return done(data, length);
  }
  Call c = call(request, file);
  if (const IoResult opened = ensure_open(c); opened.status == IoStatus::kError) return opened;
  return operation(c, data);
}

}  // namespace

IoResult write_record(FileRequest& request, FFREC& file, const uint8_t* data, int32_t length) {
  return put(request, file, data, length, write_record);
}

IoResult update_record(FileRequest& request, FFREC& file, const uint8_t* data, int32_t length) {
  return put(request, file, data, length, update_record);
}

}  // namespace recsift::files
