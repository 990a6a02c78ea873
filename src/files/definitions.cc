// File definitions: turns a file name and the file keywords of a statement into a file control
// block (FFREC) of the run's file list.
//
// Exports (files.h): split_file_name, predefined_name, define_file, set_data_set_name,
// open_bits, merge_open_type, set_file_type, apply_file_keyword, apply_definition_defaults,
// load_call_library, release_call_library, release_file_list, host_file_name.
//
// Invariants:
//  - A file name reaches an FFREC only after split_file_name accepted it, so the fixed fields are
//    always filled within their sizes (name at most 8 characters, extension at most 3) and a
//    defined file never has an empty name (an empty name marks a free record).
//  - Names compare exactly (case kept): two definitions name the same file only when path, name
//    and extension are equal, and both are predefined alike.
//  - Nothing here reads tokens; the compiler hands over texts as typed.
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "files/files.h"
#include "host/host.h"

namespace recsift::files {
namespace {

// The predefined names, matched in any case. One row per name: its kind, the file name it is
// given (DUMMY's depends on the statement) and its standard stream.
struct PredefinedRow {
  std::string_view word;  // as matched, upper case
  Predefined kind;        // what it is
  const char* file_name;  // the name field
};
constexpr PredefinedRow kPredefinedNames[] = {
    {"CARD", kPredefCard, "CARD"},       {"SYSIN", kPredefSysin, "stdin"},
    {"DUMMY", kPredefDummy, "DUMMR"},    {"STDIN", kPredefStdin, "stdin"},
    {"STDOUT", kPredefStdout, "stdout"}, {"STDERR", kPredefStderr, "stderr"},
};

// Devices DEV accepts; the value has no further effect.
constexpr std::string_view kDevices =
    "2311,2314,2319,3330,3330M11,3340,3350,3310,3370,9335,FBA,3375,3380,3390,9345,9336,3540,"
    "DISKETTE,DKT,TAPE";

// Largest number a size keyword accepts: buffers are BLKSIZE + 16 bytes in 32 bits, and
// anything near that is a typing error rather than a record size.
constexpr int32_t kMaxKeywordNumber = 1 << 30;
// SUB alone: sub-folders to any practical depth.
constexpr int32_t kSubAllLevels = 256;
// Tab width left after an invalid TABS value.
constexpr int32_t kDefaultTabWidth = 8;
// Record length of the dummy file.
constexpr int32_t kDummyLength = 80;

constexpr char kCrLf[] = "\r\n";
constexpr char kLf[] = "\n";
constexpr char kCr[] = "\r";

char upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string to_upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = upper(c);
  return out;
}

bool in_list(std::string_view synonyms, std::string_view word) {
  if (word.empty()) return false;
  size_t start = 0;
  while (start <= synonyms.size()) {
    size_t comma = synonyms.find(',', start);
    if (comma == std::string_view::npos) comma = synonyms.size();
    if (synonyms.substr(start, comma - start) == word) return true;
    start = comma + 1;
  }
  return false;
}

// A whole decimal number 0..kMaxKeywordNumber.
bool parse_number(std::string_view text, int32_t* value) {
  if (text.empty()) return false;
  int64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
    if (n > kMaxKeywordNumber) return false;
  }
  *value = static_cast<int32_t>(n);
  return true;
}

// A zero-terminated pool copy of text.
char* pool_text(std::string_view text, const char* description) {
  auto* copy =
      static_cast<char*>(base::qelgcore(static_cast<int64_t>(text.size()) + 1, 0, description));
  std::memcpy(copy, text.data(), text.size());
  return copy;
}

// Copies text into a fixed field of `size` bytes (the last one the terminator); the caller has
// checked the length.
void set_fixed(char* field, size_t size, std::string_view text) {
  std::memset(field, 0, size);
  std::memcpy(field, text.data(), text.size() < size ? text.size() : size - 1);
}

void set_ident(FFREC& file, std::string_view text) {
  std::memset(file.ident, ' ', sizeof file.ident);
  std::memcpy(file.ident, text.data(),
              text.size() < sizeof file.ident ? text.size() : sizeof file.ident);
}

