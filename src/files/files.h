// The file layer. This header declares the file control block FFREC that every file of a run is
// described by, and the file definitions that build FFRECs from the statements' file operands and
// keywords, and the record I/O operations, which also read directory listings (directory_input.h).
#ifndef RECSIFT_FILES_FILES_H_
#define RECSIFT_FILES_FILES_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "base/pool.h"

namespace recsift::files {

// ---- File control blocks ---------------------------------------------------------------------
// One FFREC per file of the run, from the pool ("FFREC"), chained in order of definition in the
// FileList and kept until close-down. A record whose name is still empty is free: the next
// definition takes it instead of a new block. The record is a plain record (copied whole to undo
// a failed definition, so it holds no owning C++ objects; its texts are pool texts) whose every
// field starts from its initialiser below.

struct DirListing;  // state of a directory listing (pool "fcb"), owned by directory input
struct IndexNode;   // node of the key index built over a keyed file (pool "xxrec")

// Record formats (FFREC::recfm); 0 while no format has been given.
enum RecordFormat : uint8_t {
  kRecfmNone = 0,  // not given yet: settled at completion
  kRecfmF = 1,     // fixed (FB with the blocked flag)
  kRecfmV = 2,     // variable, 4-byte descriptor words (VB with the blocked flag)
  kRecfmU = 3,     // undefined: delimited text lines
  kRecfmV2 = 4,    // variable, 2-byte descriptor words
  kRecfmMfv = 5,   // variable with a 128-byte header and 2-byte descriptors
};

// The code of record I/O that handles a format's records.
enum class RecordCode : uint8_t {
  kNone,      // none: an OPEN is refused ("RECFM not supported here.")
  kFixed,     // pieces of LRECL bytes; the last piece of the input may be shorter
  kText,      // lines ended by a delimiter, or EOL=NO pieces
  kVariable,  // records with descriptor words, in blocks (variable_records.h)
};

// What the run knows about a record format: one row per RecordFormat, at the index of its value.
// The summary, the program dump, linking, completion and record I/O all take it from here.
struct RecordFormatRow {
  RecordFormat format;
  const char* text;           // as the run summary shows it ("?" while none is given)
  const char* blocked_text;   // as the program dump shows it with the blocked flag (FB, VB)
  int32_t record_descriptor;  // bytes of each record's descriptor word: what RDW keeps in front
                              // of the data, and the record prefix of the run
  int32_t block_descriptor;   // bytes of a block descriptor word (none under NOBDW)
  RecordCode finder;          // finds the records in the buffered input
  RecordCode writer;          // places the records in the output buffer
};

inline constexpr RecordFormatRow kRecordFormats[] = {
    {kRecfmNone, "?", "?", 0, 0, RecordCode::kNone, RecordCode::kNone},
    {kRecfmF, "F", "FB", 0, 0, RecordCode::kFixed, RecordCode::kFixed},
    {kRecfmV, "V", "VB", 4, 4, RecordCode::kVariable, RecordCode::kVariable},
    {kRecfmU, "U", "U", 0, 0, RecordCode::kText, RecordCode::kText},
    {kRecfmV2, "V2", "V2", 2, 0, RecordCode::kVariable, RecordCode::kVariable},
    {kRecfmMfv, "MFV", "MFV", 2, 0, RecordCode::kVariable, RecordCode::kVariable},
};
inline constexpr uint8_t kRecordFormatCount = sizeof kRecordFormats / sizeof kRecordFormats[0];

// The row of `recfm`; a value outside the table gets the row of kRecfmNone (whose format then
// differs from the value asked for).
constexpr const RecordFormatRow& record_format(uint8_t recfm) {
  return recfm < kRecordFormatCount ? kRecordFormats[recfm] : kRecordFormats[kRecfmNone];
}

constexpr bool record_formats_in_order() {
  for (uint8_t i = 0; i < kRecordFormatCount; ++i) {
    if (kRecordFormats[i].format != i) return false;
  }
  return true;
}
static_assert(record_formats_in_order(), "kRecordFormats: one row per format, in value order");

// File types (FFREC::file_type). Only 1 and 4 change how a file is read; the others are kept
// so that conflicting definitions are caught.
enum FileType : uint8_t {
  kFileOrdinary = 1,   // an ordinary file
  kFileDirectory = 4,  // DIRECTORY, DIRDATA: a directory listing
  kFileDl1 = 5,        // DL1, DLI, IMS
  kFileAdabas = 6,     // ADABAS
  kFileVtoc = 8,       // VTOC
  kFileIndexed = 9,    // INDEXED, ISAM
  kFileVsam = 10,      // VSAM, KSDS, ESDS, RRDS
};

// Open-type bits (FFREC::open_type).
enum OpenTypeBit : uint8_t {
  kOpenInput = 0x01,     // READ
  kOpenOutput = 0x02,    // WRITE
  kOpenUpdate = 0x04,    // UPDATE, REPLACE (rewrite in place)
  kOpenInsert = 0x08,    // INSERT
  kOpenDelete = 0x10,    // DELETE
  kOpenExternal = 0x20,  // CALL: a routine of the call library, not a host file
};
// What the UPD keyword adds.
inline constexpr uint8_t kOpenUpdateAll = kOpenUpdate | kOpenInsert | kOpenDelete;

// Keyed-mode bits (FFREC::keyed_modes): the ways statements read the file (keyed access).
enum KeyedModeBit : uint8_t {
  kKeyedEqual = 0x01,         // KEY, KEQ, STARTKEQ
  kKeyedGreaterEqual = 0x02,  // KGE, START, STARTKEY, STARTKGE
  kKeyedRba = 0x04,           // RBA, STARTRBA
  kKeyedRecord = 0x08,        // REC, ISN, STARTREC, STARTISN
  kKeyedStart = 0x10,         // one of the START forms: position once, then read on
};

// How an output BLKSIZE is settled at completion (FFREC::blksize_rule).
enum BlksizeRule : uint8_t {
  kBlksizeAsGiven = 0,    // the number in blksize (or none given)
  kBlksizeSame = 1,       // SAME: the primary input's BLKSIZE (4000 without one)
  kBlksizeMax = 2,        // MAX: 8000
  kBlksizeUnblocked = 3,  // UNB: BLKSIZE = LRECL
};

// Predefined names (FFREC::predefined). Their files have no path and no host open or close.
enum Predefined : uint8_t {
  kPredefNone = 0,  // an ordinary name
  kPredefCard,      // CARD: records from the control-statement input, up to "/*"
  kPredefSysin,     // SYSIN: standard input, file name "stdin"
  kPredefDummy,     // DUMMY: no data; DUMMR on input statements, DUMMW on output statements
  kPredefStdin,     // STDIN
  kPredefStdout,    // STDOUT
  kPredefStderr,    // STDERR
};

// The sentinel written after the data bytes of every file buffer (text and its zero byte).
inline constexpr char kBufferSentinel[] = "<<<FFREC buf>>>";
inline constexpr int kBufferSentinelSize = 16;
static_assert(sizeof(kBufferSentinel) == kBufferSentinelSize);
// Longest host file name a definition accepts.
inline constexpr int kMaxFileName = 255;

struct FFREC {
  // Links, owners and names. Set by the definitions; the texts are pool texts.
  FFREC* next = nullptr;            // next file of the run, in order of definition
  FFREC* prev = nullptr;            // previous file
  DirListing* directory = nullptr;  // DIR, DIRDATA: the listing state, once opened
  FFREC* owner = nullptr;           // member of a directory listing: the directory's FFREC
  char* member_name =
      nullptr;            // member: the full name found by the listing (pool "fnx"), else null
  char* dsn = nullptr;    // DSN=value given: the host file name as typed (pool "dsn"), else null
  char* path = nullptr;   // folder of the file ending in "/" (pool "pth"); "" for predefined names
  char ident[8]{};        // blank-padded: the predefined name, the DSN name, or the listed name
  char name[9]{};         // the last 8 characters of the name, zero-terminated; "" = record free
  char ext[4]{};          // extension of 1 to 3 characters, zero-terminated, or ""
  uint8_t file_type = 0;  // FileType; 1 for a new definition

