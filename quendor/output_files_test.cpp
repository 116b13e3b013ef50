#include "output_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "vb/vb.h"

namespace ralvek::quendor {
namespace {

class OutputFilesOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("quendor_files_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string content(const std::string& name) {
    std::ifstream in(dir_ / name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  std::filesystem::path dir_;
};

TEST(OutputFileName, ExchangeStampAndHp4) {
  EXPECT_EQ(OutputFiles::file_name(2, "20090105140509"), "2_20090105140509.hp4");
  EXPECT_EQ(OutputFiles::file_name(32767, "20261206053100"), "32767_20261206053100.hp4");
}

TEST_F(OutputFilesOnDisk, EveryByteIsWrittenUnchangedInOrder) {
  OutputFiles files(platform::posix_file_system(), dir_);
  files.resize(2);
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  files.create(2, "20261207101010");
  EXPECT_TRUE(files.is_open(2));
  EXPECT_FALSE(files.is_open(1));
  files.write(2, all);
  files.write(2, "half a rec");
  files.write(2, "ord\r\n");
  files.close(2);
  EXPECT_FALSE(files.is_open(2));
  EXPECT_EQ(content("2_20261207101010.hp4"), all + "half a record\r\n");
}

TEST_F(OutputFilesOnDisk, ANewFileOfAnExistingNameIsAddedToNotEmptied) {
  {
    std::ofstream old(dir_ / "1_20261025023000.hp4", std::ios::binary);
    old << "kept;";
  }
  OutputFiles files(platform::posix_file_system(), dir_);
  files.resize(1);
  files.create(1, "20261025023000");
  files.write(1, "added");
  files.close(1);
  EXPECT_EQ(content("1_20261025023000.hp4"), "kept;added");
}

TEST_F(OutputFilesOnDisk, WritingWithoutAnOpenFileReportsTheLostBytes) {
  OutputFiles files(platform::posix_file_system(), dir_);
  files.resize(3);
  try {
    files.write(3, "12345");
    FAIL();
  } catch (const vb::VbError& e) {
    EXPECT_EQ(std::string(e.what()), "No open output file for exchange 3: 5 bytes lost");
  }
}

TEST_F(OutputFilesOnDisk, ExchangeNumbersOutsideTheArrayAreRefused) {
  OutputFiles files(platform::posix_file_system(), dir_);
  files.resize(7);
  EXPECT_EQ(files.highest(), 7);
  EXPECT_NO_THROW(files.create(7, "20261207101010"));
  EXPECT_THROW(files.is_open(8), vb::VbError);
  EXPECT_THROW(files.create(-1, "20261207101010"), vb::VbError);
  files.resize(0);
  EXPECT_FALSE(files.is_open(0));
  EXPECT_THROW(files.is_open(7), vb::VbError);
}

TEST_F(OutputFilesOnDisk, AFailedCreateLeavesTheExchangeClosed) {
  OutputFiles files(platform::posix_file_system(), dir_ / "missing");
  files.resize(1);
  EXPECT_THROW(files.create(1, "20261207101010"), platform::FileError);
  EXPECT_FALSE(files.is_open(1));
}

}  // namespace
}  // namespace ralvek::quendor
