// Start-up, the banner and the phases of a run, from the command line to the exit code.
//
// The phases run in a fixed order: start-up (switches, work block, defaults, parameters), the
// version request or the banner, compilation, execution, close-down. The return code lives in
// the special-variable area from start-up on; it is 52 until the selection program is linked,
// and the process exit code is whatever it holds at close-down.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/fatal.h"
#include "base/pool.h"
#include "convert/convert.h"
#include "convert/special_area.h"
#include "driver/driver.h"
#include "files/files.h"
#include "host/host.h"
#include "report/report.h"

namespace recsift::driver {

namespace {

constexpr int32_t kStartUpReturnCode = 52;
constexpr int32_t kFileLayerSize = 2048;
constexpr std::string_view kTitle = "RECSIFT/WNT ";
constexpr std::string_view kPrompt = "\n  Enter RECSIFT Ctl Cards...  (Use /* to end.)\n";
constexpr int kBannerTitleLength = 61;  // heading characters shown before the date
constexpr int kBannerDateLength = 16;   // "yyyy/mm/dd hh:mm"

// Carves the work block into its areas, in their fixed order.
void carve(WorkBlock& w, uint8_t* block, int64_t size) {
  w.block = block;
  w.size = size;
  uint8_t* p = block;
  auto take = [&p](int n) {
    uint8_t* at = p;
    p += n;
    return at;
  };
  w.line_area = reinterpret_cast<char*>(take(kLineAreaSize));
  w.statement = reinterpret_cast<char*>(take(kStatementBufferSize));
  w.date = take(kDateAreaSize);
  w.heading = reinterpret_cast<char*>(take(kHeadingSize));
  w.rule = reinterpret_cast<char*>(take(kRuleSize));
  w.banner = reinterpret_cast<char*>(take(kBannerSize));
  w.anchor = reinterpret_cast<void**>(take(kAnchorSize));
  w.special = take(kSpecialSize);
  w.file_work1 = take(kFileWorkSize);
  w.file_work2 = take(kFileWorkSize);
  w.listing_name = reinterpret_cast<char*>(p);
}

}  // namespace

void start_up(RunState& run) {
  // The work block: blanks, with everything from the statement-text anchor on cleared.
  const int64_t size = kWorkBlockFixed + static_cast<int64_t>(run.listing_file.size());
  auto* block = static_cast<uint8_t*>(base::qelgcore(size, ' ', "cmw"));
  carve(run.work, block, size);
  WorkBlock& w = run.work;
  const auto anchor_at = reinterpret_cast<uint8_t*>(w.anchor);
  std::memset(anchor_at, 0, static_cast<size_t>(block + size - anchor_at));
  std::memcpy(w.listing_name, run.listing_file.data(), run.listing_file.size());

  // Heading template "\n\rRECSIFT/WNT n.nn at " and a rule of 20 dashes.
  std::string heading = "\n\r";
  heading += kTitle;
  heading += kVersionText.substr(0, 4);
  // A run over one part of its input says which, on every page and in the banner.
  if (run.parts > 0)
    heading += " PART " + std::to_string(run.part) + "/" + std::to_string(run.parts);
  heading += " at ";
  std::memcpy(w.heading, heading.data(), heading.size());
  std::memset(w.rule, '-', heading.size() - 2);

  convert::SpecialArea special(w.special);
  special.set(convert::kSpReturnCode, kStartUpReturnCode);
  special.set_byte(convert::kSpBlank1, ' ');
  special.set_byte(convert::kSpBlank2, ' ');
  special.set_byte(convert::kSpBannerFlags, convert::kBannerWanted);
  special.set(convert::kSpFileLayerSize, kFileLayerSize);
  special.set_byte(convert::kSpFileFlags, convert::kFileFlag20);
  special.set_byte(convert::kSpSeparator, 0xFF);
  // NORDW is in force until an option says otherwise.
  special.set_byte(convert::kSpNoRdw, 1);
  special.set_byte(convert::kSpFillChar, ' ');
  run.max_token_length = 516;
  run.tokens.max_token_length = run.max_token_length;
  report::listing_attach(run.listing, w.heading, w.rule, w.date, w.special, w.banner, kVersionText);
  if (run.listing_file_given) run.listing.name = run.listing_file;
  run.listing.messages = &run.messages;
  run.messages.program_dir = run.program_dir;

  // Pointer names 0 and 1 are reserved.
  run.names.insert(std::string_view());
  run.names.insert(std::string_view("\xD1\xFF", 2));

  w.anchor[1] = w.statement;
  convert::fill_date_area(w.date);
  run.console = host::stdin_is_console();
  if (special.byte(convert::kSpSeparator) == 0xFF) special.set_byte(convert::kSpSeparator, '!');
}

std::string banner_line(const RunState& run) {
  std::string line(run.work.heading + 2, kBannerTitleLength);
  line.append(reinterpret_cast<const char*>(run.work.date) + convert::kDateTimestamp,
              kBannerDateLength);
  return line;
}

namespace {

constexpr const char* kUsage =
    "Usage: recsift [switches] [parameters] [! statement ! statement ...]\n"
    "Select, copy, convert and print records under control statements.\n"
    "\n"
    "Switches:\n"
    "  -ctl FILE    read the control statements from FILE (default: standard input)\n"
    "  -lst FILE    write the listing to FILE (default: $RSFLST, else RSFT.LST;\n"
    "               stdout and stderr name the streams)\n"
    "  -log FILE    write traces, the banner and fatal messages to FILE\n"
    "  -corXX       storage debugging: M1, M2, HT, NR, TRn, A4\n"
    "  -part I/N    read only part I of N of the primary input (for runs side by side)\n"
    "  --no-progress  no progress line on a terminal during long runs\n"
    "  -V           print the banner with the build level (on the log)\n"
    "  --version    print the banner line\n"
    "  --help, -h, -?  print this help\n"
    "Parameters: up to nine further words become %1 to %9 in the statements.\n"
    "\n"
    "Example:\n"
    "  recsift -ctl select.ctl -lst select.lst orders.txt\n"
    "  recsift ! READ orders.txt ! IF POS 1 = 'NORTH' ! THEN WRITE north.txt ! '/*'\n"
    "  recsift -ctl copy.ctl -lst stdout in.dat out.dat\n"
    "\n"
    "Exit status: 0 done; 4 to 16 warnings; 44 ended abnormally; 48 could not start;\n"
    "52 errors in the statements; 1 and 77 the listing could not be opened or written.\n"
    "Manual: man recsift; the statement language: man 5 recsift-statements.\n";

enum class Query { kNone, kHelp, kVersion };

// --help, -h, -? and --version, as whole words before the in-line statements; every other word
// keeps its meaning.
Query query_of(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view word = argv[i];
    if (!word.empty() && word.front() == '!') break;
    if (word == "--help" || word == "-h" || word == "-?") return Query::kHelp;
    if (word == "--version") return Query::kVersion;
  }
  return Query::kNone;
}

void write_log(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), base::log_stream());
}

