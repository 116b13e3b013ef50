// tolvin over the file-operations fault layer: the order of publishing a file, a full disk and
// an unwritable data directory, and rotations whose files the disk is slow to take.
#include <csignal>
#include <cstdio>
#include <thread>

#include "fault_journal.h"
#include "records.h"
#include "record_ledger.h"
#include "records.h"
#include "tolvin_fixture.h"

namespace ralvek::e2e {
namespace {

class TolvinFaults : public TolvinTest {
 protected:
  TolvinFaults() : layer_(home_.path(), data()) { port_ = reliability::quiet_port(); }

  std::unique_ptr<Process> start_with_layer() {
    auto p = start({"--debug"}, layer_.env);
    EXPECT_TRUE(wait_until([&] { return !settings_report().empty() || !p->running(); }));
    char hex_port[8];
    std::snprintf(hex_port, sizeof(hex_port), ":%04X ", port_);
    EXPECT_TRUE(wait_until([&] {
      std::string tcp = read_file("/proc/net/tcp");
      bool listening = false;
      for (size_t at = tcp.find(hex_port); at != std::string::npos; at = tcp.find(hex_port, at + 1)) {
        listening |= tcp.compare(at + 6 + 14, 2, "0A") == 0;
      }
      // the UDP port is bound just after the listener
      return (listening && read_file("/proc/net/udp").find(hex_port) != std::string::npos) || !p->running();
    }));
    return p;
  }
  std::string all_written() const {
    std::string all;
    for (const auto& c : dat_contents()) all += c;
    for (const auto& n : files_with_ext(data(), "ip")) all += read_file(data() / n);
    return all;
  }
  int events_with(const std::string& text) const {
    return static_cast<int>(events_with_text(event_log(), text).size());
  }
  // Sends a block from the UDP site and waits until the service has handled it: written,
  // or (when `reported` is given) that report is in the event log `times` times.
  void send_and_wait(const std::string& block, const std::string& reported = "", int times = 1) {
    udp_send("127.0.0.21", port_, block);
    if (reported.empty()) {
      ASSERT_TRUE(wait_until([&] { return all_written().find(block) != std::string::npos; })) << block;
    } else {
      ASSERT_TRUE(wait_until([&] { return events_with(reported) == times; })) << reported;
    }
  }

