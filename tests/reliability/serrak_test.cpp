// serrak on a pseudo-terminal: records split at random points stay whole across many rotations,
// and a kill -9 under load loses nothing it had read; the restart finishes the killed run's
// files before new data arrive.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <ctime>
#include <mutex>
#include <thread>

#include "record_ledger.h"
#include "records.h"
#include "serrak_fixture.h"

namespace ralvek::e2e {
namespace {

constexpr std::size_t kRecordSize = 80;
// 100 ticks of 10 ms: a rotation every second. A late tick shortens the next period, so two
// files may begin within one second; each must still get a name of its own.
constexpr int kInterval = 99;

std::size_t records_in(const std::filesystem::path& data, const std::string& source) {
  return reliability::read_ledger(data, "kom").count(source) + reliability::read_ledger(data, "dat").count(source);
}

class SerrakReliability : public SerrakTest {};

TEST_F(SerrakReliability, RecordsSplitAtRandomPointsArriveWholeAcrossTenRotations) {
  // 100 records a second for 13 s: a dozen periods or more.
  constexpr int kRecords = 1300;
  std::string device;
  auto pbx = start_line({"--source", "serial1", "--count", std::to_string(kRecords), "--size",
                         std::to_string(kRecordSize), "--ending", "cr", "--split", "random", "--seed", "20261207",
                         "--rate", "100", "--delay", "800", "--linger", "1000"},
                        device);
  write_ini_for(device, kInterval, "com_settings=9600,n,8,1\n");
  auto serrak = start_debug();
  ASSERT_FALSE(settings_report().empty()) << all_events();
  ASSERT_EQ(pbx->wait(40s), 0) << pbx->err();
  ASSERT_TRUE(wait_until([&] { return records_in(data(), "serial1") == kRecords; }, 10s));
  EXPECT_TRUE(serrak->running());
  stop(*serrak);

  EXPECT_EQ(files_with_ext(data(), "kom"), std::vector<std::string>{});
  EXPECT_GE(files_with_ext(data(), "dat").size(), 10u);
  auto ledger = reliability::read_ledger(data());
  EXPECT_TRUE(ledger.torn.empty()) << ledger.torn.front();
  EXPECT_TRUE(ledger.tails.empty()) << ledger.tails.front();
  EXPECT_EQ(reliability::first_numbers(ledger.missing("serial1", 1, kRecords)), "0:");
  EXPECT_EQ(ledger.doubled("serial1"), std::vector<std::uint64_t>{});
  EXPECT_EQ(ledger.sources["serial1"].out_of_order, 0u);
}

// A pseudo-terminal whose records the test writes at a steady rate from its own thread, each
// record in one write; the writer can be held between two records. The master end does not
// block, so a line that nobody reads never keeps the test from ending.
class RecordWriter {
 public:
  explicit RecordWriter(std::string source) : source_(std::move(source)) {}
  ~RecordWriter() { finish(); }
  const std::string& path() const { return line_.path(); }
  void start() { thread_ = std::thread([this] { run(); }); }

  // Returns once no write is under way; the number of records written so far.
  std::uint64_t hold() {
    std::unique_lock lock(mutex_);
    held_ = true;
    changed_.wait(lock, [&] { return !writing_; });
    return written_;
  }
  void resume() {
    std::lock_guard lock(mutex_);
    held_ = false;
    changed_.notify_all();
  }
  // Stops writing; the number of records written whole.
  std::uint64_t finish() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
      changed_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
    return written_;
  }

