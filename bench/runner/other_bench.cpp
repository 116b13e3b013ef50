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

std::uintmax_t bytes_in(const std::string& dir) {
  std::uintmax_t total = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    if (entry.is_regular_file(ec)) total += entry.file_size(ec);
  }
  return total;
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
  std::string ini = "[TCP Service]\nfile_interval=600\n", endpoints;
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
  auto start = Clock::now();
  if (quendor) {
    std::ofstream(home + "/quendor.ini") << ini;
    r.data_dir = home + "/data";
    r.suffix = ".dat";
    r.processes.push_back(std::make_unique<Child>(
        std::vector<std::string>{c.programs.quendor, "--debug"},
        std::map<std::string, std::string>{{"RALVEK_HOME", home},
                                           {"RALVEK_EVENT_LOG", home + "/events.jsonl"},
                                           {"RALVEK_SYSTEMD_DIR", home + "/units"}},
        dir / "quendor.log"));
  } else {
    r.data_dir = home;
    r.suffix = ".raw";
    r.processes.push_back(std::make_unique<Child>(
        std::vector<std::string>{c.programs.peer, "tcp-client", endpoints, home},
        std::map<std::string, std::string>{}, dir / "bare.log"));
  }
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

// Splits "a|b|c" into its fields.
std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> out;
  std::stringstream in(line);
  for (std::string f; std::getline(in, f, '|');) out.push_back(f);
  return out;
}

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
  double plain = 0, rolling = 0;
  std::istringstream in(read_file(run.log_path()));
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> f;
    std::stringstream cells(line);
    for (std::string cell; std::getline(cells, cell, ',');) f.push_back(cell);
    if (f.size() < 7) continue;
    if (f[0] == "\"BM_Log/0_median\"") plain = std::atof(f[6].c_str());
    if (f[0] == "\"BM_Log/1024_median\"") rolling = std::atof(f[6].c_str());
  }
  if (plain == 0 && failure.empty()) failure = "no result";
  c.rows.push_back({"7 pemrod Log, two-line entry, no rollover", "entries/s", short_number(plain), "-", "-",
                    ">= 100k/s", verdict(plain >= 100000, failure)});
  c.rows.push_back({"7 pemrod Log, rollover at 1 MiB (vs none)", "entries/s", short_number(rolling),
                    short_number(plain), plain > 0 ? fixed(rolling / plain, 2) : "-", "", ""});
}

void bench_serrak(Context& c) {
  c.rows.push_back({"5 serrak lines through a pseudo-terminal", "lines/s", "-", "-", "-", "", "not measured yet"});
}

void bench_brastel(Context& c, const std::string& program) {
  if (program.empty() || ::access(program.c_str(), X_OK) != 0) {
    c.rows.push_back({"6 brastel: bench/brastel_bench not present", "", "-", "-", "-", ">= 1.00x rsync", "n/a"});
    return;
  }
  c.note("6: brastel (bench/brastel_bench, by its engineer)");
  RunDir dir(c, "brastel");
  std::vector<std::string> argv{program};
  if (program.size() > 3 && program.substr(program.size() - 3) == ".sh") argv.insert(argv.begin(), "/bin/bash");
  Child run(argv, {{"TMPDIR", dir.path()}, {"RALVEK_BENCH_RUNS", std::to_string(c.runs)}}, dir / "brastel.out");
  bool ended = run.wait(300s);
  std::istringstream in(read_file(run.log_path()));
  bool any = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("row|", 0) == 0) {
      auto f = fields(line);
      f.resize(8);
      c.rows.push_back({f[1], f[2], f[3], f[4], f[5], f[6], f[7]});
      any = true;
    } else if (!line.empty()) {
      c.notes.push_back("brastel_bench: " + line);
    }
  }
  if (!ended || run.status() != 0 || !any) {
    c.rows.push_back({"6 brastel_bench", "", "-", "-", "-", "",
                      !ended ? "did not end in 300 s" : "exit " + std::to_string(run.status())});
  }
}

}  // namespace ralvek::bench
