// The execution engine: the selection program run once per record, operand resolution and
// conditions, file verbs, data operations, external commands and the special variables. This
// header declares the routine every part of the program uses to stop on an impossible state;
// the record loop and the verbs join it as they are built.
#ifndef RECSIFT_ENGINE_ENGINE_H_
#define RECSIFT_ENGINE_ENGINE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "program/operand.h"
#include "program/program.h"

namespace recsift::files {
struct FFREC;
struct FileList;
struct FileRequest;
class IoReporter;
}  // namespace recsift::files
namespace recsift::report {
struct Messages;
struct Listing;
}  // namespace recsift::report

namespace recsift::engine {

// The engine runs the selection program: its records and codes are the engine's vocabulary.
using namespace recsift::program;

// Numbers of the errors the run phase records (their texts are in the message catalogue).
enum RunError : int32_t {
  kRunErrStartReadNotPlain = 50,    // START with a primary READ whose operand is not plain
  kRunErrNoCallLibrary = 162,       // the call library is not loaded
  kRunErrCancel = 513,              // CANCEL reached
  kRunErrInterrupted = 514,         // SIGINT or SIGTERM: the run ended between two records
  kRunErrNoElseStorage = 520,       // no storage for the ELSE stack
  kRunErrElseWithoutThen = 521,     // ELSE or ELSEIF without a matching THEN
  kRunErrLabelWithoutTarget = 522,  // GOTO or GOSUB label with nothing after it
  kRunErrNoFileForTest = 523,       // a file test, FLAG or file verb with no file
  kRunErrNoOutput = 524,            // no output statement in the program
  kRunErrReturnWithoutGosub = 529,  // RETURN without GOSUB
  kRunErrReadFailed = 537,          // a read failed (other than key not found)
  kRunErrWriteFailed = 538,         // a write, update or open request failed
  kRunErrIntoOutside = 542,         // INTO or name operand outside the record
  kRunErrNoWorkArea = 543,          // the work area could not be allocated
  kRunErrRecordRequired = 544,      // a required record was not found
  kRunErrKeyOutside = 545,          // the key operand is outside the record
  kRunErrCallArguments = 547,       // a CALL argument outside the record, or a count mismatch
  kRunErrNegativeStatus = 567,      // the external routine returned a negative status
  kRunErrOpenFailed = 571,          // a file could not be opened while linking
  kRunErrArithmetic = 579,          // internal failure in arithmetic
  kRunErrTooManyFiles = 580,        // more files than the host lets a process open
  kRunErrNotNumeric = 901,          // a numeric comparison with a value that is not numeric
  kRunErrNotMask = 902,             // a mask value reached with another comparison
};

// Selection id meaning "no statement is current".
inline constexpr int32_t kNoSelid = 0;

// ---- Run state of operand resolution and conditions --------------------------------------------

// Sizes of the areas that operands can name besides the record.
inline constexpr int32_t kDateAreaSize = 128;
inline constexpr int32_t kHeadingSize = 160;

// Flag byte of a pointer variable.
inline constexpr uint8_t kPointerNullFlags = 0x20;  // null (never set, or set to null)
inline constexpr uint8_t kPointerSetFlags = 0x25;   // set; with kPointerOutside when outside
inline constexpr uint8_t kPointerBitSet = 0x01;
inline constexpr uint8_t kPointerOutside = 0x02;  // the position lies outside the addressable area

// Pointer variables 0 (@) and 1 (the comparison pointer, DIFF) also show as address words in the
// special-variable area.
inline constexpr int kAtPointer = 0;
inline constexpr int kComparePointer = 1;

// One pointer variable (@name), numbered through the name index. `value` is the 1-based
// position from the record base (0 = null). A pointer set to a byte outside the addressable
// area (one of the run's other areas: special variables, date, heading) also keeps that area
// and its offset in it, so that resolution reaches the byte without leaving the area.
struct PointerVariable {
  int32_t value = 0;
  uint8_t flags = kPointerNullFlags;
  const uint8_t* area = nullptr;  // outside pointers: the area holding the byte, else null
  int32_t area_size = 0;          // its size
  int32_t area_offset = 0;        // the byte's offset in it
};

// Questions a file test asks about its file.
enum class FileQuestion : uint8_t {
  kEndOfFile,       // the file is at end of file
  kDirectoryEntry,  // the file's current entry is a directory
};
// Answers a file test; `context` is Run::file_query_context. A null file is "no file".
using FileQuery = bool (*)(void* context, const files::FFREC* file, FileQuestion question);

// States of the run (Run::mode).
enum RunMode : int8_t {
  kRunActive = 0,     // statements run as linked
  kRunSuspended = 1,  // waiting for a START sentence: only the READ runs, tests follow
                      // on_false_suspended
  kRunEnding = -1,    // the run ends at the End statement
};

// A node of the GOSUB return stack: pool "rt1" for the first, "rt" for the others; nodes are
// kept after RETURN and reused, so the stack only grows to the deepest nesting reached.
struct ReturnNode {
  ReturnNode* deeper = nullptr;     // the node pushed after this one
  ReturnNode* shallower = nullptr;  // the node pushed before it
  Statement* statement = nullptr;   // the calling GOSUB
};

// What the record loop keeps about one file of the run (Run::file_marks, by FFREC::index).
struct FileMarks {
  bool primary = false;           // the primary input, or a file that continues it
  bool at_end = false;            // the record loop met this input's end of file
  bool eof_tested = false;        // an end-of-file test names the file
  bool never_retire = false;      // exempt from retiring its READ statements at end of file
  bool empty_read_fails = false;  // an empty read counts as a failure
  bool flag_eom = false;          // FLAG EOM marker
  bool flag_eod = false;          // FLAG EOD marker
  bool spare = false;             // keeps the record 8 bytes: the table is indexed per record
};
static_assert(sizeof(FileMarks) == 8);

// The run phase: what operand resolution, conditions, the record loop and the verbs share. The
// areas belong to the run driver; the record loop keeps the record fields and `current` up to
// date. One instance per run.
struct Run {
  // Operand resolution and conditions.
  uint8_t* record_base = nullptr;  // byte 1 of the current record (or of the work area)
  int32_t record_length = 0;       // length of the current record
  int32_t addressable_length = 0;  // bytes addressable from record_base (record or work area)
  uint8_t* special = nullptr;      // the 128-byte special-variable area
  uint8_t* date_area = nullptr;    // the 128-byte date area (DATE), or null
  uint8_t* heading = nullptr;      // the first heading line (HEAD, 160 bytes), or null
  std::vector<PointerVariable> pointers;  // by name-index number; grows as pointers are set
  Statement* current = nullptr;           // the statement being executed
  int32_t rc_selid = kNoSelid;            // selection id of the statement that last raised rc
  int32_t mask_truncations = 0;           // masks cut to 256 bytes (for the summary)
  int32_t lrecl_changes_ignored = 0;      // "lrecl=" values refused (for the summary)
  report::Messages* messages = nullptr;   // pending message of the run, or null in tests
  FileQuery file_query = nullptr;         // file tests; null answers "no"
  void* file_query_context = nullptr;

