#pragma once
// Processes, pauses and the clock for the console core, on Qt's event loop.
#include <functional>
#include <string>
#include <vector>

#include "console_ports.h"

namespace ralvek::console {

class QtConsoleSystem final : public ConsoleSystem {
 public:
  // end_program runs when the interpreter ends the program; it must make the event loop return.
  explicit QtConsoleSystem(std::function<void()> end_program);

  // Blocks the event loop (nothing else is handled) until the process has ended.
  std::string Run(const std::vector<std::string>& argv) override;
  void Wait(double seconds) override;
  std::string TimeText() override;
  void EndProgram() override;

 private:
  std::function<void()> end_program_;
};

}  // namespace ralvek::console
