// The engine's interface as a host uses it: add code, run, errors, notifications, bounds.
#include "vbscript/engine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "script_fixture.h"

namespace ralvek::vbscript {
namespace {

using testing::Recorder;

TEST(EngineInterface, RunCallsAProcedureWithTextArgumentsAndReturnsItsResult) {
  Engine e;
  ASSERT_TRUE(
      e.add_code("Function Join3(a, b, c)\n Join3 = a & \"+\" & b & \"+\" & c\nEnd Function\n"
                 "Sub Nothing1(x)\nEnd Sub\n"));
  EXPECT_EQ(e.run("join3", {"x", "12", ""}), "x+12+");
  EXPECT_EQ(e.run("Nothing1", {"/data/1_20061206053100.kom"}), "");
  EXPECT_FALSE(e.has_error());
}

TEST(EngineInterface, SyntaxErrorReportsNumberLineTextAndCompilationSource) {
  Engine e;
  Recorder rec(e);
  EXPECT_FALSE(e.add_code("Sub Run(f)\n  If f = 1\n    x = 2\n  End If\nEnd Sub\n"));
  ASSERT_TRUE(e.has_error());
  const ScriptError& err = e.last_error();
  EXPECT_EQ(err.number, 1017);
  EXPECT_EQ(err.description, "Expected 'Then'");
  EXPECT_EQ(err.line, 2);
  EXPECT_EQ(err.line_text, "  If f = 1");
  EXPECT_EQ(err.source, "VBScript compilation error");
  ASSERT_EQ(rec.errors.size(), 1u);
  EXPECT_EQ(rec.errors[0].line, 2);
  // Nothing of the failed text was defined.
  EXPECT_FALSE(e.run("Run", {"a"}));
  EXPECT_EQ(e.last_error().number, 35);
}

TEST(EngineInterface, TypicalSyntaxErrorsHaveVBScriptNumbers) {
  struct Case {
    const char* text;
    int number;
    int line;
  };
  const Case cases[] = {
      {"x = \"open\n", 1033, 1},
      {"For i = 1 To 2\n", 1020, 2},
      {"Do\nx = 1\n", 1019, 3},
      {"Sub A()\nx = (1 + 2\nEnd Sub\n", 1006, 2},
      {"x = 1 +\n", 1023, 1},
      {"Exit For\n", 1039, 1},
      {"Sub A()\nEnd Sub\nSub A()\nEnd Sub\n", 1041, 3},
      {"x = 1 2\n", 1025, 1},
      {"Select Case x\nCase 1\n", 1021, 3},
      {"x = $\n", 1032, 1},
  };
  for (const Case& c : cases) {
    Engine e;
    EXPECT_FALSE(e.add_code(c.text)) << c.text;
    EXPECT_EQ(e.last_error().number, c.number) << c.text << " -> " << e.last_error().description;
    EXPECT_EQ(e.last_error().line, c.line) << c.text;
  }
}

TEST(EngineInterface, RuntimeErrorReportsLineInsideTheProcedureAndNotifies) {
  Engine e;
  Recorder rec(e);
  ASSERT_TRUE(e.add_code("' the hook\nSub Run(f)\n  Dim n\n  n = Len(f)\n  n = n / 0\nEnd Sub\n"));
  EXPECT_FALSE(e.run("Run", {"abc"}));
  const ScriptError& err = e.last_error();
  EXPECT_EQ(err.number, 11);
  EXPECT_EQ(err.description, "Division by zero");
  EXPECT_EQ(err.line, 5);
  EXPECT_EQ(err.line_text, "  n = n / 0");
  EXPECT_EQ(err.source, "VBScript runtime error");
  ASSERT_EQ(rec.errors.size(), 1u);
  EXPECT_TRUE(rec.timeouts.empty());
  e.clear_error();
  EXPECT_FALSE(e.has_error());
  EXPECT_EQ(e.last_error().number, 0);
}

TEST(EngineInterface, ErrorInTopLevelCodeFailsAddCodeButKeepsItsProcedures) {
  Engine e;
  EXPECT_FALSE(e.add_code("Function F()\n F = 7\nEnd Function\nx = CLng(\"no\")\n"));
  EXPECT_EQ(e.last_error().number, 13);
  EXPECT_EQ(e.last_error().line, 4);
  EXPECT_EQ(e.run("F", {}), "7");
}

TEST(EngineInterface, MissingProcedureAndWrongArgumentCountFail) {
  Engine e;
  ASSERT_TRUE(e.add_code("Sub Run(f)\nEnd Sub\n"));
  EXPECT_FALSE(e.run("Other", {}));
  EXPECT_EQ(e.last_error().number, 35);
  EXPECT_FALSE(e.run("Run", {}));
  EXPECT_EQ(e.last_error().number, 450);
}

TEST(EngineInterface, EndlessLoopIsStoppedAtTheTimeLimitWithTheTimeoutNotification) {
  Engine e;
  Recorder rec(e);
  e.set_timeout_ms(200);
  ASSERT_TRUE(
      e.add_code("Sub Run(f)\n On Error Resume Next\n Do\n  x = x + 1\n Loop\nEnd Sub\n"
                 "Sub Empty1()\n Do: Loop\nEnd Sub\n"));
  EXPECT_FALSE(e.run("Run", {"f"}));
  EXPECT_EQ(e.last_error().number, kTimeoutError);
  ASSERT_EQ(rec.timeouts.size(), 1u);
  EXPECT_EQ(rec.timeouts[0], 200);
  EXPECT_TRUE(rec.errors.empty());
  EXPECT_FALSE(e.run("Empty1", {}));
  EXPECT_EQ(rec.timeouts.size(), 2u);
}

TEST(EngineInterface, EndlessLoopInTopLevelCodeIsStoppedToo) {
  Engine e;
  Recorder rec(e);
  e.set_timeout_ms(100);
  EXPECT_FALSE(e.add_code("While True\nWend\n"));
  EXPECT_EQ(rec.timeouts.size(), 1u);
}

TEST(EngineInterface, EndlessRecursionEndsWithOutOfStackSpace) {
  Engine e;
  Limits limits;
  limits.max_call_depth = 100;
  e.set_limits(limits);
  ASSERT_TRUE(e.add_code("Function R(n)\n On Error Resume Next\n R = R(n + 1)\nEnd Function\n"));
  EXPECT_FALSE(e.run("R", {"1"}));
  EXPECT_EQ(e.last_error().number, 28);
  EXPECT_EQ(e.last_error().line, 3);
}

TEST(EngineInterface, DefaultRecursionBoundIsReachedWithoutExhaustingTheStack) {
  Engine e;
  ASSERT_TRUE(
      e.add_code("Function R(n)\n If n > 0 Then R = R(n - 1) + 1 Else R = 0\nEnd Function\n"));
  EXPECT_EQ(e.run("R", {"300"}), "300");
  EXPECT_FALSE(e.run("R", {"100000"}));
  EXPECT_EQ(e.last_error().number, 28);
}

TEST(EngineInterface, GrowingStringStopsAtTheStringBound) {
  Engine e;
  Limits limits;
  limits.max_string_length = 1 << 20;
  e.set_limits(limits);
  ASSERT_TRUE(
      e.add_code("Sub Run(f)\n On Error Resume Next\n s = \"x\"\n Do\n  s = s & s\n Loop\nEnd Sub\n"
                 "Function Big()\n Big = Len(Space(2000000))\nEnd Function\n"));
  EXPECT_FALSE(e.run("Run", {"f"}));
  EXPECT_EQ(e.last_error().number, 14);
  EXPECT_FALSE(e.run("Big", {}));
  EXPECT_EQ(e.last_error().number, 14);
}

TEST(EngineInterface, ManyStringsStopAtTheMemoryBound) {
  Engine e;
  Limits limits;
  limits.max_memory = 16u << 20;
  e.set_limits(limits);
  ASSERT_TRUE(
      e.add_code("Sub Run(f)\n On Error Resume Next\n ReDim a(100000)\n"
                 " For i = 0 To 100000\n  a(i) = Space(1000)\n Next\nEnd Sub\n"
                 "Sub Huge()\n ReDim a(100000000)\nEnd Sub\n"));
  EXPECT_FALSE(e.run("Run", {"f"}));
  EXPECT_EQ(e.last_error().number, 7);
  EXPECT_FALSE(e.run("Huge", {}));
  EXPECT_EQ(e.last_error().number, 7);
}

TEST(EngineInterface, DeeplyNestedArraysAndDictionariesAreReleasedWithoutExhaustingTheStack) {
  Engine e;
  ASSERT_TRUE(e.add_code("Function Nest()\n For i = 1 To 60000\n  a = Array(a, i)\n"
                         "  Set d2 = CreateObject(\"Scripting.Dictionary\")\n  d2.Add \"k\", d\n  Set d = d2\n"
                         " Next\n Nest = UBound(a)\nEnd Function\n"));
  e.set_timeout_ms(0);
  EXPECT_EQ(e.run("Nest", {}), "1");
}

TEST(EngineInterface, EachCallStartsWithoutTheLastError) {
  Engine e;
  ASSERT_TRUE(e.add_code("Function Ok()\n Ok = 1\nEnd Function\nSub Bad()\n x = 1 / 0\nEnd Sub\n"));
  EXPECT_FALSE(e.run("Bad", {}));
  EXPECT_TRUE(e.has_error());
  EXPECT_EQ(e.run("Ok", {}), "1");
  EXPECT_FALSE(e.has_error());
}

TEST(EngineInterface, DeeplyNestedExpressionIsASyntaxErrorNotACrash) {
  Engine e;
  std::string text = "x = " + std::string(5000, '(') + "1" + std::string(5000, ')') + "\n";
  EXPECT_FALSE(e.add_code(text));
  EXPECT_EQ(e.last_error().number, 1059);
  std::string blocks;
  for (int i = 0; i < 3000; ++i) blocks += "If 1 Then\n";
  EXPECT_FALSE(e.add_code(blocks));
}

}  // namespace
}  // namespace ralvek::vbscript
