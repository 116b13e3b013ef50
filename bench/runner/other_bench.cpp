#include "other_bench.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "receivers.h"
#include "record_count.h"

namespace ralvek::bench {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kExchanges = 50;
constexpr std::size_t kRecordSize = 120;

std::string fixed(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.*f", decimals, value);
  return text;
}

// Waits until the files in `dir` hold `bytes` or stop growing for a second (10 s at most).
void wait_for_bytes(const std::string& dir, std::uintmax_t bytes) {
  std::uintmax_t last = 0;
  auto last_change = Clock::now();
  wait_until(
      [&] {
        std::uintmax_t now = bytes_in(dir);
        if (now != last) last = now, last_change = Clock::now();
        return now >= bytes || Clock::now() - last_change > 1s;
      },
      10s);
}

std::uint64_t last_record(const std::string& exchange_log) {
  std::istringstream in(read_file(exchange_log));
  std::uint64_t last = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("last ", 0) == 0) last = std::strtoull(line.c_str() + 5, nullptr, 10);
  }
  return last;
}

struct Flow {
  double mb_s = 0, cpu_s = 0;
  std::string failure;
};

// One run of 50 exchanges and one collector (quendor or the bare client).
Flow exchanges_to(const Context& c, bool quendor, int rep) {
  RunDir dir(c, std::string("quendor-") + (quendor ? "quendor" : "bare") + "-" + std::to_string(rep));
  int port = free_ports(1);
  std::vector<std::unique_ptr<Child>> exchanges;
  std::string ini = "[TCP Service]\nfile_interval=3600\n", endpoints;
  for (int i = 0; i < kExchanges; ++i) {
    std::string at = "127.0.0." + std::to_string(110 + i) + ":" + std::to_string(port);
    exchanges.push_back(std::make_unique<Child>(
        std::vector<std::string>{c.programs.pbxsim, "exchange", "--listen", at, "--rate", "0",
                                 "--commands", "/dev/null"},
        std::map<std::string, std::string>{}, dir / ("exchange-" + std::to_string(i) + ".log")));
    ini += std::to_string(i + 1) + "=" + at + "\n";
    endpoints += (i ? "," : "") + at;
  }
  Flow flow;
  if (!wait_until([&] { return tcp_listening(port); }, 10s)) {
    flow.failure = "exchanges did not listen";
    return flow;
  }
  std::this_thread::sleep_for(200ms);  // every one of them
  Receiver r;
  std::string home = dir / "home";
  std::filesystem::create_directories(home);
  if (quendor) {
    std::ofstream(home + "/quendor.ini") << ini;
    r.data_dir = home + "/data";
    r.suffix = ".dat";
    r.processes.push_back(std::make_unique<Child>(
        std::vector<std::string>{c.programs.quendor, "--debug"},
        // Its first connection comes at the first tick of its one-minute timer: a second here.
        std::map<std::string, std::string>{{"RALVEK_HOME", home},
                                           {"RALVEK_EVENT_LOG", home + "/events.jsonl"},
                                           {"RALVEK_SYSTEMD_DIR", home + "/units"},
                                           {"RALVEK_TIME_SCALE", "60"}},
        dir / "quendor.log"));
  } else {
    r.data_dir = home;
    r.suffix = ".raw";
    r.processes.push_back(std::make_unique<Child>(
        std::vector<std::string>{c.programs.peer, "tcp-client", endpoints, home},
        std::map<std::string, std::string>{}, dir / "bare.log"));
  }
  // The clock starts with the first bytes: connecting is not part of the flow.
  wait_until([&] { return bytes_in(r.data_dir) > 0; }, 10s);
  auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<long>(c.seconds * 1000)));
  std::map<std::string, std::uint64_t> sent;
  for (auto& e : exchanges) e->signal(SIGTERM);
  std::uintmax_t expected = 0;
  for (int i = 0; i < kExchanges; ++i) {
    if (!exchanges[i]->wait(20s)) flow.failure = "exchange did not end";
    std::uint64_t last = last_record(exchanges[i]->log_path());
    sent["127.0.0." + std::to_string(110 + i)] = last;
    expected += last * kRecordSize;
  }
  if (expected == 0 && flow.failure.empty()) flow.failure = "no exchange sent anything";
  wait_for_bytes(r.data_dir, expected);
  double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  r.stop();
  flow.cpu_s = r.cpu_seconds;
  RecordCount count = count_records(r.data_dir, r.suffix, sent, kRecordSize);
  if (!count.perfect() && flow.failure.empty()) flow.failure = count.summary();
  flow.mb_s = static_cast<double>(count.found) * kRecordSize / 1e6 / elapsed;
  c.note(std::string(quendor ? "quendor" : "bare client") + ": " + fixed(flow.mb_s, 1) + " MB/s, " +
         fixed(flow.cpu_s, 2) + " CPU s, " + count.summary());
  return flow;
}

