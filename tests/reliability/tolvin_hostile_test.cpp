// tolvin against hostile senders and hostile settings files: it keeps serving its sites, or
// fails its start with its own message; it never crashes.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <csignal>
#include <random>
#include <thread>

#include "record_ledger.h"
#include "records.h"
#include "tolvin_fixture.h"

namespace ralvek::e2e {
namespace {

class TolvinHostile : public TolvinTest {
 protected:
  TolvinHostile() { port_ = reliability::quiet_port(); }
  std::string all_written() const {
    std::string all;
    for (const auto& c : dat_contents()) all += c;
    for (const auto& n : files_with_ext(data(), "ip")) all += read_file(data() / n);
    return all;
  }
  std::string start_error() const {
    for (const auto& e : events()) {
      if (e.type == 1 && e.id == 109) return e.text;
    }
    return "";
  }
  // Runs tolvin on the current tolvin.ini until its UDP port is bound (after the listener) or
  // it ends; returns it.
  std::unique_ptr<Process> start_checked(const std::map<std::string, std::string>& extra_env = {}) {
    auto p = start({"--debug"}, extra_env);
    char hex_port[8];
    std::snprintf(hex_port, sizeof(hex_port), ":%04X ", port_);
    EXPECT_TRUE(wait_until([&] {
      return (!settings_report().empty() && read_file("/proc/net/udp").find(hex_port) != std::string::npos) ||
             !p->running();
    }, 20s));
    return p;
  }
};

// One UDP socket bound to a chosen source, for many datagrams.
class UdpSender {
 public:
  explicit UdpSender(const std::string& from) : fd_(::socket(AF_INET, SOCK_DGRAM, 0)) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, from.c_str(), &local.sin_addr);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof(local));
    int size = 1 << 20;
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &size, sizeof(size));
  }
  ~UdpSender() { ::close(fd_); }
  // False when the system refused the datagram.
  bool send(int port, const std::string& bytes) {
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, "127.0.0.1", &remote.sin_addr);
    return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&remote),
                    sizeof(remote)) == static_cast<ssize_t>(bytes.size());
  }

 private:
  int fd_;
};

TEST_F(TolvinHostile, DatagramsOfEverySizeUpToTheLargestArriveWhole) {
  write_ini("file_interval=0\nappend_return=1\n127.0.0.21,udp=2\n");
  auto tolvin = start_checked();
  UdpSender sender("127.0.0.21");
  std::vector<std::size_t> sizes{0, 1, 2, 255, 256, 1472, 1473, 4095, 4096, 8192, 16384,
                                 32768, 65000, 65506, 65507};
  std::string expected;
  for (std::size_t size : sizes) {
    std::string block(size, static_cast<char>('a' + size % 26));
    if (size > 1) block.front() = block.back() = '|';  // the ends show any cut
    ASSERT_TRUE(sender.send(port_, block)) << size;
    expected += block + "\r\n";
    // one at a time: loopback may drop datagrams that pile up
    ASSERT_TRUE(wait_until([&] { return all_written().size() == expected.size(); })) << size;
  }
  tolvin->signal(SIGTERM);
  ASSERT_EQ(tolvin->wait(), 0);
  EXPECT_TRUE(all_written() == expected);
}

TEST_F(TolvinHostile, UdpFloodFromAnUnknownAddressDoesNotStopTheKnownSites) {
  write_ini("file_interval=5\n127.0.0.20=1\n127.0.0.21,udp=2\n");
  auto tolvin = start_checked();
  std::atomic<bool> stop{false};
  std::atomic<int> flooded{0};
  std::thread flood([&] {
    UdpSender sender("127.0.0.66");
    std::string junk(512, '\xee');
    auto until = std::chrono::steady_clock::now() + 20s;
    while (!stop && std::chrono::steady_clock::now() < until) {
      if (sender.send(port_, junk)) ++flooded;
    }
  });
  constexpr int kRecords = 300;
  int fd = tcp_connect("127.0.0.20", port_);
  UdpSender known("127.0.0.21");
  int udp_kept = 0;
  for (int seq = 1; seq <= kRecords; ++seq) {
    send_all(fd, pbxsim::make_record("127.0.0.20", static_cast<std::uint64_t>(seq), 80));
    known.send(port_, pbxsim::make_record("127.0.0.21", static_cast<std::uint64_t>(seq), 80));
    std::this_thread::sleep_for(1ms);
  }
  ::close(fd);
  // The flood keeps going while the known sites are read.
  bool tcp_done = wait_until([&] { return reliability::read_ledger(data(), "ip").count("127.0.0.20") +
                                              reliability::read_ledger(data(), "dat").count("127.0.0.20") ==
                                          kRecords; }, 30s);
  stop = true;
  flood.join();
  EXPECT_TRUE(tcp_done);
  EXPECT_TRUE(tolvin->running());
  EXPECT_GT(flooded.load(), 1000);
  tolvin->signal(SIGTERM);
  ASSERT_EQ(tolvin->wait(), 0);
  auto ledger = reliability::read_ledger(data());
  EXPECT_EQ(ledger.missing("127.0.0.20", 1, kRecords), std::vector<std::uint64_t>{});
  udp_kept = static_cast<int>(ledger.count("127.0.0.21"));
  // Datagrams may be dropped by the system under a flood, but the site is still served.
  EXPECT_GT(udp_kept, 0);
  EXPECT_TRUE(ledger.torn.empty());
  EXPECT_EQ(ledger.sources.size(), 2u) << "nothing of the flood was written";
  EXPECT_TRUE(has_event(event_log(), 1, 109, "Unknown IP: 127.0.0.66\r\nProcedure: DataArrival"));
}