// Close-down: the control inputs, the listing and the log stream are closed and the return code
// becomes the exit code.
int close_down(RunState& run) {
  input::close_control_inputs(run.reader);
  report::listing_print(run.listing, nullptr, report::PT_CLOSE, 0);
  base::close_log_stream();
  base::pool_settings().trace = nullptr;
  return convert::SpecialArea(run.work.special).get(convert::kSpReturnCode);
}

}  // namespace

int run(int argc, char** argv) {
  // The run's pool blocks are recorded in its arena and released with it, after the state that
  // points into them is gone; a fatal stop ends the process with both in place.
  const Query query = query_of(argc, argv);
  if (query == Query::kHelp) {
    std::fputs(kUsage, stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  base::PoolArena arena;
  const auto owned = std::make_unique<RunState>();
  RunState& state = *owned;
  host::guard_standard_handles();
  host::ignore_broken_pipe();
  host::watch_interrupts();
  state.program_path = argc > 0 && argv[0] != nullptr ? argv[0] : "recsift";
  state.program_dir = host::program_directory(argc > 0 ? argv[0] : nullptr);
  read_switches(state, argc, argv);
  start_up(state);
  read_parameters(state, argc, argv);

  convert::SpecialArea special(state.work.special);
  std::string banner = banner_line(state);
  if (query == Query::kVersion) {
    std::fputs((banner + "\n").c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  if (state.version_request) {
    banner += "\n          Build Level=";
    banner += kBuildLevel;
    banner += " (Latest change).\n";
    write_log(banner);
    base::close_log_stream();
    return 0;
  }
  // The short banner (title and start time) is what later prints show once.
  const std::string short_banner = banner + "\n";
  std::memcpy(state.work.banner, short_banner.c_str(), short_banner.size() + 1);
  if (!state.control_file_given && state.console && !state.no_control_input) {
    write_log(banner);
    write_log(kPrompt);
    special.set_byte(convert::kSpBannerFlags,
                     special.byte(convert::kSpBannerFlags) | convert::kBannerPrinted);
  }
  if (compile_phase(state)) execution_phase(state);
  return close_down(state);
}

}  // namespace recsift::driver
