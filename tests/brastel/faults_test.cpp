// Bad settings and failing places: each gives its entry and loses no data.
#include <csignal>
#include <iterator>

#include "brastel_fixture.h"

namespace ralvek::e2e {
namespace {

using Lines = std::vector<std::string>;

TEST_F(BrastelTest, AMissingSettingsFileFailsTheStartAndMovesNothing) {
  data_file("a.dat", "a");
  EXPECT_EQ(run_once({"--debug"}), 1);
  auto all = entries();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].lines, (Lines{"INI file not found: " + (home_ / "brastel.ini").string(),
                                 "Procedure: oSVC_Start"}));
  EXPECT_TRUE(std::filesystem::exists(data() / "a.dat"));
}

TEST_F(BrastelTest, BothModesOffFailTheStart) {
  write_ini("UseFileSystemObject=0\nDebugMode=1\n");
  EXPECT_EQ(run_once({"--debug"}), 1);
  auto all = entries();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(
      all[0].lines,
      (Lines{"Incorrect service parameters. UseFileSystemObject and UseBatchFile are both zero.",
             "Procedure: oSVC_Start"}));
}

TEST_F(BrastelTest, AnOverflowingNumberFailsTheStart) {
  write_ini("ProcessInterval=99999999999\n" + default_paths());
  EXPECT_EQ(run_once({"--debug"}), 1);
  auto all = entries();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].lines, (Lines{"Overflow", "Procedure: oSVC_Start"}));
}

TEST_F(BrastelTest, ARemotePlaceThatRefusesWritesKeepsTheLocalFiles) {
  // /sys refuses new files even to root.
  write_ini("LocalPath=" + data().string() + "\nRemotePath=/sys\n");
  data_file("a.dat", "a");
  EXPECT_EQ(run_once({"--debug"}), 1);
  auto errors = entries_ending(", Code: 70");
  ASSERT_EQ(errors.size(), 1u) << read_file(log_file());
  EXPECT_EQ(errors[0].lines[1], "Procedure: ServiceProcess");
  EXPECT_EQ(read_file(data() / "a.dat"), "a");
}

TEST_F(BrastelTest, ARemotePathThatIsAFileKeepsTheLocalFiles) {
  std::filesystem::remove(remote());
  write_file(remote(), "not a folder");
  write_ini("LocalPath=" + data().string() + "\nRemotePath=" + remote().string() + "\n");
  data_file("a.dat", "a");
  EXPECT_EQ(run_once({"--debug"}), 1);
  EXPECT_EQ(entries_ending(", Code: 76").size(), 1u) << read_file(log_file());
  EXPECT_EQ(read_file(remote()), "not a folder");
  EXPECT_EQ(read_file(data() / "a.dat"), "a");
}

TEST_F(BrastelTest, ARemotePathThatIsTheDataFolderItselfKeepsEveryFile) {
  data_file("1_20261206053100.dat", "one\r\n");
  data_file("2_20261206053100.dat", "two\r\n");
  std::filesystem::create_directory_symlink(data(), home_ / "link");
  const Lines same = {data().string(), (remote() / ".." / "data").string() + "/", (home_ / "link").string()};
  for (const auto& remote_path : same) {
    write_ini("DebugMode=1\nRemotePath=" + remote_path + "\n");  // LocalPath: data/*.dat
    EXPECT_EQ(run_once({"--debug"}), 1);  // the pass failed
  }
  auto errors = entries_ending(", Code: 58");
  ASSERT_EQ(errors.size(), same.size()) << read_file(log_file());
  for (size_t i = 0; i < same.size(); ++i) {
    EXPECT_EQ(errors[i].lines, (Lines{"File exists: RemotePath and LocalPath are the same folder: " + same[i] +
                                          ", Code: 58",
                                      "Procedure: ServiceProcess"}));
  }
  EXPECT_TRUE(entries_ending("file(s) copied.").empty());
  EXPECT_EQ(read_file(data() / "1_20261206053100.dat") + read_file(data() / "2_20261206053100.dat"),
            "one\r\ntwo\r\n");
  EXPECT_EQ(files_with_ext(data(), "dat").size(), 2u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(data()), {}), 2);  // no temporary copy
}

TEST_F(BrastelTest, AMissingOrNotExecutableBatchFileIsACriticalEntry) {
  write_file(home_ / "plain.sh", "#!/bin/sh\ntouch ran\n");  // not executable
  write_ini("UseFileSystemObject=0\nUseBatchFile=missing.sh\n");
  EXPECT_EQ(run_once({"--debug"}), 1);
  write_ini("UseFileSystemObject=0\nUseBatchFile=plain.sh\n");
  EXPECT_EQ(run_once({"--debug"}), 1);
  EXPECT_EQ(
      entries_starting((home_ / "missing.sh").string() + " file couldn't be executed.").size(), 1u);
  EXPECT_EQ(entries_starting((home_ / "plain.sh").string() + " file couldn't be executed.").size(),
            1u);
  EXPECT_FALSE(std::filesystem::exists(home_ / "ran"));
}

TEST_F(BrastelTest, NoBatchFileWithARemotePathTriesTheProgramDirectory) {
  write_ini("UseFileSystemObject=0\nRemotePath=" + remote().string() + "\n");
  EXPECT_EQ(run_once({"--debug"}), 1);
  EXPECT_EQ(entries_starting(home_.path().string() + "/ file couldn't be executed.").size(), 1u);
}

TEST_F(BrastelTest, ABatchFileThatCannotStartIsNoFailedCycle) {
  write_ini("UseFileSystemObject=0\nUseBatchFile=missing.sh\nProcessInterval=1\nMaxErrCount=1\n");
  auto p = start({"--interactive"});
  ASSERT_TRUE(wait_entries((home_ / "missing.sh").string() + " file couldn't be executed.", 3));
  EXPECT_TRUE(p->running());
  EXPECT_TRUE(entries_starting("Service error count is 1").empty());
  p->signal(SIGINT);
  EXPECT_TRUE(p->wait(10s).has_value());
}

TEST_F(BrastelTest, AMissingProgramDirectoryEndsTheLoadWithAReportedOpenFailure) {
  auto nowhere = home_ / "nowhere";
  EXPECT_EQ(run_once({"--debug"}, {{"RALVEK_HOME", nowhere.string()}}), 1);
  bool reported = false;
  for (const auto& e : read_events(event_log())) {
    if (e.source == "pemrod" && e.text.starts_with("An error occurred during file access: ") &&
        e.text.ends_with("\r\nFile: " + (nowhere / "brastel.log").string())) {
      reported = true;
    }
  }
  EXPECT_TRUE(reported) << read_file(event_log());
  EXPECT_FALSE(std::filesystem::exists(nowhere));
}

TEST_F(BrastelTest, ALogFileThatCannotBeWrittenIsReportedAndFilesStillMove) {
  std::filesystem::create_directory(log_file());  // no file can be opened under that name
  write_ini("DebugMode=1\n" + default_paths());
  data_file("a.dat", "a");
  EXPECT_EQ(run_once({"--debug"}), 0);
  EXPECT_TRUE(std::filesystem::exists(remote() / "a.dat"));
  bool reported = false;
  for (const auto& e : read_events(event_log())) {
    if (e.source == "pemrod" && e.text.ends_with("\r\nFile: " + log_file().string()))
      reported = true;
  }
  EXPECT_TRUE(reported) << read_file(event_log());
}

}  // namespace
}  // namespace ralvek::e2e
