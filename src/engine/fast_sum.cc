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
  const auto index = static_cast<size_t>(file.index);
  // Linking made a marker record for every file, so the test reads it without growing the table.
  while (run.mode == kRunActive && run.exec_start == r && index < run.file_marks.size() &&
         !run.file_marks[index].at_end) {
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
