// Run-time errors: the pending message of the run and its first error number, with the file the
// failing statement used and the most recent input block for the message's dump.
//
// Exports (engine.h): record_run_error, io_failure_lines.
#include <cstdio>
#include <string>

#include "base/fatal.h"

#include "engine/engine.h"
#include "files/files.h"
#include "report/report.h"

namespace recsift::engine {
namespace {

// The block a run-time message dumps: the file's buffered data while it has a buffer.
void attach_input_block(report::Messages& messages, const files::FFREC* file) {
  messages.input_block = nullptr;
  messages.input_block_length = 0;
  if (file == nullptr || file->buffer == nullptr || !file->is_open) return;
  int32_t length = file->block_length;
  if (length <= 0) length = file->buffer_offset + file->bytes_remaining;
  if (length > file->blksize) length = file->blksize;  // a block, not the whole buffer
  if (length <= 0) return;
  messages.input_block = file->buffer;
  messages.input_block_length = length;
}

bool is_input(const files::FFREC* file) {
  return file != nullptr && (file->open_type & files::kOpenInput) != 0;
}

class FailureLines final : public files::IoReporter {
 public:
  void failed(const files::FFREC& file, const char* text) override {
    std::fputs(files::failure_line(file, text).c_str(), stdout);
  }
  void listing_line(const std::string& line, bool trace) override {
    std::fputs(line.c_str(), trace ? base::log_stream() : stdout);
  }
};

}  // namespace

void record_run_error(Run& run, int32_t number, const files::FFREC* file) {
  if (run.first_error == 0) run.first_error = number;
  if (run.messages == nullptr || run.messages->pending != 0) return;
  run.messages->file_name = file != nullptr ? file->name : nullptr;
  run.messages->file_message = file != nullptr ? file->last_error : nullptr;
  const files::FFREC* block_file = is_input(file) ? file : run.current_input;
  if (!is_input(block_file) && run.files != nullptr) block_file = run.files->primary_input;
  attach_input_block(*run.messages, block_file);
  report::record_error(*run.messages, number);
}

files::IoReporter& io_failure_lines() {
  static FailureLines lines;
  return lines;
}

}  // namespace recsift::engine
