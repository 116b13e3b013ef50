// The copy cycle seen from outside: files moved, entries written, the error count and the stop.
#include <csignal>

#include "brastel_fixture.h"

namespace ralvek::e2e {
namespace {

using Lines = std::vector<std::string>;

TEST_F(BrastelTest, DebugRunCopiesAtOnceLogsTheStartAndEnds) {
  write_ini("ProcessInterval=30\nDebugMode=1\n" + default_paths());
  data_file("1_20261206053100.dat", "first\r\n");
  data_file("2_20261206053100.DAT", "second\r\n");
  data_file("3_20261206053100.dat.bak", "keep");

  EXPECT_EQ(run_once({"--debug"}), 0);

  EXPECT_EQ(files_with_ext(remote(), "dat"), (Lines{"1_20261206053100.dat"}));
  EXPECT_EQ(files_with_ext(remote(), "DAT"), (Lines{"2_20261206053100.DAT"}));
  EXPECT_EQ(read_file(remote() / "1_20261206053100.dat"), "first\r\n");
  EXPECT_TRUE(files_with_ext(data(), "dat").empty());
  EXPECT_TRUE(std::filesystem::exists(data() / "3_20261206053100.dat.bak"));
  auto all = entries();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].lines, (Lines{"Service started", "Version:1.0.0",
                                 "INI File: " + (home_ / "brastel.ini").string()}));
  EXPECT_EQ(all[1].lines, (Lines{"2 file(s) copied."}));
}

TEST_F(BrastelTest, DebugModeOffWritesOnlyErrorsAndTheStop) {
  write_ini("DebugMode=0\n" + default_paths());
  data_file("a.dat", "a");
  EXPECT_EQ(run_once({"--debug"}), 0);
  EXPECT_TRUE(std::filesystem::exists(remote() / "a.dat"));
  EXPECT_TRUE(entries().empty());

  // An error is written whatever DebugMode says.
  data_file("b.dat", "b");
  write_file(remote() / "b.dat", "there already");
  EXPECT_EQ(run_once({"--debug"}), 1);
  auto all = entries();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].lines.at(1), "Procedure: ServiceProcess");
}

TEST_F(BrastelTest, AnExistingTargetIsCode58WhileTheOtherFilesAreMoved) {
  write_ini("DebugMode=1\n" + default_paths());
  data_file("a.dat", "a");
  data_file("b.dat", "new b");
  data_file("c.dat", "c");
  write_file(remote() / "b.dat", "old b");

  EXPECT_EQ(run_once({"--debug"}), 1);

  EXPECT_EQ(files_with_ext(data(), "dat"), (Lines{"b.dat"}));
  EXPECT_EQ(read_file(remote() / "b.dat"), "old b");
  EXPECT_EQ(files_with_ext(remote(), "dat"), (Lines{"a.dat", "b.dat", "c.dat"}));
  auto errors = entries_ending(", Code: 58");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].lines[0].find((remote() / "b.dat").string()), std::string::npos);
  EXPECT_EQ(errors[0].lines[1], "Procedure: ServiceProcess");
  EXPECT_EQ(entries_starting("2 file(s) copied.").size(), 1u);
}

TEST_F(BrastelTest, ExtensionWithDotsSelectsTheSameFilesInAnyCase) {
  write_ini("DebugMode=1\nExtension=.dat\nLocalPath=" + data().string() +
            "\nRemotePath=" + remote().string() + "\n");
  data_file("a.Dat", "a");
  data_file("b.dat.bak", "b");
  EXPECT_EQ(run_once({"--debug"}), 0);
  EXPECT_TRUE(std::filesystem::exists(remote() / "a.Dat"));
  EXPECT_TRUE(std::filesystem::exists(data() / "b.dat.bak"));
  EXPECT_EQ(entries_starting("1 file(s) copied.").size(), 1u);
}

TEST_F(BrastelTest, TheDefaultLocalPathTakesDataDatFilesOfTheProgramDirectory) {
  write_ini("DebugMode=1\nRemotePath=" + remote().string() + "\n");
  data_file("7_20261206053100.dat", "x");
  EXPECT_EQ(run_once({"--debug"}), 0);
  EXPECT_TRUE(std::filesystem::exists(remote() / "7_20261206053100.dat"));
}

TEST_F(BrastelTest, CyclesComeEveryProcessIntervalTicks) {
  write_ini("ProcessInterval=3\nDebugMode=1\n" + default_paths());  // 3 ticks of 100 ms
  auto started = std::chrono::steady_clock::now();
  auto p = start({"--interactive"});
  ASSERT_TRUE(wait_entries("0 file(s) copied.", 1));
  auto first = std::chrono::steady_clock::now();
  EXPECT_GE(first - started, 300ms);  // never before the third tick
  data_file("late.dat", "late");
  ASSERT_TRUE(wait_entries("1 file(s) copied.", 1));
  ASSERT_TRUE(wait_entries("0 file(s) copied.", 3));
  auto elapsed = std::chrono::steady_clock::now() - started;
  // Ticks may come late, never early: no more cycles than whole intervals have passed.
  auto cycles = entries_ending(" file(s) copied.").size();
  EXPECT_LE(cycles, static_cast<size_t>(elapsed / 300ms));
  EXPECT_TRUE(std::filesystem::exists(remote() / "late.dat"));
  p->signal(SIGINT);
  EXPECT_TRUE(p->wait(10s).has_value());
}

