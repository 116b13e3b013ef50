#include "rotation_bench.h"

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "notify_listener.h"
#include "record_count.h"

namespace ralvek::bench {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kSites = 200;           // 127.0.0.10-209
constexpr std::size_t kRecordSize = 120;
constexpr long kPingMs = 10;          // the watchdog ping interval the services are given
constexpr int kUdpBufferKb = 8192;    // tolvin's default udp_buffer_kb, given to the bare receiver too

std::string source(int i) { return "127.0.0." + std::to_string(10 + i); }

std::string fixed(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.*f", decimals, value);
  return text;
}

// "<kind> <source> sent <n> records" lines of a sender's log.
std::map<std::string, std::uint64_t> sent_per_source(const std::string& log) {
  std::map<std::string, std::uint64_t> sent;
  std::istringstream in(read_file(log));
  for (std::string kind, from, word, n, unit; in >> kind >> from >> word >> n >> unit;) {
    if (word == "sent") sent[from] = std::strtoull(n.c_str(), nullptr, 10);
  }
  return sent;
}

std::size_t dat_files_of(const std::string& dir, const std::string& prefix) {
  std::size_t n = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    auto name = entry.path().filename().string();
    n += name.rfind(prefix, 0) == 0 && entry.path().extension() == ".dat";
  }
  return n;
}

// A service in its service mode (pinging `notify`), in `home`, with the timers `scale` times
// faster.
std::unique_ptr<Child> start_service(const std::string& program, const std::string& home,
                                     const NotifyListener& notify, int scale) {
  // The loop pings every watchdog / 2 / scale.
  auto env = notify.service_env(kPingMs * 1000 * 2 * scale);
  env["RALVEK_HOME"] = home;
  env["RALVEK_EVENT_LOG"] = home + "/events.jsonl";
  env["RALVEK_SYSTEMD_DIR"] = home + "/units";
  env["RALVEK_TIME_SCALE"] = std::to_string(scale);
  return std::make_unique<Child>(std::vector<std::string>{program}, env, home + "/service.log");
}

struct RotationRun {
  std::uint64_t sent = 0, lost = 0;
  long drops = 0;
  double stall_ms = 0;
  double connect_stall_ms = 0;  // quendor: while its 200 connections are made
  std::size_t rotations = 0;
  std::string failure;
};

// ---- 8: tolvin, 200 UDP sites ----

