#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace ralvek::platform {
namespace {

[[noreturn]] void refuse(const std::filesystem::path& file, int error) {
  std::string text = "Cannot open the instance lock " + file.string() + ": " + std::strerror(error);
  if (error == EACCES || error == EPERM || error == EROFS) {
    text += " (only the owner of the program directory may run this service there)";
  }
  throw InstanceLockError(text);
}

}  // namespace

InstanceLock::InstanceLock(InstanceLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), held_(std::exchange(other.held_, false)) {}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = std::exchange(other.fd_, -1);
    held_ = std::exchange(other.held_, false);
  }
  return *this;
}

InstanceLock::~InstanceLock() { release(); }

void InstanceLock::release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  held_ = false;
}

std::filesystem::path InstanceLock::file_for(const std::filesystem::path& dir,
                                             const std::string& program) {
  return dir / (program + ".lock");
}

bool InstanceLock::acquire(const std::filesystem::path& dir, const std::string& program) {
  if (held_) return true;
  struct stat dir_stat {};
  if (::stat(dir.c_str(), &dir_stat) != 0 && errno == ENOENT) {
    held_ = true;
    return true;
  }
  const auto file = file_for(dir, program);
  // O_NOFOLLOW: a link planted in the directory never makes us lock (or create) another file.
  int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) refuse(file, errno);
  struct stat file_stat {};
  if (::fstat(fd, &file_stat) == 0 && ::geteuid() == 0 && file_stat.st_uid != dir_stat.st_uid) {
    // Root (an administrator's --install, say) must not leave a lock file that the
    // directory's owner, the service's user, can no longer open.
    if (::fchown(fd, dir_stat.st_uid, dir_stat.st_gid) != 0) {
      int error = errno;
      ::close(fd);
      refuse(file, error);
    }
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK) return false;
    refuse(file, error);
  }
  fd_ = fd;
  held_ = true;
  return true;
}

}  // namespace ralvek::platform
