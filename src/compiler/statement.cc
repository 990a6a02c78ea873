// The statement compiler: one tokenised control statement becomes one statement record of the
// selection program, or none (labels, EQU, OPTION, INCLUDE, CAT, END).
//
// Exports (compiler.h): compile_statement, raise. Owns two tables: the statement words (the role
// of a statement: IF, THEN, ELSE, OPTION, END ...) and the verbs (family, operation code and
// conversion code of every action word). Everything the compiler knows about words is derived
// from these two tables: the dispatch, the second stage and the one-word label rule.
//
// Invariants:
//  - The program's `current` record is the last of the chain. While its type is 0 it holds no
//    statement (only perhaps a label) and is reused by the next statement.
//  - Selection ids of action statements are consecutive from 1; a condition carries minus the id
//    the next action will get.
//  - Every message is raised through raise(); the first one of a statement stays, and the
//    statement is compiled as far as it got.
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "base/pool.h"
#include "compiler/compiler.h"
#include "compiler/statement_internal.h"
#include "files/files.h"
#include "input/input.h"
#include "program/program.h"
#include "report/report.h"

namespace recsift::compiler {
namespace {

using namespace std::string_view_literals;
using detail::is_word;
using detail::open_token;
using detail::token_text;
using input::Token;
using input::TokenList;
using program::Statement;

// Size of the statement buffer the tokens point into (error marks are offsets within it).
constexpr int kStatementBufferSize = 528;
// Length of the listing prefix in front of the line in the line area.
constexpr int kListingPrefix = 10;
// Most CALL arguments.
constexpr int kMaxCallArgs = 16;
// SPACE and LINE counts above this (or above the page depth) become a new page.
constexpr int32_t kMaxLineCount = 255;
// STOPAFT of a LOG statement that does not wait for a reply.
constexpr int32_t kLogStopaft = 50;

// Print formats (the operation modifier of PRINT, PLOG and LOG).
constexpr uint8_t kFormatLine = report::PT_LINE;
constexpr uint8_t kFormatReport = report::PT_REPORT;
constexpr uint8_t kFormatChar = report::PT_CHAR;
// Modes of SPACE and LINE (their operation modifier) and FLAG targets.
constexpr uint8_t kModeSpace = report::PT_SPACE;
constexpr uint8_t kModeSkip = report::PT_SKIP;
constexpr uint8_t kFlagEndOfMember = 24;
constexpr uint8_t kFlagEndOfDisk = 25;

// ---- Statement words ---------------------------------------------------------------------------
// The first word of a statement decides its role. Words beginning with A, E, I, L, N or T are
// only statement words of their own letter (E and L share ELSE and END), every other first word
// only of the general group (OR ... PDUMP): as the names are matched whole, trying the rows in
// order gives exactly that.

enum class Role : uint8_t {
  kAnd,      // condition, type 5
  kElse,     // ELSE action, or ELSE IF condition
  kElseIf,   // condition, type 8
  kEqu,      // substitution variable
  kEof,      // not available
  kEnd,      // end of the statements
  kIf,       // condition, type 4
  kInclude,  // read a control file next
  kNow,      // the rest is a plain action
  kThen,     // THEN action, or THEN IF condition
  kThenIf,   // condition, type 7
  kOr,       // condition, type 6
  kOption,   // OPTION statement
  kReport,   // OPTION statement with the report flag
  kPrtctl,   // control statements listed again
  kCat,      // more input files for the READ before
  kColumn,   // more columns for the CSV statement before
  kCancel,   // end the statements and abandon the run
  kQuit,     // the same
  kCkpt,     // not available
  kPdump,    // not available
};

struct StatementWord {
  std::string_view names;  // plain synonym list
  Role role;               // what the statement is
};

constexpr StatementWord kStatementWords[] = {
    {"A,AND", Role::kAnd},
    {"ELSE,EL,L", Role::kElse},
    {"ELSEIF,LI", Role::kElseIf},
    {"EQU", Role::kEqu},
    {"EOF", Role::kEof},
    {"END,E", Role::kEnd},
    {"IF,I", Role::kIf},
    {"INC,INCLUDE", Role::kInclude},
    {"NOW,N", Role::kNow},
    {"THEN,TH,T", Role::kThen},
    {"THENIF,TI", Role::kThenIf},
    {"OR,O", Role::kOr},
    {"OPT,OPTION,OPTIONS", Role::kOption},
    {"REPORT,R", Role::kReport},
    {"PRTCTL", Role::kPrtctl},
    {"CAT", Role::kCat},
    {"COLUMN", Role::kColumn},
    {"CANCEL", Role::kCancel},
    {"QUIT", Role::kQuit},
    {"CKPT", Role::kCkpt},
    {"PDUMP", Role::kPdump},
};

// ---- Verbs -------------------------------------------------------------------------------------
// Every action word, by family. First-stage rows are tried in order for the first word of an
// action; the rows are grouped by first letter, and within a letter their order decides. When
// none matches, or the family leaves no operation (F, FILE), the second-stage rows are tried;
// when they fail too the statement is a WRITE whose first word names the file.

enum class Family : uint8_t {
  kData,          // data statement: the verb taken, the rest compiled as its operands
  kPointer,       // a first word beginning with "@": data statement 29, the word its target
  kCaseTran,      // LOWER, UPPER: TRAN with the verb itself as its table operand
  kPack,          // PACK family: conversion with the row's code
  kConvVerb,      // CV followed by letters: conversion with the code the letters give
  kFile,          // file verb: file operands
  kCsv,           // CSV: file operands, then the line's options and columns
  kCall,          // external routine: routine name (file operands), then the arguments
  kFileWord,      // F, FILE: no operation of its own, the statement becomes a WRITE
  kGoto,          // GOTO: label, or a reserved target with its own code
  kGo,            // GO: must be followed by TO, then as GOTO
  kGosub,         // GOSUB, PERFORM, DO: label
  kPrint,         // PRINT, PLOG, LOG: print format and print options
  kSpace,         // SPACE n
  kLine,          // LINE n
  kSleep,         // SLEEP n unit
  kFlag,          // FLAG EOM or EOD
  kControl,       // no operands: RET, GG, EOJ, STOP, START, SUSP, CANCEL
  kCommand,       // system command: its text is the operand
  kNotAvailable,  // recognised, not available in this system: message 1
};

struct Verb {
  std::string_view names;  // plain synonym list ("@" and "CV" rows match by rule, see Family)
  Family family;           // how the operands are compiled
  program::Op op;          // operation code stored in the record
  uint8_t code;            // conversion code (PACK family)
  bool second_stage;       // tried only after the first stage found nothing
};

using F = Family;
// clang-format off
constexpr Verb kVerbs[] = {
    // names                   family            op                    code  2nd
    {"@",                      F::kPointer,      program::Op::kPointerOp, 0,    false},
    {"ADD",                    F::kData,         program::Op::kAdd,       0,    false},
    {"ASSGN",                  F::kData,         program::Op::kMod,       0,    false},
    {"CVDATE",                 F::kData,         program::Op::kCvdate,    0,    false},
    {"CV",                     F::kConvVerb,     program::Op::kConvert,   0,    false},
    {"CALL",                   F::kCall,         program::Op::kCall,      0,    false},
    {"CANCEL",                 F::kControl,      program::Op::kCancel,    0,    false},
    {"CHKP",                   F::kNotAvailable, program::Op::kRead,      0,    false},
    {"CLOSE",                  F::kFile,         program::Op::kClose,     0,    false},
    {"CMPRS,COMPRESS",         F::kData,         program::Op::kCmprs,     0,    false},
    {"CMS",                    F::kCommand,      program::Op::kCms,       0,    false},
    {"CP",                     F::kNotAvailable, program::Op::kCp,        0,    false},
    {"CSV",                    F::kCsv,          program::Op::kCsv,       0,    false},
    // INSERT and DELETE have no execution in the record loop (it would stop on a logic error):
    // they are refused here instead.
    {"DEL,DELETE,DLET",        F::kNotAvailable, program::Op::kDelete,    0,    false},
    {"DIV,DIVIDE",             F::kData,         program::Op::kDiv,       0,    false},
    {"DO",                     F::kGosub,        program::Op::kDo,        0,    false},
    {"DOS",                    F::kCommand,      program::Op::kCms,       0,    false},
    {"EOJ",                    F::kControl,      program::Op::kEoj,       0,    false},
    {"ET",                     F::kNotAvailable, program::Op::kRead,      0,    false},
    {"EXIT",                   F::kNotAvailable, program::Op::kNone,      0,    false},
    {"EXPAND",                 F::kData,         program::Op::kXpnd,      0,    false},
    {"EXV,EXECV",              F::kNotAvailable, program::Op::kXv,        0,    false},
    {"F,FILE",                 F::kFileWord,     program::Op::kNone,      0,    false},
    {"FLAG",                   F::kFlag,         program::Op::kFlag,      0,    false},
    {"GG",                     F::kControl,      program::Op::kGg,        0,    false},
    {"GO",                     F::kGo,           program::Op::kGoto,      0,    false},
    {"GOSUB",                  F::kGosub,        program::Op::kDo,        0,    false},
    {"GOTO",                   F::kGoto,         program::Op::kGoto,      0,    false},
    {"GET",                    F::kFile,         program::Op::kRead,      0,    false},
    {"GEN,GENERATE",           F::kData,         program::Op::kGen,       0,    false},
    {"GHN,GHNP,GHU,GN,GNP,GU", F::kNotAvailable, program::Op::kRead,      0,    false},
    {"IN,INPUT,INP",           F::kFile,         program::Op::kRead,      0,    false},
    {"INS,ISRT,INSERT",        F::kNotAvailable, program::Op::kInsert,    0,    false},
    {"L,LEN,LRECL",            F::kData,         program::Op::kLrecl,     0,    false},
    {"LET",                    F::kData,         program::Op::kMod,       0,    false},
    {"LINE",                   F::kLine,         program::Op::kLine,      0,    false},
    {"LOAD",                   F::kNotAvailable, program::Op::kLoad,      0,    false},
    {"LOWER",                  F::kCaseTran,     program::Op::kTran,      0,    false},
    {"MOVE",                   F::kData,         program::Op::kMove,      0,    false},
    {"MOD",                    F::kData,         program::Op::kMod,       0,    false},
    {"MULT,MULTIPLY",          F::kData,         program::Op::kMult,      0,    false},
    {"MARC",                   F::kNotAvailable, program::Op::kMarc,      0,    false},
    {"OPEN",                   F::kFile,         program::Op::kOpen,      0,    false},
    {"P,POS",                  F::kData,         program::Op::kMod,       0,    false},
    {"PK,PACK",                F::kPack,         program::Op::kConvert,   0x34, false},
    {"PACKB",                  F::kPack,         program::Op::kConvert,   0x32, false},
    {"PERFORM",                F::kGosub,        program::Op::kDo,        0,    false},
    {"RD,READ",                F::kFile,         program::Op::kRead,      0,    false},
    {"REPL,REPLACE,REWRITE",   F::kFile,         program::Op::kUpdate,    0,    false},
    {"RC,RETCD,RETCODE",       F::kData,         program::Op::kRc,        0,    false},
    {"RET,RETURN",             F::kControl,      program::Op::kRet,       0,    false},
    {"RANDOM",                 F::kData,         program::Op::kGen,       0,    false},
    {"RECSIZE",                F::kData,         program::Op::kLrecl,     0,    false},
    {"ROLB",                   F::kNotAvailable, program::Op::kRead,      0,    false},
    {"SUB,SUBTRACT",           F::kData,         program::Op::kSub,       0,    false},
    {"SLEEP",                  F::kSleep,        program::Op::kSleep,     0,    false},
    {"SPACE",                  F::kSpace,        program::Op::kSpace,     0,    false},
    {"STACK",                  F::kNotAvailable, program::Op::kStack,     0,    false},
    {"SIGNAL",                 F::kFlag,         program::Op::kFlag,      0,    false},
    {"SORT",                   F::kNotAvailable, program::Op::kSort,      0,    false},
    {"SYNC",                   F::kNotAvailable, program::Op::kRead,      0,    false},
    {"SYS,SYSTEM",             F::kCommand,      program::Op::kCms,       0,    false},
    {"TR,TRAN",                F::kData,         program::Op::kTran,      0,    false},
    {"TOUCH",                  F::kData,         program::Op::kUtime,     0,    false},
    {"UNIX",                   F::kCommand,      program::Op::kCms,       0,    false},
    {"UNPK",                   F::kPack,         program::Op::kConvert,   0x43, false},
    {"UNPKB",                  F::kPack,         program::Op::kConvert,   0x23, false},
    {"UPD,UPDATE",             F::kFile,         program::Op::kUpdate,    0,    false},
    {"UPPER",                  F::kCaseTran,     program::Op::kTran,      0,    false},
    {"UTIME",                  F::kData,         program::Op::kUtime,     0,    false},
    {"XV",                     F::kNotAvailable, program::Op::kXv,        0,    false},
    {"XRST",                   F::kNotAvailable, program::Op::kRead,      0,    false},
    {"XPND",                   F::kData,         program::Op::kXpnd,      0,    false},
    // Second stage.
    {"JECL",                   F::kNotAvailable, program::Op::kJecl,      0,    true},
    {"LOG,WTO,TERM",           F::kPrint,        program::Op::kLog,       0,    true},
    {"PR,PRT,PRINT",           F::kPrint,        program::Op::kPrint,     0,    true},
    {"PLOG",                   F::kPrint,        program::Op::kPlog,      0,    true},
    {"SYSLOG",                 F::kPrint,        program::Op::kLog,       0,    true},
    {"SYSPRINT",               F::kPrint,        program::Op::kPrint,     0,    true},
    {"STOP",                   F::kControl,      program::Op::kEoj,       0,    true},
    {"START",                  F::kControl,      program::Op::kStart,     0,    true},
    {"SUSP",                   F::kControl,      program::Op::kSusp,      0,    true},
};
// clang-format on

// The table's shape: first-stage rows grouped by rising first letter, each row's names sharing
// that letter, second-stage rows last, every name upper case, every code a known operation.
constexpr bool verbs_ok() {
  char letter = 0;
  bool second = false;
  for (const Verb& v : kVerbs) {
    if (v.names.empty() || static_cast<int>(v.op) > program::kLastOp) return false;
    if (v.second_stage) {
      second = true;
    } else {
      if (second || v.names[0] < letter) return false;
      letter = v.names[0];
    }
    bool item_start = true;
    for (char c : v.names) {
      if (c == ',') {
        if (item_start) return false;  // empty name
        item_start = true;
        continue;
      }
      if (c >= 'a' && c <= 'z') return false;
      if (item_start && !v.second_stage && c != letter) return false;
      item_start = false;
    }
    if (item_start) return false;
  }
  return second;
}
static_assert(verbs_ok(), "verb table out of shape");

// The conversion code of a CV word, or -1 when the word is not a conversion verb. Forms are the
// letters A..H (1..8); P is read as D (packed), Z as G (zoned). CV with one letter names fixed
// conversions between character and the other forms.
constexpr int conversion_code(std::string_view w) {
  if (w.size() < 3 || w[0] != 'C' || w[1] != 'V') return -1;
  if (w.size() == 3) {
    switch (w[2]) {
      case 'A':
        return 0x51;
      case 'B':
        return 0x42;
      case 'D':
        return 0x24;
      case 'E':
        return 0x15;
      case 'H':
        return 0x38;
      default:
        return -1;
    }
  }
  if (w.size() != 4) return -1;
  auto form = [](char c) {
    if (c == 'P') c = 'D';
    if (c == 'Z') c = 'G';
    return c >= 'A' && c <= 'H' ? c - 'A' + 1 : -1;
  };
  const int from = form(w[2]);
  const int to = form(w[3]);
  return from < 0 || to < 0 ? -1 : from * 16 + to;
}
static_assert(conversion_code("CVAE") == 0x15 && conversion_code("CVPZ") == 0x47);
static_assert(conversion_code("CVX") == -1 && conversion_code("CVAI") == -1);

// Conversions that compile as TRAN (ASCII and EBCDIC tables), and those with no conversion.
constexpr bool conversion_is_tran(int code) {
  return code == 0x15 || code == 0x51;
}
constexpr bool conversion_unavailable(int code) {
  return code == 0x36 || code == 0x63;
}

// GOTO targets that are operations of their own.
struct ReservedTarget {
  std::string_view name;  // the target word
  program::Op op;         // the operation it compiles to
  bool available;         // false: the operation has no execution (message 1)
};
constexpr ReservedTarget kReservedTargets[] = {
    {"GET", program::Op::kGg, true},        {"EOJ", program::Op::kEoj, true},
    {"CANCEL", program::Op::kCancel, true}, {"DUMP", program::Op::kDump, false},
    {"PDUMP", program::Op::kPdump, false},  {"BOF", program::Op::kBof, false},
};

// Print formats by TYPE value.
struct PrintType {
  std::string_view names;  // TYPE values
  uint8_t format;          // the print format
};
constexpr PrintType kPrintTypes[] = {
    {"C", report::PT_CHAR},     {"H", report::PT_HEX},         {"N", report::PT_CHAR_RAW},
    {"S", report::PT_LINE},     {"M,MC,MP", report::PT_MIXED}, {"D", report::PT_DUMP},
    {"B", report::PT_BOTH},     {"DX", report::PT_DUMP_HEX},   {"DA", report::PT_DUMP_DA},
    {"DE", report::PT_DUMP_DE},
};

// Names of the predefined files: a one-word statement naming one is a WRITE, not a label.
constexpr std::string_view kPredefinedFiles = "CARD,SYSIN,DUMMY,STDIN,STDOUT,STDERR"sv;
// The optional first word of a WRITE.
constexpr std::string_view kWriteWords = "WR,WRITE,OUTPUT,OUT,PUT"sv;

// ---- Helpers -----------------------------------------------------------------------------------

Statement& record(Context& ctx) {
  return *ctx.program->current;
}

// The record the statement compiles into: the current one when it holds no statement (its
// leftovers cleared, its chain and label kept), else a new one chained at the end.
Statement& allocate_record(Context& ctx) {
  program::Program& program = *ctx.program;
  Statement* rec = program.current;
  if (rec != nullptr && rec->type == program::kStEnd) {
    Statement* next = rec->next;
    Statement* prev = rec->prev;
    program::LabelEntry* label = rec->label;
    *rec = Statement{};
    rec->next = next;
    rec->prev = prev;
    rec->label = label;
    return *rec;
  }
  rec = new (base::qelgcore(sizeof(Statement), 0, "CN")) Statement{};
  rec->prev = program.current;
  if (program.current != nullptr) {
    program.current->next = rec;
  } else {
    program.head = rec;
  }
  program.current = rec;
  return *rec;
}

bool pending(const Context& ctx) {
  return ctx.messages->pending != 0;
}

// True when a token of this text is a word some compile step recognises at the start of a
// statement: then a statement of that one word is that statement, not a label.
bool recognised_word(std::string_view w) {
  for (const StatementWord& s : kStatementWords) {
    if (input::list_contains(s.names, w)) return true;
  }
  for (const Verb& v : kVerbs) {
    if (v.family == Family::kPointer) {
      if (w[0] == '@') return true;
    } else if (v.family == Family::kConvVerb) {
      if (conversion_code(w) >= 0) return true;
    } else if (input::list_contains(v.names, w)) {
      return true;
    }
  }
  return input::list_contains(kWriteWords, w) || input::list_contains(kPredefinedFiles, w);
}

// The next token as a count (taken), or false with nothing taken.
bool take_count(TokenList& list, int32_t* value) {
  Token* t = open_token(list);
  if (!is_word(t) || !detail::parse_count(token_text(t), value)) return false;
  list.current = t;
  input::take_token(list);
  return true;
}

// ---- Labels ------------------------------------------------------------------------------------

program::LabelEntry* find_label(const program::Program& program, std::string_view name) {
  for (program::LabelEntry* e = program.labels; e != nullptr; e = e->next) {
    if (detail::same_ignoring_case(e->name, name)) return e;
  }
  return nullptr;
}

program::LabelEntry* add_label(program::Program& program, std::string_view name) {
  auto* entry = new (base::qelgcore(sizeof(program::LabelEntry), 0, "LBL")) program::LabelEntry{};
  entry->name = static_cast<char*>(base::qelgcore(static_cast<int64_t>(name.size()) + 1, 0, "lbl"));
  std::memcpy(entry->name, name.data(), name.size());
  entry->prev = program.labels_tail;
  if (program.labels_tail != nullptr) {
    program.labels_tail->next = entry;
  } else {
    program.labels = entry;
  }
  program.labels_tail = entry;
  return entry;
}

// A one-word statement naming a label: the label's target is this record, which stays empty
// and so becomes the record of the next statement.
void define_label(Context& ctx, Token* token) {
  program::Program& program = *ctx.program;
  const std::string_view name = token_text(token);
  program::LabelEntry* entry = find_label(program, name);
  if (entry != nullptr && entry->target != nullptr) {
    raise(ctx, detail::kMsgLabelTwice);
  } else {
    if (entry == nullptr) entry = add_label(program, name);
    entry->target = &record(ctx);
    record(ctx).label = entry;
  }
  input::take_token(*ctx.tokens);
  program.last_was_label = true;
}

// ---- Order check -------------------------------------------------------------------------------

// Conditions may not stand between an IF and its actions in the wrong places: an action or IF
// must not follow a condition directly, THEN needs something before it, ELSE a THEN or ELSE,
// AND and OR a condition. The mark goes on the statement's first word.
void check_order(Context& ctx, uint8_t type, Token* first) {
  program::Program& program = *ctx.program;
  const uint8_t prev = program.last_type;
  bool ok = true;
  switch (type) {
    case program::kStAction:
    case program::kStIf:
      ok = prev < program::kStIf;
      break;
    case program::kStThenAction:
    case program::kStThenIf:
      ok = prev >= program::kStThenAction;
      break;
    case program::kStElseAction:
    case program::kStElseIf:
      ok = prev == program::kStThenAction || prev == program::kStElseAction;
      break;
    case program::kStAnd:
    case program::kStOr:
      ok = prev >= program::kStIf;
      break;
    default:
      break;
  }
  if (!ok) {
    Token* current = ctx.tokens->current;
    ctx.tokens->current = first;
    raise(ctx, detail::kMsgOrder);
    ctx.tokens->current = current;
  }
  program.last_type = type;
}

// ---- Families ----------------------------------------------------------------------------------

void compile_conversion(Context& ctx, int code) {
  Statement& rec = record(ctx);
  if (conversion_is_tran(code)) {
    // The verb names TRAN's table (CVA, CVE, CVAE, CVEA): give it back to TRAN.
    input::back_up(*ctx.tokens);
    rec.op = program::Op::kTran;
    compile_data_statement(ctx, rec.op);
    return;
  }
  rec.op = program::Op::kConvert;
  rec.argument = code;
  if (conversion_unavailable(code)) {
    raise(ctx, detail::kMsgNotAvailable);
    return;
  }
  compile_data_statement(ctx, rec.op);
}

// GOTO, GOSUB, PERFORM, DO: the target label, found or created for reference. A GOTO to a
// reserved target is that operation instead.
void compile_branch(Context& ctx, bool is_goto) {
  Statement& rec = record(ctx);
  TokenList& list = *ctx.tokens;
  Token* target = open_token(list);
  if (target == nullptr) {
    raise(ctx, detail::kMsgNoOperand);
    return;
  }
  list.current = target;
  const std::string_view name = token_text(target);
  if (is_word(target)) {
    if (is_goto) {
      for (const ReservedTarget& r : kReservedTargets) {
        if (name != r.name) continue;
        rec.op = r.op;
        if (!r.available) raise(ctx, detail::kMsgNotAvailable);
        input::take_token(list);
        return;
      }
    }
    if (input::reserved_word(name)) {
      raise(ctx, detail::kMsgReservedTarget);
      input::take_token(list);
      return;
    }
  }
  program::LabelEntry* entry = find_label(*ctx.program, name);
  if (entry == nullptr) entry = add_label(*ctx.program, name);
  rec.branch = entry;
  input::take_token(list);
}

// PRINT, PLOG, LOG: console options, the print format and the per-statement print options.
void compile_print(Context& ctx) {
  Statement& rec = record(ctx);
  TokenList& list = *ctx.tokens;
  const report::Listing& listing = *ctx.listing;
  rec.modifier = rec.op == program::Op::kLog ? kFormatLine : kFormatChar;
  if (rec.op == program::Op::kLog) {
    if (input::find_anywhere(list, "CLEAR,CLRTERM") != nullptr) {
      rec.flags |= program::kSfConsoleClear;
      ctx.program->console_clear = true;
    }
    if (input::find_anywhere(list, "REPLY,REP,INTO") != nullptr) {
      if (compile_operand(ctx, &rec.reply, kFormLength | kFormEndPosition) != 0) return;
    }
  }
  if (input::find_anywhere(list, "TYPE,TY") != nullptr) {
    Token* value = open_token(list);
    const PrintType* found = nullptr;
    if (is_word(value)) {
      for (const PrintType& p : kPrintTypes) {
        if (input::list_contains(p.names, token_text(value))) found = &p;
      }
    }
    if (found == nullptr) {
      raise(ctx, detail::kMsgBadPrintType);
      return;
    }
    rec.modifier = found->format;
    list.current = value;
    input::take_token(list);
  }
  if (listing.dump_all) rec.flags |= program::kSfDumpAll;
  rec.argument = listing.dump_enclosure;
  if (listing.report_mode) rec.modifier = kFormatReport;
  detail::read_print_options(ctx, rec);
}

// SPACE n and LINE n: n blank lines, or a skip to line n; a count the page cannot hold (above
// the depth or above 255) becomes a new page, LINE 1.
void compile_lines(Context& ctx, bool skip) {
  Statement& rec = record(ctx);
  int32_t n = 1;
  take_count(*ctx.tokens, &n);
  if (n > ctx.listing->page_depth || n > kMaxLineCount) {
    skip = true;
    n = 1;
  }
  rec.op = skip ? program::Op::kLine : program::Op::kSpace;
  rec.modifier = skip ? kModeSkip : kModeSpace;
  rec.argument = n;
}

// SLEEP n [SEC|MIN|HOUR]: the argument is in seconds.
void compile_sleep(Context& ctx) {
  Statement& rec = record(ctx);
  TokenList& list = *ctx.tokens;
  int32_t n = 1;
  take_count(list, &n);
  int64_t seconds = n;
  if (input::match_current(list, "SEC,SECS") != nullptr) {
  } else if (input::match_current(list, "MIN,MINS") != nullptr) {
    seconds *= 60;
  } else if (input::match_current(list, "HOUR,HOURS,HR,HRS") != nullptr) {
    seconds *= 3600;
  }
  // A wait that does not fit the argument would wrap round to a short or negative one.
  if (seconds > INT32_MAX) {
    input::back_up(list);
    raise(ctx, detail::kMsgBadNumber);
    return;
  }
  rec.argument = static_cast<int32_t>(seconds);
}

void compile_flag(Context& ctx) {
  Statement& rec = record(ctx);
  TokenList& list = *ctx.tokens;
  if (input::match_current(list, "EOM,EOMEMB") != nullptr) {
    rec.modifier = kFlagEndOfMember;
  } else if (input::match_current(list, "EOD,EODISK") != nullptr) {
    rec.modifier = kFlagEndOfDisk;
  } else {
    raise(ctx, detail::kMsgBadFlag);
  }
}

// Compiles the family of verb row `v`, whose word is the current token (not yet taken).
// Returns false when the family left no operation and the next stage should look.
bool compile_family(Context& ctx, const Verb& v, int conversion) {
  Statement& rec = record(ctx);
  TokenList& list = *ctx.tokens;
  if (v.family != Family::kPointer) input::take_token(list);
  switch (v.family) {
    case Family::kData:
    case Family::kPointer:
      rec.op = v.op;
      compile_data_statement(ctx, rec.op);
      return true;
    case Family::kCaseTran:
      input::back_up(list);
      rec.op = v.op;
      compile_data_statement(ctx, rec.op);
      return true;
    case Family::kPack:
      compile_conversion(ctx, v.code);
      return true;
    case Family::kConvVerb:
      compile_conversion(ctx, conversion);
      return true;
    case Family::kFile:
      rec.op = v.op;
      if (list.unconsumed > 1) input::match_current(list, "FILE,F");
      compile_file_operands(ctx, rec.op);
      return true;
    case Family::kCall:
    case Family::kCsv:
      rec.op = v.op;
      compile_file_operands(ctx, rec.op);
      return true;
    case Family::kFileWord:
      return false;
    case Family::kGo:
      rec.op = v.op;
      if (input::match_current(list, "TO") == nullptr) {
        raise(ctx, detail::kMsgGoWithoutTo);
        return true;
      }
      compile_branch(ctx, true);
      return true;
    case Family::kGoto:
    case Family::kGosub:
      rec.op = v.op;
      compile_branch(ctx, v.family == Family::kGoto);
      return true;
    case Family::kPrint:
      rec.op = v.op;
      compile_print(ctx);
      return true;
    case Family::kSpace:
      compile_lines(ctx, false);
      return true;
    case Family::kLine:
      compile_lines(ctx, true);
      return true;
    case Family::kSleep:
      rec.op = v.op;
      compile_sleep(ctx);
      return true;
    case Family::kFlag:
      rec.op = v.op;
      compile_flag(ctx);
      return true;
    case Family::kControl:
      rec.op = v.op;
      if (v.op == program::Op::kStart) ctx.program->start_requested = true;
      if (v.op == program::Op::kSusp) ctx.program->suspend_requested = true;
      return true;
    case Family::kCommand:
      rec.op = v.op;
      return true;
    case Family::kNotAvailable:
      // The word was taken: the mark goes on it.
      list.current = nullptr;
      rec.op = v.op;
      raise(ctx, detail::kMsgNotAvailable);
      input::left_over(list);
      return true;
  }
  return true;
}

// Tries the verb rows of one stage on the current token. Returns true when a row decided the
// statement's operation.
bool dispatch_verb(Context& ctx, bool second_stage) {
  TokenList& list = *ctx.tokens;
  Token* t = open_token(list);
  if (t == nullptr || (t->flags & (input::kTokQuoted | input::kTokHex)) != 0) return false;
  list.current = t;
  const std::string_view word = token_text(t);
  for (const Verb& v : kVerbs) {
    if (v.second_stage != second_stage) continue;
    int conversion = -1;
    if (v.family == Family::kPointer) {
      if (word.empty() || word[0] != '@') continue;
    } else if (v.family == Family::kConvVerb) {
      if (!is_word(t) || (t->flags & input::kTokSplit) != 0) continue;
      conversion = conversion_code(word);
      if (conversion < 0) continue;
    } else if (!is_word(t) || (t->flags & input::kTokSplit) != 0 ||
               !input::list_contains(v.names, word)) {
      continue;
    }
    return compile_family(ctx, v, conversion);
  }
  return false;
}

// ---- Actions -----------------------------------------------------------------------------------

// STOPAFT and TIMES, written anywhere, and the default STOPAFT.
void compile_counts(Context& ctx) {
  Statement& rec = record(ctx);
  TokenList& list = *ctx.tokens;
  if (input::find_anywhere(list, "TIMES") != nullptr && !take_count(list, &rec.times)) {
    raise(ctx, detail::kMsgBadNumber);
  }
  bool stopaft_given = false;
  if (input::find_anywhere(list, "STOPAFT,STOP,S") != nullptr) {
    stopaft_given = true;
    if (open_token(list) == nullptr) {
      raise(ctx, detail::kMsgNoStopaft);
    } else if (!take_count(list, &rec.stopaft)) {
      raise(ctx, detail::kMsgBadNumber);
    }
  }
  if (stopaft_given) return;
  const program::Program& program = *ctx.program;
  if (rec.op == program::Op::kLog && rec.reply == nullptr) {
    // A LOG that does not wait for an answer must not flood the console.
    rec.stopaft = kLogStopaft;
  } else if (rec.type == program::kStThenAction && program.first_condition_mark &&
             !program.second_condition_mark && !program.cat_seen) {
    // The THEN actions of an end-of-file test run once.
    rec.stopaft = 1;
  }
}

// The operand forms of data named by a WRITE, a CALL argument or a PRINT: a literal, a position
// with an end position, or "n FR p".
constexpr uint32_t kDataForms =
    kFormCharLiteral | kFormPosKeyword | kFormEndPosition | kFormFromKeywords | kFormFrKeyword;

void compile_call_arguments(Context& ctx) {
  Statement& rec = record(ctx);
  TokenList& list = *ctx.tokens;
  program::Operand* args[kMaxCallArgs] = {};
  int count = 0;
  while (input::left_over(list) != nullptr && !pending(ctx)) {
    if (count == kMaxCallArgs) {
      raise(ctx, detail::kMsgTooManyArgs);
      break;
    }
    const int32_t before = list.unconsumed;
    program::Operand* arg = nullptr;
    if (compile_operand(ctx, &arg, kDataForms) != 0 || list.unconsumed == before) break;
    args[count++] = arg;
  }
  rec.argument = count;
  rec.call_args = static_cast<void**>(
      base::qelgcore(static_cast<int64_t>(sizeof(void*)) * (count + 1), 0, "call"));
  for (int i = 0; i < count; ++i) rec.call_args[i] = args[i];
}

// PRINT, PLOG, LOG and the command statements: the data printed or the command's text.
void compile_command_operand(Context& ctx) {
  Statement& rec = record(ctx);
  TokenList& list = *ctx.tokens;
  program::Operand** slot = &rec.operands[0];
  if (input::left_over(list) == nullptr) {
    if ((rec.op == program::Op::kCp || rec.op == program::Op::kCms) && *slot == nullptr) {
      raise(ctx, detail::kMsgNoCommand);
    }
  }
  while (input::left_over(list) != nullptr && !pending(ctx)) {
    const int32_t before = list.unconsumed;
    if (input::match_current(list, "FR,FROM") != nullptr) {
      compile_operand(ctx, slot, kFormPosKeyword | kFormEndPosition);
    } else if (input::match_current(list, "L,LRECL,LEN,LENGTH,RECSIZE") != nullptr) {
      compile_operand(ctx, slot, kFormLengthOnly);
    } else {
      compile_operand(ctx, slot, kDataForms);
    }
    if (list.unconsumed == before) break;
  }
  complete_operand(ctx, slot);
}

void complete_operands(Context& ctx) {
  Statement& rec = record(ctx);
  TokenList& list = *ctx.tokens;
  switch (rec.op) {
    case program::Op::kWrite:
    case program::Op::kUpdate:
    case program::Op::kInsert:
      // The data written: what the file operands left, unless a FROM keyword has given it
      // already (then the words left over are reported as such).
      if (rec.operands[0] == nullptr && input::left_over(list) != nullptr) {
        compile_operand(ctx, &rec.operands[0], kDataForms);
      }
      break;
    case program::Op::kCall:
      compile_call_arguments(ctx);
      break;
    case program::Op::kCsv:
      detail::compile_csv_line(ctx);
      break;
    case program::Op::kCp:
    case program::Op::kCms:
    case program::Op::kJecl:
    case program::Op::kPrint:
    case program::Op::kPlog:
    case program::Op::kLog:
      compile_command_operand(ctx);
      break;
    default:
      break;
  }
}

// Compiles an action of the given type: the listing marker, the verb and its family.
void compile_action(Context& ctx, uint8_t type) {
  program::Program& program = *ctx.program;
  Statement& rec = record(ctx);
  TokenList& list = *ctx.tokens;
  if (type == program::kStAction) {
    if (program.last_type != 0 &&
        (program.last_type != program::kStAction || program.continued_then)) {
      if (ctx.line_area != nullptr) ctx.line_area[0] = program.listing_marker;
      program.listing_marker = '0';
    }
    program.continued_then = false;
    // A plain action starts a new sentence.
    program.first_condition_mark = false;
    program.second_condition_mark = false;
  } else if (type == program::kStThenAction && program.last_type == program::kStAction) {
    // THEN after an unconditional statement continues it.
    type = program::kStAction;
    program.continued_then = true;
    rec.flags |= program::kSfContinuedThen;
  }
  if (type == program::kStElseAction) program.second_condition_mark = true;
  rec.type = type;
  input::match_current(list, kWriteWords);
  // The second stage also looks when the first found only F or FILE (no operation): then at the
  // word after it. With nothing found the statement writes to the file it names.
  if (!dispatch_verb(ctx, false) && !dispatch_verb(ctx, true)) {
    rec.op = program::Op::kWrite;
    compile_file_operands(ctx, rec.op);
  }
}

void compile_condition_statement(Context& ctx, uint8_t type) {
  if (type == program::kStIf) {
    // A new sentence: the condition compiler sets the marks of its tests afresh.
    ctx.program->first_condition_mark = false;
    ctx.program->second_condition_mark = false;
  }
  record(ctx).type = type;
  compile_condition(ctx, type);
}

// ---- Statements without a record -----------------------------------------------------------

void end_statements(Context& ctx, bool abandon) {
  TokenList& list = *ctx.tokens;
  if (input::match_current(list, "FAIL") != nullptr) input::match_current(list, "EOJ");
  ctx.program->last_type = program::kStEndOfStatements;
  if (abandon) ctx.messages->printed = 999;
}

void compile_include(Context& ctx) {
  TokenList& list = *ctx.tokens;
  if (open_token(list) == nullptr) {
    raise(ctx, detail::kMsgInclude);
    return;
  }
  list.current = open_token(list);
  const std::string name = detail::word_as_typed(list, false);
  const int rc = ctx.open_include ? ctx.open_include(name) : detail::kMsgInclude;
  if (rc != 0) {
    raise(ctx, rc);
  } else {
    ctx.include_pending = true;
  }
  detail::word_as_typed(list, true);
}

void compile_cat(Context& ctx) {
  const Statement* read = record(ctx).prev;
  if (read == nullptr || !program::is_action(read->type) || read->op != program::Op::kRead) {
    raise(ctx, detail::kMsgCatNotAfterRead);
    return;
  }
  ctx.program->cat_seen = true;
  if (compile_file_operands(ctx, program::Op::kConcatenate) == 0 && record(ctx).file != nullptr) {
    // Read when the file before it ends, as the same stream.
    record(ctx).file->concatenated = true;
  }
}

// ---- Statement-wide words ----------------------------------------------------------------------

// NOPTOT, NOPSUM, NOP, NOPRINT, NOPCTL anywhere in the statement, and the check of %d references
// under ENVFAIL CANCEL.
void statement_wide_words(Context& ctx) {
  report::Listing& listing = *ctx.listing;
  const bool echo_before = !listing.no_echo;
  bool echo_off = false;
  for (Token* t = ctx.tokens->head; t != nullptr && (t->flags & input::kTokEnd) == 0; t = t->next) {
    if ((t->flags & input::kTokConsumed) != 0 || t->text == nullptr) continue;
    const std::string_view w = token_text(t);
    if (ctx.variables->envfail == input::EnvFail::kCancel && w.size() == 2 && w[0] == '%' &&
        w[1] >= '0' && w[1] <= '9' && w[1] - '0' > ctx.param_count) {
      ctx.tokens->current = t;
      raise(ctx, detail::kMsgParamBeyond);
    }
    if (!is_word(t) || (t->flags & (input::kTokSplit | input::kTokMarks)) != 0 || w[0] != 'N') {
      continue;
    }
    if (w == "NOPTOT" || w == "NOPSUM") {
      listing.no_totals = true;
    } else if (w == "NOP" || w == "NOPRINT") {
      listing.no_totals = true;
      listing.no_echo = true;
      echo_off = true;
    } else if (w == "NOPCTL") {
      listing.no_echo = true;
      echo_off = true;
    } else {
      continue;
    }
    ctx.tokens->current = t;
    input::take_token(*ctx.tokens);
  }
  if (echo_off && echo_before && ctx.line_counter > 1 && ctx.line_area != nullptr) {
    // The reader will not list this statement any more: list it here.
    report::listing_print(listing, ctx.line_area, report::PT_ECHO, 0);
  }
}

// Substitutes variables in the statement; the name an EQU statement defines stays as written.
void substitute_variables(Context& ctx) {
  TokenList& list = *ctx.tokens;
  Token* first = input::left_over(list);
  Token* name = nullptr;
  if (is_word(first) && token_text(first) == "EQU") {
    list.current = first->next;
    name = open_token(list);
  }
  if (name != nullptr && (name->flags & input::kTokConsumed) == 0) {
    name->flags |= input::kTokConsumed;
    --list.unconsumed;
  } else {
    name = nullptr;
  }
  const int rc = input::substitute(list, *ctx.variables, ctx.program_path.c_str(), ctx.param_count);
  if (name != nullptr) {
    name->flags &= ~input::kTokConsumed;
    ++list.unconsumed;
  }
  if (rc != 0) raise(ctx, rc);
}

// A one-word statement is a label unless the word is one the compiler knows or looks like a
// file name.
bool is_label(Context& ctx, Token* t) {
  if (ctx.tokens->unconsumed != 1 || !is_word(t) || (t->flags & input::kTokSplit) != 0) {
    return false;
  }
  const std::string_view w = token_text(t);
  return !w.empty() && !input::reserved_word(w) && !recognised_word(w) &&
         w.find_first_of("./\\") == std::string_view::npos;
}

// Compiles the statement by its first word's role: a condition, an action, or one of the
// statements that make no record.
void dispatch_statement(Context& ctx) {
  TokenList& list = *ctx.tokens;
  Token* first = list.current;
  const StatementWord* found = nullptr;
  if (is_word(first) && (first->flags & input::kTokSplit) == 0) {
    for (const StatementWord& s : kStatementWords) {
      if (input::list_contains(s.names, token_text(first))) {
        found = &s;
        break;
      }
    }
  }
  if (found == nullptr) {
    compile_action(ctx, program::kStAction);
    return;
  }
  input::take_token(list);
  switch (found->role) {
    case Role::kAnd:
      compile_condition_statement(ctx, program::kStAnd);
      return;
    case Role::kOr:
      compile_condition_statement(ctx, program::kStOr);
      return;
    case Role::kIf:
      compile_condition_statement(ctx, program::kStIf);
      return;
    case Role::kElseIf:
      compile_condition_statement(ctx, program::kStElseIf);
      return;
    case Role::kThenIf:
      compile_condition_statement(ctx, program::kStThenIf);
      return;
    case Role::kElse:
      if (input::match_current(list, "IF,I") != nullptr) {
        compile_condition_statement(ctx, program::kStElseIf);
      } else {
        compile_action(ctx, program::kStElseAction);
      }
      return;
    case Role::kThen:
      if (input::match_current(list, "IF,I") != nullptr) {
        compile_condition_statement(ctx, program::kStThenIf);
      } else {
        compile_action(ctx, program::kStThenAction);
      }
      return;
    case Role::kNow:
      compile_action(ctx, program::kStAction);
      return;
    case Role::kEqu: {
      const int rc = input::define_variable(list, *ctx.variables, ctx.line_counter == 0);
      if (rc != 0) raise(ctx, rc);
      return;
    }
    case Role::kEof:
    case Role::kCkpt:
    case Role::kPdump:
      list.current = nullptr;
      raise(ctx, detail::kMsgNotAvailable);
      input::left_over(list);
      return;
    case Role::kEnd:
      if (ctx.line_area != nullptr) ctx.line_area[0] = ctx.program->listing_marker;
      ctx.program->listing_marker = ' ';
      end_statements(ctx, false);
      return;
    case Role::kCancel:
    case Role::kQuit:
      end_statements(ctx, true);
      return;
    case Role::kInclude:
      compile_include(ctx);
      return;
    case Role::kOption:
      compile_option(ctx, false);
      return;
    case Role::kReport:
      compile_option(ctx, true);
      return;
    case Role::kPrtctl:
      ctx.listing->no_echo = false;
      return;
    case Role::kCat:
      compile_cat(ctx);
      return;
    case Role::kColumn:
      detail::compile_column(ctx);
      return;
  }
}

}  // namespace

// ---- Exports -----------------------------------------------------------------------------------

int raise(Context& ctx, int n) {
  const Token* t = nullptr;
  if (ctx.tokens != nullptr) {
    t = ctx.tokens->current;
    if (t == nullptr || (t->flags & input::kTokEnd) != 0) t = ctx.tokens->last_keyword;
  }
  int32_t offset = -1;
  int32_t length = 0;
  constexpr uint32_t kUnmarked =
      input::kTokEnd | input::kTokComment | input::kTokInserted | input::kTokOwnsText;
  if (t != nullptr && t->text != nullptr && (t->flags & kUnmarked) == 0 &&
      (t->flags & input::kTokMarks) == 0 && ctx.statement != nullptr) {
    // A hexadecimal literal's bytes end before its closing quote; its digits are the mark.
    const bool hex = (t->flags & input::kTokHex) != 0;
    const char* start = hex ? t->text + t->length - t->source_length : t->text;
    const int32_t width = hex ? t->source_length : t->length;
    const std::ptrdiff_t at = start - ctx.statement;
    if (width > 0 && at >= 0 && at + width <= kStatementBufferSize) {
      offset = static_cast<int32_t>(at);
      length = width;
    }
  }
  report::record_error(*ctx.messages, n, offset, length);
  return n;
}

int32_t compile_statement(Context& ctx) {
  program::Program& program = *ctx.program;
  TokenList& list = *ctx.tokens;
  if (ctx.line_area != nullptr) std::memset(ctx.line_area, ' ', kListingPrefix);
  Statement& rec = allocate_record(ctx);

  if (input::left_over(list) == nullptr || pending(ctx)) return 0;
  if (input::needs_substitution(*ctx.variables, *ctx.tokens)) {
    substitute_variables(ctx);
    if (pending(ctx)) return 0;
  }
  statement_wide_words(ctx);

  Token* first = input::left_over(list);
  if (first == nullptr) return 0;
  if (!program.last_was_label) program.listing_marker = '0';
  program.last_was_label = false;

  if (is_label(ctx, first)) {
    define_label(ctx, first);
    return 0;
  }
  if ((first->flags & input::kTokQuoted) != 0) {
    compile_action(ctx, program::kStAction);
  } else {
    dispatch_statement(ctx);
  }

  if (rec.type == program::kStEnd) return 0;
  check_order(ctx, rec.type, first);
  if (program::is_condition(rec.type)) {
    rec.selid = -program.selid_counter;
    return 0;
  }
  compile_counts(ctx);
  if (!pending(ctx)) complete_operands(ctx);
  rec.selid = program.selid_counter++;
  return rec.selid;
}

}  // namespace recsift::compiler
