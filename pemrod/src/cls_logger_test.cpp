// Properties, size limit and rollover of clsLogger, and what Log does when a file step fails.

#include "pemrod/cls_logger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>

#include "ralvek_version.h"
#include "test_env.h"

namespace ralvek::pemrod {
namespace {

using testing::FaultEnv;
using testing::read_file;
using testing::ScopedTz;
using testing::TempDir;
using testing::write_file;

namespace fs = std::filesystem;

class ClsLoggerTest : public ::testing::Test {
 protected:
  ScopedTz tz_{"UTC0"};
  TempDir dir_;
  std::shared_ptr<FaultEnv> env_ = std::make_shared<FaultEnv>();
  clsLogger log_{env_};

  // A logger writing dir/svc.log with a limit of 1 KB (1024 bytes).
  void use_svc_log(const std::string& name = "svc.log") {
    log_.LogPath(dir_.path());
    log_.LogFile(name);
    log_.MaxSize(1);
  }
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_.path())) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
};

int error_number_of(auto&& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}

TEST_F(ClsLoggerTest, StartsWithOneMegabyteLimitEmptyNamesAndTheLibraryVersion) {
  EXPECT_EQ(log_.MaxSize(), 1048576);
  EXPECT_EQ(log_.LogFile(), "");
  EXPECT_EQ(log_.LogPath(), "");
  EXPECT_EQ(log_.Version(), kVersionText);
}

TEST_F(ClsLoggerTest, MaxSizeIsPutInKilobytesAndReadInBytes) {
  const struct {
    std::int32_t kb;
    std::int32_t bytes;
  } cases[] = {{2048, 2097152}, {1, 1024}, {512000, 524288000}, {2097151, 2147482624},
               {0, -1},         {-1, -1},  {INT_MIN, -1}};
  for (const auto& c : cases) {
    log_.MaxSize(c.kb);
    EXPECT_EQ(log_.MaxSize(), c.bytes) << "put " << c.kb;
  }
}

TEST_F(ClsLoggerTest, MaxSizeOverflowRaisesAndKeepsTheLimit) {
  log_.MaxSize(10);
  for (std::int32_t kb : {2097152, INT_MAX}) {
    try {
      log_.MaxSize(kb);
      ADD_FAILURE() << kb << " did not overflow";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), kErrOverflow);
      EXPECT_EQ(e.description(), "Overflow");
    }
    EXPECT_EQ(log_.MaxSize(), 10240);
  }
}

TEST_F(ClsLoggerTest, LogPathOfAMissingFolderRaises512AndIsStoredAnyway) {
  const std::string missing = dir_ / "missing";
  try {
    log_.LogPath(missing);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), 512);
    EXPECT_EQ(e.description(), "Path doesn't exists: " + missing);
    EXPECT_STREQ(e.what(), e.description().c_str());
  }
  EXPECT_EQ(log_.LogPath(), missing);
  EXPECT_EQ(error_number_of([&] { log_.LogPath(""); }), 512);
  EXPECT_EQ(error_number_of([&] { log_.LogPath(dir_.path()); }), 0);
  EXPECT_EQ(log_.LogPath(), dir_.path());
}

TEST_F(ClsLoggerTest, LogFileWithAFolderAlsoSetsLogPathAndABareNameLeavesIt) {
  log_.LogFile(dir_ / "app.log");
  EXPECT_EQ(log_.LogFile(), "app.log");
  EXPECT_EQ(log_.LogPath(), dir_.path());

  log_.LogFile("other.log");
  EXPECT_EQ(log_.LogFile(), "other.log");
  EXPECT_EQ(log_.LogPath(), dir_.path());

  log_.LogFile("/top.log");
  EXPECT_EQ(log_.LogPath(), "/");
}

TEST_F(ClsLoggerTest, LogFileInAMissingFolderStoresBothAndRaisesThePathCheck) {
  const std::string missing = dir_ / "gone";
  EXPECT_EQ(error_number_of([&] { log_.LogFile(missing + "/app.log"); }), 512);
  EXPECT_EQ(log_.LogFile(), "app.log");
  EXPECT_EQ(log_.LogPath(), missing);
}

TEST_F(ClsLoggerTest, AFileOfExactlyMaxSizeIsNotRolledOver) {
  use_svc_log();
  write_file(dir_ / "svc.log", std::string(1024, 'x'));
  log_.Log("next");
  EXPECT_EQ(files(), std::vector<std::string>{"svc.log"});
  EXPECT_EQ(read_file(dir_ / "svc.log").substr(0, 1024), std::string(1024, 'x'));
  EXPECT_GT(read_file(dir_ / "svc.log").size(), 1024u);
}

