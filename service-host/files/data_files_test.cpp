#include "files/data_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <set>

namespace ralvek::files {
namespace {

class FinishTempFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("finish_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void write(const std::string& name, const std::string& content) {
    std::ofstream(dir_ / name, std::ios::binary) << content;
  }
  std::set<std::string> names() {
    std::set<std::string> result;
    for (auto& e : std::filesystem::directory_iterator(dir_)) result.insert(e.path().filename());
    return result;
  }
  std::vector<std::string> finish(std::string_view ext) {
    std::vector<std::string> errors;
    finish_temp_files(platform::posix_file_system(), dir_, ext,
                      [&](const std::string& d) { errors.push_back(d); });
    return errors;
  }

  std::filesystem::path dir_;
};

TEST_F(FinishTempFiles, RenamesNonEmptyDeletesEmptyIgnoresCaseAndOtherExtensions) {
  write("1_20261206053100A3F2.ip", "abc");
  write("2_20261206053100A3F3.IP", "x");
  write("3_202612060531000000.ip", "");
  write("4_20261206053100.kom", "other service");
  write("notes.txt", "keep");
  EXPECT_TRUE(finish("ip").empty());
  EXPECT_EQ(names(), (std::set<std::string>{"1_20261206053100A3F2.dat", "2_20261206053100A3F3.dat",
                                            "4_20261206053100.kom", "notes.txt"}));
  std::ifstream in(dir_ / "1_20261206053100A3F2.dat");
  std::string content((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(content, "abc");
}

TEST_F(FinishTempFiles, ExistingDatIsNeverReplacedAndTheTempFileStays) {
  write("7_x.ip", "new");
  write("7_x.dat", "old");
  write("8_y.ip", "fine");
  auto errors = finish("ip");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("7_x.dat"), std::string::npos);
  EXPECT_EQ(names(), (std::set<std::string>{"7_x.ip", "7_x.dat", "8_y.dat"}));
}

TEST_F(FinishTempFiles, MissingDirectoryThrows) {
  std::filesystem::remove_all(dir_);
  EXPECT_THROW(finish("ip"), platform::FileError);
}

TEST(FileNames, ExtensionAndBaseName) {
  EXPECT_EQ(lower_extension("a.b.IP"), "ip");
  EXPECT_EQ(lower_extension("noext"), "");
  EXPECT_EQ(base_name("7_x.ip"), "7_x");
  EXPECT_EQ(base_name("a.b.c"), "a.b");
}

TEST(RandomPart, FiveUpperCaseHexDigitsFromTheFraction) {
  EXPECT_EQ(RandomPart::from_fraction(0.04197), "0A3F2");
  EXPECT_EQ(RandomPart::from_fraction(0.0), "00000");
  EXPECT_EQ(RandomPart::from_fraction(0.9999996), "F4240");
  EXPECT_EQ(RandomPart::from_fraction(0.0000004), "00000");
  RandomPart seeded(42);
  for (int i = 0; i < 1000; ++i) {
    auto part = seeded.next();
    ASSERT_EQ(part.size(), 5u);
    ASSERT_EQ(part.find_first_not_of("0123456789ABCDEF"), std::string::npos) << part;
  }
}

}  // namespace
}  // namespace ralvek::files
