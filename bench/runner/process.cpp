#include "process.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace ralvek::bench {
namespace {

double seconds_of(const rusage& usage) {
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long status_field_kib(pid_t pid, const char* name) {
  std::istringstream in(read_file("/proc/" + std::to_string(pid) + "/status"));
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(name, 0) == 0) return std::strtol(line.c_str() + std::strlen(name), nullptr, 10);
  }
  return 0;
}

// Lines of /proc/net/{tcp,udp} whose local port is `port`, split into columns.
std::vector<std::vector<std::string>> socket_lines(const char* table, int port) {
  char hex[8];
  std::snprintf(hex, sizeof(hex), ":%04X", port);
  std::vector<std::vector<std::string>> found;
  std::istringstream in(read_file(table));
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream cols(line);
    std::vector<std::string> columns{std::istream_iterator<std::string>(cols), {}};
    if (columns.size() > 3 && columns[1].size() > 5 && columns[1].substr(columns[1].size() - 5) == hex) {
      found.push_back(std::move(columns));
    }
  }
  return found;
}

bool port_free(int type, int port) {
  int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<std::uint16_t>(port));
  bool ok = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) == 0;
  if (fd >= 0) ::close(fd);
  return ok;
}

// Children alive now, for a signal handler that must not allocate.
constexpr int kMaxChildren = 4096;
volatile pid_t g_children[kMaxChildren] = {};

void remember(pid_t pid) {
  for (auto& slot : g_children) {
    if (slot == 0) {
      slot = pid;
      return;
    }
  }
}

void forget(pid_t pid) {
  for (auto& slot : g_children) {
    if (slot == pid) slot = 0;
  }
}

}  // namespace

void kill_all_children() {
  for (auto& slot : g_children) {
    pid_t pid = slot;
    if (pid > 0) {
      ::kill(-pid, SIGKILL);
      ::kill(pid, SIGKILL);
    }
  }
}

std::string read_file(const std::string& path) {
  std::string content;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return content;
  // /proc files report no size: read in blocks until the end.
  char block[1 << 16];
  for (ssize_t n; (n = ::read(fd, block, sizeof(block))) > 0;) content.append(block, static_cast<std::size_t>(n));
  ::close(fd);
  return content;
}

Child::Child(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
             const std::string& log_path)
    : log_path_(log_path) {
  // Everything exec needs is built before fork: the child only calls async-signal-safe functions.
  std::vector<std::string> env_text;
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    if (!env.count(entry.substr(0, entry.find('=')))) env_text.push_back(entry);
  }
  for (const auto& [name, value] : env) env_text.push_back(name + "=" + value);
  std::vector<char*> args, envp;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (auto& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);
  int log = ::open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (log < 0) throw std::runtime_error("cannot open " + log_path + ": " + std::strerror(errno));

  pid_ = fork();
  if (pid_ < 0) {
    ::close(log);
    throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  }
  if (pid_ == 0) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    setpgid(0, 0);  // its own group, so its own children can be ended with it
    int null = ::open("/dev/null", O_RDONLY);
    dup2(null, 0);
    dup2(log, 1);
    dup2(log, 2);
    execve(args[0], args.data(), envp.data());
    _exit(127);
  }
  ::close(log);
  remember(pid_);
}

Child::~Child() {
  if (running()) {
    ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
    wait(std::chrono::seconds(5));
  }
}

void Child::signal(int number) const {
  if (!status_) ::kill(pid_, number);
}

bool Child::wait(std::chrono::milliseconds timeout) {
  return wait_until(
      [&] {
        if (status_) return true;
        int status = 0;
        rusage usage{};
        pid_t got = wait4(pid_, &status, WNOHANG, &usage);
        if (got != pid_) return false;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        cpu_seconds_ = seconds_of(usage);
        forget(pid_);
        return true;
      },
      timeout);
}

long rss_kib(pid_t pid) { return status_field_kib(pid, "VmRSS:"); }
long peak_rss_kib(pid_t pid) { return status_field_kib(pid, "VmHWM:"); }

double cpu_seconds_now(pid_t pid) {
  std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
  auto close = stat.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream in(stat.substr(close + 2));
  std::vector<std::string> fields{std::istream_iterator<std::string>(in), {}};
  // After the name: state is field 3, utime 14, stime 15 (1-based over the whole line).
  if (fields.size() < 13) return 0;
  double ticks = std::stod(fields[11]) + std::stod(fields[12]);
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

bool tcp_listening(int port) {
  for (const auto& columns : socket_lines("/proc/net/tcp", port)) {
    if (columns[3] == "0A") return true;
  }
  return false;
}

bool udp_bound(int port) { return !socket_lines("/proc/net/udp", port).empty(); }

long udp_drops(int port) {
  long drops = 0;
  for (const auto& columns : socket_lines("/proc/net/udp", port)) {
    if (columns.size() >= 13) drops += std::stol(columns.back());
  }
  return drops;
}

long udp_queued(int port) {
  long queued = 0;
  for (const auto& columns : socket_lines("/proc/net/udp", port)) {
    auto colon = columns[4].find(':');
    if (colon != std::string::npos) queued += std::stol(columns[4].substr(colon + 1), nullptr, 16);
  }
  return queued;
}

int free_ports(int count) {
  std::random_device seed;
  std::mt19937 pick(seed());
  for (int attempt = 0; attempt < 200; ++attempt) {
    int base = 20000 + static_cast<int>(pick() % 30000);
    bool all = true;
    for (int p = base; p < base + count && all; ++p) {
      all = port_free(SOCK_STREAM, p) && port_free(SOCK_DGRAM, p);
    }
    if (all) return base;
  }
  throw std::runtime_error("no free ports");
}

}  // namespace ralvek::bench
