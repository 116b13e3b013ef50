#include <fstream>

#include "console_fakes.h"
#include "control_packet.h"
#include "kzu_config.h"

namespace ralvek::console {
namespace {

class InterpreterTest : public ConsoleFixture {
 protected:
  void SetUp() override {
    store.values["KZUIP"] = "10.0.0.9";
    Loaded();
    NewLines();
  }
  std::string LastSentHex() const { return client.sent.empty() ? "<none>" : StrToHex(client.sent.back().bytes); }
  std::vector<std::string> Lines(std::initializer_list<const char*> lines) { return {lines.begin(), lines.end()}; }
};

TEST_F(InterpreterTest, UnknownWordIsRefused) {
  EXPECT_FALSE(Run("frobnicate"));
  EXPECT_EQ(NewLines(), Lines({"Invalid Command"}));
}

TEST_F(InterpreterTest, BlankLineTakesTheErrorPath) {
  EXPECT_TRUE(Run("   "));
  EXPECT_EQ(NewLines(), Lines({"Error:Subscript out of range", ""}));
}

TEST_F(InterpreterTest, WordsAreCaseInsensitiveAndTrimmed) {
  EXPECT_TRUE(Run("  SETIP 10.0.0.5  "));
  EXPECT_EQ(client.sent.back().host, "10.0.0.9");  // the old address gets the packet
  EXPECT_EQ(LastSentHex(), "04 FB 04 00 0A 00 00 05 01 FE 03 00 A1 01 FE 15 FF 00 00 00");
  EXPECT_EQ(client.remote_host, "10.0.0.5");
  EXPECT_EQ(store.values["KZUIP"], "10.0.0.5");
  EXPECT_EQ(NewLines(), Lines({"Current IP: 10.0.0.5"}));
}

TEST_F(InterpreterTest, DoubleSpaceGivesAnEmptyArgument) {
  EXPECT_FALSE(Run("setip  10.0.0.5"));
  EXPECT_EQ(NewLines(), Lines({"Please Check Argument: "}));
  EXPECT_TRUE(client.sent.empty());
}

TEST_F(InterpreterTest, SetIpWithoutArgumentTakesTheErrorPath) {
  EXPECT_TRUE(Run("setip"));
  EXPECT_EQ(NewLines(), Lines({"Error:Subscript out of range", ""}));
  EXPECT_EQ(client.remote_host, "10.0.0.9");
}

TEST_F(InterpreterTest, PeriodBounds) {
  EXPECT_TRUE(Run("setperiod 5"));
  EXPECT_TRUE(Run("setperiod 255"));
  EXPECT_EQ(LastSentHex(), "01 FE 04 00 FF 01 FE 03 00 88 01 FE 15 FF 00 00 00");
  EXPECT_EQ(NewLines(), Lines({"Period: 255"}));
  for (const char* bad : {"setperiod 4", "setperiod 256", "setperiod abc"}) {
    EXPECT_FALSE(Run(bad)) << bad;
    EXPECT_EQ(NewLines(), Lines({"Period must be between 5 and 255"}));
  }
  EXPECT_EQ(client.sent.size(), 2u);
}

TEST_F(InterpreterTest, ValueThatOnlyBeginsWithANumberIsNotConfirmed) {
  EXPECT_TRUE(Run("setperiod 50abc"));
  EXPECT_TRUE(client.sent.empty());
  EXPECT_EQ(NewLines(), Lines({"Error: Type mismatch"}));
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].first, "KZUConfig->MakeHex");
}

TEST_F(InterpreterTest, ResetIntervalAndLengthBounds) {
  EXPECT_TRUE(Run("setresetinterval 0"));
  EXPECT_EQ(NewLines(), Lines({"Reset Interval: 0"}));
  EXPECT_FALSE(Run("setresetinterval 256"));
  EXPECT_EQ(NewLines(), Lines({"Reset Interval must be between 0 and 255"}));
  EXPECT_TRUE(Run("setlen 180"));
  EXPECT_EQ(NewLines(), Lines({"Entry Lenght: 180"}));
  EXPECT_FALSE(Run("setlen 181"));
  EXPECT_EQ(NewLines(), Lines({"Entry Lenght must be between 5 and 180"}));
}

