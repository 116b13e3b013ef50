// Test helper: runs a script body and collects what it prints with P.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vbscript/engine.h"

namespace ralvek::vbscript::testing {

// Chunk 1 defines P (print) and Out; the script under test is chunk 2, so its line numbers are
// its own.
class ScriptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        engine.add_code("Dim OUT__\nSub P(x)\n OUT__ = OUT__ & x & \"|\"\nEnd Sub\n"
                        "Function Out()\n Out = OUT__\n OUT__ = \"\"\nEnd Function\n"));
  }

  // Adds `script` (its top-level code runs) and returns what it printed, or "ERR <number>:
  // <description> @<line>" when it failed.
  std::string run(const std::string& script) {
    if (!engine.add_code(script)) return error_text();
    return *engine.run("Out", {});
  }

  // Calls `procedure` and returns its result, or the error text.
  std::string call(const std::string& procedure, const std::vector<std::string>& args = {}) {
    auto r = engine.run(procedure, args);
    if (!r) return error_text();
    return *r;
  }

  std::string error_text() const {
    const ScriptError& e = engine.last_error();
    return "ERR " + std::to_string(e.number) + ": " + e.description + " @" + std::to_string(e.line);
  }

  Engine engine;
};

// Collects the error and time-out notifications of an engine.
struct Recorder {
  explicit Recorder(Engine& e) {
    e.on_error([this](const ScriptError& err) { errors.push_back(err); });
    e.on_timeout([this](long ms) { timeouts.push_back(ms); });
  }
  std::vector<ScriptError> errors;
  std::vector<long> timeouts;
};

}  // namespace ralvek::vbscript::testing
