// Fast paths of the record loop: whole programs of a few common shapes whose passes are run many
// at a time, the records moved or looked at in runs (files.h, runs of records) instead of one
// statement at a time.
//
// Exports (run_internal.h): choose_fast_path, run_fast_path.
//
// Invariants:
//  - A program is recognised only when nothing in it can make a pass do more than the shape
//    says: no other statement, no FROM or INTO, no STOPAFT or TIMES, no work area, no START or
//    SUSP, no PTR, STEP or REVERSE; the files pass files::fixed_runs_possible or
//    text_runs_possible. RECSIFT_GENERAL (host::general_path_only) turns every fast path off.
//  - A run takes only the passes whose every effect it knows: records whole in the buffered
//    data, and for the tests only records for which the test fails without a side effect. The
//    record that holds the test's text, a record too short for the test, a buffer end, the end
//    of the input, and every failure are left to the general passes, which run in between.
//  - After a run the run state is what the last pass taken leaves: statement counts (SELTOT),
//    the current record and its length, the input count.
#include <cstdint>
#include <cstring>

#include "convert/special_area.h"
#include "engine/data_ops_internal.h"
#include "engine/engine.h"
#include "engine/run_internal.h"
#include "files/files.h"
#include "host/host.h"
#include "program/operand.h"
#include "program/program.h"

