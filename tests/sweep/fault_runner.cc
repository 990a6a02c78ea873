// recsift with one planned fault in its file calls, for the fault sweep.
//   RECSIFT_FAULT="KIND N [repeat]"  KIND: eio, enospc, eintr, short-read, short-write; N: the
//                                    call (among those KIND applies to) that fails; 0 = none
//   RECSIFT_FAULT_CALLS=PATH         at exit, "CALLS INJECTED" goes to PATH
// The arguments are recsift's own.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/driver.h"
#include "host/host.h"

namespace {

recsift::host::FaultPlan plan;
const char* calls_path = nullptr;

void report_calls() {
  recsift::host::set_fault_plan(nullptr);
  if (std::FILE* out = std::fopen(calls_path, "w")) {
    std::fprintf(out, "%lld %lld\n", static_cast<long long>(plan.calls),
                 static_cast<long long>(plan.injected));
    std::fclose(out);
  }
}

bool parse_plan(const char* text) {
  using recsift::host::Fault;
  static constexpr struct {
    const char* name;
    Fault fault;
  } kKinds[] = {{"eio", Fault::kIoError},
                {"enospc", Fault::kNoSpace},
                {"eintr", Fault::kInterrupted},
                {"short-read", Fault::kShortRead},
                {"short-write", Fault::kShortWrite}};
  char kind[16] = {};
  long long at = 0;
  char repeat[8] = {};
  if (std::sscanf(text, "%15s %lld %7s", kind, &at, repeat) < 2) return false;
  for (const auto& k : kKinds) {
    if (std::strcmp(kind, k.name) != 0) continue;
    plan.fault = k.fault;
    plan.fail_at = at;
    plan.repeat = std::strcmp(repeat, "repeat") == 0;
    return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (const char* text = std::getenv("RECSIFT_FAULT"); text != nullptr) {
    if (!parse_plan(text)) {
      std::fprintf(stderr, "fault_runner: bad RECSIFT_FAULT \"%s\"\n", text);
      return 125;
    }
    recsift::host::set_fault_plan(&plan);
  }
  calls_path = std::getenv("RECSIFT_FAULT_CALLS");
  if (calls_path != nullptr) std::atexit(report_calls);
  return recsift::driver::run(argc, argv);
}
