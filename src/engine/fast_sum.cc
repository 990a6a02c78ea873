// The passes of a summing program run without the record loop's general steps. The shape:
//
//     READ f                      (the first statement of a pass, plain)
//     ...                         (statements already retired: a STOPAFT 1 initialisation)
//     IF EOF                      (the test where the passes are taken over)
//     THEN ...                    (the end-of-file actions: left to the record loop)
//     ELSE ADD or SUB             (the last statement of the pass)
//
// Each pass is what the record loop would do: the end-of-file test answered from the file's
// marker, the arithmetic counted and executed, the pass restarted, the READ counted and executed.
// Anything else (the end of the input, a failed READ, links changed by retiring) goes back to the
// record loop at the statement where it stands, so counts, return codes and outputs are the
// general path's. RECSIFT_GENERAL turns this off.
//
// Exports (run_internal.h): plan_fast_sum, run_fast_sum.
#include <cstring>

#include "engine/data_ops_internal.h"
#include "engine/engine.h"
#include "engine/run_internal.h"
#include "host/host.h"
#include "program/operand.h"
#include "program/program.h"

namespace recsift::engine::detail {
namespace {

// A field the arithmetic reads and stores in every case (never the error of an unknown type).
bool plain_number_field(const Operand* op) {
  return op != nullptr && op->kind == OperandKind::kField &&
         (op->type == kTypePacked || op->type == kTypeBinary);
}

// A packed field of 1 to 16 bytes at a fixed place: resolved here while it lies wholly within the
// addressable length, as resolution would resolve it.
bool fixed_packed_field(const Operand* op) {
  return op != nullptr && op->kind == OperandKind::kField && op->type == kTypePacked &&
         op->pos.kind == TermKind::kAbsolute && op->pos.next == nullptr && op->pos.value >= 1 &&
         op->len_kind == LengthKind::kFixed && op->len.value >= 1 && op->len.value <= 16;
}

bool place_field(const Run& run, Operand* op) {
  const int64_t offset = int64_t{op->pos.value} - 1;
  if (offset + op->len.value > run.addressable_length) return false;
  op->address = run.record_base + offset;
  op->length = op->len.value;
  op->position = op->pos.value;
  op->requested_length = 0;
  op->resolved_flags = 0;
  return true;
}

// A run of records summed straight from the input's buffer: the field added lies in each record,
// the total in the work area beyond it.
struct BufferedSum {
  Operand* source;       // the packed field of each record, placed on the record in the buffer
  const Operand* total;  // the packed total, placed in the work area
  int32_t source_offset;
  bool subtract;
};

bool sum_record(void* context, const uint8_t* record) {
  auto* sum = static_cast<BufferedSum*>(context);
  sum->source->address = const_cast<uint8_t*>(record) + sum->source_offset;
  return add_packed_quietly(*sum->source, *sum->total, sum->subtract);
}

// Whether the passes may sum runs of records where they lie in the buffer: the READ puts each
// whole F record at the start of the work area, the source lies within the record and the total
// beyond it, so only the last record of a run need be copied for the state to be the same.
bool sums_in_buffer(const Run& run, const Statement& read, const Statement& add) {
  const files::FFREC* f = read.file;
  const Operand* x = add.operands[1];
  const Operand* y = add.operands[2];
  return f != nullptr && read.operands[0] == nullptr && run.work_area_given &&
         files::fixed_reads_possible(*f) && f->lrecl <= run.work_length &&
         x->pos.value - 1 + x->len.value <= f->lrecl && y->pos.value - 1 >= f->lrecl &&
         y->pos.value - 1 + y->len.value <= run.work_length;
}

bool plain_action(const Statement* s) {
  return s->times == 0 && s->stopaft == 0 && (s->flags & kSfRetired) == 0;
}

}  // namespace

void plan_fast_sum(Run& run) {
  run.sum_test = nullptr;
  if (host::general_path_only() || run.mode != kRunActive) return;
  for (Statement* c = run.program->head; c != nullptr && c != run.program_end; c = c->next) {
    if (c->type != kStIf || c->compare != kCmpEndOfFile || c->file == nullptr) continue;
    const Statement* a = c->on_false;
    if (a == nullptr || a->type != kStElseAction || a->on_true != run.program_end ||
        (a->op != Op::kAdd && a->op != Op::kSub) || !plain_action(a) ||
        !plain_number_field(a->operands[1]) || !plain_number_field(a->operands[2]) ||
        (a->operands[0] != nullptr && !plain_number_field(a->operands[0])) ||
        a->operands[3] != nullptr) {
      continue;
    }
    run.sum_test = c;
    return;
  }
}

bool run_fast_sum(Run& run) {
  Statement* const c = run.sum_test;
  Statement* const r = run.exec_start;
  Statement* const a = c->on_false;
  if (run.current != c || c->file == nullptr || run.mode != kRunActive || r == nullptr ||
      r->type != kStAction || r->op != Op::kRead || r->access != kAccessSequential ||
      r->on_true != c || !plain_action(r) || !plain_action(a) || a->on_true != run.program_end ||
      run.file_query != answer_file_query || run.file_query_context != &run) {
    return false;
  }
  const files::FFREC& file = *c->file;
  Operand* const x = a->operands[1];
  Operand* const y = a->operands[2];
  const bool fixed = a->operands[0] == nullptr && fixed_packed_field(x) && fixed_packed_field(y);
  bool moved = false;
  const bool runs = fixed && r->file == c->file && sums_in_buffer(run, *r, *a);
  BufferedSum sum{x, y, x->pos.value - 1, a->op == Op::kSub};
  const auto index = static_cast<size_t>(file.index);
  // Linking made a marker record for every file, so the test reads it without growing the table.
  while (run.mode == kRunActive && run.exec_start == r && index < run.file_marks.size() &&
         !run.file_marks[index].at_end && host::interrupt_signal() == 0) {
    if (host::attention_wanted() && host::take_progress_tick()) show_progress(run);
    // The test fails: its ELSE action, then the End statement starts the next pass.
    run.current = a;
    ++a->exec_count;
    const bool placed =
        fixed && run.record_base != nullptr && place_field(run, x) && place_field(run, y);
    if (const int verb = placed ? execute_packed_sum(run, *a) : execute_arithmetic(run, *a);
        verb != kVerbNext) {
      finish_action(run, verb);
      return true;
    }
    run.return_top = nullptr;
    if (runs && placed) {
      // The passes of the records already buffered: each READ, its test failing, its ADD.
      uint8_t* last = nullptr;
      if (const int32_t count = files::run_fixed_reads(*r->file, sum_record, &sum, &last)) {
        r->exec_count += count;
        a->exec_count += count;
        std::memcpy(run.work_area, last, static_cast<size_t>(r->file->lrecl));
        finish_read(run, *r->file, run.work_area);
      }
    }
    run.current = r;
    ++r->exec_count;
    moved = true;
    if (const int verb = execute_file_verb(run, *r); verb != kVerbNext) {
      finish_action(run, verb);
      return true;
    }
    run.current = c;
  }
  return moved;
}

}  // namespace recsift::engine::detail
