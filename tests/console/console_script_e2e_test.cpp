// The terminal front end as a script and a log see it: output in command order, one block per
// datagram, the end of a script, its exit status, the command line and a dead display.
#include "console_fixture.h"

namespace ralvek::console_e2e {
namespace {

// Offsets of each text in out, searched one after the other; npos marks a text not found in order.
std::vector<std::size_t> InOrder(const std::string& out, const std::vector<std::string>& texts) {
  std::vector<std::size_t> at;
  std::size_t from = 0;
  for (const auto& text : texts) {
    const std::size_t pos = from == std::string::npos ? std::string::npos : out.find(text, from);
    at.push_back(pos);
    from = pos == std::string::npos ? pos : pos + text.size();
  }
  return at;
}

TEST_F(ConsoleTest, PipedCommandsPrintWhatEachCausesBeforeTheNext) {
  StartBox({"--records", "1", "--period", "255"});  // no data packet within the test
  const auto console = RunPipe("use 127.0.0.2\\ndump\\nack 5\\nsetperiod 4\\nhex 7\\nhelp\\n", Environment());
  EXPECT_EQ(console->WaitExit(8000), 0);
  const std::string& out = console->Out();
  for (const std::size_t at : InOrder(out, {"Current IP: 127.0.0.2\n", "Dump...\n", "Ack sent to packet: 5\n",
                                            "[hint] F12: Ack 5\n", "Period must be between 5 and 255\n",
                                            "00000007h\n", "F12- Ack (PacketID)\n"})) {
    EXPECT_NE(at, std::string::npos) << out;
  }
  // The answer to dump is traffic: one block, printed when it came; the captions dump reset are not.
  EXPECT_EQ(Count(out, "[traffic]\n== Settings packet ==\nMessage from "), 1u) << out;
  EXPECT_EQ(Count(out, "[traffic]"), Count(out, "[end traffic]\n"));
  EXPECT_EQ(out.find("== Message from  =="), std::string::npos) << out;
}

TEST_F(ConsoleTest, TenDataPacketsSentBackToBackGiveTenBlocks) {
  StartConsole();
  StartBox({"--records", "10", "--burst", "10", "--period", "5"});
  box_->WaitFor("data packet 10 sent");
  box_->Terminate();  // every packet the box sent is in its log before it ends
  ASSERT_EQ(box_->WaitExit(), 0);
  const std::size_t sent = Count(box_->Out(), "box: data packet ");
  ASSERT_GE(sent, 10u);
  for (int waited = 0; waited < 3000 && Count(console_->Out(), "[end traffic]\n") < sent; waited += 50) {
    console_->Pump(50);
  }
  console_->Pump(200);
  const std::string& out = console_->Out();
  EXPECT_EQ(Count(out, "[traffic]\n== Message from (127.0.0.2: 2552 "), sent);
  EXPECT_EQ(Count(out, "[end traffic]\n"), sent);
  std::vector<std::string> burst;
  for (int id = 1; id <= 10; ++id) burst.push_back("(CALL 000" + std::string(id < 10 ? "0" : "") + std::to_string(id));
  for (const std::size_t at : InOrder(out, burst)) EXPECT_NE(at, std::string::npos) << out;
  EXPECT_NE(out.find("[hint] F12: Ack 10\n"), std::string::npos);
}

TEST_F(ConsoleTest, EchoDumpPrintsTheSettingsAndTheLastCommandDecidesTheStatus) {
  UseBoxAddress();
  StartBox();
  const auto dump = RunPipe("dump\\n", Environment());
  EXPECT_EQ(dump->WaitExit(8000), 0);
  EXPECT_NE(dump->Out().find("DefaultIP\t127.0.0.2\n"), std::string::npos) << dump->Out();
  EXPECT_NE(dump->Out().find("[traffic]\n== Settings packet =="), std::string::npos);

  EXPECT_EQ(RunPipe("hex 1\\nsetperiod 4\\n", Environment())->WaitExit(8000), 1);
  EXPECT_EQ(RunPipe("frobnicate\\nhex 1\\n", Environment())->WaitExit(8000), 0);
}

TEST_F(ConsoleTest, ADeadDisplayLeadsToTheTerminalWithOneLineSayingWhy) {
  QProcessEnvironment env = Environment();
  env.insert("DISPLAY", ":99");
  env.insert("WAYLAND_DISPLAY", "wayland-gone");
  env.insert("XDG_RUNTIME_DIR", dir_.path());
  console_ = std::make_unique<Program>(CONSOLE_EXE, QStringList{}, env);
  console_->WaitFor("Listen IP\t:All\n");
  Command("hex 255", "000000FFh\n");
  console_->CloseInput();
  EXPECT_EQ(console_->WaitExit(), 0);
#ifdef CONSOLE_WINDOW_BUILT
  const std::string err = console_->Err();
  EXPECT_EQ(Count(err, "\n"), 1u) << err;
  EXPECT_EQ(err.rfind("ralvek-console: no display can be reached (DISPLAY=:99: ", 0), 0u) << err;
  EXPECT_NE(err.find("WAYLAND_DISPLAY=wayland-gone: "), std::string::npos) << err;
#endif
}

TEST_F(ConsoleTest, HelpVersionAndAnUnknownArgument) {
  Program help(CONSOLE_EXE, {"--help"}, Environment());
  EXPECT_EQ(help.WaitExit(), 0);
  EXPECT_EQ(help.Out().rfind("Usage: ralvek-console [--help | --version]\n", 0), 0u);
  Program version(CONSOLE_EXE, {"--version"}, Environment());
  EXPECT_EQ(version.WaitExit(), 0);
  EXPECT_EQ(version.Out().rfind("ralvek-console 1.", 0), 0u);
  Program unknown(CONSOLE_EXE, {"-platform"}, Environment());
  EXPECT_EQ(unknown.WaitExit(), 2);
  EXPECT_EQ(unknown.Out(), "");  // it did not start
  EXPECT_NE(unknown.Err().find("unknown argument: -platform\nUsage: ralvek-console"), std::string::npos);
}

}  // namespace
}  // namespace ralvek::console_e2e
