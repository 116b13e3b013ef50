#include <QFile>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include "console_fixture.h"

namespace ralvek::console_e2e {
namespace {

// What the box printed about what it was sent, from offset `from` on.
bool BoxSaw(Program& box, const std::string& line, std::size_t from = 0) {
  return box.WaitFor("box: " + line, from) != std::string::npos;
}

TEST_F(ConsoleTest, DumpPrintsTheBoxSettingsBlock) {
  StartBox();
  StartConsole();
  Command("use 127.0.0.2", "Current IP: 127.0.0.2\n");
  const auto at = Command("dump", "UDPSend\t\tOn\n");
  const std::string shown = console_->Out().substr(console_->Out().rfind("Current Ralvek Settings", at));
  EXPECT_NE(shown.find("DefaultIP\t127.0.0.2\nSecondIP\t0.0.0.0\nSendIP\t\t127.0.0.1\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("SiteID\t\t1\nPeriod\t\t10 (1 sec.)\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("BaudRate\t9600\n"), std::string::npos);
  console_->WaitFor("== Settings packet ==\nMessage from ", at);
  EXPECT_TRUE(BoxSaw(*box_, "dump (from 127.0.0.1)"));
  EXPECT_NE(ConfigFile().find("KZUIP=127.0.0.2"), std::string::npos);
}

TEST_F(ConsoleTest, EverySetCommandChangesTheBox) {
  StartBox();
  StartConsole();
  Command("use 127.0.0.2", "Current IP");
  Command("setperiod 50", "Period: 50\n");
  Command("setlen 60", "Entry Lenght: 60\n");
  Command("setsiteid 1000", "SiteID: 1000\n");
  Command("setbaud 19200", "Baud: 19200\n");
  Command("setip2 10.0.0.4", "Second IP: 10.0.0.4\n");
  Command("setresetinterval 9", "Reset Interval: 9\n");
  Command("setsendparams 00-11-22-33-44-55 127.0.0.1 2552", "SendPort: 2552\n");
  Command("setudp off", "UDPSend Off\n");
  Command("setcom off", "COM Off\n");
  for (const char* line : {"period 50", "entry length 60", "site id 1000", "baud code 4", "ip2 10.0.0.4",
                           "reset interval 9", "send params 00-11-22-33-44-55 127.0.0.1 2552", "udp off",
                           "com off"}) {
    EXPECT_TRUE(BoxSaw(*box_, line)) << line;
  }
  const auto at = Command("dump", "UDPSend\t\tOff\n");
  const std::string shown = console_->Out().substr(console_->Out().rfind("Current Ralvek Settings", at));
  for (const char* line : {"SecondIP\t10.0.0.4\n", "SendMAC\t\t00-11-22-33-44-55\n", "SiteID\t\t1000\n",
                           "Period\t\t50 (5 sec.)\n", "Reset Interval\t9\n", "BaudRate\t19200\n", "EntryLen\t60\n"}) {
    EXPECT_NE(shown.find(line), std::string::npos) << line << shown;
  }
}

TEST_F(ConsoleTest, SetIpMovesTheBoxAndTheConsoleFollows) {
  StartBox();
  StartConsole();
  Command("use 127.0.0.2", "Current IP");
  Command("setip 127.0.0.5", "Current IP: 127.0.0.5\n");
  EXPECT_TRUE(BoxSaw(*box_, "listening on 127.0.0.5:26482"));
  Command("dump", "DefaultIP\t127.0.0.5\n");
  EXPECT_NE(ConfigFile().find("KZUIP=127.0.0.5"), std::string::npos);
}

TEST_F(ConsoleTest, DataPacketsSetThePacketIdAndAckRemovesThemFromTheBox) {
  StartBox({"--records", "2", "--period", "1"});
  StartConsole();
  Command("use 127.0.0.2", "Current IP");
  console_->WaitFor("== Message from (127.0.0.2: 2552 ");
  console_->WaitFor("CALL 00001");
  console_->WaitFor("[hint] F12: Ack 1\n");
  const std::size_t mark = box_->Out().size();
  Command("ack 1", "Ack sent to packet: 1\n");
  EXPECT_TRUE(BoxSaw(*box_, "ack 1 removed", mark));
  console_->WaitFor("[hint] F12: Ack 2\n");
  const auto at = Command("dump", "UDPSend\t\tOn\n");
  EXPECT_NE(console_->Out().find("Num Of Packets\t1\n", console_->Out().rfind("Current Ralvek Settings", at)),
            std::string::npos);
}

TEST_F(ConsoleTest, OnlyShowsTheChosenSender) {
  StartBox({"--records", "1", "--period", "1"});
  StartConsole();
  console_->WaitFor("== Message from (127.0.0.2: 2552 ");
  Command("only 127.0.0.9", "Listen IP\t:127.0.0.9\n");
  console_->Pump(100);  // a view block of a packet handled before the filter may still come
  const std::size_t mark = console_->Out().size();
  // Three more packets reach the console while the filter is set.
  for (int i = 0; i < 3; ++i) box_->WaitFor("data packet 1 sent", box_->Out().size());
  console_->Pump(100);
  EXPECT_FALSE(console_->Contains("== Message from (127.0.0.2", mark));
  Command("only", "Listen IP\t:All\n");
  console_->WaitFor("== Message from (127.0.0.2: 2552 ", console_->Out().size());
}

TEST_F(ConsoleTest, CloseOpenAndSendPort) {
  StartBox();
  StartConsole();
  Command("use 127.0.0.2", "Current IP");
  Command("close", "Port Closed (2552)\n");
  Command("close", "Port already closed\n");
  const std::size_t mark = box_->Out().size();
  Command("dump", "Dump...");
  box_->WaitFor("settings sent", mark);
  console_->Pump(200);
  EXPECT_FALSE(console_->Contains("Current Ralvek Settings"));
  Command("open 2552", "Port Open 2552\n");
  Command("open 2552", "Port already open (2552)\n");
  Command("dump", "Current Ralvek Settings");
  Command("sendport 26483", "Send Port: 26483\n");
  const std::size_t before = box_->Out().size();
  Command("dump", "Dump...");
  console_->Pump(300);
  EXPECT_FALSE(box_->Contains("dump", before));
  Command("open", "Type a port number\n");
}

TEST_F(ConsoleTest, LineTypedDuringThePauseOfOpenRunsAfterIt) {
  StartConsole();
  const std::size_t mark = console_->Out().size();
  console_->Type("open 2560");
  console_->Type("hex 5");
  const auto hex_at = console_->WaitFor("00000005h\n", mark);
  const auto open_at = console_->WaitFor("Port Open 2560\n", mark);
  EXPECT_LT(open_at, hex_at);
}

TEST_F(ConsoleTest, ChkrecvProbesTheReceiverAndTheBoxPortComesBack) {
  StartBox();
  StartConsole();
  Command("use 127.0.0.2", "Current IP");
  Command("sendport 26483", "Send Port: 26483\n");
  // The receiver listens on 2552, which the console holds itself until it is closed.
  Command("close", "Port Closed (2552)\n");
  QUdpSocket receiver;
  ASSERT_TRUE(receiver.bind(QHostAddress("127.0.0.3"), 2552));
  Command("chkrecv 127.0.0.3", "Sent msg to Receiver (127.0.0.3)\n");
  ASSERT_TRUE(receiver.waitForReadyRead(5000));
  const QNetworkDatagram probe = receiver.receiveDatagram();
  EXPECT_EQ(probe.data().toStdString(), "KZUchk");
  receiver.writeDatagram(QByteArray("kzuCHK"), QHostAddress("127.0.0.1"), 2554);
  console_->WaitFor("Receiver is alive! (127.0.0.3)\n");
  EXPECT_NE(ConfigFile().find("RecvIP=127.0.0.3"), std::string::npos);
  const std::size_t mark = box_->Out().size();
  Command("dump", "Dump...");
  EXPECT_TRUE(BoxSaw(*box_, "dump (from 127.0.0.1)", mark));  // back on 26482
}

TEST_F(ConsoleTest, SettingsPassedOnByTheReceiverAreDecoded) {
  StartConsole();
  QByteArray packet(34, '\0');
  packet[16] = 25;
  packet.append(QByteArray("\x7F\x00\x00\x01", 4));  // the box the console works with: 127.0.0.1
  QUdpSocket receiver;
  receiver.writeDatagram(packet, QHostAddress("127.0.0.1"), 2554);
  console_->WaitFor("Period\t\t25 (2.5 sec.)\n");
  console_->WaitFor("== Settings packet ==\nMessage from (2554) ");
}

TEST_F(ConsoleTest, RefusedAndBadLinesLeaveTheConsoleRunning) {
  StartConsole();
  Command("setperiod 4", "Period must be between 5 and 255\n");
  Command("frobnicate", "Invalid Command\n");
  Command("setip", "Error:Subscript out of range\n");
  Command("send 01-zz-02", "");
  Command(std::string(300, ' ') + "hex 255", "255\t = \t000000FFh\n");
  EXPECT_NE(console_->Err().find("[error box] KZUConfig->KZUHex: Invalid Hex Number\n"), std::string::npos);
}

TEST_F(ConsoleTest, PortThatIsTakenLeavesTheConsoleUsable) {
  QUdpSocket squatter;
  ASSERT_TRUE(squatter.bind(QHostAddress::AnyIPv4, 2554));
  console_ = std::make_unique<Program>(CONSOLE_EXE, QStringList{}, Environment());
  console_->WaitFor("Procedure: Load\n");
  console_->WaitFor("Listen IP\t:All\n");
  Command("hex 255", "000000FFh\n");
  console_->CloseInput();
  EXPECT_EQ(console_->WaitExit(), 1);  // a script learns that the console ran without its port
}

TEST_F(ConsoleTest, PingRunsTheSystemToolWithTheHostAsOneArgument) {
  const QString bin = dir_.filePath("bin");
  QDir().mkpath(bin);
  QFile fake(bin + "/ping");
  ASSERT_TRUE(fake.open(QIODevice::WriteOnly));
  fake.write(("#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + dir_.filePath("ping.args") +
              "'\necho '64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.04 ms'\n")
                 .toUtf8());
  fake.close();
  fake.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  path_prefix_ = bin;
  StartConsole();
  Command("ping 127.0.0.1;touch${ifs}x", "Reply from 127.0.0.1\n");
  QFile args(dir_.filePath("ping.args"));
  ASSERT_TRUE(args.open(QIODevice::ReadOnly));
  EXPECT_EQ(args.readAll().toStdString(), "-c\n1\n-W\n2\n--\n127.0.0.1;touch${ifs}x\n");
  EXPECT_TRUE(QFile::exists(dir_.filePath("console.tmp")));
  Command("ping -f", "Please Check Argument: -f\n");
}

TEST_F(ConsoleTest, QuitEndsTheProgramAndDeletesTheTemporaryFile) {
  StartConsole();
  QFile tmp(dir_.filePath("console.tmp"));
  ASSERT_TRUE(tmp.open(QIODevice::WriteOnly));
  tmp.close();
  console_->Type("quit");
  console_->Type("hex 1");  // never runs: the program has ended
  EXPECT_EQ(console_->WaitExit(), 0);
  EXPECT_FALSE(console_->Contains("00000001h"));
  EXPECT_FALSE(QFile::exists(dir_.filePath("console.tmp")));
}

TEST_F(ConsoleTest, TerminationSignalClosesAsQuitDoes) {
  StartConsole();
  Command("hex 3", "00000003h\n");
  QFile tmp(dir_.filePath("console.tmp"));
  ASSERT_TRUE(tmp.open(QIODevice::WriteOnly));
  tmp.close();
  console_->Terminate();
  EXPECT_EQ(console_->WaitExit(), 0);
  EXPECT_FALSE(QFile::exists(dir_.filePath("console.tmp")));
}

TEST_F(ConsoleTest, EndOfInputEndsTheProgramAsQuitDoes) {
  StartConsole();
  Command("hex 2", "00000002h\n");
  console_->CloseInput();
  EXPECT_EQ(console_->WaitExit(), 0);
}

}  // namespace
}  // namespace ralvek::console_e2e
