#include "settings.h"

#include <gtest/gtest.h>

#include "vb/vb.h"

namespace ralvek::quendor {
namespace {

std::string error_text(const std::string& value) {
  try {
    split_host_port(value);
  } catch (const vb::VbError& e) {
    return e.what();
  }
  return "no error";
}

TEST(FileInterval, AbsoluteRoundedValueWithSixtyForFifteenOrLess) {
  EXPECT_EQ(file_interval_seconds("120"), 120);
  EXPECT_EQ(file_interval_seconds("10"), 60);
  EXPECT_EQ(file_interval_seconds("15"), 60);
  EXPECT_EQ(file_interval_seconds("16"), 16);
  EXPECT_EQ(file_interval_seconds("-200"), 200);
  EXPECT_EQ(file_interval_seconds("-15"), 60);
  EXPECT_EQ(file_interval_seconds("300 seconds"), 300);
  EXPECT_EQ(file_interval_seconds("abc"), 60);
  EXPECT_EQ(file_interval_seconds(""), 60);
  EXPECT_EQ(file_interval_seconds("120.5"), 120);  // half to even
  EXPECT_EQ(file_interval_seconds("121.5"), 122);
  EXPECT_THROW(file_interval_seconds("3000000000"), vb::VbError);
}

TEST(ExchangeNumber, KeyNamesWithANumberAboveZeroAreExchanges) {
  EXPECT_EQ(exchange_number("1"), 1);
  EXPECT_EQ(exchange_number("01"), 1);
  EXPECT_EQ(exchange_number(" 7"), 7);
  EXPECT_EQ(exchange_number("2abc"), 2);
  EXPECT_EQ(exchange_number("1.5"), 2);
  EXPECT_EQ(exchange_number("32767"), 32767);
  EXPECT_EQ(exchange_number("file_interval"), 0);
  EXPECT_EQ(exchange_number("keepalive_idle"), 0);
  EXPECT_EQ(exchange_number("0"), 0);
  EXPECT_EQ(exchange_number("0.4"), 0);
  EXPECT_EQ(exchange_number("-3"), 0);
  EXPECT_THROW(exchange_number("40000"), vb::VbError);
}

TEST(HostPort, HostAloneUsesPort1201) {
  auto hp = split_host_port("192.0.2.20");
  EXPECT_EQ(hp.host, "192.0.2.20");
  EXPECT_EQ(hp.port, 1201);
  EXPECT_EQ(split_host_port("pbx-north.example").host, "pbx-north.example");
}

TEST(HostPort, HostAndPort) {
  auto hp = split_host_port("192.0.2.21:1202");
  EXPECT_EQ(hp.host, "192.0.2.21");
  EXPECT_EQ(hp.port, 1202);
  EXPECT_EQ(split_host_port("h: 80").port, 80);
}

TEST(HostPort, WrongNumberOfPartsIsAnInvalidIpWithTheWholeValue) {
  EXPECT_EQ(error_text("192.0.2.20:1201:9"), "Invalid IP: 192.0.2.20:1201:9");
  EXPECT_EQ(error_text("a:b:c:d"), "Invalid IP: a:b:c:d");
  EXPECT_EQ(error_text(""), "Invalid IP: ");
  EXPECT_EQ(error_text(":1201"), "Invalid IP: :1201");
  try {
    split_host_port("1:2:3");
    FAIL();
  } catch (const vb::VbError& e) {
    EXPECT_EQ(e.number(), vb::kProgramError);
  }
}

TEST(HostPort, PortMustBeAWholeNumberInRange) {
  EXPECT_EQ(error_text("192.0.2.20:abc"), "Type mismatch");
  EXPECT_EQ(error_text("192.0.2.20:12ab"), "Type mismatch");
  EXPECT_EQ(error_text("192.0.2.20:"), "Type mismatch");
  EXPECT_EQ(error_text("192.0.2.20:0x10"), "Type mismatch");
  EXPECT_EQ(error_text("192.0.2.20:0"), "Invalid port number: 0");
  EXPECT_EQ(error_text("192.0.2.20:70000"), "Invalid port number: 70000");
  EXPECT_THROW(split_host_port("192.0.2.20:99999999999"), vb::VbError);
}

TEST(KeepAlive, DefaultsAndOverrides) {
  ini::IniFile ini;
  ini.parse("[TCP Service]\nfile_interval=30\n");
  auto defaults = read_keepalive(ini);
  EXPECT_EQ(defaults.idle, 60);
  EXPECT_EQ(defaults.interval, 10);
  EXPECT_EQ(defaults.count, 3);
  ini.parse("[TCP Service]\nkeepalive_idle=2\nkeepalive_interval=1\nkeepalive_count=0\n");
  auto set = read_keepalive(ini);
  EXPECT_EQ(set.idle, 2);
  EXPECT_EQ(set.interval, 1);
  EXPECT_EQ(set.count, 3);  // below 1 keeps the default: keepalive cannot be switched off
}

}  // namespace
}  // namespace ralvek::quendor
