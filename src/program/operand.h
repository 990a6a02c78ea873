// The operand descriptor: what a statement names as data (a field of the record or work area, a
// literal, a number, a special variable or a condition's special operand), as the operand
// compiler leaves it and as operand resolution turns it into an address and a length.
//
// A descriptor is a pool block "FLD" (zero-filled: every enum below has its "none" at 0). The
// position, the length and the end position are each an *expression*: a chain of terms in the
// order written. The first term of each chain sits in the descriptor itself (pos, len, end); the
// further terms are pool blocks "fldx" linked through Term::next.
//
// Meaning of a chain (resolution):
//  - Every term contributes one signed number. kAbsolute: its value (the number as written, the
//    sign applied). kRecordLength: the current record length. kPointer: the pointer variable's
//    1-based position (failing when the pointer is null). kSpecial: the 1-based position of the
//    variable's storage counted from the current record base (address - base + 1). A term with
//    kTermNegative contributes the negated number (absolute terms carry their sign in `value`
//    and never have the flag).
//  - A position (pos, and end) names the 1-based position that the sum of its terms says: the
//    0-based offset is (sum - 1). So POS 10 is offset 9, POS L the last byte, POS L-1 the byte
//    before it, POS @P+1 the byte after the one @P points at, POS DATE+1 the date area's second
//    byte. Values are stored as written, never "one lower": the one subtraction is resolution's.
//  - A length of kind kFixed is len.value; of kind kExpression, the sum of the len chain
//    (LEN L-4: the record length minus 4).
//  - A chain containing a kPointer or kSpecial term is pointer- or area-relative: see
//    Operand::resolved_flags for what resolution records about it.
#ifndef RECSIFT_PROGRAM_OPERAND_H_
#define RECSIFT_PROGRAM_OPERAND_H_

#include <cstdint>

