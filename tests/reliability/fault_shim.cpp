// A file-operations fault layer between a program and the C library, loaded with LD_PRELOAD.
// It watches the files under $RALVEK_FAULT_DIR only (several directories: ':' between them):
// - $RALVEK_FAULT_LOG: every open for writing, write, fsync, rename, link and unlink of a
//   watched path is appended to this journal as one line "<operation> <path>[ <path>]", so a
//   test can prove the order of operations (fsync before rename, directory fsync after).
// - $RALVEK_FAULT_ENOSPC: while this file exists, writes fail with ENOSPC (disk full). When the
//   file holds "partial", each write that meets the fault first writes half of its bytes, the
//   next one fails: the disk filled up in the middle of a block.
// - $RALVEK_FAULT_FSYNC_DELAY_MS=n: every fsync takes n milliseconds more (a slow disk);
//   "fsync-begin <path>" is journaled when it starts.
// - $RALVEK_FAULT_KILL_AT=n: the process kills itself just before its n-th watched operation.
// - $RALVEK_FAULT_EACCES: while this file exists, opening a watched file for writing fails
//   with EACCES (an unwritable place; tests run as root, so permissions cannot do it), and so
//   does naming an unnamed file there (linkat).
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <string_view>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

template <typename Fn>
Fn next(const char* name) {
  return reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, name));
}

const char* env(const char* name) {
  const char* value = ::getenv(name);
  return value && *value ? value : nullptr;
}

bool watched(const std::string& path) {
  const char* dirs = env("RALVEK_FAULT_DIR");
  if (!dirs || path.empty()) return false;
  // A list of directories separated by ':'.
  for (std::string_view rest = dirs; !rest.empty();) {
    std::string_view dir = rest.substr(0, rest.find(':'));
    rest.remove_prefix(std::min(rest.size(), dir.size() + 1));
    if (!dir.empty() && path.compare(0, dir.size(), dir) == 0 &&
        (path.size() == dir.size() || path[dir.size()] == '/')) {
      return true;
    }
  }
  return false;
}

// $RALVEK_FAULT_KILL_AT=n: the process is killed (SIGKILL) just before its n-th watched
// operation, as a crash or a power cut would stop it there.
std::atomic<long> operations{0};
void step() {
  const char* at = env("RALVEK_FAULT_KILL_AT");
  if (at && ++operations == std::atol(at)) ::kill(::getpid(), SIGKILL);
}

std::string absolute(const char* path) {
  if (!path) return {};
  if (path[0] == '/') return path;
  char cwd[4096];
  if (!::getcwd(cwd, sizeof(cwd))) return path;
  return std::string(cwd) + "/" + path;
}

// An unnamed (O_TMPFILE) file keeps its "<dir>/#<inode> (deleted)" in /proc after linkat has
// named it: the name it was given, by that text.
std::mutex named_mutex;
std::map<std::string, std::string>& named_unnamed() {
  static auto* names = new std::map<std::string, std::string>;  // never destroyed: used until exit
  return *names;
}

std::string fd_link(int fd) {
  char link[64], target[4096];
  std::snprintf(link, sizeof(link), "/proc/self/fd/%d", fd);
  ssize_t n = ::readlink(link, target, sizeof(target) - 1);
  return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

std::string fd_path(int fd) {
  std::string path = fd_link(fd);
  std::lock_guard lock(named_mutex);
  auto named = named_unnamed().find(path);
  return named == named_unnamed().end() ? path : named->second;
}

// The unnamed file behind `from` of a linkat (its /proc link or an AT_EMPTY_PATH descriptor).
std::string unnamed_link(int from_dir, const char* from, int flags) {
  if ((flags & AT_EMPTY_PATH) && from && !*from) return fd_link(from_dir);
  constexpr std::string_view kSelf = "/proc/self/fd/";
  if (!from || std::string_view(from).substr(0, kSelf.size()) != kSelf) return {};
  return fd_link(std::atoi(from + kSelf.size()));
}

bool flag(const char* name, std::string* content = nullptr) {
  const char* path = env(name);
  if (!path) return false;
  int fd = static_cast<int>(::syscall(SYS_openat, AT_FDCWD, path, O_RDONLY | O_CLOEXEC));
  if (fd < 0) return false;
  if (content) {
    char buffer[32];
    ssize_t n = ::syscall(SYS_read, fd, buffer, sizeof(buffer));
    content->assign(buffer, n > 0 ? static_cast<size_t>(n) : 0);
  }
  ::syscall(SYS_close, fd);
  return true;
}

// One line, one write(2) with O_APPEND: lines of several processes never mix.
void journal(const std::string& operation, const std::string& path, const std::string& other = {}) {
  const char* log = env("RALVEK_FAULT_LOG");
  if (!log) return;
  std::string line = operation + " " + path + (other.empty() ? "" : " " + other) + "\n";
  int fd = static_cast<int>(::syscall(SYS_openat, AT_FDCWD, log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
  if (fd < 0) return;
  ::syscall(SYS_write, fd, line.data(), line.size());
  ::syscall(SYS_close, fd);
}

bool for_writing(int flags) { return (flags & O_ACCMODE) != O_RDONLY || (flags & O_CREAT); }

std::atomic<unsigned> partial_writes{0};

int checked_open(const char* name, const char* path, int flags, mode_t mode, int dirfd, bool at) {
  std::string full = at && dirfd != AT_FDCWD && path && path[0] != '/' ? fd_path(dirfd) + "/" + path : absolute(path);
  if (for_writing(flags) && watched(full)) {
    step();
    if (flag("RALVEK_FAULT_EACCES")) {
      journal("open-refused", full);
      errno = EACCES;
      return -1;
    }
    journal("open", full);
  }
  if (at) return next<int (*)(int, const char*, int, ...)>(name)(dirfd, path, flags, mode);
  return next<int (*)(const char*, int, ...)>(name)(path, flags, mode);
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
  }
  return checked_open("open", path, flags, mode, AT_FDCWD, false);
}

int open64(const char* path, int flags, ...) {
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
  }
  return checked_open("open64", path, flags, mode, AT_FDCWD, false);
}

int openat(int dirfd, const char* path, int flags, ...) {
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
  }
  return checked_open("openat", path, flags, mode, dirfd, true);
}

