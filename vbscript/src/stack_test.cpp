// No script crashes its host: flat chains of any length, deep chains of indexes, recursion inside
// deep blocks, and a run with no call bound all end in a result or an error report, and the
// engine goes on serving calls.
#include "stack.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "interpreter.h"
#include "parser.h"
#include "script_fixture.h"
#include "vbscript/engine.h"

namespace ralvek::vbscript {
namespace {

using testing::Recorder;

std::string repeat(const std::string& part, int count) {
  std::string out;
  out.reserve(part.size() * static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) out += part;
  return out;
}

// The parts joined (by appending: GCC 12 -O3 warns falsely on "literal" + std::string).
std::string cat(std::initializer_list<std::string> parts) {
  std::string out;
  for (const std::string& p : parts) out += p;
  return out;
}

// A function that recurses `calls` times from inside `nesting` nested If blocks.
std::string nested_recursion(int nesting) {
  return cat({"Function F(n)\n", repeat("If True Then\n", nesting),
              "If n > 0 Then F = F(n - 1) + 1 Else F = 0\n", repeat("End If\n", nesting),
              "End Function\nFunction Again()\n Again = \"ok\"\nEnd Function\n"});
}

void expect_host_goes_on(Engine& e) {
  EXPECT_TRUE(e.add_code("Function Alive(x)\n Alive = x & \"!\"\nEnd Function\n"));
  EXPECT_EQ(e.run("Alive", {"yes"}), "yes!");
}

TEST(NoScriptCrashesTheHost, FlatSumLongerThanEverCrashedIsEvaluated) {
  Engine e;
  ASSERT_TRUE(
      e.add_code(cat({"x = 1", repeat("+1", 49999), "\nFunction X1()\n X1 = x\nEnd Function\n"})))
      << e.last_error().description;
  EXPECT_EQ(e.run("X1", {}), "50000");
  expect_host_goes_on(e);
}

TEST(NoScriptCrashesTheHost, MillionTermExpressionEndsInAResultOrAnErrorReport) {
  Engine e;
  Recorder rec(e);
  e.set_timeout_ms(1000);  // a slow (sanitized) build stops at the limit, a fast one finishes
  bool ok = e.add_code(cat({"x = 1", repeat("-1", 999999), "\n"}));
  if (ok) {
    EXPECT_TRUE(e.add_code("Function X1()\n X1 = x\nEnd Function\n"));
    EXPECT_EQ(e.run("X1", {}), "-999998");
  } else {
    EXPECT_EQ(rec.errors.size() + rec.timeouts.size(), 1u);
    EXPECT_TRUE(e.last_error().number == kTimeoutError || e.last_error().number == 7)
        << e.last_error().number << " " << e.last_error().description;
  }
  expect_host_goes_on(e);
}

TEST(NoScriptCrashesTheHost, ChainsOfTwentyThousandIndexesAndMembersAreEvaluated) {
  Engine e;
  ASSERT_TRUE(
      e.add_code(cat({"For i = 1 To 20001\n a = Array(a)\nNext\nx = a", repeat("(0)", 20000),
                      "\nFunction Depth()\n Depth = UBound(x) & TypeName(x(0))\nEnd Function\n"})))
      << e.last_error().description;
  EXPECT_EQ(e.run("Depth", {}), "0Empty");
  // A long chain whose second link fails: the error is reported, the host goes on.
  EXPECT_FALSE(e.add_code(cat({"y = Err", repeat(".Number", 5000), "\n"})));
  EXPECT_EQ(e.last_error().number, 424);
  expect_host_goes_on(e);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer);
#else
constexpr bool kSanitized = false;
#endif

TEST(NoScriptCrashesTheHost, RecursionAtTheCallBoundInsideTheNestingBound) {
  Engine e;
  // 195 blocks inside the procedure's body is the deepest the parser takes with this line.
  ASSERT_TRUE(e.add_code(nested_recursion(195))) << e.last_error().description;
  if (kSanitized) {
    // Sanitized frames are larger and the stack in use is capped (stack.h): error 28.
    EXPECT_FALSE(e.run("F", {"399"}));
    EXPECT_EQ(e.last_error().number, 28);
    EXPECT_NE(e.last_error().description.find("too deeply"), std::string::npos);
  } else {
    EXPECT_EQ(e.run("F", {"399"}), "399");  // 400 nested calls: the bound
  }
  EXPECT_FALSE(e.run("F", {"400"}));
  EXPECT_EQ(e.last_error().number, 28);
  EXPECT_EQ(e.run("Again", {}), "ok");
}

TEST(NoScriptCrashesTheHost, RecursionWithoutACallBoundEndsAtTheStackCheck) {
  for (std::size_t stack_bytes : {std::size_t{2} << 20, std::size_t{16} << 20}) {
    Engine e;
    Recorder rec(e);
    Limits limits;
    limits.max_call_depth = 1 << 30;
    limits.stack_bytes = stack_bytes;
    e.set_limits(limits);
    ASSERT_TRUE(e.add_code(nested_recursion(50)));
    EXPECT_FALSE(e.run("F", {"100000000"}));
    EXPECT_EQ(e.last_error().number, 28);
    EXPECT_EQ(rec.errors.size(), 1u);
    EXPECT_EQ(e.run("Again", {}), "ok");
    EXPECT_EQ(e.run("F", {"3"}), "3") << e.last_error().description;
  }
}

// Calls `fn` at the first depth where the stack check says the room is gone.
void at_stack_floor(const std::function<void()>& fn) {
  volatile char pad[1024];
  pad[0] = 1;
  if (!stack::has_room()) {
    fn();
  } else {
    at_stack_floor(fn);
  }
  pad[1] = pad[0];  // no tail call: every level keeps its frame
}

TEST(StackCheck, ParserAndInterpreterStopWhereTheStackRunsShort) {
  std::unique_ptr<Program> program = std::make_unique<Program>(parse("x = 1 + 2\n", 0));
  int parser_error = 0;
  int interpreter_error = 0;
  stack::run_on_new_stack(std::size_t{4} << 20, [&] {
    at_stack_floor([&] {
      try {
        parse("y = (1)\n", 0);
      } catch (const ParseError& e) {
        parser_error = e.number;
      }
      Interpreter interpreter;
      try {
        interpreter.add(std::move(program), 0);
      } catch (const VbError& e) {
        interpreter_error = e.number;
      }
    });
  });
  EXPECT_EQ(parser_error, 28);
  EXPECT_EQ(interpreter_error, 28);
}

}  // namespace
}  // namespace ralvek::vbscript
