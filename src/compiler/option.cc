// The OPTION statement (OPT, OPTION, OPTIONS; REPORT and R also set the report flag): run-wide
// options of the listing, the summary, the banner, the statement separator, padding, tabs,
// substitution, the default folder and directory input. It makes no record.
//
// Exports (compiler.h): compile_option; (statement_internal.h) read_print_options, the options
// PRINT and LOG accept too.
//
// Every keyword is searched anywhere in the statement, in the order of kOptions; its value is
// the token after it. The order matters only where one token could serve two keywords. Each
// option writes its effect where its user reads it: listing sizes and flags in the Listing,
// substitution rules in the Variables, file defaults in the FileList, the rest in the
// special-variable area. The first message stops the statement.
#include <cstring>
#include <string>
#include <string_view>

#include "compiler/compiler.h"
#include "compiler/statement_internal.h"
#include "convert/special_area.h"
#include "files/files.h"
#include "input/input.h"
#include "program/program.h"
#include "report/report.h"

namespace recsift::compiler {
namespace {

using detail::is_word;
using detail::open_token;
using detail::token_text;
using input::Token;
using input::TokenList;

// Limits of the listing settings and what a value below them becomes.
constexpr int32_t kMinPageWidth = 66;
constexpr int32_t kMinDataWidth = 10;
constexpr int32_t kDataWidthFallback = 60;
constexpr int32_t kMinPageDepth = 10;
// The smallest work area.
constexpr int32_t kMinWorkLength = 22;
// SUB without a count: every level of sub-folders.
constexpr int32_t kAllSubLevels = 256;
// Columns of the heading title (after the first heading line's two control bytes) and of the
// rule under it.
constexpr int kTitleOffset = 2;
constexpr int kTitleWidth = 56;
// Letters of the directory sort orders.
constexpr std::string_view kSortLetters = "SPEND";

// Where the options of one statement go: the run (OPTION), or a PRINT or LOG statement.
struct Scope {
  Context& ctx;                   // the run's objects
  program::Statement* statement;  // the PRINT or LOG statement, null for OPTION
  const Token* keyword;           // the keyword just found
};

bool pending(const Context& ctx) {
  return ctx.messages->pending != 0;
}

// The keyword's value token (current after find_anywhere), or null when none follows.
Token* value_token(Scope& s) {
  return open_token(*s.ctx.tokens);
}

void take(Scope& s, Token* value) {
  s.ctx.tokens->current = value;
  input::take_token(*s.ctx.tokens);
}

// The value as a count (taken); anything else raises message 7 and counts as 0.
int32_t number(Scope& s) {
  Token* value = value_token(s);
  int32_t n = 0;
  if (!is_word(value) || !detail::parse_count(token_text(value), &n)) {
    raise(s.ctx, detail::kMsgBadNumber);
    return 0;
  }
  take(s, value);
  return n;
}

// A one-word value among `words` (taken), or null.
const char* word_value(Scope& s, std::string_view words) {
  Token* value = value_token(s);
  if (!is_word(value) || !input::list_contains(words, token_text(value))) return nullptr;
  take(s, value);
  return value->text;
}

// The value's characters as typed: a word keeps its case, a string its text.
std::string typed_value(Scope& s) {
  return value_token(s) == nullptr ? std::string() : detail::word_as_typed(*s.ctx.tokens, false);
}

std::string_view keyword(const Scope& s) {
  return token_text(s.keyword);
}

convert::SpecialArea special(Scope& s) {
  return convert::SpecialArea(s.ctx.special);
}

// ---- The options -----------------------------------------------------------------------------

void work_length(Scope& s) {
  const int32_t n = number(s);
  if (pending(s.ctx) || s.ctx.special == nullptr) return;
  if (special(s).get(convert::kSpWorkLength) != 0) return;  // the first setting stays
  special(s).set(convert::kSpWorkLength, n);
  if (n < kMinWorkLength) raise(s.ctx, detail::kMsgWorkAreaSmall);
}

void fill(Scope& s) {
  uint8_t c = ' ';
  if (value_token(s) != nullptr) {
    const std::string v = typed_value(s);
    if (v.size() > 1) {
      raise(s.ctx, detail::kMsgFillTooLong);
      return;
    }
    if (v.size() == 1) c = static_cast<uint8_t>(v[0]);
    detail::word_as_typed(*s.ctx.tokens, true);
  }
  s.ctx.files->fill_char = c;
  if (s.ctx.special != nullptr) special(s).set_byte(convert::kSpFillChar, c);
}

void no_fill(Scope& s) {
  s.ctx.files->fill_on = false;
}

void abtrap(Scope& s) {
  word_value(s, "OFF,ON,YES,NO");
}

void accepted(Scope&) {}

void dir_sort(Scope& s) {
  files::FileList& files = *s.ctx.files;
  if (keyword(s) == "NOSORT") {
    files.dir_sort = 0;
    return;
  }
  Token* value = value_token(s);
  const std::string_view v = token_text(value);
  if (is_word(value) && (v == "NO" || v == "0")) {
    files.dir_sort = 0;
  } else if (is_word(value) && v.size() == 1 && kSortLetters.find(v[0]) != std::string_view::npos) {
    files.dir_sort = static_cast<unsigned char>(v[0]);
  } else {
    raise(s.ctx, detail::kMsgBadSort);
    return;
  }
  take(s, value);
}

void dir_sub(Scope& s) {
  files::FileList& files = *s.ctx.files;
  if (keyword(s) == "NOSUB") {
    files.dir_sub = 0;
    return;
  }
  Token* value = value_token(s);
  int32_t n = 0;
  if (is_word(value) && detail::parse_count(token_text(value), &n)) {
    take(s, value);
    files.dir_sub = n;
  } else {
    files.dir_sub = kAllSubLevels;
  }
}

void key_not_found_rc(Scope& s) {
  const int32_t n = number(s);
  if (pending(s.ctx)) return;
  // The field is one byte: a larger return code would wrap round, 256 to 0 (success).
  if (n > 255) {
    s.ctx.tokens->current = nullptr;
    raise(s.ctx, detail::kMsgBadNumber);
    return;
  }
  if (s.ctx.special != nullptr)
    special(s).set_byte(convert::kSpKeyNotFoundRc, static_cast<uint8_t>(n));
}

void no_rdw(Scope& s) {
  if (s.ctx.special != nullptr) special(s).set_byte(convert::kSpNoRdw, 1);
}

void rdw(Scope& s) {
  if (s.ctx.special != nullptr) special(s).set_byte(convert::kSpNoRdw, 0);
}

void separator(Scope& s) {
  Token* value = value_token(s);
  const std::string_view v = token_text(value);
  uint8_t sep = 0;
  if (is_word(value) && (v == "NO" || v == "OFF")) {
    sep = 0;
  } else if (value != nullptr && typed_value(s).size() == 1) {
    sep = static_cast<uint8_t>(typed_value(s)[0]);
  } else {
    raise(s.ctx, detail::kMsgSepTooLong);
    return;
  }
  take(s, value);
  if (s.ctx.special != nullptr) special(s).set_byte(convert::kSpSeparator, sep);
}

void tabs_in(Scope& s) {
  const int32_t n = number(s);
  if (!pending(s.ctx)) s.ctx.files->tabs_in = n;
}

void tabs_out(Scope& s) {
  const int32_t n = number(s);
  if (!pending(s.ctx)) s.ctx.files->tabs_out = n;
}

void contmax(Scope& s) {
  const int32_t n = number(s);
  if (n > s.ctx.tokens->max_token_length) s.ctx.tokens->max_token_length = n;
}

void no_banner(Scope& s) {
  if (s.ctx.special == nullptr) return;
  special(s).set_byte(convert::kSpBannerFlags,
                      special(s).byte(convert::kSpBannerFlags) & ~convert::kBannerWanted);
}

void banner(Scope& s) {
  if (s.ctx.special == nullptr) return;
  special(s).set_byte(convert::kSpBannerFlags,
                      special(s).byte(convert::kSpBannerFlags) | convert::kBannerWanted);
}

void prtctl(Scope& s) {
  s.ctx.listing->no_echo = false;
}

void prtsum(Scope& s) {
  report::Listing& listing = *s.ctx.listing;
  Token* value = value_token(s);
  const std::string_view v = token_text(value);
  if (!is_word(value) || v.size() != 1 || v[0] < '0' || v[0] > '3') {
    listing.summary_level = 1;  // the value, if any, is not PRTSUM's
    return;
  }
  take(s, value);
  if (v[0] == '0') {
    listing.no_totals = true;
  } else {
    listing.summary_level = v[0] - '0';
  }
}

void no_env(Scope& s) {
  s.ctx.variables->no_env = true;
}

void clear_envfail(input::Variables& variables) {
  variables.envfail = input::EnvFail::kSame;
  base::qelgrel(&variables.envfail_text, "env");
}

void env(Scope& s) {
  s.ctx.variables->no_env = false;
  clear_envfail(*s.ctx.variables);
}

void envfail(Scope& s) {
  input::Variables& variables = *s.ctx.variables;
  clear_envfail(variables);
  Token* value = value_token(s);
  const std::string_view v = token_text(value);
  if (value != nullptr && (value->flags & input::kTokQuoted) != 0) {
    variables.envfail = input::EnvFail::kText;
    variables.envfail_text =
        static_cast<char*>(base::qelgcore(static_cast<int64_t>(v.size()) + 1, 0, "env"));
    std::memcpy(variables.envfail_text, v.data(), v.size());
  } else if (is_word(value) && v == "SAME") {
    variables.envfail = input::EnvFail::kSame;
  } else if (is_word(value) && (v == "NUL" || v == "NULL")) {
    variables.envfail = input::EnvFail::kNull;
  } else if (is_word(value) && v == "CANCEL") {
    variables.envfail = input::EnvFail::kCancel;
  } else {
    raise(s.ctx, detail::kMsgBadEnvfail);
    return;
  }
  take(s, value);
}

void report_flag(Scope& s) {
  s.ctx.listing->report_mode = true;
}

void page_width(Scope& s) {
  report::Listing& listing = *s.ctx.listing;
  int32_t n = number(s);
  if (pending(s.ctx)) return;
  listing.headings_built = false;
  if (n < kMinPageWidth) {
    n = kMinPageWidth;
    s.ctx.tokens->current = nullptr;
    raise(s.ctx, detail::kMsgBelowMinimum);
  }
  listing.page_width = n;
}

void data_width(Scope& s) {
  report::Listing& listing = *s.ctx.listing;
  int32_t n = number(s);
  if (pending(s.ctx)) return;
  listing.headings_built = false;
  if (n < kMinDataWidth) {
    n = kDataWidthFallback;
    s.ctx.tokens->current = nullptr;
    raise(s.ctx, detail::kMsgBelowMinimum);
  }
  listing.data_width = n;
}

// The page ends at the new depth: the lines left on it move with the depth.
void page_depth(Scope& s) {
  report::Listing& listing = *s.ctx.listing;
  const int32_t n = number(s);
  if (pending(s.ctx)) return;
  if (n < kMinPageDepth) {
    s.ctx.tokens->current = nullptr;
    raise(s.ctx, detail::kMsgBelowMinimum);
    return;
  }
  if (s.ctx.lines_left != nullptr) *s.ctx.lines_left += n - listing.page_depth;
  listing.page_depth = n;
}

// PRRECLEN and DUMPALL are switches: NO or OFF turns them off, YES or ON (or nothing) on. Only
// these words are taken as their value, so a switch followed by another operand leaves it.
bool switch_value(Scope& s) {
  const char* v = word_value(s, "NO,OFF,YES,ON");
  return v == nullptr || (std::strcmp(v, "YES") == 0 || std::strcmp(v, "ON") == 0);
}

void length_print(Scope& s) {
  report::Listing& listing = *s.ctx.listing;
  if (switch_value(s)) {
    listing.length_print = 1;
    listing.headings_built = false;
  } else {
    listing.length_print = 0;
  }
}

// DUMPENC c or cd: the characters around dumped data (the first in the high byte); DUMPALL: all
// lines of a dump. On PRINT or LOG they apply to that statement only.
void dump_options(Scope& s) {
  report::Listing& listing = *s.ctx.listing;
  if (keyword(s) == "DUMPALL") {
    const bool on = switch_value(s);
    if (s.statement == nullptr) {
      listing.dump_all = on;
    } else if (on) {
      s.statement->flags |= program::kSfDumpAll;
    } else {
      s.statement->flags &= ~program::kSfDumpAll;
    }
    return;
  }
  const std::string v = typed_value(s);
  if (v.size() != 1 && v.size() != 2) {
    raise(s.ctx, detail::kMsgBadDumpEnc);
    return;
  }
  detail::word_as_typed(*s.ctx.tokens, true);
  uint16_t enclosure = s.statement == nullptr ? listing.dump_enclosure
                                              : static_cast<uint16_t>(s.statement->argument);
  enclosure = static_cast<uint16_t>((static_cast<uint8_t>(v[0]) << 8) | (enclosure & 0xFF));
  if (v.size() == 2)
    enclosure = static_cast<uint16_t>((enclosure & 0xFF00) | static_cast<uint8_t>(v[1]));
  if (s.statement == nullptr) {
    listing.dump_enclosure = enclosure;
  } else {
    s.statement->argument = enclosure;
  }
}

void eof_chars(Scope& s) {
  Token* value = value_token(s);
  if (value == nullptr || value->length != 2) {
    raise(s.ctx, detail::kMsgBadEof);
    return;
  }
  take(s, value);
}

void default_dir(Scope& s) {
  files::FileList& files = *s.ctx.files;
  if (value_token(s) == nullptr) {
    raise(s.ctx, detail::kMsgNoOperand);
    return;
  }
  const std::string path = detail::word_as_typed(*s.ctx.tokens, true);
  base::qelgrel(&files.default_dir, "dfd");
  files.default_dir =
      static_cast<char*>(base::qelgcore(static_cast<int64_t>(path.size()) + 1, 0, "dfd"));
  std::memcpy(files.default_dir, path.data(), path.size());
  // Files already defined have taken their folder.
  if (files.head != nullptr) raise(s.ctx, detail::kMsgDefDirLate);
}

void heading(Scope& s) {
  Context& ctx = s.ctx;
  if (ctx.heading != nullptr) std::memset(ctx.heading + kTitleOffset, ' ', kTitleWidth);
  if (ctx.rule != nullptr) std::memset(ctx.rule, ' ', kTitleWidth);
  ctx.listing->headings_built = false;
  Token* value = value_token(s);
  if (value == nullptr) return;
  if (is_word(value) && token_text(value) == "NO") {
    take(s, value);
    return;
  }
  std::string title = detail::word_as_typed(*ctx.tokens, true);
  if (title.size() > static_cast<size_t>(kTitleWidth)) title.resize(kTitleWidth);
  if (ctx.heading != nullptr) std::memcpy(ctx.heading + kTitleOffset, title.data(), title.size());
  if (ctx.rule != nullptr) std::memset(ctx.rule, '-', title.size());
}

// ---- The table -------------------------------------------------------------------------------

struct Option {
  std::string_view names;  // keyword and synonyms
  void (*apply)(Scope&);   // reads the value and applies it
  bool on_print;           // also read on PRINT and LOG statements
  bool repeatable;         // may be written more than once (each synonym is its own switch)
};

constexpr Option kOptions[] = {
    {"W,WORKLEN,WORKAREA,WORKA", work_length, false, false},
    {"FILL,PAD", fill, false, false},
    {"NOFILL", no_fill, false, false},
    {"ABTRAP", abtrap, false, false},
    {"ASA0,NOASA0,Y2,Y4", accepted, false, true},
    {"SORT,SORTDIR,NOSORT", dir_sort, false, false},
    {"SUB,SUBDIR,NOSUB", dir_sub, false, false},
    {"RC_KEYNF", key_not_found_rc, false, false},
    {"NORDW", no_rdw, false, false},
    {"RDW", rdw, false, false},
    {"SEP", separator, false, false},
    {"TABSIN", tabs_in, false, false},
    {"TABSOUT", tabs_out, false, false},
    {"CONTMAX", contmax, false, false},
    {"NOBANNER,NOBAN", no_banner, false, false},
    {"BANNER,BAN", banner, false, false},
    {"PRTCTL", prtctl, false, false},
    {"PRTSUM", prtsum, false, false},
    {"NOENVVAR,NOENV", no_env, false, false},
    {"ENVVAR", env, false, false},
    {"ENVFAIL", envfail, false, false},
    {"REPORT,R", report_flag, false, false},
    {"PW,PAGEWIDTH", page_width, true, false},
    {"DW,DATAWIDTH", data_width, true, false},
    {"PD,PAGEDEPTH", page_depth, true, false},
    {"PRRECLEN", length_print, true, false},
    {"DUMPENC,DUMPALL", dump_options, true, true},
    {"EOF", eof_chars, false, false},
    {"DEFDIR,DFLTDIR,DEFAULTDIR", default_dir, false, false},
    {"HEAD,HD,H", heading, false, false},
};

int read_options(Context& ctx, program::Statement* statement) {
  TokenList& list = *ctx.tokens;
  for (const Option& o : kOptions) {
    if (statement != nullptr && !o.on_print) continue;
    do {
      if (pending(ctx) || input::find_anywhere(list, o.names) == nullptr) break;
      Scope scope{ctx, statement, list.last_keyword};
      o.apply(scope);
    } while (o.repeatable);
    if (pending(ctx)) break;
  }
  input::left_over(list);
  return ctx.messages->pending;
}

}  // namespace

int compile_option(Context& ctx, bool report) {
  if (report) ctx.listing->report_mode = true;
  return read_options(ctx, nullptr);
}

namespace detail {

int read_print_options(Context& ctx, program::Statement& statement) {
  return read_options(ctx, &statement);
}

}  // namespace detail
}  // namespace recsift::compiler
