#pragma once

namespace ralvek::console {

// How long a script's end waits for the box: until it has been quiet this long...
inline constexpr int kQuietEndMs = 1000;
// ...but never longer than this after the end of input.
inline constexpr int kLongestEndMs = 3000;

// The whole console in the terminal: runs until quit, end of input, Ctrl+C or SIGTERM; returns
// the exit status: 1 when the last command was refused or a port could not be bound, else 0.
// REQUIRES: no Qt application object exists yet.
int RunTerminalConsole(int argc, char** argv);

}  // namespace ralvek::console
