// The selection program: the chain of compiled statement records that the compiler builds and
// the record loop runs once per record, with its label entries and the table of operation codes.
// The compiler fills these records; linking adds the continuations; the record loop and the run
// summary read them. Records come from the storage pool ("CN", zero-filled) and live for the run.
#ifndef RECSIFT_PROGRAM_PROGRAM_H_
#define RECSIFT_PROGRAM_PROGRAM_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace recsift::files {
struct FFREC;
}

namespace recsift::program {

struct Operand;  // an operand descriptor ("FLD"), see operand.h

// ---- Statement types -------------------------------------------------------------------------

enum StatementType : uint8_t {
  kStEnd = 0,         // end of the program (appended by linking); also "no record" while compiling
  kStAction = 1,      // an action that starts a sentence
  kStThenAction = 2,  // THEN: runs when the preceding test holds
  kStElseAction = 3,  // ELSE: runs when the sentence's test fails
  kStIf = 4,          // first test of a sentence
  kStAnd = 5,         // a further test that must also hold
  kStOr = 6,          // an alternative test
  kStThenIf = 7,      // a test nested in the THEN branch
  kStElseIf = 8,      // a test nested in the ELSE branch
};
// The last-statement type that ends the reading of statements (END, QUIT, CANCEL).
inline constexpr uint8_t kStEndOfStatements = 9;

inline bool is_condition(uint8_t type) {
  return type >= kStIf && type <= kStElseIf;
}
inline bool is_action(uint8_t type) {
  return type >= kStAction && type <= kStElseAction;
}

// ---- Operation codes -------------------------------------------------------------------------
// Action statements carry an operation code from 18 on, numbered in the order of the names the
// run summary prints. Condition statements carry a comparison code instead (1..16).

enum class Op : uint8_t {
  kNone = 0,
  kRead = 18,
  kWrite,
  kUpdate,
  kInsert,
  kDelete,
  kExit,
  kCallFile,
  kOpen,
  kClose,       // 26
  kUnused27,    // 27: the empty name
  kPointerSet,  // 28 "@=": pointer assignment
  kPointerOp,   // 29 "@x=": statement beginning with "@"
  kLrecl,
  kRc,
  kXx32,
  kGen,
  kAdd,
  kSub,
  kMult,
  kDiv,
  kMove,
  kMod,  // 30-39
  kCmprs,
  kXpnd,
  kTran,
  kConvert,
  kCvdate,  // 40-44
  kDo,
  kRet,
  kBof,
  kGoto,
  kGg,
  kFlag,
  kMarc,
  kLoad,
  kSort,
  kSpace,  // 45-54
  kLine,
  kSleep,
  kDump,
  kPdump,
  kSusp,
  kStart,
  kEoj,
  kCall,
  kUtime,  // 55-63
  kXx64,
  kXx65,
  kXx66,
  kXx67,
  kXx68,
  kXx69,  // 64-69
  kCancel,
  kXv,
  kCp,
  kCms,
  kStack,
  kJecl,
  kPrint,
  kPlog,
  kLog,  // 70-78
  kCkpt,
  kDummy,
  kDummr,
  kQuit,  // 79-82
  kCsv,   // 83: one CSV line from the columns of the statement (CsvLine)
  // Not an operation of the program: the code compile_file_operands receives for a CAT
  // statement, whose files continue the input of the READ statement before it (no record of
  // its own).
  kConcatenate = 0xFF,
};
inline constexpr int kFirstOp = static_cast<int>(Op::kRead);
inline constexpr int kLastOp = static_cast<int>(Op::kCsv);
inline constexpr int kOpCount = kLastOp - kFirstOp + 1;

// Who executes an operation in the record loop.
enum class Executor : uint8_t {
  kNone,     // no execution: a code without a verb, or a verb refused when it is compiled
  kFile,     // the file verbs
  kData,     // the data operations
  kFlow,     // the record loop itself: branches, routines, START/SUSP, endings, dummy files
  kPrint,    // PRINT, PLOG, LOG, SPACE, LINE
  kCommand,  // SYSTEM, CALL, SLEEP
};

// Properties of an operation (OpInfo::traits).
enum OpTrait : uint8_t {
  kTraitOutput = 0x01,    // counts as an output statement of the program (a program needs one,
                          // and the run ends when every one has reached its STOPAFT)
  kTraitWrites = 0x02,    // writes or prints: the summary's "nothing written" rule counts it
  kTraitReads = 0x04,     // reads records: its files get the end-of-file status
  kTraitUsesFile = 0x08,  // works on a file: the summary shows the file
  kTraitClipped = 0x10,   // its record operands are clipped against the addressable length
};

// One row of the operation table.
struct OpInfo {
  Op op;                  // the code, equal to the row's place (checked below)
  std::string_view name;  // as the run summary prints it
  Executor executor;      // who runs it
  uint8_t traits;         // OpTrait bits
};

inline constexpr uint8_t kTrOut = kTraitOutput;
inline constexpr uint8_t kTrOutWrites = kTraitOutput | kTraitWrites;
inline constexpr uint8_t kTrFile = kTraitUsesFile;
inline constexpr uint8_t kTrClip = kTraitClipped;
inline constexpr uint8_t kTrClipOut = kTraitClipped | kTraitOutput | kTraitWrites;

// The operation table: one row per code from 18 to 83. Everything about an operation that is not
// its execution is here; nothing else keeps a list of codes.
// clang-format off
inline constexpr std::array<OpInfo, kOpCount> kOps = {{
    {Op::kRead,       "READ",   Executor::kFile,    kTraitReads | kTrFile},
    {Op::kWrite,      "WR",     Executor::kFile,    kTrOutWrites | kTrFile},
    {Op::kUpdate,     "UPD",    Executor::kFile,    kTrOutWrites | kTrFile},
    {Op::kInsert,     "INS",    Executor::kNone,    kTrOutWrites | kTrFile},
    {Op::kDelete,     "DEL",    Executor::kNone,    kTrOutWrites | kTrFile},
    {Op::kExit,       "EXIT",   Executor::kNone,    kTrOut | kTrFile},
    {Op::kCallFile,   "CALL",   Executor::kNone,    kTrOut | kTrFile},
    {Op::kOpen,       "OPEN",   Executor::kFile,    kTrOut | kTrFile},
    {Op::kClose,      "CLOS",   Executor::kFile,    kTrOut | kTrFile},
    {Op::kUnused27,   "",       Executor::kNone,    0},
    {Op::kPointerSet, "@=",     Executor::kData,    kTrClip},
    {Op::kPointerOp,  "@x=",    Executor::kData,    kTrClip},
    {Op::kLrecl,      "lrecl=", Executor::kData,    kTrClip},
    {Op::kRc,         "rc=",    Executor::kData,    kTrClip},
    {Op::kXx32,       "xx",     Executor::kNone,    kTrClip},
    {Op::kGen,        "gen",    Executor::kData,    kTrClip},
    {Op::kAdd,        "add",    Executor::kData,    kTrClip},
    {Op::kSub,        "sub",    Executor::kData,    kTrClip},
    {Op::kMult,       "mult",   Executor::kData,    kTrClip},
    {Op::kDiv,        "div",    Executor::kData,    kTrClip},
    {Op::kMove,       "move",   Executor::kData,    kTrClip},
    {Op::kMod,        "mod",    Executor::kData,    kTrClip},
    {Op::kCmprs,      "cmprs",  Executor::kData,    kTrClip},
    {Op::kXpnd,       "xpnd",   Executor::kData,    kTrClip},
    {Op::kTran,       "tran",   Executor::kData,    kTrClip},
    {Op::kConvert,    "cvxx",   Executor::kData,    kTrClip},
    {Op::kCvdate,     "cvdate", Executor::kData,    kTrClip},
    {Op::kDo,         "do",     Executor::kFlow,    kTrClip},
    {Op::kRet,        "ret",    Executor::kFlow,    kTrClip},
    {Op::kBof,        "bof",    Executor::kNone,    kTrClip},
    {Op::kGoto,       "goto",   Executor::kFlow,    kTrClip},
    {Op::kGg,         "gg",     Executor::kFlow,    kTrClip},
    {Op::kFlag,       "flag",   Executor::kFlow,    kTrClip},
    {Op::kMarc,       "marc",   Executor::kNone,    kTrClip},
    {Op::kLoad,       "load",   Executor::kNone,    kTrClip},
    {Op::kSort,       "sort",   Executor::kNone,    kTrClip},
    {Op::kSpace,      "space",  Executor::kPrint,   kTrClip},
    {Op::kLine,       "line",   Executor::kPrint,   kTrClip},
    {Op::kSleep,      "sleep",  Executor::kCommand, kTrClip},
    {Op::kDump,       "dump",   Executor::kNone,    kTrClip},
    {Op::kPdump,      "pdump",  Executor::kNone,    kTrClip},
    {Op::kSusp,       "susp",   Executor::kFlow,    kTrClip},
    {Op::kStart,      "start",  Executor::kFlow,    kTrClip},
    {Op::kEoj,        "eoj",    Executor::kFlow,    kTrClip},
    {Op::kCall,       "call",   Executor::kCommand, kTrClip},
    {Op::kUtime,      "utime",  Executor::kData,    kTrClip},
    {Op::kXx64,       "xx",     Executor::kNone,    kTrClip},
    {Op::kXx65,       "xx",     Executor::kNone,    kTrClip},
    {Op::kXx66,       "xx",     Executor::kNone,    kTrClip},
    {Op::kXx67,       "xx",     Executor::kNone,    kTrClip},
    {Op::kXx68,       "xx",     Executor::kNone,    kTrClip},
    {Op::kXx69,       "xx",     Executor::kNone,    kTrClipOut},
    {Op::kCancel,     "cancel", Executor::kFlow,    kTrClipOut},
    {Op::kXv,         "xv",     Executor::kNone,    kTrClipOut},
    {Op::kCp,         "cp",     Executor::kNone,    kTrClipOut},
    {Op::kCms,        "cms",    Executor::kCommand, kTrClipOut},
    {Op::kStack,      "stack",  Executor::kNone,    kTrClipOut},
    {Op::kJecl,       "jecl",   Executor::kNone,    kTrClipOut},
    {Op::kPrint,      "pr",     Executor::kPrint,   kTrOutWrites},
    {Op::kPlog,       "plog",   Executor::kPrint,   kTrOutWrites},
    {Op::kLog,        "log",    Executor::kPrint,   kTrOutWrites},
    {Op::kCkpt,       "ckpt",   Executor::kNone,    kTrOutWrites},
    {Op::kDummy,      "dummy",  Executor::kFlow,    kTrOutWrites | kTrFile},
    {Op::kDummr,      "dummr",  Executor::kFlow,    kTrOutWrites | kTraitReads | kTrFile},
    {Op::kQuit,       "quit",   Executor::kNone,    kTrOutWrites},
    {Op::kCsv,        "CSV",    Executor::kFile,    kTrOutWrites | kTrFile},
}};
// clang-format on

constexpr bool ops_in_order() {
  for (int i = 0; i < kOpCount; ++i) {
    if (static_cast<int>(kOps[static_cast<size_t>(i)].op) != kFirstOp + i) return false;
  }
  return true;
}
static_assert(ops_in_order(), "row i of the operation table must be operation kFirstOp + i");

// The table's row of `op`, or null for a code outside it (kNone, kConcatenate).
constexpr const OpInfo* op_info(Op op) {
  const int code = static_cast<int>(op);
  return code >= kFirstOp && code <= kLastOp ? &kOps[static_cast<size_t>(code - kFirstOp)]
                                             : nullptr;
}
// Name of an operation code, "" outside the table.
constexpr std::string_view op_name(Op op) {
  const OpInfo* info = op_info(op);
  return info != nullptr ? info->name : std::string_view();
}

// The executor and traits of every byte value, derived from kOps: the record loop asks for them
// once per action, so they are one load each.
struct OpByCode {
  std::array<Executor, 256> executor{};
  std::array<uint8_t, 256> traits{};
};
constexpr OpByCode make_op_by_code() {
  OpByCode t;
  for (const OpInfo& row : kOps) {
    t.executor[static_cast<uint8_t>(row.op)] = row.executor;
    t.traits[static_cast<uint8_t>(row.op)] = row.traits;
  }
  return t;
}
inline constexpr OpByCode kOpByCode = make_op_by_code();

constexpr bool op_has(Op op, uint8_t trait) {
  return (kOpByCode.traits[static_cast<uint8_t>(op)] & trait) != 0;
}
constexpr Executor op_executor(Op op) {
  return kOpByCode.executor[static_cast<uint8_t>(op)];
}

// Comparison codes of condition statements.
enum Compare : uint8_t {
  kCmpEqual = 1,
  kCmpLess = 2,
  kCmpGreater = 3,
  kCmpNotEqual = 4,
  kCmpGreaterEqual = 5,
  kCmpLessEqual = 6,
  kCmpOnes = 8,
  kCmpMixed = 9,
  kCmpZeros = 10,
  kCmpDirectory = 12,
  kCmpData = 13,
  kCmpEndOfFile = 14,
  kCmpNull = 15,
  kCmpNotNull = 16,
};

// ---- Labels ----------------------------------------------------------------------------------

struct Statement;

// A label: defined by a one-word statement, referenced by GOTO, GOSUB, PERFORM and DO. A pool
// record ("LBL"); the name is a pool text. Names compare without regard to case.
struct LabelEntry {
  LabelEntry* next = nullptr;     // next label in order of first mention
  LabelEntry* prev = nullptr;     // previous label
  Statement* target = nullptr;    // first statement after the label; null while only referenced
  char* name = nullptr;           // zero-terminated name as written
  const char* comment = nullptr;  // comment text in the statement-text store, or null
  int32_t comment_length = 0;     // its length
};

// ---- CSV lines ---------------------------------------------------------------------------------

// How a CSV column reads its bytes (CsvColumn::form).
enum CsvForm : uint8_t {
  kCsvText = 0,        // characters, quoted when they hold the separator, a quote or a line end
  kCsvZoned,           // one digit per byte, the sign where CsvColumn::sign says
  kCsvPacked,          // two digits per byte, the sign in the last low nibble
  kCsvBinary,          // big-endian two's complement, 1 to 8 bytes
  kCsvUnsignedBinary,  // big-endian unsigned, 1 to 8 bytes
};

// Where a zoned column keeps its sign (CsvColumn::sign).
enum CsvSign : uint8_t {
  kCsvSignTrailing = 0,      // over-punched in the last digit (the usual form)
  kCsvSignLeading,           // over-punched in the first digit
  kCsvSignLeadingSeparate,   // a "+" or "-" byte before the digits
  kCsvSignTrailingSeparate,  // a "+" or "-" byte after the digits
};

// One column of a CSV line.
struct CsvColumn {
  Operand* field = nullptr;    // the bytes of the column (a field with a length)
  const char* name = nullptr;  // the header cell (pool text "csvn"), or null for none
  int32_t name_length = 0;     // its length
  uint8_t form = kCsvText;     // CsvForm
  uint8_t sign = 0;            // CsvSign of a zoned column
  int16_t scale = 0;           // implied decimal places; below 0: zeros the digits stand for
};

// The line a CSV statement writes: a pool block "csv"; its columns a pool block "csvc" that
// grows as COLUMN statements add to it.
struct CsvLine {
  CsvColumn* columns = nullptr;  // `count` columns in line order
  int32_t count = 0;             // columns in use
  int32_t capacity = 0;          // columns the block holds
  uint8_t separator = ',';       // byte between two cells
  bool ebcdic = false;           // text is EBCDIC (translated) and zoned bytes are EBCDIC digits
  bool trim = false;             // text cells lose their trailing blanks
  bool header = false;           // the column names are written as a first line
  bool header_written = false;   // run: the header line has been written (or was not wanted)
};

// ---- Statement records -----------------------------------------------------------------------

// Flag bits of Statement::flags.
enum StatementFlag : uint32_t {
  kSfRange = 0x0001,          // condition: the first operand is a position range
  kSfScan = 0x0002,           // condition: the value is searched for within the first operand
  kSfStepped = 0x0004,        // condition: STEP was given
  kSfReverse = 0x0008,        // condition: the scan runs from the end
  kSfPadded = 0x0010,         // condition: FILL or PAD was given
  kSfConsoleClear = 0x0020,   // LOG CLEAR
  kSfDumpAll = 0x0040,        // PRINT with DUMPALL
  kSfRepeating = 0x0100,      // run: a TIMES repetition is in progress
  kSfRetired = 0x0200,        // run: STOPAFT reached; cut out of the program
  kSfDefaultInput = 0x0400,   // run: target filled with the primary input by linking
  kSfContinuedThen = 0x0800,  // compile: a THEN compiled as a plain action
  kSfRequireRecord = 0x1000,  // file verb: a key or record not found ends the run
  kSfPositioned = 0x2000,     // run: a START form of READ has made its positioned read
  kSfCsvSized = 0x4000,       // CSV: the statement chose its file's LRECL (none was given)
};

// Access modes of file-verb statements (READ and the keyed forms).
enum AccessMode : uint8_t {
  kAccessSequential = 0,   // plain READ
  kAccessKeyEqual,         // KEY, KEQ
  kAccessKeyGreaterEqual,  // KGE
  kAccessRba,              // RBA: by byte address
  kAccessRecordNumber,     // REC, ISN
  kAccessStartKeyGe,       // START, STARTKEY, STARTKGE
  kAccessStartKeyEq,       // STARTKEQ
  kAccessStartRba,         // STARTRBA
  kAccessStartRecord,      // STARTREC, STARTISN
};

// Operand slots of a statement record. Roles by family:
//   conditions:      0 the tested data, 1 the comparison value
//   data statements: 0 target, 1 source or operand A, 2 operand B / table / GEN value,
//                    3 remainder / GEN seed
//   file verbs:      0 INTO (READ) or FROM (WRITE, UPDATE, INSERT) data, 1 key or record number,
//                    2 the file name when it comes from record data
//   PRINT, LOG, CP, system commands: 0 the data printed or the command text
inline constexpr int kOperandSlots = 4;

// One compiled statement; a pool block "CN", zero-filled.
struct Statement {
  // Chain in statement order (the list linking and the summary walk).
  Statement* next = nullptr;
  Statement* prev = nullptr;