TEST_F(InterpreterTest, BaudRates) {
  EXPECT_TRUE(Run("setbaud 9600"));
  EXPECT_EQ(LastSentHex(), "01 FE 04 00 03 01 FE 03 00 85 01 FE 15 FF 00 00 00");
  EXPECT_EQ(NewLines(), Lines({"Baud: 9600"}));
  EXPECT_FALSE(Run("setbaud 3000"));
  EXPECT_EQ(NewLines(), Lines({"invalid baud-rate"}));
  EXPECT_FALSE(Run("setbaud 38400"));
  EXPECT_EQ(NewLines(), Lines({"Baud-rate must be between 1200 and 19200"}));
  EXPECT_EQ(client.sent.size(), 1u);
}

TEST_F(InterpreterTest, SiteIdThatIsNegativeOrNotANumberDoesNothing) {
  EXPECT_TRUE(Run("setsiteid -1"));
  EXPECT_TRUE(Run("setsiteid abc"));
  EXPECT_TRUE(client.sent.empty());
  EXPECT_TRUE(NewLines().empty());
  EXPECT_TRUE(Run("setsiteid 1000"));
  EXPECT_EQ(LastSentHex(), "02 FD 04 00 E8 03 01 FE 03 00 84 01 FE 15 FF 00 00 00");
  EXPECT_EQ(NewLines(), Lines({"SiteID: 1000"}));
}

TEST_F(InterpreterTest, AckBuildsAndSendsTheAcknowledgement) {
  EXPECT_TRUE(Run("ack 258"));
  EXPECT_EQ(LastSentHex(), "02 FD 01 00 02 01 01 FE 00 00 AA 01 FE 15 FF 00 00 00");
  EXPECT_EQ(core.PacketID(), 258);
  EXPECT_EQ(core.AckPacket(), client.sent.back().bytes);
  EXPECT_EQ(NewLines(), Lines({"Ack sent to packet: 258"}));
  EXPECT_TRUE(Run("ack 65537"));
  EXPECT_EQ(LastSentHex().substr(12, 5), "01 00");
  EXPECT_TRUE(Run("ack x"));
  EXPECT_EQ(client.sent.size(), 2u);
}

TEST_F(InterpreterTest, AckOutsideTheNumberRangeTakesTheErrorPath) {
  EXPECT_TRUE(Run("ack 1e12"));
  EXPECT_TRUE(client.sent.empty());
  EXPECT_EQ(NewLines(), Lines({"Error:Overflow", ""}));
}

TEST_F(InterpreterTest, SwitchesOnAndOff) {
  EXPECT_TRUE(Run("setudp ON"));
  EXPECT_EQ(LastSentHex(), "01 FE 03 00 86 01 FE 15 FF 00 00 00");
  EXPECT_TRUE(Run("setcom off"));
  EXPECT_EQ(LastSentHex(), "01 FE 03 00 8A 01 FE 15 FF 00 00 00");
  EXPECT_TRUE(Run("setcom maybe"));
  EXPECT_EQ(client.sent.size(), 2u);
}

TEST_F(InterpreterTest, SendConvertsDashedHexAndPrintsNothing) {
  EXPECT_TRUE(Run("send 01-fe-03-00-01-01-fe-15-ff-00-00-00"));
  EXPECT_EQ(LastSentHex(), "01 FE 03 00 01 01 FE 15 FF 00 00 00");
  EXPECT_TRUE(NewLines().empty());
  EXPECT_TRUE(Run("send 01-zz-02"));
  EXPECT_EQ(LastSentHex(), "01 02");
  EXPECT_EQ(view.boxes.size(), 1u);
}