 private:
  // False when the line stayed full for 10 s.
  bool write_all(std::string_view bytes) {
    auto until = std::chrono::steady_clock::now() + 10s;
    while (!bytes.empty() && std::chrono::steady_clock::now() < until) {
      std::size_t n = line_.write_some(bytes);
      if (n > 0) {
        bytes.remove_prefix(n);
      } else {
        std::this_thread::sleep_for(2ms);
      }
    }
    return bytes.empty();
  }
  void run() {
    // At most 60 s of writing, whatever the test does.
    auto until = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < until) {
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !held_ || stop_; });
        if (stop_) return;
        writing_ = true;
      }
      bool whole = write_all(pbxsim::make_record(source_, written_ + 1, kRecordSize));
      {
        std::lock_guard lock(mutex_);
        written_ += whole;
        writing_ = false;
        changed_.notify_all();
      }
      if (!whole) return;
      std::this_thread::sleep_for(5ms);
    }
  }

  std::string source_;
  TestLine line_{/*nonblocking=*/true};  // what is written while serrak is down waits in the line
  std::mutex mutex_;
  std::condition_variable changed_;
  bool held_ = false, writing_ = false, stop_ = false;
  std::uint64_t written_ = 0;
  std::thread thread_;
};

TEST_F(SerrakReliability, KillNineUnderLoadThenRestartFinishesTheKilledRunsFilesBeforeNewData) {
  RecordWriter writer("serial1");
  write_ini_for(writer.path(), kInterval);
  auto serrak = start_debug();
  ASSERT_FALSE(settings_report().empty()) << all_events();
  std::map<std::string, std::string> left;
  std::vector<std::string> finished_before;
  writer.start();
  ASSERT_TRUE(wait_until([&] { return files_with_ext(data(), "dat").size() >= 2; }, 20s));
  std::this_thread::sleep_for(300ms);  // the current file is open and growing
  // Killed between two records, a moment after the last one: what it had read by then must be
  // on disk already, what it had not read waits in the line for the next run.
  writer.hold();
  std::this_thread::sleep_for(100ms);
  serrak->signal(SIGKILL);
  ASSERT_EQ(serrak->wait(), 128 + SIGKILL);
  writer.resume();  // the line fills while nobody reads it
  for (const auto& name : files_with_ext(data(), "kom")) left[name] = read_file(data() / name);
  ASSERT_FALSE(left.empty());
  finished_before = files_with_ext(data(), "dat");
  EXPECT_EQ(reliability::read_ledger(data(), "kom").tails, std::vector<std::string>{});

  serrak = start_debug();  // the start report precedes the opening of the line
  ASSERT_FALSE(serrak->wait(0ms).has_value()) << all_events();
  EXPECT_EQ(reliability::unfinished(data(), left), std::vector<std::string>{});
  std::this_thread::sleep_for(500ms);  // new records arrive in the new run's file
  std::uint64_t sent = writer.finish();
  ASSERT_TRUE(wait_until([&] { return records_in(data(), "serial1") == sent; })) << sent;
  stop(*serrak);
  for (const auto& [name, content] : left) {
    if (!content.empty()) {
      EXPECT_EQ(read_file(data() / reliability::dat_name(name)), content) << name;
    }
  }
  EXPECT_GT(files_with_ext(data(), "dat").size(), finished_before.size());
  EXPECT_EQ(files_with_ext(data(), "kom"), std::vector<std::string>{});
  auto ledger = reliability::read_ledger(data());
  EXPECT_TRUE(ledger.torn.empty()) << ledger.torn.front();
  EXPECT_TRUE(ledger.tails.empty()) << ledger.tails.front();
  auto& seen = ledger.sources["serial1"].seen;
  EXPECT_EQ(reliability::first_numbers(ledger.missing("serial1", 1, sent)), "0:");
  EXPECT_EQ(seen.size(), sent);
  EXPECT_EQ(ledger.doubled("serial1"), std::vector<std::uint64_t>{});
  EXPECT_EQ(ledger.sources["serial1"].out_of_order, 0u);
}

