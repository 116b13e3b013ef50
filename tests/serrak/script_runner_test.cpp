// ralvek-script runs serrak's user script on files given by hand and reports like serrak.
#include <gtest/gtest.h>

#include <chrono>

#include "e2e.h"

namespace ralvek::e2e {
namespace {

namespace fs = std::filesystem;

class ScriptRunner : public ::testing::Test {
 protected:
  struct Result {
    int status = -1;
    std::string out, err;
  };
  Result run_script(const std::vector<std::string>& args) {
    std::vector<std::string> argv{RALVEK_SCRIPT_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    Process p(argv, {}, dir_.path() / "output");
    std::optional<int> status = p.wait(10s);
    EXPECT_TRUE(status.has_value());
    return {status.value_or(-1), p.out(), p.err()};
  }
  void SetUp() override { fs::create_directories(dir_.path() / "output"); }

  TempDir dir_;
};

TEST_F(ScriptRunner, ExampleScriptWritesTheSummaryOfEachKomFileAndAMissingFileFails) {
  fs::create_directories(dir_ / "data");
  fs::path kom = dir_ / "data/12_20261206053100.kom";
  write_file(kom, "0001 call\r\n0002 call\r\n0003 call\r\n");
  fs::path missing = dir_ / "data/12_20261206053146.kom";

  Result r = run_script({EXAMPLE_SCRIPT, kom.string(), missing.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(read_file(dir_ / "summary.txt"), "12_20261206053100.kom 33 bytes 3 lines\r\n");
  EXPECT_EQ(r.out, kom.string() + ": ok\n" + missing.string() + ": failed\n");
  // The error as serrak logs it: description, line text, line number, source.
  std::string report = "Script Error\nDescription: File not found: '";
  report += missing.string();
  report +=
      "'\nCode:   Set f = fso.OpenTextFile(path, 1)\nLine: 7\nSource :VBScript runtime error\n";
  EXPECT_NE(r.err.find(report), std::string::npos) << r.err;

  // Only the good file: success.
  EXPECT_EQ(run_script({EXAMPLE_SCRIPT, kom.string()}).status, 0);
}

TEST_F(ScriptRunner, ScriptWithASyntaxErrorDoesNotLoadAndRunsNothing) {
  // A folder is searched as serrak searches its program folder: serrak.vbs first.
  write_file(dir_ / "serrak.vbs", "Sub Run(path)\n  If path = \"\"\n  End If\nEnd Sub\n");
  write_file(dir_ / "serrak.vbe", "Sub Run(path)\nEnd Sub\n");
  Result r = run_script({dir_.path().string(), "a.kom"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(
      r.err.find("Script Error\nDescription: Expected 'Then'\nCode:   If path = \"\"\nLine: 2\n"
                 "Source :VBScript compilation error\n"),
      std::string::npos)
      << r.err;
}

TEST_F(ScriptRunner, EndlessLoopEndsAtTheGivenTimeLimitForEachFile) {
  write_file(dir_ / "loop.vbs", "Sub Run(path)\n  Do\n  Loop\nEnd Sub\n");
  auto start = std::chrono::steady_clock::now();
  Result r = run_script({"--timeout", "200", (dir_ / "loop.vbs").string(), "a.kom", "b.kom"});
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "a.kom: failed\nb.kom: failed\n");
  EXPECT_NE(r.err.find("Script Timeout\n(200 miliseconds)\na.kom: Run failed"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("Script Timeout\n(200 miliseconds)\nb.kom: Run failed"), std::string::npos)
      << r.err;
}

TEST_F(ScriptRunner, HelpAndVersionGoToStandardOutputAndABadArgumentIsStatusTwo) {
  Result help = run_script({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: ralvek-script", 0), 0u) << help.out;
  Result version = run_script({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("ralvek-script ", 0), 0u);
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--timeout", "soon", "x.vbs"}, {"--fast", "x.vbs"}, {}}) {
    Result r = run_script(bad);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("usage: ralvek-script"), std::string::npos);
  }
}

}  // namespace
}  // namespace ralvek::e2e
