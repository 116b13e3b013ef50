#include "settings.h"

#include <gtest/gtest.h>

#include "vb/vb.h"

namespace ralvek::tolvin {
namespace {

ini::IniFile ini_of(std::string_view text) {
  ini::IniFile ini;
  ini.parse(text);
  return ini;
}

struct Built {
  SiteTable table;
  std::vector<std::pair<int, std::string>> tcp;
};

Built build(std::string_view text) {
  Built b;
  auto ini = ini_of(text);
  b.table = build_site_table(ini.section("tolvin"), [&](std::int16_t site, const std::string& v) {
    b.tcp.emplace_back(site, v);
  });
  return b;
}

std::string error_of(std::string_view text) {
  try {
    build(text);
  } catch (const vb::VbError& e) {
    return e.what();
  }
  return "";
}

TEST(ReadSettings, DefaultsAndConversions) {
  auto s = read_settings(ini_of("[tolvin]\n"));
  EXPECT_EQ(s.lngFileInterval, 600);
  EXPECT_EQ(s.lngDisconnectInterval, 28800);
  EXPECT_EQ(s.local_port, 5005);
  EXPECT_EQ(s.strLineEnd, "");
  EXPECT_EQ(s.intMaxCount, 0);
  EXPECT_EQ(s.udp_buffer_kb, 8192);

  s = read_settings(ini_of("[tolvin]\nfile_interval=2.5\ndisconnect_interval=40000\n"
                           "local_port= 6001x\nappend_return=-1\nmax_count=abc\n"));
  EXPECT_EQ(s.lngFileInterval, 2);
  EXPECT_EQ(s.lngDisconnectInterval, 40000);
  EXPECT_EQ(s.local_port, 6001);
  EXPECT_EQ(s.strLineEnd, "\r\n");
  EXPECT_EQ(s.intMaxCount, 0);
  EXPECT_THROW(read_settings(ini_of("[tolvin]\nmax_count=32768\n")), vb::VbError);
  // 0 or less keeps the system's buffer; beyond 1 GiB is taken as 1 GiB.
  EXPECT_EQ(read_settings(ini_of("[tolvin]\nudp_buffer_kb=-5\n")).udp_buffer_kb, 0);
  EXPECT_EQ(read_settings(ini_of("[tolvin]\nudp_buffer_kb=99999999\n")).udp_buffer_kb, 1024 * 1024);
}

TEST(SiteTable, TcpAndUdpEntriesInFileOrder) {
  auto b = build("[tolvin]\nfile_interval=600\n192.168.1.20=1\n192.168.1.21,udp=2\n"
                 "10.0.0.5,UDP=3\n10.0.0.6, udp=4\n10.0.0.7,udp,extra=5\n10.0.0.8=007\n");
  EXPECT_EQ(b.tcp, (std::vector<std::pair<int, std::string>>{{1, "1"}, {3, "3"}, {4, "4"}, {7, "007"}}));
  EXPECT_EQ(b.table.dicSites.at("192.168.1.21"), "2");
  EXPECT_EQ(b.table.dicSites.at("10.0.0.7"), "5");
  EXPECT_EQ(b.table.dicSites.at("10.0.0.8"), "007");
  EXPECT_EQ(b.table.intMaxSite, 7);
}

TEST(SiteTable, KeysThatAreNotSitesAreIgnoredSilently) {
  auto b = build("[tolvin]\n10.0.0.5=1000\n10.0.0=3\nlocal_port=5005\ndisconnect_interval=40000\n");
  EXPECT_TRUE(b.table.dicSites.empty());
  EXPECT_TRUE(b.tcp.empty());
  EXPECT_EQ(b.table.intMaxSite, 0);
}

TEST(SiteTable, DuplicateAddressNamesBothSites) {
  EXPECT_EQ(error_of("[tolvin]\n10.0.0.5=3\n10.0.0.5,udp=4\n"), "Duplicate IP: 10.0.0.5 for site 4 and 3");
}

TEST(SiteTable, SiteNumberBeyond16BitsIsAnOverflow) {
  EXPECT_EQ(error_of("[tolvin]\n10.0.0.5=40000\n"), "Overflow");
}

TEST(SiteTable, SeveralUdpEntriesMayShareASiteNumber) {
  auto b = build("[tolvin]\n10.0.0.1,udp=2\n10.0.0.2,udp=2\n10.0.0.3=2\n");
  EXPECT_EQ(b.table.dicSites.size(), 3u);
  EXPECT_EQ(b.tcp.size(), 1u);
}

}  // namespace
}  // namespace ralvek::tolvin
