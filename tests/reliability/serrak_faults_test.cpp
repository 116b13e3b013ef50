// serrak over the file-operations fault layer: a full disk and an unwritable data directory.
// Lines whose write failed stay with the service and go out with the next line once space
// returns; an output file that cannot be created is reported and tried again at the next
// rotation.
#include <gtest/gtest.h>

#include <thread>

#include "fault_journal.h"
#include "record_ledger.h"
#include "records.h"
#include "serrak_fixture.h"

namespace ralvek::e2e {
namespace {

constexpr std::size_t kRecordSize = 80;

class SerrakFaults : public SerrakTest {
 protected:
  SerrakFaults() : layer_(home_.path(), data()) {}

  std::unique_ptr<Process> start_with_layer(int interval) {
    write_ini_for(line_.path(), interval);
    auto p = start({"--debug"}, layer_.env);
    EXPECT_TRUE(wait_until([&] { return !settings_report().empty() || !p->running(); })) << all_events();
    std::this_thread::sleep_for(50ms);  // the line opens just after the report
    return p;
  }
  void send(std::uint64_t seq) { line_.write(pbxsim::make_record("serial1", seq, kRecordSize)); }
  std::size_t collected() const {
    return reliability::read_ledger(data(), "kom").count("serial1") + reliability::read_ledger(data(), "dat").count("serial1");
  }
  // Events of type 1, ID 109 whose text is `text`.
  int errors(const std::string& text) const {
    int n = 0;
    for (const auto& e : events()) n += e.type == 1 && e.id == 109 && e.text == text;
    return n;
  }
  std::string current_file() const {
    auto kom = files_with_ext(data(), "kom");
    return kom.size() == 1 ? (data() / kom[0]).string() : std::string();
  }
  // Every record 1..count in the .dat files once, whole, in order, and nothing else.
  void expect_all_finished(std::uint64_t count) {
    EXPECT_EQ(files_with_ext(data(), "kom"), std::vector<std::string>{});
    auto ledger = reliability::read_ledger(data());
    EXPECT_TRUE(ledger.torn.empty()) << ledger.torn.front();
    EXPECT_TRUE(ledger.tails.empty()) << ledger.tails.front();
    EXPECT_EQ(reliability::first_numbers(ledger.missing("serial1", 1, count)), "0:");
    EXPECT_EQ(ledger.doubled("serial1"), std::vector<std::uint64_t>{});
    EXPECT_EQ(ledger.count("serial1"), count);
    EXPECT_EQ(ledger.sources["serial1"].out_of_order, 0u);
  }
  // A full disk while lines arrive: each failed write is reported, the service keeps running,
  // and the held lines are written with the first line after space returns.
  void disk_full(bool partial) {
    auto serrak = start_with_layer(100000);
    ASSERT_TRUE(serrak->running()) << all_events();
    for (std::uint64_t seq = 1; seq <= 3; ++seq) send(seq);
    ASSERT_TRUE(wait_until([&] { return collected() == 3; }));
    std::string report = "No space left on device: " + current_file() + "\r\nProcedure: OnComm";
    layer_.set_disk_full(true, partial);
    for (std::uint64_t seq = 4; seq <= 6; ++seq) {
      send(seq);
      ASSERT_TRUE(wait_until([&] { return errors(report) == static_cast<int>(seq - 3); })) << seq << all_events();
    }
    EXPECT_EQ(std::filesystem::file_size(current_file()), 3 * kRecordSize) << "a failed write left a part of itself";
    EXPECT_TRUE(serrak->running());
    layer_.set_disk_full(false);
    send(7);
    ASSERT_TRUE(wait_until([&] { return collected() == 7; }));
    send(8);
    ASSERT_TRUE(wait_until([&] { return collected() == 8; }));
    stop(*serrak);
    expect_all_finished(8);
    EXPECT_EQ(errors(report), 3);
  }

