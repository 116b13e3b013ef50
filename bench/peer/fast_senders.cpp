#include "fast_senders.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
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
constexpr std::size_t kRecordSize = 120;
// A record's padding repeats every 26 numbers: with a multiple of 26 records a chunk, the next
// chunk differs from this one only in the numbers.
constexpr std::size_t kChunkRecords = 26 * 79;

sockaddr_in endpoint(const std::string& address, int port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<std::uint16_t>(port));
  if (inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) throw std::invalid_argument("bad address: " + address);
  return sa;
}

std::pair<std::string, int> split(const std::string& to) {
  auto colon = to.rfind(':');
  if (colon == std::string::npos) throw std::invalid_argument("expected address:port: " + to);
  return {to.substr(0, colon), std::stoi(to.substr(colon + 1))};
}

std::string source(int first, int i) { return "127.0.0." + std::to_string(first + i); }

std::string first_chunk(const std::string& from) {
  std::string chunk;
  for (std::size_t r = 0; r < kChunkRecords; ++r) chunk += pbxsim::make_record(from, r + 1, kRecordSize);
  return chunk;
}

// Rewrites the ten-digit numbers of a chunk to first, first + 1, ...
void renumber(std::string& chunk, std::size_t digits_at, std::uint64_t first) {
  for (std::size_t r = 0; r < kChunkRecords; ++r) {
    char* digits = chunk.data() + r * kRecordSize + digits_at;
    std::uint64_t value = first + r;
    for (int d = 9; d >= 0; --d, value /= 10) digits[d] = static_cast<char>('0' + value % 10);
  }
}

struct FloodResult {
  std::uint64_t sent = 0;
  bool closed_by_receiver = false;
};

FloodResult flood_one(const sockaddr_in& target, const std::string& from, Clock::time_point until) {
  FloodResult result;
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in local = endpoint(from, 0);
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 ||
      ::connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof(target)) != 0) {
    std::fprintf(stderr, "%s: %s\n", from.c_str(), std::strerror(errno));
    if (fd >= 0) ::close(fd);
    return result;
  }
  std::string chunk = first_chunk(from);
  const std::size_t digits_at = 4 + from.size() + 1;  // "rec;<source>;"

  while (Clock::now() < until) {
    std::size_t done = 0;
    while (done < chunk.size()) {
      ssize_t n = ::send(fd, chunk.data() + done, chunk.size() - done, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    if (done < chunk.size()) {
      result.sent += done / kRecordSize;  // a torn last record shows in the count as broken
      break;
    }
    result.sent += kChunkRecords;
    renumber(chunk, digits_at, result.sent + 1);
  }
  ::shutdown(fd, SHUT_WR);
  char byte;
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, 30000) > 0 && ::recv(fd, &byte, 1, 0) == 0) result.closed_by_receiver = true;
  ::close(fd);
  return result;
}

}  // namespace

int run_tcp_flood(const std::string& to, int first, int count, double seconds, bool port_per_site) {
  auto [address, port] = split(to);
  auto until = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  std::vector<FloodResult> results(static_cast<std::size_t>(count));
  std::vector<std::thread> threads;
  for (int i = 0; i < count; ++i) {
    sockaddr_in target = endpoint(address, port + (port_per_site ? i : 0));
    threads.emplace_back([&results, target, i, first, until] {
      results[static_cast<std::size_t>(i)] = flood_one(target, source(first, i), until);
    });
  }
  for (auto& t : threads) t.join();
  int failed = 0;
  for (int i = 0; i < count; ++i) {
    std::printf("tcp %s sent %llu records\n", source(first, i).c_str(),
                static_cast<unsigned long long>(results[static_cast<std::size_t>(i)].sent));
    failed += !results[static_cast<std::size_t>(i)].closed_by_receiver;
  }
  return failed == 0 ? 0 : 1;
}

int run_udp_sites(const std::string& to, int first, int count, double rate, double seconds) {
  auto [address, port] = split(to);
  sockaddr_in target = endpoint(address, port);
  std::vector<int> fds;
  for (int i = 0; i < count; ++i) {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local = endpoint(source(first, i), 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0) {
      throw std::runtime_error(source(first, i) + ": " + std::strerror(errno));
    }
    fds.push_back(fd);
  }
  std::vector<std::uint64_t> sent(fds.size(), 0);
  auto total = static_cast<std::uint64_t>(rate * seconds);
  auto start = Clock::now();
  for (std::uint64_t k = 0; k < total; ++k) {
    if (k % 16 == 0) {
      std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(
                                                std::chrono::duration<double>(static_cast<double>(k) / rate)));
    }
    std::size_t i = k % fds.size();
    std::string record = pbxsim::make_record(source(first, static_cast<int>(i)), sent[i] + 1, kRecordSize);
    if (::sendto(fds[i], record.data(), record.size(), 0, reinterpret_cast<sockaddr*>(&target), sizeof(target)) ==
        static_cast<ssize_t>(record.size())) {
      ++sent[i];
    }
  }
  for (std::size_t i = 0; i < fds.size(); ++i) {
    std::printf("udp %s sent %llu records\n", source(first, static_cast<int>(i)).c_str(),
                static_cast<unsigned long long>(sent[i]));
    ::close(fds[i]);
  }
  return 0;
}

}  // namespace ralvek::bench
