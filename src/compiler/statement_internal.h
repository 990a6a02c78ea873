// Private to the statement compiler and the OPTION statement: the message numbers they raise, the
// token helpers they share (numbers, words as typed) and the print options that PRINT and LOG
// statements accept as well as OPTION.
#ifndef RECSIFT_COMPILER_STATEMENT_INTERNAL_H_
#define RECSIFT_COMPILER_STATEMENT_INTERNAL_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "compiler/compiler.h"
#include "engine/program.h"
#include "input/input.h"

namespace recsift::compiler::detail {

// Messages of the statement compiler and OPTION (texts in the message file).
enum Message : int {
  kMsgNotAvailable = 1,      // statement recognised but not available
  kMsgNoOperand = 5,         // no operand (label, value) where one is needed
  kMsgBelowMinimum = 6,      // PW, DW or PD below its minimum
  kMsgBadNumber = 7,         // not a number where one is needed
  kMsgOrder = 17,            // statement out of order
  kMsgGoWithoutTo = 18,      // GO not followed by TO
  kMsgBadPrintType = 22,     // unknown print TYPE
  kMsgFillTooLong = 46,      // FILL value longer than one character
  kMsgWorkAreaSmall = 66,    // work area below 22 bytes
  kMsgBadEof = 67,           // EOF value not two characters
  kMsgLabelTwice = 82,       // label defined twice
  kMsgCatNotAfterRead = 86,  // CAT not after a READ statement
  kMsgNoCommand = 95,        // command statement without its command
  kMsgTooManyArgs = 96,      // more than 16 CALL arguments
  kMsgSepTooLong = 117,      // SEP value longer than one character
  kMsgBadFlag = 121,         // FLAG target not EOM or EOD
  kMsgNoStopaft = 131,       // STOPAFT without a value
  kMsgParamBeyond = 152,     // %d above the parameter count under ENVFAIL CANCEL
  kMsgInclude = 156,         // INCLUDE without a name, or the file cannot be opened
  kMsgBadEnvfail = 161,      // ENVFAIL value not SAME, NUL, CANCEL or a quoted text
  kMsgBadSort = 166,         // SORT value not a sort letter, NO or 0
  kMsgBadDumpEnc = 167,      // DUMPENC value not one or two characters
  kMsgDefDirLate = 169,      // DEFDIR after a file definition
  kMsgReservedTarget = 182,  // a reserved word as a branch target
};

// True when a and b are equal but for the case of ASCII letters (label names, typed words).
bool same_ignoring_case(std::string_view a, std::string_view b);

// The token `current` points at, passing over consumed tokens and brackets; null at the end.
input::Token* open_token(input::TokenList& list);

// Text of a token (empty for none).
std::string_view token_text(const input::Token* token);

// True for an unquoted word (not a string, not a hexadecimal literal).
bool is_word(const input::Token* token);

// A decimal count written with digits only, within 0..2147483647.
bool parse_count(std::string_view text, int32_t* value);

// The word starting at `token` as the user typed it (case kept), with the pieces the tokenizer
// cut out of it at "+", "-" and "%" joined back. A quoted or hexadecimal token gives its text.
// When the text differs from the source other than by case (it came from substitution), the
// text is given instead. take: the token and its pieces are taken.
std::string word_as_typed(input::TokenList& list, bool take);

// Reads the print options PW, DW, PD, PRRECLEN, DUMPENC and DUMPALL written on a PRINT or LOG
// statement: PW, DW, PD and PRRECLEN change the run's listing as OPTION does; DUMPENC sets the
// statement's dump enclosure (its operation argument), DUMPALL its dump-all flag. Returns 0 or
// the message raised.
int read_print_options(Context& ctx, engine::Statement& statement);

}  // namespace recsift::compiler::detail

#endif  // RECSIFT_COMPILER_STATEMENT_INTERNAL_H_