  // Host state, kept by record I/O.
  const char* last_error = nullptr;  // last error text of the record I/O layer, or null
  int32_t handle = 0;                // host descriptor; meaningful only while is_open is set
  std::FILE* stream = nullptr;  // the standard stream of STDIN, STDOUT, STDERR, SYSIN; else null
  uint8_t* mfhdr = nullptr;     // the 128-byte header of an MFV file, or null

  // Format, set by the definitions and settled at completion.
  uint8_t recfm = 0;                // RecordFormat
  uint8_t open_type = 0;            // OpenTypeBit set; 0 while only OPEN or CLOSE named the file
  int32_t descriptor_length = 0;    // 4 for V, 2 for V2 and MFV, else 0
  int32_t delimiter_length = 0;     // bytes of the end-of-line delimiter; 0 = none
  const char* delimiter = nullptr;  // delimiter bytes (static or pool "eol"); null on input: CR, LF
                                    // and CR LF are all recognised
  int32_t tab_width = 0;            // -1 no expansion, 0 not settled, else the tab stop interval
  uint8_t fill_char = 0;        // pad byte of F records, stripped under TRUNC, cleared under FILL
  int32_t lrecl = 0;            // maximum (F: exact) record length
  int32_t blksize = 0;          // buffer size; for output also the size of each physical write
  uint8_t* buffer = nullptr;    // buffer_capacity + 16 bytes (at least 256), sentinel at
                                // buffer + buffer_capacity
  int32_t buffer_capacity = 0;  // data bytes the buffer holds: BLKSIZE, raised for fixed and text
                                // records so that host reads and writes stay large (records and
                                // lengths never depend on it)
  int32_t dir_sort = 0;         // directory listing: sort letter of "SPEND", 0 = unsorted
  int32_t dir_sub = 0;          // directory listing: sub-folder depth, 0 = none

