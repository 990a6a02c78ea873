// The run driver: the program's entry point. It reads the command line in two passes, carves the
// work block, sets the run-wide defaults, shows the banner, and drives the phases of a run
// (start-up, compilation, execution, close-down) to the exit code.
#ifndef RECSIFT_DRIVER_DRIVER_H_
#define RECSIFT_DRIVER_DRIVER_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "compiler/compiler.h"
#include "engine/engine.h"
#include "files/files.h"
#include "input/input.h"
#include "program/program.h"
#include "report/report.h"

namespace recsift::driver {

// ---- The work block ("cmw") ------------------------------------------------------------------
// One pool block, filled with blanks, carved into fixed areas in this order. From the
// statement-text anchor to the end everything is zero at start-up.

inline constexpr int kLineAreaSize = 528;         // 10-byte listing prefix, then the logical line
inline constexpr int kLinePrefix = 10;            // columns of the listing prefix
inline constexpr int kStatementBufferSize = 528;  // the text the tokenizer cuts up in place
inline constexpr int kDateAreaSize = 128;         // the run start in many forms
inline constexpr int kHeadingSize = 160;          // first page-heading line of the listing
inline constexpr int kRuleSize = 160;             // second heading line
inline constexpr int kBannerSize = 160;           // banner and console prompt
inline constexpr int kAnchorSize = 2 * sizeof(void*);  // two pointers into the statement texts
inline constexpr int kSpecialSize = 128;               // the special-variable area
inline constexpr int kFileWorkSize = 112;              // each of the file layer's two work areas
inline constexpr int kWorkBlockFixed = kLineAreaSize + kStatementBufferSize + kDateAreaSize +
                                       kHeadingSize + kRuleSize + kBannerSize + kAnchorSize +
                                       kSpecialSize + 2 * kFileWorkSize;

// The areas of the work block. Every pointer points into the one "cmw" block.
struct WorkBlock {
  uint8_t* block = nullptr;       // the pool block itself
  int64_t size = 0;               // its length: kWorkBlockFixed + the listing-name length
  char* line_area = nullptr;      // kLineAreaSize; its last byte is the stop-reading flag
  char* statement = nullptr;      // kStatementBufferSize
  uint8_t* date = nullptr;        // kDateAreaSize, written by the date routine
  char* heading = nullptr;        // kHeadingSize
  char* rule = nullptr;           // kRuleSize
  char* banner = nullptr;         // kBannerSize
  void** anchor = nullptr;        // [0] first statement-text block, [1] current statement text
  uint8_t* special = nullptr;     // kSpecialSize: the special-variable area
  uint8_t* file_work1 = nullptr;  // kFileWorkSize, for the file layer
  uint8_t* file_work2 = nullptr;  // kFileWorkSize, for the file layer
  char* listing_name = nullptr;   // copy of the "-lst" value (its length, no terminator)
};

// ---- Run state -------------------------------------------------------------------------------

// A positional parameter of the command line (%1 .. %9).
struct Parameter {
  std::string value;   // the token's value: upper-cased word, quoted text, or packed hex bytes
  std::string source;  // as typed on the command line, quotes and "X" included
  uint32_t flags = 0;  // the token's word, quote and hex flags
};

// Debug switches from "-cor".
struct DebugFlags {
  bool m1 = false;  // trace pool requests; "** AA **" markers around the run phase
  bool m2 = false;  // trace pool releases; the same markers
  bool a4 = false;  // accepted; no effect in the pool
  bool ht = false;  // guard every pool block
  bool nr = false;  // keep released pool blocks
  bool tr = false;  // toggle keeping at release numbers tr1 and tr2
  int32_t tr1 = 0;  // first TR number
  int32_t tr2 = 0;  // second TR number
};

// The process-wide values of one run. One instance, built by run() and passed down.
struct RunState {
  // From the first pass of the command line.
  std::string control_file;  // "-ctl" value
  bool control_file_given = false;
  std::string listing_file;  // "-lst" value
  bool listing_file_given = false;
  std::string log_file;  // "-log" value
  bool log_file_given = false;
  int32_t part = 0;          // "-part I/N": the primary input is read as part I ...
  int32_t parts = 0;         // ... of N; 0 = the whole input
  DebugFlags debug;          // "-cor" switches
  bool inline_seen = false;  // an argument beginning with "!" has been met

  // Start-up flags.
  bool inline_statements = false;  // the command line carried statements after a separator
  bool params_present = false;     // positional parameters were given
  bool no_control_input = false;   // the command-line statements ended with "/*"
  bool include_pending = false;    // an INCLUDE file was opened and is to be read next
  bool console = false;            // the standard input is a terminal
  bool version_request = false;    // "-V" was given
  bool no_progress = false;        // "--no-progress": no progress line on a terminal

  // The program and its command line.
  std::string program_path;  // the first argument: the program as invoked
  std::string program_dir;   // folder of the running program, ending with "/"
  char* parm = nullptr;      // pool "parm" (or inside "parg"): the command tail, zero-terminated
  int32_t parm_length = 0;   // its length
  char* parg = nullptr;      // pool "parm" (or inside "parg"): the parameters as typed
  int32_t parg_length = 0;   // its length
  int32_t param_count = 0;   // positional parameters taken (at most 9)
  std::array<Parameter, 10> params;  // [1..9]; [0] unused (%0 is the program path)
  std::string staging;  // generated EQU statements and in-line statements, compiled first

  int32_t max_token_length = 516;  // longest token accepted

  // The objects of the subsystems, owned here for the whole run.
  report::Messages messages;   // pending message and the count printed
  report::Listing listing;     // listing settings and state
  input::TokenList tokens;     // the tokenizer's list, reused for every statement
  input::Variables variables;  // substitution variables
  input::TextStore store;      // every control line read, for the listing and comments
  input::Reader reader;        // control inputs and the statement loop
  files::FileList files;       // file control blocks
  program::Program program;    // the selection program
  program::NameIndex names;    // pointer-variable names
  compiler::Context compile;   // what the compile steps share (line counter included)
  files::FileRequest io;       // the file request of record I/O
  engine::Run run_phase;       // the record loop's state
  WorkBlock work;              // the carved work block
};

// ---- Operations ------------------------------------------------------------------------------

// Runs the program: returns the process exit code.
int run(int argc, char** argv);

// First pass over the arguments: the switches.
void read_switches(RunState& run, int argc, char** argv);
// Allocates and carves the work block and sets the run-wide defaults.
void start_up(RunState& run);
// Second pass: PARM, PARG, positional parameters, in-line statements, "-V".
void read_parameters(RunState& run, int argc, char** argv);
// The command tail: the arguments after the program, joined by one blank each.
std::string command_tail(int argc, char** argv);
// Compilation: opens the control input, compiles the command-line statements and the control
// input, and settles what follows (message 4 and no run after errors). Returns true when the
// program compiled without a message.
bool compile_phase(RunState& run);
// Execution: links and runs the selection program, then closes the files and prints the summary.
void execution_phase(RunState& run);
// The banner line: the title, then the run's start date and time (year/month/day hours:minutes).
std::string banner_line(const RunState& run);

// The title and build of this program.
inline constexpr std::string_view kVersionText = "2.08.666 2005/09/16 14:33";
inline constexpr std::string_view kBuildLevel = "666 2005/09/16 14:33";

}  // namespace recsift::driver

#endif  // RECSIFT_DRIVER_DRIVER_H_
