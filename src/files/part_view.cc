// Reading one part of a file: part i of n of an input, cut on record boundaries, so that n runs
// (on as many cores or machines) together read every record exactly once. The cut is made once,
// before the file is opened; from then on a view over the run's file host shows the part as if
// it were the whole file (its size, offsets from 0, the end of file at the part's end), so every
// reading path sees ordinary input.
//
// Fixed records (and EOL=NO pieces) are cut at multiples of the record length: part i holds
// records [r*(i-1)/n, r*i/n) of the file's r. Lines are cut at line ends: with s = size*(i-1)/n,
// part i (i > 1) begins after the first line end that ends at or after byte s-1, that is with the
// line after the one holding byte s-1; so each line belongs to the part whose range holds its last
// byte before the delimiter. Variable records carry no mark that tells a record start from data,
// so such files (and directory listings, standard streams, keyed and concatenated inputs) are
// refused.
//
// Exports (files.h): read_part_only.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "files/files.h"
#include "files/record_io.h"
#include "host/host.h"

namespace recsift::files {
namespace {

constexpr const char* kErrPartFormat =
    "Only fixed records and lines can be read in parts: the records of this format have no "
    "start that can be found.";
constexpr const char* kErrPartKind =
    "Only an ordinary file read from its start, without keys or CAT, can be read in parts.";
constexpr const char* kErrPartRead = "Read failed while cutting the file into parts.";

constexpr int64_t kSearchChunk = 1 << 16;

// The part of one file shown as a whole file; every other file passes through.
class PartView final : public FileHost {
 public:
  PartView(FileHost& inner, std::string path, int64_t start, int64_t end)
      : inner_(inner), path_(std::move(path)), start_(start), end_(end) {}

  int open(const std::string& path, host::OpenMode mode, int* handle) override {
    const int rc = inner_.open(path, mode, handle);
    if (rc != 0 || path != path_ || mode != host::OpenMode::kRead) return rc;
    int64_t at = 0;
    if (const int error = inner_.seek(*handle, start_, 0, &at); error != 0) {
      inner_.close(*handle);
      *handle = host::kNoHandle;
      return error;
    }
    handle_ = *handle;
    offset_ = start_;
    return 0;
  }
  int read(int handle, void* buf, int64_t len, int64_t* got) override {
    if (handle != handle_) return inner_.read(handle, buf, len, got);
    len = std::min(len, end_ - offset_);
    if (len <= 0) {
      *got = 0;
      return 0;
    }
    const int rc = inner_.read(handle, buf, len, got);
    if (rc == 0) offset_ += *got;
    return rc;
  }
  int write(int handle, const void* buf, int64_t len) override {
    return inner_.write(handle, buf, len);
  }
  int seek(int handle, int64_t offset, int whence, int64_t* position) override {
    if (handle != handle_) return inner_.seek(handle, offset, whence, position);
    const int64_t base = whence == 0 ? start_ : whence == 1 ? offset_ : end_;
    int64_t at = 0;
    const int rc = inner_.seek(handle, std::max(base + offset, start_), 0, &at);
    if (rc != 0) return rc;
    offset_ = at;
    if (position != nullptr) *position = at - start_;
    return 0;
  }
  int size(int handle, int64_t* bytes) override {
    if (handle != handle_) return inner_.size(handle, bytes);
    *bytes = end_ - start_;
    return 0;
  }
  int truncate(int handle) override { return inner_.truncate(handle); }
  int may_write(const std::string& path) override { return inner_.may_write(path); }
  int close(int handle) override {
    if (handle == handle_) handle_ = host::kNoHandle;
    return inner_.close(handle);
  }
  int identity(const std::string& path, host::FileIdentity* id) override {
    return inner_.identity(path, id);
  }
  int handle_identity(int handle, host::FileIdentity* id) override {
    return inner_.handle_identity(handle, id);
  }
  int open_folder(const std::string& path, host::Folder** folder) override {
    return inner_.open_folder(path, folder);
  }
  int read_folder(host::Folder* folder, const char** name, host::FileStatus* status) override {
    return inner_.read_folder(folder, name, status);
  }
  void close_folder(host::Folder* folder) override { inner_.close_folder(folder); }
  int32_t minimum_buffer() const override { return inner_.minimum_buffer(); }

