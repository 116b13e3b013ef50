#include "output_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iterator>

#include "files/data_files.h"
#include "platform/clock.h"
#include "vb/vb.h"

namespace ralvek::quendor {
namespace {

// A fixed moment; names are built from it through the local-time stamp, whatever TZ says.
constexpr std::time_t kNow = 1796637000;
std::string stamp(int offset) { return platform::time_stamp(kNow + offset); }

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
  void put(const std::string& name, const std::string& text) {
    std::ofstream out(dir_ / name, std::ios::binary);
    out << text;
  }
  std::vector<std::string> names() const {
    std::vector<std::string> all;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) all.push_back(e.path().filename());
    std::sort(all.begin(), all.end());
    return all;
  }
  // The sweep of a period's end.
  void finish() {
    files::finish_temp_files(platform::posix_file_system(), dir_, "hp4",
                             [](const std::string& e) { FAIL() << e; });
  }
  std::filesystem::path dir_;
  asio::io_context io_;
  files::Finisher finisher_{io_, platform::posix_file_system()};
};

TEST(OutputFileName, ExchangeStampAndHp4) {
  EXPECT_EQ(OutputFiles::file_name(2, "20090105140509"), "2_20090105140509.hp4");
  EXPECT_EQ(OutputFiles::file_name(32767, "20261206053100"), "32767_20261206053100.hp4");
}

TEST_F(OutputFilesOnDisk, EveryByteIsWrittenUnchangedInOrder) {
  OutputFiles files(platform::posix_file_system(), finisher_, dir_);
  files.resize(2);
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(files.create(2, kNow), "2_" + stamp(0) + ".hp4");
  EXPECT_TRUE(files.is_open(2));
  EXPECT_FALSE(files.is_open(1));
  files.write(2, all);
  files.write(2, "half a rec");
  files.write(2, "ord\r\n");
  files.close(2);
  EXPECT_FALSE(files.is_open(2));
  EXPECT_EQ(content("2_" + stamp(0) + ".hp4"), all + "half a record\r\n");
}

// ---- a name already taken in the folder ----

TEST_F(OutputFilesOnDisk, ADatOfTheSameSecondMovesTheNewFileToTheNextSecond) {
  put("1_" + stamp(0) + ".dat", "earlier period");
  OutputFiles files(platform::posix_file_system(), finisher_, dir_);
  files.resize(1);
  EXPECT_EQ(files.create(1, kNow), "1_" + stamp(1) + ".hp4");
  files.write(1, "later period");
  files.close(1);
  EXPECT_EQ(content("1_" + stamp(0) + ".dat"), "earlier period");
  EXPECT_EQ(content("1_" + stamp(1) + ".hp4"), "later period");
}

TEST_F(OutputFilesOnDisk, AnHp4WaitingForItsRenameIsNeitherEmptiedNorAddedTo) {
  put("1_" + stamp(0) + ".hp4", "kept;");
  OutputFiles files(platform::posix_file_system(), finisher_, dir_);
  files.resize(1);
  EXPECT_EQ(files.create(1, kNow), "1_" + stamp(1) + ".hp4");
  files.write(1, "added");
  files.close(1);
  EXPECT_EQ(content("1_" + stamp(0) + ".hp4"), "kept;");
  EXPECT_EQ(content("1_" + stamp(1) + ".hp4"), "added");
}

TEST_F(OutputFilesOnDisk, TakenSecondsInARowAreSkippedAndOnlyTheExchangesOwnNamesCount) {
  put("1_" + stamp(0) + ".dat", "a");
  put("1_" + stamp(1) + ".HP4", "b");
  put("1_" + stamp(2) + ".dat", "c");
  put("1_" + stamp(3) + ".txt", "not a data file");
  put("2_" + stamp(3) + ".dat", "another exchange");
  put("11_" + stamp(3) + ".dat", "another exchange");
  OutputFiles files(platform::posix_file_system(), finisher_, dir_);
  files.resize(2);
  EXPECT_EQ(files.create(1, kNow), "1_" + stamp(3) + ".hp4");
  EXPECT_EQ(files.create(2, kNow + 1), "2_" + stamp(1) + ".hp4");
}

