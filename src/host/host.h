// The platform layer: every call into the operating system lives behind these functions, so the
// rest of recsift includes no POSIX header. The layer is thin and holds no policy: functions
// return 0 or an errno value and never print; callers decide what a failure means.
#ifndef RECSIFT_HOST_HOST_H_
#define RECSIFT_HOST_HOST_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace recsift::host {

// ---- Clock -----------------------------------------------------------------------------------

// One moment as local calendar time.
struct CivilTime {
  int year = 0;    // four digits
  int month = 0;   // 1..12
  int mday = 0;    // day of month, 1..31
  int yday = 0;    // day of year, 1..366
  int wday = 0;    // day of week, 0 = Sunday
  int hour = 0;    // 0..23
  int minute = 0;  // 0..59
  int second = 0;  // 0..60
};

// Seconds since 1970 (universal time). SOURCE_DATE_EPOCH, when set to a number, replaces the
// clock so that listings of repeated runs are identical.
int64_t clock_now();
// The moment as local calendar time (the TZ rules of the process).
CivilTime local_time(int64_t seconds);
// The same, or EOVERFLOW when the moment has no local calendar time (out of the host's range).
int local_time_checked(int64_t seconds, CivilTime* civil);

// ---- Files -----------------------------------------------------------------------------------
// A file handle is a descriptor; -1 is "none". Offsets and sizes are 64-bit.

enum class OpenMode {
  kRead,       // existing file, read only
  kWrite,      // created or truncated, write only
  kAppend,     // created when missing, writes go to the end
  kReadWrite,  // existing file, read and write in place
  kWriteKept,  // write only, created when missing, its content kept (truncate_file empties it)
};
inline constexpr int kNoHandle = -1;

int open_file(const std::string& path, OpenMode mode, int* handle);
// Whether open_file could open `path` for writing, without opening (or emptying) it: 0, or the
// errno it would meet (a folder, no permission, a missing folder on the way).
int may_write(const std::string& path);
// Reads up to `len` bytes in one request: a pipe or terminal may hand over fewer than asked.
// *got = 0 at end of file. Interrupted calls are retried.
int read_file(int handle, void* buf, int64_t len, int64_t* got);
// Writes all `len` bytes or fails.
int write_file(int handle, const void* buf, int64_t len);
// whence: 0 from the start, 1 from the current offset, 2 from the end.
int seek_file(int handle, int64_t offset, int whence, int64_t* position);
int file_size(int handle, int64_t* size);
// Cuts (or extends) the file to `size` bytes.
int truncate_file(int handle, int64_t size);
int close_file(int handle);
// A stdio stream writing to a file (created or emptied) through the calls above, so that its
// writes meet the same errors (and planned faults) as the file layer's: a failed write or close
// shows as a failed fwrite, fflush or fclose. Null and *error when the file cannot be opened.
std::FILE* open_output_stream(const std::string& path, int* error);
// Handles of the standard streams.
inline constexpr int kStdinHandle = 0;
inline constexpr int kStdoutHandle = 1;
inline constexpr int kStderrHandle = 2;

// Status of a name: 0 and the facts, or ENOENT and friends. Links are followed.
struct FileStatus {
  bool is_directory = false;  // a directory
  bool is_regular = false;    // an ordinary file ("a" attribute)
  bool read_only = false;     // the owner lacks write permission ("r" attribute)
  bool hidden = false;        // the name begins with "." ("h" attribute)
  int64_t size = 0;           // bytes
  int64_t mtime = 0;          // modification time, seconds since 1970
  uint64_t device = 0;        // file system holding it: with inode, which file it is
  uint64_t inode = 0;         // its number on that file system
};
int file_status(const std::string& path, FileStatus* status);
// Which file a name or an open handle is: two names (links, "./x" and "x") are the same file
// exactly when their identities are equal. Links are followed.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};
int file_identity(const std::string& path, FileIdentity* identity);
int handle_identity(int handle, FileIdentity* identity);
// Sets a file's modification (and access) time.
int set_file_time(const std::string& path, int64_t seconds);
int remove_file(const std::string& path);

// ---- Directories -----------------------------------------------------------------------------

struct DirEntry {
  std::string name;   // the entry's own name, without the folder
  FileStatus status;  // as file_status reports it
};
// The entries of a folder except "." and "..", in the order the system gives them. Dangling
// links are skipped.
int list_directory(const std::string& path, std::vector<DirEntry>* entries);
// A folder read one entry at a time (bounded memory however large the folder). Each entry's
// status is taken relative to the open folder, following links; entries whose status cannot be
// had (a dangling link, an entry removed meanwhile) are skipped, as are "." and "..".
struct Folder;
int open_folder(const std::string& path, Folder** folder);
// The next entry: 0 with *name (valid until the next call) and *status, or 0 with *name null
// after the last one; an errno value when the folder cannot be read on.
int read_folder(Folder* folder, const char** name, FileStatus* status);
void close_folder(Folder* folder);

// The current folder, ending with "/".
std::string current_directory();

// Free space and total size of the file system holding `path`.
struct VolumeInfo {
  std::string label;    // always "no label": the host keeps no volume labels
  std::string fs_name;  // file-system type, blank when not known cheaply
  uint64_t total_bytes = 0;
  uint64_t free_bytes = 0;
};
int volume_info(const std::string& path, VolumeInfo* info);

// ---- Names and paths -------------------------------------------------------------------------
// Both "/" and "\" separate folders on input; "/" is produced.