namespace recsift::engine::detail {
namespace {

// An action or test that does nothing beyond its own work in a pass.
bool plain_statement(const Statement* st, uint32_t flags_allowed) {
  return (st->flags & ~flags_allowed) == 0 && st->stopaft == 0 && st->times == 0 &&
         st->reply == nullptr && st->call_args == nullptr && st->label == nullptr;
}

bool no_operands(const Statement* st, int from) {
  for (int i = from; i < kOperandSlots; ++i) {
    if (st->operands[static_cast<size_t>(i)] != nullptr) return false;
  }
  return true;
}

bool plain_action(const Statement* st, uint8_t type, Op op) {
  return st != nullptr && st->type == type && st->op == op && plain_statement(st, 0) &&
         st->file != nullptr;
}

bool plain_read(const Run& run, const Statement* st) {
  return plain_action(st, kStAction, Op::kRead) && st->access == kAccessSequential &&
         no_operands(st, 0) && st->file == run.files->primary_input;
}

bool plain_write(const Statement* st, uint8_t type) {
  return plain_action(st, type, Op::kWrite) && no_operands(st, 0);
}

bool single_absolute(const Term& t, int32_t value) {
  return t.kind == TermKind::kAbsolute && t.flags == 0 && t.next == nullptr && t.value == value;
}

// A character field from position 1 over `length` bytes (POS 1,n or POS 1 LEN n).
bool whole_record_field(const Operand* op, int32_t length) {
  if (op == nullptr || op->kind != OperandKind::kField || !single_absolute(op->pos, 1) ||
      op->type == kTypeBinary || op->type == kTypePacked || (op->pos_flags & kPosBelowOne) != 0) {
    return false;
  }
  if (op->len_kind == LengthKind::kFixed) return single_absolute(op->len, length);
  if (op->len_kind == LengthKind::kToEnd) return single_absolute(op->end, length);
  return false;
}

// TRAN of the whole record in place through a built-in table; the table, or null.
const uint8_t* whole_record_table(const Statement* st, int32_t length) {
  if (st == nullptr || st->type != kStAction || st->op != Op::kTran || !plain_statement(st, 0)) {
    return nullptr;
  }
  const Operand* table = st->operands[2];
  if (st->operands[0] != nullptr || st->operands[3] != nullptr || table == nullptr ||
      table->kind != OperandKind::kTable || !whole_record_field(st->operands[1], length)) {
    return nullptr;
  }
  return builtin_table(table->immediate);
}

// A character literal test value without line-end bytes.
bool line_literal(const Operand* op) {
  if (op == nullptr || op->kind != OperandKind::kLiteral || op->lit == nullptr ||
      op->lit_length < 1) {
    return false;
  }
  return std::memchr(op->lit, '\n', static_cast<size_t>(op->lit_length)) == nullptr &&
         std::memchr(op->lit, '\r', static_cast<size_t>(op->lit_length)) == nullptr;
}

// IF POS ANY = 'literal': a forward search of the whole record, no PTR.
bool scan_test(const Statement* st) {
  if (!plain_statement(st, kSfScan | kSfDefaultInput) || (st->flags & kSfScan) == 0 ||
      st->compare != kCmpEqual || st->ptr_var >= 0 || st->step != 1 || !no_operands(st, 2)) {
    return false;
  }
  const Operand* area = st->operands[0];
  return area != nullptr && area->kind == OperandKind::kField && single_absolute(area->pos, 1) &&
         area->len_kind == LengthKind::kExpression && area->len.kind == TermKind::kRecordLength &&
         area->len.flags == 0 && area->len.next == nullptr && line_literal(st->operands[1]);
}

// IF POS n = 'literal' of the literal's length: the test the condition decides directly.
bool field_test(const Run& run, const Statement* st) {
  if (!plain_statement(st, kSfDefaultInput) || st->compare != kCmpEqual || st->ptr_var >= 0 ||
      !no_operands(st, 2) || run.compare_pointer_seen || !line_literal(st->operands[1])) {
    return false;
  }
  const Operand* field = st->operands[0];
  const int32_t n = st->operands[1]->lit_length;
  return field != nullptr && field->kind == OperandKind::kField &&
         field->pos.kind == TermKind::kAbsolute && field->pos.flags == 0 &&
         field->pos.next == nullptr && field->pos.value >= 1 && field->type != kTypeBinary &&
         field->type != kTypePacked && field->type != kTypeNumericText &&
         (field->len_kind == LengthKind::kSameAsSecond ||
          (field->len_kind == LengthKind::kFixed && single_absolute(field->len, n)));
}

// The READ / IF / THEN WRITE sentence: the test, when the program is exactly that.
const Statement* tested_copy(const Run& run) {
  const Statement* read = run.exec_start;
  if (!plain_read(run, read)) return nullptr;
  const Statement* test = read->on_true;
  if (test == nullptr || test->type != kStIf || read->next != test) return nullptr;
  const Statement* write = test->on_true;
  if (!plain_write(write, kStThenAction) || test->next != write ||
      test->on_false != run.program_end || write->on_true != run.program_end ||
      write->next != run.program_end) {
    return nullptr;
  }
  return test;
}

// ---- Runs ---------------------------------------------------------------------------------------

// The current record after a run: what the READ of the last pass taken left.
void take_record(Run& run, files::FFREC& file, uint8_t* record) {
  run.current_input = &file;
  run.record_length = file.current_length;
  run.record_base = record;
  run.addressable_length = addressable_for(run);
  publish_record_length(run);
  if (&file == run.files->primary_input) {
    convert::SpecialArea(run.special)
        .set(convert::kSpInputCount, static_cast<int32_t>(file.record_count));  // 4 bytes: wraps
  }
}

// What the filters of the text tests know.
struct LineTest {
  const uint8_t* text = nullptr;  // the literal
  int32_t length = 0;             // its length
  int32_t offset = 0;             // field test: the field's offset in the line
  const uint8_t* hit = nullptr;   // scan: the first place of the text from the first line on
                                  // (the end of the data when none), null until searched
  bool holds = false;             // the last line taken is one for which the test holds
};

// Scan: takes a line whose search fails, and one whose search succeeds (after which the run
// ends). A line too short to search (a failed test is counted) ends the run before it.
bool scan_line(void* context, const uint8_t* line, int32_t length, const uint8_t* end) {
  auto* t = static_cast<LineTest*>(context);
  if (t->holds || length < t->length) return false;
  if (t->hit == nullptr) {
    const int64_t starts = (end - line) - (t->length - 1);
    const uint8_t* found = starts > 0 ? find_text(line, starts, t->text, t->length) : nullptr;
    t->hit = found != nullptr ? found : end;
  }
  t->holds = t->hit < line + length;
  return true;
}

// Field test: likewise, for a line whose field is wholly there.
bool field_line(void* context, const uint8_t* line, int32_t length, const uint8_t* /*end*/) {
  auto* t = static_cast<LineTest*>(context);
  if (t->holds || int64_t{t->offset} + t->length > length) return false;
  const uint8_t* field = line + t->offset;
  t->holds = field[0] == t->text[0] &&
             std::memcmp(field + 1, t->text + 1, static_cast<size_t>(t->length - 1)) == 0;
  return true;
}

void run_copy(Run& run, bool translate) {
  Statement* read = run.exec_start;
  if (!plain_read(run, read)) return;
  Statement* tran = translate ? read->on_true : nullptr;
  Statement* write = translate ? (tran != nullptr ? tran->on_true : nullptr) : read->on_true;
  files::FFREC& in = *read->file;
  const uint8_t* table = translate ? whole_record_table(tran, in.lrecl) : nullptr;
  if (!plain_write(write, kStAction) || write->on_true != run.program_end ||
      (translate && table == nullptr)) {
    return;
  }
  uint8_t* last = nullptr;
  const int32_t count = files::run_fixed_records(in, *write->file, table, &last);
  if (count == 0) return;
  read->exec_count += count;
  if (tran != nullptr) tran->exec_count += count;
  write->exec_count += count;
  take_record(run, in, last);
}

// A line for which the test fails without a side effect is only read. A line for which it holds
// is read and the pass goes on at the THEN action (the test leaves nothing behind: no PTR, no
// comparison pointer). Any other line (too short to test) ends the run before it.
void run_tested_copy(Run& run) {
  const Statement* test = tested_copy(run);
  if (test == nullptr) return;
  Statement* read = run.exec_start;
  LineTest t;
  t.text = test->operands[1]->lit;
  t.length = test->operands[1]->lit_length;
  t.offset = test->operands[0]->pos.value - 1;
  const files::LineFilter filter = run.fast_path == kFastScan ? scan_line : field_line;
  uint8_t* last = nullptr;
  const int32_t count = files::run_text_lines(*read->file, filter, &t, &last);
  if (count == 0) return;
  read->exec_count += count;
  take_record(run, *read->file, last);
  if (t.holds) run.current = test->on_true;
}

}  // namespace

uint8_t choose_fast_path(const Run& run) {
  if (host::general_path_only() || run.mode != kRunActive || run.resume_read != nullptr ||
      run.work_area_given || run.program == nullptr || run.program->start_requested ||
      run.program->suspend_requested || run.files == nullptr || run.program_end == nullptr ||
      run.exec_start != run.program->head) {
    return kFastNone;
  }
  const Statement* read = run.exec_start;
  if (!plain_read(run, read)) return kFastNone;
  const Statement* second = read->on_true;
  if (second == nullptr || read->next != second) return kFastNone;
  if (plain_write(second, kStAction) && second->next == run.program_end &&
      second->on_true == run.program_end) {
    return files::fixed_runs_possible(*read->file, *second->file) ? kFastCopy : kFastNone;
  }
  if (second->type == kStAction && second->op == Op::kTran) {
    const Statement* write = second->on_true;
    if (!plain_write(write, kStAction) || second->next != write || write->next != run.program_end ||
        write->on_true != run.program_end ||
        !files::fixed_runs_possible(*read->file, *write->file) ||
        whole_record_table(second, read->file->lrecl) == nullptr) {
      return kFastNone;
    }
    return kFastTranslate;
  }
  const Statement* test = tested_copy(run);
  if (test == nullptr || !files::text_runs_possible(*read->file)) return kFastNone;
  if (scan_test(test)) return kFastScan;
  if (field_test(run, test)) return kFastField;
  return kFastNone;
}

void run_fast_path(Run& run) {
  if (run.mode != kRunActive) return;
  switch (run.fast_path) {
    case kFastCopy:
      run_copy(run, false);
      break;
    case kFastTranslate:
      run_copy(run, true);
      break;
    case kFastScan:
    case kFastField:
      run_tested_copy(run);
      break;
    default:
      break;
  }
}

}  // namespace recsift::engine::detail