constexpr int kSerialLines = 100000;

// One run of pbxsim writing numbered lines (ending in CR) into a pseudo-terminal, read by serrak
// or by `cat <terminal> > file`. The rate (in `mb_s`, here lines a second) is taken from the
// first to the last byte in the receiver's files.
Flow serial_lines(const Context& c, bool serrak, int rep) {
  RunDir dir(c, std::string("serrak-") + (serrak ? "serrak" : "cat") + "-" + std::to_string(rep));
  Flow flow;
  Child line({c.programs.pbxsim, "serial", "--count", std::to_string(kSerialLines), "--size", "120",
              "--ending", "cr", "--delay", "1500", "--linger", "3000"},
             {}, dir / "line.log");
  std::string device;
  wait_until(
      [&] {
        std::istringstream in(read_file(line.log_path()));
        for (std::string l; std::getline(in, l);) {
          if (l.rfind("/dev/", 0) == 0) device = l;
        }
        return !device.empty() || line.wait(0ms);
      },
      5s);
  if (device.empty()) {
    flow.failure = "pbxsim serial gave no terminal";
    return flow;
  }
  Receiver r;
  std::string home = dir / "home";
  std::filesystem::create_directories(home);
  std::uintmax_t expected = 0;
  if (serrak) {
    std::ofstream(home + "/serrak.ini") << "[COM Service]\nsiteid=12\ncom_device=" << device
                                        << "\ncom_interval=600\n";
    r.data_dir = home + "/data";
    r.suffix = ".dat";
    expected = static_cast<std::uintmax_t>(kSerialLines) * 120;  // each CR written as CR LF
    r.processes.push_back(std::make_unique<Child>(
        std::vector<std::string>{c.programs.serrak, "--debug"},
        std::map<std::string, std::string>{{"RALVEK_HOME", home},
                                           {"RALVEK_EVENT_LOG", home + "/events.jsonl"},
                                           {"RALVEK_SYSTEMD_DIR", home + "/units"}},
        dir / "serrak.log"));
  } else {
    r.data_dir = home;
    r.suffix = ".raw";
    expected = static_cast<std::uintmax_t>(kSerialLines) * 119;
    r.processes.push_back(std::make_unique<Child>(std::vector<std::string>{"/bin/cat", device},
                                                  std::map<std::string, std::string>{}, home + "/line.raw"));
  }
  Clock::time_point first{}, last{};
  std::filesystem::create_directories(r.data_dir);
  wait_until(
      [&] {
        std::uintmax_t now = bytes_in(r.data_dir);
        if (now > 0 && first == Clock::time_point{}) first = Clock::now();
        if (now >= expected) last = Clock::now();
        return now >= expected || line.wait(0ms);
      },
      60s);
  r.stop();
  line.wait(10s);
  if (last == Clock::time_point{}) {
    flow.failure = std::string(serrak ? "serrak" : "cat") + " did not receive every line";
  }
  RecordCount count =
      count_records(r.data_dir, r.suffix, {{"serial1", kSerialLines}}, 120, serrak ? "\r\n" : "\r");
  if (!count.perfect() && flow.failure.empty()) flow.failure = count.summary();
  double seconds = std::chrono::duration<double>(last - first).count();
  flow.mb_s = seconds > 0 ? static_cast<double>(count.found) / seconds : 0;
  flow.cpu_s = r.cpu_seconds;
  c.note(std::string(serrak ? "serrak" : "cat") + ": " + short_number(flow.mb_s) + " lines/s, " + count.summary());
  return flow;
}

