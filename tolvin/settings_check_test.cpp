#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "ini/settings_check_fixture.h"
#include "settings.h"

namespace ralvek::tolvin {
namespace {

class CheckSettings : public ini::SettingsCheckFixture {
 protected:
  CheckSettings() : SettingsCheckFixture("tolvin.ini", check_settings) {}
};

TEST_F(CheckSettings, SloppyButStartableFileIsReportedAsReadWithEveryWarningAndNothingChanged) {
  const std::string text =
      "[tolvin]\nfile_interval=abc\nlocal_port=5005x\nlocal_port=6000\nlocl_port=7000\n"
      "127.0.0.20=1\n127.0.0.021=2\n10.0.0.5,UDP=3\n10.0.0.6=5000\nstray words\n[tolvn]\nx=1\n";
  write(text);
  EXPECT_EQ(check(), 0) << out_;
  EXPECT_TRUE(says(file() + ":2: warning: file_interval: \"abc\" has no leading number, read as 0"));
  EXPECT_TRUE(says("file_interval = 0 (no timed rotation)  (line 2)"));
  EXPECT_TRUE(says(file() + ":3: warning: local_port: \"5005x\" is read as 5005"));
  EXPECT_TRUE(says("local_port = 5005  (line 3)"));
  EXPECT_TRUE(says(file() + ":4: warning: local_port: written again; only the first (line 3) is used"));
  EXPECT_TRUE(says(file() + ":5: warning: locl_port: unknown key, ignored"));
  EXPECT_TRUE(says("disconnect_interval = 28800 s  (default)"));
  EXPECT_TRUE(says("site 1: 127.0.0.20 TCP  (line 6)"));
  EXPECT_TRUE(says(file() + ":7: warning: 127.0.0.021: \"127.0.0.021\" is not an address"));
  EXPECT_TRUE(says(file() + ":8: warning: 10.0.0.5,UDP: \"UDP\" after the comma is not exactly \"udp\""));
  EXPECT_TRUE(says(file() + ":9: warning: 10.0.0.6: site number 5000 is 1000 or more"));
  EXPECT_TRUE(says(file() + ":10: warning: \"stray words\" is ignored"));
  EXPECT_TRUE(says(file() + ":11: warning: section [tolvn] is not read by this program"));
  EXPECT_TRUE(says("9 warnings, 0 errors: the start would succeed")) << out_;

  std::ifstream in(file(), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), text);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);  // no lock, no data/
}

TEST_F(CheckSettings, WhatFailsTheStartIsAnErrorNamingBothLines) {
  write("[tolvin]\nmax_count=40000\n10.0.0.5=1\n10.0.0.5,udp=2\n10.0.0.7=1\n10.0.0.8=0\n");
  EXPECT_EQ(check(), 1);
  EXPECT_TRUE(says(file() + ":2: error: max_count: \"40000\": Overflow; the start fails"));
  EXPECT_TRUE(says(file() + ":4: error: 10.0.0.5,udp: address 10.0.0.5 already has a site (line 3)"));
  EXPECT_TRUE(says(file() + ":5: error: 10.0.0.7: TCP site 1 is already used (line 3)"));
  EXPECT_TRUE(says(file() + ":6: error: 10.0.0.8: a TCP site must be 1 to 999"));
  EXPECT_TRUE(says("4 errors: the start would fail"));
}

TEST_F(CheckSettings, AMissingFileAFileWithoutSectionsAndAnotherSectionAreToldApart) {
  EXPECT_EQ(check(), 1);
  EXPECT_TRUE(says(file() + ": error: file not found"));
  write("; only comments\nfile_interval=600\n");
  EXPECT_EQ(check(), 1);
  EXPECT_TRUE(says(file() + ": error: the file holds no section at all (no [tolvin] line)"));
  write("[Tolvin Service]\nfile_interval=600\n");
  EXPECT_EQ(check(), 1);
  EXPECT_TRUE(says(file() + ": error: no section [tolvin]; the start fails"));
  EXPECT_TRUE(says(file() + ":1: warning: section [Tolvin Service] is not read by this program"));
}

TEST_F(CheckSettings, HostileFileGivesShortLinesAndTheStartsVerdict) {
  const std::string mebibyte(1 << 20, '7');
  std::string text = "[tolvin]\n10.0.0.5=" + mebibyte + "\nmax_count=" + mebibyte + "\n" +
                     std::string(1 << 20, 'k') + "=1\n" + std::string("\x01\xff\x00garbage\n", 11);
  for (int i = 0; i < 10000; ++i) text += "10.1." + std::to_string(i / 250) + "." + std::to_string(i % 250) + ",udp=5\n";
  write(text);
  EXPECT_EQ(check(), 1);
  EXPECT_TRUE(says(file() + ":2: error: 10.0.0.5: Overflow; the start fails"));
  EXPECT_TRUE(says(file() + ":3: error: max_count: \"" + std::string(60, '7') + "...\": Overflow"));
  EXPECT_TRUE(says(file() + ":4: warning: " + std::string(60, 'k') + "...: unknown key, ignored"));
  EXPECT_TRUE(says("site 5: 10.1.39.249 UDP  (line 10005)"));
  size_t longest = 0;
  for (size_t at = 0, end; at < out_.size(); at = end + 1) {
    end = out_.find('\n', at);
    longest = std::max(longest, end - at);
  }
  EXPECT_LT(longest, 600u);
}

}  // namespace
}  // namespace ralvek::tolvin