// Turns every "\" into "/" in place; returns the number of replacements.
int normalise_separators(std::string& path);
// The folder part of a path including its final "/", or "" when there is none.
std::string_view directory_part(std::string_view path);
// The name after the last separator.
std::string_view name_part(std::string_view path);
bool is_separator(char c);
// The folder of the running program (from /proc/self/exe, else argv[0]), ending with "/".
std::string program_directory(const char* argv0);
// Searches `name` in the program's folder, then in ../share/recsift/ beside it, then along PATH.
// Returns the path found, or "" when none exists.
std::string find_file(std::string_view name, const std::string& program_dir);

// ---- Process ---------------------------------------------------------------------------------

// The value of an environment variable, or null.
const char* env(const char* name);
// Whether RECSIFT_GENERAL asks for the general path everywhere (tests compare both paths).
bool general_path_only();
// True when the standard input is a terminal.
bool stdin_is_console();

// A write to a pipe whose reader has gone fails with EPIPE (reported like any failed write)
// instead of ending the process; commands run by run_command still get the default.
void ignore_broken_pipe();

// SIGINT and SIGTERM are noted instead of ending the process, so that the run can end between
// two records with its outputs complete; a second one ends the process at once.
void watch_interrupts();
// The signal noted (SIGINT or SIGTERM), or 0.
int interrupt_signal();

// A clock for progress reports: after `first_ms`, then every `every_ms`, a tick is noted (by
// SIGALRM; interrupted calls resume). stop_progress_clock ends it.
void start_progress_clock(int first_ms, int every_ms);
void stop_progress_clock();
// Whether an interruption or a progress tick waits: one load, cheap enough for every record.
bool attention_wanted();
// Takes the progress tick noted, if any.
bool take_progress_tick();
// Milliseconds of a clock that only goes forward.
int64_t monotonic_ms();
// True when standard error is a terminal.
bool stderr_is_terminal();

// Standard input, output or error closed when the program starts is held on /dev/null, opened
// the other way round (input for writing, outputs for reading), so that its use still fails as
// on a closed handle while no file the run opens can take its number (a READ STDIN would read
// that file, a WRITE STDOUT would overwrite it).
void guard_standard_handles();
// Runs a command line through /bin/sh -c; *status is its exit status (128 + n after signal n).
int run_command(const std::string& command, int* status);
// Waits that many milliseconds.
void sleep_ms(int64_t ms);
// Raises the limit on open files to the hard limit; returns the new soft limit.
int raise_open_file_limit();
// The console device used for replies typed at the terminal.
inline constexpr const char* kConsoleDevice = "/dev/tty";

// ---- Fault injection -------------------------------------------------------------------------
// Tests make one call of the file layer fail to see that the run survives it. Every open, read,
// write, seek, status and close of a handle is a call; a fault applies to the calls that can meet
// it in earnest, and the plan's call numbers count those calls only.

enum class Fault : uint8_t {
  kIoError,      // EIO from any call (a close that fails still frees its handle)
  kNoSpace,      // ENOSPC from a write
  kInterrupted,  // EINTR from an open, read or write: retried, never seen above this layer
  kShortRead,    // a read hands over about half of what was asked (at least one byte)
  kShortWrite,   // a write takes about half of what was given (at least one byte)
};

struct FaultPlan {
  Fault fault = Fault::kIoError;
  int64_t fail_at = 0;   // the call, counted from 1 among those the fault applies to, that
                         // fails; 0 = none (the plan only counts)
  bool repeat = false;   // every call from fail_at on fails, not only that one
  int64_t calls = 0;     // calls the fault applies to, so far
  int64_t injected = 0;  // faults injected, so far
};

// Installs the plan (null removes it). The plan is the caller's and must outlive its use.
void set_fault_plan(FaultPlan* plan);

// ---- Shared libraries ------------------------------------------------------------------------

// Opens a shared library; *library is null on failure and *error names the reason.
int load_library(const std::string& path, void** library, std::string* error);
void* library_symbol(void* library, const char* name);
void unload_library(void* library);

// ---- Addresses -------------------------------------------------------------------------------
// Statements see storage addresses as 4 bytes: the low 32 bits, with 0 kept for null (an address
// whose low bits are 0 shows as 1).
inline uint32_t address_word(const void* address) {
  if (address == nullptr) return 0;
  const auto low = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address));
  return low == 0 ? 1 : low;
}

// ---- Confinement (harnesses) -----------------------------------------------------------------
// A harness that runs many runs in one process on arbitrary control files (the whole-run fuzz
// target) forbids whatever reaches outside the run and its folder. From then on, for the life of
// the process: run_command fails with EPERM, load_library fails, sleep_ms returns at once,
// stdin_is_console is false, and a path that is absolute or climbs out with ".." is refused with
// EACCES by open_file, remove_file, set_file_time, open_folder and list_directory.
void forbid_outside_effects(bool forbid = true);
// Whether the confinement is on (forbid_outside_effects(false) lifts it: tests, harness exit).
bool outside_effects_forbidden();
// 0, or EACCES when the confinement is on and `path` leads outside the current folder.
int refuse_outside(const std::string& path);
// Forgets a noted SIGINT or SIGTERM (interrupt_signal() is 0 again), so that the next run of the
// same process starts afresh: a harness bounds a run's time by such a signal.
void forget_interrupt();

}  // namespace recsift::host

#endif  // RECSIFT_HOST_HOST_H_
