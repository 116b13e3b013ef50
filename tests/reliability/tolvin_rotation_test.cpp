// tolvin under rotations, forced disconnects and kill -9: every record it read reaches exactly one
// .dat file, whole and in order.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <thread>

#include "record_ledger.h"
#include "records.h"
#include "tolvin_fixture.h"

namespace ralvek::e2e {
namespace {

using reliability::bytes_in;
using reliability::dat_name;
using reliability::first_numbers;
using reliability::read_ledger;

constexpr std::size_t kRecordSize = 64;

std::string site_address(int site) { return "127.0.0." + std::to_string(100 + site); }

// True when the peer has closed the connection (a forced disconnect). Bytes sent after the
// peer's close are refused by it, so the sender looks just before each send.
bool peer_closed(int fd) {
  tcp_info info{};
  socklen_t len = sizeof(info);
  if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &len) != 0) return true;
  return info.tcpi_state != TCP_ESTABLISHED;
}

class TolvinReliability : public TolvinTest {
 protected:
  TolvinReliability() { port_ = reliability::quiet_port(); }
  std::uintmax_t written() const { return bytes_in(data(), {".ip", ".dat"}); }
};

TEST_F(TolvinReliability, HundredSitesThroughRotationsAndAForcedDisconnectLoseNothing) {
  constexpr int kSites = 100;
  std::string ini = "file_interval=2\ndisconnect_interval=40\n";
  for (int site = 1; site <= kSites; ++site) {
    ini += site_address(site) + (site % 2 ? "" : ",udp") + "=" + std::to_string(site) + "\n";
  }
  write_ini(ini);
  auto tolvin = start_debug();
  ASSERT_TRUE(tolvin->running());

  std::map<int, int> tcp;  // site -> connection
  for (int site = 1; site <= kSites; site += 2) tcp[site] = tcp_connect(site_address(site), port_);
  std::map<int, std::uint64_t> sent;
  std::uintmax_t total = 0;
  int disconnects = 0, rounds = 0;
  auto started = std::chrono::steady_clock::now();
  // Rounds of one record per site, each read completely before the next, so a forced
  // disconnect finds the connections idle and every reconnect is seen by the sender.
  while (rounds < 400 && (rounds < 20 || disconnects < 1 ||
                          std::chrono::steady_clock::now() - started < 1500ms)) {
    ASSERT_LT(std::chrono::steady_clock::now() - started, 60s);
    for (int site = 1; site <= kSites; ++site) {
      std::string record = pbxsim::make_record(site_address(site), ++sent[site], kRecordSize);
      if (site % 2) {
        int& fd = tcp[site];
        if (peer_closed(fd)) {
          ::close(fd);
          fd = tcp_connect(site_address(site), port_);
          ++disconnects;
        }
        send_all(fd, record);
      } else {
        udp_send(site_address(site), port_, record);
      }
      total += record.size();
    }
    ++rounds;
    ASSERT_TRUE(wait_until([&] { return written() == total; }, 10s))
        << "round " << rounds << ": " << written() << " of " << total << " bytes written";
    std::this_thread::sleep_for(2ms);
  }
  for (auto& [site, fd] : tcp) ::close(fd);
  std::printf("%d rounds in %lld ms, %d reconnects\n", rounds,
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - started).count()), disconnects);
  tolvin->signal(SIGTERM);
  ASSERT_EQ(tolvin->wait(), 0);

  EXPECT_GE(disconnects, kSites / 2) << "every TCP site is disconnected at least once";
  EXPECT_GE(files_with_ext(data(), "dat").size(), 10u * kSites / 2);
  EXPECT_TRUE(files_with_ext(data(), "ip").empty());
  auto ledger = read_ledger(data());
  EXPECT_TRUE(ledger.torn.empty()) << ledger.torn.front();
  EXPECT_TRUE(ledger.tails.empty()) << ledger.tails.front();
  int site_one_files = 0;
  for (const auto& name : files_with_ext(data(), "dat")) site_one_files += name.rfind("1_", 0) == 0;
  EXPECT_GE(site_one_files, 10) << "site 1 saw at least ten rotations";
  for (int site = 1; site <= kSites; ++site) {
    std::string source = site_address(site);
    EXPECT_EQ(ledger.missing(source, 1, sent[site]), std::vector<std::uint64_t>{}) << source;
    EXPECT_EQ(ledger.doubled(source), std::vector<std::uint64_t>{}) << source;
    EXPECT_EQ(ledger.sources[source].out_of_order, 0u) << source;
  }
}

