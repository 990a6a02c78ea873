// Directory input: the listing of a DIR or DIRDATA file.
//
// Owns: the listing state (DirListing, pool "fcb") hung on the file's FFREC while it is open; the
// folders still to scan; the name pattern; the sorted entries of a sorted listing; the FFREC of
// the current entry (pool "FFREC", with its pool texts "pth" and "fnx"), which DIRDATA opens and
// reads as a member; the directory record built in the file's buffer; the listing's own error
// and note lines, handed to the request's reporter.
// Exports (directory_input.h): open_listing, read_listing, close_listing and the record pieces.
//
// Invariants:
//  - An unsorted listing delivers each entry as its folder's scan meets it: the state holds the
//    folders still to scan (breadth first: a folder's files, then its subfolders in the order
//    met), never the entries, so a tree of any size is listed in bounded memory.
//  - A sorted listing collects its entries (folder index, name and facts: no per-entry pool
//    block), sorts them once and delivers them in order.
//  - A folder is descended only while its depth is below the SUB limit, its path stays within
//    kMaxListingPath, and it is not one of the folders on the way down to it (a link back up
//    would never end).
//  - Every block the listing takes is given back when the listing ends (end of file, error,
//    CLOSE): the member shares the listing's buffer and never releases it.
#include "files/directory_input.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <new>
#include <string>
#include <vector>

#include "base/names.h"
#include "base/pool.h"
#include "convert/convert.h"
#include "files/record_io.h"
#include "files/variable_records.h"
#include "host/host.h"

namespace recsift::files {

// ---- Record pieces ---------------------------------------------------------------------------

bool listing_name_matches(std::string_view pattern, std::string_view name) {
  // Iterative match with one remembered star: linear in practice, never exponential.
  size_t p = 0;
  size_t n = 0;
  size_t star = std::string_view::npos;
  size_t star_name = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_name = n;
    } else if (p < pattern.size() && (pattern[p] == '?' ? name[n] != '.'
                                                        : base::upper_letter(pattern[p]) ==
                                                              base::upper_letter(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++star_name;
    } else {
      break;
    }
  }
  if (n == name.size()) {
    while (p < pattern.size() && pattern[p] == '*') ++p;
    if (p == pattern.size()) return true;
  }
  // "x.*" also stands for the names without a point that "x" matches.
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
      name.find('.') == std::string_view::npos) {
    return listing_name_matches(pattern.substr(0, pattern.size() - 2), name);
  }
  return false;
}

void split_listed_name(std::string_view full, std::string_view* name, std::string_view* ext) {
  const size_t dot = full.rfind('.');
  if (dot == std::string_view::npos || dot == 0) {
    *name = full;
    *ext = {};
    return;
  }
  *name = full.substr(0, dot);
  *ext = full.substr(dot + 1);
}

void listing_time_text(int64_t mtime, char text[20]) {
  host::CivilTime t;
  if (host::local_time_checked(mtime, &t) != 0 || t.year < 0 || t.year > 9999) {
    std::memcpy(text, kTimeUnavailable, sizeof kTimeUnavailable);
    return;
  }
  std::snprintf(text, 20, "%04d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.mday, t.hour,
                t.minute, t.second);
}

namespace {

// Copies at most `width` characters of `text` to `to`; a longer text shows its first width - 1
// and an "*".
void put_marked(char* to, std::string_view text, size_t width) {
  if (text.size() <= width) {
    if (!text.empty()) std::memcpy(to, text.data(), text.size());
    return;
  }
  std::memcpy(to, text.data(), width - 1);
  to[width - 1] = '*';
}

}  // namespace

int32_t format_listing_record(uint8_t* out, const char time_text[20], uint8_t attributes,
                              std::string_view folder, std::string_view name, int64_t size) {
  auto* r = reinterpret_cast<char*>(out);
  std::memset(r, ' ', kColPath);
  std::memcpy(r + kColTime, time_text, std::min<size_t>(std::strlen(time_text), 19));
  if (attributes & kAttrArchive) r[kColAttributes] = 'a';
  if (attributes & kAttrReadOnly) r[kColAttributes + 1] = 'r';
  if (attributes & kAttrHidden) r[kColAttributes + 2] = 'h';
  if (attributes & kAttrSystem) r[kColAttributes + 3] = 's';
  std::string_view stem;
  std::string_view ext;
  split_listed_name(name, &stem, &ext);
  put_marked(r + kColName, stem, 8);
  r[kColPoint] = '.';
  put_marked(r + kColExtension, ext, 3);
  convert::edit_number64(r + kColSize, size, kSizeMask);
  std::memcpy(r + kColPath, folder.data(), folder.size());
  std::memcpy(r + kColPath + folder.size(), name.data(), name.size());
  return static_cast<int32_t>(kColPath + folder.size() + name.size());
}

