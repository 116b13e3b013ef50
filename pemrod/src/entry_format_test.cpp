// The entry text of clsLogger::Log, byte for byte, read back from the file.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "pemrod/cls_logger.h"
#include "test_env.h"

namespace ralvek::pemrod {
namespace {

using testing::FaultEnv;
using testing::read_file;
using testing::ScopedTz;
using testing::TempDir;

class EntryFormatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_.LogPath(dir_.path());
    log_.LogFile("svc.log");
  }
  std::string written() const { return read_file(dir_ / "svc.log"); }

  ScopedTz tz_{"UTC0"};
  TempDir dir_;
  std::shared_ptr<FaultEnv> env_ = std::make_shared<FaultEnv>();
  clsLogger log_{env_};
};

constexpr const char* kStamp = "2007-03-09 10:00:00\r\n";

TEST_F(EntryFormatTest, TwoArgumentsAreTwoIndentedLinesAndAnEmptyLine) {
  log_.Log("Service started", "Version: 1.0.3");
  EXPECT_EQ(written(), std::string(kStamp) + "\tService started\r\n\tVersion: 1.0.3\r\n\r\n");
}

TEST_F(EntryFormatTest, NoArgumentsGiveALineWithOneTab) {
  log_.Log();
  EXPECT_EQ(written(), std::string(kStamp) + "\t\r\n\r\n");
}

TEST_F(EntryFormatTest, MessageLinesAreIndentedAndEmptyOnesInsideCollapse) {
  const struct {
    std::vector<std::string> args;
    const char* body;
  } cases[] = {
      {{"a\r\nb"}, "\ta\r\n\tb\r\n"},
      {{"a\r\n\r\nb"}, "\ta\r\n\tb\r\n"},
      {{"a\r\n\r\n\r\n\r\n\r\nb"}, "\ta\r\n\tb\r\n"},
      {{"a", "", "", "b"}, "\ta\r\n\tb\r\n"},
      {{"\r\n\r\na"}, "\t\r\n\ta\r\n"},  // a leading empty line stays: nothing before it to join
      {{"a", ""}, "\ta\r\n\t\r\n"},      // nor does a trailing one
      {{"a\nb\rc"}, "\ta\nb\rc\r\n"},    // only CR LF breaks a line
      {{"\tx", " y "}, "\t\tx\r\n\t y \r\n"},
  };
  for (const auto& c : cases) {
    log_.CloseLog();
    std::filesystem::remove(dir_ / "svc.log");
    log_.Log(std::span<const std::string>(c.args));
    EXPECT_EQ(written(), std::string(kStamp) + c.body + "\r\n") << ::testing::PrintToString(c.args);
  }
}

TEST_F(EntryFormatTest, EntriesAppendToAnExistingFile) {
  testing::write_file(dir_ / "svc.log", "old\r\n");
  log_.Log("one");
  env_->clock += 61;
  log_.Log(std::string("two"));
  EXPECT_EQ(written(), "old\r\n" + std::string(kStamp) + "\tone\r\n\r\n" +
                           "2007-03-09 10:01:01\r\n\ttwo\r\n\r\n");
}

TEST_F(EntryFormatTest, TimeStampFollowsTz) {
  ScopedTz tokyo("JST-9");
  log_.Log("x");
  EXPECT_EQ(written(), "2007-03-09 19:00:00\r\n\tx\r\n\r\n");
}

TEST_F(EntryFormatTest, BytesAboveAsciiAndNulAreWrittenAsGiven) {
  const std::string raw("caf\xe9\0z", 6);
  log_.Log(raw);
  EXPECT_EQ(written(), std::string(kStamp) + "\t" + raw + "\r\n\r\n");
}

}  // namespace
}  // namespace ralvek::pemrod
