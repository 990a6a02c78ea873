// POSIX implementation of the platform layer: clock, files, folders, paths, processes and
// shared libraries. Every function returns 0 or an errno value and prints nothing.
#include "host/host.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace recsift::host {

int local_time_checked(int64_t seconds, CivilTime* civil) {
  const time_t t = static_cast<time_t>(seconds);
  struct tm tm {};
  if (static_cast<int64_t>(t) != seconds || localtime_r(&t, &tm) == nullptr) return EOVERFLOW;
  civil->year = tm.tm_year + 1900;
  civil->month = tm.tm_mon + 1;
  civil->mday = tm.tm_mday;
  civil->yday = tm.tm_yday + 1;
  civil->wday = tm.tm_wday;
  civil->hour = tm.tm_hour;
  civil->minute = tm.tm_min;
  civil->second = tm.tm_sec;
  return 0;
}

int64_t clock_now() {
  // A reproducible-build clock wins when it is a plain number.
  if (const char* fixed = std::getenv("SOURCE_DATE_EPOCH"); fixed != nullptr && *fixed != '\0') {
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(fixed, &end, 10);
    if (errno == 0 && *end == '\0') return value;
  }
  return static_cast<int64_t>(std::time(nullptr));
}

CivilTime local_time(int64_t seconds) {
  const time_t t = static_cast<time_t>(seconds);
  struct tm tm {};
  if (localtime_r(&t, &tm) == nullptr) gmtime_r(&t, &tm);
  CivilTime c;
  c.year = tm.tm_year + 1900;
  c.month = tm.tm_mon + 1;
  c.mday = tm.tm_mday;
  c.yday = tm.tm_yday + 1;
  c.wday = tm.tm_wday;
  c.hour = tm.tm_hour;
  c.minute = tm.tm_min;
  c.second = tm.tm_sec;
  return c;
}

// ---- Calls of the file layer, through the fault plan -----------------------------------------

namespace {

FaultPlan* fault_plan = nullptr;

enum class Call : uint8_t { kOpen, kRead, kWrite, kSeek, kStatus, kTruncate, kClose };

bool applies(Fault fault, Call call) {
  switch (fault) {
    case Fault::kIoError:
      return true;
    case Fault::kNoSpace:
      return call == Call::kWrite;
    case Fault::kInterrupted:
      return call == Call::kOpen || call == Call::kRead || call == Call::kWrite;
    case Fault::kShortRead:
      return call == Call::kRead;
    case Fault::kShortWrite:
      return call == Call::kWrite;
  }
  return false;
}

// Whether this call meets the plan's fault (and counts it).
bool fault_due(Call call) {
  FaultPlan* plan = fault_plan;
  if (plan == nullptr || !applies(plan->fault, call)) return false;
  ++plan->calls;
  const bool due = plan->fail_at > 0 &&
                   (plan->calls == plan->fail_at || (plan->repeat && plan->calls > plan->fail_at));
  if (due) ++plan->injected;
  return due;
}

// The errno a due fault gives a call that fails; 0 for the short transfers.
int fault_errno() {
  switch (fault_plan->fault) {
    case Fault::kIoError:
      return EIO;
    case Fault::kNoSpace:
      return ENOSPC;
    case Fault::kInterrupted:
      return EINTR;
    default:
      return 0;
  }
}

int sys_open(const char* path, int flags) {
  if (fault_plan != nullptr && fault_due(Call::kOpen)) {
    errno = fault_errno();
    return -1;
  }
  return ::open(path, flags, 0666);
}

ssize_t sys_read(int fd, void* buf, size_t len) {
  if (fault_plan != nullptr && fault_due(Call::kRead)) {
    if (const int e = fault_errno(); e != 0) {
      errno = e;
      return -1;
    }
    len = len > 1 ? len / 2 : len;
  }
  return ::read(fd, buf, len);
}

ssize_t sys_write(int fd, const void* buf, size_t len) {
  if (fault_plan != nullptr && fault_due(Call::kWrite)) {
    if (const int e = fault_errno(); e != 0) {
      errno = e;
      return -1;
    }
    len = len > 1 ? len / 2 : len;
  }
  return ::write(fd, buf, len);
}

off_t sys_lseek(int fd, off_t offset, int whence) {
  if (fault_plan != nullptr && fault_due(Call::kSeek)) {
    errno = EIO;
    return -1;
  }
  return ::lseek(fd, offset, whence);
}

int sys_fstat(int fd, struct stat* st) {
  if (fault_plan != nullptr && fault_due(Call::kStatus)) {
    errno = EIO;
    return -1;
  }
  return ::fstat(fd, st);
}

int sys_ftruncate(int fd, off_t size) {
  if (fault_plan != nullptr && fault_due(Call::kTruncate)) {
    errno = EIO;
    return -1;
  }
  return ::ftruncate(fd, size);
}

int sys_close(int fd) {
  const bool failing = fault_plan != nullptr && fault_due(Call::kClose);
  const int closed = ::close(fd);
  if (failing) {
    errno = EIO;
    return -1;
  }
  return closed;
}

}  // namespace

