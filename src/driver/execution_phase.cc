// The execution phase of a run: the record loop's state is wired to the run's objects, the
// program is linked and, when linking succeeded, run; the summary follows in every case.
//
// Exports (driver.h): execution_phase.
#include <cctype>
#include <cstdio>
#include <string>

#include "base/fatal.h"
#include "driver/driver.h"
#include "engine/engine.h"
#include "files/record_io.h"
#include "host/host.h"
#include "report/report.h"

namespace recsift::driver {
namespace {

void debug_marker(const RunState& run, const char* text) {
  if (run.debug.m1 || run.debug.m2) std::fputs(text, base::log_stream());
}

// Whether the listing goes to standard error, where a progress line would cut into it.
bool listing_on_stderr(const RunState& run) {
  std::string name = run.listing.name;
  if (name.empty()) {
    const char* from_env = host::env("RSFLST");
    name = from_env != nullptr ? from_env : "";
  }
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name == "STDERR";
}

}  // namespace

void execution_phase(RunState& run) {
  engine::Run& r = run.run_phase;
  r.special = run.work.special;
  r.date_area = run.work.date;
  r.heading = reinterpret_cast<uint8_t*>(run.work.heading);
  r.messages = &run.messages;
  r.program = &run.program;
  r.files = &run.files;
  r.listing = &run.listing;
  r.main_block = run.work.block;
  run.io.files = &run.files;
  run.io.host = &files::default_file_host();
  run.io.reporter = &engine::io_failure_lines();
  r.io = &run.io;
  r.part = run.part;
  r.parts = run.parts;
  r.progress = !run.no_progress && !listing_on_stderr(run) && host::stderr_is_terminal();

  debug_marker(run, "\n** AA **\n");
  if (engine::link_program(r) == 0) {
    debug_marker(run, "\n** SS **\n");
    engine::run_program(r);
  }
  debug_marker(run, "\n** FF **\n");
  engine::finish_run(r);
}

}  // namespace recsift::driver
