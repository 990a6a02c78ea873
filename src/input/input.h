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
#include <functional>
#include <string>
#include <string_view>

#include "report/report.h"

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

// ---- Substitution variables ------------------------------------------------------------------
// %0 is the program path, %1 .. %9 the command-line parameters, %NAME% the environment variable
// NAME; an EQU statement defines or redefines any of them. A statement's references are the
// split pieces "%d" and "%NAME%" (and tokens that are nothing but such a piece); substitution
// replaces them by the variable's value and joins split tokens back.

// What an undefined or empty %d or %NAME% reference becomes (ENVFAIL).
enum class EnvFail : uint8_t {
  kSame,    // the reference stays as written (the default)
  kNull,    // it becomes the empty text
  kText,    // it becomes Variables::envfail_text
  kCancel,  // it is an error (messages 152, 160)
};

// Where a variable's value came from.
enum VariableKind : uint8_t {
  kVarEqu = 1,          // an EQU statement of the control input
  kVarCommandLine = 2,  // the command line (a parameter, its EQU) or a %d reference
  kVarEnvironment = 3,  // the environment, met as %NAME%
};

// Variable flags.
enum VariableFlag : uint8_t {
  kVarSingle = 0x01,     // the value is one token
  kVarUndefined = 0x40,  // no value: referenced but never defined, or empty
  kVarRedefined = 0x80,  // an environment variable already redefined by EQU (allowed once)
};

// One substitution variable; a pool record "EQ", kept for the whole run. The value tokens are
// records of their own (never part of a statement's list): a multi-token value is enclosed in an
// opening bracket (kTokOpen | kTokSticky | kTokWord, empty text) and a closing bracket
// (kTokClose | kTokSticky | kTokWord); each value token's text and source live in one pool text
// "eqv" owned by the variable.
struct Variable {
  Variable* next = nullptr;  // next variable in order of creation
  char* name = nullptr;      // pool text "eqn": the name as referenced ("%1", "%HOME%"), upper case
  int32_t name_length = 0;   // its length
  uint8_t kind = 0;          // VariableKind
  uint8_t flags = 0;         // VariableFlag bits
  Token* value = nullptr;    // first value token (the opening bracket of a multi-token value)
  int32_t value_count = 0;   // value tokens that carry text (brackets not counted)
};

// The run's substitution variables and the rules for substituting them.
struct Variables {
  bool no_env = false;               // NOENVVAR: %d and %NAME% are not substituted
  EnvFail envfail = EnvFail::kSame;  // ENVFAIL choice
  char* envfail_text = nullptr;      // ENVFAIL 'text' (pool text "env")
  Variable* head = nullptr;          // first variable, in order of creation
  Variable* tail = nullptr;          // last variable
  void* joined_sources = nullptr;    // pool texts "unsr" of the last statement's joined sources
};

// Messages of substitution.
inline constexpr int kMsgBadEqu = 31;            // EQU without name or value; value is its own name
inline constexpr int kMsgRedefined = 82;         // a variable defined twice
inline constexpr int kMsgParameterFail = 152;    // %d undefined or beyond the count, ENVFAIL CANCEL
inline constexpr int kMsgEnvironmentFail = 160;  // %NAME% undefined, ENVFAIL CANCEL

// Defines or redefines a substitution variable from an EQU statement whose tokens stand in the
// list (EQU already taken; the name is current). from_command_line: the statement is one of the
// generated EQU statements of the command line. Every value token is taken. Returns 0 or a message
// number (31, 82).
int define_variable(TokenList& list, Variables& variables, bool from_command_line);
// Defines parameter %n (1..9) from the command line (kind 2), before its generated EQU statement
// is compiled; that statement is then passed over. value is the token's text (a word upper-cased,
// a quoted string without its quotes, a hexadecimal literal packed), source the parameter as typed
// (quotes allowed: they are dropped here), token_flags its kTokWord / kTokQuoted / kTokHex bits.
// Returns 0, or 31 when the value is the parameter's own name (it is then "0").
int define_parameter(Variables& variables, int n, std::string_view value, std::string_view source,
                     uint32_t token_flags = kTokWord);
