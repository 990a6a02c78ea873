// What the parts of the record loop share inside the engine: the record state updates, the
// file-test answers, retiring statements and the statement walk.
#ifndef RECSIFT_ENGINE_RUN_INTERNAL_H_
#define RECSIFT_ENGINE_RUN_INTERNAL_H_

#include <cstdint>

#include "engine/engine.h"
#include "files/files.h"
#include "program/program.h"

namespace recsift::engine::detail {

// Bytes of the main work block that present the empty record after end of file.
inline constexpr int32_t kEmptyRecordArea = 528;
// Record length presented at end of file and before the first READ.
inline constexpr int32_t kDefaultRecordLength = 80;

// Makes `record` (length bytes) the current record: record base, lengths and UXLRECL.
void set_record(Run& run, uint8_t* record, int32_t length);
// The length operand positions may reach for the current record: the larger of the record
// length and WORKLEN while the record base is the work area of a run that gave WORKLEN, else the
// record length itself (there is no work area beyond a record elsewhere).
int32_t addressable_for(const Run& run);
// Stores the current record length in UXLRECL.
void publish_record_length(Run& run);
// Presents the empty record of `file` after its end (or after CLOSE): fill bytes in the main
// work block without a work area, else the work area with the file's last record length.
void present_empty_record(Run& run, const files::FFREC& file);

// Retires `statement` (its STOPAFT is reached). Returns false when nothing is left to do: no
// active reading statement or no active output statement remains.
bool retire(Run& run, Statement& statement);

// The answers of file tests (Run::file_query).
bool answer_file_query(void* context, const files::FFREC* file, FileQuestion question);

// What the action step does once the verb of run.current (counted, executed by the caller) has
// returned `result` with no STOPAFT or TIMES in play: the verb result's continuation.
void finish_action(Run& run, int result);

// Chooses the end-of-file test where fast_sum.cc takes over the passes of a summing program
// (Run::sum_test), or none; called once linking is done.
void plan_fast_sum(Run& run);
// The run's record state after a READ of `file` delivered `record` (the work area or the
// file's buffer): record base, lengths, the input count of the primary input (file_verbs.cc).
void finish_read(Run& run, files::FFREC& file, uint8_t* record);
// Runs passes from Run::sum_test while the program keeps that shape. False when it ran none:
// the record loop then evaluates the test itself.
bool run_fast_sum(Run& run);

// Writes (or, with `update`, rewrites in place) one record of `file` as WR and UPD do: a failure
// is the run's write error (kVerbAbend), a record cut to LRECL raises the return code to 5
// (file_verbs.cc).
int put_record(Run& run, files::FFREC& file, bool update, const uint8_t* data, int32_t length);

// CSV (csv_output.cc): writes the line of the statement's columns for the current record, the
// header line first when the file has none yet.
int execute_csv(Run& run, Statement& statement);
// Writes the header lines that no CSV statement has written yet (a run that wrote no line):
// false when a write failed (recorded as the run's error).
bool write_csv_headers(Run& run);

// Executes PRINT, PLOG, LOG, SPACE and LINE.
int execute_print(Run& run, Statement& statement);

// The first place among the `starts` places from `data` where the `n` bytes of `text` begin, or
// null (condition scans; the text fast path).
const uint8_t* find_text(const uint8_t* data, int64_t starts, const uint8_t* text, int32_t n);

// ---- Fast paths (fast_paths.cc) ---------------------------------------------------------------
// A few whole programs of common shapes run many records per pass of the record loop; every
// count, length and output stays as the statements one by one would leave it.
enum FastPath : uint8_t {
  kFastNone = 0,
  kFastCopy,       // READ F / WRITE F of the same LRECL
  kFastTranslate,  // the copy with a TRAN of the whole record through a built-in table
  kFastScan,       // READ text / IF POS ANY = 'literal' / THEN WRITE
  kFastField,      // READ text / IF POS n = 'literal' / THEN WRITE
};
// The fast path that fits the linked program, or kFastNone (also under RECSIFT_GENERAL).
uint8_t choose_fast_path(const Run& run);
// At the end of a pass, with run.current at exec_start: runs as many further passes as the fast
// path can take at once, leaving the run as those passes would have; run.current is where the
// next pass goes on (exec_start, or the THEN action of a record whose test held).
void run_fast_path(Run& run);

// The progress line of a long run (progress.cc): started with the records, shown at each tick
// of the progress clock, its last state left on the terminal when the run ends.
void start_progress(Run& run);
void show_progress(Run& run);
void end_progress(Run& run);

}  // namespace recsift::engine::detail

#endif  // RECSIFT_ENGINE_RUN_INTERNAL_H_
