// The statement compilers: each tokenised control statement becomes one statement record of the
// selection program (or none: labels, options, END). The statement compiler recognises the
// statement's role and verb and hands the operands to the compile step of the verb's family:
// conditions, data statements, file operands, OPTION; every position, length and literal goes
// through the one operand compiler.
//
// All compile steps share one Context: the run-wide objects they read and change. Run options
// (OPTION) are kept by the objects that use them: listing sizes in the Listing, substitution
// rules in the Variables, file defaults in the FileList, the rest in the special-variable area.
// Errors are recorded as the pending message (the first one stays) and compilation of the statement
// stops; the caller lists the statement and prints the message.
#ifndef RECSIFT_COMPILER_COMPILER_H_
#define RECSIFT_COMPILER_COMPILER_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "input/input.h"
#include "program/program.h"
#include "report/report.h"

namespace recsift::files {
struct FileList;
struct FFREC;
}  // namespace recsift::files

namespace recsift::compiler {

// The run-wide objects the compile steps work on. Owned by the run driver; every pointer is set
// before the first statement is compiled.
struct Context {
  input::TokenList* tokens = nullptr;     // tokens of the statement being compiled
  input::Variables* variables = nullptr;  // substitution variables (%1, %NAME%, EQU)
  report::Messages* messages = nullptr;   // pending message and the count printed
  report::Listing* listing = nullptr;     // listing settings and state
  program::Program* program = nullptr;    // the selection program being built
  program::NameIndex* names = nullptr;    // pointer-variable names
  files::FileList* files = nullptr;       // file control blocks of the run
  uint8_t* special = nullptr;             // the special-variable area (128 bytes)
  uint8_t* date_area = nullptr;           // the run's date area (128 bytes)
  char* heading = nullptr;                // first heading line (160 bytes)
  char* line_area = nullptr;              // the listing prefix (10 bytes) and the logical line
  char* statement = nullptr;              // the statement buffer the tokens point into
  int32_t line_counter = 0;               // physical control lines read so far
  int32_t param_count = 0;                // positional parameters of the command line
  std::string program_path;               // %0

  // Set by the run driver for the statement compiler and OPTION.
  char* rule = nullptr;           // second heading line (160 bytes): the rule under the title
  int32_t* lines_left = nullptr;  // the listing's lines left on the current page (PD moves it)
  // Opens a control file named by INCLUDE (the name as typed) as the next control input.
  // Returns 0, or the message number to raise (156 when the file cannot be opened).
  std::function<int(std::string_view name)> open_include;

  // Set by the statement compiler for the reader.
  bool include_pending = false;  // INCLUDE opened a file: read it before the rest of the line
};

// Raises `number` as the pending message, marking the current token (or the last keyword taken)
// for the underline. Returns number.
int raise(Context& ctx, int number);

// ---- Statement compiler ----------------------------------------------------------------------

// Compiles the tokenised statement into the program. Returns the selection id of an action
// statement, else 0.
int32_t compile_statement(Context& ctx);

// ---- Operand compiler ------------------------------------------------------------------------

// Accepted forms of an operand (a set of flags).
enum Forms : uint32_t {
  kFormLength = 0x2,                // length keywords may follow the position
  kFormPosKeyword = 0x4,            // the operand may begin with P or POS
  kFormPlainNumber = 0x8,           // a lone absolute number is an immediate value
  kFormEndPosition = 0x10,          // a second position gives the operand's end (a range)
  kFormPositionOnly = 0x20,         // nothing is looked for after the position
  kFormFrKeyword = 0x40,            // with kFormFromKeywords: FR or FROM may introduce the position
  kFormFromKeywords = 0x80,         // AT (FR, INTO) after a first expression: length, then position
  kFormCharLiteral = 0x100,         // a quoted token (or any non-position) is a character literal
  kFormLiteralRefused = 0x200,      // a quoted token is a literal; another non-position is msg 42
  kFormLongNumber = 0x400,          // numbers are immediate; long digit strings numeric literals
  kFormNoRecsizeLrecl = 0x800,      // RECSIZE and LRECL are not length keywords
  kFormNoL = 0x1000,                // L is not a length keyword
  kFormLengthHere = 0x2000,         // length keywords only at the current token
  kFormIntoKeyword = 0x4000,        // with kFormFromKeywords: INTO may introduce the position
  kFormType = 0x8000,               // TYPE or TY and a letter may follow
  kFormFromAnywhere = 0x10000,      // FR, FROM, INTO matched anywhere in the statement
  kFormLengthOnly = 0x20000,        // the operand is one length expression
  kFormAbsoluteOnly = 0x80000,      // positions must be absolute numbers
  kFormBelowOneAllowed = 0x100000,  // a position below 1 is not an error
};

// Compiles one operand into *slot (allocated there when null). Returns 0 or the message number
// recorded; a pending message returns at once.
int compile_operand(Context& ctx, program::Operand** slot, uint32_t forms);
// Completes the data operand of a PRINT, PLOG, LOG or command statement: the descriptor is
// allocated in *slot when missing; without a length it gets the length "rest of the record"
// (length kind 2), without a numeric type type 1.
void complete_operand(Context& ctx, program::Operand** slot);

// ---- Family compile steps --------------------------------------------------------------------

// Compiles the rest of a condition statement (IF, AND, OR, THENIF, ELSEIF) of the given type
// into the current record.
int compile_condition(Context& ctx, uint8_t type);
// Compiles the operands of a data statement (operation codes 28..44 and 63) into the current
// record. Another code is a logic error.
int compile_data_statement(Context& ctx, program::Op op);
// Compiles the file operand and file keywords of a file-verb or CALL statement into the current
// record's file. Returns 0 or the message number.
int compile_file_operands(Context& ctx, program::Op op);
// Compiles an OPTION statement (report = true for REPORT).
int compile_option(Context& ctx, bool report);

// ---- Printable form --------------------------------------------------------------------------

// The compiled program as text, one statement a line: selection id, type, operation, modifier,
// argument, counts, operands and (once linked) continuations. For tests and -cor traces.
std::string dump(const program::Program& program);
// An operand descriptor as compact text: its kind, then in brackets its data and each detail that
// differs from what the kind implies, e.g. "field(pos 10 len 3 type P)", "lit('ABC')",
// "imm(25)", "num(@2+1)", "field(pos L-9 to L kw range)"; "null" for no descriptor.
std::string describe_operand(const program::Operand* op);
// A file as compact text: its name as defined (path, name and extension, relative to the current
// folder when below it; or the predefined name), then in brackets its open type, record format
// and LRECL when set, e.g. "orders.txt(in U)", "out.dat(out V lrecl 22)", "SYSIN(in)".
std::string describe_file(const files::FFREC& file);

}  // namespace recsift::compiler

#endif  // RECSIFT_COMPILER_COMPILER_H_
