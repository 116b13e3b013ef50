#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "ini/settings_check_fixture.h"
#include "settings.h"

namespace ralvek::quendor {
namespace {

class CheckSettings : public ini::SettingsCheckFixture {
 protected:
  CheckSettings() : SettingsCheckFixture("quendor.ini", check_settings) {}
};

TEST_F(CheckSettings, ExchangesAreListedAndTheirFaultsNamedByLine) {
  write("[TCP Service]\nfile_interval=10\n1=192.0.2.20\n01=192.0.2.21\n2=PBX-A:1202\n3=pbx-a\n"
        "4=192.0.2.300\n5=192.0.2.22:http\nkeepalive_idle=0\nfile_intervall=300\n");
  EXPECT_EQ(check(), 1) << out_;
  EXPECT_TRUE(says("file_interval = 60 s  (line 2)"));
  EXPECT_TRUE(says(file() + ":2: warning: file_interval: 15 s or less is replaced by 60 s"));
  EXPECT_TRUE(says("exchange 1: 192.0.2.20:1201  (line 3)"));
  EXPECT_TRUE(says(file() + ":4: error: 01: exchange 1 is already configured (line 3)"));
  EXPECT_TRUE(says("exchange 2: PBX-A:1202  (line 5)"));
  EXPECT_TRUE(says(file() + ":6: error: 3: host pbx-a is already configured (line 5)"));
  EXPECT_TRUE(says(file() + ":7: warning: 4: \"192.0.2.300\" is not a valid address"));
  EXPECT_TRUE(says(file() + ":8: error: 5: Type mismatch: 5=192.0.2.22:http; the start fails"));
  EXPECT_TRUE(says(file() + ":9: warning: keepalive_idle: below 1 or too large: the default 60 is used"));
  EXPECT_TRUE(says(file() + ":10: warning: file_intervall: unknown key, ignored"));
  EXPECT_TRUE(says("4 warnings, 3 errors: the start would fail"));
}

TEST_F(CheckSettings, AFileWithoutTheSectionStartsWithNoExchanges) {
  write("[TCP]\n1=192.0.2.20\n");
  EXPECT_EQ(check(), 0) << out_;
  EXPECT_TRUE(says(file() + ": warning: no section [TCP Service]: every key takes its default"));
  EXPECT_TRUE(says("no exchanges: the service connects to nothing"));
}

}  // namespace
}  // namespace ralvek::quendor
