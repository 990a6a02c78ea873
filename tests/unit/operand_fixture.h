// Test support for the operand, condition and data statement compilers: one statement tokenised
// into a compile context of its own. Descriptors are compared as text through
// compiler::describe_operand, the form the program's dump shows.
#ifndef RECSIFT_TESTS_UNIT_OPERAND_FIXTURE_H_
#define RECSIFT_TESTS_UNIT_OPERAND_FIXTURE_H_

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "compiler/compiler.h"
#include "engine/engine.h"
#include "files/files.h"
#include "input/input.h"
#include "program/operand.h"
#include "program/program.h"
#include "report/report.h"
#include "run_storage.h"

namespace recsift::testing_support {

// A statement text tokenised into a context with an empty program record (operation `op`), the
// two reserved pointer names, a zeroed special-variable area, and no variables and no files.
// Every pool block taken while the case lives (compiled descriptors, and what a run over them
// takes) is released with it, or with the outermost case alive.
class CompileCase {
 public:
  explicit CompileCase(const std::string& text, program::Op op = program::Op::kNone)
      : text_(new char[text.size() + 1]), source_(new char[text.size() + 1]) {
    std::memcpy(text_.get(), text.c_str(), text.size() + 1);
    std::memcpy(source_.get(), text.c_str(), text.size() + 1);
    input::tokenise(list_, text_.get(), source_.get(), '!', false);
    names_.insert(std::string_view());
    names_.insert(std::string_view("\xD1\xFF", 2));
    statement_.op = op;
    program_.head = &statement_;
    program_.current = &statement_;
    ctx_.tokens = &list_;
    ctx_.variables = &variables_;
    ctx_.files = &files_;
    ctx_.messages = &messages_;
    ctx_.listing = &listing_;
    ctx_.program = &program_;
    ctx_.names = &names_;
    ctx_.special = special_;
    ctx_.statement = text_.get();
  }
  ~CompileCase() {
    input::release_token_list(list_);
    files::release_file_list(files_);
  }

  compiler::Context& ctx() { return ctx_; }
  program::Statement& statement() { return statement_; }
  program::Program& program() { return program_; }
  program::NameIndex& names() { return names_; }
  report::Messages& messages() { return messages_; }
  report::Listing& listing() { return listing_; }
  input::TokenList& list() { return list_; }
  input::Variables& variables() { return variables_; }

 private:
  CaseArena arena_;  // first member: records every block of the case, released last
  std::unique_ptr<char[]> text_;
  std::unique_ptr<char[]> source_;
  input::TokenList list_;
  input::Variables variables_;
  files::FileList files_;
  report::Messages messages_;
  report::Listing listing_;
  program::Program program_;
  program::Statement statement_;
  program::NameIndex names_;
  uint8_t special_[128] = {};
  compiler::Context ctx_;
};

// The message recorded, as "msg N", or "" when none.
inline std::string message_of(const report::Messages& m) {
  return m.pending != 0 ? "msg " + std::to_string(m.pending) : std::string();
}

}  // namespace recsift::testing_support

#endif  // RECSIFT_TESTS_UNIT_OPERAND_FIXTURE_H_
