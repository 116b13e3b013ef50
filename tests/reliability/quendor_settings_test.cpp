// quendor with hostile settings files: 10,000 keys, lines of a mebibyte, binary garbage, no
// section, duplicate sections. The service starts, or its start fails with its own message; it
// never crashes.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <optional>
#include <thread>

#include "e2e.h"
#include "hostile_settings.h"

namespace ralvek::e2e {
namespace {

using reliability::kMebibyte;

class QuendorSettings : public ::testing::Test {
 protected:
  // Starts quendor as a service on `ini` and returns the text that settled the start: its start
  // report, or the failure of the start. `while_running` runs while a started service is up;
  // the service is then stopped. Any end by a signal fails.
  std::string outcome(const std::string& ini, const std::function<void()>& while_running = {}) {
    write_file(home_ / "quendor.ini", ini);
    std::filesystem::remove(event_log());
    Process quendor({QUENDOR_EXE},
                    {{"RALVEK_HOME", home_.path().string()},
                     {"RALVEK_EVENT_LOG", event_log().string()},
                     {"RALVEK_TIME_SCALE", "100"},  // the reconnect minute lasts 0.6 s
                     {"RALVEK_SYSTEMD_DIR", (home_ / "units").string()},
                     {"PATH", (home_ / "no-tools").string()},
                     {"INVOCATION_ID", "e2e"}},
                    home_.path());
    std::optional<Event> settled;
    auto find_settled = [&] {
      for (const auto& e : events()) {
        if (started(e) || failed(e)) {
          settled = e;
          return true;
        }
      }
      return false;
    };
    // An ended process has written all it will: one more look after the end.
    EXPECT_TRUE(wait_until([&] { return find_settled() || !quendor.running(); }, 20s));
    if (!settled) find_settled();
    bool up = settled && started(*settled);
    std::string text = settled ? settled->text : std::string();
    if (up) {
      if (while_running) while_running();
      EXPECT_TRUE(quendor.running()) << "a started service ended by itself";
      quendor.signal(SIGTERM);  // a failed start ends by itself
    }
    auto status = quendor.wait(20s);
    EXPECT_TRUE(status.has_value());
    if (!settled) {
      ADD_FAILURE() << "neither started nor failed; exit status " << status.value_or(-1) << "\n"
                    << quendor.err().substr(0, 500);
      return {};
    }
    EXPECT_EQ(status.value_or(-1), up ? 0 : 1) << text.substr(0, 200);
    return text;
  }

  static bool started(const Event& e) {
    return e.type == 0 && e.id == 110 && e.text.starts_with("Service attempted to start");
  }
  static bool failed(const Event& e) {
    return e.type == 1 && e.id == 109 && e.text.ends_with("\r\nProcedure: oSVC_Start");
  }
  // The events so far; a line still being written is read again at the next poll.
  std::vector<Event> events() const {
    try {
      return read_events(event_log());
    } catch (const std::exception&) {
      return {};
    }
  }
  int count_events_starting(const std::string& prefix) const {
    int n = 0;
    for (const auto& e : events()) n += e.text.starts_with(prefix);
    return n;
  }
  // An exchange entry no one answers: every tick's attempt is refused.
  std::string refused(int last_octet) const {
    return "127.0.0." + std::to_string(last_octet) + ":" + std::to_string(port_);
  }

  std::filesystem::path event_log() const { return home_ / "events.jsonl"; }
  std::string ini_path() const { return (home_ / "quendor.ini").string(); }

