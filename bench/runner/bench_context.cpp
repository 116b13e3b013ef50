#include "bench_context.h"

#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace ralvek::bench {

void Context::note(const std::string& text) const {
  std::fprintf(stderr, "  %s\n", text.c_str());
  std::fflush(stderr);
}

RunDir::RunDir(const Context& context, const std::string& name, bool on_disk)
    : path_((on_disk ? context.disk_work : context.work) + "/" + name) {
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

RunDir::~RunDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void Receiver::stop() {
  for (auto& p : processes) p->signal(SIGTERM);
  for (auto& p : processes) {
    if (!p->wait(std::chrono::seconds(20))) {
      clean_exit = false;
      continue;
    }
    cpu_seconds += p->cpu_seconds();
  }
}

Receiver start_tolvin(const Context& context, const std::string& home, int port,
                      const std::string& ini_body) {
  std::filesystem::create_directories(home);
  std::ofstream(home + "/tolvin.ini") << "[tolvin]\nlocal_port=" << port << "\n" << ini_body;
  Receiver r;
  r.data_dir = home + "/data";
  r.suffix = ".dat";
  r.processes.push_back(std::make_unique<Child>(
      std::vector<std::string>{context.programs.tolvin, "--debug"},
      std::map<std::string, std::string>{{"RALVEK_HOME", home},
                                         {"RALVEK_EVENT_LOG", home + "/events.jsonl"},
                                         {"RALVEK_SYSTEMD_DIR", home + "/units"}},
      home + "/tolvin.log"));
  auto& tolvin = *r.processes.front();
  wait_until([&] { return (tcp_listening(port) && udp_bound(port)) || tolvin.wait(std::chrono::milliseconds(0)); },
             std::chrono::seconds(10));
  return r;
}

std::string verdict(bool goal_met, const std::string& failure) {
  if (!failure.empty()) return failure;
  return goal_met ? "met" : "MISSED";
}

}  // namespace ralvek::bench
