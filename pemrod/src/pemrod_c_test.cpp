// The C interface: results, error numbers and descriptions, and a round trip from C.

#include <gtest/gtest.h>

#include <memory>
#include <regex>

#include "pemrod/pemrod.h"
#include "test_env.h"

extern "C" int pemrod_c_round_trip(const char* folder, const char* file);

namespace ralvek::pemrod {
namespace {

using testing::read_file;
using testing::TempDir;

struct Destroy {
  void operator()(pemrod_logger* l) const { pemrod_destroy(l); }
};
using LoggerPtr = std::unique_ptr<pemrod_logger, Destroy>;

TEST(PemrodCTest, RoundTripFromCWritesOneEntry) {
  TempDir dir;
  ASSERT_EQ(pemrod_c_round_trip(dir.path().c_str(), "svc.log"), 0);
  const std::regex entry(
      "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\r\n\tService started\r\n\tVersion:1.0.0\r\n\r\n");
  EXPECT_TRUE(std::regex_match(read_file(dir / "svc.log"), entry)) << read_file(dir / "svc.log");
}

TEST(PemrodCTest, PropertiesReadBackAsInCpp) {
  TempDir dir;
  LoggerPtr log(pemrod_create());
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(pemrod_get_max_size(log.get()), 1048576);
  EXPECT_STREQ(pemrod_version(log.get()), "1.0.0");
  EXPECT_EQ(pemrod_set_max_size(log.get(), 0), 0);
  EXPECT_EQ(pemrod_get_max_size(log.get()), -1);
  EXPECT_EQ(pemrod_set_log_file(log.get(), (dir / "a.log").c_str()), 0);
  EXPECT_STREQ(pemrod_get_log_file(log.get()), "a.log");
  EXPECT_STREQ(pemrod_get_log_path(log.get()), dir.path().c_str());
  EXPECT_STREQ(pemrod_last_error(log.get()), "");
}

TEST(PemrodCTest, FailuresReturnTheNumberAndKeepTheDescription) {
  TempDir dir;
  LoggerPtr log(pemrod_create());
  EXPECT_EQ(pemrod_set_log_path(log.get(), (dir / "none").c_str()), 512);
  EXPECT_EQ(std::string(pemrod_last_error(log.get())), "Path doesn't exists: " + (dir / "none"));
  EXPECT_EQ(pemrod_set_max_size(log.get(), 2097152), 6);
  EXPECT_STREQ(pemrod_last_error(log.get()), "Overflow");
  EXPECT_EQ(pemrod_get_max_size(log.get()), 1048576);
  EXPECT_EQ(pemrod_log(log.get(), nullptr, 2), 5);
}

TEST(PemrodCTest, OpenFailureIsReportedNotReturnedAndNullLinesAreEmpty) {
  TempDir dir;
  testing::ScopedEventLog events(dir);
  LoggerPtr log(pemrod_create());
  pemrod_open_log(log.get(), (dir / "none/x.log").c_str());
  EXPECT_EQ(events.lines().size(), 1u);
  const char* none[] = {"x"};
  EXPECT_EQ(pemrod_log(log.get(), none, 1), 0);
  EXPECT_EQ(events.lines().size(), 2u);

  pemrod_open_log(log.get(), (dir / "y.log").c_str());
  const char* lines[] = {"a", nullptr, "b"};
  EXPECT_EQ(pemrod_log(log.get(), lines, 3), 0);
  pemrod_close_log(log.get());
  EXPECT_NE(read_file(dir / "y.log").find("\r\n\ta\r\n\tb\r\n\r\n"), std::string::npos);
}

TEST(PemrodCTest, ANullLoggerFailsWithoutCrashing) {
  const char* line[] = {"x"};
  EXPECT_EQ(pemrod_log(nullptr, line, 1), 51);
  EXPECT_EQ(pemrod_set_max_size(nullptr, 1), 51);
  EXPECT_EQ(pemrod_get_max_size(nullptr), 0);
  EXPECT_STREQ(pemrod_get_log_file(nullptr), "");
  pemrod_open_log(nullptr, "x");
  pemrod_close_log(nullptr);
  pemrod_destroy(nullptr);
}

}  // namespace
}  // namespace ralvek::pemrod