TEST_F(TolvinReliability, ARotationAfterEveryBlockNeverFinishesAFileStillBeingWritten) {
  // max_count=1: every block closes all files and sweeps the folder, while the next blocks
  // already go into new files. A .dat that grows after it appeared was taken while open.
  std::string ini = "file_interval=0\nmax_count=1\n";
  for (int site = 21; site <= 26; ++site) {
    ini += site_address(site) + (site <= 23 ? "" : ",udp") + "=" + std::to_string(site) + "\n";
  }
  write_ini(ini);
  auto tolvin = start_debug();
  ASSERT_TRUE(tolvin->running());

  std::atomic<bool> stop{false};
  std::map<std::string, std::uintmax_t> first_size;
  std::vector<std::string> grown;
  std::thread watcher([&] {
    auto give_up = std::chrono::steady_clock::now() + 60s;
    while (!stop && std::chrono::steady_clock::now() < give_up) {
      std::error_code ec;
      for (const auto& entry : std::filesystem::directory_iterator(data(), ec)) {
        if (entry.path().extension() != ".dat") continue;
        auto size = entry.file_size(ec);
        if (ec) continue;
        auto [at, fresh] = first_size.emplace(entry.path().filename().string(), size);
        if (!fresh && at->second != size) grown.push_back(at->first);
      }
      std::this_thread::sleep_for(1ms);
    }
  });
  std::map<int, int> tcp;
  for (int site = 21; site <= 23; ++site) tcp[site] = tcp_connect(site_address(site), port_);
  std::uint64_t rounds = 0;
  for (; rounds < 50; ++rounds) {
    for (int site = 21; site <= 26; ++site) {
      std::string record = pbxsim::make_record(site_address(site), rounds + 1, kRecordSize);
      if (site <= 23) {
        send_all(tcp[site], record);
      } else {
        udp_send(site_address(site), port_, record);
      }
    }
    std::this_thread::sleep_for(5ms);
  }
  ASSERT_TRUE(wait_until([&] { return written() == rounds * 6 * kRecordSize; }, 20s));
  for (auto& [site, fd] : tcp) ::close(fd);
  tolvin->signal(SIGTERM);
  EXPECT_EQ(tolvin->wait(30s), 0);
  stop = true;
  watcher.join();

  EXPECT_EQ(grown, std::vector<std::string>{});
  for (const auto& name : files_with_ext(data(), "dat")) {
    auto seen = first_size.find(name);
    if (seen != first_size.end()) {
      EXPECT_EQ(std::filesystem::file_size(data() / name), seen->second) << name;
    }
  }
  EXPECT_EQ(files_with_ext(data(), "ip"), std::vector<std::string>{});
  EXPECT_GE(files_with_ext(data(), "dat").size(), rounds);
  auto ledger = read_ledger(data());
  EXPECT_TRUE(ledger.torn.empty()) << ledger.torn.front();
  for (int site = 21; site <= 26; ++site) {
    std::string source = site_address(site);
    EXPECT_EQ(ledger.missing(source, 1, rounds), std::vector<std::uint64_t>{}) << source;
    EXPECT_EQ(ledger.doubled(source), std::vector<std::uint64_t>{}) << source;
  }
}

// Senders that keep sending numbered records until stopped; each TCP record is one send.
class Senders {
 public:
  Senders(int port, std::vector<int> tcp_sites, std::vector<int> udp_sites) {
    for (int site : tcp_sites) threads_.emplace_back([this, port, site] { run(port, site, true); });
    for (int site : udp_sites) threads_.emplace_back([this, port, site] { run(port, site, false); });
  }
  ~Senders() { stop(); }
  void stop() {
    stop_ = true;
    for (auto& t : threads_) {
      if (t.joinable()) t.join();
    }
  }