// The folder relative names are taken from: DEFDIR (absolute, or below the current folder)
// or the current folder; always ending in "/".
std::string base_folder(const FileList& files) {
  std::string base;
  if (files.default_dir != nullptr && files.default_dir[0] != 0) {
    std::string dir = files.default_dir;
    host::normalise_separators(dir);
    base = dir[0] == '/' ? dir : host::current_directory() + dir;
  } else {
    base = host::current_directory();
  }
  if (base.empty() || base.back() != '/') base += '/';
  return base;
}

// Releases a delimiter the EOL keyword took from the pool; the standard ones are constants.
void release_delimiter(FFREC& file) {
  if (file.delimiter != nullptr && file.delimiter != kCrLf && file.delimiter != kLf &&
      file.delimiter != kCr) {
    auto* text = const_cast<char*>(file.delimiter);
    base::qelgrel(&text, "eol");
  }
  file.delimiter = nullptr;
}

// Releases the texts a definition gave the record.
void release_texts(FFREC& file) {
  base::qelgrel(&file.path, "pth");
  base::qelgrel(&file.dsn, "dsn");
  release_delimiter(file);
}

// Sets a new or reused record to the state of a fresh definition; the links stay.
void init_record(FFREC& file, const FileList& files) {
  FFREC* next = file.next;
  FFREC* prev = file.prev;
  const int32_t index = file.index;
  file = FFREC();
  file.next = next;
  file.prev = prev;
  file.index = index;
  set_ident(file, "");
  file.fill_char = files.fill_char;
  file.fill = files.fill_on;
  file.truncate = true;
  file.replace = true;
  file.file_type = kFileOrdinary;
  file.dir_sort = files.dir_sort;
  file.dir_sub = files.dir_sub;
}

// A free record (one whose name is empty) or a new one chained at the end.
FFREC* take_record(FileList& files) {
  for (FFREC* f = files.head; f != nullptr; f = f->next) {
    if (f->name[0] == 0) {
      release_texts(*f);
      init_record(*f, files);
      return f;
    }
  }
  auto* f = new (base::qelgcore(sizeof(FFREC), 0, "FFREC")) FFREC();
  f->index = files.tail != nullptr ? files.tail->index + 1 : 0;
  init_record(*f, files);
  f->prev = files.tail;
  if (files.tail != nullptr) {
    files.tail->next = f;
  } else {
    files.head = f;
  }
  files.tail = f;
  return f;
}

bool same_file(const FFREC& f, const FileName& n, Predefined predefined) {
  return f.predefined == predefined && n.name == f.name && n.ext == f.ext && f.path != nullptr &&
         n.path == f.path;
}

FFREC* find_file(const FileList& files, const FileName& n, Predefined predefined, bool external) {
  for (FFREC* f = files.head; f != nullptr; f = f->next) {
    if (f->name[0] == 0) continue;
    const bool is_external = (f->open_type & kOpenExternal) != 0;
    if (is_external == external && same_file(*f, n, predefined)) return f;
  }
  return nullptr;
}

bool is_output_kind(OpenKind kind) {
  return kind == OpenKind::kOutput || kind == OpenKind::kInsert;
}

int set_recfm(FFREC& file, std::string_view value) {
  if (!in_list("F,FB,U,V,VB,V2,MFV", value)) return kMsgBadRecfm;
  file.blocked = false;
  switch (value[0]) {
    case 'F':
      file.recfm = kRecfmF;
      break;
    case 'U':
      file.recfm = kRecfmU;
      break;
    case 'M':
      file.recfm = kRecfmMfv;
      break;
    default:
      file.recfm = kRecfmV;
      break;
  }
  if (value.size() > 1 && value[1] == '2') file.recfm = kRecfmV2;
  file.descriptor_length = record_format(file.recfm).record_descriptor;
  if (value.size() > 1 && value[1] == 'B') file.blocked = true;
  file.recfm_given = true;
  return 0;
}

