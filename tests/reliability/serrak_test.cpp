// serrak on a pseudo-terminal fed by pbxsim serial with its writes split at random points:
// every record is in exactly one .dat file, whole and in order, across rotations.
#include <gtest/gtest.h>

#include <csignal>

#include "e2e.h"
#include "record_ledger.h"

namespace ralvek::e2e {
namespace {

TEST(SerrakReliability, RecordsSplitAtRandomPointsArriveWholeAcrossRotations) {
  TempDir home;
  constexpr int kRecords = 1500;
  Process pbx({PBXSIM_EXE, "serial", "--source", "serial1", "--count", std::to_string(kRecords), "--size", "80",
               "--ending", "cr", "--split", "random", "--seed", "20261207", "--rate", "600", "--delay", "800",
               "--linger", "1000"},
              {}, home.path());
  std::string device;
  ASSERT_TRUE(wait_until([&] {
    device = pbx.out();
    return device.find('\n') != std::string::npos;
  }));
  device = device.substr(0, device.find('\n'));
  write_file(home / "serrak.ini", "[COM Service]\nsiteid=12\ncom_device=" + device +
                                      "\ncom_settings=9600,n,8,1\ncom_interval=99\n");
  Process serrak({SERRAK_EXE, "--debug"},
                 {{"RALVEK_HOME", home.path().string()},
                  {"RALVEK_EVENT_LOG", (home / "events.jsonl").string()},
                  {"RALVEK_TIME_SCALE", "100"},
                  {"TZ", "UTC"}},
                 home.path());
  ASSERT_EQ(pbx.wait(30s), 0) << pbx.err();
  auto data = home / "data";
  ASSERT_TRUE(wait_until([&] {
    return reliability::read_ledger(data, "kom").count("serial1") + reliability::read_ledger(data, "dat").count("serial1") ==
           kRecords;
  }, 20s));
  EXPECT_TRUE(serrak.running());
  serrak.signal(SIGTERM);
  ASSERT_EQ(serrak.wait(), 0) << serrak.err();

  EXPECT_EQ(files_with_ext(data, "kom"), std::vector<std::string>{});
  EXPECT_GE(files_with_ext(data, "dat").size(), 2u);
  auto ledger = reliability::read_ledger(data);
  EXPECT_TRUE(ledger.torn.empty()) << ledger.torn.front();
  EXPECT_TRUE(ledger.tails.empty()) << ledger.tails.front();
  EXPECT_EQ(reliability::first_numbers(ledger.missing("serial1", 1, kRecords)), "0:");
  EXPECT_EQ(ledger.doubled("serial1"), std::vector<std::uint64_t>{});
  EXPECT_EQ(ledger.sources["serial1"].out_of_order, 0u);
}

}  // namespace
}  // namespace ralvek::e2e
