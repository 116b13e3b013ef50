// WScript.Shell: word splitting, Run with and without waiting, the time limit on a waiting Run.
#include "shell.h"

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "script_fixture.h"

namespace ralvek::vbscript::testing {
namespace {

namespace fs = std::filesystem;

TEST(SplitCommand, BlanksSeparateAndQuotesGroup) {
  using V = std::vector<std::string>;
  EXPECT_EQ(split_command("cp  /a/b\t/c"), (V{"cp", "/a/b", "/c"}));
  EXPECT_EQ(split_command("echo \"two words\" 'single q' x\"y z\""),
            (V{"echo", "two words", "single q", "xy z"}));
  EXPECT_EQ(split_command("say \"a \\\"quoted\\\" word\""), (V{"say", "a \"quoted\" word"}));
  EXPECT_EQ(split_command("copy data\\x.kom \"\""), (V{"copy", "data\\x.kom", ""}));
  EXPECT_TRUE(split_command("   ").empty());
}

class ShellRun : public ScriptTest {
 protected:
  void SetUp() override {
    ScriptTest::SetUp();
    ASSERT_TRUE(engine.add_code("Set sh = CreateObject(\"WScript.Shell\")\n"));
  }
};

TEST_F(ShellRun, WaitingRunReturnsTheExitStatus) {
  EXPECT_EQ(run("P sh.Run(\"true\", 0, True)\nP sh.Run(\"sh -c 'exit 7'\", 0, True)\n"), "0|7|");
}

TEST_F(ShellRun, ArgumentsArriveAsOneWordEachWithoutAShell) {
  std::random_device rd;
  fs::path out = fs::temp_directory_path() / ("vbscript_shell_" + std::to_string(rd()));
  // `;` and `$HOME` reach the program as they are: no shell reads them.
  EXPECT_EQ(run("P sh.Run(\"touch \"\"" + out.string() + ";$HOME\"\"\", 0, True)\n"), "0|");
  EXPECT_TRUE(fs::exists(out.string() + ";$HOME"));
  fs::remove(out.string() + ";$HOME");
}

TEST_F(ShellRun, MissingProgramFailsWithTheSystemText) {
  std::string r = run("x = sh.Run(\"no-such-program-here\", 0, True)\n");
  EXPECT_EQ(
      r, "ERR -2147024894: The system cannot find the file specified. ('no-such-program-here') @1");
}

TEST_F(ShellRun, RunWithoutWaitingDoesNotWait) {
  // Waiting on `sleep 3` would pass the one-second limit and fail the call.
  engine.set_timeout_ms(1000);
  EXPECT_EQ(run("P sh.Run(\"sleep 3\")\nP sh.Run(\"sleep 3\", 1, False)\n"), "0|0|");
}

TEST_F(ShellRun, WaitingOnALongProgramIsBoundedByTheTimeLimit) {
  std::vector<long> timeouts;
  engine.on_timeout([&](long ms) { timeouts.push_back(ms); });
  engine.set_timeout_ms(300);
  ASSERT_TRUE(
      engine.add_code("Sub Run(f)\n On Error Resume Next\n x = sh.Run(\"sleep 30\", 0, True)\n P "
                      "\"after\"\nEnd Sub\n"));
  EXPECT_FALSE(engine.run("Run", {"f"}));
  EXPECT_EQ(engine.last_error().number, kTimeoutError);
  EXPECT_EQ(engine.last_error().line, 3);
  EXPECT_EQ(timeouts, std::vector<long>{300});
  EXPECT_EQ(call("Out"), "");
}

TEST_F(ShellRun, WaitingStillWaitsWhenTheHostIgnoresChildSignals) {
  struct sigaction ignore {}, old {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGCHLD, &ignore, &old);
  engine.set_timeout_ms(200);
  // The call must wait for `sleep 2` and so pass its limit.
  std::string r = run("x = sh.Run(\"sleep 2\", 0, True)\n");
  sigaction(SIGCHLD, &old, nullptr);
  EXPECT_EQ(engine.last_error().number, kTimeoutError) << r;
}

TEST_F(ShellRun, ExpandEnvironmentStrings) {
  setenv("VBSCRIPT_TEST_VAR", "value", 1);
  EXPECT_EQ(
      run("P sh.ExpandEnvironmentStrings(\"%VBSCRIPT_TEST_VAR%/x %NOT_SET_ANYWHERE% 100%\")\n"),
      "value/x %NOT_SET_ANYWHERE% 100%|");
}

}  // namespace
}  // namespace ralvek::vbscript::testing