int set_eol(FFREC& file, std::string_view typed, std::string_view value) {
  // An earlier delimiter text is not released: a failed statement may give the file its
  // earlier state back, pointer included.
  if (file.recfm == kRecfmNone) file.recfm = kRecfmU;
  file.eol_given = true;
  if (value == "CRLF") {
    file.delimiter = kCrLf;
  } else if (value == "LF") {
    file.delimiter = kLf;
  } else if (value == "CR") {
    file.delimiter = kCr;
  } else if (value == "NO") {
    file.delimiter = nullptr;
    file.delimiter_length = 0;
    file.truncate = false;
    return 0;
  } else {
    file.delimiter = pool_text(typed, "eol");
    file.delimiter_length = static_cast<int32_t>(typed.size());
    return 0;
  }
  file.delimiter_length = static_cast<int32_t>(std::strlen(file.delimiter));
  return 0;
}

int set_blksize(FFREC& file, std::string_view value, OpenKind kind) {
  int32_t n = 0;
  if (parse_number(value, &n)) {
    file.blksize = n;
    file.blksize_rule = kBlksizeAsGiven;
  } else if (is_output_kind(kind) && in_list("SAME,MAX,UNB", value)) {
    file.blksize_rule = value == "SAME"  ? kBlksizeSame
                        : value == "MAX" ? kBlksizeMax
                                         : kBlksizeUnblocked;
  } else {
    return kMsgBadNumber;
  }
  file.blksize_given = true;
  return 0;
}

int set_sort(FFREC& file, std::string_view value) {
  if (in_list("NO,0", value)) {
    file.dir_sort = 0;
  } else if (value.size() == 1 &&
             std::string_view("SPEND").find(value[0]) != std::string_view::npos) {
    file.dir_sort = value[0];
  } else {
    return kMsgBadSort;
  }
  return 0;
}

}  // namespace

// ---- Names ------------------------------------------------------------------------------------

Predefined predefined_name(std::string_view word) {
  if (word.size() > 6) return kPredefNone;
  const std::string up = to_upper(word);
  for (const PredefinedRow& row : kPredefinedNames) {
    if (row.word == up) return row.kind;
  }
  return kPredefNone;
}

int split_file_name(const FileList& files, std::string_view typed, bool pattern, FileName* out) {
  if (typed.empty() || typed.size() > static_cast<size_t>(kMaxFileName)) return kMsgBadFileName;
  for (char c : typed) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) return kMsgBadFileName;
  }
  std::string full(typed);
  host::normalise_separators(full);
  const std::string_view whole(full);
  const std::string_view folder = host::directory_part(whole);
  std::string_view base = host::name_part(whole);
  if (base.empty() && pattern) base = "*";
  if (base.empty() || base == "." || base == "..") return kMsgBadFileName;

  out->path = (!folder.empty() && folder[0] == '/') ? std::string(folder)
                                                    : base_folder(files) + std::string(folder);
  // An extension is 1 to 3 characters after the last point; a leading point (a hidden file)
  // and a final point belong to the name, so that the parts always give back the name.
  std::string_view stem = base;
  out->ext.clear();
  const size_t dot = base.rfind('.');
  if (dot != std::string_view::npos && dot > 0 && base.size() - dot - 1 >= 1 &&
      base.size() - dot - 1 <= 3) {
    out->ext = std::string(base.substr(dot + 1));
    stem = base.substr(0, dot);
  }
  // Only the last 8 characters go into the name field; the rest joins the path.
  constexpr size_t kNameMax = sizeof(FFREC::name) - 1;
  if (stem.size() > kNameMax) {
    out->path += std::string(stem.substr(0, stem.size() - kNameMax));
    stem = stem.substr(stem.size() - kNameMax);
  }
  out->name = std::string(stem);
  return 0;
}

std::string host_file_name(const FFREC& file) {
  if (file.full_name && file.dsn != nullptr) return file.dsn;
  std::string out = file.path != nullptr ? file.path : "";
  out += file.name;
  if (file.ext[0] != 0) {
    out += '.';
    out += file.ext;
  }
  return out;
}

// ---- Open and file types ------------------------------------------------------------------------

uint8_t open_bits(OpenKind kind) {
  switch (kind) {
    case OpenKind::kNone:
      return 0;
    case OpenKind::kInput:
      return kOpenInput;
    case OpenKind::kOutput:
      return kOpenOutput;
    case OpenKind::kUpdate:
      return kOpenUpdate;
    case OpenKind::kInsert:
      return kOpenInsert;
    case OpenKind::kDelete:
      return kOpenDelete;
    case OpenKind::kExternal:
      return kOpenExternal;
  }
  return 0;
}

