// Start, close, PutToConsole, the prompt's Enter path, history and function keys.
#include "console_core.h"

#include <fstream>

#include "console_fakes.h"

namespace ralvek::console {
namespace {

using StartTest = ConsoleFixture;

TEST_F(StartTest, BindsBothPortsPointsAtTheStoredBoxAndPrintsTheHeader) {
  store.values["KZUIP"] = "10.0.0.9";
  store.values["RecvIP"] = "10.0.0.8";
  Loaded();
  EXPECT_EQ(core.Caption(), "Ralvek Configuration Console  V1.0.0");
  EXPECT_EQ(client.remote_host, "10.0.0.9");
  EXPECT_EQ(client.remote_port, 26482);
  EXPECT_EQ(core.ReceiverIP(), "10.0.0.8");
  EXPECT_EQ(server.binds, std::vector<int>{2554});
  EXPECT_EQ(receive.binds, std::vector<int>{2552});
  EXPECT_EQ(core.View(ViewId::kLabelIncome0), "Message from ");
  EXPECT_EQ(core.View(ViewId::kLabelIncome1), "Ascii View ");
  EXPECT_EQ(NewLines(), (std::vector<std::string>{"Ralvek Configuration Console ", "on BOXHOST \t(192.0.2.7)", "",
                                                  "Send IP\t\t:10.0.0.9", "Send Port\t:26482", "Listen\t\t:2554",
                                                  "Listen\t\t:2552", "Listen IP\t:All"}));
}

TEST_F(StartTest, DefaultsWhenTheStoreIsEmpty) {
  Loaded();
  EXPECT_EQ(client.remote_host, "127.0.0.1");
  EXPECT_EQ(core.ReceiverIP(), "127.0.0.1");
}

TEST_F(StartTest, PortThatCannotBeBoundIsReportedAndTheRestRuns) {
  server.fail_bind = true;
  Loaded();
  const auto lines = NewLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Error:Address in use");
  EXPECT_EQ(lines[1], "Procedure: Load");
  EXPECT_EQ(receive.state, 1);
  EXPECT_EQ(lines.back(), "Listen IP\t:All");
  EXPECT_TRUE(Run("hex 1"));
}

TEST_F(StartTest, CloseDeletesTheTemporaryFileAndClosesTwoSockets) {
  Loaded();
  std::ofstream(core.TempFile()) << "x";
  core.Unload();
  EXPECT_FALSE(std::filesystem::exists(core.TempFile()));
  EXPECT_EQ(server.state, 0);
  EXPECT_EQ(receive.state, 1);
  core.Unload();  // nothing left to delete: still quiet
}

using PutToConsoleTest = ConsoleFixture;

TEST_F(PutToConsoleTest, EachMessageIsOneLineWithEscapesExpanded) {
  core.PutToConsole({"a\\nb", "C:\\Temp", ""});
  EXPECT_EQ(core.TextConsole(), "a\r\nb\r\nC:\temp\r\n\r\n");
  EXPECT_EQ(view.appended, core.TextConsole());
}

TEST_F(PutToConsoleTest, ConsoleOverFiftyThousandIsCut) {
  core.PutToConsole({std::string(49998, 'a')});  // 50000 with CR LF
  EXPECT_EQ(core.TextConsole().size(), 50000u);
  EXPECT_EQ(view.replaced, 0);
  core.PutToConsole({std::string()});  // 50002
  EXPECT_EQ(core.TextConsole().size(), 50002u - 44999u);
  EXPECT_EQ(view.replaced, 1);
}

using PromptTest = ConsoleFixture;

TEST_F(PromptTest, EmptyPromptClearsTheViewsAndRunsNothing) {
  Loaded();
  core.WSReceive_DataArrival("abcdef", "10.0.0.2");
  const auto text = core.TextConsole();
  EXPECT_EQ(core.PromptEnter(""), "");
  EXPECT_EQ(core.View(ViewId::kTextMsg2), "");
  EXPECT_EQ(core.View(ViewId::kTextAsc), "");
  EXPECT_EQ(core.TextConsole(), text);
  EXPECT_TRUE(core.CommandHistory()[0].empty());
}

TEST_F(PromptTest, RefusedLineStaysAndIsNotRemembered) {
  Loaded();
  EXPECT_EQ(core.PromptEnter("setperiod 4"), "setperiod 4");
  EXPECT_TRUE(core.CommandHistory()[0].empty());
  EXPECT_EQ(core.PromptEnter("hex 1"), "");
  EXPECT_EQ(core.CommandHistory()[0], "hex 1");
}

TEST_F(PromptTest, HistoryKeepsTheLastTenNewestFirstAndWraps) {
  Loaded();
  for (int i = 1; i <= 11; ++i) core.PromptEnter("hex " + std::to_string(i));
  EXPECT_EQ(core.CommandHistory()[0], "hex 11");
  EXPECT_EQ(core.CommandHistory()[9], "hex 2");
  for (int i = 11; i >= 2; --i) EXPECT_EQ(core.HistoryUp(), "hex " + std::to_string(i));
  EXPECT_EQ(core.HistoryUp(), "hex 11");
}

TEST_F(PromptTest, HistoryUpWrapsAtTheFirstEmptyEntry) {
  Loaded();
  core.PromptEnter("hex 1");
  core.PromptEnter("hex 2");
  EXPECT_EQ(core.HistoryUp(), "hex 2");
  EXPECT_EQ(core.HistoryUp(), "hex 1");
  EXPECT_EQ(core.HistoryUp(), "hex 2");
  core.PromptEnter("hex 3");  // an accepted line starts again at the newest
  EXPECT_EQ(core.HistoryUp(), "hex 3");
}

TEST_F(PromptTest, FunctionKeysCarryTheCurrentSettings) {
  Loaded();
  EXPECT_EQ(core.FunctionKeyTemplate(FunctionKey::kF1, false), "Dump");
  EXPECT_EQ(core.FunctionKeyTemplate(FunctionKey::kF2, false), "SetIP 0.0.0.0");
  EXPECT_EQ(core.FunctionKeyTemplate(FunctionKey::kF4, false),
            "SetSendParams FF-FF-FF-FF-FF-FF 255.255.255.255 2552");
  EXPECT_EQ(core.FunctionKeyTemplate(FunctionKey::kF8, false), "SetBaud 1200");
  EXPECT_EQ(core.FunctionKeyTemplate(FunctionKey::kF11, false), "Send 01-FE-03-00-01-01-FE-15-FF-00-00-00");
  EXPECT_EQ(core.FunctionKeyTemplate(FunctionKey::kF12, false), "Ack 0");
  EXPECT_EQ(core.FunctionKeyTemplate(FunctionKey::kF1, true), "SetResetInterval 0");
  EXPECT_EQ(core.FunctionKeyTemplate(FunctionKey::kF2, true), std::nullopt);
}

TEST_F(PromptTest, TemplatesFollowADecodedSettingsAnswer) {
  Loaded();
  std::string answer(34, '\0');
  answer[7] = 40;
  answer[9] = 3;
  answer[10] = 0x0A;
  answer[16] = 50;
  answer[17] = 7;
  core.WSReceive_DataArrival(answer, "10.0.0.2");
  EXPECT_EQ(core.FunctionKeyTemplate(FunctionKey::kF2, false), "SetIP 10.0.0.2");
  EXPECT_EQ(core.FunctionKeyTemplate(FunctionKey::kF5, false), "SetPeriod 50");
  EXPECT_EQ(core.FunctionKeyTemplate(FunctionKey::kF6, false), "SetLen 40");
  EXPECT_EQ(core.FunctionKeyTemplate(FunctionKey::kF7, false), "SetSiteID 10");
  EXPECT_EQ(core.FunctionKeyTemplate(FunctionKey::kF8, false), "SetBaud 9600");
  EXPECT_EQ(core.FunctionKeyTemplate(FunctionKey::kF1, true), "SetResetInterval 7");
  // A template is a line the interpreter accepts.
  EXPECT_EQ(core.PromptEnter(*core.FunctionKeyTemplate(FunctionKey::kF5, false)), "");
}

}  // namespace
}  // namespace ralvek::console
