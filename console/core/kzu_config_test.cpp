#include "kzu_config.h"

#include <gtest/gtest.h>

#include "test_output.h"

namespace ralvek::console {
namespace {

class KzuMakeCommandTest : public ::testing::Test {
 protected:
  std::string Make(int command, std::vector<std::string> values = {}) {
    return StrToHex(KZUMakeCommand(command, values, out));
  }
  RecordingOutput out;
};

TEST_F(KzuMakeCommandTest, DumpIsTheTwelveByteCommandRecordAndClosing) {
  EXPECT_EQ(Make(0), "01 FE 03 00 01 01 FE 15 FF 00 00 00");
  EXPECT_TRUE(out.boxes.empty());
}

TEST_F(KzuMakeCommandTest, SwitchCommandsCarryTheirCodes) {
  EXPECT_EQ(Make(7), "01 FE 03 00 86 01 FE 15 FF 00 00 00");
  EXPECT_EQ(Make(8), "01 FE 03 00 87 01 FE 15 FF 00 00 00");
  EXPECT_EQ(Make(9), "01 FE 03 00 89 01 FE 15 FF 00 00 00");
  EXPECT_EQ(Make(10), "01 FE 03 00 8A 01 FE 15 FF 00 00 00");
}

TEST_F(KzuMakeCommandTest, OneByteCommandsPutTheValueRecordFirst) {
  EXPECT_EQ(Make(1, {"40"}), "01 FE 04 00 28 01 FE 03 00 83 01 FE 15 FF 00 00 00");
  EXPECT_EQ(Make(5, {"3"}), "01 FE 04 00 03 01 FE 03 00 85 01 FE 15 FF 00 00 00");
  EXPECT_EQ(Make(11, {"50"}), "01 FE 04 00 32 01 FE 03 00 88 01 FE 15 FF 00 00 00");
  EXPECT_EQ(Make(12, {"0"}), "01 FE 04 00 00 01 FE 03 00 8B 01 FE 15 FF 00 00 00");
  EXPECT_EQ(Make(13, {"7"}), "01 FE 04 00 07 01 FE 03 00 B0 01 FE 15 FF 00 00 00");
  EXPECT_EQ(Make(14, {"7"}), "01 FE 04 00 07 01 FE 03 00 B1 01 FE 15 FF 00 00 00");
}

TEST_F(KzuMakeCommandTest, SiteIdIsLittleEndianAndDropsHighBits) {
  EXPECT_EQ(Make(2, {"1000"}), "02 FD 04 00 E8 03 01 FE 03 00 84 01 FE 15 FF 00 00 00");
  EXPECT_EQ(Make(2, {"70000"}), "02 FD 04 00 70 11 01 FE 03 00 84 01 FE 15 FF 00 00 00");
}

TEST_F(KzuMakeCommandTest, AddressesGoOctetByOctet) {
  EXPECT_EQ(Make(3, {"192.168.1.5"}), "04 FB 04 00 C0 A8 01 05 01 FE 03 00 A1 01 FE 15 FF 00 00 00");
  EXPECT_EQ(Make(4, {"10.0.0.1"}), "04 FB 04 00 0A 00 00 01 01 FE 03 00 A4 01 FE 15 FF 00 00 00");
}

TEST_F(KzuMakeCommandTest, ShortAddressFailsWithTheCommandBox) {
  EXPECT_EQ(KZUMakeCommand(3, {"192.168.1"}, out), "");
  ASSERT_EQ(out.boxes.size(), 1u);
  EXPECT_EQ(out.boxes[0].first, "KZUConfig->KZUMakeCommand");
}

TEST_F(KzuMakeCommandTest, SendParamsAreTwentyEightBytes) {
  const auto packet = KZUMakeCommand(6, {"00 11 22 33 44 55", "10.0.0.2", "2552"}, out);
  EXPECT_EQ(packet.size(), 28u);
  EXPECT_EQ(StrToHex(packet),
            "0C F3 04 00 00 11 22 33 44 55 0A 00 00 02 F8 09 01 FE 03 00 A2 01 FE 15 FF 00 00 00");
}

TEST_F(KzuMakeCommandTest, SendParamsRefuseAMacThatIsNotSixHexPairs) {
  for (const char* mac : {"00 11 22 33 44", "00 11 22 33 44 GG", "00 11 22 33 44 555", "00 11 22 33 44 55 66"}) {
    out.boxes.clear();
    EXPECT_EQ(KZUMakeCommand(6, {mac, "10.0.0.2", "2552"}, out), "") << mac;
    ASSERT_FALSE(out.boxes.empty()) << mac;
    EXPECT_EQ(out.boxes.back().first, "KZUConfig->KZUMakeCommand");
  }
}

TEST_F(KzuMakeCommandTest, NonNumericSiteIdOrPortFailsWithTheCommandBox) {
  EXPECT_EQ(KZUMakeCommand(2, {"abc"}, out), "");
  EXPECT_EQ(KZUMakeCommand(6, {"00 11 22 33 44 55", "10.0.0.2", "port"}, out), "");
  ASSERT_EQ(out.boxes.size(), 2u);
  EXPECT_EQ(out.boxes[0], std::make_pair(std::string("KZUConfig->KZUMakeCommand"), std::string("Type mismatch")));
  EXPECT_EQ(out.boxes[1].first, "KZUConfig->KZUMakeCommand");
}

TEST_F(KzuMakeCommandTest, ValueThatCannotBeConvertedRefusesThePacket) {
  EXPECT_EQ(KZUMakeCommand(11, {"5abc"}, out), "");
  ASSERT_EQ(out.boxes.size(), 1u);
  EXPECT_EQ(out.boxes[0].first, "KZUConfig->MakeHex");
}

TEST_F(KzuMakeCommandTest, MissingValueFailsInsteadOfReadingPastTheList) {
  EXPECT_EQ(KZUMakeCommand(11, {}, out), "");
  EXPECT_EQ(KZUMakeCommand(6, {"00 11 22 33 44 55", "10.0.0.2"}, out), "");
  EXPECT_EQ(out.boxes.size(), 2u);
}

TEST_F(KzuMakeCommandTest, RawHexIsCaseInsensitive) {
  EXPECT_EQ(Make(15, {"01 fe 03 00 01 01 fe 15 ff 00 00 00"}), Make(0));
}

TEST_F(KzuMakeCommandTest, UnknownCommandNumbersGiveNothingAndNoBox) {
  EXPECT_EQ(KZUMakeCommand(16, {}, out), "");
  EXPECT_EQ(KZUMakeCommand(-1, {}, out), "");
  EXPECT_TRUE(out.boxes.empty());
}

TEST(MakeHexTest, KeepsTheLowByteOfTheRoundedValue) {
  RecordingOutput out;
  EXPECT_EQ(MakeHex("256", out), " 00");
  EXPECT_EQ(MakeHex("12", out), " 0C");
  EXPECT_EQ(MakeHex("300", out), " 2C");
  EXPECT_EQ(MakeHex("-1", out), " FF");
  EXPECT_EQ(MakeHex("5", out), " 05");
  EXPECT_EQ(MakeHex("2.5", out), " 02");  // half to even
  EXPECT_EQ(MakeHex("3.5", out), " 04");
  EXPECT_TRUE(out.boxes.empty());
}

TEST(MakeHexTest, NonNumericOrTooLargeShowsTheBoxAndGivesNothing) {
  RecordingOutput out;
  EXPECT_EQ(MakeHex("x", out), "");
  EXPECT_EQ(MakeHex("3000000000", out), "");
  ASSERT_EQ(out.boxes.size(), 2u);
  EXPECT_EQ(out.boxes[0], std::make_pair(std::string("KZUConfig->MakeHex"), std::string("Type mismatch")));
  EXPECT_EQ(out.boxes[1], std::make_pair(std::string("KZUConfig->MakeHex"), std::string("Overflow")));
}

TEST(KzuDoCommandTest, EmptyPieceFromTwoSpacesIsSkippedWithOneBox) {
  RecordingOutput out;
  EXPECT_EQ(StrToHex(KZUDoCommand("01  02", out)), "01 02");
  ASSERT_EQ(out.boxes.size(), 1u);
  EXPECT_EQ(out.boxes[0], std::make_pair(std::string("KZUConfig->KZUHex"), std::string("Invalid Hex Number")));
}

TEST(KzuDoCommandTest, ShortPieceIsSkipped) {
  RecordingOutput out;
  EXPECT_EQ(StrToHex(KZUDoCommand("1 02", out)), "02");
  EXPECT_EQ(out.boxes.size(), 1u);
}

TEST(KzuDoCommandTest, AtMostAHundredBytesAndTheLastPieceKeepsTheRest) {
  RecordingOutput out;
  std::string text;
  for (int i = 0; i < 150; ++i) {
    if (i) text += ' ';
    text += i < 99 ? "AA" : "BB";
  }
  const auto bytes = KZUDoCommand(text, out);
  ASSERT_EQ(bytes.size(), 100u);
  EXPECT_EQ(static_cast<unsigned char>(bytes[98]), 0xAA);
  EXPECT_EQ(static_cast<unsigned char>(bytes[99]), 0xBB);
  EXPECT_TRUE(out.boxes.empty());
}

TEST(KzuHexTest, UsesTheFirstTwoCharactersOnly) {
  RecordingOutput out;
  EXPECT_EQ(KZUHex("A5ZZ", out), static_cast<char>(0xA5));
  EXPECT_EQ(KZUHex("", out), std::nullopt);
  EXPECT_EQ(KZUHex("G0", out), std::nullopt);
  EXPECT_EQ(KZUHex("a0", out), std::nullopt);  // upper case only; KZUDoCommand upper-cases first
  EXPECT_EQ(out.boxes.size(), 3u);
}

TEST(StrToHexTest, WritesUpperCasePairsWithoutOuterSpaces) {
  EXPECT_EQ(StrToHex("abc"), "61 62 63");
  EXPECT_EQ(StrToHex(std::string("\x00\xFF", 2)), "00 FF");
  EXPECT_EQ(StrToHex(""), "");
}

TEST(IsValidIpTest, FourDecimalPartsUpTo255) {
  EXPECT_TRUE(IsValidIP("10.0.0.1"));
  EXPECT_TRUE(IsValidIP("255.255.255.255"));
  EXPECT_FALSE(IsValidIP("10.0.0.256"));
  EXPECT_FALSE(IsValidIP("a.b.c.d"));
  EXPECT_FALSE(IsValidIP("10.0.0"));
  EXPECT_FALSE(IsValidIP(""));
  EXPECT_FALSE(IsValidIP("10..0.1"));
}

TEST(IsValidIpTest, RefusesNumbersNoSocketCouldUse) {
  EXPECT_FALSE(IsValidIP("1.2.3.4.5"));
  EXPECT_FALSE(IsValidIP("1e2.0.0.1"));
  EXPECT_FALSE(IsValidIP("-0.0.0.1"));
  EXPECT_FALSE(IsValidIP("+1.0.0.1"));
  EXPECT_FALSE(IsValidIP("1.0.0.1 "));
}

TEST(HexToDecTest, EitherCaseAndSignedRange) {
  EXPECT_EQ(HexToDec("1F"), 31);
  EXPECT_EQ(HexToDec("1f"), 31);
  EXPECT_EQ(HexToDec("1G"), -1);
  EXPECT_EQ(HexToDec("80000000"), -1);
  EXPECT_EQ(HexToDec("7FFFFFFF"), 2147483647);
  EXPECT_EQ(HexToDec("000000000000001"), 1);
  EXPECT_EQ(HexToDec("100000000"), -1);
  EXPECT_EQ(HexToDec(""), 0);
}

TEST(DecToHex8Test, EightDigitsOrMinusOne) {
  EXPECT_EQ(DecToHex8("255"), "000000FF");
  EXPECT_EQ(DecToHex8("-1"), "FFFFFFFF");
  EXPECT_EQ(DecToHex8("x"), "-1");
  EXPECT_EQ(DecToHex8(""), "-1");
  EXPECT_EQ(DecToHex8("1e20"), "-1");
}

}  // namespace
}  // namespace ralvek::console