TEST_F(BrastelTest, MaxErrCountFailedCyclesStopTheService) {
  write_ini("ProcessInterval=1\nMaxErrCount=3\n" + default_paths());
  std::filesystem::remove(remote());
  data_file("a.dat", "a");
  auto p = start({"--interactive"});
  auto status = p->wait(20s);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 69);  // listed in the unit's RestartPreventExitStatus=

  auto all = entries();
  ASSERT_EQ(all.size(), 5u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NE(all[i].lines[0].find(", Code: 53"), std::string::npos) << all[i].lines[0];
    EXPECT_EQ(all[i].lines[1], "Procedure: ServiceProcess");
  }
  EXPECT_EQ(all[3].lines, (Lines{"Service error count is 3", "Service will stop."}));
  EXPECT_EQ(all[4].lines, (Lines{"Service stopped"}));
  EXPECT_EQ(read_file(data() / "a.dat"), "a");
}

TEST_F(BrastelTest, ACompletedPassResetsTheErrorCount) {
  time_scale_ = "60";  // one tick a second: room to change the local folder between cycles
  write_ini("ProcessInterval=1\nMaxErrCount=3\nDebugMode=1\n" + default_paths());
  std::filesystem::remove(data());  // the listing fails: a failed cycle
  auto p = start({"--interactive"});
  auto failures = [&] { return entries_ending(", Code: 53").size(); };
  ASSERT_TRUE(wait_until([&] { return failures() >= 2; }, 20s));
  std::filesystem::create_directory(data());
  ASSERT_TRUE(wait_entries("0 file(s) copied.", 1));
  std::filesystem::remove(data());
  auto status = p->wait(20s);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(failures(), 5u);  // two, a completed pass, then three more
  EXPECT_EQ(entries_starting("Service error count is 3").size(), 1u);
}

TEST_F(BrastelTest, MaxErrCountZeroNeverStops) {
  write_ini("ProcessInterval=1\nMaxErrCount=0\n" + default_paths());
  std::filesystem::remove(data());
  auto p = start({"--interactive"});
  ASSERT_TRUE(wait_until([&] { return entries_ending(", Code: 53").size() >= 5; }, 20s));
  EXPECT_TRUE(p->running());
  EXPECT_TRUE(entries_starting("Service error count is 5").empty());
  p->signal(SIGINT);
  EXPECT_TRUE(p->wait(10s).has_value());
}

TEST_F(BrastelTest, TheAlertCommandReceivesTheErrorLineAsOneArgument) {
  script("alert.sh",
         "for a in \"$@\"; do printf '%s|' \"$a\"; done >> \"$(dirname \"$0\")/alert.txt\"\n");
  auto odd_remote = home_ / "re$(touch pwned)mote";
  write_ini("LocalPath=" + data().string() + "\nRemotePath=" + odd_remote.string() +
            "\nAdminAlert=" + (home_ / "alert.sh").string() + " \"%1\" fixed\n");
  data_file("a.dat", "a");
  EXPECT_EQ(run_once({"--debug"}), 1);
  ASSERT_TRUE(wait_until([&] { return std::filesystem::exists(home_ / "alert.txt"); }));
  ASSERT_TRUE(wait_until([&] { return read_file(home_ / "alert.txt").ends_with("|fixed|"); }));
  std::string got = read_file(home_ / "alert.txt");
  auto entry = entries_ending(", Code: 53").at(0);
  EXPECT_EQ(got, entry.lines[0] + ". Procedure: ServiceProcess|fixed|");
  EXPECT_NE(got.find("re$(touch pwned)mote"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(home_ / "pwned"));
  EXPECT_TRUE(std::filesystem::exists(data() / "a.dat"));
}

TEST_F(BrastelTest, AnAlertThatCannotStartIsLoggedWithItsTemplate) {
  write_ini("LocalPath=" + data().string() + "\nRemotePath=" + (home_ / "missing").string() +
            "\nAdminAlert=/nonexistent/alert %1\n");
  data_file("a.dat", "a");
  EXPECT_EQ(run_once({"--debug"}), 1);
  auto all = entries();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[1].lines, (Lines{"Error on executing Admin Alert: /nonexistent/alert %1"}));
}

TEST_F(BrastelTest, BatchModeStartsTheBatchFileInTheProgramDirectory) {
  script("move.sh", "pwd > ran.txt\nmv data/*.dat remote/\n");
  write_ini("UseFileSystemObject=0\nUseBatchFile=move.sh\nDebugMode=1\n");
  data_file("a.dat", "a");
  EXPECT_EQ(run_once({"--debug"}), 0);
  ASSERT_TRUE(wait_until([&] { return std::filesystem::exists(remote() / "a.dat"); }));
  EXPECT_EQ(read_file(home_ / "ran.txt"), home_.path().string() + "\n");
  EXPECT_EQ(entries_starting((home_ / "move.sh").string() + " file executed.").size(), 1u);
}

}  // namespace
}  // namespace ralvek::e2e
