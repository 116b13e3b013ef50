#include "platform/process_probe.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

namespace ralvek::platform {

int current_process_id() { return static_cast<int>(::getpid()); }

bool process_running(int pid, const std::string& program) {
  if (pid <= 0) return false;
  if (::kill(pid, 0) != 0 && errno != EPERM) return false;
  std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
  std::string comm;
  if (!std::getline(in, comm)) return false;
  // The kernel keeps the first 15 bytes of the name.
  return comm == program.substr(0, 15);
}

}  // namespace ralvek::platform
