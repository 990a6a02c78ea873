// Shared by the record-layer fuzz targets and their replay test: a file held in memory behind the
// FileHost seam (reads may be cut short), the input bytes taken apart field by field, and the
// check that an error text is one of the file layer's own.
#ifndef RECSIFT_FUZZ_MEMORY_HOST_H_
#define RECSIFT_FUZZ_MEMORY_HOST_H_

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "files/files.h"
#include "files/keyed_access.h"
#include "files/record_io.h"
#include "files/variable_records.h"

namespace recsift::fuzz {

// One input file, read only, never on disk. Opening for anything but reading is refused, so an
// output path can never be taken by mistake.
class MemoryHost : public files::FileHost {
 public:
  std::string bytes;         // the file's contents
  int64_t max_read = 0;      // most bytes one read hands out (0 = as many as asked)
  int32_t least_buffer = 0;  // what minimum_buffer() answers
  bool open_now = false;     // a handle is out
  int opens = 0;             // successful opens
  int bad_calls = 0;         // calls on a handle that is not open

  int open(const std::string&, host::OpenMode mode, int* handle) override {
    if (mode != host::OpenMode::kRead) return EACCES;
    if (open_now) ++bad_calls;  // opened again without a close: a leaked handle
    *handle = kHandle;
    offset_ = 0;
    open_now = true;
    ++opens;
    return 0;
  }
  int read(int handle, void* buf, int64_t len, int64_t* got) override {
    if (!usable(handle) || len < 0) return EBADF;
    int64_t n = std::clamp<int64_t>(size() - offset_, 0, len);
    if (max_read > 0) n = std::min(n, max_read);
    if (n > 0) std::memcpy(buf, bytes.data() + offset_, static_cast<size_t>(n));
    offset_ += n;
    *got = n;
    return 0;
  }
  int write(int, const void*, int64_t) override { return EBADF; }
  int seek(int handle, int64_t offset, int whence, int64_t* position) override {
    if (!usable(handle)) return EBADF;
    const int64_t base = whence == 0 ? 0 : whence == 1 ? offset_ : size();
    if (base + offset < 0) return EINVAL;
    offset_ = base + offset;
    *position = offset_;
    return 0;
  }
  int size(int handle, int64_t* out) override {
    if (!usable(handle)) return EBADF;
    *out = size();
    return 0;
  }
  int close(int handle) override {
    if (!usable(handle)) return EBADF;
    open_now = false;
    return 0;
  }
  int identity(const std::string&, host::FileIdentity*) override { return ENOENT; }
  int handle_identity(int, host::FileIdentity*) override { return EBADF; }
  int open_folder(const std::string&, host::Folder**) override { return ENOTDIR; }
  int32_t minimum_buffer() const override { return least_buffer; }

 private:
  static constexpr int kHandle = 3;
  int64_t size() const { return static_cast<int64_t>(bytes.size()); }
  bool usable(int handle) {
    if (open_now && handle == kHandle) return true;
    ++bad_calls;
    return false;
  }
  int64_t offset_ = 0;
};

// The input taken apart from the front; past its end every field reads as zero.
class ByteSource {
 public:
  ByteSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint32_t u16() { return byte() | uint32_t{byte()} << 8; }
  // The bytes not taken yet.
  std::string rest() {
    std::string s(reinterpret_cast<const char*>(data_) + std::min(at_, size_),
                  size_ - std::min(at_, size_));
    at_ = size_;
    return s;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// Whether `text` is one of the error texts the file layer hands out.
inline bool file_layer_text(const char* text) {
  if (text == nullptr) return false;
  static const char* const kTexts[] = {
      files::kErrSecondOpen,
      files::kErrBufferSize,
      files::kErrOpenType,
      files::kErrOpenFailed,
      files::kErrFileSize,
      files::kErrWrite,
      files::kErrWriteFinal,
      files::kErrUpdate,
      files::kErrFunction,
      files::kErrPieceLength,
      files::kErrTabs,
      files::kErrReposition,
      files::kErrNotFound,
      files::kErrUnknown,
      files::kErrRead,
      files::kErrFormat,
      files::kErrFileType,
      files::kErrKeyed,
      files::kErrSeqReadForKey,
      files::kErrBufferLrecl,
      files::kErrRecTooSmall,
      files::kErrKeySequence,
      files::kErrIndexLogic,
      files::kErrIndexBuild,
      files::kErrIndexDepth,
      files::kErrKeyedNeedsLrecl,
      files::kErrDescShort,
      files::kErrDescInvalid,
      files::kErrDescTooLong,
      files::kErrDescTail,
      files::kErrMfvHeaderMissing,
      files::kErrBlockExceeded,
      files::kErrMfvHeaderDup,
      files::kErrNoRecordStart,
  };
  for (const char* known : kTexts) {
    if (std::strcmp(known, text) == 0) return true;
  }
  return false;
}

// A file control block for an input in memory, as the definitions and their completion leave
// one: ordinary file, full name given, no tabs.
inline void define_input(files::FFREC& f) {
  f.file_type = files::kFileOrdinary;
  f.open_type = files::kOpenInput;
  f.tab_width = -1;
  f.fill_char = ' ';
  f.full_name = true;
  f.dsn = const_cast<char*>("memory-input");
  f.handle = -1;
}

}  // namespace recsift::fuzz

#endif  // RECSIFT_FUZZ_MEMORY_HOST_H_
