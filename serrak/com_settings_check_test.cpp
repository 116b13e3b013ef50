#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "ini/settings_check_fixture.h"
#include "com_settings.h"

namespace ralvek::serrak {
namespace {

class CheckSettings : public ini::SettingsCheckFixture {
 protected:
  CheckSettings() : SettingsCheckFixture("serrak.ini", check_settings) {}
};

TEST_F(CheckSettings, StrictKeysFailTheStartAndLenientOnesAreReportedAsRead) {
  write("[COM Service]\nsiteid=12b\ncom_port=COM1\ncom_rts=yes\ncom_handshaking=7\n"
        "com_settings=9600,x,8,1\ndelete_temp_files=no\ncom_speed=9600\n");
  EXPECT_EQ(check(), 1) << out_;
  EXPECT_TRUE(says("siteid = 12b  (line 2)"));
  EXPECT_TRUE(says(file() + ":2: warning: siteid: the site ID is used as written"));
  EXPECT_TRUE(says(file() + ":3: error: com_port: \"COM1\": Type mismatch; the start fails"));
  EXPECT_TRUE(says(file() + ":4: error: com_rts: \"yes\": Type mismatch"));
  EXPECT_TRUE(says(file() + ":5: error: com_handshaking: \"7\": Invalid property value"));
  EXPECT_TRUE(says(file() + ":6: error: com_settings: \"9600,x,8,1\": Invalid COM settings"));
  EXPECT_TRUE(says(file() + ":7: warning: delete_temp_files: \"no\" has no leading number, read as 0"));
  EXPECT_TRUE(says(file() + ":8: warning: com_speed: unknown key, ignored"));
  EXPECT_TRUE(says("com_interval = 45 s  (default)"));
  EXPECT_TRUE(says("4 errors: the start would fail"));
}

TEST_F(CheckSettings, AFileWithAnotherSectionFallsBackToDefaultsAndItsSiteIdFails) {
  write("[COM]\nsiteid=1\n");
  EXPECT_EQ(check(), 1);
  EXPECT_TRUE(says(file() + ": warning: no section [COM Service]: every key takes its default"));
  EXPECT_TRUE(says(file() + ": error: siteid: \"0\": Invalid Site ID: 0; the start fails"));
  write("[COM Service]\nsiteid=1\ncom_device=/dev/null\n");
  EXPECT_EQ(check(), 0) << out_;
  EXPECT_TRUE(says("device: /dev/null"));
  EXPECT_TRUE(says("script: none"));
}

}  // namespace
}  // namespace ralvek::serrak