TEST_F(SerrakReliability, StopOrKillInTheMiddleOfALineLosesNothingOfItAndTearsNoRecord) {
  // A serial line brings a record a few characters at a time: a kill mostly finds a line begun.
  TestLine line;
  write_ini_for(line.path(), 100000);
  auto serrak = start_debug();
  ASSERT_FALSE(settings_report().empty()) << all_events();
  for (std::uint64_t seq = 1; seq <= 3; ++seq) line.write(pbxsim::make_record("serial1", seq, kRecordSize));
  std::string cut = pbxsim::make_record("serial1", 4, kRecordSize);
  line.write(cut.substr(0, 30));
  ASSERT_TRUE(wait_until([&] { return records_in(data(), "serial1") == 3; }));
  line.write(cut.substr(30, 20));
  std::this_thread::sleep_for(200ms);  // read, waiting for its line end
  serrak->signal(SIGKILL);
  ASSERT_EQ(serrak->wait(), 128 + SIGKILL);

  serrak = start_debug();
  ASSERT_FALSE(serrak->wait(0ms).has_value()) << all_events();
  line.write(cut.substr(50) + pbxsim::make_record("serial1", 5, kRecordSize));
  ASSERT_TRUE(wait_until([&] { return records_in(data(), "serial1") == 5; })) << all_events();
  auto ledger = reliability::read_ledger(data(), "kom");
  EXPECT_TRUE(ledger.torn.empty()) << ledger.torn.front();
  EXPECT_TRUE(ledger.tails.empty()) << ledger.tails.front();
  // An orderly stop keeps the unfinished line just as well.
  std::string stopped = pbxsim::make_record("serial1", 6, kRecordSize);
  line.write(stopped.substr(0, 40));
  ASSERT_TRUE(wait_until([&] { return read_file(home_ / "serrak.pending") == stopped.substr(0, 40); }));
  stop(*serrak);
  ledger = reliability::read_ledger(data());
  EXPECT_EQ(reliability::first_numbers(ledger.missing("serial1", 1, 5)), "0:");
  EXPECT_EQ(ledger.doubled("serial1"), std::vector<std::uint64_t>{});
  serrak = start_debug();
  line.write(stopped.substr(40));
  ASSERT_TRUE(wait_until([&] { return records_in(data(), "serial1") == 6; })) << all_events();
  stop(*serrak);
  ledger = reliability::read_ledger(data());
  EXPECT_TRUE(ledger.torn.empty()) << ledger.torn.front();
  EXPECT_TRUE(ledger.tails.empty()) << ledger.tails.front();
  EXPECT_EQ(reliability::first_numbers(ledger.missing("serial1", 1, 6)), "0:");
}

TEST_F(SerrakReliability, RestartInTheSecondOfTheKilledRunsFilesStillFinishesEveryFile) {
  // Files a killed run began in this second and the next two: the new run's first file would
  // take one of their names, and could then never be renamed.
  std::time_t now = std::time(nullptr);
  std::map<std::string, std::string> left;
  std::filesystem::create_directories(data());
  for (int second = 0; second < 3; ++second) {
    std::time_t when = now + second;
    std::tm utc{};
    ::gmtime_r(&when, &utc);
    char stamp[16];
    std::strftime(stamp, sizeof(stamp), "%Y%m%d%H%M%S", &utc);
    std::string name = std::string("12_") + stamp;
    left[name] = pbxsim::make_record("serial1", static_cast<std::uint64_t>(second + 1), kRecordSize);
    write_file(data() / (name + ".kom"), left[name]);
  }
  TestLine line;
  write_ini_for(line.path(), 100000);
  auto serrak = start_debug();
  ASSERT_FALSE(settings_report().empty()) << all_events();
  line.write(pbxsim::make_record("serial1", 4, kRecordSize));
  ASSERT_TRUE(wait_until([&] { return records_in(data(), "serial1") == 4; })) << all_events();
  stop(*serrak);
  for (const auto& [name, content] : left) EXPECT_EQ(read_file(data() / (name + ".dat")), content) << name;
  EXPECT_EQ(files_with_ext(data(), "kom"), std::vector<std::string>{});
  EXPECT_EQ(files_with_ext(data(), "dat").size(), 4u);
  EXPECT_EQ(reliability::first_numbers(reliability::read_ledger(data()).missing("serial1", 1, 4)), "0:");
}

}  // namespace
}  // namespace ralvek::e2e
