#include "control_packet.h"

#include <gtest/gtest.h>

#include "test_output.h"

namespace ralvek::console {
namespace {

TEST(AckPacketTest, EighteenBytesWithTheLow16BitsOfTheNumber) {
  EXPECT_EQ(StrToHex(MakeAckPacket(258)), "02 FD 01 00 02 01 01 FE 00 00 AA 01 FE 15 FF 00 00 00");
  EXPECT_EQ(StrToHex(MakeAckPacket(65537)).substr(12, 5), "01 00");
}

TEST(ParseControlPacketTest, ReadsBackEveryCommandTheConsoleBuilds) {
  RecordingOutput out;
  struct Case {
    int command;
    std::vector<std::string> values;
    std::uint8_t code;
    std::string value_hex;
  };
  const Case cases[] = {
      {0, {}, 0x01, ""},
      {1, {"40"}, 0x83, "28"},
      {2, {"1000"}, 0x84, "E8 03"},
      {3, {"127.0.0.5"}, 0xA1, "7F 00 00 05"},
      {6, {"00 11 22 33 44 55", "10.0.0.2", "2552"}, 0xA2, "00 11 22 33 44 55 0A 00 00 02 F8 09"},
      {7, {}, 0x86, ""},
      {10, {}, 0x8A, ""},
      {11, {"50"}, 0x88, "32"},
  };
  for (const auto& c : cases) {
    const auto packet = ParseControlPacket(KZUMakeCommand(c.command, c.values, out));
    ASSERT_TRUE(packet) << c.command;
    EXPECT_EQ(packet->kind, ControlPacket::Kind::kCommand);
    EXPECT_EQ(packet->code, c.code) << c.command;
    EXPECT_EQ(StrToHex(packet->value), c.value_hex) << c.command;
  }
}

TEST(ParseControlPacketTest, ReadsTheAcknowledgedNumber) {
  const auto packet = ParseControlPacket(MakeAckPacket(300));
  ASSERT_TRUE(packet);
  EXPECT_EQ(packet->kind, ControlPacket::Kind::kAck);
  EXPECT_EQ(packet->ack_id, 300);
}

TEST(ParseControlPacketTest, RefusesDamagedPackets) {
  RecordingOutput out;
  const std::string good = KZUMakeCommand(11, {"50"}, out);
  EXPECT_FALSE(ParseControlPacket(""));
  EXPECT_FALSE(ParseControlPacket("KZUchk"));
  EXPECT_FALSE(ParseControlPacket(good.substr(1)));
  EXPECT_FALSE(ParseControlPacket(good.substr(0, good.size() - 1)));
  std::string bad_complement = good;
  bad_complement[1] = 0x00;
  EXPECT_FALSE(ParseControlPacket(bad_complement));
  // A value record that claims more bytes than it has.
  EXPECT_FALSE(ParseControlPacket(HexBytes("0C F3 04 00 01 01 FE 03 00 A2 01 FE 15 FF 00 00 00")));
  EXPECT_FALSE(ParseControlPacket(HexBytes("01 FE 15 FF 00 00 00")));
}

TEST(EncodeSettingsDatagramTest, DecodesBackToTheSameRecord) {
  KZUSettings s;
  s.E2 = 2;
  s.E2Type = 1;
  s.UnitCapacity = 10000;
  s.EntryLen = 40;
  s.Flags = 0x60;
  s.BaudRate = 4;
  s.SiteID = 1000;
  s.LastPacketID = 300;
  s.NumOfPackets = 12;
  s.Period = 50;
  s.ResetInterval = 9;
  s.SendIP = "127.0.0.1";
  s.SendPort = 2552;
  s.SendMAC = "00-11-22-33-44-55";
  s.SecondIP = "10.1.2.3";
  s.DefaultIP = "127.0.0.2";
  const Bytes datagram = EncodeSettingsDatagram(s);
  ASSERT_EQ(datagram.size(), 34u);
  const Bytes packet = datagram + HexBytes("7F 00 00 02");
  KZUSettings decoded;
  RecordingOutput out;
  std::string address = packet.substr(34, 4);
  ASSERT_TRUE(SetCurrentKZUSettings(decoded, packet, address, out));
  EXPECT_EQ(decoded, s);
}

}  // namespace
}  // namespace ralvek::console