// One run of 200 UDP sites into tolvin or, with `bare`, into the bare recvmmsg receiver writing
// to the same disk (no rotation): what the machine itself loses at that rate.
RotationRun udp_rotation(const Context& c, double rate, int rep, bool bare) {
  RunDir dir(c, std::string("rotation-udp-") + (bare ? "bare-" : "") + fixed(rate, 0) + "-" + std::to_string(rep),
             /*on_disk=*/true);
  RotationRun run;
  int port = free_ports(1);
  std::string home = dir / "home";
  std::string data = home + "/data";
  std::filesystem::create_directories(data);
  NotifyListener notify(dir / "notify");
  std::unique_ptr<Child> receiver;
  if (bare) {
    receiver = std::make_unique<Child>(
        std::vector<std::string>{c.programs.peer, "udp-recv", "127.0.0.1:" + std::to_string(port), data,
                                 std::to_string(kUdpBufferKb)},
        std::map<std::string, std::string>{}, dir / "bare.log");
  } else {
    std::ofstream ini(home + "/tolvin.ini");
    ini << "[tolvin]\nlocal_port=" << port << "\nfile_interval=1\ndisconnect_interval=0\nappend_return=0\n";
    for (int i = 0; i < kSites; ++i) ini << source(i) << ",udp=" << i + 1 << "\n";
    ini.close();
    // file_interval=1 rotates every second tick; at time scale 2 that is once a second.
    receiver = start_service(c.programs.tolvin, home, notify, 2);
  }
  if (!wait_until([&] { return (udp_bound(port) && (bare || notify.ready())) || receiver->wait(0ms); }, 10s) ||
      !receiver->running()) {
    run.failure = "receiver did not start";
    return run;
  }
  double seconds = std::max(10.0, 2 * c.seconds);
  auto start = Clock::now();
  Child sender({c.programs.peer, "udp-sites", "127.0.0.1:" + std::to_string(port), "10", std::to_string(kSites),
                fixed(rate, 0), fixed(seconds, 1)},
               {}, dir / "sender.log");
  if (!sender.wait(std::chrono::seconds(static_cast<long>(seconds) + 30)) || sender.status() != 0) {
    run.failure = "sender failed";
  }
  auto end = Clock::now();
  wait_until([&] { return udp_queued(port) == 0; }, 5s);
  run.drops = udp_drops(port);
  run.stall_ms = notify.longest_gap_ms(start, end);
  receiver->signal(SIGTERM);
  if (!receiver->wait(120s) || receiver->status() != 0) run.failure = "receiver did not stop cleanly";
  auto sent = sent_per_source(sender.log_path());
  RecordCount count = count_records(data, bare ? ".raw" : ".dat", sent, kRecordSize);
  run.sent = count.expected;
  run.lost = count.missing;
  run.rotations = dat_files_of(data, "1_");
  if (count.doubled + count.broken + count.out_of_order + count.unexpected > 0 && run.failure.empty()) {
    run.failure = count.summary();
  }
  c.note(std::string(bare ? "bare " : "tolvin ") + short_number(rate) + "/s: " + count.summary() +
         ", socket drops " + std::to_string(run.drops) +
         (bare ? "" : ", site 1 files " + std::to_string(run.rotations) + ", longest gap between pings " +
                          fixed(run.stall_ms, 1) + " ms"));
  return run;
}

// ---- 9: quendor, 200 exchanges ----

RotationRun quendor_rotation(const Context& c, int rep) {
  RunDir dir(c, "rotation-quendor-" + std::to_string(rep), /*on_disk=*/true);
  RotationRun run;
  int port = free_ports(1);
  std::vector<std::unique_ptr<Child>> exchanges;
  std::string home = dir / "home";
  std::filesystem::create_directories(home);
  std::ofstream ini(home + "/quendor.ini");
  // file_interval=60 at time scale 60: a rotation a second, and the first connections after one.
  ini << "[TCP Service]\nfile_interval=60\n";
  for (int i = 0; i < kSites; ++i) {
    std::string at = source(i) + ":" + std::to_string(port);
    exchanges.push_back(std::make_unique<Child>(
        std::vector<std::string>{c.programs.pbxsim, "exchange", "--listen", at, "--rate", "25", "--commands",
                                 "/dev/null"},
        std::map<std::string, std::string>{}, dir / ("exchange-" + std::to_string(i) + ".log")));
    ini << i + 1 << "=" << at << "\n";
  }
  ini.close();
  if (!wait_until([&] { return tcp_listening(port); }, 20s)) {
    run.failure = "exchanges did not listen";
    return run;
  }
  std::this_thread::sleep_for(500ms);  // every one of them
  NotifyListener notify(dir / "notify");
  auto quendor = start_service(c.programs.quendor, home, notify, 60);
  std::string data = home + "/data";
  wait_until([&] { return bytes_in(data) > 0 || quendor->wait(0ms); }, 20s);
  auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<long>(std::max(10.0, 2 * c.seconds) * 1000)));
  auto end = Clock::now();
  // The first second is the connect phase (200 connects, their events); rotations come after.
  run.connect_stall_ms = notify.longest_gap_ms(start - 1s, start + 1s);
  run.stall_ms = notify.longest_gap_ms(start + 1s, end);
  std::map<std::string, std::uint64_t> sent;
  for (auto& e : exchanges) e->signal(SIGTERM);
  for (int i = 0; i < kSites; ++i) {
    if (!exchanges[i]->wait(20s)) run.failure = "exchange did not end";
    std::istringstream in(read_file(exchanges[i]->log_path()));
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("last ", 0) == 0) sent[source(i)] = std::strtoull(line.c_str() + 5, nullptr, 10);
    }
  }
  std::this_thread::sleep_for(2s);  // what was sent before the end reaches the files
  quendor->signal(SIGTERM);
  if (!quendor->wait(120s) || quendor->status() != 0) run.failure = "quendor did not stop cleanly";
  RecordCount count = count_records(data, ".dat", sent, kRecordSize);
  run.sent = count.expected;
  run.lost = count.missing;
  run.rotations = dat_files_of(data, "1_");
  if (!count.perfect() && run.failure.empty()) run.failure = count.summary();
  c.note("quendor: " + count.summary() + ", exchange 1 files " + std::to_string(run.rotations) +
         ", longest gap between pings " + fixed(run.stall_ms, 1) + " ms, in the connect phase " +
         fixed(run.connect_stall_ms, 1) + " ms");
  return run;
}

}  // namespace

