#pragma once

namespace ralvek::console {

// The whole console in its window: runs until the window closes (menu Quit, the close button, the
// quit command, SIGINT or SIGTERM); returns the exit status.
// REQUIRES: a display the Qt platform can open; no Qt application object exists yet.
int RunWindowConsole(int argc, char** argv);

}  // namespace ralvek::console