TEST_F(ClsLoggerTest, AFileOneByteOverMaxSizeIsRenamedWithTheTimeStampAndANewOneStarted) {
  use_svc_log();
  write_file(dir_ / "svc.log", std::string(1025, 'x'));
  log_.Log("next");
  EXPECT_EQ(files(), (std::vector<std::string>{"svc.log", "svc_20070309100000.log"}));
  EXPECT_EQ(read_file(dir_ / "svc_20070309100000.log"), std::string(1025, 'x'));
  EXPECT_EQ(read_file(dir_ / "svc.log"), "2007-03-09 10:00:00\r\n\tnext\r\n\r\n");
}

TEST_F(ClsLoggerTest, RolloverStampIsLocalTimeAndANameWithoutExtensionGetsNone) {
  ScopedTz plus_five("<+05>-5");
  use_svc_log("svc");
  write_file(dir_ / "svc", std::string(2000, 'x'));
  log_.Log("next");
  EXPECT_EQ(files(), (std::vector<std::string>{"svc", "svc_20070309150000"}));
  EXPECT_EQ(read_file(dir_ / "svc"), "2007-03-09 15:00:00\r\n\tnext\r\n\r\n");
}

TEST_F(ClsLoggerTest, NoLimitNeverRollsOver) {
  use_svc_log();
  log_.MaxSize(0);
  write_file(dir_ / "svc.log", std::string(5000, 'x'));
  log_.Log("next");
  EXPECT_EQ(files(), std::vector<std::string>{"svc.log"});
}

TEST_F(ClsLoggerTest, ARolledFileOfTheSameSecondIsKeptAndTheEntryGoesToTheCurrentFile) {
  use_svc_log();
  write_file(dir_ / "svc_20070309100000.log", "earlier");
  write_file(dir_ / "svc.log", std::string(1025, 'x'));
  log_.Log("next");
  EXPECT_EQ(read_file(dir_ / "svc_20070309100000.log"), "earlier");
  EXPECT_EQ(read_file(dir_ / "svc.log"),
            std::string(1025, 'x') + "2007-03-09 10:00:00\r\n\tnext\r\n\r\n");

  env_->clock += 1;  // the next second's name is free
  log_.Log("later");
  EXPECT_EQ(read_file(dir_ / "svc.log"), "2007-03-09 10:00:01\r\n\tlater\r\n\r\n");
}

TEST_F(ClsLoggerTest, AFailedRenameRaisesAndTheNextLogRollsOverAgain) {
  use_svc_log();
  write_file(dir_ / "svc.log", std::string(1025, 'x'));
  env_->rename_fault = EIO;
  EXPECT_EQ(error_number_of([&] { log_.Log("lost"); }), kErrDeviceIo);
  EXPECT_EQ(read_file(dir_ / "svc.log"), std::string(1025, 'x'));

  env_->rename_fault = 0;
  log_.Log("kept");
  EXPECT_EQ(read_file(dir_ / "svc_20070309100000.log"), std::string(1025, 'x'));
  EXPECT_EQ(read_file(dir_ / "svc.log"), "2007-03-09 10:00:00\r\n\tkept\r\n\r\n");
}

TEST_F(ClsLoggerTest, FailedSizeCheckAndFailedWriteReachTheCaller) {
  use_svc_log();
  env_->size_fault = EIO;
  EXPECT_EQ(error_number_of([&] { log_.Log("a"); }), kErrDeviceIo);
  env_->size_fault = 0;
  env_->write_fault = ENOSPC;
  try {
    log_.Log("b");
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrDiskFull);
    EXPECT_EQ(e.system_error(), ENOSPC);
    EXPECT_EQ(e.description(), "No space left on device");
  }
  env_->write_fault = 0;
  log_.Log("c");
  EXPECT_EQ(read_file(dir_ / "svc.log"), "2007-03-09 10:00:00\r\n\tc\r\n\r\n");
}

TEST_F(ClsLoggerTest, ALogFileRemovedWhileOpenIsStartedAgain) {
  use_svc_log();
  log_.Log("first");
  fs::remove(dir_ / "svc.log");
  log_.Log("second");
  EXPECT_EQ(read_file(dir_ / "svc.log"), "2007-03-09 10:00:00\r\n\tsecond\r\n\r\n");
}

TEST_F(ClsLoggerTest, LogOpensOnceAndReopensOnlyAfterCloseLog) {
  use_svc_log();
  log_.Log("a");
  log_.Log("b");
  EXPECT_EQ(env_->open_attempts, 1);
  log_.CloseLog();
  log_.CloseLog();
  log_.Log("c");
  EXPECT_EQ(env_->open_attempts, 2);
  log_.OpenLog("other.log");
  log_.Log("d");
  EXPECT_EQ(env_->open_attempts, 3);
  EXPECT_EQ(read_file(dir_ / "other.log"), "2007-03-09 10:00:00\r\n\td\r\n\r\n");
}

}  // namespace
}  // namespace ralvek::pemrod