// ---- Listing state ---------------------------------------------------------------------------

namespace {

constexpr int32_t kFolderAttempts = 6;   // attempts to open a folder that fails for a passing cause
constexpr int32_t kDefaultBlock = 2048;  // BLKSIZE assumed when LRECL comes from it
// Attributes a listing admits by default: plain files, archive and read-only ones.
constexpr uint8_t kDefaultFilter = kAttrArchive | kAttrReadOnly;
// Room for the longest directory record: the path limit and a host name of 255 bytes.
constexpr int32_t kRecordRoom = kColPath + kMaxListingPath + 256;

using Identity = host::FileIdentity;

// A folder still to scan.
struct DirNode {
  std::string path;             // absolute, ending in "/"
  int32_t depth = 0;            // 0 for the pattern's folder, one more per level below
  std::vector<Identity> chain;  // the folders from the pattern's folder down to this one
};

// An entry a sorted listing has found.
struct FoundEntry {
  uint32_t folder = 0;     // index in DirListing::folders
  std::string name;        // full name
  int64_t size = 0;        // bytes
  uint8_t attributes = 0;  // ListingAttribute bits
  char time_text[20]{};    // the record's time text (also the "D" order's key)
};

}  // namespace

// The state of one open listing (pool "fcb"), hung on FFREC::directory.
struct DirListing {
  std::string pattern;               // name pattern: the file name's part after its last "/"
  std::deque<DirNode> nodes;         // folders still to scan, in scan order
  DirNode current;                   // the folder being scanned
  host::Folder* search = nullptr;    // open scan of current.path, or null
  bool scanning = false;             // current is being scanned
  bool collected = false;            // sorted: every entry is in `entries`, in delivery order
  bool ended = false;                // no entry is left (or an error ended the listing)
  std::vector<std::string> folders;  // sorted: the folders of the entries
  std::vector<FoundEntry> entries;   // sorted: the entries found
  size_t next_entry = 0;             // sorted: the entry to deliver next
  int64_t count = 0;                 // entries accepted so far
  uint8_t filter = kDefaultFilter;   // attributes admitted
  int32_t depth_limit = 0;           // SUB: levels descended below the pattern's folder
  int32_t sort = 0;                  // SORT letter, 0 = as found
  FFREC* member = nullptr;           // the current entry's FFREC (pool "FFREC")
  bool member_active = false;        // DIRDATA: the member is open and being read
  int32_t path_room = 0;             // bytes of member->path ("pth")
  int32_t name_room = 0;             // bytes of member->member_name ("fnx")
  bool have_time = false;            // last_mtime and last_time hold a conversion: files of
  int64_t last_mtime = 0;            // one tree often share their times, and the last one
  char last_time[20]{};              // converted is kept
};

