// quendor's output files, seen from outside: what reaches them, how periods split them, and
// that nothing is lost or doubled while exchanges come and go.
#include <signal.h>

#include <thread>

#include "quendor_fixture.h"
#include "records.h"

namespace ralvek::quendor_e2e {
namespace {

TEST_F(QuendorTest, ARecordSpanningAPeriodBoundaryIsSplitBetweenTwoFiles) {
  auto sim = start_exchange("127.0.0.41", {"--count", "3", "--rate", "0"});
  sim->command("half");
  write_ini("file_interval=30\n1=" + sim->where() + "\n");
  auto quendor = start_quendor();
  std::string first = pbxsim::make_record("127.0.0.41", 1, 120);
  // The first half ends a period on its own ...
  ASSERT_TRUE(e2e::wait_until([&] { return stream(1) == first.substr(0, 60); }, 15s));
  ASSERT_EQ(dat_files(1).size(), 1u);
  // ... and the rest begins the next one, in another clock second.
  std::this_thread::sleep_for(1100ms);
  sim->command("resume");
  std::string all =
      first + pbxsim::make_record("127.0.0.41", 2, 120) + pbxsim::make_record("127.0.0.41", 3, 120);
  ASSERT_TRUE(e2e::wait_until([&] { return stream(1) == all; }, 10s));
  auto files = dat_files(1);
  ASSERT_GE(files.size(), 2u);
  EXPECT_EQ(e2e::read_file(data() / files[0]), all.substr(0, 60));
  EXPECT_EQ(stop(*quendor), 0);
}

TEST_F(QuendorTest, NothingIsLostOrDoubledOverPeriodsWhileTheExchangeRestarts) {
  auto sim = start_exchange("127.0.0.42", {"--rate", "40"});
  write_ini("file_interval=30\n1=" + sim->where() + "\n");
  auto quendor = start_quendor();
  ASSERT_TRUE(wait_for_event("Connection established: " + sim->where()));
  ASSERT_TRUE(e2e::wait_until([&] { return dat_files(1).size() >= 2; }, 10s));

  // Restarted while connected: the sequence goes on where the old process stopped.
  std::uint64_t last = sim->quit();
  ASSERT_TRUE(wait_for_event("Disconnected from " + sim->where()));
  sim = start_exchange("127.0.0.42", {"--rate", "40", "--first", std::to_string(last + 1)});
  ASSERT_TRUE(wait_for_event("Connection established: " + sim->where(), 2));
  auto before = dat_files(1).size();
  ASSERT_TRUE(e2e::wait_until([&] { return dat_files(1).size() >= before + 2; }, 10s));
  last = sim->quit();
  ASSERT_TRUE(wait_for_event("Disconnected from " + sim->where(), 2));
  EXPECT_EQ(stop(*quendor), 0);

  EXPECT_TRUE(only_twins_left());
  auto scan = scan_records(collected(1), "127.0.0.42", 120);
  EXPECT_EQ(scan.broken, 0);
  ASSERT_EQ(scan.numbers.size(), last);
  for (std::uint64_t i = 0; i < last; ++i) ASSERT_EQ(scan.numbers[i], i + 1);
  EXPECT_GE(dat_files(1).size(), 4u);
}

TEST_F(QuendorTest, LeftoversAreSweptAtStart) {
  std::filesystem::create_directories(data());
  e2e::write_file(data() / "3_20200101000000.hp4", "left over");
  e2e::write_file(data() / "4_20200101000000.hp4", "");
  e2e::write_file(data() / "9_20200101000000.HP4", "upper case");
  e2e::write_file(data() / "1_20200101000000.dat", "finished before");
  write_ini("file_interval=2000\n1=127.0.0.46:" + std::to_string(port_) + "\n");
  auto quendor = start_quendor();
  ASSERT_TRUE(e2e::wait_until([&] { return e2e::files_with_ext(data(), "dat").size() == 3; }));
  // Its first reconnect minute shows the loop runs, so the stop below is a stop request.
  ASSERT_TRUE(wait_for_event("Connecting to 127.0.0.46:" + std::to_string(port_)));
  EXPECT_EQ(e2e::read_file(data() / "3_20200101000000.dat"), "left over");
  EXPECT_EQ(e2e::read_file(data() / "9_20200101000000.dat"), "upper case");
  EXPECT_EQ(e2e::read_file(data() / "1_20200101000000.dat"), "finished before");
  EXPECT_FALSE(std::filesystem::exists(data() / "4_20200101000000.hp4"));
  EXPECT_TRUE(e2e::has_event(event_file(), 0, 110,
                             "Service attempted to start with the following settings:\r\n"
                             "Version:1.0.0\r\nINI File: " +
                                 (home_.path() / "quendor.ini").string()));
  EXPECT_EQ(stop(*quendor), 0);
}

TEST_F(QuendorTest, EveryByteValueReachesTheFileUnchanged) {
  auto sim = start_exchange("127.0.0.43", {"--binary", "1", "--count", "4", "--rate", "0"});
  write_ini("1=" + sim->where() + "\n");
  auto quendor = start_quendor();
  std::string block;
  for (int b = 0; b < 256; ++b) block += static_cast<char>(b);
  ASSERT_TRUE(e2e::wait_until([&] { return collected(1).size() == 4 * 256; }));
  EXPECT_EQ(stop(*quendor), 0);
  EXPECT_EQ(collected(1), block + block + block + block);
}

TEST_F(QuendorTest, AnExchangeClosingMidRecordLeavesThePartInTheFile) {
  auto sim = start_exchange("127.0.0.44", {"--count", "2", "--rate", "0"});
  write_ini("1=" + sim->where() + "\n");
  sim->command("half");
  auto quendor = start_quendor();
  ASSERT_TRUE(wait_for_event("Connection established: " + sim->where()));
  ASSERT_TRUE(e2e::wait_until([&] { return stream(1, "hp4").size() == 60; }));
  sim->command("close");
  ASSERT_TRUE(wait_for_event("Disconnected from " + sim->where()));
  EXPECT_EQ(stop(*quendor), 0);
  EXPECT_EQ(stream(1), pbxsim::make_record("127.0.0.44", 1, 120).substr(0, 60));
}

TEST_F(QuendorTest, DataArrivingWhileTheFolderCannotBeWrittenAreReportedLostThenWritten) {
  auto sim = start_exchange("127.0.0.45", {"--rate", "0", "--count", "2"});
  write_ini("file_interval=2000\n1=" + sim->where() + "\n");
  sim->command("stall");
  auto quendor = start_quendor();
  ASSERT_TRUE(wait_for_event("Connection established: " + sim->where()));
  // A file where the folder was: nothing can be created in it.
  std::filesystem::rename(data(), home_.path() / "data.away");
  e2e::write_file(data(), "");
  sim->command("half");
  ASSERT_TRUE(
      wait_for_event("No open output file for exchange 1: 60 bytes lost\r\n"
                     "Procedure: DataArrival"));
  bool create_reported = false;
  for (const auto& e : e2e::read_events(event_file())) {
    if (e.type == 1 && e.text.find("\r\nProcedure: CreateOutputFile") != std::string::npos) {
      create_reported = true;
    }
  }
  EXPECT_TRUE(create_reported);

  // The next block tries again and finds the folder back.
  std::filesystem::remove(data());
  std::filesystem::rename(home_.path() / "data.away", data());
  sim->command("resume");
  std::string rest = pbxsim::make_record("127.0.0.45", 1, 120).substr(60) +
                     pbxsim::make_record("127.0.0.45", 2, 120);
  ASSERT_TRUE(e2e::wait_until([&] { return stream(1, "hp4") == rest; }));
  EXPECT_EQ(stop(*quendor), 0);
  EXPECT_EQ(stream(1), rest);
}

}  // namespace
}  // namespace ralvek::quendor_e2e
