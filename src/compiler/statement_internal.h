// Private to the statement compilers: the message numbers they raise (one table for all of
// them), and the token helpers the statement compiler and OPTION share (numbers, words as typed)
// with the print options that PRINT and LOG statements accept as well as OPTION.
#ifndef RECSIFT_COMPILER_STATEMENT_INTERNAL_H_
#define RECSIFT_COMPILER_STATEMENT_INTERNAL_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "compiler/compiler.h"
#include "input/input.h"
#include "program/program.h"

namespace recsift::compiler {
namespace messages {

// Messages of the statement compilers, with the catalogue's text. Some numbers have two or three
// names: each says what the raising compiler found.
enum Message : int {
  kMsgNotAvailable = 1,           // This statement or operand is recognised but not available
  kMsgInvalidRequest = 2,         // Invalid operand request inside the compiler
  kMsgNoOperand = 5,              // An operand is missing here
  kMsgBelowMinimum = 6,           // PW, DW or PD is below its minimum (66, 10, 10)
  kMsgBadNumber = 7,              // Invalid operand or expression
  kMsgInvalidOperand = 7,         // Invalid operand or expression
  kMsgNoConditionOperand = 8,     // The test needs a further operand
  kMsgBelowOne = 9,               // A position below 1, a negative record length, or STEP 0
  kMsgOrder = 17,                 // Statement out of order
  kMsgGoWithoutTo = 18,           // GO must be followed by TO
  kMsgBadPrintType = 22,          // Unknown print TYPE
  kMsgNotLiteral = 42,            // This word is neither a position nor a literal allowed here
  kMsgBadCvdate = 45,             // Words are left over that the statement does not use
  kMsgFillTooLong = 46,           // The FILL or PAD value must be a single character
  kMsgNoTo = 51,                  // TO or INTO is missing: the statement has no target
  kMsgNoFrom = 52,                // FR or FROM is missing: the statement has no source
  kMsgTwoNumbers = 59,            // A field is needed here
  kMsgTooLong = 62,               // The value or divisor is longer than its numeric type allows
  kMsgWorkAreaSmall = 66,         // The work area (WORKLEN) must be at least 22 bytes
  kMsgBadEof = 67,                // The EOF value must be two characters
  kMsgNeedsLength = 69,           // A length is needed: give LEN, L or an end position
  kMsgNoLength = 69,              // A length is needed: give LEN, L or an end position
  kMsgPosWithoutLength = 69,      // A length is needed: give LEN, L or an end position
  kMsgEndBeforeStart = 74,        // The end position is before the start position
  kMsgBelowOneBeforeLength = 75,  // Position below 1 before a length or an end position
  kMsgResultIsNumber = 78,        // The result cannot replace an immediate number
  kMsgBadType = 79,               // TYPE value must be one of B, C, F, P or Z
  kMsgAboveMaximum = 80,          // The fixed length is larger than its numeric type allows
  kMsgNoBy = 81,                  // MULT needs BY, DIV needs BY or INTO
  kMsgLabelTwice = 82,            // This name is already defined (label or EQU variable)
  kMsgCatNotAfterRead = 86,       // CAT must follow a READ statement
  kMsgColumnNotAfterCsv = 87,     // COLUMN must follow a CSV statement or another COLUMN
  kMsgCsvColumn = 88,             // A CSV column is a field with a length, TYPE and its words
  kMsgCsvSeparator = 89,          // The CSV separator must be TAB or one character
  kMsgGenWithoutRange = 94,       // A numeric GEN target needs RANGE with a start and a size
  kMsgNoCommand = 95,             // This command statement needs an operand
  kMsgTooManyArgs = 96,           // CALL takes at most 16 arguments
  kMsgBadVariable = 114,          // Substitution inside the expression failed
  kMsgSepTooLong = 117,           // The SEP value must be one character, NO or OFF
  kMsgBadFlag = 121,              // FLAG needs EOM, EOMEMB, EOD or EODISK
  kMsgNotPointer = 127,           // The target of the assignment must be a pointer variable
  kMsgBadPtr = 128,               // PTR needs a plain pointer variable (@name) without "+" or "-"
  kMsgFormatUndecidable = 129,    // The operand format cannot be decided with STEP, FILL or a scan
  kMsgScanWithFill = 130,         // A scan cannot be combined with FILL or PAD
  kMsgNoStopaft = 131,            // STOPAFT needs a number
  kMsgBadBinary = 133,            // A binary operand needs a fixed length of at most 4 bytes
  kMsgCharVersusNumber = 134,     // A character operand cannot be compared with a numeric operand
  kMsgUnknownType = 135,          // Unknown numeric type
  kMsgTypesDiffer = 136,          // The operands have different numeric types
  kMsgNotANumber = 137,           // This term cannot be part of a computed number
  kMsgTableLength = 144,          // A translate table must be 256 bytes long
  kMsgPairs = 145,                // The translation needs two texts of the same length
  kMsgParamBeyond = 152,          // The %n parameter is not defined
  kMsgInclude = 156,              // The control or INCLUDE file cannot be opened
  kMsgNullOperator = 157,         // A NULL test allows only EQ or NE
  kMsgBadEnvfail = 161,           // ENVFAIL value must be SAME, NUL, NULL, CANCEL or a quoted text
  kMsgBadSort = 166,              // SORT value must be S, P, E, N, D, NO or 0
  kMsgBadDumpEnc = 167,           // The DUMPENC value must be one or two characters
  kMsgDefDirLate = 169,           // DEFDIR must come before the first file definition
  kMsgReservedTarget = 182,       // A reserved word cannot be used as a label
};
}  // namespace messages
using namespace messages;

namespace detail {
using namespace messages;

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
int read_print_options(Context& ctx, program::Statement& statement);

// CSV (csv_statement.cc): the line options and the columns written on the CSV statement itself,
// compiled into the current record after its file operands.
void compile_csv_line(Context& ctx);
// COLUMN: more columns for the CSV statement just before it (no record of its own).
void compile_column(Context& ctx);

}  // namespace detail
}  // namespace recsift::compiler

#endif  // RECSIFT_COMPILER_STATEMENT_INTERNAL_H_