// Replaces every reference that names a variable by the variable's value and joins the split
// tokens that held a replaced piece; the other split tokens stay split. The name after a leading
// EQU is not substituted. program_path is %0; param_count the number of command-line parameters.
// Called once per tokenised statement, before it is compiled. Returns 0 or the first message
// number raised (27 for a joined text longer than 527 characters, 152, 160); substitution goes on
// after a message. Afterwards no split is pending (else logic error 3303) and `current` is the
// first open token.
int substitute(TokenList& list, Variables& variables, const char* program_path,
               int32_t param_count);
// True when any variable exists.
bool has_variables(const Variables& variables);
// True when the statement must go through substitute: a variable exists, or a token of the list is
// a reference (an environment variable is only looked up when first referenced).
bool needs_substitution(const Variables& variables, const TokenList& list);
// The variable of that name (any case), or null.
Variable* find_variable(const Variables& variables, std::string_view name);
// Releases every variable, its value and the joined sources, and the ENVFAIL text; for
// close-down and tests (during a run variables live on).
void release_variables(Variables& variables);

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

// ---- Control-statement reader -----------------------------------------------------------------
// Control statements come from the command line, the control input (a file or the standard
// input) and INCLUDE files, which nest. The reader reads logical lines into the line area, keeps
// a copy of every line for the run, cuts lines into statements at the separator and hands each
// one to the compiler through StatementHooks.

// Sizes of the driver's areas the reader works in.
inline constexpr int kLineAreaSize = 528;      // prefix, logical line, zero byte, stop flag
inline constexpr int kLinePrefix = 10;         // listing prefix before the line
inline constexpr int kLineCapacity = 516;      // longest logical line, its line feed included
inline constexpr int kStopFlagOffset = 527;    // last byte of the line area: 0xFF stops reading
inline constexpr uint8_t kStopReading = 0xFF;  // value of the stop flag that stops reading
inline constexpr int kStatementBufferSize = 528;
inline constexpr int kMaxIncludeDepth = 16;  // INCLUDE files open at once, at most
inline constexpr int kLastTypeEnd = 9;       // last statement type after END, QUIT, CANCEL

// Messages of the reader.
inline constexpr int kMsgNoControlFile = 156;  // control or INCLUDE file cannot be opened
inline constexpr int kMsgLeftOver = 45;        // tokens left unconsumed by the compiler

// One open control or INCLUDE file; a pool block "ii". Entries are reused, never released.
struct ControlEntry {
  ControlEntry* next = nullptr;      // the entry of the file included from this one
  ControlEntry* previous = nullptr;  // the entry that included this one; null for the bottom
  std::FILE* stream = nullptr;       // the open stream, or null
  bool owns_stream = false;          // the stream is ours to close (not the standard input)
  char* saved_rest = nullptr;        // pool text "iibuf": the INCLUDE line after the INCLUDE
  int32_t saved_length = 0;          // its length; 0 when there is none
  char* name = nullptr;              // pool text "iifn": the name as opened
  int32_t name_length = 0;           // its length
};

// The statement-text store: a chain of kTextBlockSize-byte pool blocks ("cc1", then "ccn"). A
// block begins with a TextBlock header; entries follow it: a 2-byte big-endian length L, the L
// bytes of the line (no line feed), a zero byte. Compiled statements keep pointers into the
// entries (their comments), so the store lives for the run.
inline constexpr int kTextBlockSize = 32016;
struct TextBlock {
  TextBlock* next = nullptr;      // next block of the chain
  TextBlock* previous = nullptr;  // previous block
  int32_t used = 0;               // bytes of entries after the header
};
struct TextStore {
  TextBlock* first = nullptr;        // first block ("cc1")
  TextBlock* last = nullptr;         // block taking new entries
  const uint8_t* current = nullptr;  // entry of the line being compiled, null before any
  int32_t current_offset = 0;        // where the statement text starts inside that entry
};

