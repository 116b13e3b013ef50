#include "site_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "vb/vb.h"

namespace ralvek::tolvin {
namespace {

std::string cleaned(std::string block) {
  clean_block(block);
  return block;
}

TEST(CleanBlock, RemovesNulsTrimsSpacesLowerCasesAsciiLettersOnly) {
  EXPECT_EQ(cleaned(std::string("  HELLO\0World  ", 15)), "helloworld");
  EXPECT_EQ(cleaned(" \t A \r\n "), "\t a \r\n");
  EXPECT_EQ(cleaned(std::string(" \0 ", 3)), "");
  EXPECT_EQ(cleaned(""), "");
  EXPECT_EQ(cleaned("\xC4\xD6\xDC\xFF"), "\xC4\xD6\xDC\xFF");
  EXPECT_EQ(cleaned("AZ@[`az{"), "az@[`az{");
}

// The cleaning works on eight bytes at a time: every byte value at every position of a word
// and in the tail must come out as a byte-by-byte lower-casing would leave it.
TEST(CleanBlock, EveryByteValueAtEveryPositionMatchesByteWiseLowerCasing) {
  for (std::size_t length = 1; length <= 17; ++length) {
    for (std::size_t at = 0; at < length; ++at) {
      for (int value = 1; value < 256; ++value) {
        std::string block(length, 'x');
        block[at] = static_cast<char>(value);
        std::string expected = block;
        if (value >= 'A' && value <= 'Z') expected[at] = static_cast<char>(value + 32);
        if (value == ' ' && (at == 0 || at + 1 == length)) expected.erase(at, 1);
        ASSERT_EQ(cleaned(block), expected) << "length " << length << " at " << at << " value " << value;
      }
    }
  }
}

TEST(CleanBlock, EveryByteButTheCleanedOnesPassesUnchanged) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  std::string expected;
  for (int b = 1; b < 256; ++b) expected += static_cast<char>(b >= 'A' && b <= 'Z' ? b + 32 : b);
  EXPECT_EQ(cleaned("x" + all + "x"), "x" + expected + "x");
}

TEST(SiteFiles, NameIsSiteStampAndRandomPart) {
  EXPECT_EQ(SiteFiles::file_name(7, "20261206053100", "0A3F2"), "7_202612060531000A3F2.ip");
}

class SiteFilesOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("sitefiles_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST_F(SiteFilesOnDisk, AppendsToTheOpenFileAndReopensANewOne) {
  SiteFiles files(platform::posix_file_system(), dir_);
  EXPECT_FALSE(files.is_open(5));
  files.create(5);
  files.append(5, "ab");
  files.append(5, "cd");
  files.close(5);
  EXPECT_FALSE(files.is_open(5));
  int count = 0;
  for (auto& e : std::filesystem::directory_iterator(dir_)) {
    ++count;
    std::ifstream in(e.path());
    std::string content((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(content, "abcd");
    EXPECT_EQ(e.path().filename().string().substr(0, 2), "5_");
    EXPECT_EQ(e.path().filename().string().size(), 2u + 14 + 5 + 3);
  }
  EXPECT_EQ(count, 1);
}

TEST_F(SiteFilesOnDisk, SiteNumbersOutsideTheArrayAreRefused) {
  SiteFiles files(platform::posix_file_system(), dir_);
  EXPECT_THROW(files.is_open(1001), vb::VbError);
  EXPECT_THROW(files.create(-1), vb::VbError);
  EXPECT_NO_THROW(files.create(1000));
  EXPECT_THROW(files.append(3, "x"), vb::VbError);
}

TEST_F(SiteFilesOnDisk, CreateFailsWhenTheDirectoryIsGone) {
  SiteFiles files(platform::posix_file_system(), dir_ / "missing");
  EXPECT_THROW(files.create(1), platform::FileError);
  EXPECT_FALSE(files.is_open(1));
}

}  // namespace
}  // namespace ralvek::tolvin