void set_fault_plan(FaultPlan* plan) {
  fault_plan = plan;
}

int open_file(const std::string& path, OpenMode mode, int* handle) {
  *handle = kNoHandle;
  if (const int refused = refuse_outside(path)) return refused;
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::kRead:
      flags |= O_RDONLY;
      break;
    case OpenMode::kWrite:
      flags |= O_WRONLY | O_CREAT | O_TRUNC;
      break;
    case OpenMode::kAppend:
      flags |= O_WRONLY | O_CREAT | O_APPEND;
      break;
    case OpenMode::kReadWrite:
      flags |= O_RDWR;
      break;
    case OpenMode::kWriteKept:
      flags |= O_WRONLY | O_CREAT;
      break;
  }
  int fd;
  do fd = sys_open(path.c_str(), flags);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    *handle = kNoHandle;
    return errno;
  }
  // Reading a folder as a file fails late and obscurely; refuse it at once.
  struct stat st {};
  if (sys_fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    sys_close(fd);
    *handle = kNoHandle;
    return EISDIR;
  }
  *handle = fd;
  return 0;
}

namespace {

volatile std::sig_atomic_t noted_interrupt = 0;
volatile std::sig_atomic_t noted_tick = 0;
volatile std::sig_atomic_t attention = 0;  // either of the two above is set

extern "C" void note_interrupt(int signal_number) {
  if (noted_interrupt != 0) {  // asked twice: end now
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
    return;
  }
  noted_interrupt = signal_number;
  attention = 1;
}

extern "C" void note_tick(int) {
  noted_tick = 1;
  attention = 1;
}

}  // namespace

void watch_interrupts() {
  struct sigaction action {};
  action.sa_handler = note_interrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // a read waiting for a terminal or a pipe returns, so the run can end
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

int interrupt_signal() {
  return noted_interrupt;
}

void start_progress_clock(int first_ms, int every_ms) {
  struct sigaction action {};
  action.sa_handler = note_tick;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGALRM, &action, nullptr);
  struct itimerval timer {};
  timer.it_value.tv_sec = first_ms / 1000;
  timer.it_value.tv_usec = first_ms % 1000 * 1000;
  timer.it_interval.tv_sec = every_ms / 1000;
  timer.it_interval.tv_usec = every_ms % 1000 * 1000;
  ::setitimer(ITIMER_REAL, &timer, nullptr);
}

void stop_progress_clock() {
  struct itimerval timer {};
  ::setitimer(ITIMER_REAL, &timer, nullptr);
  noted_tick = 0;
  attention = noted_interrupt != 0;
}

bool attention_wanted() {
  return attention != 0;
}

bool take_progress_tick() {
  if (noted_tick == 0) return false;
  noted_tick = 0;
  attention = noted_interrupt != 0;
  return true;
}