// What the reader works on. The driver sets every pointer before the first statement; the areas
// belong to the work block, the flags and counters to the run state.
struct Reader {
  char* line_area = nullptr;           // kLineAreaSize bytes: prefix, line, stop flag at 527
  char* statement = nullptr;           // kStatementBufferSize bytes: the text being cut up
  TokenList* tokens = nullptr;         // the run's token list
  const uint8_t* separator = nullptr;  // statement separator (special area); 0 = none
  std::string program_dir;             // folder of the program, ending with "/" (file finder)
  std::FILE* log = nullptr;            // log stream; null: base::log_stream()
  TextStore* store = nullptr;          // statement texts of the run
  ControlEntry* bottom = nullptr;      // first control entry (the control input)
  ControlEntry* current = nullptr;     // entry being read
  int32_t* line_counter = nullptr;     // physical lines read
  const uint8_t* last_statement_type = nullptr;  // 9 after END, QUIT, CANCEL: reading ends
  bool* include_pending = nullptr;               // set by include_control_file, cleared by the loop
  bool* no_echo = nullptr;                 // NOPCTL: statements not listed (a message cancels it)
  bool* comments_kept = nullptr;           // set when a comment is attached to a statement
  const int32_t* summary_level = nullptr;  // PRTSUM level: 3 keeps every comment
  report::Messages* messages = nullptr;    // pending message (45 raised here)
  bool listing_started = false;            // the statement section of the listing has begun
};

// What the statement loop asks of other subsystems.
struct StatementHooks {
  // Compiles the tokenised statement; returns its selection id (0 when it makes no record).
  std::function<int32_t()> compile;
  // Lists the line area (prefix and statement) with the selection id.
  std::function<void(const char* line_area, int32_t selid)> list;
  // Spaces n lines in the listing.
  std::function<void(int32_t lines)> space;
  // Prints the pending message; returns the count of messages printed in the run.
  std::function<int32_t()> print_message;
  // Attaches a comment (text in the store, length) to the statement just compiled.
  std::function<void(const char* text, int32_t length)> attach_comment;
};

// Opens the control input or an INCLUDE file: selects an entry (the bottom one when none is
// current, else the current one's next, else a new one after the current), closes what it held,
// and opens `name` ("stdin": the standard input; null: "iimake_No_Name") through the file
// finder. A trailing line feed and carriage return are dropped and "\" turned into "/". Returns
// 0, or 156 when the file cannot be had; *entry (when given) is the entry used.
int open_control_input(Reader& reader, const char* name, int32_t length,
                       ControlEntry** entry = nullptr);
// The INCLUDE statement: opens the file as the next control input and sets include_pending; the
// statement loop reads it after the statement. A file already open in the nesting chain, or a
// nesting deeper than kMaxIncludeDepth, is refused with a line on the log. Returns 0 or 156.
int include_control_file(Reader& reader, const char* name, int32_t length);
// Opens a file for reading: the name as given, then in the program's folder, then (for a name
// without "/") along PATH. Not found: "Error: <name> file not found." on the log, null.
std::FILE* find_control_file(const std::string& name, const std::string& program_dir,
                             std::FILE* log);
// Reads one logical line (continuations joined) into the line area after its prefix; returns
// it, ending with exactly one line feed, or null at end of input. Continuation lines count.
char* read_logical_line(Reader& reader, std::FILE* stream);
// Appends a line (without its line feed) to the store; returns its entry.
const uint8_t* save_line(TextStore& store, const char* text, int32_t length);
// The length of a store entry and its text.
int32_t entry_length(const uint8_t* entry);
inline const char* entry_text(const uint8_t* entry) {
  return reinterpret_cast<const char*>(entry + 2);
}
// Examines the command-line statements for a final END, E or "/*": returns 1 when found (the
// trailing separators are then dropped; "/*" sets *no_control_input), else 0. The text ends
// with a line feed afterwards. The list is used to tokenise the last statement.
int end_of_inline_statements(std::string& text, uint8_t separator, TokenList& list,
                             bool* no_control_input);
// Closes every control stream (never the standard input) and releases the control entries and
// the statement-text store; for close-down and tests.
void release_reader(Reader& reader);
// Closes every control stream (never the standard input); the entries and the store, which
// compiled statements point into, stay. For close-down: the control input is read by then.
void close_control_inputs(Reader& reader);
// Reads, cuts, tokenises, compiles and lists statements until "/*", end of the control input,
// END/QUIT/CANCEL, the stop flag or the tenth message. first_text: the command-line statements
// (empty: none), compiled first. Returns the number of statements compiled.
int read_statements(Reader& reader, const StatementHooks& hooks, std::string_view first_text = {});

}  // namespace recsift::input

#endif  // RECSIFT_INPUT_INPUT_H_
