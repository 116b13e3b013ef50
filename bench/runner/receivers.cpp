#include "receivers.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace ralvek::bench {

const char* kind_name(Kind kind) {
  switch (kind) {
    case Kind::kTolvin: return "tolvin";
    case Kind::kBare: return "bare";
    case Kind::kSocat: return "socat";
  }
  return "?";
}

Receiver start_receiver(const Context& context, const RunDir& dir, Kind kind, int port, bool udp,
                        const std::string& sites, int socat_listeners) {
  if (kind == Kind::kTolvin) {
    return start_tolvin(context, dir / "home",
                        port, "file_interval=600\ndisconnect_interval=0\nappend_return=0\nmax_count=0\n" + sites);
  }
  Receiver r;
  r.data_dir = dir / "data";
  r.suffix = ".raw";
  std::filesystem::create_directories(r.data_dir);
  std::string at = "127.0.0.1:" + std::to_string(port);
  if (kind == Kind::kBare) {
    r.processes.push_back(std::make_unique<Child>(
        std::vector<std::string>{context.programs.peer, udp ? "udp-recv" : "tcp-recv", at, r.data_dir},
        std::map<std::string, std::string>{}, dir / "bare.log"));
    auto& p = *r.processes.front();
    wait_until([&] { return (udp ? udp_bound(port) : tcp_listening(port)) || p.wait(std::chrono::milliseconds(0)); },
               std::chrono::seconds(10));
    return r;
  }
  for (int i = 0; i < socat_listeners; ++i) {
    std::string source = "127.0.0." + std::to_string(10 + i);
    r.processes.push_back(std::make_unique<Child>(
        std::vector<std::string>{context.programs.socat, "-u",
                                 "TCP-LISTEN:" + std::to_string(port + i) + ",bind=127.0.0.1,fork,reuseaddr",
                                 "OPEN:" + r.data_dir + "/" + source + ".raw,creat,append"},
        std::map<std::string, std::string>{}, dir / "socat.log"));
  }
  wait_until(
      [&] {
        for (int i = 0; i < socat_listeners; ++i) {
          if (!tcp_listening(port + i)) return false;
        }
        return true;
      },
      std::chrono::seconds(10));
  return r;
}

std::uint64_t sent_records(const std::string& sender_log) {
  std::istringstream in(read_file(sender_log));
  for (std::string line; std::getline(in, line);) {
    auto at = line.find(" sent ");
    if (at != std::string::npos) return std::strtoull(line.c_str() + at + 6, nullptr, 10);
  }
  return 0;
}

}  // namespace ralvek::bench
