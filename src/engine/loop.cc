// The record loop: runs the linked program from its first statement to the End statement, pass
// after pass, until the run ends. Owns the condition and action steps, the flow verbs (GOTO, GG,
// GOSUB, RETURN, START, SUSP, STOP, CANCEL, FLAG, DUMMY), STOPAFT retirement, TIMES and the end
// of an input file (concatenation, the empty record of end-of-file actions).
//
// Exports (engine.h): run_program; (run_internal.h) set_record, publish_record_length,
// present_empty_record, retire, answer_file_query.
#include <cstring>

#include "base/fatal.h"
#include "convert/convert.h"
#include "convert/special_area.h"
#include "engine/engine.h"
#include "engine/run_internal.h"
#include "files/files.h"
#include "host/host.h"
#include "program/program.h"

namespace recsift::engine {

// A reference stays valid until a file of a higher index is first marked.
FileMarks& Run::marks(const files::FFREC& file) {
  const auto index = static_cast<size_t>(file.index);
  if (index >= file_marks.size()) file_marks.resize(index + 1);
  return file_marks[index];
}

FileMarks Run::marks(const files::FFREC& file) const {
  const auto index = static_cast<size_t>(file.index);
  return index < file_marks.size() ? file_marks[index] : FileMarks();
}

namespace detail {

void publish_record_length(Run& run) {
  if (run.special != nullptr) {
    convert::SpecialArea(run.special).set(convert::kSpRecordLength, run.record_length);
  }
}

int32_t addressable_for(const Run& run) {
  if (run.work_area_given && run.record_base == run.work_area) {
    return run.record_length > run.work_length ? run.record_length : run.work_length;
  }
  return run.record_length;
}

void set_record(Run& run, uint8_t* record, int32_t length) {
  run.record_base = record;
  run.record_length = length;
  run.addressable_length = length;
  publish_record_length(run);
}

void present_empty_record(Run& run, const files::FFREC& file) {
  if (!run.work_area_given && run.main_block != nullptr) {
    std::memset(run.main_block, file.fill_char, kEmptyRecordArea);
    run.record_base = run.main_block;
    run.addressable_length = kEmptyRecordArea;
    run.record_length = kDefaultRecordLength;
  } else {
    run.record_base = run.work_area;
    run.addressable_length = run.work_length;
    run.record_length = file.previous_length > 0 ? file.previous_length : 0;
  }
  if (run.record_length > run.addressable_length) run.record_length = run.addressable_length;
  publish_record_length(run);
}

bool answer_file_query(void* context, const files::FFREC* file, FileQuestion question) {
  if (file == nullptr) return false;
  switch (question) {
    case FileQuestion::kEndOfFile:
      return static_cast<Run*>(context)->marks(*file).at_end;
    case FileQuestion::kDirectoryEntry:
      // The current record is an entry of a DIR listing (DIRDATA delivers the members' data).
      return file->file_type == files::kFileDirectory && !file->dirdata && file->is_open &&
             file->record_count > 0;
  }
  return false;
}

namespace {

bool starts_sentence(const Statement* s) {
  return s->type == kStIf || s->type == kStAction || s->type == kStEnd;
}

// Step 1 of retiring START: its sentence no longer waits for anything.
void retire_start_while_suspended(Run& run, Statement& start) {
  Statement* first = &start;
  while (first->prev != nullptr && first->type != kStIf && first->type != kStAction) {
    first = first->prev;
  }
  Statement* next = first->on_false_suspended;
  for (Statement* x = run.program->head; x != nullptr; x = x->next) {
    if (x->on_false_suspended == first) x->on_false_suspended = next;
  }
  if (run.resume_read != nullptr && run.resume_read->on_true == first) {
    run.resume_read->on_true = run.resume_read->on_false = next;
  }
}

}  // namespace

bool retire(Run& run, Statement& st) {
  if ((st.flags & kSfRetired) != 0) return true;
  st.flags |= kSfRetired;
  if (st.op == Op::kStart && is_action(st.type)) {
    if (run.mode == kRunActive) {
      st.flags &= ~kSfRetired;
      --st.exec_count;
      return true;
    }
    retire_start_while_suspended(run, st);
  }
  Statement* n = st.on_true;
  Statement* p = st.prev;
  Statement* bypassed = &st;
  if (n != nullptr && starts_sentence(n) && p != nullptr && is_condition(p->type) &&
      p->on_false == n) {
    // The statement was the whole THEN branch: its sentence is cut out.
    Statement* first = p;
    while (first->prev != nullptr && first->type != kStIf && first->type != kStAction) {
      first = first->prev;
    }
    bypassed = first;
    if (first->prev != nullptr && is_action(first->prev->type)) {
      first->prev->on_true = n;
    } else if (first == run.exec_start) {
      run.exec_start = n;
    }
    n->prev = first->prev;
  }
  for (Statement* x = run.program->head; x != nullptr; x = x->next) {
    if (x->on_true == bypassed) x->on_true = n;
    if (x->on_false == bypassed) x->on_false = n;
    if (x != bypassed && x->prev == bypassed) x->prev = bypassed->prev;
    if (is_action(x->type) && (x->op == Op::kGoto || x->op == Op::kDo) &&
        (x->jump == bypassed || x->jump == &st)) {
      x->jump = n;
      if (n == x) x->stopaft = x->exec_count;
    }
    if (x == run.program_end) break;
  }
  if (bypassed == run.exec_start) run.exec_start = n;

  int reading = 0;
  int output = 0;
  for (Statement* x = run.program->head; x != nullptr && x != run.program_end; x = x->next) {
    if (!is_action(x->type) || x->selid == 0 || (x->flags & kSfRetired) != 0) continue;
    if (x->op == Op::kRead) ++reading;
    if (op_has(x->op, kTraitOutput)) ++output;
  }
  return reading != 0 && output != 0;
}

}  // namespace detail

namespace {

using detail::present_empty_record;
using detail::retire;

// Ends the run outright: the pass in progress is abandoned.
void end_run(Run& run) {
  if (run.current != nullptr) run.current->flags &= ~kSfRepeating;
  run.mode = kRunEnding;
  run.current = run.program_end;
}

void push_return(Run& run, Statement* caller) {
  ReturnNode* node = run.return_top != nullptr ? run.return_top->deeper : run.return_bottom;
  if (node == nullptr) {
    const bool first = run.return_bottom == nullptr;
    node = new (base::qelgcore(sizeof(ReturnNode), 0, first ? "rt1" : "rt")) ReturnNode();
    node->shallower = run.return_top;
    if (first) {
      run.return_bottom = node;
    } else {
      run.return_top->deeper = node;
    }
  }
  node->statement = caller;
  run.return_top = node;
}

constexpr int32_t kReturnCodeInterrupted = 128;  // plus the signal's number
constexpr int32_t kReturnCodeAbend = 44;
constexpr uint8_t kFlagEndOfMemberOnly = 24;

// The verbs the record loop runs itself (Executor::kFlow).
int flow_verb(Run& run, Statement& st) {
  switch (st.op) {
    case Op::kDo:
      push_return(run, &st);
      return kVerbJump;
    case Op::kRet:
      if (run.return_top == nullptr) {
        record_run_error(run, kRunErrReturnWithoutGosub);
        return kVerbAbend;
      }
      run.current = run.return_top->statement;
      run.return_top = run.return_top->shallower;
      return kVerbNext;
    case Op::kGoto:
    case Op::kGg:
      return kVerbJump;
    case Op::kFlag:
      if (st.file != nullptr) {
        FileMarks& marks = run.marks(*st.file);
        marks.flag_eom = true;
        if (st.modifier != kFlagEndOfMemberOnly) marks.flag_eod = true;
      }
      return kVerbNext;
    // A run that is ending (its input is done, or nothing is left to run) stays ending: a
    // START or SUSP in its last pass must not start it again with nothing left to read.
    case Op::kStart:
      if (run.mode == kRunActive) --st.exec_count;
      if (run.mode != kRunEnding) run.mode = kRunActive;
      return kVerbNext;
    case Op::kSusp:
      if (run.mode != kRunEnding) run.mode = kRunSuspended;
      return run.resume_read != nullptr ? kVerbResume : kVerbStop;
    case Op::kEoj:
      return kVerbStop;
    case Op::kCancel:
      record_run_error(run, kRunErrCancel);
      return kVerbAbend;
    case Op::kDummy:
      return kVerbNext;
    case Op::kDummr:
      return kVerbEndOfFile;
    default:
      base::logic_error(base::kLogicNoExecutor, st.selid);  // not a flow verb: the table says so
  }
}

// Runs an action statement by the executor the operation table names.
int execute(Run& run, Statement& st) {
  switch (op_executor(st.op)) {
    case Executor::kFile:
      return execute_file_verb(run, st);
    case Executor::kData:
      return execute_data_operation(run, st);
    case Executor::kFlow:
      return flow_verb(run, st);
    case Executor::kPrint:
      return detail::execute_print(run, st);
    case Executor::kCommand:
      return execute_command(run, st);
    case Executor::kNone:
      break;
  }
  base::logic_error(base::kLogicNoExecutor, st.selid);
}

// The file after `f` in the chain that continues it, or null.
files::FFREC* continuation_of(const files::FFREC* f) {
  const files::FFREC* g = f->next;
  if (g != nullptr && (g->open_type & files::kOpenInput) == 0 && !g->concatenated) g = g->next;
  return g != nullptr && g->concatenated ? const_cast<files::FFREC*>(g) : nullptr;
}

// End of file met by the current statement. Returns true when the statement is to be executed
// again (the input goes on in a concatenated file); otherwise run.current is where to go on.
bool end_of_file(Run& run) {
  Statement* st = run.current;
  st->flags &= ~kSfRepeating;
  --st->exec_count;
  files::FFREC* f = st->op == Op::kDummr ? st->file : run.current_input;
  if (f == nullptr) f = st->file;
  if (f == nullptr) {
    end_run(run);
    return false;
  }
  run.marks(*f).at_end = true;

  if (files::FFREC* g = continuation_of(f); g != nullptr) {
    for (Statement* x = run.program->head; x != nullptr && x != run.program_end; x = x->next) {
      if (x->file != f) continue;
      if (is_action(x->type)) {
        x->file = g;
      } else if ((x->flags & kSfDefaultInput) != 0) {
        x->file = g;
        if (x->compare == kCmpEndOfFile) run.marks(*g).eof_tested = true;
      }
    }
    files::open_file(*run.io, *g);
    if (run.marks(*f).primary) {
      run.marks(*g).primary = true;
      run.files->primary_input = g;
      convert::SpecialArea(run.special).set(convert::kSpInputCount, 0);
    }
    run.current_input = g;
    return true;
  }
  const FileMarks marks = run.marks(*f);  // a copy: the table may grow below
  if (marks.primary && !marks.eof_tested) {
    end_run(run);
    return false;
  }
  if (!marks.never_retire) {
    for (Statement* x = run.program->head; x != nullptr && x != run.program_end; x = x->next) {
      if (is_action(x->type) && x->file == f && (x->op == Op::kRead || x->op == Op::kDummr)) {
        if (!retire(run, *x)) run.mode = kRunEnding;
      }
    }
  }
  present_empty_record(run, *f);
  run.current = st->on_true;
  return false;
}

void condition_step(Run& run) {
  Statement* st = run.current;
  if (evaluate_condition(run)) {
    run.current = st->on_true;
  } else {
    run.current = run.mode == kRunSuspended ? st->on_false_suspended : st->on_false;
  }
}

// Where the action step goes once the verb of run.current has returned.
enum class AfterVerb {
  kOnTrue,  // on to run.current's on_true
  kAgain,   // run.current is executed again (TIMES, an input continued in a concatenated file)
  kLeave,   // run.current already says where to go on
};

AfterVerb after_verb(Run& run, int result) {
  Statement* s = run.current;
  switch (result) {
    case kVerbNext:
      break;
    case kVerbJump:
      run.current = s->jump;
      return AfterVerb::kLeave;
    case kVerbStop:
      run.stopped = true;
      end_run(run);
      return AfterVerb::kLeave;
    case kVerbResume:
      run.current = s->on_false_suspended;
      return AfterVerb::kLeave;
    case kVerbAbend:
      if (s->error_count > 0) --s->error_count;
      raise_return_code(run, kReturnCodeAbend);
      run.abended = true;
      end_run(run);
      return AfterVerb::kLeave;
    case kVerbEndOfFile:
      return end_of_file(run) ? AfterVerb::kAgain : AfterVerb::kLeave;
    default:
      base::logic_error(base::kLogicVerbResult, s->selid);
  }
  Statement* c = run.current;
  if ((c->flags & kSfRepeating) == 0) return AfterVerb::kOnTrue;
  if (--c->times_left > 0) return AfterVerb::kAgain;
  c->flags &= ~kSfRepeating;
  return AfterVerb::kOnTrue;
}

// Executes run.current (again and again while it repeats) and moves on.
void execute_action(Run& run) {
  for (;;) {
    Statement* s = run.current;
    ++s->exec_count;
    if (s->stopaft != 0 && s->exec_count >= s->stopaft && !retire(run, *s)) {
      run.mode = kRunEnding;
    }
    const int result = execute(run, *s);
    if (result == kVerbNext && (run.current->flags & kSfRepeating) == 0) {
      run.current = run.current->on_true;  // the common case, without the general steps
      return;
    }
    switch (after_verb(run, result)) {
      case AfterVerb::kAgain:
        continue;
      case AfterVerb::kLeave:
        return;
      case AfterVerb::kOnTrue:
        run.current = run.current->on_true;
        return;
    }
  }
}

void action_step(Run& run) {
  Statement* st = run.current;
  if (st->times != 0) {
    st->times_left = st->times;
    st->flags |= kSfRepeating;
  }
  if (run.mode == kRunSuspended && st->op != Op::kStart && st != run.resume_read) {
    run.current = st->on_true;
    return;
  }
  execute_action(run);
}

}  // namespace

void detail::finish_action(Run& run, int result) {
  switch (after_verb(run, result)) {
    case AfterVerb::kAgain:
      execute_action(run);
      return;
    case AfterVerb::kLeave:
      return;
    case AfterVerb::kOnTrue:
      run.current = run.current->on_true;
      return;
  }
}

namespace {

// Between two passes, something asked for attention: an interruption ends the run (true), a
// progress tick shows the progress line.
bool attend(Run& run) {
  if (const int signal_number = host::interrupt_signal(); signal_number != 0 && !run.abended) {
    // Every output holds whole records; close down as an abnormal end whose return code names
    // the signal, as a shell would (128 + its number).
    record_run_error(run, kRunErrInterrupted);
    raise_return_code(run, kReturnCodeInterrupted + signal_number);
    run.abended = true;
    end_run(run);
    return true;
  }
  if (host::take_progress_tick()) detail::show_progress(run);
  return false;
}

}  // namespace

int32_t run_program(Run& run) {
  convert::SpecialArea special(run.special);
  special.set(convert::kSpReturnCode, 0);
  // From here a replaced output is emptied when it is written to or closed (see open_file).
  run.files->run_started = true;
  detail::start_progress(run);
  if (run.work_area_given) run.record_base = run.work_area;
  const int32_t length = run.work_length >= 1 && run.work_length <= detail::kDefaultRecordLength
                             ? run.work_length
                             : detail::kDefaultRecordLength;
  run.record_length = length;
  run.addressable_length = detail::addressable_for(run);
  detail::publish_record_length(run);
  run.current =
      run.mode == kRunSuspended && run.resume_read != nullptr ? run.resume_read : run.exec_start;
  if (run.files->primary_input == nullptr) {
    --run.mode;
    if (run.mode != kRunEnding)
      base::logic_error(base::kLogicNoInput, run.current != nullptr ? run.current->selid : 0);
  }
  while (run.current != nullptr) {
    Statement* st = run.current;
    if (is_condition(st->type)) {
      if (st == run.sum_test && detail::run_fast_sum(run)) continue;
      condition_step(run);
    } else if (st->type == kStEnd) {
      // A pass ends the routines it left without RETURN (a GG or a GOTO out of them): their
      // calls are not resumed by a later pass, and their nodes are reused rather than piled up
      // once per record.
      run.return_top = nullptr;
      if (host::attention_wanted() && attend(run)) break;
      if (run.mode == kRunActive && run.exec_start != run.program_end) {
        run.current = run.exec_start;
        if (run.fast_path != detail::kFastNone) detail::run_fast_path(run);
      } else if (run.mode == kRunSuspended && run.resume_read != nullptr) {
        run.current = run.resume_read;
      } else {
        break;
      }
    } else {
      action_step(run);
    }
  }
  return run.first_error;
}

}  // namespace recsift::engine