TEST_F(InterpreterTest, SendParams) {
  EXPECT_TRUE(Run("setsendparams 00-11-22-33-44-55 10.0.0.2 2552"));
  EXPECT_EQ(LastSentHex(), "0C F3 04 00 00 11 22 33 44 55 0A 00 00 02 F8 09 01 FE 03 00 A2 01 FE 15 FF 00 00 00");
  EXPECT_EQ(NewLines(), Lines({"SendParams: ", "SendMAC: 00-11-22-33-44-55", "SendIP: 10.0.0.2", "SendPort: 2552"}));
  EXPECT_FALSE(Run("setsendparams 00-11-22-33-44-55 10.0.0 2552"));
  EXPECT_EQ(NewLines(), Lines({"Please Check Argument: 10.0.0"}));
  EXPECT_TRUE(Run("setsendparams 00-11-22 10.0.0.2 2552"));
  EXPECT_EQ(NewLines(), Lines({"Error: Invalid MAC Address"}));
  EXPECT_TRUE(Run("setsendparams 00-11-22-33-44-55 10.0.0.2"));
  EXPECT_EQ(NewLines(), Lines({"Error:Subscript out of range", ""}));
  EXPECT_EQ(client.sent.size(), 1u);
}

TEST_F(InterpreterTest, DumpClearsTheRecordAndAsks) {
  core.WSReceive_DataArrival(std::string(34, '\x01'), "10.0.0.9");
  NewLines();
  EXPECT_TRUE(Run("dump"));
  EXPECT_EQ(core.CurrentKZUSettings(), KZUSettings{});
  EXPECT_EQ(LastSentHex(), "01 FE 03 00 01 01 FE 15 FF 00 00 00");
  EXPECT_EQ(core.View(ViewId::kLabelIncome1), "Message from ");
  EXPECT_EQ(NewLines(), Lines({"Dump...", ""}));
}

TEST_F(InterpreterTest, UseChangesTheBoxAddressAndOpensThePortWhenClosed) {
  server.state = 0;
  EXPECT_TRUE(Run("use 10.0.0.3"));
  EXPECT_EQ(client.remote_host, "10.0.0.3");
  EXPECT_EQ(store.values["KZUIP"], "10.0.0.3");
  EXPECT_EQ(NewLines(), Lines({"Current IP: 10.0.0.3", "Port Open (2554)"}));
  EXPECT_TRUE(client.sent.empty());
}

TEST_F(InterpreterTest, UseWithoutArgumentReprintsTheAddress) {
  EXPECT_TRUE(Run("use"));
  EXPECT_EQ(NewLines(), Lines({"Current IP: 10.0.0.9"}));
  EXPECT_FALSE(Run("use 300.1.1.1"));
  EXPECT_EQ(NewLines(), Lines({"Please Check Argument: 300.1.1.1"}));
}

TEST_F(InterpreterTest, UseReportsABindFailureInsteadOfClaimingThePortOpen) {
  server.state = 0;
  server.fail_bind = true;
  EXPECT_TRUE(Run("use 10.0.0.3"));
  EXPECT_EQ(NewLines(), Lines({"Current IP: 10.0.0.3", "Error:Address in use"}));
}

TEST_F(InterpreterTest, HexAndDec) {
  EXPECT_TRUE(Run("hex 255"));
  EXPECT_EQ(NewLines(), Lines({"255\t = \t000000FFh"}));
  EXPECT_TRUE(Run("hex x"));
  EXPECT_EQ(NewLines(), Lines({"x\t = \t-1h"}));
  EXPECT_TRUE(Run("dec ff"));
  EXPECT_EQ(NewLines(), Lines({"FFh\t = \t255"}));
  EXPECT_TRUE(Run("dec xyz"));
  EXPECT_EQ(NewLines(), Lines({"XYZh\t = \t-1"}));
  EXPECT_TRUE(Run("hex"));
  EXPECT_EQ(NewLines(), Lines({"Error:Subscript out of range", ""}));
}

TEST_F(InterpreterTest, HelpClearsAndListsTheCommands) {
  EXPECT_TRUE(Run("?"));
  const auto lines = NewLines();
  ASSERT_EQ(lines.size(), 22u);
  EXPECT_EQ(lines[0], "Ralvek Configuration Console ");
  EXPECT_EQ(lines[2], "Commands:");
  EXPECT_EQ(lines[7], "F5 - SetPeriod (Period in milisecond)");
  EXPECT_EQ(lines[21], "Quit");
  EXPECT_EQ(core.TextConsole().substr(0, 29), "Ralvek Configuration Console ");
}

