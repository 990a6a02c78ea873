// A whole run under arbitrary input: the bytes are a control file and a data file, written into
// a folder of their own that is emptied before each input, and run through the run driver from
// the command line to its exit code, with the listing and the log in that folder too.
//
// Input layout: 2 bytes (big-endian) the control file's length (cut to what there is), the
// control file, 1 byte the data file's name length, its name (letters, digits, ".", "-" and "_";
// anything else, or none, gives "in.txt"), then the data file's bytes.
//
// The run is confined (host::forbid_outside_effects): no commands, no shared libraries, no
// waits, no console, no file outside the folder; and it is bounded in time (Watchdog). A control
// file that could reach beyond that in ways the host layer does not see (a path separator in the
// text, a console reply) is skipped. The stops that end the process (base::stop_process: listing
// failures, the pool, logic errors) end only the run: the stop handler throws, the run's pool arena
// and state unwind, and the handles the run left open are closed here. Shared by fuzz/run_fuzzer.cc
// and the replay test.
#ifndef RECSIFT_FUZZ_RUN_TARGET_H_
#define RECSIFT_FUZZ_RUN_TARGET_H_

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "base/fatal.h"
#include "driver/driver.h"
#include "host/host.h"

namespace recsift::fuzz {

namespace run_detail {

// Thrown by the stop handler: the exit code of a run that stopped the process.
struct Stopped {
  int exit_code;
};

[[noreturn]] inline void throw_stop(int exit_code) {
  throw Stopped{exit_code};
}

// A control program may loop for ever (a GOTO back to a label, no READ): that is the program's
// doing, not a fault. A run that lasts longer than kRunSeconds is ended as SIGTERM ends a run
// (after the last whole record, error 514); one that does not end then is a hang libFuzzer reports.
inline constexpr int kRunSeconds = 4;

class Watchdog {
 public:
  Watchdog() : thread_([this] { watch(); }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

  void arm() {
    std::lock_guard<std::mutex> lock(mutex_);
    deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(kRunSeconds);
    armed_ = true;
    wake_.notify_all();
  }
  void disarm() {
    std::lock_guard<std::mutex> lock(mutex_);
    armed_ = false;
  }

 private:
  void watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!quit_) {
      if (!armed_) {
        wake_.wait(lock);
      } else if (wake_.wait_until(lock, deadline_) == std::cv_status::timeout && armed_ &&
                 std::chrono::steady_clock::now() >= deadline_) {
        armed_ = false;  // once per run: a second signal would end the process
        std::raise(SIGTERM);
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::chrono::steady_clock::time_point deadline_;
  bool armed_ = false;
  bool quit_ = false;
  std::thread thread_;
};

inline Watchdog& watchdog() {
  static Watchdog dog;
  return dog;
}

// The descriptors open now, from /proc (less the one its listing used, closed again by then).
inline std::vector<int> open_handles() {
  std::vector<int> listed;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
    const std::string name = entry.path().filename().string();
    if (!name.empty() && std::isdigit(static_cast<unsigned char>(name[0]))) {
      listed.push_back(std::stoi(name));
    }
  }
  std::vector<int> handles;
  host::FileIdentity identity;
  for (const int handle : listed) {
    if (host::handle_identity(handle, &identity) == 0) handles.push_back(handle);
  }
  std::sort(handles.begin(), handles.end());
  return handles;
}

inline bool upper_contains(const std::string& text, const char* word) {
  std::string upper = text;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper.find(word) != std::string::npos;
}

inline void write_file(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace run_detail

// What one input did.
struct RunOutcome {
  bool ran = false;      // false: the input was skipped (see the file comment)
  bool stopped = false;  // the run ended by a stop of the process
  int exit_code = 0;     // the run's exit code (or the stop's)
};

// Runs one input in `folder` (created when missing, emptied first). The current folder is
// `folder` during the run and is put back afterwards; the confinement and the stop handler are
// on only during the run.
inline RunOutcome run_input(const uint8_t* data, size_t size, const std::filesystem::path& folder) {
  namespace fs = std::filesystem;
  using namespace run_detail;
  RunOutcome outcome;
  size_t at = 0;
  auto take = [&](size_t n) {
    n = std::min(n, size - at);
    std::string s(reinterpret_cast<const char*>(data) + at, n);
    at += n;
    return s;
  };
  if (size < 2) return outcome;
  const size_t control_length = (size_t{data[0]} << 8) | data[1];
  at = 2;
  const std::string control = take(control_length);
  const size_t name_length = at < size ? data[at++] : 0;
  std::string name = take(std::min<size_t>(name_length, 32));
  const std::string content = take(size);
  bool plain = !name.empty() && name[0] != '.';
  for (const char c : name) {
    plain =
        plain && (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_');
  }
  if (!plain) name = "in.txt";
  if (control.find_first_of("/\\") != std::string::npos || upper_contains(control, "REPLY")) {
    return outcome;
  }

  std::error_code ec;
  fs::create_directories(folder, ec);
  for (const auto& entry : fs::directory_iterator(folder, ec)) fs::remove_all(entry.path(), ec);
  write_file(folder / "run.ctl", control);
  write_file(folder / name, content);

  const fs::path previous = fs::current_path(ec);
  fs::current_path(folder, ec);
  const std::vector<int> handles = open_handles();
  char program[] = "recsift";
  char ctl[] = "-ctl", ctl_name[] = "run.ctl", lst[] = "-lst", lst_name[] = "run.lst";
  char log[] = "-log", log_name[] = "run.log";
  char* argv[] = {program, ctl, ctl_name, lst, lst_name, log, log_name, nullptr};
  host::forbid_outside_effects(true);
  base::set_stop_handler(throw_stop);
  host::forget_interrupt();
  outcome.ran = true;
  watchdog().arm();
  try {
    outcome.exit_code = driver::run(7, argv);
  } catch (const Stopped& stop) {
    outcome.stopped = true;
    outcome.exit_code = stop.exit_code;
  }
  watchdog().disarm();
  base::set_stop_handler(nullptr);
  host::forbid_outside_effects(false);
  if (outcome.stopped) {
    // A stop leaves the log stream and the run's files open: their streams were flushed by the
    // stop; the descriptors go, so that the next runs find the same ones free.
    base::close_log_stream();
    for (const int handle : open_handles()) {
      if (!std::binary_search(handles.begin(), handles.end(), handle)) host::close_file(handle);
    }
  }
  fs::current_path(previous, ec);
  return outcome;
}

}  // namespace recsift::fuzz

#endif  // RECSIFT_FUZZ_RUN_TARGET_H_
