#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "ini/settings_check_fixture.h"
#include "settings.h"

namespace ralvek::brastel {
namespace {

class CheckSettings : public ini::SettingsCheckFixture {
 protected:
  CheckSettings() : SettingsCheckFixture("brastel.ini", check_settings) {}
};

TEST_F(CheckSettings, LenientNumbersAndMissingPlacesAreWarnedAboutTheStartStillSucceeds) {
  write("[Service]\nProcessInterval=5min\nDebugMode=yes\nRemotePath=" + (dir_ / "gone").string() +
        "\nLocalPath=" + dir_.string() + "\nExtension=.dat\nRemotePth=/mnt\n");
  EXPECT_EQ(check(), 0) << out_;
  EXPECT_TRUE(says("ProcessInterval = 5 min  (line 2)"));
  EXPECT_TRUE(says(file() + ":2: warning: ProcessInterval: \"5min\" is read as 5: \"min\" after the number is ignored"));
  EXPECT_TRUE(says(file() + ":3: warning: DebugMode: \"yes\" has no leading number, read as 0"));
  EXPECT_TRUE(says("Extension = DAT  (line 6)"));
  EXPECT_TRUE(says(file() + ":7: warning: RemotePth: unknown key, ignored"));
  EXPECT_TRUE(says(file() + ": warning: RemotePath: folder " + (dir_ / "gone").string() + " does not exist"));
  EXPECT_TRUE(says("4 warnings, 0 errors: the start would succeed"));
}

TEST_F(CheckSettings, NeitherCopyNorBatchFailsTheStartAsItDoes) {
  write("[Service]\nUseFileSystemObject=0\nMaxErrCount=99999999999\n");
  EXPECT_EQ(check(), 1);
  EXPECT_TRUE(says(file() + ":3: error: MaxErrCount: \"99999999999\": Overflow; the start fails"));
  write("[Service]\nUseFileSystemObject=0\n");
  EXPECT_EQ(check(), 1);
  EXPECT_TRUE(says("error: Incorrect service parameters."));
}

}  // namespace
}  // namespace ralvek::brastel
