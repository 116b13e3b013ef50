#pragma once

namespace ralvek::console {

// The whole console in the terminal: runs until quit, end of input, SIGINT or SIGTERM; returns the
// exit status. REQUIRES: no Qt application object exists yet.
int RunTerminalConsole(int argc, char** argv);

}  // namespace ralvek::console
