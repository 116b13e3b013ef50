#include "kzu_settings.h"

#include <gtest/gtest.h>

#include "test_output.h"

namespace ralvek::console {
namespace {

// A 38-byte settings packet: box datagram plus the sender's address 10.0.0.2.
std::string SamplePacket() {
  std::string p(38, '\0');
  p[3] = 2;                  // E2
  p[4] = 7;                  // E2Type
  p[5] = 0x10, p[6] = 0x27;  // UnitCapacity 10000
  p[7] = 40;                 // EntryLen
  p[8] = static_cast<char>(0xE0);
  p[9] = 5;                  // BaudRate code
  p[10] = static_cast<char>(0xE8), p[11] = 0x03;  // SiteID 1000
  p[12] = 0x2C, p[13] = 0x01;                     // LastPacketID 300
  p[14] = 0x64, p[15] = 0x00;                     // NumOfPackets 100
  p[16] = 25;                                     // Period
  p[17] = 3;                                      // ResetInterval
  const std::string mac = HexBytes("00 0A 1B 2C 3D 4E");
  p.replace(18, 6, mac);
  p.replace(24, 4, HexBytes("0A 00 00 01"));
  p[28] = static_cast<char>(0xF8), p[29] = 0x09;
  p.replace(30, 4, HexBytes("C0 A8 01 01"));
  p.replace(34, 4, HexBytes("0A 00 00 02"));
  return p;
}

bool Decode(KZUSettings& s, const std::string& packet, RecordingOutput& out) {
  std::string address = packet.size() >= 38 ? packet.substr(34, 4) : std::string();
  return SetCurrentKZUSettings(s, packet, address, out);
}

TEST(SetCurrentKzuSettingsTest, DecodesEveryField) {
  KZUSettings s;
  RecordingOutput out;
  std::string address = SamplePacket().substr(34, 4);
  ASSERT_TRUE(SetCurrentKZUSettings(s, SamplePacket(), address, out));
  EXPECT_EQ(address, "192.168.1.1");  // the working variable ends with the second address
  EXPECT_EQ(s.DefaultIP, "10.0.0.2");
  EXPECT_EQ(s.SecondIP, "192.168.1.1");
  EXPECT_EQ(s.UnitCapacity, 10000);
  EXPECT_EQ(s.SendPort, 2552);
  EXPECT_EQ(s.SendMAC, "00-0A-1B-2C-3D-4E");
  EXPECT_EQ(s.SendIP, "10.0.0.1");
  EXPECT_EQ(s.SiteID, 1000);
  EXPECT_EQ(s.LastPacketID, 300);
  EXPECT_EQ(s.NumOfPackets, 100);
  EXPECT_EQ(s.E2, 2);
  EXPECT_EQ(s.E2Type, 7);
  EXPECT_EQ(s.EntryLen, 40);
  EXPECT_EQ(s.Flags, 0xE0);
  EXPECT_EQ(s.BaudRate, 5);
  EXPECT_EQ(s.Period, 25);
  EXPECT_EQ(s.ResetInterval, 3);
  EXPECT_TRUE(out.lines.empty());
}

TEST(SetCurrentKzuSettingsTest, WrongLengthLeavesTheRecord) {
  for (std::size_t size : {0u, 3u, 34u, 37u, 39u, 65507u}) {
    KZUSettings s;
    RecordingOutput out;
    std::string packet = SamplePacket();
    packet.resize(size, 'x');
    EXPECT_FALSE(Decode(s, packet, out)) << size;
    EXPECT_EQ(s, KZUSettings{});
    EXPECT_EQ(out.lines, std::vector<std::string>{"Invalid Control Packet Lenght"});
  }
}

TEST(SetCurrentKzuSettingsTest, ShortAddressArgumentIsRefused) {
  KZUSettings s;
  RecordingOutput out;
  std::string address = "\x0A";
  EXPECT_FALSE(SetCurrentKZUSettings(s, SamplePacket(), address, out));
  EXPECT_EQ(out.lines, (std::vector<std::string>{"Invalid Control Packet ", "IP information couldn't read"}));
  EXPECT_EQ(s, KZUSettings{});
}

TEST(BytesToIpTest, ExactlyFourBytes) {
  EXPECT_EQ(BytesToIP(HexBytes("0A 00 00 02")), "10.0.0.2");
  EXPECT_EQ(BytesToIP(HexBytes("FF FF FF FF")), "255.255.255.255");
  EXPECT_EQ(BytesToIP("abc"), "");
  EXPECT_EQ(BytesToIP("abcde"), "");
}

TEST(BaudTest, RatesAndCodesBothWays) {
  RecordingOutput out;
  for (std::int32_t code = 0; code <= 5; ++code) {
    std::int32_t value = code;
    const std::int32_t rate = BaudCodeToRate(value, out);
    EXPECT_EQ(value, rate);
    EXPECT_EQ(BaudToCode(value, out), code);
    EXPECT_EQ(value, code);
  }
  EXPECT_TRUE(out.lines.empty());
}

TEST(BaudTest, UnknownValuesPrintAndKeepTheArgument) {
  RecordingOutput out;
  std::int32_t rate = 600;
  EXPECT_EQ(BaudToCode(rate, out), 0);
  EXPECT_EQ(rate, 600);
  std::int32_t code = 6;
  EXPECT_EQ(BaudCodeToRate(code, out), 0);
  EXPECT_EQ(code, 6);
  EXPECT_EQ(out.lines, (std::vector<std::string>{"invalid baud-rate", "Couldn't read baud information"}));
}

class ShowConfigTextTest : public ::testing::Test {
 protected:
  std::string Line(const KZUSettings& s, const std::string& start, char separator = '.') {
    const std::string text = ShowConfigText(s, separator, out);
    const auto pos = text.find("\r\n" + start);
    if (pos == std::string::npos) return "<missing>";
    return text.substr(pos + 2, text.find("\r\n", pos + 2) - pos - 2);
  }
  RecordingOutput out;
};

TEST_F(ShowConfigTextTest, DefaultsPrintExactly) {
  KZUSettings s;
  EXPECT_EQ(ShowConfigText(s, '.', out),
            "Current Ralvek Settings\r\n\r\n"
            "DefaultIP\t0.0.0.0\r\nSecondIP\t0.0.0.0\r\nSendIP\t\t255.255.255.255\r\n"
            "SendMAC\t\tFF-FF-FF-FF-FF-FF\r\nSendPort\t2552\r\n---------------\r\n"
            "SiteID\t\t0\r\nPeriod\t\t0 (0 sec.)\r\nReset Interval\t0\r\nBaudRate\t1200\r\nEntryLen\t0\r\n"
            "---------------\r\nE2\t\t0\r\nE2 Type\t\t0\r\nLast Packet ID\t0\r\nNum Of Packets\t0\r\n"
            "Unit Capacity\t0\r\nMax Capacity\t0 (%0)\r\n---------------\r\n"
            "E2\t\tNo\r\nPending\t\tNo\r\nUDPSend\t\tOff\r\n");
}

TEST_F(ShowConfigTextTest, PeriodUsesTheSystemSeparatorWithoutTrailingZeros) {
  KZUSettings s;
  s.Period = 25;
  EXPECT_EQ(Line(s, "Period"), "Period\t\t25 (2.5 sec.)");
  EXPECT_EQ(Line(s, "Period", ','), "Period\t\t25 (2,5 sec.)");
  s.Period = 30;
  EXPECT_EQ(Line(s, "Period"), "Period\t\t30 (3 sec.)");
}

TEST_F(ShowConfigTextTest, PercentageFollowsTheTwoDecimalPattern) {
  KZUSettings s;
  s.E2 = 1;
  s.UnitCapacity = 200;
  const std::pair<int, const char*> cases[] = {{0, "0.0"}, {50, "25.0"}, {1, "0.5"}, {200, "100.0"}, {3, "1.5"}};
  for (const auto& [packets, text] : cases) {
    s.NumOfPackets = packets;
    EXPECT_EQ(Line(s, "Max Capacity"), std::string("Max Capacity\t200 (%") + text + ")") << packets;
  }
  s.UnitCapacity = 3;
  s.NumOfPackets = 1;
  EXPECT_EQ(Line(s, "Max Capacity"), "Max Capacity\t3 (%33.33)");
  EXPECT_EQ(Line(s, "Max Capacity", ','), "Max Capacity\t3 (%33,33)");
}

TEST_F(ShowConfigTextTest, NoCapacityShowsPercentZero) {
  KZUSettings s;
  s.UnitCapacity = 100;
  s.NumOfPackets = 5;
  EXPECT_EQ(Line(s, "Max Capacity"), "Max Capacity\t0 (%0)");
}

TEST_F(ShowConfigTextTest, FlagsShowYesNoOnOff) {
  KZUSettings s;
  s.Flags = 0xE0;
  EXPECT_EQ(Line(s, "E2\t\tY"), "E2\t\tYes");
  EXPECT_EQ(Line(s, "Pending"), "Pending\t\tYes");
  EXPECT_EQ(Line(s, "UDPSend"), "UDPSend\t\tOn");
  s.Flags = 0x1F;
  EXPECT_EQ(Line(s, "Pending"), "Pending\t\tNo");
  EXPECT_EQ(Line(s, "UDPSend"), "UDPSend\t\tOff");
}

TEST_F(ShowConfigTextTest, UnknownBaudCodePrintsFirstAndShowsZero) {
  KZUSettings s;
  s.BaudRate = 5;
  EXPECT_EQ(Line(s, "BaudRate"), "BaudRate\t38400");
  s.BaudRate = 6;
  EXPECT_EQ(Line(s, "BaudRate"), "BaudRate\t0");
  EXPECT_EQ(out.lines, std::vector<std::string>{"Couldn't read baud information"});
  EXPECT_EQ(s.BaudRate, 6);
}

}  // namespace
}  // namespace ralvek::console
