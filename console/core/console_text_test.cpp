#include "console_text.h"

#include <gtest/gtest.h>

namespace ralvek::console {
namespace {

TEST(ConsoleEscapesTest, BackslashNAndTInEitherCase) {
  EXPECT_EQ(ExpandConsoleEscapes("a\\nb"), "a\r\nb");
  EXPECT_EQ(ExpandConsoleEscapes("a\\Nb\\Tc"), "a\r\nb\tc");
  EXPECT_EQ(ExpandConsoleEscapes("C:\\Temp"), "C:\temp");
  EXPECT_EQ(ExpandConsoleEscapes("end\\"), "end\\");
}

TEST(ConsoleSizeTest, OverFiftyThousandKeepsTheTextFromCharacter45000) {
  std::string text(50000, 'a');
  ApplyConsoleSize(text);
  EXPECT_EQ(text.size(), 50000u);
  text.push_back('b');
  text[44999] = 'k';
  ApplyConsoleSize(text);
  EXPECT_EQ(text.size(), 5002u);
  EXPECT_EQ(text.front(), 'k');
  EXPECT_EQ(text.back(), 'b');
}

TEST(WrapTextTest, CutsTrimsAndStopsAtTheFirstEmptyPiece) {
  EXPECT_EQ(WrapText("Reply from 127.0.0.1", 40), "Reply from 127.0.0.1\r\n");
  EXPECT_EQ(WrapText("abcdef", 4), "abcd\r\nef\r\n");
  EXPECT_EQ(WrapText("ab\r\ncd", 40), "abcd\r\n");
  EXPECT_EQ(WrapText("ab      cd", 4), "ab\r\n");  // the all-blank middle piece ends it
  EXPECT_EQ(WrapText("", 40), "");
  EXPECT_EQ(WrapText("abc", 0), "");
  EXPECT_EQ(WrapText(std::string(100, 'x'), 1).size(), 29u * 3);
}

TEST(PingReplyLinesTest, SystemPingBecomesReplyLines) {
  const std::string output =
      "PING localhost (127.0.0.1) 56(84) bytes of data.\n"
      "64 bytes from localhost (127.0.0.1): icmp_seq=1 ttl=64 time=0.045 ms\n"
      "\n--- localhost ping statistics ---\n1 packets transmitted, 1 received, 0% packet loss, time 0ms\n";
  EXPECT_EQ(PingReplyLines(output), "Reply from 127.0.0.1: bytes=64 time=0.045ms TTL=64\r\n");
  EXPECT_EQ(PingReplyLines("64 bytes from 10.0.0.1: icmp_seq=1 ttl=63 time=1.2 ms\n"),
            "Reply from 10.0.0.1: bytes=64 time=1.2ms TTL=63\r\n");
  EXPECT_EQ(PingReplyLines("From 10.0.0.5 icmp_seq=1 Destination Host Unreachable\n"),
            "Reply from 10.0.0.5: Destination host unreachable.\r\n");
  EXPECT_EQ(PingReplyLines("1 packets transmitted, 0 received, 100% packet loss\n"), "");
}

TEST(ArpTableLinesTest, CompleteEntriesInTheTableForm) {
  const std::string table =
      "IP address       HW type     Flags       HW address            Mask     Device\n"
      "192.0.2.1        0x1         0x2         52:54:00:AB:cd:01     *        eth0\n"
      "192.0.2.9        0x1         0x0         00:00:00:00:00:00     *        eth0\n";
  EXPECT_EQ(ArpTableLines(table), "  192.0.2.1   52-54-00-ab-cd-01   dynamic\r\n");
  EXPECT_EQ(ArpTableLines(""), "");
}

TEST(ArpDisplayLineTest, CutsAfterTheHardwareAddressAndFoldsSpaces) {
  EXPECT_EQ(ArpDisplayLine("  192.0.2.1   52-54-00-ab-cd-01   dynamic\r\n"), "  192.0.2.1 52-54-00-ab-cd-01");
  EXPECT_EQ(ArpDisplayLine("Interface: 10.0.0.5 --- 0xb"), "Interface: 10.0.0.5 --- 0");
  EXPECT_EQ(ArpDisplayLine("no dash here"), std::nullopt);
  EXPECT_EQ(ArpDisplayLine("a-"), "a-");
}

}  // namespace
}  // namespace ralvek::console
