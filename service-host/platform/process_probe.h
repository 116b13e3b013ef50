#pragma once

#include <string>

namespace ralvek::platform {

int current_process_id();

// True when process `pid` lives and runs the program `program` (its command name), so a pid
// left in a file by a process long gone, and since given to another program, is not taken for
// the instance.
bool process_running(int pid, const std::string& program);

}  // namespace ralvek::platform
