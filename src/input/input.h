// Control-statement input: the tokenizer that cuts a statement text into tokens, the keyword
// lists and the operations every compile step uses to match and consume tokens.
//
// A statement text is cut in place: the tokenizer writes zero bytes after each token, upper-cases
// words and packs hexadecimal literals where they stand, so token texts point into the text it
// was given. A second, unmodified copy of the text at the same offsets (the line as typed) gives
// each token its source position.
#ifndef RECSIFT_INPUT_INPUT_H_
#define RECSIFT_INPUT_INPUT_H_

#include <cstdint>
#include <cstdio>
#include <string_view>

namespace recsift::input {

// Token flags.
enum TokenFlag : uint32_t {
  kTokSingleQuoted = 0x00000001,  // quoted with '
  kTokDoubleQuoted = 0x00000002,  // quoted with "
  kTokHex = 0x00000004,           // hexadecimal literal (with 0x1 or 0x2 for its quote)
  kTokWord = 0x00000008,          // unquoted word; its text is upper-cased
  kTokLast = 0x00000010,          // the statement separator follows this token
  kTokError = 0x00000020,         // token in error
  kTokComment = 0x00000040,       // comment (set together with kTokConsumed)
  kTokConsumed = 0x00000080,      // taken by the compiler
  kTokOpen = 0x00000100,          // opening bracket of a substituted multi-token value
  kTokClose = 0x00000200,         // closing bracket of a substituted multi-token value
  kTokInserted = 0x00000400,      // inserted by substitution
  kTokSticky = 0x00000800,        // taking the token moves on without consuming it
  kTokAfterEquals = 0x00001000,   // preceded by "="
  kTokAfterComma = 0x00002000,    // preceded by ","
  kTokFullSource = 0x00010000,    // the text is as long as the source (set by the splitter)
  kTokSplit = 0x00020000,         // split: the next token continues this one
  kTokOwnsText = 0x00040000,      // the text is a pool text of its own, released on reset
  kTokFresh = 0x10000000,         // value of a reset token
  kTokEnd = 0x80000000,           // end of the token list
};
inline constexpr uint32_t kTokQuoted = kTokSingleQuoted | kTokDoubleQuoted;
inline constexpr uint32_t kTokMarks = kTokOpen | kTokClose;

// One token; a pool block "tk". The list is reused from statement to statement: records are only
// ever added, and reset to fresh when reused.
struct Token {
  Token* next = nullptr;         // next token record (the list's order is the statement's)
  Token* prev = nullptr;         // previous token record, null for the head
  uint32_t value = 0;            // free for the compiler; cleared on reset
  uint32_t flags = kTokFresh;    // TokenFlag bits
  int32_t source_length = 0;     // length as written (a hex literal: characters between quotes)
  int32_t length = 0;            // length of text (bytes; a hex literal's packed bytes)
  char* text = nullptr;          // zero-terminated token text, normally in the statement buffer
  const char* source = nullptr;  // first character of the token as typed (the line area)
};

// The token list of the statement being compiled, and the run-wide tokenizer settings.
struct TokenList {
  Token* head = nullptr;           // first token record (allocated on first use)
  Token* current = nullptr;        // the token the compile step looks at, null at the end
  int32_t unconsumed = 0;          // tokens with text not yet taken
  int32_t final_count = 0;         // unconsumed count when tokenising ended
  int32_t pending_splits = 0;      // split pieces not yet joined back
  Token* comment = nullptr;        // the statement's comment token, if any
  Token* error = nullptr;          // the token in error, if any
  Token* last_keyword = nullptr;   // last keyword token taken (error marks, back up)
  int32_t max_token_length = 516;  // longest token accepted (raised by CONTMAX)
  std::FILE* log = nullptr;        // log stream for the tokenizer's own complaint
};

// ---- Tokenizer -------------------------------------------------------------------------------

// What an undefined or empty %d or %NAME% reference becomes (ENVFAIL).
enum class EnvFail : uint8_t {
  kSame,    // the reference stays as written (the default)
  kNull,    // it becomes the empty text
  kText,    // it becomes Variables::envfail_text
  kCancel,  // it is an error (messages 152, 160)
};

// The run's substitution variables and the rules for substituting them.
struct Variables {
  bool no_env = false;               // NOENVVAR: %d and %NAME% are not substituted
  EnvFail envfail = EnvFail::kSame;  // ENVFAIL choice
  char* envfail_text = nullptr;      // ENVFAIL 'text' (pool text "env")
};

// Defines or redefines a substitution variable from an EQU statement whose tokens stand in the
// list (EQU already taken; the name is current). from_command_line: the statement is one of the
// generated EQU statements of the command line. Returns 0 or a message number (31, 82).
int define_variable(TokenList& list, Variables& variables, bool from_command_line);
// Replaces every split piece that names a variable by the variable's value and joins split
// tokens back. program_path is %0; param_count the number of command-line parameters. Returns 0
// or a message number (27, 152, 160).
int substitute(TokenList& list, Variables& variables, const char* program_path,
               int32_t param_count);
// True when any variable is defined (substitution is then needed).
bool has_variables(const Variables& variables);

// Cuts `text` (zero-terminated, modified in place) into the token list. `source` is the text as
// typed at the same offsets (it may equal text; null means text). separator: the statement
// separator byte, 0 for none. no_split suppresses cutting "%", "+" and "-" pieces out of words.
// Returns the position after the separator that ended the statement, or null when the text ended.
//
// Afterwards the list holds the statement's tokens in order, then one end record (kTokEnd, empty
// text; it also carries kTokLast when a separator followed the last token after blanks), and
// `current` is the first token not yet consumed (null when there is none). Token texts point
// into `text`, except split pieces, which own a pool text "tkwd". A token in error is also left
// in `error`; the caller raises message kMsgBadToken for it. No token is longer than
// max_token_length. The tokenizer reads and writes nothing outside `text` up to its zero byte,
// and never moves text: every token's offset in `text` is its offset in `source`.
char* tokenise(TokenList& list, char* text, const char* source, uint8_t separator, bool no_split);

// Returns a used token record to the fresh state (links kept), releasing a text it owns. A
// sticky token belongs to a variable's value list and must never be reset: logic error 3204.
void reset_token(Token& token);

// Releases every record of the list and the texts they own, and clears the list. For close-down
// and tests; during a run the records are reused from statement to statement.
void release_token_list(TokenList& list);

// ---- Keyword lists ----------------------------------------------------------------------------
// Three formats, all comma-separated names in upper case:
//  - plain synonym list ("P,POS"): every name is a synonym; a name containing "*" or "?" is a
//    wildcard pattern for find_anywhere;
//  - coded list: single code bytes 1..10 as items, each followed by the names that mean it (the
//    comparison operators);
//  - length-grouped list: names grouped by length, groups separated by an empty item (the
//    reserved words).

// Message raised for a token in error (bad quote, bad hexadecimal digit, too long).
inline constexpr int kMsgBadToken = 27;

// Comparison codes of the coded operator list (there is no code 7).
enum OperatorCode : int {
  kOpNone = 0,          // not an operator word
  kOpEqual = 1,         // EQ, EX, EXACT
  kOpLess = 2,          // LT, <
  kOpGreater = 3,       // GT, >
  kOpNotEqual = 4,      // NE, <>, NOT, the not sign 0xAA
  kOpGreaterEqual = 5,  // GE, >=, =>, NLT, 0xAA<, LOW, LO
  kOpLessEqual = 6,     // LE, <=, =<, NGT, 0xAA>, HIGH, HI
  kOpOnes = 8,          // ONES
  kOpMixed = 9,         // MIXED
  kOpZeros = 10,        // ZEROS, ZEROES
};

// True when `word` is one of the names of a plain synonym list (exact, whole names).
bool list_contains(std::string_view synonyms, std::string_view word);
// File-name wildcard comparison: "*" any run of characters (also none), "?" any one character,
// everything else itself. The whole name must be matched.
bool wildcard_match(std::string_view pattern, std::string_view name);
// The code of `word` in a coded list, 0 when the word is not one of its names.
int coded_list_code(std::string_view coded_list, std::string_view word);
// The comparison code of an operator word, kOpNone when it is none.
int operator_code(std::string_view word);
// The comparison code of a token: only an unquoted token can be an operator.
int operator_code(const Token& token);
// True when `word` (any case) is a reserved word, which the file definitions refuse as a name.
bool reserved_word(std::string_view word);

// ---- Token list operations --------------------------------------------------------------------
// "Open" tokens are those not consumed and not a bracket (a token with exactly one of the two
// marks); the current-token operations pass over the others.

// The next open token from `current` is compared with the names of `synonyms`; quoted, split,
// hexadecimal and consumed tokens never match. On a match the token is taken and its text
// returned; otherwise null and nothing changes.
const char* match_current(TokenList& list, std::string_view synonyms);
// Searches the whole statement for the first open, unquoted, unsplit token matching a name of
// `synonyms` (wildcard names allowed). It is taken; the token after it becomes current, not
// taken, and its text (the keyword's operand) is returned, or "" when none follows. Null when
// nothing matches or no token is left unconsumed.
const char* find_anywhere(TokenList& list, std::string_view synonyms);
// Takes the current token and returns its text: marks it consumed (unless sticky), counts it
// off, remembers it as the last keyword unless it is a bracket, and moves `current` to the next
// open token. No current token: logic error 3202; a bracket that is not sticky: 3203.
const char* take_token(TokenList& list);
// The first open token of the statement, made current; null when every token was taken.
Token* left_over(TokenList& list);
// Re-opens the last keyword token taken (not consumed, counted again, current again) and
// returns its text; null when nothing was taken.
const char* back_up(TokenList& list);
// Marks the current token in error (the end record when the statement has run out) and keeps
// it in `error` unless a token is already there, so the listing marks the first fault. Returns
// kMsgBadToken: the caller raises it as the statement's message.
int mark_error(TokenList& list);

}  // namespace recsift::input

#endif  // RECSIFT_INPUT_INPUT_H_
