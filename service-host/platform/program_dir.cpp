#include "platform/program_dir.h"

#include <cstdlib>

namespace ralvek::platform {

std::filesystem::path program_dir() {
  if (const char* home = std::getenv("RALVEK_HOME"); home && *home == '/') {
    return std::filesystem::path(home).lexically_normal();
  }
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path();
  return exe.parent_path();
}

}  // namespace ralvek::platform