  // Keys (keyed access). key_position counts from 0 at the start of the data.
  int32_t key_position = 0;             // key offset in the record
  int32_t key_length = 0;               // key length in bytes
  const uint8_t* key_sought = nullptr;  // key of the pending keyed read, set by the caller
  int32_t key_sought_length = 0;        // its length (shorter than key_length: a generic key)

  // Positions and counts, kept by record I/O.
  int64_t position = 0;            // byte address (RBA) of the current record
  int32_t buffer_offset = 0;       // input: offset of the next record; output: next free byte
  int32_t cr_free_until = 0;       // text input: the buffered data before this offset holds no CR
                                   // (or it is the place of the next CR); 0 = not known
  int32_t bytes_remaining = 0;     // input bytes buffered from buffer_offset on
  int64_t record_count = 0;        // records read or written since open
  int64_t buffered_address = 0;    // input: file offset just past the buffered data;
                                   // output: file offset of the buffer's first byte
  uint8_t file_size_be[8]{};       // the file size, most significant byte first
  int64_t file_size = 0;           // file size found at open (input)
  int32_t current_lrecl = 0;       // piece length of EOL=NO input; starts as lrecl
  int32_t current_length = 0;      // length of the current record; set by the caller before a
                                   // WRITE or UPDATE
  int32_t longest_record = 0;      // longest record read or written (descriptors included)
  int32_t delimiter_found = 0;     // bytes after the current record that belong to it: its
                                   // delimiter, or the alignment bytes of an MFV record
  int64_t skip_before = -1;        // V, V2, MFV after a reposition: records that begin before
                                   // this address are passed over (descriptors cannot be told
                                   // from data, so the chain is followed from a known start)
  int64_t chain_address = 0;       // V, V2, MFV input: a record start known from the chain (V:
                                   // the start of the last record read, its block descriptor
                                   // included; V2, MFV: the one after it), 0 = the file's start
  int32_t chain_block_length = 0;  // V: the block state at chain_address (block_length there)
  int32_t chain_block_used = 0;    // V: and block_used there
  bool chain_guessed = false;      // V: the records read since the last reposition were found
                                   // by a search for a record start, not from a known start:
                                   // they are no chain_address
  int32_t block_length = 0;        // length of the current block (block descriptor)
  int32_t block_used = 0;          // bytes of the current block used so far
  int32_t longest_block = 0;       // longest block read or written
  int32_t truncated_count = 0;     // records shortened on output
  int32_t previous_length = 0;     // record length before the last READ (file verbs)

  // State flags, kept by record I/O.
  bool is_open = false;       // open now
  bool open_failed = false;   // the last open failed
  bool closed = false;        // closed after having been open
  bool was_opened = false;    // has been opened at least once
  bool physical_end = false;  // the host has no more data
  bool empty = false;         // input missing or empty at open, or a listing that could not start

  // Option flags.
  bool truncate = false;  // TRUNC: output strips trailing fill bytes (input: split-at-LRECL mark)
  bool replace = false;   // RESET, REUSE: output created anew; clear: appended (APPEND)
  bool reopen_allowed = false;  // DEFER: may be opened again, not opened before execution
  bool full_name = false;       // the data set name is the host file name