namespace recsift::program {

// What one term of a position, length or end-position expression stands for.
enum class TermKind : uint8_t {
  kNone = 0,          // no term (an empty chain)
  kAbsolute = 1,      // a decimal number; Term::value as written, signed
  kRecordLength = 2,  // L, LRECL: the current record length
  kPointer = 4,       // @ (number 0), @name (its name-index number), DIFF (number 1)
  kSpecial = 5,       // a special-variable name: Term::special, Term::offset
  // A computed number (Operand::kind kComputed) holds values, not places: its terms are changed
  // into these kinds. kNumber: Term::value; kNumberRecordLength: the current record length;
  // kNumberPointer: the pointer's value (0 when null).
  kNumber = 6,
  kNumberRecordLength = 7,
  kNumberPointer = 8,
};

// Term flag bits.
enum TermFlag : uint8_t {
  kTermNegative = 0x01,  // the term was written after "-" (non-absolute terms only)
};

// Kinds of special variables (a term of kind kSpecial). Except kDateArea and kHeading, the values
// are the group bytes of the name table the compiler matches (see compiler/operand.cc).
// Resolution gives each the address of the storage that holds its value:
//  - kAreaField: the 4-byte field at Term::offset of the special-variable area. A position that
//    is just such a name becomes an operand of kind kAreaField (below), not a kSpecial term.
//  - kDateArea: the run's 128-byte date area (DATE); offset 0 = its first byte.
//  - kHeading: the first heading line of the listing (HEAD, 160 bytes).
//  - the others designate run-time data that resolution supplies where it has a source and
//    otherwise fails the operand: the current file's name (kFileName, kDsn), its size (kFileSize),
//    the header of the current file (kFileHeader), the parameters (kParm), CALL arguments (kArg),
//    the comparison pointer's data (kDiff; only reachable as written in mixed case, which the
//    tokenizer never delivers), and a set of names kept for compatibility with statement files
//    written for other systems (kCn, kComreg, kPcb, kQelname, kFt, kRpl, kSqlda, kSqlma, kSqlca,
//    kVolid, kRba), which have no source here.
enum class SpecialKind : uint8_t {
  kNone = 0,
  kFt = 0x06,
  kAreaField = 0x0A,
  kComreg = 0x0B,  // COMRG, COMREG, UPSI
  kCn = 0x0C,
  kPcb = 0x0E,  // PCB, STATUS, SEG
  kQelname = 0x0F,
  kParm = 0x10,
  kDsn = 0x15,
  kDiff = 0x16,
  kFileName = 0x17,
  kFileSize = 0x18,
  kFileHeader = 0x19,
  kRpl = 0x1A,
  kSqlda = 0x1B,
  kSqlma = 0x1C,
  kSqlca = 0x1D,
  kVolid = 0x1E,
  kRba = 0x1F,
  kArg = 0x20,
  kDateArea = 0x21,  // DATE (grouped with the area fields in the name table, but not one)
  kHeading = 0x22,   // HEAD (likewise)
};

// One term of an expression.
struct Term {
  TermKind kind = TermKind::kNone;           // what the term stands for
  uint8_t flags = 0;                         // TermFlag bits
  SpecialKind special = SpecialKind::kNone;  // kSpecial: which variable
  int32_t value = 0;                         // kAbsolute, kNumber: the number, signed
  int32_t pointer = 0;                       // kPointer, kNumberPointer: pointer-variable number
  int32_t offset = 0;                        // kSpecial: offset of the field in its area
  Term* next = nullptr;                      // the next term ("fldx"), null for the last
};

// What the operand as a whole is; resolution switches on it.
enum class OperandKind : uint8_t {
  kNone = 0,       // nothing compiled (an empty slot's descriptor)
  kField = 1,      // data at the position `pos` with the length len_kind/len
  kLiteral = 2,    // the bytes lit[0 .. lit_length): a character, hex or numeric literal, or a
                   // value that run time fills (the GEN value)
  kImmediate = 3,  // the 4-byte binary number `immediate` held in the descriptor
  kComputed = 4,   // a number: the sum of the pos chain, whose terms are number kinds
  kAreaField = 5,  // the 4-byte big-endian field at pos.offset of the special-variable area
                   // (a special-variable name of the area written alone); never clipped
  kTable = 6,      // a built-in 256-byte translate table: `immediate` holds a TranslateTable
  // Special operands of conditions: 4-byte binary numbers that evaluation fills into
  // `immediate` before comparing.
  kRecordCount = 7,  // IN, INCOUNT, REC: records read from the statement's file
  kListingLine = 8,  // LINE: the current listing line (page depth - lines left + 1)
  kReturnCode = 9,   // RC, RETCD, RETCODE: the run's return code
};

// Built-in translate tables of TRAN (OperandKind::kTable).
enum TranslateTable : int32_t {
  kTableUpper = 1,   // a-z to A-Z
  kTableLower = 2,   // A-Z to a-z
  kTablePrint = 3,   // unprintable bytes to "."
  kTableAscii = 4,   // EBCDIC to ASCII
  kTableEbcdic = 5,  // ASCII to EBCDIC
};

// How the operand's length is given.
enum class LengthKind : uint8_t {
  kNone = 0,          // no length was written (the statement's compile step may decide one)
  kFixed = 1,         // len.value bytes (a single absolute term)
  kExpression = 2,    // the sum of the len chain (LEN L-4, LEN @P)
  kToEnd = 3,         // up to and including the end position `end`: end - start + 1
  kRest = 4,          // to the end of the addressable area, at most len.value bytes when that
                      // is above 0
  kSameAsFirst = 5,   // the resolved length of the statement's first operand
  kSameAsSecond = 6,  // the resolved length of the statement's second operand
  kTwiceSecond = 7,   // conversions to hex text: twice the second operand's resolved length
  kHalfSecond = 8,    // conversions from hex text: half the second operand's resolved length
};

// Numeric types (Operand::type).
enum NumericType : uint8_t {
  kTypeCharacter0 = 0,   // not given: character data
  kTypeBinary = 2,       // big-endian signed binary (TYPE B)
  kTypeCharacter = 3,    // character (TYPE C; character literals)
  kTypePacked = 4,       // packed decimal (TYPE P)
  kTypeF = 6,            // TYPE F
  kTypeNumericText = 7,  // decimal digits as text (TYPE Z; long numeric literals)
};

// Format byte (Operand::format).
enum Format : uint8_t {
  kFormatUndecided = 0,    // a field without a length: the statement's compile step decides
  kFormatPointerTest = 6,  // a NULL test of a pointer variable
  kFormatLiteral = 8,      // literal, immediate, computed number, area field, special operand
  kFormatField = 10,       // a record or work-area field with a length
};

// Position flag bits (Operand::pos_flags).
enum PositionFlag : uint8_t {
  kPosBelowOne = 0x01,  // an all-absolute position that names a position below 1
  kPosKeyword = 0x02,   // the operand began with P or POS
  kPosRange = 0x04,     // written as a range (from ... to): a second position gave the end
};

// Length flag bits (Operand::len_flags).
enum LengthFlag : uint8_t {
  kLenBelowOne = 0x01,  // a fixed length below 1 was written (LEN 0, LEN -4). Resolution fails a
                        // negative length; a length of 0 is an empty field
  kLenFromAt = 0x02,    // the length was written before AT, FR, FROM or INTO ("10 FR 21")
};

// Run-time flags set by resolution (Operand::resolved_flags).
enum ResolvedFlag : uint8_t {
  kResPointerRelative = 0x01,  // the position came from a pointer variable
  kResOutside = 0x02,          // that pointer lay outside the addressable area
  kResUnclipped = 0x04,        // the operand is not clipped against the addressable length
};

// An operand descriptor ("FLD").
struct Operand {
  // ---- Set by the compiler ---------------------------------------------------------------
  OperandKind kind = OperandKind::kNone;  // what the operand is
  uint8_t type = 0;                       // NumericType
  uint8_t format = kFormatUndecided;      // Format
  uint8_t pos_flags = 0;                  // PositionFlag bits
  Term pos;  // kField, kComputed: position chain; kAreaField: pos.offset
  LengthKind len_kind = LengthKind::kNone;  // how the length is given
  uint8_t len_flags = 0;                    // LengthFlag bits
  Term len;                                 // kFixed: len.value; kExpression: the length chain;
                                            // kRest: the cap in len.value (0 = none)
  Term end;                                 // kToEnd: the end position chain (a position, as pos)
  int32_t immediate = 0;   // kImmediate: the number as written; kTable: the TranslateTable;
                           // special operands: filled by evaluation
  uint8_t* lit = nullptr;  // kLiteral: the bytes (pool text "lit", or storage of the run)
  int32_t lit_length = 0;  // kLiteral: their count

  // ---- Set by resolution, valid until the next resolution of the descriptor -------------
  uint8_t* address = nullptr;    // byte 1 of the operand; null when resolution failed
  int32_t length = 0;            // resolved length (after clipping)
  int32_t position = 0;          // 1-based position from the record base; -1 for a literal
  int32_t requested_length = 0;  // the length before clipping (0 when not clipped)
  uint8_t resolved_flags = 0;    // ResolvedFlag bits
  uint8_t scratch[8] = {};       // big-endian copy of an immediate or computed number, so that
                                 // it has an address
};

}  // namespace recsift::program

#endif  // RECSIFT_PROGRAM_OPERAND_H_