  // Set by the compiler.
  int32_t selid = 0;                   // action: 1, 2, 3 ...; condition: minus the next action's id
  uint8_t type = kStEnd;               // StatementType
  Op op = Op::kNone;                   // action: operation code
  uint8_t compare = 0;                 // condition: comparison code (Compare)
  uint8_t modifier = 0;                // print format; FLAG target; LINE/SPACE mode; MOVE/MOD form
  uint8_t access = kAccessSequential;  // file verbs: AccessMode
  int32_t argument = 0;                // SLEEP seconds, LINE/SPACE count, conversion code, CALL
                                       // argument count, PRINT dump enclosure
  Operand* reply = nullptr;            // LOG ... REPLY field
  std::array<Operand*, kOperandSlots> operands{};  // see the slot roles above
  void** call_args = nullptr;     // CALL: argument table, 4 x (arguments + 1) bytes ("call")
  CsvLine* csv = nullptr;         // CSV: the columns of the line it writes
  uint32_t flags = 0;             // StatementFlag bits
  LabelEntry* label = nullptr;    // the label entry of a label statement (type 0)
  const char* comment = nullptr;  // comment in the statement-text store, or null
  int32_t comment_length = 0;     // its length

  // Conditions.
  uint8_t pad = ' ';     // pad byte for operands of unequal length (also data statements)
  int32_t step = 1;      // scan step
  int32_t ptr_var = -1;  // pointer variable receiving a scan's position; -1 for none