  // Processing flags.
  bool fail = false;        // FAIL=NOCLOSE
  bool wto = false;         // WTO
  bool fill = false;        // FILL, PAD: clear the caller's area with fill_char
  uint8_t keyed_modes = 0;  // KeyedModeBit set: how statements read the file by key

  // Key flags.
  bool resync = false;              // the next read starts mid-record and skips to a record start
  bool key_length_given = false;    // KL, KEYLEN
  bool key_position_given = false;  // KP, KEYPOS, KEYLOC, RKP

  // Descriptor flags.
  bool rdw = false;               // RDW: descriptor words stay in the data handed over
  bool nordw = false;             // NORDW: descriptor words are stripped
  bool record_truncated = false;  // the current record was shortened

  // Format flags.
  bool blocked = false;  // FB, VB

  // Record flags.
  bool tab_seen = false;  // a tab character was seen in the current record

  // Directory flags.
  bool dirdata = false;     // DIRDATA: the listed files are read as data
  bool dir_member = false;  // this file is a member of a directory listing
  bool dir_opened = false;  // the directory listing has been opened

  // Close flags.
  bool no_close_at_eof = false;  // end of file does not close the file

  // Stream flags.
  bool console_ended = false;    // console input ended by "/*"
  bool standard_stream = false;  // a standard stream or the card input: no host handle of its own
  bool line_at_a_time = false;   // read one line per request (console input)
  bool no_tab_check = false;     // suppress the tab check (index sampling)
  bool bdw = false;              // BDW: block descriptor words present
  bool nobdw = false;            // NOBDW: no block descriptor words
  bool no_blocks_found =
      false;  // input: the first V record had no block descriptor (reset at open)

  // Control-Z flag.
  bool keep_ctlz = false;  // KEEPCTLZ: keep a final control-Z byte on input

  // Given flags.
  bool lrecl_given = false;  // L, LRECL, RECSIZE with a number
  bool recfm_given = false;  // RECFM

  // Write error.
  bool write_error = false;        // a physical write failed: close does not try again
  bool emptying_deferred = false;  // opened to be replaced before the run started, its old
                                   // content still there: emptied before its first write, or
                                   // at its close if the run started, else left as it was

  // Place in the run and run-time naming. What the record loop keeps about a file (primary
  // input, end of file met, FLAG markers ...) lives on the engine's side, found by `index`.
  int32_t index = 0;  // place in the run's file list, from 0; kept when the record is reused
  bool concatenated = false;   // a CAT continuation of another input
  bool excluded = false;       // excluded from the run
  bool no_prefix = false;      // records carry no record prefix
  bool write_warning = false;  // a write shortened a record: raise the return code to 5
  bool name_reeval = false;    // the name comes from record data and must be evaluated again
  int32_t console_total = 0;   // records counted for the console total

  // Definition details that no file operation acts on, or that completion settles.
  uint8_t predefined = 0;          // Predefined
  uint8_t blksize_rule = 0;        // BlksizeRule for output (SAME, MAX, UNB)
  bool blksize_given = false;      // BLKSIZE, BLK, B
  bool tabs_given = false;         // TABS, TAB: the run-wide tab setting does not apply
  bool eol_given = false;          // EOL: the default delimiters do not apply
  bool no_label = false;           // NOLABEL, LABEL=NO
  bool leading_tape_mark = false;  // LTM=YES
  bool no_rewind = false;          // OPEN=NORWD, CLOSE=NOREW
  bool unload = false;             // CLOSE=UNLD
  bool backward = false;           // BWD: read backwards (keyed files)
  bool forward = false;            // FWD

  // Key index (keyed access).
  IndexNode* index_root = nullptr;     // root node, built on first keyed use
  IndexNode* index_current = nullptr;  // node of the last search
  int32_t index_nodes = 0;             // nodes built

  // Member facts set by directory input.
  uint8_t attributes = 0;  // "a", "r", "h", "s" attribute bits of a listed file
  char time_text[20]{};    // its last-write time as listed, zero-terminated

  // CAT with summary level 3: the comment of the CAT line.
  const char* comment = nullptr;  // in the statement-text store, or null
  int32_t comment_length = 0;     // its length

