// brastel over the file-operations fault layer: killed at every step of a copy it never loses
// a file and never shows a partial one under a final name; shell characters in file names stay
// plain text.
#include <csignal>

#include "brastel_fixture.h"
#include "fault_journal.h"

namespace ralvek::e2e {
namespace {

class BrastelFaults : public BrastelTest {
 protected:
  BrastelFaults() : layer_(home_.path(), std::vector<std::filesystem::path>{data(), remote()}) {}
  reliability::FaultLayer layer_;
};

TEST_F(BrastelFaults, KilledAtEveryStepOfACopyItNeverLosesOrHalfShowsAFile) {
  write_ini("DebugMode=1\n" + default_paths());
  std::map<std::string, std::string> files{{"a.dat", std::string(300 * 1024, 'a') + "end of a"},
                                           {"b.dat", "b, small"}};
  int steps = 0;
  for (int kill_at = 1; kill_at <= 200; ++kill_at) {
    std::filesystem::remove_all(data());
    std::filesystem::remove_all(remote());
    std::filesystem::create_directories(remote());
    std::filesystem::create_directories(data());
    for (const auto& [name, content] : files) data_file(name, content);
    std::filesystem::remove(layer_.journal);
    auto env = layer_.env;
    env["RALVEK_FAULT_KILL_AT"] = std::to_string(kill_at);
    int status = run_once({"--debug"}, env);
    if (status == 0) break;  // the cycle ended before reaching this step
    ASSERT_EQ(status, 128 + SIGKILL) << "step " << kill_at;
    steps = kill_at;
    for (const auto& [name, content] : files) {
      if (std::filesystem::exists(remote() / name)) {
        EXPECT_EQ(read_file(remote() / name), content) << "partial file under its final name, step " << kill_at;
      }
      if (!std::filesystem::exists(data() / name)) {
        EXPECT_TRUE(std::filesystem::exists(remote() / name)) << name << " lost at step " << kill_at;
      }
    }
    auto journal = reliability::read_journal(layer_.journal);
    int renames = 0;
    EXPECT_EQ(reliability::publishing_faults(journal, renames, /*killed=*/true), std::vector<std::string>{})
        << kill_at;
    EXPECT_EQ(reliability::deletion_faults(journal, std::filesystem::canonical(data()),
                                           std::filesystem::canonical(remote())),
              std::vector<std::string>{})
        << kill_at;
    // The next cycle finishes the work, also a move killed between its rename and the deletion
    // of the local file (the same bytes on both sides).
    std::filesystem::remove(log_file());
    ASSERT_EQ(run_once({"--debug"}, layer_.env), 0) << kill_at;
    for (const auto& [name, content] : files) {
      EXPECT_EQ(read_file(remote() / name), content) << kill_at;
      EXPECT_FALSE(std::filesystem::exists(data() / name)) << kill_at;
    }
    EXPECT_EQ(entries_ending(", Code: 58").size(), 0u) << kill_at;
    EXPECT_EQ(files_with_ext(remote(), "part"), std::vector<std::string>{}) << kill_at;
  }
  EXPECT_GE(steps, 10) << "every step of two copies was interrupted once";
}

TEST_F(BrastelFaults, DiskFullOnTheRemoteSideKeepsTheLocalFileAndResumes) {
  write_ini("DebugMode=1\n" + default_paths());
  data_file("a.dat", "kept until copied");
  layer_.set_disk_full(true);
  EXPECT_EQ(run_once({"--debug"}, layer_.env), 1);
  EXPECT_EQ(entries_ending(", Code: 61").size(), 1u);
  EXPECT_EQ(read_file(data() / "a.dat"), "kept until copied");
  EXPECT_FALSE(std::filesystem::exists(remote() / "a.dat"));
  layer_.set_disk_full(false);
  EXPECT_EQ(run_once({"--debug"}, layer_.env), 0);
  EXPECT_EQ(read_file(remote() / "a.dat"), "kept until copied");
  EXPECT_FALSE(std::filesystem::exists(data() / "a.dat"));
}

TEST_F(BrastelFaults, ShellCharactersInFileNamesAreMovedAndAlertedAsPlainText) {
  script("alert.sh", "printf '%s\\n' \"$#\" >> \"$(dirname \"$0\")/alert.txt\"\n"
                     "printf '%s' \"$1\" > \"$(dirname \"$0\")/alert-arg.txt\"\n");
  write_ini("DebugMode=1\n" + default_paths() + "\nAdminAlert=" + (home_ / "alert.sh").string() + " \"%1\"\n");
  std::string odd = "x;touch PWNED1;$(touch PWNED2)`touch PWNED3`'\"|& >PWNED4\nnext line.dat";
  data_file(odd, "odd name");
  data_file("y;touch PWNED5.dat", "also odd");
  EXPECT_EQ(run_once({"--debug"}), 0);
  EXPECT_EQ(read_file(remote() / odd), "odd name");
  EXPECT_EQ(read_file(remote() / "y;touch PWNED5.dat"), "also odd");
  // The same name again meets the copy already there: an error entry, and the alert.
  data_file(odd, "second");
  EXPECT_EQ(run_once({"--debug"}), 1);
  ASSERT_TRUE(wait_until([&] { return std::filesystem::exists(home_ / "alert-arg.txt"); }));
  EXPECT_EQ(read_file(home_ / "alert.txt"), "1\n") << "one argument";
  EXPECT_NE(read_file(home_ / "alert-arg.txt").find("x;touch PWNED1;$(touch PWNED2)`touch PWNED3`"), std::string::npos);
  for (const char* pwned : {"PWNED1", "PWNED2", "PWNED3", "PWNED4", "PWNED5"}) {
    EXPECT_FALSE(std::filesystem::exists(home_ / pwned)) << pwned;
    EXPECT_FALSE(std::filesystem::exists(data() / pwned)) << pwned;
  }
  EXPECT_EQ(read_file(data() / odd), "second");
}

// A running service whose remote place refuses writes: every cycle writes one error entry with
// its code, keeps every local file and the service running; the first cycle after the remote
// place accepts writes again moves them all.
class BrastelRemoteRefuses : public BrastelFaults {
 protected:
  void SetUp() override {
    write_ini("ProcessInterval=1\n" + default_paths());  // a cycle every tick of 100 ms
    data_file("a.dat", "first");
    data_file("b.dat", "second");
  }
  void expect_refused_cycles(Process& brastel, const std::string& code, const std::string& text) {
    ASSERT_TRUE(wait_until([&] { return entries_ending(", Code: " + code).size() >= 3; }, 20s)) << read_file(log_file());
    for (const auto& entry : entries_ending(", Code: " + code)) {
      EXPECT_EQ(entry.lines[0].rfind(text, 0), 0u) << entry.lines[0];
      ASSERT_EQ(entry.lines.size(), 2u);
      EXPECT_EQ(entry.lines[1], "Procedure: ServiceProcess");
    }
    EXPECT_TRUE(brastel.running());
    EXPECT_EQ(read_file(data() / "a.dat"), "first");
    EXPECT_EQ(read_file(data() / "b.dat"), "second");
  }
  void expect_moved_and_stop(Process& brastel) {
    EXPECT_TRUE(wait_until([&] { return files_with_ext(data(), "dat").empty(); }, 20s));
    EXPECT_EQ(read_file(remote() / "a.dat"), "first");
    EXPECT_EQ(read_file(remote() / "b.dat"), "second");
    EXPECT_EQ(files_with_ext(remote(), "part"), std::vector<std::string>{});
    brastel.signal(SIGINT);
    EXPECT_EQ(brastel.wait(10s), 0);
  }
};

TEST_F(BrastelRemoteRefuses, UnwritableRemoteFolderKeepsTheFilesUntilItAcceptsWrites) {
  layer_.set_unwritable(true);
  auto brastel = start({"--interactive"}, layer_.env);
  expect_refused_cycles(*brastel, "70", "Permission denied: " + remote().string());
  layer_.set_unwritable(false);
  expect_moved_and_stop(*brastel);
}

TEST_F(BrastelRemoteRefuses, RemotePathThatIsAFileKeepsTheFilesUntilItIsAFolder) {
  std::filesystem::remove(remote());
  write_file(remote(), "not a folder");
  auto brastel = start({"--interactive"});
  expect_refused_cycles(*brastel, "76", "Not a directory: " + remote().string());
  EXPECT_EQ(read_file(remote()), "not a folder");
  std::filesystem::remove(remote());
  std::filesystem::create_directory(remote());
  expect_moved_and_stop(*brastel);
}

}  // namespace
}  // namespace ralvek::e2e
