#include "settings.h"

#include <gtest/gtest.h>

#include "vb/vb.h"

namespace ralvek::brastel {
namespace {

ServiceSettings read(const std::string& body) {
  ini::IniFile ini;
  ini.parse("[Service]\n" + body);
  return read_settings(ini, "/opt/ralvek");
}

TEST(BrastelSettings, MissingKeysTakeTheirDefaults) {
  ServiceSettings s = read("");
  EXPECT_EQ(s.lngProcessInterval, 30);
  EXPECT_TRUE(s.blnUseFSO);
  EXPECT_FALSE(s.blnDebugMode);
  EXPECT_EQ(s.strBatchFile, "");
  EXPECT_EQ(s.strLocalPath, "/opt/ralvek/data/*.dat");
  EXPECT_EQ(s.strRemotePath, "");
  EXPECT_EQ(s.strExtension, "DAT");
  EXPECT_EQ(s.strAdminAlert, "");
  EXPECT_EQ(s.lngMaxErrCount, 0);
}

TEST(BrastelSettings, NumbersAreTheLeadingNumberRoundedHalfToEven) {
  ServiceSettings s =
      read("ProcessInterval=2.5 minutes\nMaxErrCount=3.5\nUseFileSystemObject=abc\nDebugMode=-1\n");
  EXPECT_EQ(s.lngProcessInterval, 2);
  EXPECT_EQ(s.lngMaxErrCount, 4);
  EXPECT_FALSE(s.blnUseFSO);  // no leading number: 0
  EXPECT_TRUE(s.blnDebugMode);
}

TEST(BrastelSettings, ANumberBeyond32BitsIsAnOverflow) {
  EXPECT_THROW(read("ProcessInterval=3000000000\n"), vb::VbError);
  try {
    read("MaxErrCount=-3000000000\n");
    FAIL() << "no overflow";
  } catch (const vb::VbError& e) {
    EXPECT_EQ(e.number(), vb::kOverflow);
  }
}

TEST(BrastelSettings, ExtensionLosesEveryDotAndIsUpperCased) {
  EXPECT_EQ(read("Extension=.dat\n").strExtension, "DAT");
  EXPECT_EQ(read("Extension=dat\n").strExtension, "DAT");
  EXPECT_EQ(read("Extension=\"DAT\"\n").strExtension, "\"DAT\"");  // quotes are text
  EXPECT_EQ(normalize_extension("t.x.t"), "TXT");
  EXPECT_EQ(normalize_extension("..."), "");
}

TEST(BrastelSettings, TextsAreKeptAsWritten) {
  ServiceSettings s = read(
      "UseBatchFile=move files.sh\nRemotePath=/mnt/remote/\nAdminAlert=/bin/alert \"%1\"\n"
      "LocalPath=/srv/in\n");
  EXPECT_EQ(s.strBatchFile, "move files.sh");
  EXPECT_EQ(s.strRemotePath, "/mnt/remote/");
  EXPECT_EQ(s.strAdminAlert, "/bin/alert \"%1\"");
  EXPECT_EQ(s.strLocalPath, "/srv/in");
}

TEST(LocalPath, AFolderAloneTakesEveryFile) {
  LocalSource src = parse_local_path("/srv/data");
  EXPECT_EQ(src.folder, "/srv/data");
  EXPECT_EQ(src.pattern, "*");
  EXPECT_EQ(parse_local_path("/srv/data/").pattern, "*");
}

TEST(LocalPath, AWildcardInTheLastPartIsAPatternOfTheFolderBeforeIt) {
  LocalSource src = parse_local_path("/opt/ralvek/data/*.dat");
  EXPECT_EQ(src.folder, "/opt/ralvek/data");
  EXPECT_EQ(src.pattern, "*.dat");
  LocalSource relative = parse_local_path("1_?.dat");
  EXPECT_EQ(relative.folder, ".");
  EXPECT_EQ(relative.pattern, "1_?.dat");
}

struct PatternCase {
  const char* name;
  const char* pattern;
  bool matches;
};

class PatternTest : public ::testing::TestWithParam<PatternCase> {};

TEST_P(PatternTest, MatchesLikeTheFilePatternsOfTheOldPlatform) {
  EXPECT_EQ(matches_pattern(GetParam().name, GetParam().pattern), GetParam().matches)
      << GetParam().name << " ~ " << GetParam().pattern;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PatternTest,
    ::testing::Values(PatternCase{"7_20261206053100.dat", "*.dat", true},
                      PatternCase{"7_20261206053100.DAT", "*.dat", true},
                      PatternCase{"x.dat.bak", "*.dat", false}, PatternCase{"dat", "*.dat", false},
                      PatternCase{".dat", "*.dat", true}, PatternCase{"a.b.dat", "*.dat", true},
                      PatternCase{"1_x.dat", "1_?.dat", true},
                      PatternCase{"1_xy.dat", "1_?.dat", false}, PatternCase{"anything", "*", true},
                      PatternCase{"", "*", true}, PatternCase{"abcabcabd", "*abd", true},
                      PatternCase{"abcabcabc", "*abd", false}, PatternCase{"a", "", false}));

}  // namespace
}  // namespace ralvek::brastel
