// The two receive handlers: the receiver's port 2554 and the box's port 2552.
#include "console_fakes.h"
#include "control_packet.h"
#include "test_output.h"

namespace ralvek::console {
namespace {

class DatagramTest : public ConsoleFixture {
 protected:
  void SetUp() override {
    Loaded();
    NewLines();
  }
  static std::string SettingsAnswer() {
    KZUSettings s;
    s.E2 = 1;
    s.UnitCapacity = 200;
    s.LastPacketID = 10;
    s.NumOfPackets = 4;
    s.Period = 25;
    s.SecondIP = "192.168.1.1";
    return EncodeSettingsDatagram(s);
  }
  bool ConsoleShows(const std::string& text) const { return core.TextConsole().find(text) != std::string::npos; }
};

TEST_F(DatagramTest, ReceiverProbeAnswerInAnyCase) {
  core.WServer_DataArrival("kzuchk", "10.0.0.9");
  EXPECT_EQ(NewLines(), std::vector<std::string>{"Receiver is alive! (10.0.0.9)"});
}

TEST_F(DatagramTest, SettingsPassedOnForOurBoxAreShown) {
  const std::string packet = SettingsAnswer() + HexBytes("7F 00 00 01");  // our box: 127.0.0.1
  core.WServer_DataArrival(packet, "10.0.0.9");
  EXPECT_EQ(core.CurrentKZUSettings().DefaultIP, "127.0.0.1");
  EXPECT_EQ(core.CurrentKZUSettings().SecondIP, "192.168.1.1");
  EXPECT_EQ(core.View(ViewId::kTextMsg), "Message from (2554) 08:15:02\r\n" + StrToHex(packet));
  EXPECT_TRUE(ConsoleShows("Period\t\t25 (2.5 sec.)\r\n"));
  EXPECT_TRUE(core.TextConsole().ends_with("UDPSend\t\tOff\r\n\r\n\r\n\r\n\r\n\r\n"));
}

TEST_F(DatagramTest, SettingsOfAnotherBoxChangeNothing) {
  core.WServer_DataArrival(SettingsAnswer() + HexBytes("0A 00 00 03"), "10.0.0.9");
  EXPECT_EQ(core.CurrentKZUSettings(), KZUSettings{});
  EXPECT_TRUE(NewLines().empty());
  EXPECT_TRUE(view.changes.empty() || core.View(ViewId::kTextMsg).empty());
}

TEST_F(DatagramTest, ShortDatagramOnTheServerPortIsIgnoredUnlessNoBoxIsSet) {
  core.WServer_DataArrival("ab", "10.0.0.9");
  EXPECT_TRUE(NewLines().empty());
  client.remote_host.clear();
  core.WServer_DataArrival("ab", "10.0.0.9");
  EXPECT_EQ(NewLines().at(0), "Invalid Control Packet Lenght");
}

TEST_F(DatagramTest, SettingsAnswerTakesTheSendersAddress) {
  core.WSReceive_DataArrival(SettingsAnswer(), "10.0.0.2");
  EXPECT_EQ(core.CurrentKZUSettings().DefaultIP, "10.0.0.2");
  EXPECT_TRUE(ConsoleShows("DefaultIP\t10.0.0.2\r\n"));
  const std::string shown = SettingsAnswer() + HexBytes("0A 00 00 02");
  EXPECT_EQ(core.View(ViewId::kTextMsg), "Message from 08:15:02\r\n" + StrToHex(shown));
  EXPECT_EQ(core.View(ViewId::kTextMsg2), StrToHex(shown));
  EXPECT_EQ(core.View(ViewId::kTextAsc).size(), 38u);
  EXPECT_EQ(core.View(ViewId::kLabelIncome0), "Message from (10.0.0.2: 2552 08:15:02 (38 bytes)");
  EXPECT_EQ(core.View(ViewId::kLabelIncome1), "Ascii View (10.0.0.2:2552 08:15:02 (38 bytes)");
  EXPECT_EQ(core.PacketID(), 7);  // oldest stored: 10 - 4 + 1
}

TEST_F(DatagramTest, DataPacketSetsThePacketNumber) {
  std::string packet(50, 'x');
  packet[2] = 0x2C;
  packet[3] = 0x01;
  core.WSReceive_DataArrival(packet, "10.0.0.2");
  EXPECT_EQ(core.PacketID(), 300);
  EXPECT_EQ(core.FunctionKeyTemplate(FunctionKey::kF12, false), "Ack 300");
  EXPECT_EQ(core.View(ViewId::kLabelIncome0), "Message from (10.0.0.2: 2552 08:15:02 (50 bytes)");
}

TEST_F(DatagramTest, PacketNumberZeroIsTakenFromTheRecord) {
  core.WSReceive_DataArrival(std::string(50, '\0'), "10.0.0.2");
  EXPECT_EQ(core.PacketID(), 1);
}

TEST_F(DatagramTest, TooShortForANumberKeepsThePacketId) {
  core.WSReceive_DataArrival(std::string("\x00\x00\x05\x00", 4), "10.0.0.2");
  core.WSReceive_DataArrival("abc", "10.0.0.2");
  core.WSReceive_DataArrival("", "10.0.0.2");
  EXPECT_EQ(core.PacketID(), 5);
  EXPECT_EQ(core.View(ViewId::kTextMsg2), "");
}

TEST_F(DatagramTest, ControlBytesShowAsQuestionMarks) {
  core.WSReceive_DataArrival("ab\r\ncd\xE9", "10.0.0.2");
  EXPECT_EQ(core.View(ViewId::kTextAsc), "ab??cd\xE9");
  EXPECT_EQ(core.View(ViewId::kTextMsg2), "61 62 0D 0A 63 64 E9");
}

TEST_F(DatagramTest, FilterDropsOtherSenders) {
  ASSERT_TRUE(core.Console("only 10.0.0.2"));
  view.changes.clear();
  core.WSReceive_DataArrival(std::string(50, 'x'), "10.0.0.3");
  EXPECT_TRUE(view.changes.empty());
  EXPECT_TRUE(view.shown.empty());
  EXPECT_EQ(core.PacketID(), 0);
  core.WSReceive_DataArrival(std::string(50, 'x'), "10.0.0.2");
  EXPECT_FALSE(view.changes.empty());
}

// A log of the traffic needs every datagram, also one that repeats the last within its second.
TEST_F(DatagramTest, EveryShownDatagramIsReportedWithTheViewsItFilled) {
  const std::string packet(50, 'x');
  core.WSReceive_DataArrival(packet, "10.0.0.2");
  view.changes.clear();
  core.WSReceive_DataArrival(packet, "10.0.0.2");
  EXPECT_TRUE(view.changes.empty());
  core.WSReceive_DataArrival(SettingsAnswer(), "10.0.0.2");
  core.WServer_DataArrival(SettingsAnswer() + HexBytes("7F 00 00 01"), "10.0.0.9");
  core.WServer_DataArrival(SettingsAnswer() + HexBytes("0A 00 00 03"), "10.0.0.9");  // another box
  core.WServer_DataArrival("kzuchk", "10.0.0.9");
  const std::vector<ViewId> data{ViewId::kTextMsg2, ViewId::kTextAsc};
  const std::vector<ViewId> answer{ViewId::kTextMsg, ViewId::kTextMsg2, ViewId::kTextAsc};
  const std::vector<ViewId> passed_on{ViewId::kTextMsg};
  EXPECT_EQ(view.shown, (std::vector<std::vector<ViewId>>{data, data, answer, passed_on}));
}

TEST_F(DatagramTest, EverySizeUpToTheUdpLimitIsHandled) {
  for (std::size_t size : {0u, 1u, 3u, 4u, 33u, 34u, 35u, 37u, 38u, 39u, 1000u, 65507u}) {
    const std::string datagram(size, '\xFF');
    core.WSReceive_DataArrival(datagram, "10.0.0.2");
    core.WServer_DataArrival(datagram, "10.0.0.2");
    EXPECT_EQ(core.View(ViewId::kTextAsc).size(), size == 34 ? 38u : size);
  }
}

}  // namespace
}  // namespace ralvek::console
