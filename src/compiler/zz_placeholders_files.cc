// Stand-ins for the compile helpers the file-operand step calls before their owners' versions
// are in this tree: weak, so the real definitions take their place. To be removed when they are.
#include "compiler/compiler.h"
#include "input/input.h"
#include "report/report.h"

namespace recsift::compiler {

__attribute__((weak)) int raise(Context& ctx, int number) {
  report::record_error(*ctx.messages, number);
  return number;
}

// Takes the operand's first token and compiles nothing.
__attribute__((weak)) int compile_operand(Context& ctx, engine::Operand** slot, uint32_t forms) {
  if (ctx.messages->pending != 0) return ctx.messages->pending;
  if (ctx.tokens->current != nullptr) input::take_token(*ctx.tokens);
  return 0;
}

}  // namespace recsift::compiler
