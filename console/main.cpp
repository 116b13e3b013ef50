// console: the Ralvek configuration console, in a window when a display is available, otherwise in
// the terminal.
#include "front_end_choice.h"
#include "run_terminal.h"
#ifdef RALVEK_CONSOLE_WINDOW
#include "run_window.h"
#endif

int main(int argc, char** argv) {
  using namespace ralvek::console;
#ifdef RALVEK_CONSOLE_WINDOW
  if (ChooseFrontEnd(true) == FrontEnd::kWindow) return RunWindowConsole(argc, argv);
#endif
  return RunTerminalConsole(argc, argv);
}
