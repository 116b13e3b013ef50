// serrak with hostile settings files: 10,000 keys, lines of a mebibyte, binary garbage, no
// section, duplicate sections. The service starts, or its start fails with its own message; it
// never crashes.
#include <gtest/gtest.h>

#include <csignal>

#include "hostile_settings.h"
#include "serrak_fixture.h"

namespace ralvek::e2e {
namespace {

class SerrakSettings : public SerrakTest {
 protected:
  // Starts serrak as a service on `ini` and returns the outcome: its start report, or the
  // failure of the start. A started service is stopped again; any end by a signal fails.
  std::string outcome(const std::string& ini) {
    write_file(home_ / "serrak.ini", ini);
    std::filesystem::remove(event_log());
    auto serrak = start({}, {{"INVOCATION_ID", "e2e"}});
    bool started = false;
    auto settled = [&] {
      for (const auto& e : events()) {
        started |= e.id == 110;
        if (e.id == 110 || e.text.ends_with("\r\nProcedure: oSVC_Start")) return true;
      }
      return !serrak->running();
    };
    EXPECT_TRUE(wait_until(settled, 20s));
    if (started) serrak->signal(SIGTERM);  // a failed start ends by itself
    auto status = serrak->wait(20s);
    EXPECT_TRUE(status.has_value());
    for (const auto& e : events()) {
      bool failed = e.type == 1 && e.id == 109 && e.text.ends_with("\r\nProcedure: oSVC_Start");
      if (e.id != 110 && !failed) continue;
      EXPECT_EQ(status.value_or(-1), failed ? 1 : 0) << e.text.substr(0, 200);
      return e.text;
    }
    ADD_FAILURE() << "neither started nor failed; exit status " << status.value_or(-1) << "\n" << all_events().substr(0, 500);
    return {};
  }
  std::string valid_keys() const { return "siteid=12\ncom_device=" + line_.path() + "\ncom_interval=100\n"; }
  std::string ini_path() const { return (home_ / "serrak.ini").string(); }

  TestLine line_;
};

TEST_F(SerrakSettings, TenThousandKeysStart) {
  std::string ini = "[COM Service]\n";
  ini += reliability::unknown_keys();
  EXPECT_EQ(outcome(ini + valid_keys()).rfind("Service attempted to start", 0), 0u);
}

TEST_F(SerrakSettings, MegabyteLinesStartOrFailWithTheirMessage) {
  std::string mebibyte(reliability::kMebibyte, '7');
  // A line without '=' and a key of a mebibyte are passed over. (The first of two equal keys
  // counts, so the values under test come before the valid ones.)
  EXPECT_EQ(outcome("[COM Service]\n" + std::string(reliability::kMebibyte, 'x') + "\n" + mebibyte + "=1\n" + valid_keys())
                .rfind("Service attempted to start", 0),
            0u);
  // A site ID of a mebibyte of digits makes a file name no file system takes.
  EXPECT_EQ(outcome("[COM Service]\nsiteid=" + mebibyte + "\n" + valid_keys())
                .rfind("Failed to create output file: " + data().string() + "/" + mebibyte.substr(0, 100), 0),
            0u);
  EXPECT_EQ(outcome("[COM Service]\ncom_port=" + mebibyte + "\n" + valid_keys()),
            "Overflow\r\nProcedure: oSVC_Start");
  EXPECT_NE(outcome("[COM Service]\ncom_settings=" + mebibyte + "\n" + valid_keys()), "");
}

TEST_F(SerrakSettings, BinaryGarbageNeverCrashes) {
  for (const auto& file : reliability::garbage_files("[COM Service]\n" + valid_keys())) outcome(file);
}

TEST_F(SerrakSettings, NoSectionIsNoSettingsFileAndDuplicateSectionsActAsOne) {
  EXPECT_EQ(outcome(valid_keys()), "INI file not found: " + ini_path() + "\r\nProcedure: oSVC_Start");
  std::string report = outcome("[COM Service]\nsiteid=12\n[other]\nsiteid=99\n[com service]\ncom_device=" +
                                    line_.path() + "\n[COM Service]\ncom_interval=100\n");
  EXPECT_NE(report.find("\r\nSite ID: 12\r\nCOM Port: " + line_.path() + "\r\n"), std::string::npos) << report;
}

}  // namespace
}  // namespace ralvek::e2e
