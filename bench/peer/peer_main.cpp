// bench_peer: the baselines and load generators of the benchmarks (see bench/README.md).
#include <cstdio>
#include <cstring>
#include <exception>
#include <sstream>
#include <string>
#include <vector>

#include "bare_receiver.h"
#include "fast_senders.h"
#include "site_senders.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: bench_peer tcp-recv <address:port> <dir>\n"
               "       bench_peer tcp-client <address:port>[,<address:port>...] <dir>\n"
               "       bench_peer udp-recv <address:port> <dir> [buffer-kb]\n"
               "       bench_peer sites <address:port> <count> <seconds>\n"
               "       bench_peer tcp-flood <address:port> <first> <count> <seconds> [port-per-site]\n"
               "       bench_peer udp-sites <address:port> <first> <count> <rate> <seconds>\n");
  return 2;
}

std::vector<std::string> split(const std::string& text) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, ',');) {
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return usage();
  std::string mode = argv[1];
  try {
    if (mode == "tcp-recv") return ralvek::bench::run_bare_tcp(argv[2], {}, argv[3]);
    if (mode == "tcp-client") return ralvek::bench::run_bare_tcp("", split(argv[2]), argv[3]);
    if (mode == "udp-recv") return ralvek::bench::run_bare_udp(argv[2], argv[3], argc > 4 ? std::stoi(argv[4]) : 0);
    if (mode == "tcp-flood" && (argc == 6 || argc == 7)) {
      return ralvek::bench::run_tcp_flood(argv[2], std::stoi(argv[3]), std::stoi(argv[4]), std::stod(argv[5]),
                                          argc == 7 && std::string(argv[6]) == "port-per-site");
    }
    if (mode == "udp-sites" && argc == 7) {
      return ralvek::bench::run_udp_sites(argv[2], std::stoi(argv[3]), std::stoi(argv[4]), std::stod(argv[5]),
                                          std::stod(argv[6]));
    }
    if (mode == "sites" && argc == 5) {
      return ralvek::bench::run_site_senders(argv[2], std::stoi(argv[3]), std::stoi(argv[4]));
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_peer %s: %s\n", mode.c_str(), e.what());
    return 1;
  }
  return usage();
}
