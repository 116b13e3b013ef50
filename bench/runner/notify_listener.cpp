#include "notify_listener.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
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
    ssize_t n = ::recv(fd_, message, sizeof(message) - 1, 0);
    if (n <= 0) continue;
    auto now = Clock::now();
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