  // Keyed reads in progress (kept last, clear of the fields every READ touches).
  const IndexNode* key_range =
      nullptr;             // while a node's middle is sampled: the node whose key range the
                           // records met by a record-start search must lie in; else null
  int32_t read_limit = 0;  // while a read is positioned for a key: most bytes one host read may
                           // bring (a few buffers, not the whole buffer); 0 = fill the buffer
};

// ---- File definitions ------------------------------------------------------------------------

// Message numbers raised by the file definitions (compile time).
enum FileMessage : int {
  kMsgNotAvailable = 1,        // TAB, TABLE, SQL as a file: tables are not available
  kMsgBadNumber = 7,           // a keyword value that should be a number (or a listed word)
  kMsgWorkAreaShort = 20,      // LRECL of a READ file above the work-area length
  kMsgOpenConflict = 26,       // the statement's open type shares nothing with the file's
  kMsgBadFileName = 30,        // empty, too long, only a folder, control bytes
  kMsgBadLabel = 33,           // LABEL value
  kMsgBadDevice = 41,          // DEV value
  kMsgBadFill = 46,            // FILL value longer than one character
  kMsgBadKeyPosition = 63,     // key position below 0
  kMsgNoKeyLength = 64,        // INDEXED without KL
  kMsgBadFail = 83,            // FAIL without NOCLOSE
  kMsgBadRecfm = 84,           // RECFM value
  kMsgBadOpenOption = 104,     // OPEN value
  kMsgBadCloseOption = 105,    // CLOSE value
  kMsgKeyedNotHere = 110,      // a keyed mode or key source the statement cannot use
  kMsgFileTypeConflict = 118,  // a file type other than the one defined before
  kMsgBadDirection = 132,      // BWD with FWD, or BWD on a plain READ
  kMsgValueMissing = 140,      // a keyword that needs a value has none
  kMsgTableKeyword = 159,      // name TAB=value
  kMsgNoCallLibrary = 162,     // the call library cannot be loaded
  kMsgNoCallEntry = 163,       // the call library has no entry "_rsfcall"
  kMsgBadSort = 166,           // SORT value
};

// What a statement does with its file; it gives the open type.
enum class OpenKind : uint8_t {
  kNone,      // OPEN, CLOSE: no open type of its own, never a conflict
  kInput,     // READ
  kOutput,    // WRITE
  kUpdate,    // UPDATE, REPLACE
  kInsert,    // INSERT
  kDelete,    // DELETE
  kExternal,  // CALL
};

// The call library's entry: the routine name (8 characters and a zero byte) and the table of
// argument addresses. A negative result is a failed call.
using CallEntry = int (*)(const char* routine, void** arguments);
// The call library and its entry, looked for as the program's folder + kCallLibrary, then through
// the host's normal library search.
inline constexpr const char* kCallLibrary = "rsfcall.so";
inline constexpr const char* kCallEntryName = "_rsfcall";

// The run's files and the run-wide defaults that new definitions take.
struct FileList {
  FFREC* head = nullptr;               // first file control block, in order of definition
  FFREC* tail = nullptr;               // last one
  FFREC* primary_input = nullptr;      // the first file read by an action statement
  uint8_t fill_char = ' ';             // FILL/PAD: pad byte of new definitions
  bool fill_on = false;                // FILL on for new definitions (NOFILL clears)
  int32_t tabs_in = -1;                // TABSIN: tab width of input files, -1 = no expansion
  int32_t tabs_out = -1;               // TABSOUT: tab width of output files, -1 = no expansion
  char* default_dir = nullptr;         // DEFDIR: folder for relative names (pool text "dfd")
  int32_t dir_sort = 0;                // SORT: default order of directory input (0 = none)
  int32_t dir_sub = 0;                 // SUB: default sub-folder depth of directory input
  FFREC* current = nullptr;            // the file of the current definition or operation
  const void* primary_read = nullptr;  // the statement record (program::Statement) of the
                                       // primary READ
  const char* program_dir = nullptr;   // folder of the running program ("/"-ended), where the
                                       // call library is looked for first; null = not known
  void* call_library = nullptr;        // the loaded call library, null until the first CALL
  CallEntry call_entry = nullptr;      // its "_rsfcall" entry
  bool run_started = false;            // records are being processed (the engine sets it);
                                       // outputs opened before keep their content until then,
                                       // so a run that cannot start leaves every file as it was
};

// A host file name cut into the three parts a definition keeps. path + name + ("." + ext when
// ext is not empty) gives back the full host name.
struct FileName {
  std::string path;  // folder, absolute, ending in "/"
  std::string name;  // the last 8 characters (at most) of the name
  std::string ext;   // extension of 1 to 3 characters, or ""
};

// Cuts `typed` (a file name as typed; "\" and "/" both separate folders) into path, name and
// extension. A relative name is taken relative to the default folder (DEFDIR) or the current
// folder. With `pattern`, a name that is only a folder stands for every file in it ("*").
// Returns 0 or kMsgBadFileName (empty, longer than kMaxFileName, control bytes, only a folder,
// "." or "..").
int split_file_name(const FileList& files, std::string_view typed, bool pattern, FileName* out);

// The predefined name `word` stands for (any case), kPredefNone for an ordinary name.
Predefined predefined_name(std::string_view word);

// Finds or creates the definition of the file named `typed` for a statement of kind `kind`: a
// predefined name, or a file with the same path, name and extension (external files only for
// kExternal, non-external ones otherwise), whose open type then takes the statement's; else a
// new FFREC (a free one, or one chained at the end). `pattern` as for split_file_name. Makes the
// file current; *created (when given) tells whether the FFREC is new. Returns null with
// *message set (kMsgBadFileName, kMsgOpenConflict) on failure.
FFREC* define_file(FileList& files, std::string_view typed, OpenKind kind, bool pattern,
                   int* message, bool* created = nullptr);

// Gives a definition its data set name (DSN=value) and identifier: the host file name becomes
// `dsn` (full name given). Returns 0 or kMsgBadFileName.
int set_data_set_name(FFREC& file, std::string_view ident, std::string_view dsn);

// The open-type bits of a statement kind.
uint8_t open_bits(OpenKind kind);
// Merges the bits of a statement into *open_type: an update statement on an input file adds
// update, a READ on an update file adds input; otherwise bits that share nothing with the
// file's are kMsgOpenConflict. kNone never conflicts.
int merge_open_type(uint8_t* open_type, OpenKind kind);
// Sets a file type; a file already of another type than 1 is kMsgFileTypeConflict.
int set_file_type(FFREC& file, FileType type);

// File keywords whose effect is on the file (the keyword lists are the compiler's).
enum class FileKeyword : uint8_t {
  kIndexed,
  kVsam,
  kDl1,
  kAdabas,
  kVtoc,
  kDirectory,
  kDirdata,
  kDefer,
  kVolume,
  kDevice,
  kPassword,
  kNoLabel,
  kLabel,
  kLtm,
  kOpenOption,
  kCloseOption,
  kRecfm,
  kEol,
  kKeepCtlz,
  kTabs,
  kLrecl,
  kNoRdw,
  kRdw,
  kNoBdw,
  kBdw,
  kBufno,
  kWto,
  kFail,
  kTrunc,
  kNoTrunc,
  kNewblk,
  kUpdate,
  kFill,
  kNoFill,
  kKeyPosition,
  kRelativeKeyPosition,
  kKeyLength,
  kReset,
  kAppend,
  kCylofl,
  kMstind,
  kBlksize,
  kSort,
  kNoSort,
  kSub,
  kNoSub,
};

// A keyword's value: `given` when keyword=value was written; `text` as typed.
struct KeywordValue {
  bool given = false;     // a value follows the keyword
  std::string_view text;  // the value as typed (quotes removed)
};

// Applies one file keyword to `file` for a statement of kind `kind`. Returns 0 or a message.
int apply_file_keyword(FileList& files, FFREC& file, FileKeyword keyword, const KeywordValue& value,
                       OpenKind kind);

// Completes a statement's definition after its keywords: TRUNC cleared on input, default
// delimiters, the run-wide tab width when TABS was not given.
void apply_definition_defaults(const FileList& files, FFREC& file, OpenKind kind);

// Loads the call library and looks up its entry, once per run. Returns 0, kMsgNoCallLibrary or
// kMsgNoCallEntry.
int load_call_library(FileList& files);
// Releases the call library (close-down).
void release_call_library(FileList& files);
// Releases every FFREC of the list with the texts the definitions gave it, and the call
// library; the list is empty afterwards. For close-down once every file is closed, and tests.
void release_file_list(FileList& files);

// Settings of the run that the completion of definitions reads.
struct CompletionSettings {
  int32_t default_blksize = 2048;  // the run's default BLKSIZE
  bool nordw = true;               // the run-wide NORDW setting
  bool work_area = false;          // the run has a work area (WORKLEN)
};
// Completes one definition before execution: record format, delimiters, tabs, BLKSIZE and LRECL
// defaults, descriptor handling, some of them taken from the primary input (complete and open
// that one first). Returns 0, or 578 when a text input expands tabs without a work area.
int complete_definition(FileList& files, FFREC& file, const CompletionSettings& settings);

// The host file name of a definition: the data set name when one was given, else path + name
// + "." + extension.
std::string host_file_name(const FFREC& file);

// ---- Record input and output -----------------------------------------------------------------
// Record I/O moves one record at a time between a caller and a file's single buffer: OPEN,
// CLOSE, READ, READ at a byte address, WRITE and UPDATE in place, for the formats whose row in
// kRecordFormats names a finder and a writer. Other formats and file types are refused with
// "RECFM not supported here." or "File type not supported here." rather than misread. The host
// is reached through FileHost (record_io.h) so that tests can inject short reads and failures.
// Nothing here prints: a failure is handed to the reporter the caller put in the request.

class FileHost;

// What a record I/O call came to.
enum class IoStatus : uint8_t {
  kRecord,     // done: a READ has its record, a WRITE or UPDATE took it, an OPEN or CLOSE worked
  kEndOfFile,  // no more records (the file is closed unless no_close_at_eof); from OPEN: the
               // input does not exist, and its reads end at once
  kNotFound,   // no record at the byte address or key asked for: an outcome, never reported
  kError,      // failed; the reporter has been told, once
};

// 16 bytes, so that it comes back in registers: the record loop gets one per record.
struct IoResult {
  IoStatus status = IoStatus::kError;
  int32_t length = 0;          // kRecord of a READ: the record's length (its current_length);
                               // of a WRITE: its length as written (padded, cut, with its
                               // descriptor)
  const void* data = nullptr;  // kRecord: the record (below); kError, kNotFound: the text