int merge_open_type(uint8_t* open_type, OpenKind kind) {
  const uint8_t want = open_bits(kind);
  const uint8_t have = *open_type;
  if (want == 0 || have == 0) {
    *open_type = static_cast<uint8_t>(have | want);
    return 0;
  }
  // Reading and rewriting the same file is an update file read as input.
  const bool read_update = ((want & kOpenUpdate) && (have & kOpenInput)) ||
                           ((want & kOpenInput) && (have & kOpenUpdate));
  if (!read_update && (have & want) == 0) return kMsgOpenConflict;
  *open_type = static_cast<uint8_t>(have | want);
  return 0;
}

int set_file_type(FFREC& file, FileType type) {
  if (file.file_type != kFileOrdinary && file.file_type != type) return kMsgFileTypeConflict;
  file.file_type = type;
  return 0;
}

// ---- Definitions --------------------------------------------------------------------------------

FFREC* define_file(FileList& files, std::string_view typed, OpenKind kind, bool pattern,
                   int* message, bool* created) {
  *message = 0;
  if (created != nullptr) *created = false;
  const bool external = kind == OpenKind::kExternal;
  // Routines of the call library are not predefined files.
  const Predefined predefined = external ? kPredefNone : predefined_name(typed);
  FileName n;
  if (predefined != kPredefNone) {
    for (const PredefinedRow& row : kPredefinedNames) {
      if (row.kind == predefined) n.name = row.file_name;
    }
    if (predefined == kPredefDummy) n.name = is_output_kind(kind) ? "DUMMW" : "DUMMR";
  } else if (int rc = split_file_name(files, typed, pattern, &n); rc != 0) {
    *message = rc;
    return nullptr;
  }

  FFREC* file = find_file(files, n, predefined, external);
  if (file != nullptr) {
    uint8_t open_type = file->open_type;
    if (int rc = merge_open_type(&open_type, kind); rc != 0) {
      *message = rc;
      return nullptr;
    }
    file->open_type = open_type;
    files.current = file;
    return file;
  }

  file = take_record(files);
  if (created != nullptr) *created = true;
  file->path = pool_text(n.path, "pth");
  set_fixed(file->name, sizeof file->name, n.name);
  set_fixed(file->ext, sizeof file->ext, n.ext);
  file->open_type = open_bits(kind);
  file->predefined = predefined;
  switch (predefined) {
    case kPredefNone:
      break;
    case kPredefCard:
    case kPredefSysin:
    case kPredefStdin:
      file->standard_stream = true;
      file->stream = predefined == kPredefCard ? nullptr : stdin;
      break;
    case kPredefStdout:
      file->standard_stream = true;
      file->stream = stdout;
      break;
    case kPredefStderr:
      file->standard_stream = true;
      file->stream = stderr;
      break;
    case kPredefDummy:
      file->standard_stream = true;
      file->is_open = true;
      file->lrecl = kDummyLength;
      file->current_length = kDummyLength;
      break;
  }
  if (predefined != kPredefNone) set_ident(*file, to_upper(typed));
  files.current = file;
  return file;
}

int set_data_set_name(FFREC& file, std::string_view ident, std::string_view dsn) {
  if (dsn.empty() || dsn.size() > static_cast<size_t>(kMaxFileName)) return kMsgBadFileName;
  for (char c : dsn) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) return kMsgBadFileName;
  }
  std::string name(dsn);
  host::normalise_separators(name);
  file.dsn = pool_text(name, "dsn");
  file.full_name = true;
  set_ident(file, to_upper(ident));
  return 0;
}

// ---- Keywords -----------------------------------------------------------------------------------

