// Test support for the operand, condition and data statement compilers: one statement tokenised
// into a compile context of its own, and a compact text form of operand descriptors.
#ifndef RECSIFT_TESTS_UNIT_OPERAND_FIXTURE_H_
#define RECSIFT_TESTS_UNIT_OPERAND_FIXTURE_H_

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "compiler/compiler.h"
#include "engine/engine.h"
#include "engine/operand.h"
#include "engine/program.h"
#include "files/files.h"
#include "input/input.h"
#include "report/report.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace recsift::testing_support {

// Compiled descriptors are pool blocks that live for the run, as in the program: the leak
// checker is told so for the blocks a test case allocates.
#if defined(__SANITIZE_ADDRESS__)
using RunLifetime = __lsan::ScopedDisabler;
#else
struct RunLifetime {};
#endif

// A statement text tokenised into a context with an empty program record (operation `op`), the
// two reserved pointer names, a zeroed special-variable area, and no variables and no files.
class CompileCase {
 public:
  explicit CompileCase(const std::string& text, uint8_t op = 0)
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
  engine::Statement& statement() { return statement_; }
  engine::Program& program() { return program_; }
  engine::NameIndex& names() { return names_; }
  report::Messages& messages() { return messages_; }
  report::Listing& listing() { return listing_; }
  input::TokenList& list() { return list_; }

 private:
  RunLifetime run_lifetime_;  // first member: in force before anything is allocated
  std::unique_ptr<char[]> text_;
  std::unique_ptr<char[]> source_;
  input::TokenList list_;
  input::Variables variables_;
  files::FileList files_;
  report::Messages messages_;
  report::Listing listing_;
  engine::Program program_;
  engine::Statement statement_;
  engine::NameIndex names_;
  uint8_t special_[128] = {};
  compiler::Context ctx_;
};

inline std::string describe_terms(const engine::Term& head) {
  std::string out;
  for (const engine::Term* t = &head; t != nullptr; t = t->next) {
    const bool neg = (t->flags & engine::kTermNegative) != 0;
    std::string term;
    switch (t->kind) {
      case engine::TermKind::kNone:
        term = "?";
        break;
      case engine::TermKind::kAbsolute:
      case engine::TermKind::kNumber:
        term = std::to_string(t->value);
        if (t != &head && t->value >= 0) term = "+" + term;
        break;
      case engine::TermKind::kRecordLength:
      case engine::TermKind::kNumberRecordLength:
        term = "L";
        break;
      case engine::TermKind::kPointer:
      case engine::TermKind::kNumberPointer:
        term = "@" + std::to_string(t->pointer);
        break;
      case engine::TermKind::kSpecial: {
        char buf[16];
        std::snprintf(buf, sizeof buf, "S%02X:%d", static_cast<unsigned>(t->special), t->offset);
        term = buf;
        break;
      }
    }
    if (t->kind != engine::TermKind::kAbsolute && t->kind != engine::TermKind::kNumber) {
      term = (neg ? "-" : (t != &head ? "+" : "")) + term;
    }
    out += term;
  }
  return out;
}

inline std::string describe_bytes(const uint8_t* p, int32_t n) {
  bool printable = true;
  for (int32_t i = 0; i < n; ++i) printable = printable && p[i] >= 0x20 && p[i] < 0x7F;
  if (printable) return "'" + std::string(reinterpret_cast<const char*>(p), n) + "'";
  std::string out = "X'";
  char buf[4];
  for (int32_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, "%02X", p[i]);
    out += buf;
  }
  return out + "'";
}

// Kind and data, then " L<length>", " t<type>" when set, " f<format>", and flags: " k" P/POS
// written, " r" range, " b" below 1.
inline std::string describe(const engine::Operand* op) {
  if (op == nullptr) return "null";
  using engine::LengthKind;
  using engine::OperandKind;
  std::string out;
  switch (op->kind) {
    case OperandKind::kNone:
      out = "-";
      break;
    case OperandKind::kField:
      out = "F " + describe_terms(op->pos);
      break;
    case OperandKind::kLiteral:
      out = describe_bytes(op->lit, op->lit_length);
      break;
    case OperandKind::kImmediate:
      out = "#" + std::to_string(op->immediate);
      break;
    case OperandKind::kComputed:
      out = "=" + describe_terms(op->pos);
      break;
    case OperandKind::kAreaField:
      out = "A" + std::to_string(op->pos.offset);
      break;
    case OperandKind::kTable:
      out = "T" + std::to_string(op->immediate);
      break;
    case OperandKind::kRecordCount:
      out = "IN";
      break;
    case OperandKind::kListingLine:
      out = "LINE";
      break;
    case OperandKind::kReturnCode:
      out = "RC";
      break;
  }
  switch (op->len_kind) {
    case LengthKind::kNone:
      break;
    case LengthKind::kFixed:
      out += " L" + std::to_string(op->len.value);
      break;
    case LengthKind::kExpression:
      out += " L(" + describe_terms(op->len) + ")";
      break;
    case LengthKind::kToEnd:
      out += " to(" + describe_terms(op->end) + ")";
      break;
    case LengthKind::kRest:
      out += " rest";
      break;
    case LengthKind::kSameAsFirst:
      out += " =1st";
      break;
    case LengthKind::kSameAsSecond:
      out += " =2nd";
      break;
    case LengthKind::kTwiceSecond:
      out += " 2x2nd";
      break;
    case LengthKind::kHalfSecond:
      out += " 2nd/2";
      break;
  }
  if (op->type != 0) out += " t" + std::to_string(op->type);
  out += " f" + std::to_string(op->format);
  if (op->pos_flags & engine::kPosKeyword) out += " k";
  if (op->pos_flags & engine::kPosRange) out += " r";
  if (op->pos_flags & engine::kPosBelowOne) out += " b";
  return out;
}

// The message recorded, as "msg N", or "" when none.
inline std::string message_of(const report::Messages& m) {
  return m.pending != 0 ? "msg " + std::to_string(m.pending) : std::string();
}

}  // namespace recsift::testing_support

#endif  // RECSIFT_TESTS_UNIT_OPERAND_FIXTURE_H_
