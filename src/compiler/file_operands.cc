// The file-operand compile step: reads the file operand and the file keywords of a file-verb
// statement (READ, WRITE, UPDATE, INSERT, DELETE, OPEN, CLOSE) or the routine name of a CALL,
// and leaves the file's control block in the statement record.
//
// Exports compile_file_operands (compiler.h). Owns the file keyword table.
//
// Invariants:
//  - File names are taken as typed (the token's source text, case kept, the pieces of a split
//    word included); keywords and their values are matched upper-cased.
//  - A keyword with a value is written keyword=value: only a token marked as following "=" is a
//    value. A keyword whose value is missing either raises its message or, for the words the
//    operand compiler also uses (L, B), is left for the rest of the statement.
//  - Operand keywords (INTO, FROM, KEY ...) are compiled where they stand, so a keyword-like word
//    inside their operand is never taken as a file keyword.
//  - A failed definition is abandoned: a file created by the statement is freed again (its name
//    cleared), a file defined before gets its earlier state back.
#include <cstdint>
#include <string_view>

#include "compiler/compiler.h"
#include "convert/special_area.h"
#include "files/files.h"
#include "input/input.h"
#include "program/operand.h"
#include "program/program.h"

namespace recsift::compiler {
namespace {

using files::FileKeyword;
using files::OpenKind;
using input::Token;
using input::TokenList;
using program::LengthKind;
using program::Operand;
using program::OperandKind;

// What a keyword of the table does.
enum class Role : uint8_t {
  kType,       // a file type: applied before the other keywords
  kFile,       // a setting of the file (apply_file_keyword)
  kDirectory,  // a listing option: a file keyword only on DIRECTORY and DIRDATA files
  kKeyed,      // a keyed mode of READ: access mode and key operand (slot 1)
  kInto,       // READ: the receiving area (slot 0)
  kFrom,       // WRITE, UPDATE, INSERT: the data written (slot 0)
  kKeyFrom,    // output to an indexed file: the key source (slot 1)
  kBackward,   // BWD
  kForward,    // FWD
};

// How a keyword takes its value.
enum class Value : uint8_t {
  kNone,      // no value
  kOptional,  // keyword or keyword=value
  kRequired,  // keyword=value; bare: the row's message, or left alone when it has none
  kOperand,   // an operand follows (with or without "=")
};

// Operand forms of the operand keywords: data (FROM, KEYFROM, a key) is a literal or a field, the
// INTO area a field or a position, a byte address or record number a number or a field. A field is
// "POS p" with a length or an end, "p,e" or "p e"; its length keywords are looked for only right
// after it, since L and LRECL elsewhere on the statement are file keywords.
constexpr uint32_t kFieldForms = kFormPosKeyword | kFormEndPosition | kFormLengthHere;
constexpr uint32_t kDataForms = kFieldForms | kFormCharLiteral;
constexpr uint32_t kAreaForms = kFieldForms | kFormPositionOnly;
constexpr uint32_t kNumberForms = kFormLongNumber | kFormPosKeyword | kFormLengthHere;

struct KeywordRow {
  std::string_view synonyms;  // the synonym list, as matched
  Role role;                  // what the keyword does
  Value value;                // how it takes a value
  FileKeyword keyword;        // kType, kFile, kDirectory: the effect on the file
  int missing;                // kRequired without a value: message; 0 = not a keyword then
  uint8_t access;             // kKeyed: the statement's access mode
  uint32_t forms;             // operand keywords: the accepted operand forms
};

constexpr int kMissing = files::kMsgValueMissing;

// The file keyword table: every file keyword, its synonyms and its value.
constexpr KeywordRow kKeywords[] = {
    {"INDEXED,ISAM,IX,IS", Role::kType, Value::kNone, FileKeyword::kIndexed, 0, 0, 0},
    {"VSAM,KSDS,ESDS,RRDS", Role::kType, Value::kNone, FileKeyword::kVsam, 0, 0, 0},
    {"DL1,DLI,DL/1,DL/I,IMS", Role::kType, Value::kNone, FileKeyword::kDl1, 0, 0, 0},
    {"ADABAS,ADA", Role::kType, Value::kNone, FileKeyword::kAdabas, 0, 0, 0},
    {"VTOC", Role::kType, Value::kNone, FileKeyword::kVtoc, 0, 0, 0},
    {"DIRECTORY,DCTY,DIR", Role::kType, Value::kNone, FileKeyword::kDirectory, 0, 0, 0},
    {"DIRDATA,DIRD,DD", Role::kType, Value::kNone, FileKeyword::kDirdata, 0, 0, 0},
    {"DEFER", Role::kFile, Value::kNone, FileKeyword::kDefer, 0, 0, 0},
    {"VOL,CAT", Role::kFile, Value::kRequired, FileKeyword::kVolume, kMissing, 0, 0},
    {"DEV,DEVICE", Role::kFile, Value::kRequired, FileKeyword::kDevice, files::kMsgBadDevice, 0, 0},
    {"PASS,PASSWD,PASSWORD", Role::kFile, Value::kOptional, FileKeyword::kPassword, 0, 0, 0},
    {"NOLABEL,NL,NOLAB", Role::kFile, Value::kNone, FileKeyword::kNoLabel, 0, 0, 0},
    {"LABEL", Role::kFile, Value::kRequired, FileKeyword::kLabel, files::kMsgBadLabel, 0, 0},
    {"LTM", Role::kFile, Value::kRequired, FileKeyword::kLtm, kMissing, 0, 0},
    {"OP,OPEN", Role::kFile, Value::kRequired, FileKeyword::kOpenOption, files::kMsgBadOpenOption,
     0, 0},
    {"CL,CLOSE", Role::kFile, Value::kRequired, FileKeyword::kCloseOption,
     files::kMsgBadCloseOption, 0, 0},
    {"RECFM", Role::kFile, Value::kRequired, FileKeyword::kRecfm, files::kMsgBadRecfm, 0, 0},
    {"EOL", Role::kFile, Value::kRequired, FileKeyword::kEol, kMissing, 0, 0},
    {"KEEPCTLZ", Role::kFile, Value::kNone, FileKeyword::kKeepCtlz, 0, 0, 0},
    {"TABS,TAB", Role::kFile, Value::kRequired, FileKeyword::kTabs, kMissing, 0, 0},
    {"L,LRECL,RECSIZE", Role::kFile, Value::kRequired, FileKeyword::kLrecl, 0, 0, 0},
    {"NORDW", Role::kFile, Value::kNone, FileKeyword::kNoRdw, 0, 0, 0},
    {"RDW", Role::kFile, Value::kNone, FileKeyword::kRdw, 0, 0, 0},
    {"NOBDW", Role::kFile, Value::kNone, FileKeyword::kNoBdw, 0, 0, 0},
    {"BDW", Role::kFile, Value::kNone, FileKeyword::kBdw, 0, 0, 0},
    {"BUFNO", Role::kFile, Value::kRequired, FileKeyword::kBufno, kMissing, 0, 0},
    {"WTO", Role::kFile, Value::kOptional, FileKeyword::kWto, 0, 0, 0},
    {"FAIL", Role::kFile, Value::kRequired, FileKeyword::kFail, files::kMsgBadFail, 0, 0},
    {"TRUNC", Role::kFile, Value::kNone, FileKeyword::kTrunc, 0, 0, 0},
    {"NOTRUNC", Role::kFile, Value::kNone, FileKeyword::kNoTrunc, 0, 0, 0},
    {"NEWBLK", Role::kFile, Value::kOptional, FileKeyword::kNewblk, 0, 0, 0},
    {"UPD,UPDATE", Role::kFile, Value::kNone, FileKeyword::kUpdate, 0, 0, 0},
    {"FILL,PAD", Role::kFile, Value::kOptional, FileKeyword::kFill, 0, 0, 0},
    {"NOFILL", Role::kFile, Value::kNone, FileKeyword::kNoFill, 0, 0, 0},
    {"KP,KEYPOS,KEYLOC", Role::kFile, Value::kRequired, FileKeyword::kKeyPosition, kMissing, 0, 0},
    {"RKP", Role::kFile, Value::kRequired, FileKeyword::kRelativeKeyPosition, kMissing, 0, 0},
    {"KL,KEYLEN", Role::kFile, Value::kRequired, FileKeyword::kKeyLength, kMissing, 0, 0},
    {"RESET,REUSE", Role::kFile, Value::kNone, FileKeyword::kReset, 0, 0, 0},
    {"APPEND,APP", Role::kFile, Value::kNone, FileKeyword::kAppend, 0, 0, 0},
    {"FROM,FR", Role::kFrom, Value::kOperand, FileKeyword::kDefer, 0, 0, kDataForms},
    {"KF,KEYFROM", Role::kKeyFrom, Value::kOperand, FileKeyword::kDefer, 0, 0, kDataForms},
    {"CO,CYLOFL", Role::kFile, Value::kRequired, FileKeyword::kCylofl, kMissing, 0, 0},
    {"MI,MSTIND", Role::kFile, Value::kRequired, FileKeyword::kMstind, kMissing, 0, 0},
    {"INTO", Role::kInto, Value::kOperand, FileKeyword::kDefer, 0, 0, kAreaForms},
    {"BWD", Role::kBackward, Value::kNone, FileKeyword::kDefer, 0, 0, 0},
    {"FWD", Role::kForward, Value::kNone, FileKeyword::kDefer, 0, 0, 0},
    {"KEY,KEQ", Role::kKeyed, Value::kOperand, FileKeyword::kDefer, 0, program::kAccessKeyEqual,
     kDataForms},
    {"START,STARTKEY,STARTKGE", Role::kKeyed, Value::kOperand, FileKeyword::kDefer, 0,
     program::kAccessStartKeyGe, kDataForms},
    {"STARTKEQ", Role::kKeyed, Value::kOperand, FileKeyword::kDefer, 0, program::kAccessStartKeyEq,
     kDataForms},
    {"KGE", Role::kKeyed, Value::kOperand, FileKeyword::kDefer, 0, program::kAccessKeyGreaterEqual,
     kDataForms},
    {"RBA", Role::kKeyed, Value::kOperand, FileKeyword::kDefer, 0, program::kAccessRba,
     kNumberForms},
    {"STARTRBA", Role::kKeyed, Value::kOperand, FileKeyword::kDefer, 0, program::kAccessStartRba,
     kNumberForms},
    {"STARTREC,STARTISN", Role::kKeyed, Value::kOperand, FileKeyword::kDefer, 0,
     program::kAccessStartRecord, kNumberForms},
    {"REC,ISN", Role::kKeyed, Value::kOperand, FileKeyword::kDefer, 0, program::kAccessRecordNumber,
     kNumberForms},
    {"BLKSIZE,BLK,B", Role::kFile, Value::kRequired, FileKeyword::kBlksize, 0, 0, 0},
    {"SORT,SORTDIR", Role::kDirectory, Value::kRequired, FileKeyword::kSort, files::kMsgBadSort, 0,
     0},
    {"NOSORT", Role::kDirectory, Value::kNone, FileKeyword::kNoSort, 0, 0, 0},
    {"SUB,SUBDIR", Role::kDirectory, Value::kOptional, FileKeyword::kSub, 0, 0, 0},
    {"NOSUB", Role::kDirectory, Value::kNone, FileKeyword::kNoSub, 0, 0, 0},
};

// Words of the file operand itself.
constexpr std::string_view kFileWord = "F,FILE";
constexpr std::string_view kTableWords = "TAB,TABLE,SQL";
constexpr std::string_view kDsnWord = "DSN";
constexpr std::string_view kNameForms = "CMS,BFS";
constexpr std::string_view kDirectoryWords = "DIRECTORY,DCTY,DIR,DIRDATA,DIRD,DD";
// Identifier of the file named by DSN=value alone.
constexpr std::string_view kDefaultFileName = "DEFAULTF";
// CMS name parts: file name, file type, file mode.
constexpr size_t kCmsNameMax = 8;
constexpr size_t kCmsModeMax = 2;
// Identifiers and routine names fill an 8-character field.
constexpr size_t kShortNameMax = 8;

// ---- Tokens ---------------------------------------------------------------------------------

bool is_bracket(const Token& t) {
  const uint32_t marks = t.flags & input::kTokMarks;
  return marks == input::kTokOpen || marks == input::kTokClose;
}

bool is_end(const Token& t) {
  return (t.flags & input::kTokEnd) != 0;
}

// The first token from t on that is not consumed and not a bracket; null at the end.
Token* open_from(Token* t) {
  for (; t != nullptr && !is_end(*t); t = t->next) {
    if ((t->flags & input::kTokConsumed) == 0 && !is_bracket(*t)) return t;
  }
  return nullptr;
}

std::string_view text_of(const Token& t) {
  return t.text != nullptr ? std::string_view(t.text, static_cast<size_t>(t.length))
                           : std::string_view();
}

// An unquoted, unsplit word that could be a keyword.
bool is_keyword_word(const Token& t) {
  return (t.flags & (input::kTokQuoted | input::kTokHex | input::kTokSplit)) == 0 &&
         (t.flags & input::kTokWord) != 0 && t.text != nullptr;
}

bool is_value(const Token* t) {
  return t != nullptr && (t->flags & input::kTokAfterEquals) != 0;
}

bool same_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

// The token as typed: a quoted string or hex literal is its text; a word is its source (the
// whole span of a word cut into pieces), unless substitution replaced it, when the source no
// longer spells the text.
std::string_view typed_text(const Token& t) {
  const std::string_view text = text_of(t);
  if ((t.flags & (input::kTokQuoted | input::kTokHex)) != 0) return text;
  if (t.source == nullptr || t.source_length <= 0) return text;
  const std::string_view source(t.source, static_cast<size_t>(t.source_length));
  if ((t.flags & input::kTokSplit) != 0 || same_ignoring_case(source, text)) return source;
  return text;
}

// Takes token t and the pieces it was cut into; returns it as typed.
std::string_view take_word(TokenList& list, Token* t) {
  const std::string_view typed = typed_text(*t);
  list.current = t;
  input::take_token(list);
  for (Token* piece = t; (piece->flags & input::kTokSplit) != 0 && piece->next != nullptr &&
                         list.current == piece->next;) {
    piece = piece->next;
    input::take_token(list);
  }
  return typed;
}

const KeywordRow* find_row(const Token& t) {
  if (!is_keyword_word(t)) return nullptr;
  for (const KeywordRow& row : kKeywords) {
    if (input::list_contains(row.synonyms, text_of(t))) return &row;
  }
  return nullptr;
}

// True when some open word of the statement is one of `synonyms`.
bool statement_has(TokenList& list, std::string_view synonyms) {
  for (Token* t = open_from(list.head); t != nullptr; t = open_from(t->next)) {
    if (is_keyword_word(*t) && input::list_contains(synonyms, text_of(*t))) return true;
  }
  return false;
}

// ---- Statement kinds ------------------------------------------------------------------------

OpenKind kind_of(program::Op op) {
  switch (op) {
    case program::Op::kRead:
    case program::Op::kConcatenate:  // a CAT file is read after the file before it
      return OpenKind::kInput;
    case program::Op::kWrite:
    case program::Op::kCsv:
      return OpenKind::kOutput;
    case program::Op::kUpdate:
      return OpenKind::kUpdate;
    case program::Op::kInsert:
      return OpenKind::kInsert;
    case program::Op::kDelete:
      return OpenKind::kDelete;
    case program::Op::kCall:
    case program::Op::kCallFile:
      return OpenKind::kExternal;
    default:
      return OpenKind::kNone;
  }
}

bool takes_source(program::Op op) {
  return op == program::Op::kWrite || op == program::Op::kUpdate || op == program::Op::kInsert;
}

// ---- The compile step -------------------------------------------------------------------------

// The state of one statement's file operands.
struct FileOperands {
  Context& ctx;
  TokenList& list;
  program::Statement& stmt;
  files::FileList& files;
  program::Op op;
  OpenKind kind;
  files::FFREC* file = nullptr;
  bool created = false;   // the statement created the file
  files::FFREC saved{};   // the file before the statement (when not created)
  bool indexed = false;   // INDEXED given on this statement
  bool backward = false;  // BWD given
  bool forward = false;   // FWD given
  bool keyed = false;     // a keyed mode given
  bool into = false;      // INTO given

