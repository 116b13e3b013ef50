#pragma once

#include <filesystem>

namespace ralvek::platform {

// The directory that holds a program's settings, script, log and data/ folder:
// $RALVEK_HOME when it is set to an absolute path, else the executable's own directory.
std::filesystem::path program_dir();

}  // namespace ralvek::platform
