#include "platform/instance_lock.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <utility>

namespace ralvek::platform {

InstanceLock::InstanceLock(InstanceLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) ::close(fd_);
}

bool InstanceLock::acquire(const std::filesystem::path& dir, const std::string& program) {
  if (fd_ >= 0) return true;
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  // Leading NUL: abstract namespace. The directory is hashed so any path length fits.
  char name[sizeof(addr.sun_path)];
  int len = std::snprintf(name, sizeof(name), "ralvek/%s/%016zx", program.c_str(),
                          std::hash<std::string>{}(dir.lexically_normal().string()));
  if (len < 0 || static_cast<size_t>(len) + 1 > sizeof(addr.sun_path)) len = sizeof(name) - 2;
  std::memcpy(addr.sun_path + 1, name, static_cast<size_t>(len));
  auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + len);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), size) != 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

}  // namespace ralvek::platform