void bench_tolvin_rotation(Context& c) {
  c.note("8: tolvin, 200 UDP sites, a rotation a second, data folder on the disk");
  for (double rate : {5000.0, 25000.0}) {
    std::uint64_t worst = 0, worst_bare = 0, sent = 0;
    long drops = 0;
    double stall = 0;
    std::size_t rotations = 0;
    std::string failure;
    for (int rep = 0; rep < c.runs; ++rep) {
      RotationRun r = udp_rotation(c, rate, rep, false);
      RotationRun b = udp_rotation(c, rate, rep, true);
      if (!r.failure.empty()) failure = r.failure;
      worst = std::max(worst, r.lost);
      worst_bare = std::max(worst_bare, b.lost);
      sent += r.sent;
      drops = std::max(drops, r.drops);
      stall = std::max(stall, r.stall_ms);
      rotations = std::max(rotations, r.rotations);
    }
    std::string what = "8 tolvin UDP across rotations, 200 sites, on disk, " + short_number(rate) + " records/s";
    c.rows.push_back({what, "records lost", std::to_string(worst), std::to_string(worst_bare), "-", "0 in every run",
                      verdict(worst == 0, failure)});
    c.rows.push_back({"8   longest loop stall (gap between " + std::to_string(kPingMs) + " ms pings)", "ms",
                      fixed(stall, 1), "-", "-", "< 50 ms", verdict(stall < 50, "")});
    c.notes.push_back("8 at " + short_number(rate) + "/s: " + short_number(static_cast<double>(sent)) +
                      " records in " + std::to_string(c.runs) + " runs, up to " + std::to_string(rotations) +
                      " files a site (one a rotation), socket drops up to " + std::to_string(drops) +
                      "; peer: the bare recvmmsg receiver on the same disk without rotations (worst run).");
  }
}

void bench_quendor_rotation(Context& c) {
  c.note("9: quendor, 200 exchanges at 25 records/s each, a rotation a second, data folder on the disk");
  double stall = 0, connect_stall = 0;
  std::string failure;
  std::size_t rotations = 0;
  for (int rep = 0; rep < c.runs; ++rep) {
    RotationRun r = quendor_rotation(c, rep);
    if (!r.failure.empty()) failure = r.failure;
    stall = std::max(stall, r.stall_ms);
    connect_stall = std::max(connect_stall, r.connect_stall_ms);
    rotations = std::max(rotations, r.rotations);
  }
  c.rows.push_back({"9 quendor across rotations, 200 exchanges, on disk: longest loop stall", "ms", fixed(stall, 1),
                    "-", "-", "< 50 ms", verdict(stall < 50, failure)});
  c.rows.push_back({"9   the same in the connect phase (the first second, no rotation)", "ms", fixed(connect_stall, 1),
                    "-", "-", "-", ""});
  c.notes.push_back("9: up to " + std::to_string(rotations) + " files an exchange (one a rotation); every record " +
                    (failure.empty() ? "intact." : "checked: " + failure));
}

}  // namespace ralvek::bench