namespace {

struct Listing {
  FileRequest& request;
  FFREC& file;
  FileHost& host;
  DirListing& d;
};

FileHost& host_of(FileRequest& request) {
  return request.host != nullptr ? *request.host : default_file_host();
}

const char* direction(const FFREC& f) {
  return (f.open_type & kOpenOutput) != 0 && (f.open_type & kOpenInput) == 0 ? " (Outpt) F="
                                                                             : " (Input) F=";
}

// An error that ends the listing: reported with the folder being scanned, the file's last error,
// and the listing has no entry left.
IoResult end_with_error(Listing& l, const char* text, const std::string& path) {
  l.file.last_error = text;
  l.d.ended = true;
  if (l.request.reporter != nullptr) {
    std::string line = std::string("qelfilef: ") + text + " " + direction(l.file) + " " +
                       host_file_name(l.file) + "\n";
    if (!path.empty()) line += "          Curr path=" + path + "\n";
    l.request.reporter->listing_line(line, true);
  }
  return {IoStatus::kError, 0, text};
}

void note(Listing& l, const std::string& line) {
  if (l.request.reporter != nullptr) l.request.reporter->listing_line(line, false);
}

std::string invalid_handle_line(int rc) {
  return "Invalid File Handle. GetLastError = " + std::to_string(rc) + "\n";
}

bool passing_cause(int rc) {
  return rc == EINTR || rc == EAGAIN || rc == EMFILE || rc == ENFILE || rc == ENOMEM;
}

// Starts the scan of the next folder. A folder that has gone is passed over quietly (the pattern's
// folder missing is an empty listing); one that cannot be read is noted and passed over; a passing
// cause is tried again up to kFolderAttempts times. False when no folder is left.
bool start_next_folder(Listing& l) {
  DirListing& d = l.d;
  while (!d.nodes.empty()) {
    d.current = std::move(d.nodes.front());
    d.nodes.pop_front();
    int attempts = 0;
    int rc = 0;
    do {
      ++attempts;
      rc = l.host.open_folder(d.current.path, &d.search);
      if (rc == 0 || rc == ENOENT || rc == ENOTDIR) break;
      note(l, invalid_handle_line(rc));
    } while (passing_cause(rc) && attempts < kFolderAttempts);
    if (attempts > 1) {
      note(l, "qelfilef: Open was retried " + std::to_string(attempts - 1) +
                  " times on dir: " + d.current.path + "\n");
      if (rc != 0) note(l, "                 All attempts failed.\n");
    }
    if (rc == 0) {
      d.scanning = true;
      return true;
    }
    d.search = nullptr;
  }
  return false;
}

void stop_scan(Listing& l) {
  if (l.d.search != nullptr) l.host.close_folder(l.d.search);
  l.d.search = nullptr;
  l.d.scanning = false;
}

uint8_t attributes_of(const host::FileStatus& s) {
  uint8_t a = 0;
  if (s.is_regular) a |= kAttrArchive;
  if (s.read_only) a |= kAttrReadOnly;
  if (s.hidden) a |= kAttrHidden;
  return a;
}

// Whether the filter admits a file of these attributes: one without any is a plain file; hidden
// and system files need the filter to name them.
bool admitted(uint8_t attributes, uint8_t filter) {
  if ((attributes & (kAttrHidden | kAttrSystem)) & ~filter) return false;
  return attributes == 0 || (attributes & filter) != 0;
}

// What the scan met: a file to deliver, the end of the listing, or an error that ended it.
enum class Step { kFile, kEnd, kError };

struct Found {
  const char* name = nullptr;  // the entry's full name (valid until the next scan step)
  host::FileStatus status;     // its facts
};

// The next accepted file of the scan, descending into subfolders as allowed.
Step scan_next(Listing& l, Found* found, IoResult* error) {
  DirListing& d = l.d;
  for (;;) {
    if (!d.scanning && !start_next_folder(l)) return Step::kEnd;
    const char* name = nullptr;
    if (const int rc = l.host.read_folder(d.search, &name, &found->status); rc != 0) {
      note(l, invalid_handle_line(rc));  // the folder's scan ends here, noted like a failed start
      stop_scan(l);
      continue;
    }
    if (name == nullptr) {
      stop_scan(l);
      continue;
    }
    if (found->status.is_directory) {
      if (d.current.depth >= d.depth_limit) continue;
      const Identity id{found->status.device, found->status.inode};
      if (std::find(d.current.chain.begin(), d.current.chain.end(), id) != d.current.chain.end()) {
        continue;  // a link back to a folder on the way down
      }
      DirNode node;
      node.path.reserve(d.current.path.size() + std::strlen(name) + 1);
      node.path = d.current.path;
      node.path += name;
      node.path += '/';
      if (node.path.size() > static_cast<size_t>(kMaxListingPath)) {
        stop_scan(l);
        *error = end_with_error(l, kErrPathLength, d.current.path);
        return Step::kError;
      }
      node.depth = d.current.depth + 1;
      node.chain = d.current.chain;
      node.chain.push_back(id);
      d.nodes.push_back(std::move(node));
      continue;
    }
    if (!admitted(attributes_of(found->status), d.filter)) continue;
    if (!listing_name_matches(d.pattern, name)) continue;
    found->name = name;
    ++d.count;
    return Step::kFile;
  }
}

// ---- Sorting ---------------------------------------------------------------------------------

int compare_text(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(base::upper_letter(a[i]));
    const auto y = static_cast<unsigned char>(base::upper_letter(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string_view ext_of(const FoundEntry& e) {
  std::string_view stem;
  std::string_view ext;
  split_listed_name(e.name, &stem, &ext);
  return ext;
}

std::string_view stem_of(const FoundEntry& e) {
  std::string_view stem;
  std::string_view ext;
  split_listed_name(e.name, &stem, &ext);
  return stem;
}

// Sorts the collected entries by the SORT letter; false for a letter outside "SPEND". Entries
// equal under every key of the order (names that differ only in case) keep a fixed order: their
// exact names, then their folders.
bool sort_entries(DirListing& d) {
  const std::vector<std::string>& folders = d.folders;
  auto path = [&](const FoundEntry& e) -> std::string_view { return folders[e.folder]; };
  auto name = [](const FoundEntry& a, const FoundEntry& b) { return compare_text(a.name, b.name); };
  auto ext = [](const FoundEntry& a, const FoundEntry& b) {
    return compare_text(ext_of(a), ext_of(b));
  };
  auto folder = [&](const FoundEntry& a, const FoundEntry& b) {
    return compare_text(path(a), path(b));
  };
  auto exact = [&](const FoundEntry& a, const FoundEntry& b) {
    if (int c = a.name.compare(b.name); c != 0) return c < 0;
    return path(a).compare(path(b)) < 0;
  };
  // Each order: its first keys, then the exact tie-break.
  auto by = [&](auto first) {
    std::sort(d.entries.begin(), d.entries.end(), [&](const FoundEntry& a, const FoundEntry& b) {
      const int c = first(a, b);
      return c != 0 ? c < 0 : exact(a, b);
    });
  };
  switch (d.sort) {
    case 'S':
      by([&](const FoundEntry& a, const FoundEntry& b) {
        if (a.size != b.size) return a.size > b.size ? -1 : 1;
        if (int c = name(a, b); c != 0) return c;
        if (int c = ext(a, b); c != 0) return c;
        return folder(a, b);
      });
      return true;
    case 'P':
      by([&](const FoundEntry& a, const FoundEntry& b) {
        if (int c = folder(a, b); c != 0) return c;
        if (int c = ext(a, b); c != 0) return c;
        return name(a, b);
      });
      return true;
    case 'E':
      by([&](const FoundEntry& a, const FoundEntry& b) {
        if (int c = ext(a, b); c != 0) return c;
        if (int c = name(a, b); c != 0) return c;
        return folder(a, b);
      });
      return true;
    case 'N':
      by([&](const FoundEntry& a, const FoundEntry& b) {
        const std::string_view x = stem_of(a);
        const std::string_view y = stem_of(b);
        const int c =
            x.size() > 8 || y.size() > 8 ? compare_text(a.name, b.name) : compare_text(x, y);
        if (c != 0) return c;
        if (int c2 = name(a, b); c2 != 0) return c2;
        return folder(a, b);
      });
      return true;
    case 'D':
      by([&](const FoundEntry& a, const FoundEntry& b) {
        if (int c = std::strcmp(a.time_text, b.time_text); c != 0) return -c;  // newest first
        if (int c = ext(a, b); c != 0) return c;
        if (int c = name(a, b); c != 0) return c;
        return folder(a, b);
      });
      return true;
    default:
      return false;
  }
}

// ---- Entries ---------------------------------------------------------------------------------

const char* time_text_of(DirListing& d, int64_t mtime) {
  if (!d.have_time || mtime != d.last_mtime) {
    listing_time_text(mtime, d.last_time);
    d.last_mtime = mtime;
    d.have_time = true;
  }
  return d.last_time;
}

// Puts `text` into the pool text *field of *room bytes, taking a larger block when needed: at
// first one of `least` bytes, which every ordinary path or name fits, so that a listing takes its
// texts once rather than once for each longer entry.
void set_text(char** field, int32_t* room, std::string_view text, int32_t least,
              const char* description) {
  if (static_cast<int32_t>(text.size()) >= *room) {
    base::qelgrel(field, description);
    *room = std::max(static_cast<int32_t>(text.size()) + 1, least);
    *field = static_cast<char*>(base::qelgcore(*room, 0, description));
  }
  if (!text.empty()) std::memcpy(*field, text.data(), text.size());
  (*field)[text.size()] = '\0';
}

// Makes the member FFREC describe the entry: path, name and extension with their marks, the
// identifier, the full name, size, attributes and time text.
void describe_member(DirListing& d, std::string_view folder, std::string_view name, int64_t size,
                     uint8_t attributes, const char* time_text) {
  FFREC& m = *d.member;
  set_text(&m.path, &d.path_room, folder, kMaxListingPath + 1, "pth");
  set_text(&m.member_name, &d.name_room, name, 256, "fnx");
  std::string_view stem;
  std::string_view ext;
  split_listed_name(name, &stem, &ext);
  std::memset(m.name, 0, sizeof m.name);
  std::memset(m.ext, 0, sizeof m.ext);
  put_marked(m.name, stem, 8);
  put_marked(m.ext, ext, 3);
  std::memset(m.ident, ' ', sizeof m.ident);
  std::memcpy(m.ident, m.name, std::strlen(m.name));
  m.file_size = size;
  for (int i = 0; i < 8; ++i) m.file_size_be[i] = static_cast<uint8_t>(size >> (56 - 8 * i));
  m.attributes = attributes;
  std::memcpy(m.time_text, time_text, sizeof m.time_text);
}

// The next entry into the member FFREC: from the sorted list, or from the scan. Sorting collects
// every entry at the first call.
Step next_entry(Listing& l, IoResult* error) {
  DirListing& d = l.d;
  if (d.ended) return Step::kEnd;
  Found found;
  if (d.sort == 0) {
    const Step s = scan_next(l, &found, error);
    if (s != Step::kFile) {
      if (s == Step::kEnd) d.ended = true;
      return s;
    }
    describe_member(d, d.current.path, found.name, found.status.size, attributes_of(found.status),
                    time_text_of(d, found.status.mtime));
    return Step::kFile;
  }
  if (!d.collected) {
    if (std::strchr("SPEND", d.sort) == nullptr) {
      *error = end_with_error(l, kErrSortType, {});
      return Step::kError;
    }
    for (;;) {
      const Step s = scan_next(l, &found, error);
      if (s == Step::kError) return s;
      if (s == Step::kEnd) break;
      if (d.folders.empty() || d.folders.back() != d.current.path) {
        d.folders.push_back(d.current.path);
      }
      FoundEntry e;
      e.folder = static_cast<uint32_t>(d.folders.size() - 1);
      e.name = found.name;
      e.size = found.status.size;
      e.attributes = attributes_of(found.status);
      std::memcpy(e.time_text, time_text_of(d, found.status.mtime), sizeof e.time_text);
      d.entries.push_back(std::move(e));
    }
    sort_entries(d);
    d.collected = true;
  }
  if (d.next_entry >= d.entries.size()) {
    d.ended = true;
    return Step::kEnd;
  }
  const FoundEntry& e = d.entries[d.next_entry++];
  describe_member(d, d.folders[e.folder], e.name, e.size, e.attributes, e.time_text);
  return Step::kFile;
}

// ---- Open, close, read -----------------------------------------------------------------------

// The buffer capacity record I/O gives the member: the same test as its own, so that each
// member's open keeps the listing's buffer.
int32_t member_capacity(const FFREC& f, const FileHost& host) {
  return is_variable(f) ? f.blksize : std::max(f.blksize, host.minimum_buffer());
}

void take_buffer(FFREC& f, int32_t capacity) {
  if (f.buffer != nullptr) base::qelgrel(&f.buffer, "buf");
  f.buffer_capacity = capacity;
  f.buffer =
      static_cast<uint8_t*>(base::qelgcore(int64_t{capacity} + kBufferSentinelSize, 0, "buf"));
  std::memcpy(f.buffer + capacity, kBufferSentinel, kBufferSentinelSize);
}

// Sets the member up to be opened as an input with the listing's record format settings.
void prepare_member(FFREC& f, FFREC& m) {
  m.file_type = kFileOrdinary;
  m.open_type = kOpenInput;
  m.dir_member = true;
  m.owner = &f;
  m.recfm = f.recfm;
  m.blocked = f.blocked;
  m.lrecl = f.lrecl;
  m.blksize = f.blksize;
  m.current_lrecl = f.current_lrecl;
  m.descriptor_length = f.descriptor_length;
  m.delimiter = f.delimiter;
  m.delimiter_length = f.delimiter_length;
  m.tab_width = f.tab_width;
  m.fill = f.fill;
  m.fill_char = f.fill_char;
  m.truncate = f.truncate;
  m.keep_ctlz = f.keep_ctlz;
  m.rdw = f.rdw;
  m.nordw = f.nordw;
  m.bdw = f.bdw;
  m.nobdw = f.nobdw;
  m.no_tab_check = f.no_tab_check;
  m.previous_length = f.current_length;
  m.current_length = f.current_length;
  m.longest_record = 0;
  m.buffer = f.buffer;  // shared: the listing releases it
  m.buffer_capacity = f.buffer_capacity;
  m.is_open = m.closed = false;
}

// Gives back everything the listing holds; the file keeps its counts.
void release_listing(FileRequest& request, FFREC& f) {
  DirListing* d = f.directory;
  if (d == nullptr) return;
  FileHost& host = host_of(request);
  if (d->search != nullptr) host.close_folder(d->search);
  if (FFREC* m = d->member; m != nullptr) {
    if (m->is_open) close_file(request, *m);
    // A member open may have taken a buffer of its own: it is the listing's to release.
    if (m->buffer != nullptr && m->buffer != f.buffer) base::qelgrel(&m->buffer, "buf");
    release_variable(*m);  // an MFV member's header
    base::qelgrel(&m->path, "pth");
    base::qelgrel(&m->member_name, "fnx");
    m->~FFREC();
    base::qelgrel(&d->member, "FFREC");
  }
  d->~DirListing();
  base::qelgrel(&f.directory, "fcb");
  if (f.buffer != nullptr) base::qelgrel(&f.buffer, "buf");
  f.buffer_capacity = 0;
}

IoResult listing_end(FileRequest& request, FFREC& f) {
  if (f.record_count == 0) f.empty = true;
  f.physical_end = true;
  release_listing(request, f);
  f.is_open = false;
  f.closed = true;
  return {IoStatus::kEndOfFile};
}

// Hands a directory record to the caller: into `area` when it fits, else where it lies.
IoResult deliver(FFREC& f, uint8_t* record, int32_t length, uint8_t* area, int32_t area_length) {
  uint8_t* result = record;
  if (area != nullptr && area_length >= length) {
    std::memcpy(area, record, static_cast<size_t>(length));
    if (f.fill && f.previous_length > length && f.previous_length <= area_length) {
      std::memset(area + length, f.fill_char, static_cast<size_t>(f.previous_length - length));
    }
    result = area;
  }
  f.current_length = length;
  f.longest_record = std::max(f.longest_record, length);
  f.tab_seen = false;
  ++f.record_count;
  return {IoStatus::kRecord, length, result};
}

// DIRDATA: the next record of the members, moving to the next member at each one's end.
IoResult read_members(Listing& l, uint8_t* area, int32_t area_length) {
  FFREC& f = l.file;
  DirListing& d = l.d;
  FFREC& m = *d.member;
  for (;;) {
    if (d.member_active) {
      const IoResult r = read_record(l.request, m, area, area_length);
      if (r.ok()) {
        f.current_length = r.length;
        f.tab_seen = m.tab_seen;
        f.longest_record = std::max(f.longest_record, r.length);
        ++f.record_count;
        return r;
      }
      d.member_active = false;
      if (m.is_open) close_file(l.request, m);
      if (r.status == IoStatus::kError) {
        f.last_error = r.error();
        return {IoStatus::kError, 0, r.error()};
      }
      continue;  // this member's end: on to the next
    }
    IoResult error;
    const Step s = next_entry(l, &error);
    if (s == Step::kError) return error;
    if (s == Step::kEnd) return listing_end(l.request, f);
    prepare_member(f, m);
    const IoResult opened = open_file(l.request, m);
    if (m.buffer != f.buffer && m.buffer != nullptr) {
      // The member's format wanted another buffer: the listing adopts it.
      base::qelgrel(&f.buffer, "buf");
      f.buffer = m.buffer;
      f.buffer_capacity = m.buffer_capacity;
    }
    if (opened.status == IoStatus::kError) {
      f.last_error = opened.error();
      return {IoStatus::kError, 0, opened.error()};
    }
    // A member that has gone since the listing found it reads as empty.
    d.member_active = opened.ok();
  }
}

}  // namespace

IoResult open_listing(FileRequest& request, FFREC& f) {
  if (f.is_open) release_listing(request, f);
  f.is_open = f.open_failed = f.physical_end = f.empty = false;
  f.last_error = nullptr;
  // The sizes record I/O would settle for an ordinary file of these settings, which the
  // members of DIRDATA take over.
  const int32_t overhead =
      is_variable(f) ? static_cast<int32_t>(variable_overhead(f)) : std::max(f.delimiter_length, 0);
  if (f.lrecl <= 0) f.lrecl = (f.blksize > 0 ? f.blksize : kDefaultBlock) - overhead;
  if (f.blksize <= 0) f.blksize = f.lrecl + overhead;
  if (f.current_lrecl == 0) f.current_lrecl = f.lrecl;
  FileHost& host = host_of(request);

  auto* d = new (base::qelgcore(sizeof(DirListing), 0, "fcb")) DirListing();
  f.directory = d;
  d->depth_limit = f.dir_sub;
  d->sort = f.dir_sort;
  d->member = new (base::qelgcore(sizeof(FFREC), 0, "FFREC")) FFREC();
  // The records are built in the file's buffer; under DIRDATA each member reads into it.
  // (Of the member's capacity, so that each member's open finds it fit and keeps it.)
  take_buffer(f, f.dirdata ? member_capacity(f, host) : kRecordRoom);

  const std::string name = host_file_name(f);
  const std::string_view folder = host::directory_part(name);
  d->pattern = std::string(host::name_part(name));
  DirNode root;
  root.path = std::string(folder);
  if (root.path.empty()) root.path = host::current_directory();
  Identity id;
  if (host.identity(root.path, &id) == 0) root.chain.push_back(id);
  d->nodes.push_back(std::move(root));

  f.record_count = 0;
  f.current_length = 0;
  f.buffer_offset = f.bytes_remaining = 0;  // no data of its own: the text fast path passes by
  f.is_open = f.was_opened = f.dir_opened = true;
  f.closed = false;
  return {IoStatus::kRecord, 0, nullptr};
}

IoResult read_listing(FileRequest& request, FFREC& f, uint8_t* area, int32_t area_length) {
  if ((f.open_type & kOpenInput) == 0) {
    f.last_error = kErrOpenType;
    if (request.reporter != nullptr) request.reporter->failed(f, kErrOpenType);
    return {IoStatus::kError, 0, kErrOpenType};
  }
  if (!f.is_open) {
    if (const IoResult r = open_listing(request, f); !r.ok()) return r;
  }
  Listing l{request, f, host_of(request), *f.directory};
  f.previous_length = f.current_length;
  if (f.dirdata) return read_members(l, area, area_length);
  IoResult error;
  const Step s = next_entry(l, &error);
  if (s == Step::kError) return error;
  if (s == Step::kEnd) return listing_end(request, f);
  const FFREC& m = *l.d.member;
  const std::string_view folder = m.path;
  const std::string_view name = m.member_name;
  // The pattern's own folder may be longer than any descent allows; a name beyond the host's
  // usual 255 bytes would not fit the record's room either.
  if (folder.size() > static_cast<size_t>(kMaxListingPath) ||
      kColPath + folder.size() + name.size() > static_cast<size_t>(f.buffer_capacity)) {
    return end_with_error(l, kErrPathLength, std::string(folder));
  }
  const int32_t length =
      format_listing_record(f.buffer, m.time_text, m.attributes, folder, name, m.file_size);
  return deliver(f, f.buffer, length, area, area_length);
}

IoResult close_listing(FileRequest& request, FFREC& f) {
  if (!f.is_open) return {IoStatus::kRecord, 0, nullptr};
  release_listing(request, f);
  f.is_open = false;
  f.closed = true;
  return {IoStatus::kRecord, 0, nullptr};
}

}  // namespace recsift::files
