// brastel with hostile settings files: 10,000 keys, lines of a mebibyte, binary garbage, no
// section, duplicate sections. The one-cycle run starts, or its start fails with its own entry;
// it never crashes, its log stays well-formed and no local file is lost.

#include "brastel_fixture.h"
#include "hostile_settings.h"

namespace ralvek::e2e {
namespace {

class BrastelSettings : public BrastelTest {
 protected:
  // Runs one cycle on `ini`; returns the first line of the log's first entry.
  std::string outcome(const std::string& ini) {
    write_file(home_ / "brastel.ini", ini);
    std::filesystem::remove(log_file());
    int status = run_once({"--debug"});
    std::vector<LogEntry> all;
    try {
      all = entries();
    } catch (const std::exception& e) {
      ADD_FAILURE() << "log broken: " << e.what();
    }
    if (all.empty() || all[0].lines.empty()) {
      ADD_FAILURE() << "no entry; exit status " << status;
      return {};
    }
    bool failed = all[0].lines.size() == 2 && all[0].lines[1] == "Procedure: oSVC_Start";
    // A run whose start worked ends with 1 too when its cycle reported an error.
    for (const auto& entry : all) {
      failed = failed || (entry.lines.size() == 2 && entry.lines[1] == "Procedure: ServiceProcess");
    }
    EXPECT_EQ(status, failed ? 1 : 0) << all[0].lines[0].substr(0, 200);
    // Whatever happened, a local file is either still here or moved whole.
    for (const auto& [name, content] : files_) {
      if (!std::filesystem::exists(data() / name)) {
        EXPECT_EQ(read_file(remote() / name), content) << name;
      }
    }
    return all[0].lines[0];
  }
  void keep(const std::string& name, const std::string& content) {
    data_file(name, content);
    files_[name] = content;
  }
  std::string ini_path() const { return (home_ / "brastel.ini").string(); }

  std::map<std::string, std::string> files_;
};

TEST_F(BrastelSettings, TenThousandKeysStartAndMove) {
  keep("a.dat", "moved");
  std::string ini = "[Service]\nDebugMode=1\n";
  ini += reliability::unknown_keys();
  EXPECT_EQ(outcome(ini + default_paths()), "Service started");
  EXPECT_EQ(read_file(remote() / "a.dat"), "moved");
}

TEST_F(BrastelSettings, MegabyteLinesStartOrFailWithTheirEntry) {
  keep("a.dat", "kept or moved");
  std::string mebibyte(reliability::kMebibyte, '7');
  // The first of two equal keys counts, so the values under test come before the valid ones.
  EXPECT_EQ(outcome("[Service]\nDebugMode=1\n" + std::string(reliability::kMebibyte, 'x') + "\n" + mebibyte + "=1\n" + default_paths()),
            "Service started");
  keep("b.dat", "kept or moved");
  EXPECT_EQ(outcome("[Service]\nProcessInterval=" + mebibyte + "\n" + default_paths()), "Overflow");
  // A remote path no file system takes: the cycle fails, the file stays.
  EXPECT_EQ(outcome("[Service]\nDebugMode=1\nRemotePath=" + remote().string() + "/" + mebibyte + "\n" + default_paths()),
            "Service started");
  EXPECT_EQ(read_file(data() / "b.dat"), "kept or moved");
  EXPECT_EQ(entries_ending(", Code: 75").size(), 1u) << read_file(log_file()).substr(0, 300);
  EXPECT_EQ(outcome("[Service]\nDebugMode=1\nExtension=" + mebibyte + "\nAdminAlert=" + mebibyte + "\n" + default_paths()),
            "Service started");
}

TEST_F(BrastelSettings, BinaryGarbageNeverCrashes) {
  keep("a.dat", "kept or moved");
  for (const auto& file : reliability::garbage_files("[Service]\nDebugMode=1\n" + default_paths())) outcome(file);
}

TEST_F(BrastelSettings, NoSectionIsNoSettingsFileAndDuplicateSectionsActAsOne) {
  keep("a.dat", "moved");
  EXPECT_EQ(outcome("DebugMode=1\n" + default_paths()), "INI file not found: " + ini_path());
  EXPECT_EQ(outcome("[Service]\nDebugMode=1\n[other]\nRemotePath=/nowhere\n[SERVICE]\n" + default_paths() +
                    "[Service]\nExtension=dat\n"),
            "Service started");
  EXPECT_EQ(read_file(remote() / "a.dat"), "moved");
}

}  // namespace
}  // namespace ralvek::e2e