TEST_F(InterpreterTest, OnlySetsTheFilterAndRedrawsTheHeader) {
  EXPECT_TRUE(Run("only 10.0.0.2"));
  EXPECT_EQ(core.ListenIP(), "10.0.0.2");
  EXPECT_EQ(NewLines().back(), "Listen IP\t:10.0.0.2");
  EXPECT_FALSE(Run("only nonsense"));
  EXPECT_EQ(core.ListenIP(), "10.0.0.2");
  EXPECT_TRUE(Run("only"));
  EXPECT_EQ(core.ListenIP(), "");
  EXPECT_EQ(NewLines().back(), "Listen IP\t:All");
}

TEST_F(InterpreterTest, ClsClearsConsoleAndViews) {
  core.WSReceive_DataArrival("abcdef", "10.0.0.2");
  EXPECT_TRUE(Run("cls"));
  EXPECT_EQ(core.View(ViewId::kTextAsc), "");
  EXPECT_EQ(core.View(ViewId::kTextMsg2), "");
  EXPECT_EQ(core.TextConsole().substr(0, 29), "Ralvek Configuration Console ");
}

TEST_F(InterpreterTest, QuitClosesAndEndsTheProgram) {
  for (const char* word : {"exit", "quit", "bye", "end"}) {
    system.ended = 0;
    server.state = 1;
    EXPECT_TRUE(Run(word));
    EXPECT_EQ(system.ended, 1) << word;
    EXPECT_EQ(server.state, 0);
  }
}

TEST_F(InterpreterTest, SendPortNeedsExactlyOneNumber) {
  EXPECT_TRUE(Run("sendport 3000"));
  EXPECT_EQ(client.remote_port, 3000);
  EXPECT_EQ(NewLines(), Lines({"Send Port: 3000"}));
  EXPECT_FALSE(Run("sendport"));
  EXPECT_FALSE(core.Console("sendport 1 2"));
  EXPECT_EQ(NewLines(), Lines({"Type a port number", "Type a port number"}));
  EXPECT_FALSE(Run("sendport x"));
  EXPECT_EQ(NewLines(), Lines({"Please Check Argument: x"}));
  EXPECT_TRUE(Run("sendport 70000"));
  EXPECT_EQ(client.remote_port, 3000);
  EXPECT_EQ(NewLines(), Lines({"Error:Invalid argument", ""}));
}

TEST_F(InterpreterTest, ChkrecvProbesTheReceiverAndReturnsToTheBox) {
  EXPECT_TRUE(Run("sendport 3000"));
  EXPECT_TRUE(core.Console("chkrecv 10.0.0.7"));
  ASSERT_EQ(client.sent.size(), 1u);
  EXPECT_EQ(client.sent[0].host, "10.0.0.7");
  EXPECT_EQ(client.sent[0].port, 2552);
  EXPECT_EQ(client.sent[0].bytes, "KZUchk");
  EXPECT_EQ(store.values["RecvIP"], "10.0.0.7");
  EXPECT_EQ(core.ReceiverIP(), "10.0.0.7");
  EXPECT_EQ(client.remote_host, "10.0.0.9");
  EXPECT_EQ(client.remote_port, 26482);
  EXPECT_EQ(NewLines(), (std::vector<std::string>{"Send Port: 3000", "Sent msg to Receiver (10.0.0.7)"}));
}

TEST_F(InterpreterTest, ChkrecvRefusesABadAddressOnTwoLines) {
  EXPECT_FALSE(Run("chkrecv 10.0.0"));
  EXPECT_EQ(NewLines(), Lines({"Please Check Argument: ", "10.0.0"}));
  EXPECT_TRUE(client.sent.empty());
}

TEST_F(InterpreterTest, ChkrecvThatCannotSendStillPointsBackAtTheBox) {
  client.fail_send = true;
  EXPECT_TRUE(Run("chkrecv"));
  EXPECT_EQ(client.remote_host, "10.0.0.9");
  EXPECT_EQ(client.remote_port, 26482);
  EXPECT_EQ(NewLines(), Lines({"Error:Network is unreachable", ""}));
}