// 100,000 datagrams from an address that is not a site: its events reach the log a few times a
// second, summaries count the rest, and a known site sending at a moderate rate meanwhile
// loses nothing.
TEST_F(TolvinHostile, UdpFloodWritesFewEventsAndTheKnownSiteLosesNothing) {
  write_ini("file_interval=0\n127.0.0.21,udp=2\n");
  auto tolvin = start_checked({{"RALVEK_TIME_SCALE", "1"}});  // the events' windows are seconds
  constexpr int kFlood = 100000, kRecords = 400;
  std::thread flood([&] {
    UdpSender sender("127.0.0.66");
    std::string junk(200, 'x');
    for (int i = 1; i <= kFlood; ++i) {
      sender.send(port_, junk);
      if (i % 1000 == 0) std::this_thread::sleep_for(20ms);  // about 50,000 a second
    }
  });
  UdpSender known("127.0.0.21");
  for (int seq = 1; seq <= kRecords; ++seq) {
    known.send(port_, pbxsim::make_record("127.0.0.21", static_cast<std::uint64_t>(seq), 80));
    std::this_thread::sleep_for(5ms);  // 200 a second, through the whole flood
  }
  flood.join();
  const std::string first = "Unknown IP: 127.0.0.66\r\nProcedure: DataArrival";
  int written = 0, summaries = 0;
  std::uint64_t left_out = 0;
  auto count = [&] {
    written = summaries = 0;
    left_out = 0;
    for (const auto& e : events()) {
      if (e.type != 1 || e.id != 109 || e.text.rfind(first, 0) != 0) continue;
      if (e.text == first) {
        ++written;
      } else {
        ++summaries;
        left_out += std::stoull(e.text.substr(first.size() + 2));
      }
    }
    return written + left_out;
  };
  // The last summary comes when its window is over.
  EXPECT_TRUE(wait_until([&] { return count() == kFlood; }, 5s)) << written << " + " << left_out;
  EXPECT_TRUE(wait_until([&] { return reliability::read_ledger(data(), "ip").count("127.0.0.21") == kRecords; }));
  tolvin->signal(SIGTERM);
  ASSERT_EQ(tolvin->wait(), 0);
  EXPECT_LE(written + summaries, 30);
  EXPECT_GE(summaries, 1);
  auto ledger = reliability::read_ledger(data());
  EXPECT_EQ(reliability::first_numbers(ledger.missing("127.0.0.21", 1, kRecords)), "0:");
  EXPECT_EQ(ledger.sources.size(), 1u) << "nothing of the flood was written";
}

TEST_F(TolvinHostile, SilentSendersHoldNothingUp) {
  write_ini("file_interval=0\n127.0.0.20=1\n127.0.0.22=3\n127.0.0.21,udp=2\n");
  auto tolvin = start_checked();
  int silent_site = tcp_connect("127.0.0.22", port_);
  std::vector<int> silent_strangers;
  for (int i = 0; i < 20; ++i) silent_strangers.push_back(tcp_connect("127.0.0.9" + std::to_string(i % 10), port_));
  int talker = tcp_connect("127.0.0.20", port_);
  send_all(talker, "spoken");
  udp_send("127.0.0.21", port_, "sent");
  EXPECT_TRUE(wait_until([&] { auto w = all_written(); return w.find("spoken") != w.npos && w.find("sent") != w.npos; }));
  for (int fd : silent_strangers) {
    EXPECT_TRUE(closed_by_peer(fd, 5s));
    ::close(fd);
  }
  // The silent site stays connected and costs nothing: no file is made for it.
  EXPECT_FALSE(closed_by_peer(silent_site, 200ms));
  for (const auto& name : files_with_ext(data(), "ip")) EXPECT_NE(name.rfind("3_", 0), 0u) << name;
  ::close(silent_site);
  ::close(talker);
  tolvin->signal(SIGTERM);
  EXPECT_EQ(tolvin->wait(), 0);
}

// ---- hostile settings files ----

