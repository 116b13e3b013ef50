// quendor with ten simulated exchanges: restarts of the exchanges in the middle of a period and
// kill -9 of quendor lose nothing; every record arrives once, whole, in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <thread>

#include "e2e.h"
#include "fault_journal.h"
#include "record_ledger.h"
#include "records.h"

namespace ralvek::e2e {
namespace {

constexpr int kExchanges = 10;
constexpr std::size_t kRecordSize = 80;

class QuendorReliability : public ::testing::Test {
 protected:
  QuendorReliability() {
    for (int n = 1; n <= kExchanges; ++n) ports_.push_back(reliability::quiet_port());
  }
  std::string address(int n) const { return "127.0.0." + std::to_string(30 + n); }
  std::string source(int n) const { return "ex" + std::to_string(n); }
  std::filesystem::path data() const { return home_ / "data"; }
  std::filesystem::path event_log() const { return home_ / "events.jsonl"; }

  void write_ini() {
    std::string ini = "[TCP Service]\nfile_interval=100\n";
    for (int n = 1; n <= kExchanges; ++n) {
      ini += std::to_string(n) + "=" + address(n) + ":" + std::to_string(ports_[n - 1]) + "\n";
    }
    write_file(home_ / "quendor.ini", ini);
  }
  std::unique_ptr<Process> start_quendor(const std::map<std::string, std::string>& extra_env = {}) {
    std::map<std::string, std::string> env{{"RALVEK_HOME", home_.path().string()},
                                           {"RALVEK_EVENT_LOG", event_log().string()},
                                           {"RALVEK_TIME_SCALE", "100"},
                                           {"TZ", "UTC"}};
    for (const auto& [k, v] : extra_env) env[k] = v;
    auto p = std::make_unique<Process>(std::vector<std::string>{QUENDOR_EXE, "--debug"}, env, home_.path());
    EXPECT_TRUE(wait_until([&] { return report_count() > reports_ || !p->running(); }));
    reports_ = report_count();
    return p;
  }
  int report_count() const {
    int n = 0;
    for (const auto& e : read_events(event_log())) n += e.text.rfind("Service attempted to start", 0) == 0;
    return n;
  }
  std::unique_ptr<Process> start_exchange(int n, std::uint64_t first) {
    return std::make_unique<Process>(
        std::vector<std::string>{PBXSIM_EXE, "exchange", "--listen", address(n) + ":" + std::to_string(ports_[n - 1]),
                                 "--rate", "100", "--size", std::to_string(kRecordSize), "--first",
                                 std::to_string(first), "--source", source(n)},
        std::map<std::string, std::string>{}, home_.path());
  }
  static bool connected(Process& exchange) { return exchange.out().find("connected ") != std::string::npos; }
  // Ends an exchange gracefully; returns the number of its last record.
  static std::uint64_t stop_exchange(Process& exchange) {
    exchange.signal(SIGTERM);
    EXPECT_EQ(exchange.wait(), 0);
    std::string out = exchange.out();
    size_t at = out.rfind("last ");
    return at == std::string::npos ? 0 : std::stoull(out.substr(at + 5));
  }
  // The records of exchange n, from its files joined in time order (a record cut by a period
  // boundary is whole again), together with what does not parse.
  reliability::SourceRecords joined(int n, const std::vector<std::string>& exts, std::vector<std::string>& torn) const {
    std::vector<std::string> names;
    for (const auto& ext : exts) {
      for (const auto& name : files_with_ext(data(), ext)) {
        if (name.rfind(std::to_string(n) + "_", 0) == 0) names.push_back(name);
      }
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
      return a.substr(0, a.rfind('.')) < b.substr(0, b.rfind('.'));
    });
    std::string all;
    for (const auto& name : names) all += read_file(data() / name);
    reliability::SourceRecords records;
    std::uint64_t last = 0;
    for (size_t at = 0; at < all.size();) {
      size_t end = all.find("\r\n", at);
      std::string line = all.substr(at, end == std::string::npos ? std::string::npos : end - at);
      at = end == std::string::npos ? all.size() : end + 2;
      auto record = pbxsim::parse_record(line);
      if (!record || record->source != source(n) || end == std::string::npos) {
        torn.push_back(line.substr(0, 40));
        continue;
      }
      if (record->seq < last) ++records.out_of_order;
      last = record->seq;
      ++records.seen[record->seq];
    }
    return records;
  }

