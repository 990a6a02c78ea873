// Stand-ins, weak, for the compile steps and services the statement compiler calls that are being
// written elsewhere (operand, condition, data statement and file-operand compilers, substitution,
// the listing). They do the least that lets statements compile: take tokens, set nothing. The
// real definitions replace this file.
#include <cstdint>

#include "compiler/compiler.h"
#include "files/files.h"
#include "input/input.h"
#include "report/report.h"

namespace recsift {
namespace {

// Takes every token left in the statement.
void take_rest(input::TokenList& list) {
  while (input::left_over(list) != nullptr) input::take_token(list);
}

// An operand descriptor's storage; its layout is the operand compiler's.
engine::Operand* new_operand() {
  return static_cast<engine::Operand*>(files::qelgcore(64, 0, "FLD"));
}

}  // namespace

namespace compiler {

__attribute__((weak)) int compile_operand(Context& ctx, engine::Operand** slot, uint32_t) {
  if (ctx.messages->pending != 0) return ctx.messages->pending;
  if (input::left_over(*ctx.tokens) == nullptr) return raise(ctx, 5);
  input::take_token(*ctx.tokens);
  if (*slot == nullptr) *slot = new_operand();
  return 0;
}

__attribute__((weak)) void complete_operand(Context&, engine::Operand** slot) {
  if (*slot == nullptr) *slot = new_operand();
}

__attribute__((weak)) int compile_condition(Context& ctx, uint8_t) {
  take_rest(*ctx.tokens);
  return 0;
}

__attribute__((weak)) int compile_data_statement(Context& ctx, uint8_t) {
  take_rest(*ctx.tokens);
  return 0;
}

__attribute__((weak)) int compile_file_operands(Context& ctx, uint8_t) {
  if (input::left_over(*ctx.tokens) != nullptr) input::take_token(*ctx.tokens);
  return 0;
}

}  // namespace compiler

namespace input {

__attribute__((weak)) int define_variable(TokenList& list, Variables&, bool) {
  take_rest(list);
  return 0;
}

__attribute__((weak)) int substitute(TokenList&, Variables&, const char*, int32_t) {
  return 0;
}

__attribute__((weak)) bool has_variables(const Variables&) {
  return false;
}

}  // namespace input

namespace report {

__attribute__((weak)) void listing_print(Listing&, const void*, int, int32_t) {}

__attribute__((weak)) int32_t print_message(Listing&, Messages& messages) {
  if (messages.pending != 0) ++messages.printed;
  record_error(messages, 0);
  return messages.printed;
}

}  // namespace report
}  // namespace recsift
