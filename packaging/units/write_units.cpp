// Writes the systemd units that the package ships, with the text that `<program> --install`
// writes, so the two never drift apart: ralvek-write-units <folder>
#include <cstdio>
#include <fstream>

#include "platform/service_manager.h"

namespace {

struct PackagedService {
  const char* name;
  const char* display_name;
  const char* program;
  int watchdog_seconds;
};

// The names and watchdogs of the four programs' profiles; the packaging test checks that
// each installed program's --install writes the same unit.
constexpr PackagedService kServices[] = {
    {"RalvekIPService", "Ralvek IP Service", "tolvin", 60},
    {"RalvekCOMService", "Ralvek COM Service", "serrak", 60},
    {"RalvekHipath4000Service", "Ralvek Hipath 4000 Service", "quendor", 60},
    {"FileCopyService", "File Copy Service", "brastel", 0},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: ralvek-write-units <folder>\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  for (const auto& service : kServices) {
    ralvek::platform::ServiceUnit unit{service.name,
                                       service.display_name,
                                       std::filesystem::path("/usr/lib/ralvek") / service.program,
                                       "/var/lib/ralvek",
                                       service.watchdog_seconds,
                                       "_ralvek",
                                       "_ralvek"};
    std::ofstream out(folder / (std::string(service.name) + ".service"), std::ios::binary | std::ios::trunc);
    out << ralvek::platform::unit_file_text(unit);
    if (!out.flush()) {
      std::perror(service.name);
      return 1;
    }
  }
  return 0;
}
