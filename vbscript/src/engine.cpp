#include "vbscript/engine.h"

#include <chrono>

#include "budget.h"
#include "interpreter.h"
#include "parser.h"
#include "shell.h"
#include "vbe.h"

namespace ralvek::vbscript {

struct Engine::State {
  Interpreter interpreter;
  long timeout_ms = 10000;
  Limits limits;
  std::function<void(const ScriptError&)> on_error;
  std::function<void(long)> on_timeout;
  bool has_error = false;
  ScriptError error;
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

  void fail(ScriptError e, bool timed_out) {
    has_error = true;
    error = std::move(e);
    if (timed_out) {
      if (on_timeout) on_timeout(timeout_ms);
    } else if (on_error) {
      on_error(error);
    }
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
};

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

Engine::Engine() : state_(std::make_unique<State>()) {}
Engine::~Engine() = default;

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
  std::string plain;
  if (has_encoded_block(text)) {
    std::optional<std::string> decoded = decode_vbe(text);
    if (!decoded) {
      s.fail_compile(1002, "Syntax error: the encoded script is cut short or damaged", -1, 1, 1);
      return false;
    }
    plain = std::move(*decoded);
    text = plain;
  }
  int chunk = static_cast<int>(s.chunks.size());
  s.chunks.push_back(split_lines(text));
  budget::Scope scope(s.bounds());
  std::unique_ptr<Program> program;
  try {
    program = std::make_unique<Program>(parse(text, chunk));
  } catch (const ParseError& e) {
    s.fail_compile(e.number, e.description, chunk, e.line, e.column);
    s.chunks.pop_back();
    return false;
  } catch (const std::bad_alloc&) {
    s.fail_compile(7, "Out of memory", chunk, 0, 0);
    s.chunks.pop_back();
    return false;
  }
  try {
    s.interpreter.add(std::move(program), chunk);
  } catch (const ParseError& e) {
    s.fail_compile(e.number, e.description, chunk, e.line, e.column);
    return false;
  } catch (const VbError& e) {
    s.fail_runtime(e);
    return false;
  }
  s.interpreter.runtime().children->reap();
  return true;
}

std::optional<std::string> Engine::run(std::string_view procedure,
                                       const std::vector<std::string>& arguments) {
  State& s = *state_;
  clear_error();
  budget::Scope scope(s.bounds());
  try {
    std::vector<Value> args;
    for (const std::string& a : arguments) args.push_back(Value::string(a));
    Value result = s.interpreter.call(procedure, std::move(args));
    s.interpreter.runtime().children->reap();
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
    s.fail_runtime(e);
  } catch (const std::bad_alloc&) {
    s.fail_runtime(VbError{7, "Out of memory", {}, true, 0, -1});
  }
  return std::nullopt;
}

}  // namespace ralvek::vbscript
