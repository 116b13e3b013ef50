#include "display_probe.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace ralvek::console::platform {
namespace {

// Closes the socket when the probe is done with it.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

std::string ConnectUnix(const std::string& path, bool abstract) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::size_t offset = abstract ? 1 : 0;  // an abstract name starts with a NUL byte
  if (path.size() + offset >= sizeof address.sun_path) return "path too long";
  std::memcpy(address.sun_path + offset, path.data(), path.size());
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));
  Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (fd.get() < 0) return std::strerror(errno);
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), length) != 0) return std::strerror(errno);
  return {};
}

std::string ConnectTcp(const addrinfo& candidate, int timeout_ms) {
  Fd fd(::socket(candidate.ai_family, candidate.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, candidate.ai_protocol));
  if (fd.get() < 0) return std::strerror(errno);
  if (::connect(fd.get(), candidate.ai_addr, candidate.ai_addrlen) == 0) return {};
  if (errno != EINPROGRESS) return std::strerror(errno);
  pollfd waiting{fd.get(), POLLOUT, 0};
  const int ready = ::poll(&waiting, 1, timeout_ms);
  if (ready == 0) return "no answer within " + std::to_string(timeout_ms) + " ms";
  if (ready < 0) return std::strerror(errno);
  int error = 0;
  socklen_t size = sizeof error;
  ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &size);
  return error == 0 ? std::string() : std::strerror(error);
}

}  // namespace

std::string ReachUnixSocket(const std::string& path) {
  const std::string on_disk = ConnectUnix(path, false);
  if (on_disk.empty() || ConnectUnix(path, true).empty()) return {};
  return "connect " + path + ": " + on_disk;
}

std::string ReachTcp(const std::string& host, int port, int timeout_ms) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0) {
    return "host " + host + ": " + ::gai_strerror(rc);
  }
  std::string why = "no address";
  for (const addrinfo* candidate = found; candidate != nullptr; candidate = candidate->ai_next) {
    why = ConnectTcp(*candidate, timeout_ms);
    if (why.empty()) break;
  }
  ::freeaddrinfo(found);
  return why.empty() ? why : "connect " + host + ":" + service + ": " + why;
}

}  // namespace ralvek::console::platform
