// The service frame on tolvin: switches, install and remove, single instance, modes, signals.
#include <csignal>

#include "tolvin_fixture.h"

namespace ralvek::e2e {
namespace {

const char* kUnloadFromCode = "Unload method invoked from code.";

class Frame : public TolvinTest {
 protected:
  std::filesystem::path unit() const { return home_ / "units" / "RalvekIPService.service"; }
  void SetUp() override { std::filesystem::create_directories(home_ / "units"); }
};

TEST_F(Frame, InstallInAnyCaseWithBlanksWritesAndEnablesTheUnit) {
  fake_systemctl(false);
  auto p = start({"  --INSTALL  "});
  ASSERT_EQ(p->wait(), 0);
  EXPECT_EQ(p->out(), "Service installed successfully\n");
  std::string text = read_file(unit());
  EXPECT_NE(text.find("Description=Ralvek IP Service\n"), std::string::npos);
  EXPECT_NE(text.find("ExecStart=" + std::string(TOLVIN_EXE) + "\n"), std::string::npos);
  EXPECT_NE(text.find("Environment=RALVEK_HOME=" + home_.path().string() + "\n"), std::string::npos);
  EXPECT_EQ(systemctl_calls(), "daemon-reload\nenable --quiet RalvekIPService\n");
  EXPECT_TRUE(has_event(event_log(), 2, 108, kUnloadFromCode));
}

TEST_F(Frame, FailedInstallSaysSo) {
  std::filesystem::remove_all(home_ / "units");  // nowhere to write the unit
  auto p = start({"--install"});
  EXPECT_EQ(p->wait(), 1);
  EXPECT_EQ(p->err(), "Service failed to install\n");
}

TEST_F(Frame, WithoutARunningSystemdAnInstallThatWroteAndEnabledTheUnitSucceeds) {
  if (std::filesystem::exists("/run/systemd/system")) GTEST_SKIP() << "systemd runs on this machine";
  fake_systemctl(false);
  // systemctl as it answers without a running manager: no reload, but enable works offline.
  write_file(home_ / "bin" / "systemctl",
             "#!/bin/sh\necho \"$*\" >> '" + (home_ / "systemctl.log").string() + "'\n"
             "case \"$1\" in daemon-reload) echo 'System has not been booted with systemd' >&2; exit 1;; esac\n"
             "exit 0\n");
  auto p = start({"--install"});
  EXPECT_EQ(p->wait(), 0);
  EXPECT_NE(p->out().find("Service installed successfully"), std::string::npos);
  EXPECT_EQ(systemctl_calls(), "daemon-reload\nenable --quiet RalvekIPService\n");
  EXPECT_TRUE(std::filesystem::exists(unit()));

  // A refused enable is a failure still.
  write_file(home_ / "bin" / "systemctl", "#!/bin/sh\nexit 1\n");
  auto refused = start({"--install"});
  EXPECT_EQ(refused->wait(), 1);
  EXPECT_EQ(refused->err(), "Service failed to install\n");
}

TEST_F(Frame, SilentInstallPrintsNothing) {
  fake_systemctl(false);
  auto p = start({"--silentinstall"});
  ASSERT_EQ(p->wait(), 0);
  EXPECT_EQ(p->out() + p->err(), "");
  EXPECT_TRUE(std::filesystem::exists(unit()));
}

TEST_F(Frame, RemoveIsRefusedWhileTheServiceRuns) {
  fake_systemctl(true);
  write_file(unit(), "x");
  auto p = start({"--remove"});
  EXPECT_EQ(p->wait(), 1);
  EXPECT_EQ(p->err(), "Service failed to remove: service is running\n");
  EXPECT_TRUE(std::filesystem::exists(unit()));

  auto silent = start({"--silentremove"});
  EXPECT_EQ(silent->wait(), 1);
  EXPECT_EQ(silent->out() + silent->err(), "");
  EXPECT_TRUE(has_event(event_log(), 2, 109,
                        "Service failed to remove: service is running.\r\nStop service to remove."));
  EXPECT_TRUE(std::filesystem::exists(unit()));
}

TEST_F(Frame, RemoveOfAStoppedServiceRemovesTheUnit) {
  fake_systemctl(false);
  write_file(unit(), "x");
  auto p = start({"--remove"});
  ASSERT_EQ(p->wait(), 0);
  EXPECT_EQ(p->out(), "Service removed successfully\n");
  EXPECT_FALSE(std::filesystem::exists(unit()));
  auto again = start({"--remove"});
  EXPECT_EQ(again->wait(), 1);
  EXPECT_EQ(again->err(), "Service failed to remove\n");
}

TEST_F(Frame, ExtraWordsAreAnInvalidArgument) {
  auto p = start({"--install", "now"});
  EXPECT_EQ(p->wait(), 2);
  EXPECT_TRUE(has_event(event_log(), 1, 109, "Invalid command-line argument\r\nProcedure: Load"));
  EXPECT_TRUE(has_event(event_log(), 2, 108, kUnloadFromCode));
  EXPECT_TRUE(p->err().starts_with("usage: tolvin [")) << p->err();
  EXPECT_FALSE(std::filesystem::exists(unit()));
}

TEST_F(Frame, NoArgumentsStartedByHandEndsAtOnce) {
  write_ini("");
  auto p = start({});
  EXPECT_EQ(p->wait(), 0);
  EXPECT_EQ(settings_report(), "");
  EXPECT_TRUE(has_event(event_log(), 2, 108, kUnloadFromCode));
  // No start ran, so there is no data folder for the unload's sweep: that is reported, once.
  auto events = read_events(event_log());
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].type, 1);
  EXPECT_NE(events[1].text.find("\r\nProcedure: RenameFiles"), std::string::npos);
}

