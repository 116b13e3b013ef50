// The project's own VBScript engine: loads a script text once and calls its procedures by name.
//
// The engine runs a documented subset of VBScript (see vbscript/README.md) with the objects
// "Scripting.FileSystemObject" and "WScript.Shell" and the Err object. Encoded scripts
// (`#@~^ ... ^#~@`, the .vbe form) are decoded before parsing.
//
// Contract:
// - One Engine is used from one thread at a time. Calls do not re-enter the engine from the
//   notifications (a notification must not call add_code or run).
// - Every call (add_code runs the script's top-level statements too) is bounded by the time
//   limit; a program started by the script with WScript.Shell Run and waiting is bounded by the
//   same limit and killed when it passes. The call then raises the time-out notification and
//   ends in an error (number kTimeoutError); On Error Resume Next cannot catch it.
// - Procedure-call depth, string length and the memory held by strings and arrays are bounded
//   (Limits); passing a bound ends the call in an error that the script cannot catch either.
//   The memory bound counts the script values of all engines of the process together.
// - No script text and no run can overflow the native stack: add_code and run execute on a
//   thread of the engine's own (Limits::stack_bytes) while the caller waits, and every recursion
//   of the parser and the interpreter checks the stack left, ending the call with error 28
//   "Out of stack space" before it runs out. The notifications are raised on the caller's thread.
// - Every failed call stores its error (last_error) and returns failure. It raises the error
//   notification, except a call stopped by its time limit, which raises the time-out
//   notification instead. The stored error stays until clear_error or the start of the next call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ralvek::vbscript {

inline constexpr std::string_view kCompilationErrorSource = "VBScript compilation error";
inline constexpr std::string_view kRuntimeErrorSource = "VBScript runtime error";
// Err.Number of a call stopped by its time limit (the HRESULT E_ABORT).
inline constexpr std::int32_t kTimeoutError = static_cast<std::int32_t>(0x80004004u);

struct ScriptError {
  std::int32_t number = 0;  // VBScript error number (1002 syntax error, 13 type mismatch ...)
  std::string description;  // "Expected 'Then'", "Division by zero" ...
  std::string source;       // kCompilationErrorSource, kRuntimeErrorSource, or Err.Raise's source
  std::string line_text;    // the source line in error, without its line end
  int line = 0;             // 1-based line number in the text given to add_code, 0 if none
  int column = 0;           // 1-based column for compilation errors, 0 otherwise
};

struct Limits {
  int max_call_depth = 400;                   // nested procedure calls
  std::size_t max_string_length = 64u << 20;  // characters (bytes) in one string
  std::size_t max_memory = 512u << 20;        // bytes held by strings and arrays
  std::size_t max_array_elements = 8u << 20;  // elements in one array
  // Stack of the thread each call runs on. Whatever the size, a call that would use it up ends
  // with error 28 "Out of stack space"; the default holds max_call_depth calls of procedures
  // whose blocks nest as deep as the parser allows.
  std::size_t stack_bytes = std::size_t{256} << 20;
};

class Engine {
 public:
  Engine();
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Time limit of one call in milliseconds; 0 or less means no limit. Default 10000.
  void set_timeout_ms(long milliseconds);
  long timeout_ms() const;

  void set_limits(const Limits& limits);
  const Limits& limits() const;

  // Raised once for every failed call except a time-out, before the call returns; the error is
  // also last_error().
  void on_error(std::function<void(const ScriptError&)> handler);
  // Raised when a call passes its time limit, with the limit in milliseconds.
  void on_timeout(std::function<void(long limit_ms)> handler);

  // Parses the whole text (decoding the .vbe form first), defines its procedures and runs its
  // top-level statements. A syntax error defines nothing; a run-time error in the top-level
  // statements stops them but leaves the text's procedures defined. Returns false on error.
  bool add_code(std::string_view text);

  // Calls the Sub or Function `procedure` (case-insensitive) with text arguments. Returns the
  // Function's result converted to text ("" for a Sub or an Empty result), or nullopt on error.
  std::optional<std::string> run(std::string_view procedure,
                                 const std::vector<std::string>& arguments);

  bool has_error() const;
  const ScriptError& last_error() const;
  void clear_error();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace ralvek::vbscript