  TestLine line_;
  reliability::FaultLayer layer_;
};

TEST_F(SerrakFaults, EveryFinishedFileWasSyncedBeforeItsRenameAndItsDirectoryAfter) {
  auto serrak = start_with_layer(49);  // a rotation every half second
  ASSERT_TRUE(serrak->running()) << all_events();
  for (std::uint64_t seq = 1; seq <= 4; ++seq) {
    std::size_t finished = files_with_ext(data(), "dat").size();
    send(seq);
    ASSERT_TRUE(wait_until([&] { return files_with_ext(data(), "dat").size() > finished; })) << seq;
  }
  send(5);
  ASSERT_TRUE(wait_until([&] { return collected() == 5; }));
  stop(*serrak);  // the last file is finished by the stop
  int renames = 0;
  EXPECT_EQ(reliability::publishing_faults(reliability::read_journal(layer_.journal), renames), std::vector<std::string>{});
  EXPECT_EQ(static_cast<std::size_t>(renames), files_with_ext(data(), "dat").size());
  EXPECT_GE(renames, 5);
  expect_all_finished(5);
}

TEST_F(SerrakFaults, DiskFullReportsEveryFailedWriteKeepsTheLinesAndWritesThemWhenSpaceReturns) {
  disk_full(false);
}

TEST_F(SerrakFaults, DiskFullInTheMiddleOfAWriteLeavesNoPartOfItInTheFile) { disk_full(true); }

TEST_F(SerrakFaults, UnwritableDataDirectoryAtARotationIsReportedAndTheNextRotationResumes) {
  auto serrak = start_with_layer(49);  // a rotation every half second
  ASSERT_TRUE(serrak->running()) << all_events();
  send(1);
  ASSERT_TRUE(wait_until([&] { return collected() == 1; }));
  layer_.set_unwritable(true);
  auto refused = [&] {
    int n = 0;
    for (const auto& e : events()) {
      n += e.type == 1 && e.id == 109 && e.text.rfind("Permission denied: " + (data() / "12_").string(), 0) == 0 &&
           e.text.ends_with(".kom\r\nProcedure: CreateOutputFile");
    }
    return n;
  };
  ASSERT_TRUE(wait_until([&] { return refused() >= 1; })) << all_events();
  // The file of the period before was finished all the same (by the finisher, meanwhile).
  EXPECT_TRUE(wait_until([&] { return reliability::read_ledger(data()).count("serial1") == 1; }));
  EXPECT_TRUE(files_with_ext(data(), "kom").empty());
  layer_.set_unwritable(false);
  ASSERT_TRUE(wait_until([&] { return !files_with_ext(data(), "kom").empty(); })) << all_events();
  EXPECT_TRUE(serrak->running());
  send(2);
  ASSERT_TRUE(wait_until([&] { return collected() == 2; })) << collected() << all_events();
  stop(*serrak);
  expect_all_finished(2);
}

TEST_F(SerrakFaults, LineArrivingWhileNoFileCouldBeCreatedIsReportedAndStopsTheService) {
  auto serrak = start_with_layer(49);
  ASSERT_TRUE(serrak->running()) << all_events();
  send(1);
  ASSERT_TRUE(wait_until([&] { return collected() == 1; }));
  layer_.set_unwritable(true);
  ASSERT_TRUE(wait_until([&] {
    for (const auto& e : events()) {
      if (e.text.ends_with("\r\nProcedure: CreateOutputFile")) return true;
    }
    return false;
  })) << all_events();
  send(2);
  // Stopping keeps the line's data in the line: nothing is read that could not be written.
  EXPECT_TRUE(wait_event_prefix(109, "Failed to create temporary output file: \r\n" + (data() / "12_").string()))
      << all_events();
  EXPECT_EQ(serrak->wait(), 1);
  layer_.set_unwritable(false);
  expect_all_finished(1);
}

}  // namespace
}  // namespace ralvek::e2e
