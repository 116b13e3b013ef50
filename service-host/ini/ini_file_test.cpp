#include "ini/ini_file.h"

#include <gtest/gtest.h>

#include <fstream>

namespace ralvek::ini {
namespace {

IniFile parsed(std::string_view text) {
  IniFile ini;
  ini.parse(text);
  return ini;
}

TEST(IniFile, KeysComeBackInFileOrderWithValuesAsWritten) {
  auto ini = parsed("[tolvin]\nfile_interval=600\n10.0.0.5 = 3 \n10.0.0.6,udp=04\n");
  const auto& keys = ini.section("tolvin").keys;
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys[0].name, "file_interval");
  EXPECT_EQ(keys[1].name, "10.0.0.5");
  EXPECT_EQ(keys[1].value, "3");
  EXPECT_EQ(keys[2].name, "10.0.0.6,udp");
  EXPECT_EQ(keys[2].value, "04");
}

TEST(IniFile, WindowsStyleFileWithBomCrLfCommentsAndMixedCase) {
  auto ini = parsed("\xEF\xBB\xBF; settings\r\n[Tolvin]\r\n\r\n# note\r\nLocal_Port\t=\t5006\r\n");
  EXPECT_EQ(ini.count(), 1);
  EXPECT_EQ(ini.read_value("TOLVIN", "local_port", "5005"), "5006");
  EXPECT_EQ(ini.section("tolvin").keys.size(), 1u);
}

TEST(IniFile, MissingKeyOrSectionGivesTheDefault) {
  auto ini = parsed("[a]\nx=1\n");
  EXPECT_EQ(ini.read_value("a", "y", "dflt"), "dflt");
  EXPECT_EQ(ini.read_value("b", "x", "dflt"), "dflt");
  EXPECT_EQ(ini.read_value("a", "x", "dflt"), "1");
}

TEST(IniFile, LookingUpAMissingSectionFails) {
  auto ini = parsed("[a]\nx=1\n");
  EXPECT_THROW(ini.section("tolvin"), SectionNotFound);
}

TEST(IniFile, RepeatedKeyReadsFirstButListsBoth_RepeatedSectionMerges) {
  auto ini = parsed("[a]\nx=1\n[b]\n[A]\nx=2\n");
  EXPECT_EQ(ini.count(), 2);
  EXPECT_EQ(ini.read_value("a", "x", ""), "1");
  EXPECT_EQ(ini.section("a").keys.size(), 2u);
}

TEST(IniFile, GarbageLinesAndKeysBeforeAnySectionAreIgnored) {
  auto ini = parsed("orphan=1\n[a\nnot a key\n=novalue\nk=v=w\n");
  EXPECT_EQ(ini.count(), 1);
  ASSERT_EQ(ini.section("a").keys.size(), 1u);
  EXPECT_EQ(ini.section("a").keys[0].value, "v=w");
}

TEST(IniFile, MissingOrEmptyFileCountsBelowOne) {
  auto dir = std::filesystem::temp_directory_path() / ("ini_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  IniFile missing;
  missing.set_file_path(dir / "none.ini");
  EXPECT_LT(missing.count(), 1);
  EXPECT_EQ(missing.file_path(), (dir / "none.ini").string());

  std::ofstream(dir / "empty.ini").flush();
  IniFile empty;
  empty.set_file_path(dir / "empty.ini");
  EXPECT_LT(empty.count(), 1);

  std::ofstream(dir / "good.ini") << "[s]\nk=v\n";
  IniFile good;
  good.set_file_path(dir / "good.ini");
  EXPECT_EQ(good.read_value("s", "k", ""), "v");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace ralvek::ini
