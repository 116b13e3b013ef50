// "WScript.Shell": Run (from an argument vector, never through a shell) and
// ExpandEnvironmentStrings.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "value.h"

namespace ralvek::vbscript {

// Programs started without waiting; reaped without blocking when asked and at destruction, so
// they leave no zombie behind while the host runs.
class ChildProcesses {
 public:
  ChildProcesses() = default;
  ~ChildProcesses();
  ChildProcesses(const ChildProcesses&) = delete;
  ChildProcesses& operator=(const ChildProcesses&) = delete;
  void adopt(int pid);
  void reap();
  std::size_t pending() const { return pids_.size(); }

 private:
  std::vector<int> pids_;
};

// Splits a command into words: blanks and tabs separate words; "..." and '...' group text, the
// quotes themselves removed; inside "...", \" is a quote and \\ a backslash. Any other backslash
// is an ordinary character (paths keep theirs).
std::vector<std::string> split_command(std::string_view command);

// Starts argv[0] (searched on PATH when it holds no '/') with standard input from /dev/null, in
// its own process group. With `wait`, returns its exit status (128 + signal number when a signal
// ended it); when the call's deadline passes first the group is killed and the time-out error
// raised. Without `wait`, returns 0.
int run_program(const std::vector<std::string>& argv, bool wait, ChildProcesses& children);

ObjectRef make_shell(std::shared_ptr<ChildProcesses> children);

}  // namespace ralvek::vbscript
