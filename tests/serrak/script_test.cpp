// The user script sees each finished file before its rename; its failures never stop collection.
#include <csignal>

#include "serrak_fixture.h"

namespace ralvek::e2e {
namespace {

class Script : public SerrakTest {
 protected:
  void write_script(const std::string& body) { write_file(home_ / "serrak.vbs", body); }
  // Waits until a .kom file holds `bytes` bytes.
  bool wait_kom_size(std::size_t bytes) {
    return wait_until([&] {
      for (const auto& name : files_with_ext(data(), "kom")) {
        if (read_file(data() / name).size() == bytes) return true;
      }
      return false;
    });
  }
};

// Appends "<file name> <length>" of every file it is given to runs.txt in the program folder.
const char* kSummaryScript =
    "Sub Run(path)\n"
    "  Dim fso, f, t\n"
    "  Set fso = CreateObject(\"Scripting.FileSystemObject\")\n"
    "  Set f = fso.OpenTextFile(path, 1)\n"
    "  t = f.ReadAll\n"
    "  f.Close\n"
    "  Set f = fso.OpenTextFile(fso.GetParentFolderName(fso.GetParentFolderName(path)) & \"/runs.txt\", 8, True)\n"
    "  f.WriteLine fso.GetFileName(path) & \" \" & Len(t)\n"
    "  f.Close\n"
    "End Sub\n";

TEST_F(Script, SeesEveryNonEmptyFileBeforeItsRename) {
  write_script(kSummaryScript);
  std::string path;
  auto line = start_line({"--count", "300", "--rate", "150", "--split", "random", "--linger", "20000"}, path);
  write_ini_for(path, 120);
  auto serrak = start_debug();
  EXPECT_NE(settings_report().find("Script File: " + (home_ / "serrak.vbs").string()), std::string::npos);
  ASSERT_TRUE(wait_until([&] { return collected_bytes() == 300 * 120; }, 20s))
      << collected_bytes() << " bytes\n" << all_events() << line->err();
  stop(*serrak);
  EXPECT_EQ(check("serial1", 300), 0);
  std::string expected;
  for (const auto& name : files_with_ext(data(), "dat")) {
    expected += name.substr(0, name.size() - 3) + "kom " +
                std::to_string(std::filesystem::file_size(data() / name)) + "\r\n";
  }
  EXPECT_FALSE(expected.empty());
  EXPECT_EQ(read_file(home_ / "runs.txt"), expected);
}

TEST_F(Script, SyntaxErrorFailsTheStart) {
  write_script("Sub Run(path)\n  If path Then\nEnd Sub\n");
  TestLine line;
  write_ini_for(line.path(), 1000);
  auto serrak = start_debug();
  ASSERT_TRUE(wait_event_prefix(109, "")) << all_events();
  std::string text;
  for (const auto& e : events()) {
    if (e.id == 109) text = e.text;
  }
  EXPECT_NE(text.find("\r\nProcedure: oSVC_Start"), std::string::npos) << text;
  EXPECT_TRUE(settings_report().empty());
  EXPECT_TRUE(serrak->running());  // by hand the program stays up whatever the start's outcome
  stop(*serrak);
}

TEST_F(Script, FailingRunLeavesTheFileKomUntilTheNextStart) {
  write_script("Sub Run(path)\n  Dim x\n  x = 1 / 0\nEnd Sub\n");
  TestLine line;
  write_ini_for(line.path(), 1000);
  auto serrak = start_debug();
  line.write("A\r");
  ASSERT_TRUE(wait_kom_size(3));
  stop(*serrak);
  EXPECT_TRUE(has_event(event_log(), 2, 108,
                        "Script Error\r\nDescription: Division by zero\r\nCode:   x = 1 / 0\r\nLine: 3\r\n"
                        "Source :VBScript runtime error"))
      << all_events();
  EXPECT_TRUE(has_event(event_log(), 1, 109, "Division by zero\r\nProcedure: RenameCurrentFile")) << all_events();
  ASSERT_EQ(files_with_ext(data(), "kom").size(), 1u);
  EXPECT_TRUE(files_with_ext(data(), "dat").empty());

  auto again = start_debug();
  EXPECT_EQ(files_with_ext(data(), "dat").size(), 1u);
  stop(*again);
}

TEST_F(Script, RunThatNeverReturnsTimesOutAndCollectionGoesOn) {
  write_script("Sub Run(path)\n  Do\n  Loop\nEnd Sub\n");
  TestLine line;
  write_ini_for(line.path(), 100);  // 30000 ms limit / 100 = 0.3 s per call
  auto serrak = start_debug();
  line.write("first\r");
  ASSERT_TRUE(wait_event(2, 108, "Script Timeout\r\n(30000 miliseconds)", 15s)) << all_events();
  line.write("second\r");
  ASSERT_TRUE(wait_until([&] {
    for (const auto& name : files_with_ext(data(), "kom")) {
      if (read_file(data() / name) == "second\r\n") return true;
    }
    return false;
  }));
  stop(*serrak);
  EXPECT_TRUE(files_with_ext(data(), "dat").empty());
  EXPECT_EQ(files_with_ext(data(), "kom").size(), 2u);
}

TEST_F(Script, ScriptThatDeletesItsFileLeavesNothingBehind) {
  write_script(
      "Sub Run(path)\n"
      "  CreateObject(\"Scripting.FileSystemObject\").DeleteFile path\n"
      "End Sub\n");
  TestLine line;
  write_ini_for(line.path(), 1000);
  auto serrak = start_debug();
  line.write("gone\r");
  ASSERT_TRUE(wait_kom_size(6));
  stop(*serrak);
  EXPECT_TRUE(files_with_ext(data(), "dat").empty());
  EXPECT_TRUE(files_with_ext(data(), "kom").empty());
  for (const auto& e : events()) EXPECT_NE(e.type, 1) << e.text;
}

}  // namespace
}  // namespace ralvek::e2e