TEST_F(TolvinHostile, TenThousandKeysStart) {
  std::string ini = "file_interval=0\n";
  for (int i = 0; i < 10000; ++i) {
    // alternately plain keys and UDP sites on 10.x.y.z that share site numbers
    if (i % 2) {
      ini += "key" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    } else {
      ini += "10." + std::to_string(i / 65536) + "." + std::to_string(i / 256 % 256) + "." +
             std::to_string(i % 256) + ",udp=" + std::to_string(1 + i % 999) + "\n";
    }
  }
  write_ini(ini + "127.0.0.20=1\n");
  auto tolvin = start_checked();
  ASSERT_TRUE(tolvin->running()) << start_error();
  int fd = tcp_connect("127.0.0.20", port_);
  send_all(fd, "served");
  ::close(fd);
  EXPECT_TRUE(wait_until([&] { return all_written() == "served"; }));
}

TEST_F(TolvinHostile, MegabyteLinesAreReadOrIgnoredWithoutHarm) {
  std::string long_value(1 << 20, '7');
  std::string no_equals(1 << 20, 'x');
  // three lines of a mebibyte each: a value, a line without '=', a site name
  write_ini("file_interval=0\n" + no_equals + "\nsome_key=" + long_value +
            "\n127.0.0." + std::string(1 << 20, '1') + "=5\n127.0.0.20=1\n");
  auto tolvin = start_checked();
  ASSERT_TRUE(tolvin->running()) << start_error();
  udp_send("127.0.0.20", port_, "still here");
  EXPECT_TRUE(wait_until([&] { return all_written() == "still here"; }));
}

TEST_F(TolvinHostile, HugeSiteNumbersFailWithTheOverflowMessage) {
  write_ini("127.0.0.20=" + std::string(1 << 20, '9') + "\n");
  auto tolvin = start_checked();
  EXPECT_EQ(tolvin->wait(), 1);
  EXPECT_EQ(start_error(), "Overflow\r\nProcedure: oSVC_Start");
}

TEST_F(TolvinHostile, BinaryGarbageNeverCrashes) {
  std::mt19937 random(20261207);
  for (int round = 0; round < 12; ++round) {
    std::string garbage;
    for (int i = 0; i < 4096 * (round + 1); ++i) garbage += static_cast<char>(random() % 256);
    // every other file hides a valid section inside the garbage
    std::string text = round % 2 ? garbage + "\n[tolvin]\nlocal_port=" + std::to_string(port_) + "\n" + garbage
                                 : garbage;
    write_file(home_ / "tolvin.ini", text);
    std::filesystem::remove(event_log());
    auto p = start({"--debug"});
    bool settled = wait_until([&] { return !settings_report().empty() || !p->running(); }, 20s);
    ASSERT_TRUE(settled) << round;
    if (p->running()) {
      p->signal(SIGTERM);
      EXPECT_EQ(p->wait(), 0) << round;
    } else {
      EXPECT_EQ(p->wait(), 1) << round;
      EXPECT_NE(start_error(), "") << round;
    }
  }
}

TEST_F(TolvinHostile, NoSectionsAndOversizedFilesAreNotFound) {
  std::string path = (home_ / "tolvin.ini").string();
  write_file(home_ / "tolvin.ini", "local_port=1\n127.0.0.20=1\n");
  auto p = start_checked();
  EXPECT_EQ(p->wait(), 1);
  EXPECT_EQ(start_error(), "INI file not found: " + path + "\r\nProcedure: oSVC_Start");
  std::filesystem::remove(event_log());
  write_file(home_ / "tolvin.ini", "[tolvin]\n" + std::string(5 << 20, ';'));
  auto q = start_checked();
  EXPECT_EQ(q->wait(), 1);
  EXPECT_EQ(start_error(), "INI file not found: " + path + "\r\nProcedure: oSVC_Start");
}

TEST_F(TolvinHostile, DuplicateSectionsActAsOne) {
  write_file(home_ / "tolvin.ini", "[tolvin]\nfile_interval=0\n127.0.0.20=1\n[other]\nx=1\n[TOLVIN]\nlocal_port=" +
                                       std::to_string(port_) + "\n127.0.0.21,udp=2\n[tolvin]\n127.0.0.20,udp=9\n");
  auto p = start_checked();
  EXPECT_EQ(p->wait(), 1);
  EXPECT_EQ(start_error(), "Duplicate IP: 127.0.0.20 for site 9 and 1\r\nProcedure: oSVC_Start");
  std::filesystem::remove(event_log());
  write_file(home_ / "tolvin.ini", "[tolvin]\nfile_interval=0\n127.0.0.20=1\n[tolvin]\nlocal_port=" +
                                       std::to_string(port_) + "\n127.0.0.21,udp=2\n");
  auto q = start_checked();
  ASSERT_TRUE(q->running()) << start_error();
  udp_send("127.0.0.21", port_, "second section");
  EXPECT_TRUE(wait_until([&] { return all_written() == "second section"; }));
}

}  // namespace
}  // namespace ralvek::e2e
