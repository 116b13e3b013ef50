#include "bare_receiver.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace ralvek::bench {
namespace {

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

sockaddr_in parse_endpoint(const std::string& text) {
  auto colon = text.rfind(':');
  if (colon == std::string::npos) throw std::invalid_argument("expected address:port: " + text);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<std::uint16_t>(std::stoi(text.substr(colon + 1))));
  if (inet_pton(AF_INET, text.substr(0, colon).c_str(), &sa.sin_addr) != 1) {
    throw std::invalid_argument("bad address: " + text);
  }
  return sa;
}

std::string address_of(const sockaddr_in& sa) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &sa.sin_addr, text, sizeof(text));
  return text;
}

void write_all(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("write");
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

// One append-only file per peer address, opened on the address's first bytes.
class PeerFiles {
 public:
  explicit PeerFiles(std::string dir) : dir_(std::move(dir)) {}
  ~PeerFiles() {
    for (auto& [address, fd] : files_) ::close(fd);
  }
  int file_for(const std::string& address) {
    auto it = files_.find(address);
    if (it != files_.end()) return it->second;
    std::string path = dir_ + "/" + address + ".raw";
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) fail("open " + path);
    files_.emplace(address, fd);
    return fd;
  }

 private:
  std::string dir_;
  std::map<std::string, int> files_;
};

// SIGTERM and SIGINT as a readable descriptor, so the loop ends between two reads.
int stop_signals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) fail("sigprocmask");
  int fd = signalfd(-1, &set, SFD_CLOEXEC);
  if (fd < 0) fail("signalfd");
  return fd;
}

void watch(int epoll, int fd) {
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.fd = fd;
  if (epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &ev) != 0) fail("epoll_ctl");
}

int connect_with_retry(const std::string& endpoint) {
  sockaddr_in to = parse_endpoint(endpoint);
  auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (;;) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) fail("socket");
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof(to)) == 0) return fd;
    ::close(fd);
    if (std::chrono::steady_clock::now() > give_up) fail("connect " + endpoint);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

}  // namespace

int run_bare_tcp(const std::string& listen, const std::vector<std::string>& connect_to,
                 const std::string& dir) {
  PeerFiles files(dir);
  int signals = stop_signals();
  int epoll = epoll_create1(EPOLL_CLOEXEC);
  if (epoll < 0) fail("epoll_create1");
  watch(epoll, signals);

  int listener = -1;
  if (!listen.empty()) {
    sockaddr_in at = parse_endpoint(listen);
    listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    if (::bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof(at)) != 0) fail("bind " + listen);
    if (::listen(listener, 1024) != 0) fail("listen");
    watch(epoll, listener);
  }
  std::map<int, int> connection_file;  // socket -> its peer's file
  for (const auto& endpoint : connect_to) {
    int fd = connect_with_retry(endpoint);
    connection_file[fd] = files.file_for(endpoint.substr(0, endpoint.rfind(':')));
    watch(epoll, fd);
  }

  static char buffer[64 * 1024];
  epoll_event events[64];
  for (;;) {
    int n = epoll_wait(epoll, events, 64, -1);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("epoll_wait");
    }
    for (int i = 0; i < n; ++i) {
      int fd = events[i].data.fd;
      if (fd == signals) return 0;
      if (fd == listener) {
        sockaddr_in peer{};
        socklen_t len = sizeof(peer);
        int c = accept4(listener, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
        if (c < 0) continue;
        connection_file[c] = files.file_for(address_of(peer));
        watch(epoll, c);
        continue;
      }
      ssize_t got = ::read(fd, buffer, sizeof(buffer));
      if (got > 0) {
        write_all(connection_file.at(fd), buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
        ::close(fd);  // also leaves the epoll set
        connection_file.erase(fd);
      }
    }
  }
}

int run_bare_udp(const std::string& listen, const std::string& dir, int buffer_kb) {
  PeerFiles files(dir);
  int signals = stop_signals();
  sockaddr_in at = parse_endpoint(listen);
  int sock = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (sock < 0) fail("socket");
  int bytes = buffer_kb * 1024;
  if (bytes > 0 && ::setsockopt(sock, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof(bytes)) != 0) {
    ::setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof(bytes));
  }
  if (::bind(sock, reinterpret_cast<sockaddr*>(&at), sizeof(at)) != 0) fail("bind " + listen);
  int epoll = epoll_create1(EPOLL_CLOEXEC);
  if (epoll < 0) fail("epoll_create1");
  watch(epoll, signals);
  watch(epoll, sock);

  constexpr int kBatch = 64;
  constexpr std::size_t kDatagram = 65536;
  std::vector<char> storage(kBatch * kDatagram);
  std::vector<iovec> iov(kBatch);
  std::vector<sockaddr_in> from(kBatch);
  std::vector<mmsghdr> messages(kBatch);
  for (int i = 0; i < kBatch; ++i) iov[i] = {storage.data() + i * kDatagram, kDatagram};

  epoll_event events[2];
  for (;;) {
    int n = epoll_wait(epoll, events, 2, -1);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("epoll_wait");
    }
    for (int e = 0; e < n; ++e) {
      if (events[e].data.fd == signals) return 0;
    }
    for (int i = 0; i < kBatch; ++i) {
      messages[i] = {};
      messages[i].msg_hdr.msg_iov = &iov[i];
      messages[i].msg_hdr.msg_iovlen = 1;
      messages[i].msg_hdr.msg_name = &from[i];
      messages[i].msg_hdr.msg_namelen = sizeof(sockaddr_in);
    }
    int got = recvmmsg(sock, messages.data(), kBatch, MSG_DONTWAIT, nullptr);
    if (got < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      fail("recvmmsg");
    }
    // Consecutive datagrams of one sender go out in one writev: the batch is written before
    // the next read, so nothing waits in the process.
    for (int i = 0; i < got;) {
      int fd = files.file_for(address_of(from[i]));
      iovec parts[kBatch];
      int count = 0;
      int j = i;
      for (; j < got && from[j].sin_addr.s_addr == from[i].sin_addr.s_addr; ++j) {
        parts[count++] = {iov[j].iov_base, messages[j].msg_len};
      }
      ssize_t expected = 0;
      for (int k = 0; k < count; ++k) expected += static_cast<ssize_t>(parts[k].iov_len);
      ssize_t wrote = ::writev(fd, parts, count);
      if (wrote != expected) fail("writev");
      i = j;
    }
  }
}

}  // namespace ralvek::bench