  reliability::FaultLayer layer_;
};

TEST_F(TolvinFaults, EveryFinishedFileWasSyncedBeforeItsRenameAndItsDirectoryAfter) {
  write_ini("file_interval=1\n127.0.0.21,udp=2\n127.0.0.20=1\n");
  auto tolvin = start_with_layer();
  ASSERT_TRUE(tolvin->running());
  for (int i = 0; i < 4; ++i) {
    std::size_t finished = files_with_ext(data(), "dat").size();
    send_and_wait("block" + std::to_string(i) + ";");
    int fd = tcp_connect("127.0.0.20", port_);
    send_all(fd, "tcp" + std::to_string(i) + ";");
    ::close(fd);
    ASSERT_TRUE(wait_until([&] { return all_written().find("tcp" + std::to_string(i) + ";") != std::string::npos; }));
    ASSERT_TRUE(wait_until([&] { return files_with_ext(data(), "dat").size() > finished; }));
  }
  tolvin->signal(SIGTERM);
  ASSERT_EQ(tolvin->wait(), 0);
  int renames = 0;
  auto faults = reliability::publishing_faults(reliability::read_journal(layer_.journal), renames);
  EXPECT_EQ(faults, std::vector<std::string>{});
  EXPECT_EQ(static_cast<std::size_t>(renames), files_with_ext(data(), "dat").size());
  EXPECT_GE(renames, 4);
}

TEST_F(TolvinFaults, DiskFullLosesOnlyTheBlocksThatFailedEachReportedAndResumes) {
  write_ini("file_interval=0\n127.0.0.21,udp=2\n");
  auto tolvin = start_with_layer();
  send_and_wait("before;");
  auto ip = files_with_ext(data(), "ip");
  ASSERT_EQ(ip.size(), 1u);
  std::string report = "No space left on device: " + (data() / ip[0]).string() + "\r\nProcedure: DataArrival";
  layer_.set_disk_full(true);
  send_and_wait("lost one;", report, 1);
  send_and_wait("lost two;", report, 2);
  EXPECT_TRUE(tolvin->running());
  layer_.set_disk_full(false);
  send_and_wait("after;");
  tolvin->signal(SIGTERM);
  ASSERT_EQ(tolvin->wait(), 0);
  EXPECT_EQ(dat_contents(), std::vector<std::string>{"before;after;"});
}

// A TCP sender is held back while the disk is full (its connection is not read) and nothing it
// sends is lost: the first failure is reported, the retries are not, the recovery is.
TEST_F(TolvinFaults, DiskFullHoldsATcpSenderBackAndLosesNothing) {
  write_ini("file_interval=0\n127.0.0.20=1\n");
  auto tolvin = start_with_layer();
  constexpr std::uint64_t kBefore = 100, kTotal = 20000;
  auto records = [](std::uint64_t first, std::uint64_t last) {
    std::string bytes;
    for (std::uint64_t seq = first; seq <= last; ++seq) bytes += pbxsim::make_record("127.0.0.20", seq, 80);
    return bytes;
  };
  auto found = [&] { return reliability::read_ledger(data(), "ip").count("127.0.0.20"); };
  int fd = tcp_connect("127.0.0.20", port_);
  send_all(fd, records(1, kBefore));
  ASSERT_TRUE(wait_until([&] { return found() == kBefore; }));
  auto ip = files_with_ext(data(), "ip");
  ASSERT_EQ(ip.size(), 1u);
  std::string report = "No space left on device: " + (data() / ip[0]).string() + "\r\nProcedure: DataArrival";
  layer_.set_disk_full(true);
  std::thread sender([&] { send_all(fd, records(kBefore + 1, kTotal)); });
  EXPECT_TRUE(wait_until([&] { return events_with(report) == 1; }));
  std::this_thread::sleep_for(500ms);  // fifty retries at this time scale
  EXPECT_EQ(events_with(report), 1);
  layer_.set_disk_full(false);
  sender.join();
  ::close(fd);
  EXPECT_TRUE(wait_event(4, 110, "Writing resumed for site 1 after a full disk."));
  EXPECT_TRUE(wait_until([&] { return found() == kTotal; })) << found();
  tolvin->signal(SIGTERM);
  ASSERT_EQ(tolvin->wait(), 0);
  auto ledger = reliability::read_ledger(data());
  EXPECT_EQ(reliability::first_numbers(ledger.missing("127.0.0.20", 1, kTotal)), "0:");
  EXPECT_EQ(reliability::first_numbers(ledger.doubled("127.0.0.20")), "0:");
  EXPECT_EQ(ledger.torn, std::vector<std::string>{});
}

TEST_F(TolvinFaults, DiskFullInTheMiddleOfABlockLeavesNoPartOfIt) {
  write_ini("file_interval=0\nappend_return=1\n127.0.0.21,udp=2\n");
  auto tolvin = start_with_layer();
  send_and_wait("rec;before");
  auto ip = files_with_ext(data(), "ip");
  ASSERT_EQ(ip.size(), 1u);
  std::string report = "No space left on device: " + (data() / ip[0]).string() + "\r\nProcedure: DataArrival";
  layer_.set_disk_full(true, /*partial=*/true);
  send_and_wait("rec;cut in the middle by a full disk", report, 1);
  layer_.set_disk_full(false);
  send_and_wait("rec;after");
  tolvin->signal(SIGTERM);
  ASSERT_EQ(tolvin->wait(), 0);
  EXPECT_EQ(dat_contents(), std::vector<std::string>{"rec;before\r\nrec;after\r\n"});
}

TEST_F(TolvinFaults, UnwritableDataDirectoryLosesTheBlockReportsTheSiteAndTriesAgain) {
  write_ini("file_interval=0\n127.0.0.21,udp=2\n");
  auto tolvin = start_with_layer();
  layer_.set_unwritable(true);
  send_and_wait("refused;", "Failed to create temporary output file for site: 2\r\nProcedure: DataArrival", 1);
  bool permission_reported = false;
  for (const auto& e : events()) {
    permission_reported |= e.type == 1 && e.id == 109 && e.text.rfind("Permission denied: " + data().string() + "/2_", 0) == 0 &&
                           e.text.find("\r\nProcedure: CreateOutputFile") != std::string::npos;
  }
  EXPECT_TRUE(permission_reported);
  layer_.set_unwritable(false);
  send_and_wait("accepted;");
  tolvin->signal(SIGTERM);
  ASSERT_EQ(tolvin->wait(), 0);
  EXPECT_EQ(dat_contents(), std::vector<std::string>{"accepted;"});
}

// Records of `source` in the .ip and .dat files.
std::size_t records_of(const std::filesystem::path& dir, const std::string& source) {
  return reliability::read_ledger(dir, "ip").count(source) + reliability::read_ledger(dir, "dat").count(source);
}

std::string site(int n) { return "127.0.0." + std::to_string(100 + n); }

TEST_F(TolvinFaults, DatagramsKeepArrivingWhileARotationOfTwentySitesWaitsForTheDisk) {
  // Every fsync takes 2 s: finishing the 20 files takes 40 s. Meanwhile another site sends
  // 1,000 datagrams a second, 1,500 in all: far more than the socket's buffer holds, so a loop
  // that waited for the disk would lose most of them.
  std::string ini = "file_interval=100\n" + site(0) + ",udp=21\n";
  for (int n = 1; n <= 20; ++n) ini += site(n) + ",udp=" + std::to_string(n) + "\n";
  write_ini(ini);
  layer_.env["RALVEK_FAULT_FSYNC_DELAY_MS"] = "2000";
  auto tolvin = start_with_layer();
  ASSERT_TRUE(tolvin->running());
  for (int n = 1; n <= 20; ++n) udp_send(site(n), port_, pbxsim::make_record(site(n), 1, 64));
  ASSERT_TRUE(wait_until([&] { return files_with_ext(data(), "ip").size() == 20; }));
  ASSERT_TRUE(wait_until([&] { return read_file(layer_.journal).find("fsync-begin") != std::string::npos; }));
  auto started = std::chrono::steady_clock::now();
  for (int seq = 1; seq <= 1500; ++seq) {
    udp_send(site(0), port_, pbxsim::make_record(site(0), static_cast<std::uint64_t>(seq), 64));
    std::this_thread::sleep_until(started + std::chrono::microseconds(1000 * seq));
  }
  EXPECT_TRUE(wait_until([&] { return records_of(data(), site(0)) == 1500; }, 5s))
      << records_of(data(), site(0)) << " of 1500 datagrams written";
  // All of it happened while the rotation was still being finished.
  auto journal = reliability::read_journal(layer_.journal);
  int renamed = 0;
  for (const auto& op : journal) renamed += op.operation == "rename";
  EXPECT_LT(renamed, 20);
  tolvin->signal(SIGKILL);  // the next start sweeps what is left
  tolvin->wait();
}

TEST_F(TolvinFaults, StopDuringASlowFinishEndsWhenEveryFileIsADatWithNothingLostOrDoubled) {
  std::string ini = "file_interval=100\n";
  for (int n = 1; n <= 5; ++n) ini += site(n) + ",udp=" + std::to_string(n) + "\n";
  write_ini(ini);
  layer_.env["RALVEK_FAULT_FSYNC_DELAY_MS"] = "300";
  auto tolvin = start_with_layer();
  ASSERT_TRUE(tolvin->running());
  std::uint64_t sent = 0;
  auto send_round = [&] {
    ++sent;
    for (int n = 1; n <= 5; ++n) udp_send(site(n), port_, pbxsim::make_record(site(n), sent, 64));
    return wait_until([&] { return all_written().size() == sent * 5 * 64; });
  };
  // Rounds until the rotation's files are being synced, then a few more into the new files.
  for (int round = 0; round < 500 && read_file(layer_.journal).find("fsync-begin") == std::string::npos; ++round) {
    ASSERT_TRUE(send_round());
    std::this_thread::sleep_for(10ms);
  }
  for (int round = 0; round < 3; ++round) ASSERT_TRUE(send_round());
  ASSERT_FALSE(files_with_ext(data(), "ip").empty());
  tolvin->signal(SIGTERM);
  ASSERT_EQ(tolvin->wait(20s), 0);
  EXPECT_EQ(files_with_ext(data(), "ip"), std::vector<std::string>{});
  auto ledger = reliability::read_ledger(data());
  for (int n = 1; n <= 5; ++n) {
    EXPECT_EQ(ledger.missing(site(n), 1, sent), std::vector<std::uint64_t>{}) << site(n);
    EXPECT_EQ(ledger.doubled(site(n)), std::vector<std::uint64_t>{}) << site(n);
  }
  int renames = 0;
  EXPECT_EQ(reliability::publishing_faults(reliability::read_journal(layer_.journal), renames),
            std::vector<std::string>{});
  EXPECT_EQ(static_cast<std::size_t>(renames), files_with_ext(data(), "dat").size());
}

}  // namespace
}  // namespace ralvek::e2e
