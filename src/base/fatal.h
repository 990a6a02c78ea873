// Fatal stops: the log stream that traces and fatal messages go to, the logic errors with one
// named code each, and the one way the process ends before its run is over.
#ifndef RECSIFT_BASE_FATAL_H_
#define RECSIFT_BASE_FATAL_H_

#include <cstdint>
#include <cstdio>

namespace recsift::base {

// ---- Log stream ------------------------------------------------------------------------------
// Standard error unless "-log" named a file. Process-wide: fatal stops anywhere write to it.

std::FILE* log_stream();
void set_log_stream(std::FILE* stream);
// Closes a log file (never a standard stream) and falls back to standard error. Returns 0, or
// the error of the final flush or close.
int close_log_stream();

// ---- Logic errors ----------------------------------------------------------------------------
// Impossible internal states. The number is the process's exit code (the shell sees it modulo
// 256). No control file or data file can reach one: a user's mistake gets a message instead.
enum LogicError : int32_t {
  kLogicTakeWithoutToken = 3202,  // the tokenizer: a token taken with no current token
  kLogicBadBracket = 3203,        // the tokenizer: a bracket token that is not sticky
  kLogicResetSticky = 3204,       // the tokenizer: reset of a sticky token
  kLogicSplitsLeft = 3303,        // substitution: split pieces not accounted for
  kLogicNotDataStatement = 7101,  // the data-statement compiler called for another verb
  kLogicLineTooLong = 7701,       // the statement-text store given a line longer than a line
  kLogicNoInput = 22001,          // the record loop started without input and without ending
  kLogicVerbResult = 22002,       // a verb returned a result the record loop does not know
  kLogicNotFileVerb = 26001,      // the file-verb executor called without a file or another verb
  kLogicNoExecutor = 27009,       // an executor called for a statement it does not run, or one
                                  // whose operands the compiler did not fill
};

// Ends the process on an impossible internal state: writes "** Logic Error=<code>", then
// "  Selid=<selid>" when a statement is current (selid non-zero), then "  Run terminated." to
// the log stream, and stops the process with the code as its status.
[[noreturn]] void logic_error(LogicError code, int32_t selid = 0);

// Ends the process at once with `exit_code`, every stream flushed: the one way out for the fatal
// stops (logic errors, the storage pool, the listing, a program that cannot be linked).
[[noreturn]] void stop_process(int exit_code);

// A program that runs many runs in one process (a test harness) may take over the stop: the
// handler is called by stop_process after the flush, with the exit code, and leaves by an
// exception of its own that its caller of the run catches, so the run's storage (its pool arena)
// and state are released as the stack unwinds. A handler that returns lets the process end as
// usual. Null (the default) restores the plain exit.
using StopHandler = void (*)(int exit_code);
void set_stop_handler(StopHandler handler);

}  // namespace recsift::base

#endif  // RECSIFT_BASE_FATAL_H_
