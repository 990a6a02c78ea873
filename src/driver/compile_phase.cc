// The compilation phase: the control input is opened, the command-line statements and then the
// control input are read, compiled and listed, and what follows compilation is settled: message
// 36 for SUSP without START, message 4 and no run after any message, the listing's spacing and
// the short banner otherwise.
#include <cstring>

#include "compiler/compiler.h"
#include "convert/special_area.h"
#include "driver/driver.h"
#include "files/files.h"
#include "input/input.h"
#include "report/report.h"

namespace recsift::driver {

namespace {

constexpr int kMessageSuspendWithoutStart = 36;
constexpr int kMessageNotRun = 4;
constexpr int kStopFlag = kLineAreaSize - 1;  // last byte of the line area

// Hands the run's objects to the compile steps and the reader.
void wire(RunState& run) {
  WorkBlock& w = run.work;
  compiler::Context& ctx = run.compile;
  ctx.tokens = &run.tokens;
  ctx.variables = &run.variables;
  ctx.messages = &run.messages;
  ctx.listing = &run.listing;
  ctx.program = &run.program;
  ctx.names = &run.names;
  ctx.files = &run.files;
  ctx.special = w.special;
  ctx.date_area = w.date;
  ctx.heading = w.heading;
  ctx.rule = w.rule;
  ctx.line_area = w.line_area;
  ctx.statement = w.statement;
  ctx.lines_left = &run.listing.lines_left;
  ctx.line_counter = 0;
  ctx.param_count = run.param_count;
  ctx.program_path = run.program_path;

  input::Reader& r = run.reader;
  r.line_area = w.line_area;
  r.statement = w.statement;
  r.tokens = &run.tokens;
  r.separator = w.special + convert::kSpSeparator;
  r.program_dir = run.program_dir;
  r.store = &run.store;
  r.line_counter = &ctx.line_counter;
  r.last_statement_type = &run.program.last_type;
  r.include_pending = &run.include_pending;
  r.no_echo = &run.listing.no_echo;
  r.comments_kept = &run.program.comments_kept;
  r.summary_level = &run.listing.summary_level;
  r.messages = &run.messages;
  ctx.open_include = [&r](std::string_view name) {
    return input::include_control_file(r, name.data(), static_cast<int32_t>(name.size()));
  };
  run.files.program_dir = run.program_dir.c_str();
}

// A statement comment goes to the record just compiled; a label statement's to its label entry,
// unless that already has one.
void attach_comment(program::Program& program, const char* text, int32_t length) {
  program::Statement* rec = program.current;
  if (rec == nullptr) return;
  if (rec->type != program::kStEnd) {
    rec->comment = text;
    rec->comment_length = length;
  } else if (rec->label != nullptr && rec->label->comment == nullptr) {
    rec->label->comment = text;
    rec->label->comment_length = length;
  }
}

// The card input reads the data that follows the statements in the control input.
void hand_over_card_input(RunState& run) {
  const input::ControlEntry* entry = run.reader.current;
  for (files::FFREC* f = run.files.head; f != nullptr; f = f->next) {
    // SYSIN input reads the control-statement input stream too (not ended by "/*").
    const bool sysin_input =
        f->predefined == files::kPredefSysin && (f->open_type & files::kOpenInput) != 0;
    if (f->predefined != files::kPredefCard && !sysin_input) continue;
    f->stream = entry != nullptr ? entry->stream : nullptr;
    f->line_at_a_time = f->stream == stdin && run.console;
  }
}

}  // namespace

bool compile_phase(RunState& run) {
  wire(run);
  report::Listing& listing = run.listing;
  report::Messages& messages = run.messages;
  WorkBlock& w = run.work;

  // 1. The control input (not when the command line ended with "/*"); a failed open, and any
  // message the command line raised, is printed now.
  if (!run.no_control_input) {
    const std::string name = run.control_file_given ? run.control_file : "stdin";
    const int rc =
        input::open_control_input(run.reader, name.c_str(), static_cast<int32_t>(name.size()));
    if (rc != 0) report::record_error(messages, rc);
  }
  report::print_message(listing, messages);

  // 2-3. The statements.
  run.program.selid_counter = 1;
  w.line_area[kStopFlag] = 0;
  input::StatementHooks hooks;
  hooks.compile = [&run] { return compiler::compile_statement(run.compile); };
  hooks.list = [&listing](const char* line_area, int32_t selid) {
    report::listing_print(listing, line_area, report::PT_ECHO, selid);
  };
  hooks.space = [&listing](int32_t lines) {
    report::listing_print(listing, nullptr, report::PT_SPACE, lines);
  };
  hooks.print_message = [&listing, &messages] { return report::print_message(listing, messages); };
  hooks.attach_comment = [&run](const char* text, int32_t length) {
    attach_comment(run.program, text, length);
  };
  if (messages.printed <= 9) input::read_statements(run.reader, hooks, run.staging);

  // After compilation.
  run.tokens.current = nullptr;
  run.tokens.last_keyword = nullptr;
  if (run.program.suspend_requested && !run.program.start_requested) {
    report::record_error(messages, kMessageSuspendWithoutStart);
    report::print_message(listing, messages);
  }
  if (messages.printed != 0) {
    report::listing_print(listing, nullptr, report::PT_SPACE, 1);
    report::record_error(messages, kMessageNotRun);
    report::print_message(listing, messages);
    return false;
  }
  if (listing.report_mode) {
    listing.lines_left = 0;
    listing.page_number = 0;
  } else if (!listing.no_echo && listing.lines_left > 3) {
    report::listing_print(listing, nullptr, report::PT_SPACE, 2);
  }
  report::log_banner_once(listing);
  std::memset(w.block, 0, kLineAreaSize);
  hand_over_card_input(run);
  convert::SpecialArea special(w.special);
  special.set(convert::kSpPageDepth, listing.page_depth);
  special.set(convert::kSpPageWidth, listing.page_width);
  special.set(convert::kSpDataWidth, listing.data_width);
  return true;
}

}  // namespace recsift::driver