int64_t monotonic_ms() {
  struct timespec now {};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

bool stderr_is_terminal() {
  return ::isatty(kStderrHandle) == 1;
}

int may_write(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return EISDIR;
    return ::access(path.c_str(), W_OK) == 0 ? 0 : errno;
  }
  if (errno != ENOENT) return errno;
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  return ::access(folder.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

int read_file(int handle, void* buf, int64_t len, int64_t* got) {
  *got = 0;
  for (;;) {
    const ssize_t n = sys_read(handle, buf, static_cast<size_t>(len));
    if (n >= 0) {
      *got = n;
      return 0;
    }
    // A read that an interruption broke off fails: the run is ending. Other breaks are retried.
    if (errno != EINTR || noted_interrupt != 0) return errno;
  }
}

int write_file(int handle, const void* buf, int64_t len) {
  const auto* p = static_cast<const char*>(buf);
  while (len > 0) {
    const ssize_t n = sys_write(handle, p, static_cast<size_t>(len));
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return EIO;  // a device that takes nothing would loop for ever
    p += n;
    len -= n;
  }
  return 0;
}

int seek_file(int handle, int64_t offset, int whence, int64_t* position) {
  static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (whence < 0 || whence > 2) return EINVAL;
  const off_t at = sys_lseek(handle, static_cast<off_t>(offset), kWhence[whence]);
  if (at < 0) return errno;
  if (position != nullptr) *position = at;
  return 0;
}

int file_size(int handle, int64_t* size) {
  struct stat st {};
  if (sys_fstat(handle, &st) != 0) return errno;
  *size = st.st_size;
  return 0;
}

int truncate_file(int handle, int64_t size) {
  int rc;
  do rc = sys_ftruncate(handle, static_cast<off_t>(size));
  while (rc != 0 && errno == EINTR);
  return rc == 0 ? 0 : errno;
}

int close_file(int handle) {
  if (handle < 0) return 0;
  return sys_close(handle) == 0 ? 0 : errno;
}

namespace {

ssize_t stream_write(void* cookie, const char* buf, size_t len) {
  const int handle = static_cast<int>(reinterpret_cast<intptr_t>(cookie));
  const int error = write_file(handle, buf, static_cast<int64_t>(len));
  if (error == 0) return static_cast<ssize_t>(len);
  errno = error;
  return -1;
}

int stream_close(void* cookie) {
  const int error = close_file(static_cast<int>(reinterpret_cast<intptr_t>(cookie)));
  if (error == 0) return 0;
  errno = error;
  return -1;
}

}  // namespace

std::FILE* open_output_stream(const std::string& path, int* error) {
  int handle = kNoHandle;
  *error = open_file(path, OpenMode::kWrite, &handle);
  if (*error != 0) return nullptr;
  const cookie_io_functions_t functions = {nullptr, stream_write, nullptr, stream_close};
  std::FILE* stream =
      ::fopencookie(reinterpret_cast<void*>(static_cast<intptr_t>(handle)), "w", functions);
  if (stream == nullptr) {
    *error = errno != 0 ? errno : ENOMEM;
    close_file(handle);
  }
  return stream;
}

namespace {

void fill_status(const struct stat& st, std::string_view name, FileStatus* status) {
  status->is_directory = S_ISDIR(st.st_mode);
  status->is_regular = S_ISREG(st.st_mode);
  status->read_only = (st.st_mode & S_IWUSR) == 0;
  status->hidden = !name.empty() && name.front() == '.';
  status->size = st.st_size;
  status->mtime = st.st_mtim.tv_sec;
  status->device = static_cast<uint64_t>(st.st_dev);
  status->inode = static_cast<uint64_t>(st.st_ino);
}

}  // namespace

int file_status(const std::string& path, FileStatus* status) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno;
  fill_status(st, name_part(path), status);
  return 0;
}

int file_identity(const std::string& path, FileIdentity* identity) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno;
  identity->device = static_cast<uint64_t>(st.st_dev);
  identity->inode = static_cast<uint64_t>(st.st_ino);
  return 0;
}

