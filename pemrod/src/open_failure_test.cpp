// Open failures: reported to the event log (checked through $RALVEK_EVENT_LOG), never
// raised, and the log stays closed until an open succeeds.

#include <gtest/gtest.h>

#include <filesystem>

#include "pemrod/cls_logger.h"
#include "test_env.h"

namespace ralvek::pemrod {
namespace {

using testing::FaultEnv;
using testing::read_file;
using testing::ScopedEventLog;
using testing::ScopedTz;
using testing::TempDir;

class OpenFailureTest : public ::testing::Test {
 protected:
  static std::string event(const std::string& escaped_text) {
    return R"({"time":"2007-03-09T10:00:00","source":"pemrod","type":1,"id":1,"text":")" +
           escaped_text + "\"}";
  }

  ScopedTz tz_{"UTC0"};
  TempDir dir_;
  ScopedEventLog events_{dir_};
  std::shared_ptr<FaultEnv> env_ = std::make_shared<FaultEnv>();
  clsLogger log_{env_};
};

TEST_F(OpenFailureTest, AMissingFolderIsReportedAsAFileAccessErrorAndNothingIsCreated) {
  const std::string missing = dir_ / "missing";
  EXPECT_NO_THROW(log_.OpenLog(missing + "/app.log"));
  EXPECT_EQ(events_.lines(),
            std::vector<std::string>{event("An error occurred during file access: Path doesn't "
                                           "exists: " +
                                           missing + "\\r\\nFile: " + missing + "/app.log")});
  EXPECT_EQ(env_->open_attempts, 0);
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(OpenFailureTest, EachLogRetriesTheOpenReportsEachFailureAndWritesNothing) {
  log_.LogPath(dir_.path());
  log_.LogFile("app.log");
  env_->open_fault = EACCES;
  for (int i = 0; i < 3; ++i) EXPECT_NO_THROW(log_.Log("lost"));
  const std::string line =
      event("An error occurred during file access: Permission denied\\r\\nFile: " + dir_.path() +
            "/app.log");
  EXPECT_EQ(events_.lines(), (std::vector<std::string>{line, line, line}));
  EXPECT_EQ(env_->open_attempts, 3);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "app.log"));

  env_->open_fault = 0;
  log_.Log("kept");
  EXPECT_EQ(read_file(dir_ / "app.log"), "2007-03-09 10:00:00\r\n\tkept\r\n\r\n");
  EXPECT_EQ(events_.lines().size(), 3u);
}

TEST_F(OpenFailureTest, ALoggerNeverToldWhereToWriteReportsAnEmptyPathOnEveryLog) {
  clsLogger real;  // the real Env: opening "" really fails
  real.Log("a");
  real.Log("b");
  ASSERT_EQ(events_.lines().size(), 2u);
  EXPECT_NE(
      events_.lines()[1].find(
          R"("text":"An error occurred during file access: No such file or directory\r\nFile: "})"),
      std::string::npos)
      << events_.lines()[1];
}

TEST_F(OpenFailureTest, ReportedTextIsEscapedSoTheLineStaysOneValidJsonObject) {
  const std::string odd_dir = dir_ / "q\"b\\s";
  std::filesystem::create_directory(odd_dir);
  log_.LogPath(odd_dir);
  log_.LogFile("x\xff\x01\xc3\xa9.log");  // invalid UTF-8, a control byte, then a valid é
  env_->open_fault = EIO;
  log_.OpenLog();
  EXPECT_EQ(events_.lines(),
            std::vector<std::string>{
                event("An error occurred during file access: Input/output error\\r\\nFile: " +
                      dir_.path() + "/q\\\"b\\\\s/x\\u00ff\\u0001\xc3\xa9.log")});
}

}  // namespace
}  // namespace ralvek::pemrod
