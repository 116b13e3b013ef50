// quendor's connections to its exchanges, seen from outside: the events of each connection,
// the reconnect minute, host names, keepalive and the single running instance.
#include <signal.h>

#include <regex>
#include <thread>

#include "quendor_fixture.h"
#include "records.h"

namespace ralvek::quendor_e2e {
namespace {

TEST_F(QuendorTest, TwoExchangesInOnePeriodGiveTwoFilesWithTheirOwnNumbers) {
  auto a = start_exchange("127.0.0.31", {"--count", "5", "--rate", "0"});
  auto b = start_exchange("127.0.0.32", {"--count", "5", "--rate", "0"});
  write_ini("file_interval=30\n1=" + a->where() + "\n2=" + b->where() + "\n");
  auto quendor = start_quendor();
  ASSERT_TRUE(wait_for_event("Connection established: " + a->where()));
  ASSERT_TRUE(wait_for_event("Connection established: " + b->where()));
  ASSERT_TRUE(e2e::wait_until([&] { return stream(1).size() == 600 && stream(2).size() == 600; }));

  for (int n : {1, 2}) {
    auto scan = scan_records(stream(n), n == 1 ? "127.0.0.31" : "127.0.0.32", 120);
    EXPECT_EQ(scan.numbers, (std::vector<std::uint64_t>{1, 2, 3, 4, 5})) << "exchange " << n;
    EXPECT_EQ(scan.broken, 0);
    for (const auto& name : dat_files(n)) {
      EXPECT_TRUE(std::regex_match(name, std::regex(std::to_string(n) + "_20[0-9]{12}[.]dat")))
          << name;
    }
  }
  EXPECT_TRUE(e2e::has_event(event_file(), 4, 108, "Connecting to " + a->where()));
  EXPECT_EQ(stop(*quendor), 0);
}

TEST_F(QuendorTest, ADownExchangeGivesConnectingAndErrorEveryMinuteUntilItListens) {
  auto sim = start_exchange("127.0.0.34", {"--rate", "20"});
  sim->command("unlisten");
  write_ini("1=" + sim->where() + "\n");
  auto quendor = start_quendor();
  std::string connecting = "Connecting to " + sim->where();
  std::string refused = "Error from " + sim->where() +
                        "\r\nDescription:\r\nConnection refused\r\n"
                        "Closing connection...";
  ASSERT_TRUE(wait_for_event(refused, 2));
  // One attempt and one report per minute, in that order.
  std::vector<std::string> seen;
  for (const auto& e : e2e::read_events(event_file())) {
    if (e.text == connecting) {
      EXPECT_EQ(e.type, 4);
      EXPECT_EQ(e.id, 108);
      seen.push_back("connect");
    } else if (e.text == refused) {
      EXPECT_EQ(e.type, 2);
      EXPECT_EQ(e.id, 108);
      seen.push_back("error");
    }
  }
  ASSERT_GE(seen.size(), 4u);
  for (size_t i = 0; i + 1 < seen.size(); i += 2) {
    EXPECT_EQ(seen[i], "connect");
    EXPECT_EQ(seen[i + 1], "error");
  }

  sim->command("listen");
  ASSERT_TRUE(wait_for_event("Connection established: " + sim->where()));
  ASSERT_TRUE(e2e::wait_until([&] { return !stream(1, "hp4").empty(); }));
  EXPECT_EQ(stop(*quendor), 0);
}

TEST_F(QuendorTest, AnExchangeThatClosesIsReconnectedAtTheNextMinute) {
  auto sim = start_exchange("127.0.0.36", {"--rate", "20"});
  write_ini("1=" + sim->where() + "\n");
  auto quendor = start_quendor();
  ASSERT_TRUE(wait_for_event("Connection established: " + sim->where()));
  sim->command("close");
  ASSERT_TRUE(wait_for_event("Disconnected from " + sim->where()));
  EXPECT_TRUE(e2e::has_event(event_file(), 0, 110, "Disconnected from " + sim->where()));
  ASSERT_TRUE(wait_for_event("Connection established: " + sim->where(), 2));
  EXPECT_EQ(count_events("Connecting to " + sim->where()), 2);
  EXPECT_EQ(stop(*quendor), 0);
}

TEST_F(QuendorTest, HostNamesAreResolvedAndAnUnknownNameIsRetried) {
  auto sim = start_exchange("127.0.0.1", {"--rate", "20", "--source", "local"});
  int port = port_;
  port_ = e2e::free_port();
  write_ini("1=localhost:" + std::to_string(port) +
            "\n2=no-such-exchange.invalid:" + std::to_string(port_) + "\n");
  auto quendor = start_quendor();
  ASSERT_TRUE(wait_for_event("Connection established: 127.0.0.1:" + std::to_string(port)));
  EXPECT_EQ(count_events("Connecting to localhost:" + std::to_string(port)), 1);
  ASSERT_TRUE(e2e::wait_until([&] { return !stream(1, "hp4").empty(); }));

  std::string unknown = "Error from no-such-exchange.invalid:" + std::to_string(port_);
  ASSERT_TRUE(e2e::wait_until(
      [&] {
        int errors = 0;
        for (const auto& e : e2e::read_events(event_file()))
          errors += e.text.rfind(unknown, 0) == 0;
        return errors >= 2;
      },
      60s));  // a slow name server may take seconds per answer
  EXPECT_EQ(stop(*quendor), 0);
}

TEST_F(QuendorTest, KeepaliveEndsAConnectionToAnExchangeThatVanished) {
  auto sim = start_exchange("127.0.0.35", {"--rate", "20"});
  write_ini("keepalive_idle=1\nkeepalive_interval=1\nkeepalive_count=2\n1=" + sim->where() + "\n");
  auto quendor = start_quendor();
  ASSERT_TRUE(wait_for_event("Connection established: " + sim->where()));
  ASSERT_TRUE(e2e::wait_until([&] { return !stream(1, "hp4").empty() || !stream(1).empty(); }));

  // A stalled exchange whose host still answers is idle, not dead: the connection stays.
  sim->command("stall");
  std::this_thread::sleep_for(3s);
  EXPECT_EQ(count_events("Disconnected from " + sim->where()), 0);
  for (const auto& e : e2e::read_events(event_file())) {
    EXPECT_NE(e.text.rfind("Error from", 0), 0u) << e.text;
  }

  // Gone without a word, as after a power loss: only the keepalive probes can notice.
  sim->command("vanish");
  ASSERT_TRUE(e2e::wait_until([&] { return sim->out().find("vanish") != std::string::npos; }));
  if (sim->out().find("vanish failed") != std::string::npos) {
    GTEST_SKIP() << "cannot drop a connection silently here (needs CAP_NET_ADMIN): " << sim->out();
  }
  ASSERT_TRUE(e2e::wait_until(
      [&] {
        for (const auto& e : e2e::read_events(event_file())) {
          if (e.text.rfind("Error from " + sim->where() + "\r\n", 0) == 0) return true;
        }
        return false;
      },
      20s));
  sim->command("resume");
  ASSERT_TRUE(wait_for_event("Connection established: " + sim->where(), 2));
  EXPECT_EQ(stop(*quendor), 0);
}

TEST_F(QuendorTest, ASecondRunLeavesTheRunningServicesFilesAlone) {
  auto sim = start_exchange("127.0.0.37", {"--rate", "20"});
  write_ini("file_interval=2000\n1=" + sim->where() + "\n");
  auto quendor = start_quendor();
  ASSERT_TRUE(e2e::wait_until([&] { return !stream(1, "hp4").empty(); }));
  auto open_file = e2e::files_with_ext(data(), "hp4");

  std::filesystem::create_directories(home_.path() / "units");
  EXPECT_EQ(e2e::run({QUENDOR_BIN, "--install"}, env()), 0);
  EXPECT_TRUE(std::filesystem::exists(home_.path() / "units" / "RalvekHipath4000Service.service"));
  EXPECT_EQ(e2e::run({QUENDOR_BIN, "--silentremove"}, env()), 0);
  EXPECT_NE(e2e::run({QUENDOR_BIN}, env()), 0);
  EXPECT_TRUE(e2e::has_event(event_file(), 1, 109, "Service already running\r\nProcedure: Load"));
  // The arguments are checked first: a wrong one is reported as such, running or not.
  EXPECT_NE(e2e::run({QUENDOR_BIN, "--bogus"}, env()), 0);
  EXPECT_TRUE(
      e2e::has_event(event_file(), 1, 109, "Invalid command-line argument\r\nProcedure: Load"));
  EXPECT_EQ(count_events("Service already running\r\nProcedure: Load"), 1);
  // A trial run by hand starts, but must not sweep the files the service is writing.
  std::string report =
      "Service attempted to start with the following settings:\r\nVersion:1.0.0\r\n"
      "INI File: " +
      (home_.path() / "quendor.ini").string();
  {
    auto trial = start_quendor();
    ASSERT_TRUE(wait_for_event(report, 2));
    // Stopped before its first reconnect minute (3 s), once its loop runs.
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(stop(*trial), 0);
  }
  EXPECT_EQ(e2e::files_with_ext(data(), "hp4"), open_file);
  EXPECT_TRUE(e2e::files_with_ext(data(), "dat").empty());

  // The service goes on writing the same file, and finishes it when it stops.
  auto size = stream(1, "hp4").size();
  ASSERT_TRUE(e2e::wait_until([&] { return stream(1, "hp4").size() > size; }));
  std::uint64_t last = sim->quit();
  ASSERT_TRUE(wait_for_event("Disconnected from " + sim->where()));
  EXPECT_EQ(stop(*quendor), 0);
  EXPECT_TRUE(only_twins_left());
  auto scan = scan_records(collected(1), "127.0.0.37", 120);
  EXPECT_EQ(scan.broken, 0);
  ASSERT_EQ(scan.numbers.size(), last);
}

TEST_F(QuendorTest, AMissingIniFileFailsTheStartAndTheService) {
  auto env_service = env();
  env_service["INVOCATION_ID"] = "e2e";
  EXPECT_EQ(e2e::run({QUENDOR_BIN}, env_service), 1);
  EXPECT_TRUE(e2e::has_event(event_file(), 1, 109,
                             "INI file not found: " + (home_.path() / "quendor.ini").string() +
                                 "\r\nProcedure: oSVC_Start"));
  // By hand it stays up after a failed start, as a trial run should.
  auto quendor = start_quendor();
  ASSERT_TRUE(e2e::wait_until([&] { return e2e::read_events(event_file()).size() >= 2; }));
  std::this_thread::sleep_for(1s);  // the failed start is logged before the loop runs
  EXPECT_TRUE(quendor->running());
  EXPECT_EQ(stop(*quendor), 0);
}

}  // namespace
}  // namespace ralvek::quendor_e2e
