#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Stands in for systemd's notification socket, so a service runs in its service mode and sends
// its watchdog pings here. The loop sends a ping every half watchdog interval from a timer: the
// longest gap between two pings is the longest time the loop was held.
namespace ralvek::bench {

class NotifyListener {
 public:
  using Clock = std::chrono::steady_clock;
  // Binds a datagram socket at `path` (a file path, shorter than 100 bytes).
  explicit NotifyListener(std::string path);
  ~NotifyListener();
  NotifyListener(const NotifyListener&) = delete;
  NotifyListener& operator=(const NotifyListener&) = delete;

  // The environment of a service started by systemd with a watchdog of `watchdog_usec`:
  // it pings every watchdog_usec / 2 / RALVEK_TIME_SCALE.
  std::map<std::string, std::string> service_env(long watchdog_usec) const;
  bool ready() const { return ready_; }
  // Longest time between two pings that arrived in [from, to], in milliseconds; 0 with fewer
  // than two.
  double longest_gap_ms(Clock::time_point from, Clock::time_point to) const;
  std::size_t pings() const;

 private:
  void run();

  std::string path_;
  int fd_ = -1;
  std::atomic<bool> stop_{false};
  std::atomic<bool> ready_{false};
  mutable std::mutex mutex_;
  std::vector<Clock::time_point> pings_;
  std::thread thread_;
};

}  // namespace ralvek::bench
