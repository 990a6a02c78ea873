// Private to src/compiler: the parts of the operand compiler that the condition and data
// statement compilers use besides compile_operand (compiler.h): the expression compiler, the
// TYPE reader, descriptor and literal helpers, and the token-state snapshot that lets a compile
// step try one set of forms and fall back to another.
#ifndef RECSIFT_COMPILER_OPERAND_COMPILER_H_
#define RECSIFT_COMPILER_OPERAND_COMPILER_H_

#include <cstdint>
#include <string_view>
#include <vector>

#include "compiler/compiler.h"
#include "program/operand.h"
#include "input/input.h"

namespace recsift::compiler {

// Results of compile_expression besides 0 and message numbers.
inline constexpr int kNoExpression = 7;  // no expression here (nothing is taken)
inline constexpr int kLongNumber = -7;   // a digit string too long for 32 bits (long-number form)

// Expression modes.
enum ExpressionMode : int {
  kExprLength = 1,    // into Operand::len (len_kind set)
  kExprPosition = 2,  // into Operand::pos (kind set to kField, or kAreaField)
  kExprEnd = 3,       // into Operand::end
};

// Compiles one expression at the current token into the chain of `mode`. Returns 0,
// kNoExpression or kLongNumber (nothing taken then), or a message number. forms: the caller's
// accepted forms (only kFormLongNumber is read).
int compile_expression(Context& ctx, program::Operand* op, int mode, uint32_t forms);

// A new zero-filled descriptor ("FLD").
program::Operand* new_operand();
// Clears a descriptor for another try (its extra terms stay in the pool).
void clear_operand(program::Operand* op);
// Gives an empty descriptor that a statement does not use back to the pool; *slot becomes null.
void release_operand(program::Operand** slot);

// Reads "TYPE x" or "TY x" into op->type: at the current token, or anywhere in the statement
// (then the current token is the first open token afterwards). Needs two unconsumed tokens.
// Returns 0, or 79 (raised) for a value that is not one of the letters B, C, F, P, Z.
int read_type(Context& ctx, program::Operand* op, bool anywhere);

// Makes op a character literal of the bytes given (copied to a pool text "lit").
void set_char_literal(program::Operand* op, const char* bytes, int32_t length);

// True for a single absolute term (a plain number as position or length).
bool single_absolute(const program::Term& t);
// True when the operand is an immediate number.
inline bool is_bare_number(const program::Operand* op) {
  return op != nullptr && op->kind == program::OperandKind::kImmediate;
}
// True when the operand is a number held in or computed by the descriptor.
inline bool is_number(const program::Operand* op) {
  return op != nullptr && (op->kind == program::OperandKind::kImmediate ||
                           op->kind == program::OperandKind::kComputed);
}
// True when the operand has a length of its own (given, or fixed by its kind).
bool has_length(const program::Operand* op);
// The fixed length of the operand, or -1 when it is not fixed.
int32_t fixed_length(const program::Operand* op);

// The token-list and message state at one moment, to give back everything a failed try took.
class TokenState {
 public:
  explicit TokenState(Context& ctx);
  // Returns the tokens, the pending message and its mark to the captured state.
  void restore();

 private:
  Context& ctx_;
  input::Token* current_;
  int32_t unconsumed_;
  input::Token* last_keyword_;
  input::Token* error_;
  int32_t pending_;
  int32_t mark_offset_;
  int32_t mark_length_;
  std::vector<uint32_t> flags_;  // flags of every token record, in list order
};

// True when the word is a special-variable name.
bool is_special_name(std::string_view word);

// Token helpers.
std::string_view token_text(const input::Token* t);
// An unquoted token whose text is one of the names of `synonyms`.
bool token_is(const input::Token* t, std::string_view synonyms);

}  // namespace recsift::compiler

#endif  // RECSIFT_COMPILER_OPERAND_COMPILER_H_