  // Services, set by the run driver before link_program.
  Program* program = nullptr;          // the compiled program
  files::FileList* files = nullptr;    // the run's files
  report::Listing* listing = nullptr;  // the listing (PRINT, LOG, SPACE, LINE, messages)
  uint8_t* main_block = nullptr;       // the driver's work block: its first 528 bytes present
                                       // the empty record at end of file (without WORKLEN)
  files::FileRequest* io = nullptr;    // the file request of record I/O

  // The record loop (linking and running).
  Statement* program_end = nullptr;       // the End statement
  Statement* exec_start = nullptr;        // first statement of a pass
  Statement* resume_read = nullptr;       // system copy of the primary READ (programs with START)
  int8_t mode = kRunActive;               // RunMode
  files::FFREC* current_input = nullptr;  // the input file last read
  uint8_t* work_area = nullptr;           // "wrec": WORKLEN bytes and the guard text; null = none
  int32_t work_length = 0;                // WORKLEN (80 when not given)
  bool work_area_given = false;           // WORKLEN was given: INTO and positions beyond the record
  int32_t record_prefix = 0;              // bytes WR/UPD skip in a FROM field (RDW primary input)
  ReturnNode* return_top = nullptr;       // the GOSUB stack's top node in use, null = empty
  ReturnNode* return_bottom = nullptr;    // the first node ever allocated ("rt1")
  int32_t first_error = 0;                // first error number recorded in the run (0 = none)
  bool compare_pointer_seen = true;   // a statement can see the comparison pointer (DIFF, UXADIFF,
                                      // the special area as data, CALL arguments): character
                                      // comparisons keep it up to date
  std::vector<FileMarks> file_marks;  // by FFREC::index: what the loop keeps about each file
  Statement* sum_test = nullptr;      // the end-of-file test where fast_sum.cc runs the passes
  uint8_t fast_path = 0;              // detail::FastPath chosen at link for the whole program
  bool stopped = false;               // ended by STOP or EOJ
  bool abended = false;               // ended abnormally (CANCEL, RETURN without GOSUB, ...)
  int32_t part = 0;                   // -part I/N: the primary input is read as part I ...
  int32_t parts = 0;                  // ... of N (0: the whole input)
  bool progress = false;              // show a progress line on standard error (a terminal)
  int64_t progress_start_ms = 0;      // when the records began (host::monotonic_ms)
  bool progress_shown = false;        // a progress line stands on the terminal
  std::string csv_line;               // the CSV line being made (kept for its storage)
  std::string csv_text;               // a text cell translated from EBCDIC
  std::string csv_digits;             // the digits of a number cell

