// Run-time errors of the run phase: the pending message and the run's first error.
#include <cstdint>

#include "engine/engine.h"
#include "files/files.h"
#include "report/report.h"

namespace recsift::engine {

void record_run_error(Run& run, int32_t number, const files::FFREC* file) {
  if (run.first_error == 0) run.first_error = number;
  if (run.messages == nullptr) return;
  if (run.messages->pending == 0 && file != nullptr) {
    run.messages->file_name = file->name;
    run.messages->file_message = file->last_error;
  }
  report::record_error(*run.messages, number);
}

}  // namespace recsift::engine