constexpr int kMoveFiles = 10000;

}  // namespace

void bench_quendor(Context& c) {
  c.note("4: quendor, 50 exchanges sending as fast as they can, quendor / bare client alternated");
  std::vector<double> mb[2], cpu_per_gb[2];
  std::string failure;
  for (int rep = 0; rep < c.runs; ++rep) {
    for (bool quendor : {true, false}) {
      Flow f = exchanges_to(c, quendor, rep);
      if (!f.failure.empty()) failure = f.failure;
      mb[quendor ? 0 : 1].push_back(f.mb_s);
      cpu_per_gb[quendor ? 0 : 1].push_back(f.mb_s > 0 ? f.cpu_s / (f.mb_s * c.seconds / 1000) : 0);
    }
  }
  c.rows.push_back({"4 quendor, 50 exchanges, vs bare epoll client", "MB/s", short_number(median(mb[0])),
                    short_number(median(mb[1])), fixed(median(ratios(mb[0], mb[1])), 2), "",
                    failure.empty() ? "records intact" : failure});
  c.rows.push_back({"4   collector CPU per GB written", "CPU s/GB", fixed(median(cpu_per_gb[0]), 2),
                    fixed(median(cpu_per_gb[1]), 2), fixed(median(ratios(cpu_per_gb[0], cpu_per_gb[1])), 2),
                    "", ""});
}

void bench_pemrod(Context& c) {
  c.note("7: pemrod Log entries a second (its micro-benchmark)");
  RunDir dir(c, "pemrod");
  Child run({c.programs.pemrod_bench, "--benchmark_filter=^BM_Log/", "--benchmark_format=csv",
             "--benchmark_repetitions=" + std::to_string(c.runs), "--benchmark_report_aggregates_only=true"},
            {{"TMPDIR", dir.path()}}, dir / "pemrod.csv");
  std::string failure;
  if (!run.wait(120s) || run.status() != 0) failure = "pemrod_bench failed";
  // CSV: name,iterations,real_time,cpu_time,time_unit,bytes_per_second,items_per_second,...
  double plain = 0, rolling = 0, plain_wall = 0;
  std::istringstream in(read_file(run.log_path()));
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> f;
    std::stringstream cells(line);
    for (std::string cell; std::getline(cells, cell, ',');) f.push_back(cell);
    if (f.size() < 7) continue;
    // With one repetition there is no median line, only the run itself.
    if (f[0] == "\"BM_Log/0_median\"" || (c.runs == 1 && f[0] == "\"BM_Log/0\"")) {
      plain = std::atof(f[6].c_str());
      plain_wall = 1e9 / std::atof(f[2].c_str());
    }
    if (f[0] == "\"BM_Log/1024_median\"" || (c.runs == 1 && f[0] == "\"BM_Log/1024\"")) {
      rolling = std::atof(f[6].c_str());
    }
  }
  if (plain == 0 && failure.empty()) failure = "no result";
  c.rows.push_back({"7 pemrod Log, two-line entry, no rollover", "entries/s", short_number(plain), "-", "-",
                    ">= 100k/s", verdict(plain >= 100000, failure)});
  c.rows.push_back({"7   the same in wall-clock time (this machine's load counts)", "entries/s",
                    short_number(plain_wall), "-", "-", "", ""});
  c.rows.push_back({"7 pemrod Log, rollover at 1 MiB (vs none)", "entries/s", short_number(rolling),
                    short_number(plain), plain > 0 ? fixed(rolling / plain, 2) : "-", "", ""});
}

