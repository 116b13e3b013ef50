// The only file of the service that knows the script engine.
#include <vbscript/engine.h>

#include "platform/clock.h"
#include "user_script.h"

namespace ralvek::serrak {
namespace {

constexpr long kTimeoutMs = 30000;

class VbUserScript final : public UserScript {
 public:
  VbUserScript() {
    long scaled = kTimeoutMs / platform::time_scale();
    engine_.set_timeout_ms(scaled < 1 ? 1 : scaled);
  }

  void set_notifications(std::function<void(const ScriptErrorInfo&)> on_error,
                         std::function<void(long)> on_timeout) override {
    engine_.on_error([handler = std::move(on_error)](const vbscript::ScriptError& error) {
      if (handler) handler({error.description, error.line_text, error.line, error.source});
    });
    // The limit as configured: the time scale of a test run is no concern of the log.
    engine_.on_timeout([handler = std::move(on_timeout)](long) {
      if (handler) handler(kTimeoutMs);
    });
  }

  void add_code(std::string_view text) override {
    if (!engine_.add_code(text)) fail();
  }

  void run(const std::string& procedure, const std::string& argument) override {
    if (!engine_.run(procedure, {argument})) fail();
  }

  long timeout_ms() const override { return kTimeoutMs; }

 private:
  [[noreturn]] void fail() {
    std::string description = engine_.has_error() ? engine_.last_error().description : "Script error";
    engine_.clear_error();
    throw ScriptFailure(description);
  }

  vbscript::Engine engine_;
};

}  // namespace

std::unique_ptr<UserScript> make_vbscript_user_script() { return std::make_unique<VbUserScript>(); }

}  // namespace ralvek::serrak
