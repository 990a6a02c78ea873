// The end of a run: the pending message is printed, every file still open is closed (inputs
// first, then outputs), so that no record written is lost and the counts are final, also after
// an abnormal end; then the summary is printed from what the program and its files show.
//
// Exports (engine.h): finish_run.
#include <string>

#include "engine/engine.h"
#include "engine/run_internal.h"
#include "files/files.h"
#include "program/program.h"
#include "report/report.h"

namespace recsift::engine {
namespace {

constexpr int32_t kReturnCodeAbend = 44;

bool is_input(const files::FFREC& f) {
  return (f.open_type & files::kOpenInput) != 0;
}

// Closes the open files of one kind. A failed close of an output file lost records: the run
// is ended abnormally with the write error, as a failed WRITE would have.
void close_files(Run& run, bool inputs) {
  for (files::FFREC* f = run.files->head; f != nullptr; f = f->next) {
    if (!f->is_open || is_input(*f) != inputs) continue;
    if (files::close_file(*run.io, *f).status == files::IoStatus::kError && !inputs) {
      run.current = nullptr;
      record_run_error(run, kRunErrWriteFailed, f);
      raise_return_code(run, kReturnCodeAbend);
      run.abended = true;
    }
  }
}

report::SummaryFile summary_file(const Run& run, const files::FFREC& f) {
  const FileMarks marks = run.marks(f);
  report::SummaryFile out;
  out.short_name = f.predefined != files::kPredefNone ? std::string(f.ident, 8) : f.name;
  while (!out.short_name.empty() && out.short_name.back() == ' ') out.short_name.pop_back();
  out.path = f.predefined != files::kPredefNone ? out.short_name : files::host_file_name(f);
  out.blksize = f.blksize;
  out.lrecl = f.lrecl;
  out.recfm = files::record_format(f.recfm).text;
  out.blocked = f.blocked;
  out.record_count = f.record_count;
  out.truncated = f.truncated_count;
  out.open_failed = f.open_failed;
  out.not_found_or_empty = f.empty && !f.open_failed;
  out.opened = f.was_opened;
  out.eof_reached = marks.at_end;
  // An output of a run that ends abnormally holds only what was written before the end: its
  // reader must not take it for the whole result (it may have replaced a complete file).
  out.incomplete =
      (f.open_type & files::kOpenOutput) != 0 && f.was_opened && (f.write_error || run.abended);
  out.concatenated = f.concatenated;
  out.dl1 = f.file_type == files::kFileDl1;
  out.console_total = f.wto;
  return out;
}

bool uses_file(const Statement& s) {
  return is_action(s.type) && s.file != nullptr && op_has(s.op, kTraitUsesFile);
}

report::SummaryStatement summary_statement(const Run& run, const Statement& s) {
  report::SummaryStatement out;
  out.selid = s.selid;
  out.type = s.type;
  out.op = s.op;
  out.exec_count = s.exec_count;
  out.error_count = s.error_count;
  out.reads = op_has(s.op, kTraitReads);
  out.dummy_read = s.op == Op::kDummr;
  if (uses_file(s)) {
    // A READ whose input was continued ends on the last file: show the chain from its start.
    const files::FFREC* f = s.file;
    if (out.reads) {
      while (f->concatenated && f->prev != nullptr) f = f->prev;
    }
    out.files.push_back(summary_file(run, *f));
    if (out.reads) {
      for (const files::FFREC* g = f->next; g != nullptr && g->concatenated; g = g->next) {
        out.files.push_back(summary_file(run, *g));
      }
    }
  }
  for (const LabelEntry* l = run.program->labels; l != nullptr; l = l->next) {
    if (l->target != &s) continue;
    report::SummaryLabel label;
    label.name = l->name != nullptr ? l->name : "";
    if (l->comment != nullptr) label.annotation.assign(l->comment, l->comment_length);
    out.labels.push_back(label);
  }
  if (s.comment != nullptr) out.annotation.assign(s.comment, s.comment_length);
  return out;
}

// The primary input, or a file concatenated to it, that did not reach its end.
bool primary_unfinished(const Run& run) {
  for (const files::FFREC* f = run.files->head; f != nullptr; f = f->next) {
    if (!run.marks(*f).primary) continue;
    for (const files::FFREC* g = f; g != nullptr; g = g->next) {
      if (!run.marks(*g).at_end) return true;
      if (g->next == nullptr || !g->next->concatenated) break;
    }
    return false;
  }
  return false;
}

}  // namespace

int32_t finish_run(Run& run) {
  report::Listing& listing = *run.listing;
  listing.destination = report::DEST_LISTING;
  detail::end_progress(run);
  // The pending message comes first: its dump shows an input buffer that closing releases.
  if (run.messages != nullptr) report::print_message(listing, *run.messages);
  if (run.files != nullptr && run.io != nullptr) {
    // A CSV file of a run without a line still gets its header: the reader sees an empty table.
    if (run.files->run_started && !run.abended && !detail::write_csv_headers(run)) {
      raise_return_code(run, kReturnCodeAbend);
      run.abended = true;
    }
    close_files(run, true);
    close_files(run, false);
  }
  // A failed close of an output file leaves a message of its own.
  if (run.messages != nullptr) report::print_message(listing, *run.messages);

  report::SummaryInput input;
  if (run.program != nullptr) {
    for (const Statement* s = run.program->head; s != nullptr && s != run.program_end;
         s = s->next) {
      if (s->type == kStEnd) continue;
      input.statements.push_back(summary_statement(run, *s));
    }
  }
  input.special = run.special;
  input.rc_selid = run.rc_selid;
  input.stopped = run.stopped;
  input.abended = run.abended;
  input.primary_unfinished = run.files != nullptr && primary_unfinished(run);
  input.lrecl_changes_ignored = run.lrecl_changes_ignored;
  input.mask_truncations = run.mask_truncations;
  report::print_summary(listing, input);
  if (run.files != nullptr) files::release_call_library(*run.files);
  return run.first_error;
}

}  // namespace recsift::engine