ssize_t write(int fd, const void* buffer, size_t count) {
  static auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
  std::string path = fd > 2 ? fd_path(fd) : std::string();
  if (!watched(path)) return real(fd, buffer, count);
  step();
  std::string mode;
  if (count > 0 && flag("RALVEK_FAULT_ENOSPC", &mode)) {
    if (mode.rfind("partial", 0) == 0 && partial_writes++ % 2 == 0 && count > 1) {
      ssize_t n = real(fd, buffer, count / 2);
      journal("write-partial " + std::to_string(n), path);
      return n;
    }
    journal("write-refused", path);
    errno = ENOSPC;
    return -1;
  }
  ssize_t n = real(fd, buffer, count);
  journal("write " + std::to_string(n), path);
  return n;
}

int fsync(int fd) {
  static auto real = next<int (*)(int)>("fsync");
  std::string path = fd_path(fd);
  if (watched(path)) {
    step();
    if (const char* delay = env("RALVEK_FAULT_FSYNC_DELAY_MS")) {
      journal("fsync-begin", path);
      ::usleep(static_cast<useconds_t>(std::atol(delay)) * 1000);
    }
  }
  int rc = real(fd);
  if (watched(path)) journal(rc == 0 ? "fsync" : "fsync-failed", path);
  return rc;
}

int fdatasync(int fd) {
  static auto real = next<int (*)(int)>("fdatasync");
  std::string path = fd_path(fd);
  if (watched(path)) step();
  int rc = real(fd);
  if (watched(path)) journal(rc == 0 ? "fdatasync" : "fdatasync-failed", path);
  return rc;
}

int rename(const char* from, const char* to) {
  static auto real = next<int (*)(const char*, const char*)>("rename");
  if (watched(absolute(to))) step();
  int rc = real(from, to);
  if (rc == 0 && watched(absolute(to))) journal("rename", absolute(from), absolute(to));
  return rc;
}

int renameat(int from_dir, const char* from, int to_dir, const char* to) {
  static auto real = next<int (*)(int, const char*, int, const char*)>("renameat");
  std::string a = from_dir == AT_FDCWD ? absolute(from) : fd_path(from_dir) + "/" + from;
  std::string b = to_dir == AT_FDCWD ? absolute(to) : fd_path(to_dir) + "/" + to;
  if (watched(b)) step();
  int rc = real(from_dir, from, to_dir, to);
  if (rc == 0 && watched(b)) journal("rename", a, b);
  return rc;
}

int renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned flags) {
  static auto real = next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
  std::string a = from_dir == AT_FDCWD ? absolute(from) : fd_path(from_dir) + "/" + from;
  std::string b = to_dir == AT_FDCWD ? absolute(to) : fd_path(to_dir) + "/" + to;
  if (watched(b)) step();
  int rc = real(from_dir, from, to_dir, to, flags);
  if (rc == 0 && watched(b)) journal("rename", a, b);
  return rc;
}

int link(const char* from, const char* to) {
  static auto real = next<int (*)(const char*, const char*)>("link");
  if (watched(absolute(to))) step();
  int rc = real(from, to);
  if (rc == 0 && watched(absolute(to))) journal("link", absolute(from), absolute(to));
  return rc;
}

// Names an unnamed (O_TMPFILE) file: a new file in the folder, refused as an open would be.
int linkat(int from_dir, const char* from, int to_dir, const char* to, int flags) {
  static auto real = next<int (*)(int, const char*, int, const char*, int)>("linkat");
  std::string b = to_dir == AT_FDCWD ? absolute(to) : fd_path(to_dir) + "/" + to;
  if (watched(b)) {
    step();
    if (flag("RALVEK_FAULT_EACCES")) {
      journal("open-refused", b);
      errno = EACCES;
      return -1;
    }
  }
  std::string unnamed = unnamed_link(from_dir, from, flags);
  int rc = real(from_dir, from, to_dir, to, flags);
  if (rc == 0 && watched(b)) {
    journal("link", unnamed.empty() ? absolute(from) : unnamed, b);
    std::lock_guard lock(named_mutex);
    if (unnamed.size() > 10 && unnamed.substr(unnamed.size() - 10) == " (deleted)") named_unnamed()[unnamed] = b;
  }
  return rc;
}

int unlink(const char* path) {
  static auto real = next<int (*)(const char*)>("unlink");
  if (watched(absolute(path))) step();
  int rc = real(path);
  if (rc == 0 && watched(absolute(path))) journal("unlink", absolute(path));
  return rc;
}

int unlinkat(int dir, const char* path, int flags) {
  static auto real = next<int (*)(int, const char*, int)>("unlinkat");
  std::string full = dir == AT_FDCWD ? absolute(path) : fd_path(dir) + "/" + path;
  if (watched(full)) step();
  int rc = real(dir, path, flags);
  if (rc == 0 && watched(full)) journal("unlink", full);
  return rc;
}

int remove(const char* path) {
  static auto real = next<int (*)(const char*)>("remove");
  if (watched(absolute(path))) step();
  int rc = real(path);
  if (rc == 0 && watched(absolute(path))) journal("unlink", absolute(path));
  return rc;
}

}  // extern "C"
