#include "figures/status_command.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "figures/publish.h"
#include "platform/process_probe.h"

namespace ralvek::figures {

bool is_status_switch(const std::string& switch_text, bool& json) {
  json = switch_text == "--status --json" || switch_text == "--json --status";
  return json || switch_text == "--status";
}

int print_status(const std::filesystem::path& program_dir, const std::string& program, bool json) {
  std::ifstream in(program_dir / (program + ".status"), std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  StatusFile status;
  if (!parse_status(text, status) || !platform::process_running(status.pid, program)) {
    std::fprintf(stderr, "%s is not running in %s\n", program.c_str(), program_dir.string().c_str());
    return 1;
  }
  std::string out = json ? status_json(status) : status_table(status);
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

}  // namespace ralvek::figures
