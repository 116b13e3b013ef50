#include "vbscript/engine.h"

#include <chrono>

#include "budget.h"
#include "interpreter.h"
#include "parser.h"
#include "shell.h"
#include "stack.h"
#include "vbe.h"

namespace ralvek::vbscript {

namespace {

std::vector<std::string> split_lines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      lines.emplace_back(text.substr(start, i - start));
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  lines.emplace_back(text.substr(start));
  return lines;
}

}  // namespace

struct Engine::State {
  Interpreter interpreter;
  long timeout_ms = 10000;
  Limits limits;
  std::function<void(const ScriptError&)> on_error;
  std::function<void(long)> on_timeout;
  bool has_error = false;
  ScriptError error;
  bool pending_timeout = false;
  std::vector<std::vector<std::string>> chunks;  // source lines of each added text

  budget::Bounds bounds() const {
    budget::Bounds b;
    b.max_memory = limits.max_memory;
    b.max_string_length = limits.max_string_length;
    b.max_array_elements = limits.max_array_elements;
    if (timeout_ms > 0)
      b.deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    return b;
  }

  std::string line_text(int chunk, int line) const {
    if (chunk < 0 || static_cast<std::size_t>(chunk) >= chunks.size()) return "";
    const auto& lines = chunks[static_cast<std::size_t>(chunk)];
    if (line < 1 || static_cast<std::size_t>(line) > lines.size()) return "";
    return lines[static_cast<std::size_t>(line - 1)];
  }

  // The error is stored now; its notification waits for notify(), on the caller's thread.
  void fail(ScriptError e, bool timed_out) {
    has_error = true;
    error = std::move(e);
    pending_timeout = timed_out;
  }

  void notify() {
    if (!has_error) return;
    if (pending_timeout) {
      if (on_timeout) on_timeout(timeout_ms);
    } else if (on_error) {
      on_error(error);
    }
  }

  // Runs `body` on a thread with the engine's own stack, so that the stack checks of the parser
  // and the interpreter leave the same room whoever calls.
  template <class Body>
  void on_script_stack(Body&& body) {
    std::function<void()> fn = [&] {
      try {
        body();
      } catch (const std::bad_alloc&) {
        fail_runtime(VbError{7, "Out of memory", {}, true, 0, -1});
      } catch (const std::exception& e) {
        fail_runtime(
            VbError{err::kInternal, std::string("Internal error: ") + e.what(), {}, true, 0, -1});
      }
    };
    stack::run_on_new_stack(limits.stack_bytes, fn);
    notify();
  }

  void fail_compile(int number, std::string description, int chunk, int line, int column) {
    ScriptError e;
    e.number = number;
    e.description = std::move(description);
    e.source = std::string(kCompilationErrorSource);
    e.line = line;
    e.column = column;
    e.line_text = line_text(chunk, line);
    fail(std::move(e), false);
  }

  void fail_runtime(const VbError& v) {
    ScriptError e;
    e.number = v.number;
    e.description = v.description;
    e.source = v.source.empty() ? std::string(kRuntimeErrorSource) : v.source;
    e.line = v.line;
    e.line_text = line_text(v.chunk, v.line);
    fail(std::move(e), v.fatal && v.number == kTimeoutError);
  }
  void add_code(std::string_view text) {
    std::string plain;
    if (has_encoded_block(text)) {
      std::optional<std::string> decoded = decode_vbe(text);
      if (!decoded) {
        fail_compile(1002, "Syntax error: the encoded script is cut short or damaged", -1, 1, 1);
        return;
      }
      plain = std::move(*decoded);
      text = plain;
    }
    int chunk = static_cast<int>(chunks.size());
    chunks.push_back(split_lines(text));
    budget::Scope scope(bounds());
    std::unique_ptr<Program> program;
    try {
      program = std::make_unique<Program>(parse(text, chunk));
    } catch (const ParseError& e) {
      fail_compile(e.number, e.description, chunk, e.line, e.column);
      chunks.pop_back();
      return;
    } catch (const std::bad_alloc&) {
      fail_compile(7, "Out of memory", chunk, 0, 0);
      chunks.pop_back();
      return;
    } catch (const VbError& e) {  // the time limit
      fail_runtime(e);
      chunks.pop_back();
      return;
    }
    try {
      interpreter.add(std::move(program), chunk);
    } catch (const ParseError& e) {
      fail_compile(e.number, e.description, chunk, e.line, e.column);
      return;
    } catch (const VbError& e) {
      fail_runtime(e);
      return;
    }
    interpreter.runtime().children->reap();
  }

  std::string run(std::string_view procedure, const std::vector<std::string>& arguments) {
    budget::Scope scope(bounds());
    try {
      std::vector<Value> args;
      for (const std::string& a : arguments) args.push_back(Value::string(a));
      Value result = interpreter.call(procedure, std::move(args));
      interpreter.runtime().children->reap();
      if (result.is_array() || result.is_null()) return std::string();
      if (result.is_object()) {
        if (!result.as_object()) return std::string();
        try {
          return to_std_string(result);
        } catch (const VbError&) {
          return std::string();
        }
      }
      return to_std_string(result);
    } catch (const VbError& e) {
      fail_runtime(e);
    }
    return std::string();
  }
};

Engine::Engine() : state_(std::make_unique<State>()) {}
// The scripts' trees and values go on the engine's own stack too.
Engine::~Engine() {
  stack::run_on_new_stack(state_->limits.stack_bytes, [this] { state_.reset(); });
}

void Engine::set_timeout_ms(long milliseconds) {
  state_->timeout_ms = milliseconds;
}
long Engine::timeout_ms() const {
  return state_->timeout_ms;
}
void Engine::set_limits(const Limits& limits) {
  state_->limits = limits;
  state_->interpreter.set_max_call_depth(limits.max_call_depth);
}
const Limits& Engine::limits() const {
  return state_->limits;
}
void Engine::on_error(std::function<void(const ScriptError&)> handler) {
  state_->on_error = std::move(handler);
}
void Engine::on_timeout(std::function<void(long)> handler) {
  state_->on_timeout = std::move(handler);
}

bool Engine::has_error() const {
  return state_->has_error;
}
const ScriptError& Engine::last_error() const {
  return state_->error;
}
void Engine::clear_error() {
  state_->has_error = false;
  state_->error = ScriptError{};
}

bool Engine::add_code(std::string_view text) {
  State& s = *state_;
  clear_error();
  s.on_script_stack([&] { s.add_code(text); });
  return !s.has_error;
}

std::optional<std::string> Engine::run(std::string_view procedure,
                                       const std::vector<std::string>& arguments) {
  State& s = *state_;
  clear_error();
  std::string result;
  s.on_script_stack([&] { result = s.run(procedure, arguments); });
  if (s.has_error) return std::nullopt;
  return result;
}

}  // namespace ralvek::vbscript