TEST_F(InterpreterTest, OpenAndClose) {
  EXPECT_TRUE(Run("open 2552"));
  EXPECT_EQ(NewLines(), Lines({"Port already open (2552)"}));
  EXPECT_TRUE(Run("open 2560"));
  EXPECT_EQ(NewLines(), Lines({"Port Closed (2552)", "Port Open 2560"}));
  EXPECT_EQ(system.waits, std::vector<double>{0.5});
  EXPECT_TRUE(Run("close"));
  EXPECT_TRUE(core.Console("close"));
  EXPECT_EQ(NewLines(), Lines({"Port Closed (2560)", "Port already closed"}));
  EXPECT_TRUE(Run("open 2552"));
  EXPECT_EQ(NewLines(), Lines({"Port Open 2552"}));
  EXPECT_FALSE(Run("open"));
  EXPECT_FALSE(core.Console("open 1 2"));
  EXPECT_EQ(NewLines(), Lines({"Type a port number", "Type a port number"}));
  EXPECT_EQ(server.state, 1);
}

TEST_F(InterpreterTest, DatagramDuringTheOpenPauseIsHandled) {
  system.during_wait = [&] { core.WSReceive_DataArrival(std::string("\x00\x00\x2C\x01", 4), "10.0.0.2"); };
  EXPECT_TRUE(Run("open 2560"));
  EXPECT_EQ(core.PacketID(), 300);
}

TEST_F(InterpreterTest, PingRunsTheSystemPingWithTheHostAsOneArgument) {
  system.run_output = "64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.05 ms\n";
  EXPECT_TRUE(Run("ping 127.0.0.1"));
  ASSERT_EQ(system.runs.size(), 1u);
  EXPECT_EQ(system.runs[0], (std::vector<std::string>{"ping", "-c", "1", "-W", "2", "--", "127.0.0.1"}));
  EXPECT_EQ(NewLines(), Lines({"", "Ping: 127.0.0.1", "Reply from 127.0.0.1", ""}));
  EXPECT_TRUE(std::filesystem::exists(core.TempFile()));
}

TEST_F(InterpreterTest, PingRefusesAHostThatLooksLikeAnOption) {
  EXPECT_FALSE(Run("ping -f"));
  EXPECT_TRUE(system.runs.empty());
  EXPECT_EQ(NewLines(), Lines({"Please Check Argument: -f"}));
  EXPECT_TRUE(Run("ping"));
  EXPECT_TRUE(system.runs.empty());
}

TEST_F(InterpreterTest, PingThatCannotStartTakesTheErrorPath) {
  system.fail_run = true;
  EXPECT_TRUE(Run("ping localhost"));
  EXPECT_EQ(NewLines(), Lines({"", "Ping: localhost", "Error:File not found: ping", ""}));
}

TEST_F(InterpreterTest, ArpShowsTheTableAndClears) {
  std::ofstream(arp_table) << "IP address       HW type     Flags       HW address            Mask     Device\n"
                              "192.0.2.1        0x1         0x2         52:54:00:ab:cd:01     *        eth0\n";
  EXPECT_TRUE(Run("arp"));
  EXPECT_EQ(NewLines(), Lines({"", "ARP:", "192.0.2.1 52-54-00-ab-cd-01", ""}));
  EXPECT_TRUE(Run("arp -d"));
  EXPECT_EQ(system.runs.back(), (std::vector<std::string>{"ip", "neigh", "flush", "all"}));
  EXPECT_EQ(NewLines(), Lines({"ARP Entries cleared"}));
  EXPECT_TRUE(Run("arp -x"));
  EXPECT_EQ(system.runs.size(), 1u);
}

TEST_F(InterpreterTest, EveryCommandSurvivesMissingEmptyAndSurplusArguments) {
  const char* words[] = {"only", "arp", "ping", "chkrecv", "hex", "dec", "help", "?", "dump", "use", "setip", "setip2",
                         "setperiod", "setresetinterval", "setlen", "setbaud", "setsiteid", "ack", "setudp",
                         "setcom", "send", "setsendparams", "cls", "sendport", "open", "close"};
  for (const char* word : words) {
    for (const std::string tail : {"", "  ", " x  y z", " 99999999999", " -5", " 1.5", " \t"}) {
      core.Console(std::string(word) + tail);
    }
  }
  EXPECT_EQ(system.ended, 0);
  for (const auto& sent : client.sent) {
    EXPECT_FALSE(sent.bytes.empty());
    EXPECT_LE(sent.bytes.size(), 100u);
  }
}

}  // namespace
}  // namespace ralvek::console