  // The record loop's markers of `file`, made when first asked for.
  FileMarks& marks(const files::FFREC& file);
  // The same, read only: all clear for a file the loop never marked.
  FileMarks marks(const files::FFREC& file) const;
};

// Verb results of the executors.
enum VerbResult : int {
  kVerbNext = 0,        // go on with on_true
  kVerbAbend = 1,       // end the run abnormally (return code 44)
  kVerbJump = 4,        // continue at the statement's jump target
  kVerbStop = 8,        // STOP, EOJ: end the run
  kVerbResume = 16,     // SUSP: continue at on_false_suspended
  kVerbEndOfFile = -1,  // the READ met end of file
};

// ---- Record loop -------------------------------------------------------------------------------

// Links the compiled program (continuations, default files, labels), allocates the work area and
// opens the files. Returns 0, or the first error recorded (the run is then skipped).
int32_t link_program(Run& run);
// Runs the linked program pass after pass until the run ends. Returns the first error recorded.
int32_t run_program(Run& run);
// Closes every open file (inputs first, then outputs) so that counts and flags are final; then
// prints the run summary, settles the return codes 4 and 16 and, after an abnormal end, the
// banner. Returns the first error recorded.
int32_t finish_run(Run& run);

// Records a run-time error: the pending message (the first one stays) and first_error. With a
// file, run-time texts beginning with "f" name it and show the file layer's own error text.
void record_run_error(Run& run, int32_t number, const files::FFREC* file = nullptr);
// The run's hearer of record I/O failures, for the file request: each one is a "qelfio: " line
// on standard output.
files::IoReporter& io_failure_lines();

// ---- Verb executors
// ------------------------------------------------------------------------------ Called by the
// action step with run.current set; each returns a VerbResult.

// READ, WR, UPD, OPEN, CLOS (op 18..26).
int execute_file_verb(Run& run, Statement& statement);
// Data operations: "@=", "@x=", "lrecl=", "rc=", GEN, ADD, SUB, MULT, DIV, MOVE, MOD, CMPRS, XPND,
// TRAN, the conversions, CVDATE (op 28..44) and UTIME (op 63).
int execute_data_operation(Run& run, Statement& statement);
// SYSTEM (op 73), CALL (op 62), SLEEP (op 56).
int execute_command(Run& run, Statement& statement);

// The run's return code (the RETCD field of the special-variable area; 0 without an area).
int32_t return_code(const Run& run);
// Raises the return code to `rc` when that is higher, remembering the current statement's
// selection id in rc_selid; never lowers it.
void raise_return_code(Run& run, int32_t rc);

// Resolves `op` for the current statement: returns byte 1 of the operand, or null on failure,
// and sets op->address, length, position (-1 for a literal), requested_length and
// resolved_flags. A failure has been counted against the current statement already.
uint8_t* resolve_operand(Run& run, Operand* op);

// Stores into pointer variable `number` the position of `address` (address - record base + 1)
// with its flags, or null for a null address; pointers 0 and 1 also update UXATPTR / UXADIFF.
void set_pointer(Run& run, int number, const uint8_t* address);
// The pointer variable `number` (a null one when it has never been set).
PointerVariable pointer_variable(const Run& run, int number);

// Evaluates the current statement, a condition; true when its test holds.
bool evaluate_condition(Run& run);

}  // namespace recsift::engine

#endif  // RECSIFT_ENGINE_ENGINE_H_