  // Files and branches. For GOTO/GOSUB/PERFORM/DO: the label entry while compiling, the
  // statement after the label once linked; for GG: the End statement.
  files::FFREC* file = nullptr;  // the file a file verb or file test works on
  char* file_name = nullptr;     // condition file tests and record counts: the FILE= name as
                                 // typed (pool text "fnm"); linking finds `file` by it, and
                                 // supplies the primary input when it is null
  LabelEntry* branch = nullptr;  // branch target label (compile time)
  Statement* jump = nullptr;     // branch target statement (after linking)

  // Counts.
  int32_t stopaft = 0;      // STOPAFT limit, 0 = none
  int32_t times = 0;        // TIMES repeat count, 0 = none
  int32_t times_left = 0;   // repeats still to do in the current execution
  int64_t exec_count = 0;   // executions: the SELTOT column of the summary
  int32_t error_count = 0;  // failures counted against the statement

  // Continuations, set by linking.
  Statement* on_true = nullptr;             // after an action, or a condition that holds
  Statement* on_false = nullptr;            // after a condition that fails
  Statement* on_false_suspended = nullptr;  // a failed condition while suspended; SUSP's exit
};

// The program under construction and the compile-time state of statements.
struct Program {
  Statement* head = nullptr;           // first record
  Statement* current = nullptr;        // record being compiled (reused while its type stays 0)
  LabelEntry* labels = nullptr;        // head of the label list
  LabelEntry* labels_tail = nullptr;   // last label
  int32_t selid_counter = 1;           // next selection id
  uint8_t last_type = 0;               // type of the last statement compiled (order check)
  char listing_marker = ' ';           // carriage control of the next statement's listing line
  bool suspend_requested = false;      // SUSP compiled
  bool start_requested = false;        // START compiled
  bool cat_seen = false;               // a CAT statement has been compiled
  bool first_condition_mark = false;   // set by an end-of-file test of the current sentence
  bool second_condition_mark = false;  // set by any other test of the sentence, and by ELSE
  bool comments_kept = false;          // a statement comment was attached to a record
  bool last_was_label = false;         // the last statement compiled was a label
  bool continued_then = false;         // the last plain action was a THEN compiled as type 1
  bool console_clear = false;          // a LOG CLEAR was compiled: the console is cleared once
};

// ---- Pointer-variable names ----------------------------------------------------------------

// The run's name-index table: the names of pointer variables (@name), each numbered from 0 in
// order of entry and found without regard to case. The run driver enters the empty name and the
// two-byte name 0xD1 0xFF first, so they take the numbers 0 and 1.
class NameIndex {
 public:
  static constexpr int kNotFound = -1;
  // The name's number; a name not yet in the table is entered at the end.
  int insert(std::string_view name);
  // The name's number, or kNotFound.
  int find(std::string_view name) const;
  int size() const { return static_cast<int>(names_.size()); }
  const std::string& name(int index) const { return names_[index]; }

 private:
  std::vector<std::string> names_;  // in order of entry; the index is the number
};

}  // namespace recsift::program

#endif  // RECSIFT_PROGRAM_PROGRAM_H_