  int fail(int message) { return raise(ctx, message); }

  int name_operand();
  int define(std::string_view typed, bool pattern);
  int call_operand();
  int keywords(bool types);
  int keyword(Token* t, const KeywordRow& row);
  int operand_keyword(const KeywordRow& row);
  int finish();
  void abandon();
};

int FileOperands::define(std::string_view typed, bool pattern) {
  int message = 0;
  files::FFREC* found = files::define_file(files, typed, kind, pattern, &message, &created);
  if (found == nullptr) return fail(message);
  file = found;
  return 0;
}

// The file operand: DSN alone, CMS/BFS names, a plain name, optionally name DSN=value.
int FileOperands::name_operand() {
  if (list.unconsumed > 1) input::match_current(list, kFileWord);
  Token* t = open_from(list.current);
  if (t == nullptr) return 0;  // no file: linking gives the statement the primary input
  list.current = t;

  if (is_keyword_word(*t)) {
    const std::string_view word = text_of(*t);
    if (input::list_contains(kTableWords, word)) return fail(files::kMsgNotAvailable);
    if (word == kDsnWord) {
      input::take_token(list);
      Token* v = open_from(list.current);
      if (!is_value(v)) return fail(files::kMsgValueMissing);
      const std::string_view dsn = take_word(list, v);
      if (int rc = define(kDefaultFileName, false); rc != 0) return rc;
      if (int rc = files::set_data_set_name(*file, kDefaultFileName, dsn); rc != 0) return fail(rc);
      return 0;
    }
    // A keyword with its value (or an operand keyword) in the name's place: no file named.
    const KeywordRow* row = find_row(*t);
    if (row != nullptr && (is_value(open_from(t->next)) || row->value == Value::kOperand)) {
      return 0;
    }
  }

  const bool pattern = statement_has(list, kDirectoryWords);
  std::string cms;  // the host name built from a CMS name
  std::string_view typed;
  if (is_keyword_word(*t) && input::list_contains(kNameForms, text_of(*t))) {
    const bool is_cms = text_of(*t) == "CMS";
    input::take_token(list);
    Token* first = open_from(list.current);
    if (first == nullptr) return fail(files::kMsgBadFileName);
    typed = take_word(list, first);
    if (is_cms) {
      // File name, file type and file mode, separated by blanks or points.
      std::string_view parts[3];
      int count = 0;
      std::string_view rest = typed;
      while (!rest.empty() && count < 3) {
        const size_t dot = rest.find('.');
        parts[count++] = rest.substr(0, dot);
        rest = dot == std::string_view::npos ? std::string_view() : rest.substr(dot + 1);
      }
      if (!rest.empty()) return fail(files::kMsgBadFileName);
      for (Token* p = open_from(list.current);
           count < 3 && p != nullptr && !is_value(p) && find_row(*p) == nullptr;
           p = open_from(list.current)) {
        parts[count++] = take_word(list, p);
      }
      if (count < 2 || parts[0].empty() || parts[0].size() > kCmsNameMax || parts[1].empty() ||
          parts[1].size() > kCmsNameMax || parts[2].size() > kCmsModeMax) {
        return fail(files::kMsgBadFileName);
      }
      // The file mode (a minidisk letter, "*" when absent) has no meaning on this host.
      cms = std::string(parts[0]) + "." + std::string(parts[1]);
      typed = cms;
    }
  } else {
    typed = take_word(list, t);
  }

  // name DSN=value: the name identifies the file, the value is the host file name.
  Token* next = open_from(list.current);
  if (next != nullptr && is_keyword_word(*next) && is_value(open_from(next->next))) {
    const std::string_view word = text_of(*next);
    if (word == "TAB") {
      list.current = next;
      return fail(files::kMsgTableKeyword);
    }
    if (word == "TABLE" || word == "SQL") {
      list.current = next;
      return fail(files::kMsgNotAvailable);
    }
    if (word == kDsnWord) {
      if (typed.size() > kShortNameMax) return fail(files::kMsgBadFileName);
      input::take_token(list);
      const std::string_view dsn = take_word(list, open_from(list.current));
      if (int rc = define(typed, false); rc != 0) return rc;
      if (int rc = files::set_data_set_name(*file, typed, dsn); rc != 0) return fail(rc);
      return 0;
    }
  }
  return define(typed, pattern);
}

// CALL: the routine name only; the rest of the statement are the routine's arguments.
int FileOperands::call_operand() {
  if (list.unconsumed > 1) input::match_current(list, kFileWord);
  Token* t = open_from(list.current);
  if (t == nullptr) return fail(files::kMsgBadFileName);
  const std::string_view name = take_word(list, t);
  // The routine is called by an 8-character name: a longer name or a path would silently
  // call another routine.
  // Messages about the routine or the library mark the routine's name.
  if (name.empty() || name.size() > kShortNameMax ||
      name.find_first_of("/\\") != std::string_view::npos) {
    list.current = t;
    return fail(files::kMsgBadFileName);
  }
  if (int rc = define(name, false); rc != 0) return rc;
  if (int rc = files::load_call_library(files); rc != 0) {
    list.current = t;
    return fail(rc);
  }
  return 0;
}

// One pass over the statement's keywords: the file types first (types = true), then the rest,
// so that the listing options know whether the file is a directory.
int FileOperands::keywords(bool types) {
  for (Token* t = open_from(list.head); t != nullptr;) {
    const KeywordRow* row = (t->flags & input::kTokAfterEquals) == 0 ? find_row(*t) : nullptr;
    if (row == nullptr || (row->role == Role::kType) != types) {
      t = open_from(t->next);
      continue;
    }
    if (int rc = keyword(t, *row); rc != 0) return rc;
    t = open_from(t->next);
  }
  return 0;
}

int FileOperands::keyword(Token* t, const KeywordRow& row) {
  Token* value = open_from(t->next);
  const bool has_value = is_value(value);
  // Without a file of its own (linking gives it the primary input) a statement keeps only its
  // data operand.
  if (file == nullptr && row.role != Role::kInto && row.role != Role::kFrom) return 0;
  // Words that are not file keywords on this statement stay for the rest of it.
  switch (row.role) {
    case Role::kDirectory:
      if (file->file_type != files::kFileDirectory) return 0;
      break;
    case Role::kInto:
      if (op != program::Op::kRead) return 0;
      break;
    case Role::kFrom:
      if (!takes_source(op)) return 0;
      break;
    default:
      break;
  }
  if (row.value == Value::kRequired && !has_value && row.missing == 0) return 0;

  list.current = t;
  input::take_token(list);
  switch (row.role) {
    case Role::kKeyed:
    case Role::kInto:
    case Role::kFrom:
    case Role::kKeyFrom:
      return operand_keyword(row);
    case Role::kBackward:
      backward = true;
      file->backward = true;
      return 0;
    case Role::kForward:
      forward = true;
      file->forward = true;
      return 0;
    case Role::kType:
    case Role::kFile:
    case Role::kDirectory:
      break;
  }
  if (row.value == Value::kRequired && !has_value) return fail(row.missing);
  files::KeywordValue v;
  if (has_value && row.value != Value::kNone) {
    v.given = true;
    v.text = take_word(list, value);
  }
  if (row.keyword == FileKeyword::kIndexed) indexed = true;
  if (int rc = files::apply_file_keyword(files, *file, row.keyword, v, kind); rc != 0) {
    if (v.given) list.current = value;
    return fail(rc);
  }
  return 0;
}

int FileOperands::operand_keyword(const KeywordRow& row) {
  int slot = 0;
  switch (row.role) {
    case Role::kKeyed:
      // Keyed modes belong to READ; one per statement.
      if (op != program::Op::kRead || keyed) return fail(files::kMsgKeyedNotHere);
      keyed = true;
      stmt.access = row.access;
      slot = 1;
      break;
    case Role::kKeyFrom:
      if (kind != OpenKind::kOutput && kind != OpenKind::kInsert) {
        return fail(files::kMsgKeyedNotHere);
      }
      slot = 1;
      break;
    case Role::kInto:
      into = true;
      break;
    default:
      break;
  }
  if (open_from(list.current) == nullptr) return fail(files::kMsgValueMissing);
  list.current = open_from(list.current);
  Operand** operand = &stmt.operands[static_cast<size_t>(slot)];
  if (int rc = compile_operand(ctx, operand, row.forms); rc != 0) return rc;
  // An INTO area without a length reaches to the end of the work area.
  if (row.role == Role::kInto && *operand != nullptr && (*operand)->kind == OperandKind::kField &&
      (*operand)->len_kind == LengthKind::kNone) {
    (*operand)->len_kind = LengthKind::kRest;
    (*operand)->format = program::kFormatField;
  }
  return 0;
}

// Checks that need every keyword of the statement, the defaults, and the primary input.
int FileOperands::finish() {
  if (keyed) {
    if (file->key_position < 0) return fail(files::kMsgBadKeyPosition);
    switch (stmt.access) {
      case program::kAccessKeyEqual:
      case program::kAccessStartKeyEq:
        file->keyed_modes |= files::kKeyedEqual;
        break;
      case program::kAccessKeyGreaterEqual:
      case program::kAccessStartKeyGe:
        file->keyed_modes |= files::kKeyedGreaterEqual;
        break;
      case program::kAccessRba:
      case program::kAccessStartRba:
        file->keyed_modes |= files::kKeyedRba;
        break;
      default:
        file->keyed_modes |= files::kKeyedRecord;
        break;
    }
    if (stmt.access >= program::kAccessStartKeyGe) file->keyed_modes |= files::kKeyedStart;
  }
  if (indexed && !file->key_length_given) return fail(files::kMsgNoKeyLength);
  if ((backward && forward) || (backward && stmt.access == program::kAccessSequential)) {
    return fail(files::kMsgBadDirection);
  }

  files::apply_definition_defaults(files, *file, kind);

  if (file->predefined == files::kPredefDummy) {
    // The dummy file needs no I/O: its READ only meets end of file, its other verbs do nothing.
    if (op == program::Op::kRead) {
      stmt.op = program::Op::kDummr;
    } else if (kind != OpenKind::kNone) {
      stmt.op = program::Op::kDummy;
    }
  }

  if (op == program::Op::kRead && ctx.special != nullptr && !into) {
    const int32_t work = convert::SpecialArea(ctx.special).get(convert::kSpWorkLength);
    if (work > 0 && file->lrecl > work) return fail(files::kMsgWorkAreaShort);
  }
  if (op == program::Op::kRead && program::is_action(stmt.type) && files.primary_input == nullptr) {
    files.primary_input = file;
    files.primary_read = &stmt;
  }
  return 0;
}

void FileOperands::abandon() {
  if (file == nullptr) return;
  if (created) {
    file->name[0] = 0;  // free for the next definition
  } else {
    *file = saved;
  }
  if (files.current == file) files.current = nullptr;
  file = nullptr;
}

}  // namespace

int compile_file_operands(Context& ctx, program::Op op) {
  if (ctx.messages->pending != 0) return ctx.messages->pending;
  program::Statement& stmt = *ctx.program->current;
  FileOperands f{ctx, *ctx.tokens, stmt, *ctx.files, op, kind_of(op)};
  stmt.file = nullptr;

  if (f.kind == OpenKind::kExternal) {
    if (int rc = f.call_operand(); rc != 0) {
      f.abandon();
      return rc;
    }
    stmt.file = f.file;
    return 0;
  }

  int rc = f.name_operand();
  if (rc == 0 && f.file == nullptr) return f.keywords(false);
  if (rc == 0) {
    if (!f.created) f.saved = *f.file;
    rc = f.keywords(true);
    if (rc == 0) rc = f.keywords(false);
    if (rc == 0) rc = f.finish();
  }
  if (rc != 0) {
    f.abandon();
    return rc;
  }
  stmt.file = f.file;
  ctx.files->current = f.file;
  return 0;
}

}  // namespace recsift::compiler
