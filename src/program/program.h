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

enum Op : uint8_t {
  kOpNone = 0,
  kOpRead = 18,
  kOpWrite,
  kOpUpdate,
  kOpInsert,
  kOpDelete,
  kOpExit,
  kOpCallFile,
  kOpOpen,
  kOpClose,       // 26
  kOpUnused27,    // 27: the empty name
  kOpPointerSet,  // 28 "@=": pointer assignment
  kOpPointerOp,   // 29 "@x=": statement beginning with "@"
  kOpLrecl,
  kOpRc,
  kOpXx32,
  kOpGen,
  kOpAdd,
  kOpSub,
  kOpMult,
  kOpDiv,
  kOpMove,
  kOpMod,  // 30-39
  kOpCmprs,
  kOpXpnd,
  kOpTran,
  kOpConvert,
  kOpCvdate,  // 40-44
  kOpDo,
  kOpRet,
  kOpBof,
  kOpGoto,
  kOpGg,
  kOpFlag,
  kOpMarc,
  kOpLoad,
  kOpSort,
  kOpSpace,  // 45-54
  kOpLine,
  kOpSleep,
  kOpDump,
  kOpPdump,
  kOpSusp,
  kOpStart,
  kOpEoj,
  kOpCall,
  kOpUtime,  // 55-63
  kOpXx64,
  kOpXx65,
  kOpXx66,
  kOpXx67,
  kOpXx68,
  kOpXx69,  // 64-69
  kOpCancel,
  kOpXv,
  kOpCp,
  kOpCms,
  kOpStack,
  kOpJecl,
  kOpPrint,
  kOpPlog,
  kOpLog,  // 70-78
  kOpCkpt,
  kOpDummy,
  kOpDummr,
  kOpQuit,  // 79-82
};
inline constexpr int kFirstOp = kOpRead;
// Not an operation of the program: the code compile_file_operands receives for a CAT statement,
// whose files continue the input of the READ statement before it (no record of its own).
inline constexpr uint8_t kOpConcatenate = 0xFF;
inline constexpr int kLastOp = kOpQuit;

// Names of the operation codes as the run summary prints them, from kOpRead on.
inline constexpr std::array<std::string_view, kLastOp - kFirstOp + 1> kOpNames = {
    "READ",  "WR",   "UPD",    "INS",   "DEL",  "EXIT",  "CALL",   "OPEN", "CLOS",  "",
    "@=",    "@x=",  "lrecl=", "rc=",   "xx",   "gen",   "add",    "sub",  "mult",  "div",
    "move",  "mod",  "cmprs",  "xpnd",  "tran", "cvxx",  "cvdate", "do",   "ret",   "bof",
    "goto",  "gg",   "flag",   "marc",  "load", "sort",  "space",  "line", "sleep", "dump",
    "pdump", "susp", "start",  "eoj",   "call", "utime", "xx",     "xx",   "xx",    "xx",
    "xx",    "xx",   "cancel", "xv",    "cp",   "cms",   "stack",  "jecl", "pr",    "plog",
    "log",   "ckpt", "dummy",  "dummr", "quit"};
static_assert(kOpNames[kOpClose - kFirstOp] == "CLOS");
static_assert(kOpNames[kOpPointerSet - kFirstOp] == "@=");
static_assert(kOpNames[kOpConvert - kFirstOp] == "cvxx");
static_assert(kOpNames[kOpSpace - kFirstOp] == "space");
static_assert(kOpNames[kOpCall - kFirstOp] == "call");
static_assert(kOpNames[kOpCancel - kFirstOp] == "cancel");
static_assert(kOpNames[kOpPrint - kFirstOp] == "pr");
static_assert(kOpNames[kOpQuit - kFirstOp] == "quit");

// Name of an operation code, "" outside the table.
inline std::string_view op_name(int op) {
  return op >= kFirstOp && op <= kLastOp ? kOpNames[op - kFirstOp] : std::string_view();
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
  uint8_t op = kOpNone;                // operation code (action) or comparison code (condition)
  uint8_t modifier = 0;                // print format; FLAG target; LINE/SPACE mode; MOVE/MOD form
  uint8_t access = kAccessSequential;  // file verbs: AccessMode
  int32_t argument = 0;                // SLEEP seconds, LINE/SPACE count, conversion code, CALL
                                       // argument count, PRINT dump enclosure
  Operand* reply = nullptr;            // LOG ... REPLY field
  std::array<Operand*, kOperandSlots> operands{};  // see the slot roles above
  void** call_args = nullptr;     // CALL: argument table, 4 x (arguments + 1) bytes ("call")
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
  int32_t exec_count = 0;   // executions: the SELTOT column of the summary
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
