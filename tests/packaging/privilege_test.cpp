// The programs as a system administrator runs them: the service's own user, another local user
// next to it. Needs root (to be both users) and setpriv.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "e2e.h"

namespace {

namespace fs = std::filesystem;
using namespace ralvek::e2e;

constexpr int kServiceUser = 65534;  // nobody: the owner of the program directory
constexpr int kOtherUser = 65533;    // any other local user

class PrivilegeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run programs as two other users";
    if (std::string(SETPRIV_EXE).empty()) GTEST_SKIP() << "setpriv (util-linux) not installed";
    fs::permissions(scratch_.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                         fs::perms::others_read | fs::perms::others_exec);
    fs::create_directories(suite());
    ASSERT_EQ(::chown(suite().c_str(), kServiceUser, kServiceUser), 0);
    ::chmod(suite().c_str(), 0750);
    ::chmod(TOLVIN_EXE, 0755);
    for (const char* who : {"service", "other"}) {
      write_file(events(who), "");
      ::chmod(events(who).c_str(), 0666);
    }
  }

  fs::path suite() const { return scratch_ / "suite"; }
  fs::path events(const std::string& who) const { return scratch_ / (who + ".jsonl"); }

  void write_settings(int port) {
    write_file(suite() / "tolvin.ini", "[tolvin]\nlocal_port=" + std::to_string(port) + "\n127.0.0.1=1\n");
    ::chmod((suite() / "tolvin.ini").c_str(), 0644);
  }

  std::unique_ptr<Process> tolvin_as(int uid, const std::string& who) {
    std::vector<std::string> argv = {SETPRIV_EXE, "--reuid=" + std::to_string(uid), "--regid=" + std::to_string(uid),
                                     "--clear-groups", TOLVIN_EXE, "--debug"};
    return std::make_unique<Process>(argv,
                                     std::map<std::string, std::string>{{"RALVEK_HOME", suite().string()},
                                                                        {"RALVEK_EVENT_LOG", events(who).string()}},
                                     scratch_.path());
  }

  std::string error_text(const std::string& who) {
    for (const auto& e : read_events(events(who))) {
      if (e.type == 1 && e.id == 109) return e.text;
    }
    return "";
  }

  static fs::perms mode_of(const fs::path& path) { return fs::status(path).permissions(); }

  TempDir scratch_;
};

// The service user's directory is closed to others: another user neither takes the lock before
// the service starts nor while it runs, and is told why.
TEST_F(PrivilegeTest, AnotherUserIsRefusedTheLockAndTheServiceStillStarts) {
  const int port = free_port();
  write_settings(port);
  const std::string refusal = "Cannot open the instance lock " + (suite() / "tolvin.lock").string() +
                              ": Permission denied (only the owner of the program directory may run this "
                              "service there)\r\nProcedure: Load";
  auto early = tolvin_as(kOtherUser, "other");
  EXPECT_EQ(early->wait(10s), 1);
  EXPECT_EQ(error_text("other"), refusal);
  EXPECT_FALSE(fs::exists(suite() / "tolvin.lock"));

  auto service = tolvin_as(kServiceUser, "service");
  ASSERT_TRUE(wait_until([&] { return fs::exists(suite() / "data"); }, 10s)) << error_text("service");
  EXPECT_TRUE(service->running()) << error_text("service");

  fs::remove(events("other"));
  write_file(events("other"), "");
  ::chmod(events("other").c_str(), 0666);
  auto late = tolvin_as(kOtherUser, "other");
  EXPECT_EQ(late->wait(10s), 1);
  EXPECT_EQ(error_text("other"), refusal);
  EXPECT_TRUE(service->running());

  struct stat lock {};
  ASSERT_EQ(::stat((suite() / "tolvin.lock").c_str(), &lock), 0);
  EXPECT_EQ(lock.st_uid, static_cast<uid_t>(kServiceUser));
  EXPECT_EQ(lock.st_mode & 07777, 0600u);
  // What it collects is for its group, not for everyone.
  EXPECT_EQ(mode_of(suite() / "data"), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  ASSERT_EQ(run({"/bin/bash", "-c", "printf 'call record' > /dev/tcp/127.0.0.1/" + std::to_string(port)}), 0);
  ASSERT_TRUE(wait_until([&] { return !files_with_ext(suite() / "data", "ip").empty(); }, 10s));
  EXPECT_EQ(mode_of(suite() / "data" / files_with_ext(suite() / "data", "ip")[0]),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  service->signal(SIGINT);
  EXPECT_TRUE(service->wait(10s).has_value());
}

// Ports below 1024 need CAP_NET_BIND_SERVICE, which the units grant only by a drop-in: without
// it the start fails with the system's text, as any bind failure does.
TEST_F(PrivilegeTest, AServiceUserBindingAPortBelow1024FailsTheStartWithTheSystemsText) {
  write_settings(102);
  auto service = tolvin_as(kServiceUser, "service");
  EXPECT_EQ(service->wait(10s), 1);
  EXPECT_EQ(error_text("service"), "Permission denied\r\nProcedure: oSVC_Start");
}

}  // namespace
