// Stand-ins for the entry points the operand, condition and data statement compilers call but do
// not own, so that they link and test on their own. Each is weak: the real definition wins.
#include "compiler/compiler.h"
#include "input/input.h"
#include "report/report.h"

namespace recsift::compiler {

__attribute__((weak)) int raise(Context& ctx, int number) {
  int32_t offset = -1;
  int32_t length = 0;
  const input::Token* t = ctx.tokens != nullptr ? ctx.tokens->current : nullptr;
  if (t == nullptr && ctx.tokens != nullptr) t = ctx.tokens->last_keyword;
  if (t != nullptr && ctx.statement != nullptr && t->text != nullptr &&
      (t->flags & input::kTokOwnsText) == 0) {
    offset = static_cast<int32_t>(t->text - ctx.statement);
    length = t->length;
  }
  report::record_error(*ctx.messages, number, offset, length);
  return number;
}

}  // namespace recsift::compiler