 private:
  FileHost& inner_;
  std::string path_;
  int64_t start_;
  int64_t end_;
  int handle_ = host::kNoHandle;
  int64_t offset_ = 0;
};

// The view of the current run (one per process: a run reads one primary input in parts).
std::unique_ptr<PartView> current_view;

// The offset just past the first delimiter that begins at or after `from`, or `size` when none
// does; -1 when the file cannot be read.
int64_t after_delimiter(FileHost& host, int handle, int64_t from, int64_t size,
                        const std::string& delimiter) {
  const auto d = static_cast<int64_t>(delimiter.size());
  std::vector<char> chunk(static_cast<size_t>(kSearchChunk + d));
  for (int64_t at = from; at < size;) {
    int64_t position = 0;
    if (host.seek(handle, at, 0, &position) != 0) return -1;
    const int64_t want = std::min<int64_t>(static_cast<int64_t>(chunk.size()), size - at);
    int64_t have = 0;
    while (have < want) {
      int64_t got = 0;
      if (host.read(handle, chunk.data() + have, want - have, &got) != 0) return -1;
      if (got == 0) break;
      have += got;
    }
    if (have < d) return size;
    const auto found =
        std::search(chunk.begin(), chunk.begin() + have, delimiter.begin(), delimiter.end());
    if (found != chunk.begin() + have) return at + (found - chunk.begin()) + d;
    if (at + have >= size) return size;
    at += have - (d - 1);  // a delimiter may straddle two chunks
  }
  return size;
}

}  // namespace

IoResult read_part_only(FileRequest& request, FFREC& file, int32_t part, int32_t parts) {
  auto refuse = [&file, &request](const char* text) {
    file.last_error = text;
    file.open_failed = true;
    if (request.reporter != nullptr) request.reporter->failed(file, text);
    return IoResult{IoStatus::kError, 0, text};
  };
  const bool fixed = record_format(file.recfm).finder == RecordCode::kFixed;
  const bool pieces = file.recfm == kRecfmU && file.delimiter_length <= 0;
  if (!fixed && file.recfm != kRecfmU) return refuse(kErrPartFormat);
  if (file.file_type != kFileOrdinary || file.predefined != kPredefNone || file.keyed_modes != 0 ||
      (file.next != nullptr && file.next->concatenated)) {
    return refuse(kErrPartKind);
  }
  FileHost& inner = request.host != nullptr ? *request.host : default_file_host();
  const std::string path = host_file_name(file);
  int handle = host::kNoHandle;
  if (inner.open(path, host::OpenMode::kRead, &handle) != 0) {
    return {IoStatus::kRecord};  // a missing file reads as empty anyway, an unreadable one fails
  }                              // at its own open
  int64_t size = 0;
  int64_t start = 0, end = 0;
  bool ok = inner.size(handle, &size) == 0;
  if (ok && (fixed || pieces)) {
    const int64_t length = std::max<int32_t>(fixed                    ? file.lrecl
                                             : file.current_lrecl > 0 ? file.current_lrecl
                                                                      : file.lrecl,
                                             1);
    const int64_t records = (size + length - 1) / length;
    start = std::min(size, records * (part - 1) / parts * length);
    end = std::min(size, records * part / parts * length);
  } else if (ok) {
    const std::string delimiter =
        file.delimiter != nullptr
            ? std::string(file.delimiter, static_cast<size_t>(file.delimiter_length))
            : std::string("\n");
    auto cut = [&](int32_t i) -> int64_t {  // where part i begins
      if (i <= 1) return 0;
      if (i > parts) return size;
      const int64_t s = size / parts * (i - 1) + size % parts * (i - 1) / parts;
      return after_delimiter(inner, handle, std::max<int64_t>(0, s - 1 - (delimiter.size() - 1)),
                             size, delimiter);
    };
    start = cut(part);
    end = cut(part + 1);
    ok = start >= 0 && end >= 0;
  }
  inner.close(handle);
  if (!ok) return refuse(kErrPartRead);
  current_view = std::make_unique<PartView>(inner, path, start, std::max(start, end));
  request.host = current_view.get();
  return {IoStatus::kRecord};
}

}  // namespace recsift::files