  bool ok() const { return status == IoStatus::kRecord; }
  // kRecord of a READ: the caller's area or a view into the file's buffer, valid until the next
  // call for the file; of a WRITE or UPDATE: the data given. Null otherwise.
  uint8_t* record() const {
    return ok() ? static_cast<uint8_t*>(const_cast<void*>(data)) : nullptr;
  }
  // kError and kNotFound: the error text, also left in the file's last_error. Null otherwise.
  const char* error() const {
    return status == IoStatus::kError || status == IoStatus::kNotFound
               ? static_cast<const char*>(data)
               : nullptr;
  }
};
static_assert(sizeof(IoResult) == 16);

// Hears of each failure of record I/O once, with the file and the error text. Where it goes is
// the caller's affair; the run prints failure_line() of it.
class IoReporter {
 public:
  virtual ~IoReporter() = default;
  virtual void failed(const FFREC& file, const char* text) = 0;
  // A line of a directory listing's own (directory_input.h builds them; each ends with a line
  // end): `trace` for the lines of an error that ends the listing, which belong to the trace
  // stream; otherwise a note about a folder that could not be read, for standard output.
  virtual void listing_line(const std::string& /*line*/, bool /*trace*/) {}
};

// The line that shows a failure: qelfio: TEXT  (Input|Outpt) F="name", and a line end. The name
// is the member's, the data set name or the host file name.
std::string failure_line(const FFREC& file, const char* text);

// What every call takes: the run's files, the host and the reporter. Built once per run (or per
// test).
struct FileRequest {
  FileList* files = nullptr;       // the run's file list (may be null in tests)
  FileHost* host = nullptr;        // host services; null = the real host
  IoReporter* reporter = nullptr;  // hears of failures; null = nobody does
};

// OPEN: kRecord, kEndOfFile for an input that does not exist, or kError. A file opened again
// (DEFER) is closed first.
IoResult open_file(FileRequest& request, FFREC& file);
// Makes the next opens of `file` (an input not yet open) show only part `part` of `parts` of it,
// cut on record boundaries (fixed records at multiples of LRECL, lines at line ends), through a
// view installed in request.host. kError with the text (reported) for a file that cannot be cut
// so: variable records, directory listings, standard streams, keyed or concatenated input.
IoResult read_part_only(FileRequest& request, FFREC& file, int32_t part, int32_t parts);
// CLOSE of an open file (nothing for one that is not): kRecord, or kError when output was lost.
IoResult close_file(FileRequest& request, FFREC& file);

// READ, READ at a byte address and the keyed reads open a file that is not open. `area`
// (area_length bytes) receives the record; without one, or when the record does not fit, the
// record is handed over where it lies in the buffer.
// The next record.
IoResult read_record(FileRequest& request, FFREC& file, uint8_t* area, int32_t area_length);
// The record at or after FFREC::position. Outside the file: kNotFound, and the next READ starts
// at 0 (a negative position) or meets the end of the file. On a file with a key position and a
// key length the index root is built first.
IoResult read_at(FileRequest& request, FFREC& file, uint8_t* area, int32_t area_length);
// Keyed reads of a file in ascending key order (KEYPOS, KEYLEN), by FFREC::key_sought: kEqual
// delivers the record whose key equals it (a key shorter than KEYLEN compares as a prefix),
// kGreaterEqual (and kNext) the first record whose key is not lower. No index file is kept: a
// tree of sample points over the file is built as far as each search needs and kept for the run.
// kNotFound leaves the file positioned so that the next READ continues there: at 0 for a key
// below the first, at the file size for one above the last, else at the first greater key.
enum class KeyedRead : uint8_t { kEqual, kGreaterEqual, kNext };
IoResult read_keyed(FileRequest& request, FFREC& file, KeyedRead how, uint8_t* area,
                    int32_t area_length);
// Releases the sample tree of a file (close-down, or when its keys may have changed).
void release_key_index(FFREC& file);

// WRITE appends the `length` bytes of `data` (the file's current_length becomes `length`);
// UPDATE rewrites the current record in place with as many bytes as it has. Both open a file
// that is not open.
IoResult write_record(FileRequest& request, FFREC& file, const uint8_t* data, int32_t length);
IoResult update_record(FileRequest& request, FFREC& file, const uint8_t* data, int32_t length);

// Whether `file` may be opened for output: false when its name is another name of a file the run
// reads or of another of its outputs (opening it would empty data the run needs), or when it
// could not be opened for writing (so that a run refused at its start empties no other output).
// The refusal is reported as a failed OPEN: the file's last error and the reporter.
bool output_target_free(FileRequest& request, FFREC& file);

// ---- Runs of records (the record loop's fast paths) ------------------------------------------
// These take many records at once from the data already buffered and leave every file exactly
// as that many read_record (and write_record) calls would have: counts, lengths, positions and
// the longest record. They never call the host, so they cannot fail; a record they cannot take
// the way the single calls would (at a buffer end, a record of another shape, a full output
// buffer) ends the run, and the caller goes on with the single calls.

// Whether `in` and `out` are F files of one LRECL (at least 2) whose records run_fixed_records
// may move: ordinary host files without tabs, FILL, keys or descriptors, read and written only.
bool fixed_runs_possible(const FFREC& in, const FFREC& out);
// Moves the whole records buffered in `in` into the free space of out's buffer, each translated
// through `table` (256 bytes) when it is not null, as that many reads of `in` and writes to `out`
// of the record read would. Returns the count moved (0 when the files are not open or no record
// can be moved that way); *last is the last record in in's buffer (translated too).
int32_t run_fixed_records(FFREC& in, FFREC& out, const uint8_t* table, uint8_t** last);

// Whether `in` is an F file whose records run_fixed_reads may read: an ordinary host file of
// LRECL 2 or more without tabs, FILL, keys or descriptors, read only.
bool fixed_reads_possible(const FFREC& in);
// Takes one whole record of `in` (LRECL bytes where it lies in the buffer); false leaves it
// unread and ends the run.
using RecordFilter = bool (*)(void* context, const uint8_t* record);
// Reads the whole records buffered in `in`, while `take` accepts them, as that many
// read_record calls into an area of LRECL bytes or more would. Returns the count read; *last is
// the last one, in the buffer (the caller copies it where the single read would have put it).
int32_t run_fixed_reads(FFREC& in, RecordFilter take, void* context, uint8_t** last);

// Whether `in` is a text file whose lines run_text_lines may read: an ordinary host file with
// the default line ends (LF, CR LF, CR), without tab expansion, keys or FILL.
bool text_runs_possible(const FFREC& in);
// Decides whether the caller takes a line (false ends the run before it). `end` is the end of
// the buffered data the lines of this run can lie in (no line of the run reaches past it).
using LineFilter = bool (*)(void* context, const uint8_t* line, int32_t length, const uint8_t* end);
// Reads the buffered lines that read_record would hand over in the buffer without a host read
// (ended by LF alone, within LRECL), while `take` accepts them. Returns the count read; *last is
// the last one (the file's current_length is its length).
int32_t run_text_lines(FFREC& in, LineFilter take, void* context, uint8_t** last);

}  // namespace recsift::files

#endif  // RECSIFT_FILES_FILES_H_
