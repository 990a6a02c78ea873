// Linking the compiled program: the End statement, the true and false continuations of every
// statement (with the stack of pending ELSE branches), the links of the suspended mode and the
// system READ that waits for START, default files of file tests, branch targets, the work area
// and the opening of the files.
//
// Exports (engine.h): link_program.
//
// Linking goes on after an error (so that every error of the program is found and the return
// code reaches 48), except for an ELSE without its THEN, which stops it at once.
#include <cstring>
#include <string>

#include "base/fatal.h"
#include "convert/convert.h"
#include "convert/special_area.h"
#include "engine/engine.h"
#include "engine/run_internal.h"
#include "files/files.h"
#include "host/host.h"
#include "program/operand.h"
#include "program/program.h"
#include "report/report.h"

namespace recsift::engine {
namespace {

// Exit code of a statement record whose type linking does not know.
constexpr int kExitBadStatementType = 4;

constexpr int32_t kReturnCodeLinking = 48;
constexpr int32_t kDefaultWorkLength = 80;
constexpr int32_t kDefaultBlksize = 2048;
// Files the run keeps open besides the data files, and the count above which the host's limit
// of open files must be raised.
constexpr int32_t kFilesReserved = 8;
constexpr int32_t kFilesWithoutRaise = 20;
constexpr char kWorkGuard[] = "<<WORKLEN end<<";
static_assert(sizeof kWorkGuard == 16);

// A node of the stack of pending ELSE branches ("uml").
struct ElseNode {
  ElseNode* below;
  Statement* statement;
};

Statement* new_statement() {
  return new (base::qelgcore(sizeof(Statement), 0, "CN")) Statement();
}

// 2. The End statement: the last record when it holds no statement, else a new one.
Statement* append_end(Program& program) {
  Statement* last = program.head;
  while (last != nullptr && last->next != nullptr) last = last->next;
  if (last != nullptr && last->type == kStEnd) {
    last->on_true = last->on_false = last->on_false_suspended = nullptr;
    return last;
  }
  Statement* end = new_statement();
  end->prev = last;
  if (last != nullptr) {
    last->next = end;
  } else {
    program.head = end;
  }
  program.current = end;
  return end;
}

void pop_all(ElseNode*& top) {
  while (top != nullptr) {
    ElseNode* below = top->below;
    base::qelgrel(&top, "umlw");
    top = below;
  }
}

// 3. The backward pass. Returns false when linking must stop (521).
bool link_continuations(Run& run) {
  Statement* t = run.program_end;
  Statement* f = run.program_end;
  Statement* s = run.program_end;
  Statement* then_target = run.program_end;
  ElseNode* stack = nullptr;
  for (Statement* x = run.program_end->prev; x != nullptr; x = x->prev) {
    x->on_false = f;
    x->on_true = t;
    if (is_condition(x->type) && stack != nullptr && x->next != nullptr &&
        (x->next->type == kStThenAction || x->next->type == kStThenIf)) {
      x->on_false = stack->statement;
      ElseNode* below = stack->below;
      base::qelgrel(&stack, "umlw");
      stack = below;
    }
    switch (x->type) {
      case kStThenAction:
        t = then_target = x;
        break;
      case kStIf:
      case kStAction:
        if (stack != nullptr) {
          run.current = x;
          record_run_error(run, kRunErrElseWithoutThen);
          pop_all(stack);
          return false;
        }
        s = t = f = x;
        break;
      case kStAnd:
        t = x;
        break;
      case kStOr:
        f = x;
        t = then_target;
        break;
      case kStThenIf:
        f = stack != nullptr ? stack->statement : s;
        t = then_target = x;
        break;
      case kStElseIf:
      case kStElseAction: {
        f = x;
        t = s;
        auto* node = static_cast<ElseNode*>(base::qelgcore(sizeof(ElseNode), 0, nullptr));
        if (node == nullptr) {
          record_run_error(run, kRunErrNoElseStorage);
          break;
        }
        node->below = stack;
        node->statement = x;
        stack = node;
        break;
      }
      default:
        std::fputs("Inval cntyp1.\n", base::log_stream());
        base::stop_process(kExitBadStatementType);
    }
  }
  // An ELSE before the first statement of the program has no THEN either.
  if (stack != nullptr) {
    run.current = run.program->head;
    record_run_error(run, kRunErrElseWithoutThen);
    pop_all(stack);
    return false;
  }
  return true;
}

// 5. Links of the suspended mode and the system READ that runs while waiting for START.
void link_suspended(Run& run) {
  auto* primary_read = static_cast<const Statement*>(run.files->primary_read);
  // START waits for records of the primary input: without a plain primary READ it has none.
  if (primary_read == nullptr || primary_read->operands[1] != nullptr) {
    record_run_error(run, kRunErrStartReadNotPlain);
  }
  Statement* r = run.program_end;
  for (Statement* x = run.program_end->prev; x != nullptr; x = x->prev) {
    if (!(is_action(x->type) && x->op == Op::kStart)) {
      x->on_false_suspended = r;
      continue;
    }
    int alternatives = 0;
    Statement* y = x;
    for (;;) {
      if (y->type == kStElseAction || y->type == kStElseIf || y->type == kStOr) ++alternatives;
      y->on_false_suspended = alternatives != 0 ? y->on_false : r;
      if (y->type == kStIf || y->type == kStAction || y->prev == nullptr) break;
      y = y->prev;
    }
    r = y;
    x = y;  // the loop goes on before the sentence
  }
  if (primary_read == nullptr) return;
  Statement* resume = new_statement();
  *resume = *primary_read;
  resume->selid = 0;
  resume->exec_count = resume->error_count = 0;
  resume->stopaft = resume->times = 0;
  resume->label = nullptr;
  resume->comment = nullptr;
  resume->comment_length = 0;
  resume->on_true = resume->on_false = resume->on_false_suspended = r;
  resume->prev = nullptr;
  resume->next = run.program->head;
  run.program->head->prev = resume;
  run.program->head = resume;
  run.resume_read = resume;
}

// The file a condition's FILE= names: the definition with the same host name, or the
// predefined file of that name.
files::FFREC* find_named_file(files::FileList& list, const char* typed) {
  const files::Predefined predefined = files::predefined_name(typed);
  files::FileName name;
  const bool split =
      predefined == files::kPredefNone && files::split_file_name(list, typed, false, &name) == 0;
  for (files::FFREC* f = list.head; f != nullptr; f = f->next) {
    if (f->name[0] == '\0' || (f->open_type & files::kOpenExternal) != 0) continue;
    if (predefined != files::kPredefNone) {
      if (f->predefined == predefined) return f;
      continue;
    }
    if (split && f->predefined == files::kPredefNone && name.name == f->name &&
        name.ext == f->ext && f->path != nullptr && name.path == f->path) {
      return f;
    }
  }
  return nullptr;
}

bool tests_a_file(const Statement& x) {
  return x.file_name != nullptr || x.file != nullptr ||
         (x.compare >= kCmpDirectory && x.compare <= kCmpEndOfFile);
}

// 6. Default files of file tests and FLAG; the program must have an output statement.
void link_files(Run& run) {
  // One marker record per file, made before the run so that references to them stay valid.
  if (run.files->tail != nullptr) run.marks(*run.files->tail);
  files::FFREC* primary = run.files->primary_input;
  int outputs = 0;
  for (Statement* x = run.program->head; x != run.program_end; x = x->next) {
    run.current = x;
    if (is_condition(x->type) && tests_a_file(*x)) {
      if (x->file == nullptr && x->file_name != nullptr) {
        x->file = find_named_file(*run.files, x->file_name);
      }
      if (x->file == nullptr && x->file_name == nullptr && primary != nullptr) {
        x->file = primary;
        x->flags |= kSfDefaultInput;
      }
      if (x->file == nullptr || x->file->open_type == 0) {
        record_run_error(run, kRunErrNoFileForTest);
      } else if (x->compare == kCmpEndOfFile) {
        run.marks(*x->file).eof_tested = true;
      }
    } else if (is_action(x->type)) {
      // FLAG and the file verbs without a file of their own act on the primary input.
      const bool file_verb = op_executor(x->op) == Executor::kFile;
      if ((x->op == Op::kFlag || file_verb) && x->file == nullptr) {
        x->file = primary;
        if (primary == nullptr) record_run_error(run, kRunErrNoFileForTest);
      }
      if (op_has(x->op, kTraitOutput)) ++outputs;
    }
  }
  run.current = nullptr;
  if (outputs == 0) record_run_error(run, kRunErrNoOutput);
}

// 7. Branch targets.
void link_labels(Run& run) {
  for (Statement* x = run.program->head; x != run.program_end; x = x->next) {
    if (!is_action(x->type)) continue;
    if (x->op == Op::kGg) {
      x->jump = run.program_end;
    } else if (x->op == Op::kGoto || x->op == Op::kDo) {
      Statement* target = x->branch != nullptr ? x->branch->target : nullptr;
      if (target == nullptr || target == run.program_end) {
        run.rc_selid = x->selid;
        run.current = x;
        record_run_error(run, kRunErrLabelWithoutTarget);
        run.current = nullptr;
      } else {
        x->jump = target;
      }
    }
  }
}

// 8. The work area "wrec": WORKLEN bytes of the fill character, then the guard text.
bool allocate_work_area(Run& run) {
  convert::SpecialArea special(run.special);
  const int32_t given = special.get(convert::kSpWorkLength);
  run.work_area_given = given > 0;
  run.work_length = given > 0 ? given : kDefaultWorkLength;
  auto* area = static_cast<uint8_t*>(
      base::qelgcore(int64_t{run.work_length} + int64_t{sizeof kWorkGuard}, -1, nullptr));
  if (area == nullptr) return false;
  std::memset(area, special.byte(convert::kSpFillChar), static_cast<size_t>(run.work_length));
  std::memcpy(area + run.work_length, kWorkGuard, sizeof kWorkGuard);
  run.work_area = area;
  run.record_base = area;
  return true;
}

bool is_output_only(const files::FFREC& f) {
  return (f.open_type & (files::kOpenInput | files::kOpenUpdate)) == 0;
}

bool opens_before_run(const files::FFREC& f) {
  return f.name[0] != '\0' && !f.is_open && !f.closed && !f.excluded && !f.reopen_allowed &&
         (f.open_type & files::kOpenExternal) == 0 && f.open_type != 0;
}

// Opens one file before the run; false when it cannot be used.
bool open_before_run(Run& run, files::FFREC& f) {
  // A missing input opens as an empty one (end of file): only an error stops the run.
  if (files::open_file(*run.io, f).status == files::IoStatus::kError) {
    record_run_error(run, kRunErrOpenFailed, &f);
    return false;
  }
  return true;
}

// 9. Completes the definitions and opens the files: the primary input first.
void open_files(Run& run) {
  files::FileList& list = *run.files;
  files::CompletionSettings settings;
  convert::SpecialArea special(run.special);
  settings.default_blksize = special.get(convert::kSpFileLayerSize);
  if (settings.default_blksize <= 0) settings.default_blksize = kDefaultBlksize;
  settings.nordw = special.byte(convert::kSpNoRdw) != 0;
  settings.work_area = run.work_area_given;

  files::FFREC* primary = list.primary_input;
  if (primary != nullptr) {
    run.marks(*primary).primary = true;
    if (int rc = files::complete_definition(list, *primary, settings); rc != 0) {
      record_run_error(run, rc, primary);
    } else if (run.parts > 0 &&
               files::read_part_only(*run.io, *primary, run.part, run.parts).status ==
                   files::IoStatus::kError) {
      record_run_error(run, kRunErrOpenFailed, primary);
    } else if (opens_before_run(*primary) && open_before_run(run, *primary)) {
      if (!primary->no_prefix && primary->rdw) {
        run.record_prefix = files::record_format(primary->recfm).record_descriptor;
      }
    }
  }
  int32_t count = 0;
  for (files::FFREC* f = list.head; f != nullptr; f = f->next) {
    if (f == primary || f->name[0] == '\0') continue;
    if (int rc = files::complete_definition(list, *f, settings); rc != 0) {
      record_run_error(run, rc, f);
    }
    if (!f->closed && !f->excluded) ++count;
  }
  if (count + kFilesReserved > kFilesWithoutRaise &&
      host::raise_open_file_limit() < count + kFilesReserved) {
    record_run_error(run, kRunErrTooManyFiles);
  }
  // Continuations of a concatenation are opened when the file before them ends.
  auto opens_here = [primary](const files::FFREC& f, bool output) {
    return &f != primary && !f.concatenated && opens_before_run(f) && is_output_only(f) == output;
  };
  for (files::FFREC* f = list.head; f != nullptr; f = f->next) {
    if (opens_here(*f, false)) open_before_run(run, *f);
  }
  // Outputs only while nothing has failed: opening an output empties it (or creates it), which a
  // run that will not start must not do. So every output is checked for being another name of a
  // file of the run before the first one is opened.
  for (files::FFREC* f = list.head; run.first_error == 0 && f != nullptr; f = f->next) {
    if (opens_here(*f, true) && !files::output_target_free(*run.io, *f)) {
      record_run_error(run, kRunErrOpenFailed, f);
    }
  }
  if (run.first_error != 0) return;
  for (files::FFREC* f = list.head; f != nullptr; f = f->next) {
    if (opens_here(*f, true)) open_before_run(run, *f);
  }
}

// Whether an operand can show the comparison pointer: it names pointer 1 (DIFF) or DIFF's data,
// or it stands in or relative to the special-variable area (where UXADIFF lies).
bool term_sees_compare_pointer(const Term* t) {
  for (; t != nullptr; t = t->next) {
    if ((t->kind == TermKind::kPointer || t->kind == TermKind::kNumberPointer) &&
        t->pointer == kComparePointer) {
      return true;
    }
    if (t->kind == TermKind::kSpecial &&
        (t->special == SpecialKind::kAreaField || t->special == SpecialKind::kDiff)) {
      return true;
    }
  }
  return false;
}

bool operand_sees_compare_pointer(const Operand* op) {
  if (op == nullptr) return false;
  if (op->kind == OperandKind::kAreaField) return op->pos.offset == convert::kSpAddressDiff;
  return term_sees_compare_pointer(&op->pos) || term_sees_compare_pointer(&op->len) ||
         term_sees_compare_pointer(&op->end);
}

// Character comparisons keep the comparison pointer only for programs that can look at it.
bool program_sees_compare_pointer(const Run& run) {
  for (const Statement* x = run.program->head; x != nullptr; x = x->next) {
    if (x->op == Op::kCall && is_action(x->type)) return true;  // a routine may look anywhere
    if (operand_sees_compare_pointer(x->reply)) return true;
    for (const Operand* op : x->operands) {
      if (operand_sees_compare_pointer(op)) return true;
    }
  }
  return false;
}

}  // namespace

int32_t link_program(Run& run) {
  Program& program = *run.program;
  run.program_end = append_end(program);
  run.mode = program.start_requested ? kRunSuspended : kRunActive;
  run.file_query = detail::answer_file_query;
  run.file_query_context = &run;
  if (!link_continuations(run)) return run.first_error;
  run.exec_start = program.head;
  if (run.mode == kRunSuspended) link_suspended(run);
  link_files(run);
  link_labels(run);
  run.compare_pointer_seen = program_sees_compare_pointer(run);
  convert::SpecialArea(run.special).set(convert::kSpReturnCode, kReturnCodeLinking);
  if (!allocate_work_area(run)) {
    record_run_error(run, kRunErrNoWorkArea);
    return run.first_error;
  }
  open_files(run);
  detail::plan_fast_sum(run);
  run.fast_path = detail::choose_fast_path(run);
  return run.first_error;
}

}  // namespace recsift::engine