// The fault this guards against: the later file of one second could never become a .dat.
TEST_F(OutputFilesOnDisk, PeriodsBegunInOneSecondAllBecomeDatFilesNamedInTheOrderOfTheirData) {
  OutputFiles files(platform::posix_file_system(), finisher_, dir_);
  files.resize(1);
  const std::time_t begins[] = {kNow, kNow, kNow, kNow + 1, kNow + 5};
  for (int period = 0; period < 5; ++period) {
    files.create(1, begins[period]);
    files.write(1, "period " + std::to_string(period) + ";");
    files.close(1);
    finish();
  }
  std::vector<std::string> expected;
  for (int offset : {0, 1, 2, 3, 5}) expected.push_back("1_" + stamp(offset) + ".dat");
  ASSERT_EQ(names(), expected);
  std::string joined;
  for (const auto& name : names()) joined += content(name);
  EXPECT_EQ(joined, "period 0;period 1;period 2;period 3;period 4;");
}

TEST_F(OutputFilesOnDisk, ARestartWithinTheSecondOfTheKilledRunsFileKeepsBoth) {
  {
    OutputFiles killed(platform::posix_file_system(), finisher_, dir_);
    killed.resize(3);
    killed.create(3, kNow);
    killed.write(3, "before the kill;");
  }
  finish();  // the restart's sweep
  OutputFiles restarted(platform::posix_file_system(), finisher_, dir_);
  restarted.resize(3);
  restarted.create(3, kNow);
  restarted.write(3, "after;");
  restarted.close(3);
  finish();
  EXPECT_EQ(names(), (std::vector<std::string>{"3_" + stamp(0) + ".dat", "3_" + stamp(1) + ".dat"}));
  EXPECT_EQ(content("3_" + stamp(0) + ".dat"), "before the kill;");
  EXPECT_EQ(content("3_" + stamp(1) + ".dat"), "after;");
}

TEST_F(OutputFilesOnDisk, WritingWithoutAnOpenFileReportsTheLostBytes) {
  OutputFiles files(platform::posix_file_system(), finisher_, dir_);
  files.resize(3);
  try {
    files.write(3, "12345");
    FAIL();
  } catch (const vb::VbError& e) {
    EXPECT_EQ(std::string(e.what()), "No open output file for exchange 3: 5 bytes lost");
  }
}

TEST_F(OutputFilesOnDisk, ExchangeNumbersOutsideTheArrayAreRefused) {
  OutputFiles files(platform::posix_file_system(), finisher_, dir_);
  files.resize(7);
  EXPECT_EQ(files.highest(), 7);
  EXPECT_NO_THROW(files.create(7, kNow));
  EXPECT_THROW(files.is_open(8), vb::VbError);
  EXPECT_THROW(files.create(-1, kNow), vb::VbError);
  files.resize(0);
  EXPECT_FALSE(files.is_open(0));
  EXPECT_THROW(files.is_open(7), vb::VbError);
}

TEST_F(OutputFilesOnDisk, AFailedCreateNamesTheFileAndLeavesTheExchangeClosed) {
  OutputFiles files(platform::posix_file_system(), finisher_, dir_ / "missing");
  files.resize(1);
  try {
    files.create(1, kNow);
    FAIL();
  } catch (const platform::FileError& e) {
    EXPECT_EQ(e.error_number(), ENOENT);
    EXPECT_EQ(std::string(e.what()),
              "No such file or directory: " + (dir_ / "missing" / ("1_" + stamp(0) + ".hp4")).string());
  }
  EXPECT_FALSE(files.is_open(1));
}

}  // namespace
}  // namespace ralvek::quendor
