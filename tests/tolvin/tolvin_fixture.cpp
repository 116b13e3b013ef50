#include "tolvin_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

namespace ralvek::e2e {

TolvinTest::TolvinTest() : port_(free_port()) {}

void TolvinTest::write_ini(const std::string& body) {
  write_file(home_ / "tolvin.ini", "[tolvin]\nlocal_port=" + std::to_string(port_) + "\n" + body);
}

std::map<std::string, std::string> TolvinTest::env() const {
  std::map<std::string, std::string> e{{"RALVEK_HOME", home_.path().string()},
                                       {"RALVEK_EVENT_LOG", event_log().string()},
                                       {"RALVEK_TIME_SCALE", "100"},
                                       {"RALVEK_SYSTEMD_DIR", (home_ / "units").string()},
                                       {"TZ", "UTC"}};
  e["PATH"] = path_override_.empty() ? std::string(std::getenv("PATH")) : path_override_;
  e.erase("INVOCATION_ID");
  return e;
}

std::unique_ptr<Process> TolvinTest::start(const std::vector<std::string>& args,
                                           const std::map<std::string, std::string>& extra_env) {
  auto e = env();
  for (const auto& [k, v] : extra_env) e[k] = v;
  std::vector<std::string> argv{TOLVIN_EXE};
  argv.insert(argv.end(), args.begin(), args.end());
  return std::make_unique<Process>(argv, e, home_.path());
}

std::unique_ptr<Process> TolvinTest::start_debug(const std::map<std::string, std::string>& extra_env) {
  auto p = start({"--debug"}, extra_env);
  auto died = [&] { return !p->running(); };
  EXPECT_TRUE(wait_until([&] { return !settings_report().empty() || !p->running(); }));
  // The report comes before the sweep, the listener and the UDP port: wait until both are
  // bound (a datagram sent before would be lost).
  char hex_port[8];
  std::snprintf(hex_port, sizeof(hex_port), ":%04X ", port_);
  auto bound = [&](const char* table, const char* state) {
    std::string text = read_file(table);
    for (size_t at = text.find(hex_port); at != std::string::npos; at = text.find(hex_port, at + 1)) {
      // local address column, then remote "00000000:0000", then the state
      if (text.compare(at + 6 + 14, 2, state) == 0) return true;
    }
    return false;
  };
  EXPECT_TRUE(wait_until([&] {
    return (bound("/proc/net/tcp", "0A") && bound("/proc/net/udp", "07")) || !p->running();
  }));
  EXPECT_FALSE(died()) << "tolvin ended at its start: " << read_file(event_log());
  return p;
}

int TolvinTest::run_once(const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& extra_env) {
  auto p = start(args, extra_env);
  auto status = p->wait(20s);
  return status ? *status : -1;
}

bool TolvinTest::wait_event(int type, long id, const std::string& text, std::chrono::milliseconds timeout) {
  return wait_until([&] { return has_event(event_log(), type, id, text); }, timeout);
}

std::string TolvinTest::settings_report() const {
  for (const auto& e : events()) {
    if (e.id == 110 && e.type == 0 && e.text.rfind("Service attempted to start", 0) == 0) return e.text;
  }
  return "";
}

std::vector<std::string> TolvinTest::dat_contents() const {
  std::vector<std::string> contents;
  for (const auto& name : files_with_ext(data(), "dat")) contents.push_back(read_file(data() / name));
  return contents;
}

int TolvinTest::pbxsim(const std::vector<std::string>& args) {
  std::vector<std::string> argv{PBXSIM_EXE};
  argv.insert(argv.end(), args.begin(), args.end());
  return run(argv);
}

void TolvinTest::fake_systemctl(bool running) {
  auto bin = home_ / "bin";
  std::filesystem::create_directories(bin);
  write_file(bin / "systemctl",
             "#!/bin/sh\necho \"$*\" >> '" + (home_ / "systemctl.log").string() + "'\n"
             "case \"$1\" in is-active) exit " + (running ? "0" : "3") + ";; esac\nexit 0\n");
  std::filesystem::permissions(bin / "systemctl", std::filesystem::perms::owner_all);
  path_override_ = bin.string() + ":" + std::getenv("PATH");
}

int tcp_connect(const std::string& from, int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  ::inet_pton(AF_INET, from.c_str(), &local.sin_addr);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0) throw std::runtime_error("bind");
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_port = htons(static_cast<uint16_t>(port));
  ::inet_pton(AF_INET, "127.0.0.1", &remote.sin_addr);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof(remote)) != 0) {
    ::close(fd);
    throw std::runtime_error("connect");
  }
  return fd;
}

void send_all(int fd, const std::string& bytes) {
  size_t at = 0;
  while (at < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
    if (n <= 0) throw std::runtime_error("send");
    at += static_cast<size_t>(n);
  }
}

void udp_send(const std::string& from, int port, const std::string& bytes) {
  int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  ::inet_pton(AF_INET, from.c_str(), &local.sin_addr);
  ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local));
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_port = htons(static_cast<uint16_t>(port));
  ::inet_pton(AF_INET, "127.0.0.1", &remote.sin_addr);
  ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&remote), sizeof(remote));
  ::close(fd);
}

bool closed_by_peer(int fd, std::chrono::milliseconds timeout) {
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
  char byte;
  return ::recv(fd, &byte, 1, 0) <= 0;
}

}  // namespace ralvek::e2e