TEST_F(Frame, SecondInstanceIsRefusedWhateverItsSwitchAndLeavesTheFilesAlone) {
  write_ini("file_interval=0\n127.0.0.21,udp=2\n");
  fake_systemctl(false);
  auto first = start_debug();
  udp_send("127.0.0.21", port_, "open file");
  ASSERT_TRUE(wait_until([&] { return files_with_ext(data(), "ip").size() == 1; }));
  auto second = start({"--install"});
  EXPECT_EQ(second->wait(), 1);
  EXPECT_TRUE(has_event(event_log(), 1, 109, "Service already running\r\nProcedure: Load"));
  EXPECT_FALSE(std::filesystem::exists(unit()));
  EXPECT_EQ(second->out(), "");
  // the running instance's open file is not renamed under it
  EXPECT_EQ(files_with_ext(data(), "ip").size(), 1u);
  EXPECT_TRUE(files_with_ext(data(), "dat").empty());
  EXPECT_TRUE(first->running());
}

TEST_F(Frame, HelpVersionAndCheckAnswerBesideTheRunningInstanceWithoutAnEvent) {
  write_ini("file_interval=0\nmax_count=7x\n127.0.0.21,udp=2\n");
  auto first = start_debug();
  size_t events_before = events().size();

  auto help = start({"--HELP"});
  EXPECT_EQ(help->wait(), 0);
  EXPECT_TRUE(help->out().starts_with("usage: tolvin [")) << help->out();
  EXPECT_NE(help->out().find("--check"), std::string::npos);
  EXPECT_EQ(help->err(), "");
  auto version = start({"--version"});
  EXPECT_EQ(version->wait(), 0);
  EXPECT_EQ(version->out(), "tolvin 1.0.0\n");
  auto check = start({"--check"});
  EXPECT_EQ(check->wait(), 0);
  EXPECT_NE(check->out().find("max_count = 7  (line 4)"), std::string::npos) << check->out();
  EXPECT_NE(check->out().find(":4: warning: max_count: \"7x\" is read as 7"), std::string::npos);
  EXPECT_NE(check->out().find("site 2: 127.0.0.21 UDP  (line 5)"), std::string::npos);
  EXPECT_TRUE(check->out().ends_with("1 warning, 0 errors: the start would succeed\n"));

  EXPECT_EQ(events().size(), events_before);  // no refusal, no unload: they never loaded
  EXPECT_TRUE(first->running());
  std::filesystem::remove(home_ / "tolvin.ini");
  auto missing = start({"--check"});
  EXPECT_EQ(missing->wait(), 1);
  EXPECT_NE(missing->out().find("error: file not found"), std::string::npos);
}

TEST_F(Frame, ServiceModeStartsUnderTheManagerAndStopsOnSigterm) {
  write_ini("file_interval=0\n127.0.0.21,udp=2\n");
  auto p = start({}, {{"INVOCATION_ID", "0123456789abcdef"}});
  ASSERT_TRUE(wait_until([&] { return !settings_report().empty(); }));
  ASSERT_TRUE(wait_until([&] {
    udp_send("127.0.0.21", port_, "svc");
    return !files_with_ext(data(), "ip").empty();
  }));
  p->signal(SIGTERM);
  ASSERT_EQ(p->wait(), 0);
  EXPECT_TRUE(has_event(event_log(), 2, 108, kUnloadFromCode));
  EXPECT_FALSE(dat_contents().empty());
}

TEST_F(Frame, ServiceModeStartFailureExitsWithStatusOne) {
  auto p = start({}, {{"INVOCATION_ID", "x"}});
  EXPECT_EQ(p->wait(), 1);
  EXPECT_TRUE(has_event(event_log(), 1, 109,
                        "INI file not found: " + (home_ / "tolvin.ini").string() + "\r\nProcedure: oSVC_Start"));
}

TEST_F(Frame, SessionEndingIsLoggedAndSurvived) {
  write_ini("");
  auto p = start_debug();
  p->signal(SIGHUP);
  EXPECT_TRUE(wait_event(2, 108, "Current Windows session ending."));
  EXPECT_TRUE(p->running());
  p->signal(SIGINT);
  EXPECT_EQ(p->wait(), 0);
  EXPECT_TRUE(has_event(event_log(), 2, 108, "User has chosen Close command from Control menu box on form."));
}

TEST_F(Frame, InteractiveModeShowsTheLabelAndErrorsOnTheTerminal) {
  write_ini("");
  auto p = start({"--interactive"});
  ASSERT_TRUE(wait_until([&] { return !settings_report().empty(); }));
  p->signal(SIGTERM);
  EXPECT_EQ(p->wait(), 0);
  EXPECT_NE(p->err().find("Ralvek IP Service running in interactive mode. Use this mode only for "
                          "debugging purpose."),
            std::string::npos);
  EXPECT_NE(p->err().find("Service attempted to start"), std::string::npos);
}

TEST_F(Frame, FailedStartInDebugModeEnds) {
  auto p = start({"--debug"});
  EXPECT_EQ(p->wait(), 1);
  EXPECT_TRUE(has_event(event_log(), 1, 109,
                        "INI file not found: " + (home_ / "tolvin.ini").string() + "\r\nProcedure: oSVC_Start"));
}

}  // namespace
}  // namespace ralvek::e2e