int handle_identity(int handle, FileIdentity* identity) {
  struct stat st {};
  if (sys_fstat(handle, &st) != 0) return errno;
  identity->device = static_cast<uint64_t>(st.st_dev);
  identity->inode = static_cast<uint64_t>(st.st_ino);
  return 0;
}

int set_file_time(const std::string& path, int64_t seconds) {
  if (const int refused = refuse_outside(path)) return refused;
  struct timespec times[2];
  times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(seconds);
  times[0].tv_nsec = times[1].tv_nsec = 0;
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0 ? 0 : errno;
}

int remove_file(const std::string& path) {
  if (const int refused = refuse_outside(path)) return refused;
  return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

int list_directory(const std::string& path, std::vector<DirEntry>* entries) {
  entries->clear();
  if (const int refused = refuse_outside(path)) return refused;
  DIR* dir = ::opendir(path.empty() ? "." : path.c_str());
  if (dir == nullptr) return errno;
  std::string base = path.empty() ? std::string() : path;
  if (!base.empty() && base.back() != '/') base += '/';
  while (const struct dirent* d = ::readdir(dir)) {
    const std::string_view name = d->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    if (::stat((base + d->d_name).c_str(), &st) != 0) continue;  // dangling link or gone
    DirEntry entry;
    entry.name = d->d_name;
    fill_status(st, name, &entry.status);
    entries->push_back(std::move(entry));
  }
  ::closedir(dir);
  return 0;
}

struct Folder {
  DIR* dir = nullptr;
};

int open_folder(const std::string& path, Folder** folder) {
  *folder = nullptr;
  if (const int refused = refuse_outside(path)) return refused;
  DIR* dir = ::opendir(path.empty() ? "." : path.c_str());
  if (dir == nullptr) return errno;
  *folder = new Folder{dir};
  return 0;
}

int read_folder(Folder* folder, const char** name, FileStatus* status) {
  *name = nullptr;
  const int fd = ::dirfd(folder->dir);
  for (;;) {
    errno = 0;
    const struct dirent* d = ::readdir(folder->dir);
    if (d == nullptr) return errno;
    const char* n = d->d_name;
    if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) continue;
    struct stat st {};
    if (::fstatat(fd, n, &st, 0) != 0) continue;  // dangling link, or gone meanwhile
    fill_status(st, n, status);
    *name = n;
    return 0;
  }
}

void close_folder(Folder* folder) {
  if (folder == nullptr) return;
  ::closedir(folder->dir);
  delete folder;
}

std::string current_directory() {
  std::string dir(256, '\0');
  while (::getcwd(dir.data(), dir.size()) == nullptr) {
    if (errno != ERANGE) return "./";
    dir.resize(dir.size() * 2);
  }
  dir.resize(std::strlen(dir.c_str()));
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

int volume_info(const std::string& path, VolumeInfo* info) {
  struct statvfs vfs {};
  if (::statvfs(path.empty() ? "." : path.c_str(), &vfs) != 0) return errno;
  info->label = "no label";
  info->fs_name.clear();
  info->total_bytes = static_cast<uint64_t>(vfs.f_blocks) * vfs.f_frsize;
  info->free_bytes = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
  return 0;
}

bool is_separator(char c) {
  return c == '/' || c == '\\';
}

int normalise_separators(std::string& path) {
  int count = 0;
  for (char& c : path) {
    if (c == '\\') {
      c = '/';
      ++count;
    }
  }
  return count;
}

std::string_view directory_part(std::string_view path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (is_separator(path[i - 1])) return path.substr(0, i);
  }
  return {};
}

std::string_view name_part(std::string_view path) {
  return path.substr(directory_part(path).size());
}

std::string program_directory(const char* argv0) {
  std::string self(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
  if (n > 0) {
    self.resize(static_cast<size_t>(n));
  } else {
    self = argv0 != nullptr ? argv0 : "";
  }
  std::string dir(directory_part(self));
  if (dir.empty()) dir = "./";
  normalise_separators(dir);
  return dir;
}

namespace {

bool is_readable_file(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) &&
         ::access(path.c_str(), R_OK) == 0;
}

}  // namespace

