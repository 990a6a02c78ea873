// The progress line of a long run: when standard error is a terminal and the records have taken
// more than two seconds, one line that rewrites itself every second with how far the primary
// input has been read (bytes of its size, percent), the records read, the rate and the time so
// far; the last state stays on the terminal, ended by a line end, when the run ends. It goes to
// standard error only, never into the listing. The record loop looks at one flag per pass; the
// clock sets it.
//
// Exports (run_internal.h): start_progress, show_progress, end_progress.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "engine/engine.h"
#include "engine/run_internal.h"
#include "files/files.h"
#include "host/host.h"

namespace recsift::engine::detail {
namespace {

constexpr int kFirstTickMs = 2000;
constexpr int kTickMs = 1000;

// 1234567 bytes as "1.2 MB" (powers of 1000, as dd shows them).
std::string bytes_text(double bytes) {
  static constexpr const char* kUnits[] = {"B", "kB", "MB", "GB", "TB", "PB"};
  int unit = 0;
  while (bytes >= 1000 && unit < 5) bytes /= 1000, ++unit;
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
  return text;
}

std::string count_text(int64_t n) {
  std::string digits = std::to_string(n);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(at, ",");
  return digits;
}

}  // namespace

void start_progress(Run& run) {
  if (!run.progress) return;
  run.progress_start_ms = host::monotonic_ms();
  host::start_progress_clock(kFirstTickMs, kTickMs);
}

void show_progress(Run& run) {
  const files::FFREC* primary = run.files != nullptr ? run.files->primary_input : nullptr;
  if (!run.progress || primary == nullptr) return;
  while (primary->concatenated && primary->prev != nullptr) primary = primary->prev;
  // The primary input and the files concatenated to it: the one being read is shown, the
  // records and the rate count them all.
  const files::FFREC* shown = primary;
  int64_t records = 0, read = 0;
  bool chain = false;
  for (const files::FFREC* f = primary; f != nullptr; f = f->next) {
    if (f != primary && !f->concatenated) break;
    chain = chain || f != primary;
    const int64_t consumed = f->is_open      ? f->buffered_address - f->bytes_remaining
                             : f->was_opened ? f->file_size
                                             : 0;
    records += f->record_count;
    read += consumed;
    if (f->is_open || f->was_opened) shown = f;
  }
  const int64_t done = shown->is_open      ? shown->buffered_address - shown->bytes_remaining
                       : shown->was_opened ? shown->file_size
                                           : 0;
  const int64_t elapsed = host::monotonic_ms() - run.progress_start_ms;
  const double seconds = elapsed > 0 ? elapsed / 1000.0 : 0.001;
  std::string line = "\r";
  if (chain) line += files::host_file_name(*shown) + ": ";
  line += bytes_text(static_cast<double>(done));
  if (shown->file_size > 0) {
    char percent[24];
    std::snprintf(percent, sizeof percent, " (%.0f%%)",
                  100.0 * static_cast<double>(done) / static_cast<double>(shown->file_size));
    line += " of " + bytes_text(static_cast<double>(shown->file_size)) + percent;
  }
  line += ", " + count_text(records) + " records, " +
          bytes_text(static_cast<double>(read) / seconds) + "/s, ";
  char clock[32];
  std::snprintf(clock, sizeof clock, "%" PRId64 ":%02" PRId64 " ", elapsed / 60000,
                elapsed / 1000 % 60);
  line += clock;
  line += "\x1b[K";  // clears what a longer line left
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  run.progress_shown = true;
}

void end_progress(Run& run) {
  if (!run.progress) return;
  host::stop_progress_clock();
  if (run.progress_shown) {
    show_progress(run);
    std::fputc('\n', stderr);
    std::fflush(stderr);
  }
  run.progress = false;
}

}  // namespace recsift::engine::detail
