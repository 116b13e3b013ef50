#include "site_senders.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <vector>

#include "records.h"

namespace ralvek::bench {
namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in endpoint(const std::string& address, int port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<std::uint16_t>(port));
  if (inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
    throw std::invalid_argument("bad address: " + address);
  }
  return sa;
}

bool send_all(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::string site_source(int index) {
  // 254 usable host numbers per /24, starting at 127.0.1.1.
  int block = 1 + index / 254, host = 1 + index % 254;
  return "127.0." + std::to_string(block) + "." + std::to_string(host);
}

int run_site_senders(const std::string& to, int sites, int seconds) {
  auto colon = to.rfind(':');
  if (colon == std::string::npos) throw std::invalid_argument("expected address:port: " + to);
  sockaddr_in target = endpoint(to.substr(0, colon), std::stoi(to.substr(colon + 1)));

  std::vector<int> fds;
  for (int i = 0; i < sites; ++i) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in from = endpoint(site_source(i), 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof(from)) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof(target)) != 0) {
      std::fprintf(stderr, "site %d (%s): %s\n", i + 1, site_source(i).c_str(), std::strerror(errno));
      if (fd >= 0) ::close(fd);
      fd = -1;
    }
    fds.push_back(fd);
  }

  int failed_sends = 0;
  auto start = Clock::now();
  for (int second = 0; second < seconds; ++second) {
    for (int i = 0; i < sites; ++i) {
      auto due = start + std::chrono::seconds(second) + std::chrono::microseconds(1'000'000LL * i / sites);
      std::this_thread::sleep_until(due);
      if (fds[i] < 0) continue;
      if (!send_all(fds[i], pbxsim::make_record(site_source(i), second + 1, 120))) ++failed_sends;
    }
  }

  // Each connection's end: shut down sending, then wait for the receiver to close, which it
  // does only after it has read (and written) everything before the end.
  for (int fd : fds) {
    if (fd >= 0) ::shutdown(fd, SHUT_WR);
  }
  auto give_up = Clock::now() + std::chrono::seconds(10);
  int connected = 0, closed = 0;
  for (int fd : fds) {
    if (fd < 0) continue;
    ++connected;
    char byte;
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(give_up - Clock::now()).count();
      pollfd p{fd, POLLIN, 0};
      if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) break;
      ssize_t n = ::recv(fd, &byte, 1, 0);
      if (n <= 0) {
        ++closed;
        break;
      }
    }
    ::close(fd);
  }
  std::printf("sites %d connected %d closed %d records-each %d failed-sends %d\n", sites, connected,
              closed, seconds, failed_sends);
  return connected == sites && closed == sites && failed_sends == 0 ? 0 : 1;
}

}  // namespace ralvek::bench
