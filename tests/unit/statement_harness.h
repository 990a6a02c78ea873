// A compile run for the statement and OPTION tests: the objects the run driver owns, set to their
// start-up values (the listing attached to the run's areas and open, its lines thrown away), and a
// reader that compiles statements one by one as the control-statement
// loop does (tokenise, compile, message 45 for leftovers, stop after END, QUIT or CANCEL).
#ifndef RECSIFT_TESTS_UNIT_STATEMENT_HARNESS_H_
#define RECSIFT_TESTS_UNIT_STATEMENT_HARNESS_H_

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "compiler/compiler.h"
#include "convert/special_area.h"
#include "engine/engine.h"
#include "files/files.h"
#include "input/input.h"
#include "program/program.h"
#include "report/report.h"

namespace recsift::compiler::testing {

struct CompileRun {
  input::TokenList tokens;
  input::Variables variables;
  report::Messages messages;
  report::Listing listing;
  program::Program program;
  program::NameIndex names;
  files::FileList files;
  uint8_t special[convert::kSpecialAreaSize] = {};
  uint8_t date_area[convert::kDateAreaSize] = {};
  char heading[report::kHeadingSize];
  char rule[report::kHeadingSize];
  char line_area[10 + 516 + 2] = {};
  char statement[528] = {};
  int32_t lines_left = 50;
  Context ctx;
  // Message of each statement compiled, "" for none: "n" or "n@offset+length" with the mark.
  std::vector<std::string> messages_raised;
  std::vector<int32_t> selids;  // what compile_statement returned

  CompileRun() {
    std::memset(heading, ' ', sizeof heading);
    std::memset(rule, ' ', sizeof rule);
    std::memset(date_area, ' ', sizeof date_area);
    heading[0] = '\n';
    heading[1] = '\r';
    convert::SpecialArea sp(special);
    sp.set_byte(convert::kSpSeparator, '!');
    sp.set_byte(convert::kSpBannerFlags, convert::kBannerWanted);
    sp.set_byte(convert::kSpNoRdw, 1);
    sp.set_byte(convert::kSpFillChar, ' ');
    // Pointer names 0 and 1 are reserved: @name variables number from 2.
    names.insert(std::string_view());
    names.insert(std::string_view("\xD1\xFF", 2));
    // As at the start of a run: the listing knows the run's areas and has its first page. The
    // statements' echoes (NOPCTL lists its own line) go nowhere.
    report::listing_attach(listing, heading, rule, date_area, special, "", "");
    listing.name = "/dev/null";
    listing.messages = &messages;
    report::listing_print(listing, "", report::PT_TEXT, 0);
    ctx.tokens = &tokens;
    ctx.variables = &variables;
    ctx.messages = &messages;
    ctx.listing = &listing;
    ctx.program = &program;
    ctx.names = &names;
    ctx.files = &files;
    ctx.special = special;
    ctx.date_area = date_area;
    ctx.heading = heading;
    ctx.rule = rule;
    ctx.line_area = line_area;
    ctx.statement = statement;
    ctx.lines_left = &lines_left;
    ctx.line_counter = 1;
#ifdef RECSIFT_TEST_CALL_LIBRARY_DIR
    files.program_dir = RECSIFT_TEST_CALL_LIBRARY_DIR;  // beside the program: the call library
#endif
  }

  // Compiles one statement; returns its message ("" for none).
  std::string compile(const std::string& text) {
    if (program.last_type == program::kStEndOfStatements) return "not read";
    std::memset(line_area, 0, sizeof line_area);
    std::memset(statement, 0, sizeof statement);
    std::memcpy(line_area + 10, text.data(), text.size());
    std::memcpy(statement, text.data(), text.size());
    ++ctx.line_counter;
    report::record_error(messages, 0);
    input::tokenise(tokens, statement, line_area + 10, '!', false);
    if (tokens.error != nullptr) report::record_error(messages, input::kMsgBadToken);
    selids.push_back(compile_statement(ctx));
    if (input::left_over(tokens) != nullptr) report::record_error(messages, 45);
    std::string m;
    if (messages.pending != 0) {
      m = std::to_string(messages.pending);
      if (messages.mark_offset >= 0) {
        m +=
            "@" + std::to_string(messages.mark_offset) + "+" + std::to_string(messages.mark_length);
      }
    }
    report::record_error(messages, 0);
    messages_raised.push_back(m);
    return m;
  }

  // Compiles the statements of `lines` ("\n"-separated); returns the messages, "n:m" for the
  // n-th statement (1-based) raising m without its mark, blank-separated.
  std::string compile_all(const std::string& lines) {
    std::string out;
    size_t start = 0;
    int n = 0;
    while (start <= lines.size()) {
      size_t end = lines.find('\n', start);
      if (end == std::string::npos) end = lines.size();
      const std::string m = compile(lines.substr(start, end - start));
      ++n;
      if (!m.empty()) {
        if (!out.empty()) out += ' ';
        out += std::to_string(n) + ":" + m.substr(0, m.find('@'));
      }
      start = end + 1;
    }
    return out;
  }
};

}  // namespace recsift::compiler::testing

#endif  // RECSIFT_TESTS_UNIT_STATEMENT_HARNESS_H_
