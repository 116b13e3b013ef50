#pragma once

#include <sys/types.h>
#include <time.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Programs under measurement, started from an argument vector (never through a shell), and what
// /proc tells about them and about the sockets on this machine.
namespace ralvek::bench {

class Child {
 public:
  // Starts argv[0] with the runner's environment plus `env`; standard output and error go to
  // `log_path` (appended). Throws std::runtime_error when fork fails; a failed exec shows as
  // exit status 127.
  Child(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
        const std::string& log_path);
  // A child still running is killed and reaped, so no benchmark leaves a process behind.
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  bool running() const { return !status_; }
  void signal(int number) const;
  // Waits until the child ends or `timeout` passes; true when it has ended.
  bool wait(std::chrono::milliseconds timeout);
  // Exit status (128 + signal when killed); only once ended.
  int status() const { return status_.value_or(-1); }
  // User + system CPU seconds of the child and of the children it reaped; only once ended.
  double cpu_seconds() const { return cpu_seconds_; }
  const std::string& log_path() const { return log_path_; }

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
  double cpu_seconds_ = 0;
  std::string log_path_;
};

// Kills every child still running (and its process group); safe in a signal handler.
void kill_all_children();

// Resident memory (VmRSS) and its peak (VmHWM) in KiB, 0 when unknown.
long rss_kib(pid_t pid);
long peak_rss_kib(pid_t pid);
// CPU seconds (user + system) a running process has used so far.
double cpu_seconds_now(pid_t pid);

// True when a socket of this network namespace listens on TCP `port` / is bound to UDP `port`.
bool tcp_listening(int port);
bool udp_bound(int port);
// Datagrams dropped so far by the UDP sockets bound to `port` (their receive buffer was full).
long udp_drops(int port);
// Bytes waiting to be read in the UDP sockets bound to `port`.
long udp_queued(int port);
// `count` consecutive ports, free for TCP and UDP on 127.0.0.0/8 just now.
int free_ports(int count);

// Polls `done` every 10 ms until it is true or `timeout` passes.
template <typename F>
bool wait_until(F done, std::chrono::milliseconds timeout) {
  auto give_up = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    struct timespec ts {0, 10'000'000};
    nanosleep(&ts, nullptr);
  }
  return true;
}

std::string read_file(const std::string& path);

}  // namespace ralvek::bench
