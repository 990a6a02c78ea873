// The host side of record I/O: the few file services record I/O uses, behind one small interface so
// that tests can hand out short reads, failed writes and failed seeks. Every call moves a whole
// buffer (never a byte), so the virtual call costs nothing measurable.
#ifndef RECSIFT_FILES_RECORD_IO_H_
#define RECSIFT_FILES_RECORD_IO_H_

#include <cstdint>
#include <string>

#include "files/files.h"
#include "host/host.h"

namespace recsift::files {

// File services as the host layer gives them: 0 or an errno value.
class FileHost {
 public:
  virtual ~FileHost() = default;
  virtual int open(const std::string& path, host::OpenMode mode, int* handle) {
    return host::open_file(path, mode, handle);
  }
  // Up to len bytes; *got = 0 at end of file.
  virtual int read(int handle, void* buf, int64_t len, int64_t* got) {
    return host::read_file(handle, buf, len, got);
  }
  // All len bytes or an error.
  virtual int write(int handle, const void* buf, int64_t len) {
    return host::write_file(handle, buf, len);
  }
  virtual int seek(int handle, int64_t offset, int whence, int64_t* position) {
    return host::seek_file(handle, offset, whence, position);
  }
  virtual int size(int handle, int64_t* bytes) { return host::file_size(handle, bytes); }
  virtual int truncate(int handle) { return host::truncate_file(handle, 0); }
  virtual int may_write(const std::string& path) { return host::may_write(path); }
  virtual int close(int handle) { return host::close_file(handle); }
  virtual int identity(const std::string& path, host::FileIdentity* id) {
    return host::file_identity(path, id);
  }
  virtual int handle_identity(int handle, host::FileIdentity* id) {
    return host::handle_identity(handle, id);
  }
  // Folders, read one entry at a time (directory listings).
  virtual int open_folder(const std::string& path, host::Folder** folder) {
    return host::open_folder(path, folder);
  }
  virtual int read_folder(host::Folder* folder, const char** name, host::FileStatus* status) {
    return host::read_folder(folder, name, status);
  }
  virtual void close_folder(host::Folder* folder) { host::close_folder(folder); }
  // Least buffer of fixed and text records: the size of their host reads and writes.
  virtual int32_t minimum_buffer() const { return 1 << 17; }
};

// Text input read with the default line ends: the offset from p (the next record, `remaining`
// bytes buffered from it) of the next CR, or `remaining` for none. The place found is kept in
// f.cr_free_until, so that each line costs no new search (record_io.cc).
int32_t next_carriage_return(FFREC& f, const uint8_t* p, int32_t remaining);

// The real host, used when a request names none.
FileHost& default_file_host();

// Error texts of record I/O (IoResult::error and the file's last_error point at one of these).
inline constexpr const char* kErrSecondOpen = "2nd OPEN ignored.";
inline constexpr const char* kErrBufferSize = "Bufsize < LRECL+delims.";
inline constexpr const char* kErrOpenType = "Bad OPEN type.";
inline constexpr const char* kErrOpenFailed = "OPEN failed.";
inline constexpr const char* kErrFileSize = "GetFileSize failed.";
inline constexpr const char* kErrWrite = "Write failed.";
inline constexpr const char* kErrWriteFinal = "Write final buf failed.";
inline constexpr const char* kErrUpdate = "UPDATE failed.";
inline constexpr const char* kErrFunction = "I/O func bad.";
inline constexpr const char* kErrPieceLength = "Inval curr LRECL for EOL=NO input.";
inline constexpr const char* kErrTabs = "TAB char expansion exceeds work area.";
inline constexpr const char* kErrReposition = "Reposition error.";
inline constexpr const char* kErrNotFound = "Key/Rec not found.";
inline constexpr const char* kErrUnknown = "Unknown error.";
inline constexpr const char* kErrRead = "Read failed.";
inline constexpr const char* kErrFormat = "RECFM not supported here.";
inline constexpr const char* kErrFileType = "File type not supported here.";
inline constexpr const char* kErrKeyed = "No keyed read for this file.";

}  // namespace recsift::files

#endif  // RECSIFT_FILES_RECORD_IO_H_