  void fault_then_resume(bool unwritable);

  TempDir home_;
  std::vector<int> ports_;
  int reports_ = 0;
};

// Periods of one second (file_interval 100 at time scale 100) with exchanges that go quiet and
// come back: periods of one exchange often begin within one second, and each still gets a
// name of its own, so every record ends in a .dat file.
TEST_F(QuendorReliability, TenExchangesRestartedMidPeriodEveryRecordInADatFile) {
  write_ini();
  std::vector<std::unique_ptr<Process>> exchanges;
  for (int n = 1; n <= kExchanges; ++n) exchanges.push_back(start_exchange(n, 1));
  auto quendor = start_quendor();
  ASSERT_TRUE(quendor->running());
  ASSERT_TRUE(wait_until([&] { return std::all_of(exchanges.begin(), exchanges.end(), [](auto& e) { return connected(*e); }); }, 20s));
  std::this_thread::sleep_for(1500ms);  // a period and a half
  for (int n = 1; n <= kExchanges; ++n) {
    std::uint64_t last = stop_exchange(*exchanges[n - 1]);
    EXPECT_GT(last, 0u) << n;
    exchanges[n - 1] = start_exchange(n, last + 1);
  }
  ASSERT_TRUE(wait_until([&] { return std::all_of(exchanges.begin(), exchanges.end(), [](auto& e) { return connected(*e); }); }, 20s));
  std::this_thread::sleep_for(1200ms);
  std::vector<std::uint64_t> last(kExchanges + 1);
  for (int n = 1; n <= kExchanges; ++n) last[n] = stop_exchange(*exchanges[n - 1]);
  // Everything sent is read (the exchanges closed after sending), then quendor stops.
  ASSERT_TRUE(wait_until([&] {
    for (int n = 1; n <= kExchanges; ++n) {
      std::vector<std::string> torn;
      if (joined(n, {"hp4", "dat"}, torn).seen.size() < last[n]) return false;
    }
    return true;
  }, 20s));
  quendor->signal(SIGTERM);
  ASSERT_EQ(quendor->wait(), 0);

  EXPECT_EQ(files_with_ext(data(), "hp4"), std::vector<std::string>{});
  for (int n = 1; n <= kExchanges; ++n) {
    std::vector<std::string> torn;
    auto records = joined(n, {"dat"}, torn);
    EXPECT_EQ(torn, std::vector<std::string>{}) << n;
    EXPECT_EQ(records.out_of_order, 0u) << n;
    EXPECT_EQ(records.seen.size(), last[n]) << n;
    for (std::uint64_t seq = 1; seq <= last[n]; ++seq) {
      ASSERT_EQ(records.seen[seq], 1) << "exchange " << n << " record " << seq;
    }
  }
}

// Every temporary file of the killed run is a .dat after the restart, with the same bytes,
// although the killed run began several files of one exchange within one second.
TEST_F(QuendorReliability, KillNineThenRestartFinishesEveryFileOfTheKilledRun) {
  write_ini();
  std::vector<std::unique_ptr<Process>> exchanges;
  for (int n = 1; n <= kExchanges; ++n) exchanges.push_back(start_exchange(n, 1));
  auto quendor = start_quendor();
  ASSERT_TRUE(wait_until([&] { return std::all_of(exchanges.begin(), exchanges.end(), [](auto& e) { return connected(*e); }); }, 20s));
  std::this_thread::sleep_for(1300ms);
  quendor->signal(SIGKILL);
  ASSERT_EQ(quendor->wait(), 128 + SIGKILL);
  std::map<std::string, std::string> left;
  for (const auto& name : files_with_ext(data(), "hp4")) left[name] = read_file(data() / name);
  ASSERT_FALSE(left.empty());

  auto established = [&] {
    int n = 0;
    for (const auto& e : read_events(event_log())) n += e.text.rfind("Connection established", 0) == 0;
    return n;
  };
  int before = established();
  auto restarted = start_quendor();
  ASSERT_TRUE(restarted->running());
  // The sweep runs at the start: by the first new connection it is done.
  ASSERT_TRUE(wait_until([&] { return established() > before; }, 20s));
  EXPECT_EQ(reliability::unfinished(data(), left), std::vector<std::string>{});
  restarted->signal(SIGTERM);
  EXPECT_EQ(restarted->wait(), 0);
  for (auto& e : exchanges) stop_exchange(*e);
  for (int n = 1; n <= kExchanges; ++n) {
    std::vector<std::string> torn;
    auto records = joined(n, {"dat", "hp4"}, torn);
    EXPECT_EQ(records.out_of_order, 0u) << n;
    for (const auto& [seq, count] : records.seen) EXPECT_EQ(count, 1) << "exchange " << n << " record " << seq;
    // What quendor read before the kill is an unbroken run from the first record.
    if (!records.seen.empty()) {
      EXPECT_EQ(records.seen.begin()->first, 1u) << n;
    }
  }
}

// A full disk (every write fails) or a data folder that refuses new files (every new period's
// file fails): quendor keeps running and writes again afterwards. A full disk holds the
// exchange back (its connection is not read) and loses nothing: the first failure and the
// recovery are reported. A refused file loses the blocks that arrive meanwhile, each reported.
void QuendorReliability::fault_then_resume(bool unwritable) {
  write_ini();
  reliability::FaultLayer layer(home_.path(), data());
  std::vector<std::unique_ptr<Process>> exchanges;
  exchanges.push_back(start_exchange(1, 1));
  auto quendor = start_quendor(layer.env);
  ASSERT_TRUE(wait_until([&] { return connected(*exchanges[0]); }, 20s));
  std::this_thread::sleep_for(300ms);
  auto set_fault = [&](bool on) { unwritable ? layer.set_unwritable(on) : layer.set_disk_full(on); };
  set_fault(true);
  std::string text = unwritable ? "Permission denied: " : "No space left on device: ";
  std::string procedure = unwritable ? "\r\nProcedure: CreateOutputFile" : "\r\nProcedure: DataArrival";
  auto reports = [&] {
    int n = 0;
    for (const auto& e : read_events(event_log())) {
      n += e.type == 1 && e.id == 109 && e.text.rfind(text + data().string() + "/1_", 0) == 0 &&
           e.text.find(procedure) != std::string::npos;
    }
    return n;
  };
  const std::string resumed = "Writing resumed for exchange 1 after a full disk.";
  if (unwritable) {
    ASSERT_TRUE(wait_until([&] { return reports() >= 3; }));
  } else {
    ASSERT_TRUE(wait_until([&] { return reports() == 1; }));
    std::this_thread::sleep_for(500ms);  // fifty retries at this time scale
    EXPECT_EQ(reports(), 1);
  }
  EXPECT_TRUE(quendor->running());
  set_fault(false);
  if (!unwritable) {
    EXPECT_TRUE(wait_until([&] { return has_event(event_log(), 4, 110, resumed); }));
  }
  std::this_thread::sleep_for(500ms);
  std::uint64_t last = stop_exchange(*exchanges[0]);
  ASSERT_TRUE(wait_until([&] {
    std::vector<std::string> torn;
    auto seen = joined(1, {"hp4", "dat"}, torn).seen;
    return !seen.empty() && seen.rbegin()->first == last;
  }));
  quendor->signal(SIGTERM);
  ASSERT_EQ(quendor->wait(), 0);
  std::vector<std::string> torn;
  auto records = joined(1, {"dat", "hp4"}, torn);
  EXPECT_EQ(torn, std::vector<std::string>{});
  EXPECT_EQ(records.out_of_order, 0u);
  std::uint64_t missing = 0;
  for (std::uint64_t seq = 1; seq <= last; ++seq) {
    int n = records.seen.count(seq) ? records.seen[seq] : 0;
    EXPECT_LE(n, 1) << seq;
    missing += n == 0;
  }
  if (unwritable) {
    // Each block that could not be written was reported; a block holds one record or more.
    EXPECT_GE(missing, static_cast<std::uint64_t>(reports()));
  } else {
    EXPECT_EQ(missing, 0u);
  }
  EXPECT_GT(records.seen.size(), 0u);
}

TEST_F(QuendorReliability, DiskFullHoldsTheExchangeBackAndLosesNothing) { fault_then_resume(false); }

TEST_F(QuendorReliability, UnwritableDataFolderLosesOnlyTheBlocksOfFilesNotMadeAndResumes) { fault_then_resume(true); }

}  // namespace
}  // namespace ralvek::e2e
