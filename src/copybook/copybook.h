// The copybook reader of recsift-copybook: turns the data description of a COBOL copybook into a
// record layout (every group and elementary item with its offset, length and number form), and
// writes that layout as control statements.
//
// The subset read is the one fixed-format record descriptions use: levels 01-49 with groups,
// PICTURE strings of X, A, 9, S, V and P, the usages DISPLAY, binary, native binary and packed
// decimal, SIGN, fixed OCCURS, OCCURS DEPENDING ON for a table that ends its record, REDEFINES
// and FILLER. Anything else stops the reading with an error that names the line: a layout is
// either exact or not produced at all.
//
// The layer stands on its own: it needs none of recsift's libraries, only the statement forms
// (EQU, POS, TYPE; READ, CSV, COLUMN) that the control files it writes use.
#ifndef RECSIFT_COPYBOOK_COPYBOOK_H_
#define RECSIFT_COPYBOOK_COPYBOOK_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace recsift::copybook {

// How an elementary item holds its value.
enum class Kind {
  kText,    // characters (PIC X or A)
  kZoned,   // one digit per byte (USAGE DISPLAY numbers)
  kPacked,  // two digits per byte, sign in the last low nibble (COMP-3)
  kBinary,  // big-endian two's complement of 2, 4 or 8 bytes (COMP, COMP-4, BINARY, COMP-5)
};

// Where a zoned number keeps its sign.
enum class SignPosition {
  kNone,              // unsigned, or not a zoned number
  kTrailing,          // over-punched in the last digit (the default for S)
  kLeading,           // over-punched in the first digit
  kTrailingSeparate,  // a "+" or "-" byte after the digits
  kLeadingSeparate,   // a "+" or "-" byte before the digits
};

// One item of the chosen layout, in record order. A group item comes before its fields.
struct Item {
  std::string name;     // COBOL name, "-" turned into "_", "_n" added per enclosing OCCURS index
  int line = 0;         // line of the copybook where the item's entry begins
  int depth = 0;        // nesting depth: 0 for the outermost items
  bool group = false;   // a group item: the items of greater depth that follow belong to it
  bool filler = false;  // FILLER or unnamed: bytes without a field of their own
  int64_t offset = 0;   // 0-based offset of the first byte in the record
  int64_t length = 0;   // bytes the item takes (for a group: all of its fields)
  Kind kind = Kind::kText;  // elementary items: the form of the value
  bool is_signed = false;   // numbers: the PICTURE has an S
  int digits = 0;           // numbers: digit positions held (9s; P positions are not held)
  int scale = 0;            // numbers: decimal places (V99 gives 2; P right of the digits gives -n)
  SignPosition sign = SignPosition::kNone;  // zoned numbers: where the sign is
};

// A table whose number of occurrences a count field gives (OCCURS ... DEPENDING ON). It ends
// its record, so nothing else moves with the count; the layout holds its most occurrences, and
// a record holding fewer is shorter.
struct VariableTable {
  std::string name;          // the table item's name, as items are named
  int line = 0;              // line of the copybook where its entry begins
  int64_t min_occurs = -1;   // fewest occurrences (n of OCCURS n TO m); -1 when none is written
  int64_t max_occurs = 0;    // most occurrences: the layout holds this many
  std::string depending_on;  // the count field's name, "-" turned into "_"
  int64_t offset = 0;        // 0-based offset of the first occurrence in the record
  int64_t unit = 0;          // bytes of one occurrence
};

// A record layout: the items that the chosen REDEFINES alternatives leave.
struct Layout {
  std::vector<Item> items;    // groups and elementary items in record order
  int64_t record_length = 0;  // bytes of the record: the longest alternative, tables at their most
  std::optional<VariableTable> variable;  // the table of varying size, when the layout has one
};

// What the caller chooses.
struct Options {
  // Names (as in the copybook, or with "_" for "-") of REDEFINES alternatives to use instead of
  // the first layout of their area; an alternative of several level-01 records counts too.
  std::vector<std::string> redefines;
};

// Why a copybook could not be read.
struct Error {
  int line = 0;        // line number of the copybook (1-based); 0 when no line is at fault
  std::string text;    // that line's text, trimmed of blanks (empty when line is 0)
  std::string reason;  // what is wrong, in words
};

// Reads a copybook's text into a layout. Returns 0, or 1 with *error filled (the layout is then
// left empty).
int parse_copybook(std::string_view source, const Options& options, Layout* layout, Error* error);

// Writes one EQU statement per named elementary item ("EQU %NAME% POS first LEN n", with
// "TYPE t" after a number) and a
// comment line per group. Returns 0, or 1 with *error filled when two fields would get the same
// variable name (a later EQU would silently replace the earlier one).
int write_equ(const Layout& layout, std::string* out, Error* error);

// The TYPE letter of the statement language that reads an item's value: C, Z, P or B.
char type_letter(const Item& item);

// An item's bytes as an operand: "POS first LEN n" (1-based first byte).
std::string field_place(const Item& item);

// A comment line ("* ...\n") saying which table varies, its place and the record lengths it
// allows.
std::string table_note(const VariableTable& table);

// How the records of the file a CSV control file reads are held.
enum class RecordFormat {
  kF,   // fixed length, unblocked
  kFB,  // fixed length, blocked
  kV,   // variable length with a 4-byte descriptor per record
  kVB,  // variable length, blocked (block descriptors as well)
};

// What a CSV control file says besides the columns.
struct CsvOptions {
  std::string copybook;                   // the copybook's file name, for the opening comment
  RecordFormat recfm = RecordFormat::kF;  // the input file's record format
  int64_t lrecl = 0;     // the input's LRECL; 0: the record length (F, FB) or the default (V, VB)
  char separator = ',';  // between cells; '\t' for a tab. Not '"', which encloses cells
  bool ebcdic = false;   // the records are EBCDIC: text translated, zoned digits read as EBCDIC
  bool trim = false;     // trailing blanks of text cells are dropped
};

// Writes a control file that reads the records of %1 and writes each as one CSV line to %2,
// after a header line of the column names: one COLUMN statement per named elementary item, in
// record order. Returns 0, or 1 with *error filled when the layout has no such item or a column
// would not fit a control line.
int write_csv(const Layout& layout, const CsvOptions& options, std::string* out, Error* error);

// The usual one-line form of an error: "FILE:LINE: REASON: TEXT" (parts that are empty left out).
std::string describe(const Error& error, std::string_view file);

}  // namespace recsift::copybook

#endif  // RECSIFT_COPYBOOK_COPYBOOK_H_