  TempDir home_;
  int port_ = free_port();
};

constexpr const char* kStarted = "Service attempted to start with the following settings:\r\n";

TEST_F(QuendorSettings, TenThousandKeysStart) {
  EXPECT_EQ(outcome("[TCP Service]\n" + reliability::unknown_keys() + "1=" + refused(61) + "\n")
                .rfind(kStarted, 0),
            0u);
}

// Ten thousand exchanges (every one refusing): the start takes them all, and the first tick's
// ten thousand attempts and their errors leave the service running.
TEST_F(QuendorSettings, TenThousandExchangesStartAndAreTriedAtTheTick) {
  std::string ini = "[TCP Service]\n";
  for (int n = 1; n <= 10000; ++n) {
    ini += std::to_string(n) + "=127.1." + std::to_string(n / 250) + "." +
           std::to_string(n % 250 + 1) + ":" + std::to_string(port_) + "\n";
  }
  auto report = outcome(ini, [&] {
    // Refused on the loopback at once; the bound catches a service that spends the minute on
    // its own bookkeeping (and holds its stop up behind it).
    EXPECT_TRUE(wait_until([&] {
      std::this_thread::sleep_for(100ms);  // the log grows by thousands of lines: read it less often
      return count_events_starting("Error from 127.1.") >= 10000;
    }, 20s)) << count_events_starting("Error from 127.1.");
  });
  EXPECT_EQ(report.rfind(kStarted, 0), 0u) << report.substr(0, 200);
}

TEST_F(QuendorSettings, MegabyteLinesStartOrFailWithTheirMessage) {
  std::string digits(kMebibyte, '7');
  // A line without '=' and a key of a mebibyte that is not a number are passed over.
  EXPECT_EQ(outcome("[TCP Service]\n" + std::string(kMebibyte, 'x') + "\n" + std::string(kMebibyte, 'k') +
                    "=1\n1=" + refused(61) + "\n")
                .rfind(kStarted, 0),
            0u);
  // An exchange number, a file period or a port of a mebibyte of digits fits no number.
  EXPECT_EQ(outcome("[TCP Service]\n" + digits + "=" + refused(61) + "\n"), "Overflow\r\nProcedure: oSVC_Start");
  EXPECT_EQ(outcome("[TCP Service]\nfile_interval=" + digits + "\n"), "Overflow\r\nProcedure: oSVC_Start");
  EXPECT_EQ(outcome("[TCP Service]\n1=127.0.0.61:" + digits + "\n"), "Overflow\r\nProcedure: oSVC_Start");
  EXPECT_EQ(outcome("[TCP Service]\n1=127.0.0.61:" + std::string(kMebibyte, 'x') + "\n"),
            "Type mismatch: 1=" + ("127.0.0.61:" + std::string(40, 'x')).substr(0, 40) +
                "...\r\nProcedure: oSVC_Start");
  // Keepalive times past any number keep their defaults.
  EXPECT_EQ(outcome("[TCP Service]\nkeepalive_idle=" + digits + "\nkeepalive_count=" + digits + "\n1=" +
                    refused(61) + "\n")
                .rfind(kStarted, 0),
            0u);
  // A host name of a mebibyte: the start takes it, every tick tries it and reports the error,
  // and the service goes on.
  std::string host(kMebibyte, 'h');
  EXPECT_EQ(outcome("[TCP Service]\n1=" + host + "\n",
                    [&] {
                      EXPECT_TRUE(wait_until([&] { return count_events_starting("Error from " + host + ":1201") >= 2; },
                                             20s));
                    })
                .rfind(kStarted, 0),
            0u);
  // A file beyond the reader's limit counts as missing.
  std::string big = "[TCP Service]\n1=" + refused(61) + "\n";
  for (int i = 0; i < 5; ++i) big += "; " + std::string(kMebibyte, 'c') + "\n";
  EXPECT_EQ(outcome(big), "INI file not found: " + ini_path() + "\r\nProcedure: oSVC_Start");
}

TEST_F(QuendorSettings, BinaryGarbageNeverCrashes) {
  // The texts a failed start may give: quendor's own, and the conversions' run-time errors.
  const std::vector<std::string> known = {"INI file not found: ", "Invalid IP: ", "Overflow\r\n",
                                          "Type mismatch: ", "Invalid port number: ", "Exchange "};
  for (const auto& file : reliability::garbage_files("[TCP Service]\n1=" + refused(61) + "\n")) {
    std::string text = outcome(file);
    if (text.starts_with(kStarted)) continue;
    bool own = std::any_of(known.begin(), known.end(), [&](const std::string& k) { return text.starts_with(k); });
    EXPECT_TRUE(own) << text.substr(0, 200);
  }
}

TEST_F(QuendorSettings, NoSectionIsNoSettingsFileAndDuplicateSectionsActAsOne) {
  EXPECT_EQ(outcome("file_interval=100\n1=" + refused(61) + "\n"),
            "INI file not found: " + ini_path() + "\r\nProcedure: oSVC_Start");
  // Another section only: a service without exchanges.
  EXPECT_EQ(outcome("[other]\n1=" + refused(61) + "\n").rfind(kStarted, 0), 0u);

  // Sections of one name, whatever their case, are one section: exchanges 1 and 3 are tried,
  // the entry of the section between them is not.
  auto report = outcome("[TCP Service]\n1=" + refused(61) + "\n[other]\n2=" + refused(62) +
                            "\n[tcp service]\n3=" + refused(63) + "\n",
                        [&] {
                          EXPECT_TRUE(wait_until([&] { return count_events_starting("Error from ") >= 4; }, 20s));
                          EXPECT_GE(count_events_starting("Connecting to " + refused(61)), 2);
                          EXPECT_GE(count_events_starting("Connecting to " + refused(63)), 2);
                          EXPECT_EQ(count_events_starting("Connecting to " + refused(62)), 0);
                        });
  EXPECT_EQ(report.rfind(kStarted, 0), 0u) << report.substr(0, 200);
  // ... so one exchange number in both is an exchange configured twice.
  EXPECT_EQ(outcome("[TCP Service]\n1=" + refused(61) + "\n[TCP SERVICE]\n1=" + refused(62) + "\n")
                .rfind("Exchange 1 is configured twice", 0),
            0u);
}

}  // namespace
}  // namespace ralvek::e2e
