#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ralvek::serrak {

// What the engine tells about a script error.
struct ScriptErrorInfo {
  std::string description;
  std::string line_text;  // the source line in error
  int line = 0;
  std::string source;
};

// A script text that did not load, or a call that ended in an error or by its time limit.
// what() is the error's description.
class ScriptFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The user script of the service: one script text, loaded once, whose procedures are called
// by name with one text argument; every call is bounded by a time limit.
//
// The notifications are raised during add_code() or run(), before they throw: on_error for a
// script error, on_timeout (with the limit in milliseconds) for a call that ran out of time.
class UserScript {
 public:
  virtual ~UserScript() = default;
  virtual void set_notifications(std::function<void(const ScriptErrorInfo&)> on_error,
                                 std::function<void(long limit_ms)> on_timeout) = 0;
  // Throws ScriptFailure when the text does not load (a syntax error, for example).
  virtual void add_code(std::string_view text) = 0;
  // Throws ScriptFailure when the call fails or runs out of time; the result is not used.
  virtual void run(const std::string& procedure, const std::string& argument) = 0;
  // The time limit of one call as configured, in milliseconds.
  virtual long timeout_ms() const = 0;
};

// The time limit of one call in the service, in milliseconds.
inline constexpr long kScriptTimeoutMs = 30000;

// The VBScript engine with the service's limit of 30000 ms per call (shortened by
// $RALVEK_TIME_SCALE like every timer, while still reporting 30000).
std::unique_ptr<UserScript> make_vbscript_user_script();
// The same engine with the limit `timeout_ms` (0: none), used and reported as given.
std::unique_ptr<UserScript> make_vbscript_user_script_with_limit(long timeout_ms);

// The lines of the warning (ID 108) that reports a script error, and a call past its limit.
std::vector<std::string> script_error_lines(const ScriptErrorInfo& error);
std::vector<std::string> script_timeout_lines(long limit_ms);

}  // namespace ralvek::serrak
