#include "notify_listener.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <stdexcept>

namespace ralvek::bench {

NotifyListener::NotifyListener(std::string path) : path_(std::move(path)) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path_.size() >= sizeof(address.sun_path)) throw std::runtime_error("notify socket path too long: " + path_);
  std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
  ::unlink(path_.c_str());
  fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    throw std::runtime_error("notify socket " + path_ + ": " + std::strerror(errno));
  }
  // A ping's time is when the service sent it, not when this thread got to read it: a busy
  // runner must not show up as a stall of the service.
  int on = 1;
  ::setsockopt(fd_, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof(on));
  thread_ = std::thread([this] { run(); });
}

NotifyListener::~NotifyListener() {
  stop_ = true;
  thread_.join();
  ::close(fd_);
  ::unlink(path_.c_str());
}

std::map<std::string, std::string> NotifyListener::service_env(long watchdog_usec) const {
  return {{"NOTIFY_SOCKET", path_}, {"WATCHDOG_USEC", std::to_string(watchdog_usec)}, {"INVOCATION_ID", "bench"}};
}

void NotifyListener::run() {
  char message[4096];
  while (!stop_) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    iovec io{message, sizeof(message) - 1};
    msghdr header{};
    header.msg_iov = &io;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof(control);
    ssize_t n = ::recvmsg(fd_, &header, 0);
    if (n <= 0) continue;
    auto now = Clock::now();
    for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c)) {
      if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS) continue;
      timespec sent;
      std::memcpy(&sent, CMSG_DATA(c), sizeof(sent));
      auto since_sent = std::chrono::system_clock::now().time_since_epoch() -
                        (std::chrono::seconds(sent.tv_sec) + std::chrono::nanoseconds(sent.tv_nsec));
      now -= std::chrono::duration_cast<Clock::duration>(since_sent);
    }
    std::string text(message, static_cast<std::size_t>(n));
    if (text.find("READY=1") != std::string::npos) ready_ = true;
    if (text.find("WATCHDOG=1") != std::string::npos) {
      std::lock_guard lock(mutex_);
      pings_.push_back(now);
    }
  }
}

double NotifyListener::longest_gap_ms(Clock::time_point from, Clock::time_point to) const {
  std::lock_guard lock(mutex_);
  double longest = 0;
  for (std::size_t i = 1; i < pings_.size(); ++i) {
    if (pings_[i - 1] < from || pings_[i] > to) continue;
    longest = std::max(longest, std::chrono::duration<double, std::milli>(pings_[i] - pings_[i - 1]).count());
  }
  return longest;
}

std::size_t NotifyListener::pings() const {
  std::lock_guard lock(mutex_);
  return pings_.size();
}

}  // namespace ralvek::bench
