// Second pass over the command line: the command tail (PARM), the positional parameters with
// their generated EQU statements, the parameters as typed (PARG), the in-line statements after
// the first separator, and the version request "-V".
//
// The tail is tokenised as one statement without splitting, so "-ctl=a.ctl", quoted values and
// hexadecimal literals are cut exactly as in a control statement; only the tokens before the
// first separator are parameters.
#include <algorithm>
#include <cstring>

#include "convert/special_area.h"
#include "driver/driver.h"
#include "files/files.h"
#include "input/input.h"

namespace recsift::driver {

namespace {

constexpr int kMessageTooLong = 170;
constexpr size_t kMaxTail = 515;       // longest command tail kept
constexpr size_t kStagingLimit = 527;  // the staging buffer holds 528 bytes, its last a zero
constexpr int kMaxParameters = 9;
constexpr std::string_view kDebugLetters = "M1,M2,A4,HT,NR,TR";

uint8_t separator_of(const RunState& run) {
  return run.work.special != nullptr ? run.work.special[convert::kSpSeparator] : '!';
}

// A pool text of max(length, 80) + 1 bytes holding `text`, zero-terminated.
char* pool_text(std::string_view text, const char* description) {
  const int64_t size = static_cast<int64_t>(std::max<size_t>(text.size(), 80)) + 1;
  auto* block = static_cast<char*>(base::qelgcore(size, 0, description));
  std::memcpy(block, text.data(), text.size());
  return block;
}

bool is_debug_switch(std::string_view word) {
  if (word.size() < 6 || word.substr(0, 4) != "-COR") return false;
  const std::string_view pair = word.substr(4, 2);
  for (size_t at = 0; at < kDebugLetters.size(); at += 3) {
    if (kDebugLetters.substr(at, 2) == pair) return true;
  }
  return false;
}

bool is_value_switch(std::string_view word) {
  return word == "\xAE" || word == "<" || word == "-CTL" || word == "-LST" || word == "-LOG" ||
         word == "-PART";
}

// The extent [begin, end) of a token in the command tail as typed: a quoted value with its quotes
// (and the "X" of a hexadecimal literal), a word up to its delimiter.
void typed_extent(const input::Token& token, std::string_view tail, uint8_t separator,
                  size_t* begin, size_t* end) {
  size_t at = static_cast<size_t>(std::max<std::ptrdiff_t>(0, token.source - tail.data()));
  at = std::min(at, tail.size());
  if (token.flags & input::kTokQuoted) {
    const char quote = (token.flags & input::kTokSingleQuoted) ? '\'' : '"';
    size_t open = at;
    while (open > 0 && tail[open - 1] != quote) --open;  // the source starts after the quote
    *begin = open > 0 ? open - 1 : 0;
    if ((token.flags & input::kTokHex) && *begin > 0) --*begin;
    size_t i = std::max(at, open);
    for (; i < tail.size(); ++i) {
      if (tail[i] != quote) continue;
      if (!(token.flags & input::kTokHex) && i + 1 < tail.size() && tail[i + 1] == quote) {
        ++i;  // a doubled quote stands for one
        continue;
      }
      break;
    }
    *end = std::min(i + 1, tail.size());
    return;
  }
  *begin = at;
  size_t i = at;
  while (i < tail.size() && std::strchr(" \t=,'\"\r\n", tail[i]) == nullptr &&
         static_cast<uint8_t>(tail[i]) != separator) {
    ++i;
  }
  *end = i;
}

}  // namespace

std::string command_tail(int argc, char** argv) {
  std::string tail;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) tail += ' ';
    tail += argv[i];
  }
  const size_t first = tail.find_first_not_of(" \t");
  return first == std::string::npos ? std::string() : tail.substr(first);
}

void read_parameters(RunState& run, int argc, char** argv) {
  if (argc < 2) {
    // No arguments: one block holds both texts, empty.
    auto* both = static_cast<char*>(base::qelgcore(192, 0, "parg"));
    run.parm = both;
    run.parg = both + 96;
    return;
  }
  std::string tail = command_tail(argc, argv);
  if (tail.size() > kMaxTail) {
    report::record_error(run.messages, kMessageTooLong);
    tail.resize(kMaxTail);
  }
  run.parm = pool_text(tail, "parm");
  run.parm_length = static_cast<int32_t>(tail.size());
  const std::string_view typed(run.parm, tail.size());

  const uint8_t separator = separator_of(run);
  std::string work = tail + "\n";  // the working copy, cut up in place
  run.tokens.max_token_length = run.max_token_length;
  const char* rest = input::tokenise(run.tokens, work.data(), run.parm, separator, true);

  std::string parg;
  bool skip_value = false;
  for (input::Token* t = run.tokens.head; t != nullptr; t = t->next) {
    const bool last = (t->flags & (input::kTokLast | input::kTokEnd)) != 0;
    const bool has_text = t->text != nullptr && (t->length > 0 || (t->flags & input::kTokQuoted));
    if (!(t->flags & input::kTokComment) && has_text) {
      const std::string_view word(t->text, static_cast<size_t>(t->length));
      if (skip_value) {
        skip_value = false;
      } else if (is_debug_switch(word)) {
      } else if (is_value_switch(word)) {
        skip_value = true;
      } else if (word.front() == '\xAE' || word.front() == '<') {
      } else if (word == "-V") {
        run.version_request = true;
      } else if (word == "--NO-PROGRESS" || word == "--no-progress") {
        run.no_progress = true;
      } else if (run.param_count < kMaxParameters) {
        size_t begin = 0, end = 0;
        typed_extent(*t, typed, separator, &begin, &end);
        const std::string_view source = typed.substr(begin, end - begin);
        const int n = run.param_count + 1;
        std::string equ = "EQU %";
        equ += static_cast<char>('0' + n);
        equ += "   ";
        equ += source;
        equ += static_cast<char>(separator);
        if (run.staging.size() + equ.size() > kStagingLimit) {
          report::record_error(run.messages, kMessageTooLong);
        } else {
          run.staging += equ;
          run.param_count = n;
          run.params[n] = Parameter{std::string(word), std::string(source), t->flags};
          input::define_parameter(
              run.variables, n, run.params[n].value, run.params[n].source,
              t->flags & (input::kTokWord | input::kTokQuoted | input::kTokHex));
          size_t blanks = end;
          while (blanks < typed.size() && typed[blanks] == ' ') ++blanks;
          parg += typed.substr(begin, blanks - begin);
        }
      }
    }
    if (last) break;
  }
  // -part I/N: %PART% and %PARTS% name the part, e.g. in the name of its output.
  if (run.parts > 0) {
    for (const auto& [name, value] : {std::pair{"PART", run.part}, {"PARTS", run.parts}}) {
      run.staging += "EQU %";
      run.staging += name;
      run.staging += "% " + std::to_string(value);
      run.staging += static_cast<char>(separator);
    }
  }
  run.parg = pool_text(parg, "parm");
  run.parg_length = static_cast<int32_t>(parg.size());
  run.params_present = run.param_count > 0;

  if (rest != nullptr) {
    const size_t after = std::min(static_cast<size_t>(rest - work.data()), typed.size());
    run.staging += typed.substr(after);
    run.staging += static_cast<char>(separator);
    run.inline_statements = true;
  }
  if (run.params_present || run.inline_statements || run.parts > 0) {
    input::end_of_inline_statements(run.staging, separator, run.tokens, &run.no_control_input);
  }
}

}  // namespace recsift::driver
