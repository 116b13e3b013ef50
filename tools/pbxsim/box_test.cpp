#include "box.h"

#include <gtest/gtest.h>

#include "control_packet.h"
#include "kzu_config.h"

namespace ralvek::pbxsim {
namespace {

using console::KZUMakeCommand;

class KzuBoxTest : public ::testing::Test {
 protected:
  static console::KZUSettings Initial() {
    console::KZUSettings s;
    s.E2 = 1;
    s.UnitCapacity = 3;
    s.EntryLen = 40;
    s.Flags = console::kFlagE2 | console::kFlagUdpSend;
    s.SiteID = 7;
    s.DefaultIP = "127.0.0.2";
    s.SendIP = "127.0.0.1";
    return s;
  }
  KzuBox::Outcome Send(int command, std::vector<std::string> values = {}) {
    return box.Receive(KZUMakeCommand(command, values, silent));
  }
  console::SilentKzuOutput silent;
  KzuBox box{Initial()};
};

TEST_F(KzuBoxTest, AppliesEverySettingTheConsoleSends) {
  Send(11, {"50"});
  Send(12, {"9"});
  Send(1, {"60"});
  Send(2, {"1000"});
  Send(4, {"10.0.0.4"});
  Send(5, {"4"});
  Send(6, {"00 11 22 33 44 55", "127.0.0.1", "2560"});
  const auto& s = box.settings();
  EXPECT_EQ(s.Period, 50);
  EXPECT_EQ(s.ResetInterval, 9);
  EXPECT_EQ(s.EntryLen, 60);
  EXPECT_EQ(s.SiteID, 1000);
  EXPECT_EQ(s.SecondIP, "10.0.0.4");
  EXPECT_EQ(s.BaudRate, 4);
  EXPECT_EQ(s.SendMAC, "00-11-22-33-44-55");
  EXPECT_EQ(s.SendIP, "127.0.0.1");
  EXPECT_EQ(s.SendPort, 2560);
}

TEST_F(KzuBoxTest, NewAddressAsksForARebind) {
  const auto outcome = Send(3, {"127.0.0.5"});
  EXPECT_TRUE(outcome.address_changed);
  EXPECT_EQ(box.settings().DefaultIP, "127.0.0.5");
}

TEST_F(KzuBoxTest, SwitchesTurnUdpAndComOnAndOff) {
  Send(8);
  EXPECT_FALSE(box.settings().Flags & console::kFlagUdpSend);
  Send(7);
  EXPECT_TRUE(box.settings().Flags & console::kFlagUdpSend);
  Send(10);
  EXPECT_FALSE(box.com_on());
  Send(9);
  EXPECT_TRUE(box.com_on());
}

TEST_F(KzuBoxTest, DumpAnswersWithTheSettingsDatagram) {
  const auto outcome = Send(0);
  EXPECT_TRUE(outcome.answer_settings);
  EXPECT_EQ(box.SettingsDatagram().size(), 34u);
}

TEST_F(KzuBoxTest, StoresUpToCapacityAndResendsTheOldestUntilAcknowledged) {
  EXPECT_TRUE(box.StoreRecord());
  EXPECT_TRUE(box.StoreRecord());
  EXPECT_TRUE(box.StoreRecord());
  EXPECT_FALSE(box.StoreRecord());
  EXPECT_EQ(box.settings().NumOfPackets, 3);
  EXPECT_EQ(box.settings().LastPacketID, 3);
  EXPECT_TRUE(box.settings().Flags & console::kFlagPending);
  auto first = box.NextDataPacket();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->size(), 45u);  // 5 header bytes + entry length
  EXPECT_EQ((*first)[2], 1);
  EXPECT_EQ(box.NextDataPacket(), first);
  EXPECT_EQ(box.Receive(console::MakeAckPacket(1)).log, "ack 1 removed");
  EXPECT_EQ((*box.NextDataPacket())[2], 2);
  EXPECT_EQ(box.Receive(console::MakeAckPacket(1)).log, "ack 1 not stored");
  EXPECT_EQ(box.settings().NumOfPackets, 2);
  const auto burst = box.DataPackets(5);  // a burst takes what is stored, oldest first
  ASSERT_EQ(burst.size(), 2u);
  EXPECT_EQ(burst[0][2], 2);
  EXPECT_EQ(burst[1][2], 3);
}

TEST_F(KzuBoxTest, NothingIsSentWhileUdpIsOff) {
  box.StoreRecord();
  Send(8);
  EXPECT_FALSE(box.NextDataPacket());
  EXPECT_TRUE(box.DataPackets(5).empty());
}

TEST_F(KzuBoxTest, DataPacketIsNeverMistakenForASettingsAnswer) {
  Send(1, {"29"});
  box.StoreRecord();
  EXPECT_NE(box.NextDataPacket()->size(), 34u);
}

TEST_F(KzuBoxTest, DamagedOrForeignDatagramsChangeNothing) {
  const auto before = box.settings();
  for (const std::string& datagram : {std::string(), std::string("KZUchk"), std::string(65507, '\x01'),
                                     KZUMakeCommand(11, {"50"}, silent).substr(2)}) {
    EXPECT_FALSE(box.Receive(datagram).answer_settings);
  }
  // A one-byte command with a value record of another size.
  EXPECT_EQ(box.Receive(KZUMakeCommand(15, {"02 FD 04 00 05 06 01 FE 03 00 88 01 FE 15 FF 00 00 00"}, silent)).log,
            "ignored command 88 with a value of 2 bytes");
  EXPECT_EQ(box.settings(), before);
}

}  // namespace
}  // namespace ralvek::pbxsim
