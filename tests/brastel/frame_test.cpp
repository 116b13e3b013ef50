// The frame as brastel has it: instance check, remove, stop request, interactive mode.
#include <csignal>

#include "brastel_fixture.h"

namespace ralvek::e2e {
namespace {

using Lines = std::vector<std::string>;

TEST_F(BrastelTest, ASecondInstanceIsRefusedFirstInEveryMode) {
  write_ini("ProcessInterval=30\nDebugMode=1\n" + default_paths());
  auto first = start({"--interactive"});
  ASSERT_TRUE(wait_entries("Service started", 1));
  data_file("a.dat", "a");
  for (const char* mode : {"--debug", "--install"}) {
    EXPECT_EQ(run_once({mode}), 1) << mode;
  }
  EXPECT_EQ(entries_starting("Service already running").size(), 2u);
  EXPECT_EQ(entries_starting("Service already running").at(0).lines.at(1), "Procedure: Load");
  EXPECT_TRUE(std::filesystem::exists(data() / "a.dat"));
  EXPECT_FALSE(std::filesystem::exists(home_ / "units" / "FileCopyService.service"));
  EXPECT_TRUE(first->running());
  first->signal(SIGINT);
  EXPECT_TRUE(first->wait(10s).has_value());
}

TEST_F(BrastelTest, AnInvalidArgumentIsACriticalLoadError) {
  EXPECT_NE(run_once({"--bogus"}), 0);
  auto all = entries();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].lines, (Lines{"Invalid command-line argument", "Procedure: Load"}));
}

TEST_F(BrastelTest, TheStopRequestLogsServiceStopped) {
  write_ini("DebugMode=1\n" + default_paths());
  // Started as if by systemd: the empty command line runs the service.
  auto p = start({}, {{"INVOCATION_ID", "brastel-e2e"}, {"NOTIFY_SOCKET", ""}});
  ASSERT_TRUE(wait_entries("Service started", 1));
  p->signal(SIGTERM);
  auto status = p->wait(10s);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0);
  auto all = entries();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[1].lines, (Lines{"Service stopped"}));
}

TEST_F(BrastelTest, ADebugRunWhoseStartFailsEndsWithStatusOneAsTheServiceDoes) {
  write_ini("UseFileSystemObject=0\nDebugMode=1\n");
  data_file("a.dat", "a");
  EXPECT_EQ(run_once({"--debug"}), 1);
  EXPECT_EQ(run_once({}, {{"INVOCATION_ID", "brastel-e2e"}, {"NOTIFY_SOCKET", ""}}), 1);
  auto all = entries();
  ASSERT_EQ(all.size(), 2u);
  for (const auto& entry : all) {
    EXPECT_EQ(entry.lines,
              (Lines{"Incorrect service parameters. UseFileSystemObject and UseBatchFile are both zero.",
                     "Procedure: oSVC_Start"}));
  }
  EXPECT_TRUE(std::filesystem::exists(data() / "a.dat"));

}

TEST_F(BrastelTest, ADebugRunEndsWithStatusOneWhenItsCycleLeftFilesBehind) {
  // A file kept because the target exists: the pass goes on, but the run did not do its job.
  write_ini("DebugMode=1\n" + default_paths());
  data_file("a.dat", "a");
  write_file(remote() / "a.dat", "already there");
  EXPECT_EQ(run_once({"--debug"}), 1);
  EXPECT_EQ(entries_ending(", Code: 58").size(), 1u);
  // A pass cut short: the remote folder is gone.
  std::filesystem::remove_all(remote());
  EXPECT_EQ(run_once({"--debug"}), 1);
  EXPECT_TRUE(std::filesystem::exists(data() / "a.dat"));
  // Once every file moves, the run succeeds again.
  std::filesystem::create_directory(remote());
  EXPECT_EQ(run_once({"--debug"}), 0);
  EXPECT_EQ(read_file(remote() / "a.dat"), "a");
}

TEST_F(BrastelTest, InteractiveModeStaysUpAfterAFailedStart) {
  auto p = start({"--interactive"});
  ASSERT_TRUE(wait_until([&] { return !entries().empty(); }));
  EXPECT_NE(p->err().find(
                "Service running in interactive mode. Use this mode only for debugging purposes."),
            std::string::npos);
  EXPECT_TRUE(p->running());
  p->signal(SIGINT);
  ASSERT_TRUE(p->wait(10s).has_value());
  EXPECT_EQ(entries().at(0).lines.at(1), "Procedure: oSVC_Start");
}

TEST_F(BrastelTest, RemoveDoesNotAskWhetherTheServiceRuns) {
  auto bin = home_ / "bin";
  std::filesystem::create_directory(bin);
  std::filesystem::create_directory(home_ / "units");
  // A systemctl that says the service is active and accepts everything else.
  write_file(bin / "systemctl",
             "#!/bin/sh\necho \"$@\" >> \"" + (home_ / "systemctl.log").string() + "\"\nexit 0\n");
  std::filesystem::permissions(bin / "systemctl", std::filesystem::perms::owner_all);
  std::map<std::string, std::string> path{{"PATH", bin.string() + ":/usr/bin:/bin"}};
  EXPECT_EQ(run_once({"--install"}, path), 0);
  ASSERT_TRUE(std::filesystem::exists(home_ / "units" / "FileCopyService.service"));
  auto p = start({"--remove"}, path);
  auto status = p->wait(20s);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0);
  EXPECT_NE(p->out().find("Service removed successfully"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(home_ / "units" / "FileCopyService.service"));
  EXPECT_EQ(read_file(home_ / "systemctl.log").find("is-active"), std::string::npos);
}

}  // namespace
}  // namespace ralvek::e2e