 private:
  void run(int port, int site, bool over_tcp) {
    int fd = -1;
    try {
      if (over_tcp) fd = tcp_connect(site_address(site), port);
      for (std::uint64_t seq = 1; !stop_ && seq < 1000000; ++seq) {
        std::string record = pbxsim::make_record(site_address(site), seq, kRecordSize);
        if (over_tcp) {
          send_all(fd, record);
        } else {
          udp_send(site_address(site), port, record);
        }
        std::this_thread::sleep_for(200us);
      }
    } catch (const std::exception&) {
      // the receiver was killed: this sender is done
    }
    if (fd >= 0) ::close(fd);
  }

  std::atomic<bool> stop_{false};
  std::vector<std::thread> threads_;
};

TEST_F(TolvinReliability, KillNineUnderLoadThenRestartFinishesEveryFileBeforeNewData) {
  write_ini("file_interval=10\n" + site_address(1) + "=1\n" + site_address(2) + "=2\n" +
            site_address(3) + ",udp=3\n" + site_address(4) + ",udp=4\n");
  auto tolvin = start_debug();
  ASSERT_TRUE(tolvin->running());
  {
    Senders load(port_, {1, 2}, {3, 4});
    // Every site has a finished file, so each has sent before the kill, however busy the machine.
    ASSERT_TRUE(wait_until([&] {
      auto dats = files_with_ext(data(), "dat");
      for (int site = 1; site <= 4; ++site) {
        std::string prefix = std::to_string(site) + "_";
        if (std::none_of(dats.begin(), dats.end(), [&](auto& n) { return n.rfind(prefix, 0) == 0; })) return false;
      }
      return true;
    }, 20s));
    std::this_thread::sleep_for(50ms);  // files of the current period are open and growing
    tolvin->signal(SIGKILL);
    ASSERT_EQ(tolvin->wait(), 128 + SIGKILL);
  }
  // What the killed run had read is exactly what is in its files now.
  std::map<std::string, std::string> left;
  for (const auto& name : files_with_ext(data(), "ip")) left[name] = read_file(data() / name);
  ASSERT_FALSE(left.empty());
  auto finished_before = files_with_ext(data(), "dat");

  auto restarted = start_debug();  // returns once it listens: the sweep is done by then
  ASSERT_TRUE(restarted->running());
  EXPECT_TRUE(files_with_ext(data(), "ip").empty());
  EXPECT_EQ(reliability::unfinished(data(), left), std::vector<std::string>{});
  EXPECT_EQ(files_with_ext(data(), "dat").size(), finished_before.size() + left.size() -
                                                      std::count_if(left.begin(), left.end(),
                                                                    [](auto& f) { return f.second.empty(); }));

  int fd = tcp_connect(site_address(1), port_);
  send_all(fd, pbxsim::make_record("after.restart", 1, kRecordSize));
  ::close(fd);
  restarted->signal(SIGTERM);
  ASSERT_EQ(restarted->wait(), 0);
  for (const auto& [name, content] : left) {
    if (!content.empty()) {
      EXPECT_EQ(read_file(data() / dat_name(name)), content);
    }
  }

  auto ledger = read_ledger(data());
  EXPECT_EQ(ledger.count("after.restart"), 1u);
  EXPECT_TRUE(ledger.torn.empty()) << ledger.torn.front();
  for (const auto& tail : ledger.tails) {
    EXPECT_TRUE(reliability::is_record_prefix(tail, kRecordSize)) << tail;
  }
  for (int site = 1; site <= 4; ++site) {
    std::string source = site_address(site);
    EXPECT_GT(ledger.count(source), 0u) << source;
    EXPECT_EQ(ledger.doubled(source), std::vector<std::uint64_t>{}) << source;
    EXPECT_EQ(ledger.sources[source].out_of_order, 0u) << source;
    if (site <= 2) {
      // TCP delivers in order: what was read is one unbroken run from the first record, the
      // record cut by the kill (if any) being the file's unfinished tail.
      auto& seen = ledger.sources[source].seen;
      EXPECT_EQ(first_numbers(ledger.missing(source, 1, seen.rbegin()->first)), "0:") << source;
    }
  }
}

}  // namespace
}  // namespace ralvek::e2e
