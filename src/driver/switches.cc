// First pass over the command line: the switches "-ctl", "-lst", "-log" (and the "<" or 0xAE
// introducers of a control file) and "-cor" with its debug letters. Positional parameters and
// in-line statements are the second pass's.
//
// Switch names are lower case and compared exactly; within one argument several switches may
// follow each other, separated by blanks (and by commas after a value).
#include <cstdio>
#include <cstring>

#include "base/fatal.h"
#include "driver/driver.h"
#include "files/files.h"
#include "host/host.h"
#include "report/report.h"

namespace recsift::driver {

namespace {

constexpr char kNotSign = '\xAE';  // control-file introducer of the console code page
constexpr std::string_view kDebugLetters = "M1,M2,A4,HT,NR,TR";
constexpr int kMessageBadSwitch = 155;
constexpr int32_t kMaxParts = 9999;  // -part: most parts of one input
constexpr int kMessageSwitchAfterStatements = 168;

bool starts_switch(char c) {
  return c == '-' || c == kNotSign || c == '<';
}

const char* skip(const char* p, std::string_view set) {
  while (*p != '\0' && set.find(*p) != std::string_view::npos) ++p;
  return p;
}

// Applies one "-cor" pair; returns false when the pair is not one of the debug letters. A pair
// must be a whole item of the list: "1," or ",M" are not debug letters.
bool apply_debug_pair(RunState& run, const char* pair, const char** rest) {
  if (pair[0] == '\0' || pair[1] == '\0') return false;
  size_t at = kDebugLetters.find(std::string_view(pair, 2));
  while (at != std::string_view::npos && at % 3 != 0)
    at = kDebugLetters.find(std::string_view(pair, 2), at + 1);
  if (at == std::string_view::npos) return false;
  base::PoolSettings& pool = base::pool_settings();
  const char* p = pair + 2;
  switch (pair[1]) {
    case '1':
      run.debug.m1 = pool.trace_gets = true;
      break;
    case '2':
      run.debug.m2 = pool.trace_releases = true;
      break;
    case '4':
      run.debug.a4 = true;
      break;
    case 'T':
      run.debug.ht = pool.guard_blocks = true;
      break;
    default:
      if (pair[0] == 'N') {
        run.debug.nr = pool.keep_released = true;
      } else {  // TR, followed by a release number
        run.debug.tr = pool.keep_toggle = true;
        int32_t number = 0;
        for (; *p == '=' || (*p >= '0' && *p <= '9'); ++p) {
          if (*p != '=' && number < 100000000) number = number * 10 + (*p - '0');
        }
        if (run.debug.tr1 == 0) {
          run.debug.tr1 = pool.n1 = number;
        } else {
          run.debug.tr2 = pool.n2 = number;
        }
      }
  }
  *rest = p;
  return true;
}

// "-part I/N": 1 <= I <= N <= kMaxParts, both plain numbers.
bool apply_part(RunState& run, std::string_view value) {
  const size_t slash = value.find('/');
  if (run.parts != 0 || slash == std::string_view::npos) return false;
  auto number = [](std::string_view digits) {
    int32_t n = 0;
    if (digits.empty() || digits.size() > 4) return 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return 0;
      n = n * 10 + (c - '0');
    }
    return n;
  };
  const int32_t part = number(value.substr(0, slash));
  const int32_t parts = number(value.substr(slash + 1));
  if (part < 1 || part > parts || parts > kMaxParts) return false;
  run.part = part;
  run.parts = parts;
  return true;
}

// Stores the value of a value switch; repeated or empty values raise message 155.
void apply_value(RunState& run, char kind, std::string_view value) {
  std::string* target = nullptr;
  bool* given = nullptr;
  if (kind == 'p') {
    if (!apply_part(run, value)) report::record_error(run.messages, kMessageBadSwitch);
    return;
  }
  switch (kind) {
    case 'c':
      target = &run.control_file, given = &run.control_file_given;
      break;
    case 'l':
      target = &run.listing_file, given = &run.listing_file_given;
      break;
    default:
      target = &run.log_file, given = &run.log_file_given;
      break;
  }
  if (*given || value.empty()) {
    report::record_error(run.messages, kMessageBadSwitch);
    return;
  }
  *given = true;
  *target = value;
  if (kind == 'g') {
    int error = 0;
    std::FILE* log = host::open_output_stream(run.log_file, &error);
    if (log == nullptr) {
      report::record_error(run.messages, kMessageBadSwitch);
      return;
    }
    base::set_log_stream(log);
    base::pool_settings().trace = log;
  }
}

}  // namespace

void read_switches(RunState& run, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const char* p = skip(argv[i], " ");
    if (*p == '!') {
      run.inline_seen = true;
      continue;
    }
    if (!starts_switch(*p)) continue;
    while (*p != '\0') {
      char kind = 0;
      const char* value = nullptr;
      if (std::strncmp(p, "-cor", 4) == 0) {
        if (!apply_debug_pair(run, p + 4, &p)) break;
        if (run.inline_seen) report::record_error(run.messages, kMessageSwitchAfterStatements);
        p = skip(p, " ");
        continue;
      }
      if (std::strncmp(p, "-ctl", 4) == 0) {
        kind = 'c', value = p + 4;
      } else if (std::strncmp(p, "-lst", 4) == 0) {
        kind = 'l', value = p + 4;
      } else if (std::strncmp(p, "-log", 4) == 0) {
        kind = 'g', value = p + 4;
      } else if (std::strncmp(p, "-part", 5) == 0) {
        kind = 'p', value = p + 5;
      } else if (*p == kNotSign || *p == '<') {
        kind = 'c', value = p + 1;
      } else {
        break;  // not a switch of this pass
      }
      if (run.inline_seen) report::record_error(run.messages, kMessageSwitchAfterStatements);
      value = skip(value, " =");
      if (*value == '\0') value = i + 1 < argc ? argv[++i] : "";
      const size_t length = std::strcspn(value, " ,");
      apply_value(run, kind, std::string_view(value, length));
      p = skip(value + length, " ,");
      if (!starts_switch(*p)) break;
    }
  }
}

}  // namespace recsift::driver
