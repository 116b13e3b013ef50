#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/clock.h"
#include "platform/event_log.h"
#include "platform/instance_lock.h"
#include "platform/process.h"
#include "platform/service_manager.h"

namespace ralvek::platform {
namespace {

TEST(InstanceLock, SecondHolderForTheSameProgramAndDirectoryIsRefused) {
  auto dir = std::filesystem::temp_directory_path() / ("lock_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir / "x");
  {
    InstanceLock first, second, other_program, other_dir;
    EXPECT_TRUE(first.acquire(dir, "tolvin"));
    EXPECT_FALSE(second.acquire(dir, "tolvin"));
    EXPECT_FALSE(second.held());
    EXPECT_TRUE(other_program.acquire(dir, "quendor"));
    EXPECT_TRUE(other_dir.acquire(dir / "x", "tolvin"));
    first = InstanceLock();
    EXPECT_TRUE(second.acquire(dir, "tolvin"));
    // Nobody but the directory's owner may open the file, so nobody else can take the lock.
    auto perms = std::filesystem::status(InstanceLock::file_for(dir, "tolvin")).permissions();
    EXPECT_EQ(perms, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  }
  std::filesystem::remove_all(dir);
}

TEST(InstanceLock, AMissingDirectoryHoldsNoInstanceAndAPlantedLinkIsRefused) {
  auto dir = std::filesystem::temp_directory_path() / ("lock_" + std::to_string(::getpid()));
  InstanceLock missing;
  EXPECT_TRUE(missing.acquire(dir / "none", "tolvin"));
  EXPECT_TRUE(missing.held());

  std::filesystem::create_directories(dir);
  std::filesystem::create_symlink(dir / "elsewhere", InstanceLock::file_for(dir, "tolvin"));
  InstanceLock planted;
  EXPECT_THROW(planted.acquire(dir, "tolvin"), InstanceLockError);
  EXPECT_FALSE(std::filesystem::exists(dir / "elsewhere"));
  std::filesystem::remove_all(dir);
}

TEST(SplitWords, QuotesAndBlanksAsAShellSplitsThem) {
  using V = std::vector<std::string>;
  EXPECT_EQ(split_words("mail -s 'Copy error' admin %1"), (V{"mail", "-s", "Copy error", "admin", "%1"}));
  EXPECT_EQ(split_words("  a\t\"b c\"d\\ e  "), (V{"a", "b cd e"}));
  EXPECT_EQ(split_words("x ''"), (V{"x", ""}));
  EXPECT_EQ(split_words("echo $(rm -rf /)"), (V{"echo", "$(rm", "-rf", "/)"}));
  EXPECT_TRUE(split_words("   ").empty());
}

TEST(Process, RunsFromAnArgumentVectorAndReportsTheExitStatus) {
  EXPECT_EQ(run_and_wait({"sh", "-c", "exit 3"}), 3);
  EXPECT_EQ(run_and_wait({"true", "; exit 5"}), 0);
  auto missing = run_and_wait({"/nonexistent/program"});
  EXPECT_TRUE(!missing || *missing == 127);
  EXPECT_TRUE(on_path("sh"));
  EXPECT_FALSE(on_path("no-such-program-ralvek"));
}

TEST(EventLog, JsonLineEscapesTheTextAndKeepsTypeAndId) {
  EventRecord event{kEventWarning, 108, "a \"q\"\r\nb\\\x01"};
  auto line = event_json_line("RalvekIPService", event, 0);
  EXPECT_NE(line.find("\"source\":\"RalvekIPService\",\"type\":2,\"id\":108,"), std::string::npos);
  EXPECT_NE(line.find("\"text\":\"a \\\"q\\\"\\r\\nb\\\\\\u0001\"}\n"), std::string::npos) << line;
}

TEST(Clock, TimeStampIsLocalAndFourteenDigits) {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  EXPECT_EQ(time_stamp(1796535060), "20261206053100");
  EXPECT_EQ(iso_local_time(1796535060), "2026-12-06T05:31:00");
  ::setenv("TZ", "CET-1", 1);
  ::tzset();
  EXPECT_EQ(time_stamp(1796535060), "20261206063100");
}

TEST(ServiceManager, UnitFileQuotesPathsWithBlanks) {
  auto text = unit_file_text({"RalvekIPService", "Ralvek IP Service", "/opt/my suite/tolvin", "/opt/my suite"});
  EXPECT_NE(text.find("Description=Ralvek IP Service\n"), std::string::npos);
  EXPECT_NE(text.find("Type=notify\n"), std::string::npos);
  EXPECT_NE(text.find("ExecStart=\"/opt/my suite/tolvin\"\n"), std::string::npos);
  EXPECT_NE(text.find("Environment=\"RALVEK_HOME=/opt/my suite\"\n"), std::string::npos);
  EXPECT_NE(text.find("WorkingDirectory=/opt/my suite\n"), std::string::npos);
  EXPECT_NE(text.find("Restart=on-failure\n"), std::string::npos);
  EXPECT_NE(text.find("WantedBy=multi-user.target\n"), std::string::npos);
  EXPECT_NE(text.find("ReadWritePaths=\"/opt/my suite\"\n"), std::string::npos);
}

TEST(ServiceManager, UnitRunsAsItsUserInASandboxThatOnlySerrakOpensToSerialLines) {
  ServiceUnit ip{"RalvekIPService", "Ralvek IP Service", "/usr/lib/ralvek/tolvin", "/var/lib/ralvek", 60,
                 "_ralvek", "_ralvek"};
  ServiceUnit com = ip;
  com.name = "RalvekCOMService";
  com.executable = "/usr/lib/ralvek/serrak";
  const std::string tolvin = unit_file_text(ip), serrak = unit_file_text(com);
  for (const auto& text : {tolvin, serrak}) {
    EXPECT_NE(text.find("User=_ralvek\nGroup=_ralvek\n"), std::string::npos) << text;
    EXPECT_NE(text.find("ProtectSystem=strict\n"), std::string::npos);
    EXPECT_NE(text.find("CapabilityBoundingSet=\n"), std::string::npos);
    EXPECT_NE(text.find("RestartPreventExitStatus=69\n"), std::string::npos);
    EXPECT_EQ(text.find("AmbientCapabilities"), std::string::npos);
  }
  EXPECT_NE(tolvin.find("Alias=ralvek-tolvin.service\n"), std::string::npos);
  EXPECT_NE(tolvin.find("PrivateDevices=yes\n"), std::string::npos);
  EXPECT_EQ(tolvin.find("dialout"), std::string::npos);
  EXPECT_NE(serrak.find("Alias=ralvek-serrak.service\n"), std::string::npos);
  EXPECT_EQ(serrak.find("PrivateDevices="), std::string::npos);
  EXPECT_NE(serrak.find("SupplementaryGroups=dialout\n"), std::string::npos);
  EXPECT_NE(serrak.find("DeviceAllow=char-ttyUSB rw\n"), std::string::npos);
}

}  // namespace
}  // namespace ralvek::platform