std::string find_file(std::string_view name, const std::string& program_dir) {
  const std::string wanted(name);
  if (!directory_part(wanted).empty()) return is_readable_file(wanted) ? wanted : std::string();
  std::string candidate = program_dir + wanted;
  if (is_readable_file(candidate)) return candidate;
  candidate = program_dir + "../share/recsift/" + wanted;
  if (is_readable_file(candidate)) return candidate;
  const char* path = std::getenv("PATH");
  if (path == nullptr) return {};
  std::string_view rest = path;
  while (!rest.empty()) {
    const size_t colon = rest.find(':');
    std::string dir(rest.substr(0, colon));
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    if (dir.empty()) dir = ".";
    if (dir.back() != '/') dir += '/';
    candidate = dir + wanted;
    if (is_readable_file(candidate)) return candidate;
  }
  return {};
}

const char* env(const char* name) {
  return std::getenv(name);
}

bool general_path_only() {
  static const bool general = [] {
    const char* value = std::getenv("RECSIFT_GENERAL");
    return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
  }();
  return general;
}

bool stdin_is_console() {
  return !outside_effects_forbidden() && ::isatty(kStdinHandle) == 1;
}

void guard_standard_handles() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
}

void ignore_broken_pipe() {
  std::signal(SIGPIPE, SIG_IGN);
}

int run_command(const std::string& command, int* status) {
  if (outside_effects_forbidden()) return EPERM;
  std::fflush(nullptr);  // what was written before the command must come before its output
  // The command gets the default reaction to a closed pipe (`yes | head` must end).
  const auto previous = std::signal(SIGPIPE, SIG_DFL);
  const int raw = std::system(command.c_str());
  std::signal(SIGPIPE, previous);
  if (raw == -1) return errno;
  if (WIFEXITED(raw)) {
    *status = WEXITSTATUS(raw);
  } else if (WIFSIGNALED(raw)) {
    *status = 128 + WTERMSIG(raw);
  } else {
    *status = raw;
  }
  return 0;
}

void sleep_ms(int64_t ms) {
  if (ms <= 0 || outside_effects_forbidden()) return;
  struct timespec want {};
  want.tv_sec = static_cast<time_t>(ms / 1000);
  want.tv_nsec = static_cast<long>((ms % 1000) * 1000000);
  while (::nanosleep(&want, &want) != 0 && errno == EINTR && noted_interrupt == 0) {
  }
}

int raise_open_file_limit() {
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
  if (limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
    ::getrlimit(RLIMIT_NOFILE, &limit);
  }
  return limit.rlim_cur > 0x7fffffff ? 0x7fffffff : static_cast<int>(limit.rlim_cur);
}

int load_library(const std::string& path, void** library, std::string* error) {
  if (outside_effects_forbidden()) {
    *library = nullptr;
    if (error != nullptr) *error = "shared libraries are not loaded here";
    return EPERM;
  }
  *library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (*library != nullptr) return 0;
  if (error != nullptr) {
    const char* why = ::dlerror();
    *error = why != nullptr ? why : "cannot load";
  }
  return ENOENT;
}

void* library_symbol(void* library, const char* name) {
  return library == nullptr ? nullptr : ::dlsym(library, name);
}

void unload_library(void* library) {
  if (library != nullptr) ::dlclose(library);
}

// ---- Confinement (harnesses) -----------------------------------------------------------------

namespace {
bool forbidden = false;  // the confinement is on
}  // namespace

void forbid_outside_effects(bool forbid) {
  forbidden = forbid;
}

bool outside_effects_forbidden() {
  return forbidden;
}

void forget_interrupt() {
  noted_interrupt = 0;
}

int refuse_outside(const std::string& path) {
  if (!forbidden) return 0;
  if (!path.empty() && is_separator(path[0])) return EACCES;
  // Any ".." between separators climbs (both separators count: names may carry either).
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && !is_separator(path[i])) continue;
    if (path.compare(start, i - start, "..") == 0) return EACCES;
    start = i + 1;
  }
  return 0;
}

}  // namespace recsift::host
