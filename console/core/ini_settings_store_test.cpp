#include "ini_settings_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "vb_text.h"

namespace ralvek::console {
namespace {

class IniSettingsStoreTest : public ::testing::Test {
 protected:
  IniSettingsStoreTest() {
    dir = std::filesystem::temp_directory_path() /
          ("console_ini_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir);
    file = dir / "ralvek" / "console.ini";
  }
  ~IniSettingsStoreTest() override { std::filesystem::remove_all(dir); }
  std::string Contents() const {
    std::ifstream in(file);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  std::filesystem::path dir;
  std::filesystem::path file;
};

TEST_F(IniSettingsStoreTest, MissingFileGivesDefaultsAndSavingCreatesIt) {
  IniSettingsStore store(file);
  EXPECT_EQ(store.GetSetting("KZUIP", "127.0.0.1"), "127.0.0.1");
  store.SaveSetting("KZUIP", "10.0.0.5");
  store.SaveSetting("RecvIP", "10.0.0.6");
  store.SaveSetting("KZUIP", "10.0.0.7");
  EXPECT_EQ(Contents(), "[Config]\nKZUIP=10.0.0.7\nRecvIP=10.0.0.6\n");
  EXPECT_EQ(IniSettingsStore(file).GetSetting("KZUIP", ""), "10.0.0.7");
}

TEST_F(IniSettingsStoreTest, OtherSectionsAndKeysAreKept) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file) << "[Other]\nKZUIP=1.1.1.1\n\n[config]\n kzuip = 10.0.0.1 \nColour=green\n\n[Last]\nx=y\n";
  IniSettingsStore store(file);
  EXPECT_EQ(store.GetSetting("KZUIP", ""), "10.0.0.1");
  store.SaveSetting("RecvIP", "10.0.0.2");
  EXPECT_EQ(Contents(),
            "[Other]\nKZUIP=1.1.1.1\n\n[config]\n kzuip = 10.0.0.1 \nColour=green\nRecvIP=10.0.0.2\n\n[Last]\nx=y\n");
}

TEST_F(IniSettingsStoreTest, UnwritableLocationThrows) {
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "ralvek") << "a file where the folder should be";
  IniSettingsStore store(file);
  EXPECT_THROW(store.SaveSetting("KZUIP", "10.0.0.1"), RunTimeError);
}

TEST(IniSettingsStorePathTest, FollowsXdgConfigHomeThenHome) {
  const char* saved_xdg = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = saved_xdg ? saved_xdg : "";
  const char* saved_home_env = std::getenv("HOME");
  const std::string saved_home = saved_home_env ? saved_home_env : "";
  setenv("XDG_CONFIG_HOME", "/tmp/xdg-test", 1);
  EXPECT_EQ(IniSettingsStore::DefaultPath(), "/tmp/xdg-test/ralvek/console.ini");
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", "/tmp/home-test", 1);
  EXPECT_EQ(IniSettingsStore::DefaultPath(), "/tmp/home-test/.config/ralvek/console.ini");
  if (saved_xdg) setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  if (saved_home_env) setenv("HOME", saved_home.c_str(), 1);
}

}  // namespace
}  // namespace ralvek::console
