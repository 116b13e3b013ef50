// The only file of the service that knows the script engine.
#include <vbscript/engine.h>

#include "platform/clock.h"
#include "user_script.h"

namespace ralvek::serrak {
namespace {

class VbUserScript final : public UserScript {
 public:
  // `reported_ms` is the limit the notifications and timeout_ms() give; `used_ms` the one applied.
  VbUserScript(long reported_ms, long used_ms) : reported_ms_(reported_ms) {
    engine_.set_timeout_ms(used_ms);
  }

  void set_notifications(std::function<void(const ScriptErrorInfo&)> on_error,
                         std::function<void(long)> on_timeout) override {
    engine_.on_error([handler = std::move(on_error)](const vbscript::ScriptError& error) {
      if (handler) handler({error.description, error.line_text, error.line, error.source});
    });
    // The limit as configured: the time scale of a test run is no concern of the log.
    engine_.on_timeout([handler = std::move(on_timeout), limit = reported_ms_](long) {
      if (handler) handler(limit);
    });
  }

  void add_code(std::string_view text) override {
    if (!engine_.add_code(text)) fail();
  }

  void run(const std::string& procedure, const std::string& argument) override {
    if (!engine_.run(procedure, {argument})) fail();
  }

  long timeout_ms() const override { return reported_ms_; }

 private:
  [[noreturn]] void fail() {
    std::string description = engine_.has_error() ? engine_.last_error().description : "Script error";
    engine_.clear_error();
    throw ScriptFailure(description);
  }

  long reported_ms_;
  vbscript::Engine engine_;
};

}  // namespace

std::unique_ptr<UserScript> make_vbscript_user_script() {
  long scaled = kScriptTimeoutMs / platform::time_scale();
  return std::make_unique<VbUserScript>(kScriptTimeoutMs, scaled < 1 ? 1 : scaled);
}

std::unique_ptr<UserScript> make_vbscript_user_script_with_limit(long timeout_ms) {
  return std::make_unique<VbUserScript>(timeout_ms, timeout_ms);
}

}  // namespace ralvek::serrak
