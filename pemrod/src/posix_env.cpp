#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "pemrod/env.h"
#include "pemrod/error.h"

namespace ralvek::pemrod {

namespace {

class PosixStream final : public LogStream {
 public:
  explicit PosixStream(int fd) : fd_(fd) {}
  ~PosixStream() override { ::close(fd_); }
  PosixStream(const PosixStream&) = delete;
  PosixStream& operator=(const PosixStream&) = delete;

  void write(std::string_view bytes) override {
    while (!bytes.empty()) {
      const auto n = ::write(fd_, bytes.data(), bytes.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        throw Error::from_errno(errno);
      }
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
  }

 private:
  int fd_;
};

class PosixEnv final : public Env {
 public:
  bool folder_exists(const std::string& path) override {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  std::unique_ptr<LogStream> open_append(const std::string& path) override {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) throw Error::from_errno(errno);
    return std::make_unique<PosixStream>(fd);
  }

  std::uint64_t file_size(const std::string& path) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) throw Error::from_errno(errno);
    return static_cast<std::uint64_t>(st.st_size);
  }

  void rename_no_replace(const std::string& from, const std::string& to) override {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return;
    if (errno != EINVAL && errno != ENOSYS) throw Error::from_errno(errno);
    // The file system cannot refuse to replace by itself: a hard link does refuse.
    if (::link(from.c_str(), to.c_str()) != 0) throw Error::from_errno(errno);
    if (::unlink(from.c_str()) != 0) {
      const int err = errno;
      ::unlink(to.c_str());
      throw Error::from_errno(err);
    }
  }

  std::time_t now() override { return std::time(nullptr); }
};

}  // namespace

std::shared_ptr<Env> posix_env() {
  static const auto env = std::make_shared<PosixEnv>();
  return env;
}

}  // namespace ralvek::pemrod