int apply_file_keyword(FileList& files, FFREC& file, FileKeyword keyword, const KeywordValue& value,
                       OpenKind kind) {
  const std::string up = to_upper(value.text);
  const std::string_view v = up;
  int32_t n = 0;
  switch (keyword) {
    case FileKeyword::kIndexed:
      return set_file_type(file, kFileIndexed);
    case FileKeyword::kVsam:
      return set_file_type(file, kFileVsam);
    case FileKeyword::kDl1:
      return set_file_type(file, kFileDl1);
    case FileKeyword::kAdabas:
      return set_file_type(file, kFileAdabas);
    case FileKeyword::kVtoc:
      return set_file_type(file, kFileVtoc);
    case FileKeyword::kDirectory:
    case FileKeyword::kDirdata:
      if (int rc = set_file_type(file, kFileDirectory); rc != 0) return rc;
      if (keyword == FileKeyword::kDirdata) file.dirdata = true;
      // A new listing starts from the run's listing options; SORT and SUB may follow.
      if (!file.dir_opened) {
        file.dir_sort = files.dir_sort;
        file.dir_sub = files.dir_sub;
      }
      return 0;
    case FileKeyword::kDefer:
      file.reopen_allowed = true;
      return 0;
    case FileKeyword::kVolume:
      return value.given ? 0 : kMsgValueMissing;
    case FileKeyword::kDevice:
      return in_list(kDevices, v) ? 0 : kMsgBadDevice;
    case FileKeyword::kPassword:
      return 0;
    case FileKeyword::kNoLabel:
      file.no_label = true;
      return 0;
    case FileKeyword::kLabel:
      if (v == "NO") {
        file.no_label = true;
        return 0;
      }
      return in_list("STD,YES", v) ? 0 : kMsgBadLabel;
    case FileKeyword::kLtm:
      if (v == "YES") {
        file.leading_tape_mark = true;
        return 0;
      }
      return v == "NO" ? 0 : kMsgBadNumber;
    case FileKeyword::kOpenOption:
      if (in_list("NORWD,NOREW,LEAVE", v)) {
        file.no_rewind = true;
        return 0;
      }
      return in_list("RWD,REW", v) ? 0 : kMsgBadOpenOption;
    case FileKeyword::kCloseOption:
      if (in_list("UNLD,RUN", v)) {
        file.unload = true;
        return 0;
      }
      if (in_list("NOREW,NORWD,LEAVE,NOFLUSH", v)) {
        file.no_rewind = true;
        return 0;
      }
      return in_list("RWD,REW", v) ? 0 : kMsgBadCloseOption;
    case FileKeyword::kRecfm:
      return set_recfm(file, v);
    case FileKeyword::kEol:
      if (!value.given || value.text.empty()) return kMsgValueMissing;
      return set_eol(file, value.text, v);
    case FileKeyword::kKeepCtlz:
      file.keep_ctlz = true;
      return 0;
    case FileKeyword::kTabs:
      file.tabs_given = true;
      if (in_list("OFF,0", v)) {
        file.tab_width = -1;
        return 0;
      }
      if (parse_number(v, &n)) {
        file.tab_width = n;
        return 0;
      }
      file.tab_width = kDefaultTabWidth;
      return kMsgBadNumber;
    case FileKeyword::kLrecl:
      if (v == "V") {
        file.recfm = kRecfmV;
        file.descriptor_length = record_format(kRecfmV).record_descriptor;
        return 0;
      }
      if (v == "U") {
        file.recfm = kRecfmU;
        return 0;
      }
      // A record length of 0 would make every fixed record empty and a file never end.
      if (!parse_number(v, &n) || n == 0) return kMsgBadNumber;
      file.lrecl = n;
      file.lrecl_given = true;
      return 0;
    case FileKeyword::kNoRdw:
      file.nordw = true;
      file.rdw = false;
      return 0;
    case FileKeyword::kRdw:
      file.rdw = true;
      file.nordw = false;
      return 0;
    case FileKeyword::kNoBdw:
      file.nobdw = true;
      file.bdw = false;
      return 0;
    case FileKeyword::kBdw:
      file.bdw = true;
      file.nobdw = false;
      return 0;
    case FileKeyword::kBufno:
    case FileKeyword::kCylofl:
      return parse_number(v, &n) ? 0 : kMsgBadNumber;
    case FileKeyword::kWto:
      if (v != "NO") file.wto = true;
      return 0;
    case FileKeyword::kFail:
      if (!in_list("NOCLOSE,NOCL", v)) return kMsgBadFail;
      file.fail = true;
      return 0;
    case FileKeyword::kTrunc:
      file.truncate = true;
      return 0;
    case FileKeyword::kNoTrunc:
      file.truncate = false;
      return 0;
    case FileKeyword::kNewblk:
      return 0;
    case FileKeyword::kUpdate:
      file.open_type |= kOpenUpdateAll;
      return 0;
    case FileKeyword::kFill:
      if (value.given && value.text.size() > 1) return kMsgBadFill;
      file.fill = true;
      file.fill_char = value.given && value.text.size() == 1 ? static_cast<uint8_t>(value.text[0])
                                                             : static_cast<uint8_t>(' ');
      return 0;
    case FileKeyword::kNoFill:
      file.fill = false;
      return 0;
    case FileKeyword::kKeyPosition:
    case FileKeyword::kRelativeKeyPosition:
      if (!parse_number(v, &n)) return kMsgBadNumber;
      // KP counts from 1, RKP from 0; a key before the record start cannot be read.
      if (keyword == FileKeyword::kKeyPosition) --n;
      if (n < 0) return kMsgBadKeyPosition;
      file.key_position = n;
      file.key_position_given = true;
      return 0;
    case FileKeyword::kKeyLength:
      if (!parse_number(v, &n) || n == 0) return kMsgBadNumber;
      file.key_length = n;
      file.key_length_given = true;
      return 0;
    case FileKeyword::kReset:
      file.replace = true;
      return 0;
    case FileKeyword::kAppend:
      file.replace = false;
      return 0;
    case FileKeyword::kMstind:
      return in_list("NO,YES", v) ? 0 : kMsgBadNumber;
    case FileKeyword::kBlksize:
      return set_blksize(file, v, kind);
    case FileKeyword::kSort:
      return set_sort(file, v);
    case FileKeyword::kNoSort:
      file.dir_sort = 0;
      return 0;
    case FileKeyword::kSub:
      if (!value.given) {
        file.dir_sub = kSubAllLevels;
        return 0;
      }
      if (!parse_number(v, &n)) return kMsgBadNumber;
      file.dir_sub = n;
      return 0;
    case FileKeyword::kNoSub:
      file.dir_sub = 0;
      return 0;
  }
  return 0;
}

