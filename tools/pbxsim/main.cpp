// pbxsim: simulated telephone exchanges and collection boxes for users, tests and benchmarks.
#include <cstdio>
#include <cstring>
#include <exception>

#include "box.h"
#include "ralvek_version.h"
#include "exchange.h"
#include "send.h"
#include "serial.h"

namespace {

struct Mode {
  const char* name;
  int (*run)(int argc, char** argv);
  const char* usage;
};

const Mode kModes[] = {
    {"tcp", ralvek::pbxsim::run_send,
     "tcp --from 127.0.0.20 --to 127.0.0.1:5005 --count 10 [--rate 0] [--size 120] [--first 1] "
     "[--batch 1] [--linger 0] [--seconds 0] [--wait 0] [--quiet-after N --quiet-for S]"},
    {"udp", ralvek::pbxsim::run_send,
     "udp --from 127.0.0.21 --to 127.0.0.1:5005 --count 10 [--rate 0] [--size 120] [--first 1] "
     "[--batch 1] [--seconds 0] [--quiet-after N --quiet-for S]"},
    {"box", ralvek::pbxsim::run_box,
     "box [--address 127.0.0.2] [--port 26482] [--reply-port 2552] [--send-to 127.0.0.1:2552] [--records 0] "
     "[--period 10] [--entry-len 40] [--site 1] [--capacity 1000] [--burst 1]"},
    {"exchange", ralvek::pbxsim::run_exchange,
     "exchange --listen 127.0.0.30:1201 [--count 0] [--rate 10] [--size 120] [--first 1] "
     "[--source <host>] [--binary 0] [--commands -] [--quiet-after N --quiet-for S]"},
    {"serial", ralvek::pbxsim::run_serial,
     "serial [--device <path>] [--source serial1] [--count 10] [--size 120] [--ending crlf|cr|lf] "
     "[--rate 0] [--split none|random|<bytes>] [--pause 0] [--seed 0] [--delay 0] [--linger 1000] "
     "[--quiet-after N --quiet-for S]"},
    {"check", ralvek::pbxsim::run_check,
     "check --dir data --from 127.0.0.20 --count 10 [--first 1] [--size 120] [--ext dat]"},
};

void print_usage(std::FILE* to) {
  std::fprintf(to, "usage: pbxsim <mode> [options]   (or pbxsim --help, pbxsim --version)\n");
  for (const auto& mode : kModes) std::fprintf(to, "  pbxsim %s\n", mode.usage);
}

int usage() {
  print_usage(stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    print_usage(stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("pbxsim %s\n", ralvek::kVersionText);
    return 0;
  }
  for (const auto& mode : kModes) {
    if (std::strcmp(argv[1], mode.name) != 0) continue;
    try {
      return mode.run(argc, argv);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "pbxsim %s: %s\n", mode.name, e.what());
      return 1;
    }
  }
  return usage();
}
