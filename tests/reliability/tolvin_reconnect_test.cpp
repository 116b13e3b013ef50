// tolvin and senders that open a new connection for every record or every batch: a new
// connection from a site replaces the old one only after everything the old one had received
// is written.
#include <unistd.h>

#include <csignal>
#include <thread>

#include "record_ledger.h"
#include "records.h"
#include "tolvin_fixture.h"

namespace ralvek::e2e {
namespace {

using reliability::first_numbers;
using reliability::read_ledger;

constexpr std::size_t kRecordSize = 80;
const std::string kSite = "127.0.0.40";

class TolvinReconnect : public TolvinTest {
 protected:
  TolvinReconnect() { port_ = reliability::quiet_port(); }

  // Sends records first..first+count-1 on a new connection and closes it at once.
  void send_connection(std::uint64_t first, std::uint64_t count) {
    std::string bytes;
    for (std::uint64_t seq = first; seq < first + count; ++seq) bytes += pbxsim::make_record(kSite, seq, kRecordSize);
    int fd = tcp_connect(kSite, port_);
    send_all(fd, bytes);
    ::close(fd);
  }
  std::size_t found() const {
    return read_ledger(data(), "ip").count(kSite) + read_ledger(data(), "dat").count(kSite);
  }
  // Stops tolvin and checks that records 1..total are each in one .dat file, whole.
  void expect_every_record(Process& tolvin, std::uint64_t total) {
    EXPECT_TRUE(wait_until([&] { return found() >= total; }, 20s)) << found() << " of " << total;
    tolvin.signal(SIGTERM);
    ASSERT_EQ(tolvin.wait(), 0);
    auto ledger = read_ledger(data());
    EXPECT_EQ(first_numbers(ledger.missing(kSite, 1, total)), "0:");
    EXPECT_EQ(first_numbers(ledger.doubled(kSite)), "0:");
    EXPECT_EQ(ledger.torn, std::vector<std::string>{});
  }
};

// Each connection is closed right after its last write and the next one opens at once: first
// while tolvin is still reading the one before, then while its loop stands still (as a slow
// disk or the scheduler may hold it), so that the connections queue up behind each other.
TEST_F(TolvinReconnect, BackToBackBulkConnectionsLoseNoRecord) {
  write_ini("file_interval=0\n" + kSite + "=1\n");
  auto tolvin = start_debug();
  std::uint64_t next = 1;
  for (int c = 0; c < 5; ++c, next += 3000) send_connection(next, 3000);
  tolvin->signal(SIGSTOP);
  for (int c = 0; c < 10; ++c, next += 500) send_connection(next, 500);  // 40 KB: the system takes it all
  tolvin->signal(SIGCONT);
  expect_every_record(*tolvin, next - 1);
}

// One connection per record, ten a second; twice the loop stands still for half a second (as
// a slow disk or the scheduler may hold it), so connections queue up behind each other.
TEST_F(TolvinReconnect, ConnectionPerRecordThroughStalledLoopLosesNoRecord) {
  write_ini("file_interval=0\n" + kSite + "=1\n");
  auto tolvin = start_debug();
  constexpr std::uint64_t kRecords = 30;
  for (std::uint64_t seq = 1; seq <= kRecords; ++seq) {
    if (seq == 8 || seq == 20) tolvin->signal(SIGSTOP);
    send_connection(seq, 1);
    std::this_thread::sleep_for(100ms);
    if (seq == 12 || seq == 24) tolvin->signal(SIGCONT);
  }
  expect_every_record(*tolvin, kRecords);
}

}  // namespace
}  // namespace ralvek::e2e