void apply_definition_defaults(const FileList& files, FFREC& file, OpenKind kind) {
  const bool input =
      kind == OpenKind::kInput || kind == OpenKind::kUpdate || kind == OpenKind::kDelete;
  const bool output = is_output_kind(kind);
  if (!input && !output) return;
  // TRUNC on input is the record I/O layer's split mark, never a setting.
  if (kind == OpenKind::kInput) file.truncate = false;
  if (!file.eol_given && file.delimiter == nullptr) {
    if (output && (file.open_type & kOpenInput) == 0) {
      file.delimiter = kCrLf;
    }
    file.delimiter_length = 2;
  }
  if (!file.tabs_given) file.tab_width = input ? files.tabs_in : files.tabs_out;
}

// ---- Call library -------------------------------------------------------------------------------

int load_call_library(FileList& files) {
  if (files.call_library != nullptr && files.call_entry != nullptr) return 0;
  void* library = nullptr;
  std::string why;
  if (files.program_dir != nullptr && files.program_dir[0] != 0) {
    host::load_library(std::string(files.program_dir) + kCallLibrary, &library, &why);
  }
  if (library == nullptr) host::load_library(kCallLibrary, &library, &why);
  if (library == nullptr) return kMsgNoCallLibrary;
  void* entry = host::library_symbol(library, kCallEntryName);
  if (entry == nullptr) {
    host::unload_library(library);
    return kMsgNoCallEntry;
  }
  files.call_library = library;
  files.call_entry = reinterpret_cast<CallEntry>(entry);
  return 0;
}

void release_call_library(FileList& files) {
  host::unload_library(files.call_library);
  files.call_library = nullptr;
  files.call_entry = nullptr;
}

void release_file_list(FileList& files) {
  for (FFREC* f = files.head; f != nullptr;) {
    FFREC* next = f->next;
    release_texts(*f);
    release_key_index(*f);
    base::qelgrel(&f, "FFREC");
    f = next;
  }
  files.head = files.tail = files.current = files.primary_input = nullptr;
  files.primary_read = nullptr;
  release_call_library(files);
}

}  // namespace recsift::files
