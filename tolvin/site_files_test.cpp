#include "site_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "platform/files_fixture.h"
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

// The cleaning works on sixteen bytes at a time: every byte value at every position of a
// vector and in the tail must come out as a byte-by-byte lower-casing would leave it.
TEST(CleanBlock, EveryByteValueAtEveryPositionMatchesByteWiseLowerCasing) {
  for (std::size_t length = 1; length <= 33; ++length) {
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

void rethrow(int, const std::exception&) { throw; }

std::string content_of(const std::filesystem::path& dir, const std::string& prefix) {
  std::string all;
  for (auto& e : std::filesystem::directory_iterator(dir)) {
    if (e.path().filename().string().rfind(prefix, 0) != 0) continue;
    std::ifstream in(e.path());
    all += std::string((std::istreambuf_iterator<char>(in)), {});
  }
  return all;
}

// Writes through to disk, but a write holding a "!" fails as a full disk would, leaving nothing.
class RefusingFileSystem final : public platform::PassThroughFileSystem {
 public:
  int writes = 0;
  std::unique_ptr<platform::WritableFile> open(const std::filesystem::path& path, platform::OpenMode mode) override {
    struct File final : platform::WritableFile {
      std::unique_ptr<platform::WritableFile> real;
      int* writes;
      std::filesystem::path path;
      void append(std::string_view bytes) override {
        ++*writes;
        if (bytes.find('!') != std::string_view::npos) throw platform::FileError(ENOSPC, path);
        real->append(bytes);
      }
      void sync() override { real->sync(); }
    };
    auto file = std::make_unique<File>();
    file->real = real().open(path, mode);
    file->writes = &writes;
    file->path = path;
    return file;
  }
};

class SiteFilesOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("sitefiles_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
  asio::io_context io_;
  files::Finisher finisher_{io_, platform::posix_file_system()};
};

TEST_F(SiteFilesOnDisk, AppendsToTheOpenFileAndReopensANewOne) {
  SiteFiles files(finisher_, dir_, rethrow);
  EXPECT_FALSE(files.is_open(5));
  files.create(5);
  files.hold(5, "ab", "");
  files.write_held();
  files.hold(5, "cd", "");
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
  SiteFiles files(finisher_, dir_, rethrow);
  EXPECT_THROW(files.is_open(1001), vb::VbError);
  EXPECT_THROW(files.create(-1), vb::VbError);
  EXPECT_NO_THROW(files.create(1000));
  EXPECT_THROW(files.hold(3, "x", ""), vb::VbError);
}

TEST_F(SiteFilesOnDisk, CreateFailsWhenTheDirectoryIsGone) {
  SiteFiles files(finisher_, dir_ / "missing", rethrow);
  EXPECT_THROW(files.create(1), platform::FileError);
  EXPECT_FALSE(files.is_open(1));
}

TEST_F(SiteFilesOnDisk, HeldBlocksGoOutOneWriteARunInOrderBeforeCloseAndOtherSites) {
  RefusingFileSystem fs;
  files::Finisher finisher(io_, fs);
  SiteFiles files(finisher, dir_, rethrow);
  files.create(1);
  files.create(2);
  files.hold(1, "a", "\r\n");
  files.hold(1, "b", "\r\n");
  files.hold(2, "x", "");  // another site: the run of site 1 is written first
  EXPECT_EQ(fs.writes, 1);
  EXPECT_EQ(content_of(dir_, "1_"), "a\r\nb\r\n");
  files.hold(2, "y", "");
  EXPECT_EQ(content_of(dir_, "2_"), "");
  files.close(2);  // closing writes what is held
  EXPECT_EQ(content_of(dir_, "2_"), "xy");
  files.hold(1, "c", "");
  files.hold(1, "d", "");
  files.write_held();
  files.write_held();  // nothing more held
  EXPECT_EQ(content_of(dir_, "1_"), "a\r\nb\r\ncd");
  EXPECT_EQ(fs.writes, 3);
  EXPECT_THROW(files.hold(3, "z", ""), vb::VbError);  // no open file
}

TEST_F(SiteFilesOnDisk, AFailedRunIsWrittenBlockByBlockLosingOnlyTheBlocksThatFail) {
  RefusingFileSystem fs;
  std::vector<std::string> lost;
  files::Finisher finisher(io_, fs);
  SiteFiles files(finisher, dir_, [&](int, const std::exception& e) { lost.push_back(e.what()); });
  files.create(7);
  for (std::string block : {"r1", "r2!", "r3", "r4!", "r5"}) files.hold(7, block, ";");
  files.write_held();
  EXPECT_EQ(content_of(dir_, "7_"), "r1;r3;r5;");
  ASSERT_EQ(lost.size(), 2u);
  files.hold(7, "one!", ";");  // a single block is not tried twice
  files.write_held();
  EXPECT_EQ(lost.size(), 3u);
  EXPECT_EQ(fs.writes, 1 + 5 + 1);
  files.hold(7, "r6", ";");
  files.close(7);
  EXPECT_EQ(content_of(dir_, "7_"), "r1;r3;r5;r6;");
}

}  // namespace
}  // namespace ralvek::tolvin