void bench_serrak(Context& c) {
  c.note("5: serrak, " + std::to_string(kSerialLines) + " lines through a pseudo-terminal, serrak / cat alternated");
  std::vector<double> lines[2];
  std::string failure;
  for (int rep = 0; rep < c.runs; ++rep) {
    for (bool serrak : {true, false}) {
      Flow f = serial_lines(c, serrak, rep);
      if (!f.failure.empty()) failure = f.failure;
      lines[serrak ? 0 : 1].push_back(f.mb_s);
    }
  }
  c.rows.push_back({"5 serrak lines through a pseudo-terminal, vs cat", "lines/s", short_number(median(lines[0])),
                    short_number(median(lines[1])), fixed(median(ratios(lines[0], lines[1])), 2), "",
                    failure.empty() ? "records intact" : failure});
}

void bench_brastel(Context& c, const std::string& program) {
  if (program.empty() || ::access(program.c_str(), X_OK) != 0) {
    c.rows.push_back({"6 brastel: bench/brastel_bench not built", "", "-", "-", "-", ">= 1.00x rsync", "n/a"});
    return;
  }
  c.note("6: " + std::to_string(kMoveFiles) + " files of 2 KiB moved on one disk by bench/brastel_bench: brastel, "
         "rsync --fsync and mv in turn, each checked byte by byte");
  // Its lines: "<contender>  <n> files/s  <m> files/s with the check  (...) <verdict>".
  std::map<std::string, std::vector<double>> moved, checked;
  std::string failure;
  for (int rep = 0; rep < c.runs; ++rep) {
    RunDir dir(c, "brastel-" + std::to_string(rep), true);
    std::vector<std::string> args{program, std::to_string(kMoveFiles), "2048", dir / "root"};
    if (rep % 2 == 1) args.push_back("rsync-first");  // A and B alternated
    Child run(args, {}, dir / "brastel.out");
    if (!run.wait(240s) || run.status() != 0) failure = "brastel_bench failed";
    std::istringstream in(read_file(run.log_path()));
    for (std::string line; std::getline(in, line);) {
      auto unit = line.find(" files/s");
      if (unit == std::string::npos) continue;
      auto number = line.find_last_of(' ', unit - 1);
      std::string name = line.substr(0, number);
      name.erase(name.find_last_not_of(' ') + 1);
      moved[name].push_back(std::atof(line.c_str() + number + 1));
      checked[name].push_back(std::atof(line.c_str() + unit + 8));
      if (line.find("every byte arrived") == std::string::npos) failure = name + ": " + line.substr(line.rfind(')') + 2);
      c.note(line);
    }
  }
  auto find = [](const std::map<std::string, std::vector<double>>& rates, const std::string& prefix) {
    for (const auto& [name, values] : rates) {
      if (name.rfind(prefix, 0) == 0) return values;
    }
    return std::vector<double>{};
  };
  auto brastel = find(moved, "brastel"), rsync = find(moved, "rsync"), mv = find(moved, "mv");
  if (brastel.empty() && failure.empty()) failure = "no result";
  std::string what = "6 brastel move, " + std::to_string(kMoveFiles / 1000) + "k x 2 KiB, vs ";
  double vs_rsync = median(ratios(brastel, rsync));
  c.rows.push_back({what + "rsync --remove-source-files --fsync", "files/s", short_number(median(brastel)),
                    rsync.empty() ? "-" : short_number(median(rsync)), rsync.empty() ? "-" : fixed(vs_rsync, 2),
                    ">= 1.00x", rsync.empty() ? "n/a (rsync not installed)" : verdict(vs_rsync >= 1.0, failure)});
  auto brastel_checked = find(checked, "brastel"), rsync_checked = find(checked, "rsync");
  c.rows.push_back({"6   the same, each followed by a script checking every byte", "files/s",
                    short_number(median(brastel_checked)), rsync.empty() ? "-" : short_number(median(rsync_checked)),
                    rsync.empty() ? "-" : fixed(median(ratios(brastel_checked, rsync_checked)), 2), "", ""});
  c.rows.push_back({what + "mv (a rename, not durable)", "files/s", short_number(median(brastel)),
                    short_number(median(mv)), fixed(median(ratios(brastel, mv)), 2), "", ""});
}

}  // namespace ralvek::bench
