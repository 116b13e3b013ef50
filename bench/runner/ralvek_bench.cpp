// ralvek_bench: runs every benchmark of the suite on this machine and prints one table
// (bench/README.md says how to read it).
#include <sys/resource.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include "bench_context.h"
#include "buffer_setting.h"
#include "other_bench.h"
#include "rotation_bench.h"
#include "tolvin_bench.h"

namespace {

using namespace ralvek::bench;

const char* const kAll[] = {"tcp",    "udp",    "sites",   "quendor", "serrak",
                            "pemrod", "brastel", "rotation", "quendor-rotation"};

int usage() {
  std::fprintf(stderr,
               "usage: ralvek_bench [--only tcp,udp,sites,quendor,serrak,pemrod,brastel,rotation,quendor-rotation]\n"
               "                    [--runs 3] [--seconds 5] [--work <folder>]\n");
  return 2;
}

std::string on_path(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream in(path ? path : "");
  for (std::string dir; std::getline(in, dir, ':');) {
    std::string candidate = dir + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

std::string built(const char* path) { return ::access(path, X_OK) == 0 ? path : ""; }

std::string machine_line() {
  utsname u{};
  uname(&u);
  std::string model;
  std::stringstream cpuinfo(read_file("/proc/cpuinfo"));
  for (std::string line; std::getline(cpuinfo, line);) {
    if (line.rfind("model name", 0) == 0) {
      model = line.substr(line.find(':') + 2);
      break;
    }
  }
  long mem_kib = 0;
  std::stringstream meminfo(read_file("/proc/meminfo"));
  for (std::string line; std::getline(meminfo, line);) {
    if (line.rfind("MemTotal:", 0) == 0) mem_kib = std::strtol(line.c_str() + 9, nullptr, 10);
  }
  return "machine: " + std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + " cores (" + model + "), " +
         std::to_string(mem_kib / 1024 / 1024) + " GiB, kernel " + u.release + ", load " +
         read_file("/proc/loadavg").substr(0, 14);
}

std::string make_folder(const std::string& in) {
  std::string templ = in + "/ralvek_bench_XXXXXX";
  return mkdtemp(templ.data()) ? templ : "";
}

void on_stop_signal(int) {
  BufferSetting::restore_now();
  kill_all_children();
  _exit(130);
}

}  // namespace

int main(int argc, char** argv) {
  Context c;
  std::set<std::string> only(std::begin(kAll), std::end(kAll));
  std::string work;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (i + 1 >= argc) return usage();
    std::string value = argv[++i];
    if (arg == "--only") {
      only.clear();
      std::stringstream in(value);
      for (std::string name; std::getline(in, name, ',');) only.insert(name);
    } else if (arg == "--runs") {
      c.runs = std::max(1, std::atoi(value.c_str()));
    } else if (arg == "--seconds") {
      c.seconds = std::max(1.0, std::atof(value.c_str()));
    } else if (arg == "--work") {
      work = value;
    } else {
      return usage();
    }
  }

  // The services must not think systemd started them, and 999 sites need more than 1024 files.
  unsetenv("INVOCATION_ID");
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }
  std::signal(SIGINT, on_stop_signal);
  std::signal(SIGTERM, on_stop_signal);
  std::signal(SIGPIPE, SIG_IGN);

  c.programs = {built(TOLVIN_EXE), built(QUENDOR_EXE), built(SERRAK_EXE), built(PBXSIM_EXE),
                built(BENCH_PEER_EXE), on_path("socat"), built(PEMROD_BENCH_EXE)};
  // The collectors' files go to memory when /dev/shm is there: what is measured is reception
  // and the write(2) of each block, not how fast this machine's disk takes a gigabyte.
  // brastel's moves are bound by the disk's sync and stay on the disk.
  bool made_work = work.empty();
  std::string disk_work;
  if (made_work) {
    std::string shm = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "";
    std::string disk = std::filesystem::temp_directory_path().string();
    work = make_folder(shm.empty() ? disk : shm);
    disk_work = make_folder(disk);
    if (work.empty() || disk_work.empty()) return std::perror("mkdtemp"), 1;
  } else {
    disk_work = work;
  }
  std::filesystem::create_directories(work);
  c.work = std::filesystem::absolute(work).string();
  c.disk_work = std::filesystem::absolute(disk_work).string();
  if (c.programs.pbxsim.empty() || c.programs.peer.empty()) {
    std::fprintf(stderr, "ralvek_bench: pbxsim and bench_peer must be built first\n");
    return 1;
  }

  auto start = std::chrono::steady_clock::now();
  std::fprintf(stderr, "ralvek_bench: %d runs each, work folders %s and %s\n", c.runs, c.work.c_str(),
               c.disk_work.c_str());
  auto want = [&](const char* name, const std::string& program, void (*bench)(Context&)) {
    if (!only.count(name)) return;
    if (program.empty()) {
      c.rows.push_back({std::string(name) + ": not built", "", "-", "-", "-", "", "n/a"});
      return;
    }
    try {
      bench(c);
    } catch (const std::exception& e) {
      c.rows.push_back({std::string(name) + ": " + e.what(), "", "-", "-", "-", "", "FAILED"});
    }
  };
  want("tcp", c.programs.tolvin, bench_tolvin_tcp);
  want("udp", c.programs.tolvin, bench_tolvin_udp);
  want("sites", c.programs.tolvin, bench_tolvin_sites);
  want("quendor", c.programs.quendor, bench_quendor);
  want("serrak", c.programs.serrak, bench_serrak);
  if (only.count("brastel")) bench_brastel(c, BRASTEL_BENCH);
  want("pemrod", c.programs.pemrod_bench, bench_pemrod);
  want("rotation", c.programs.tolvin, bench_tolvin_rotation);
  want("quendor-rotation", c.programs.quendor, bench_quendor_rotation);
  double minutes = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / 60;

  std::printf("%s\n", machine_line().c_str());
  char took[80];
  std::snprintf(took, sizeof(took), "%d runs each, medians; took %.1f min\n\n", c.runs, minutes);
  std::printf("%s%s", took, format_table(c.rows).c_str());
  for (const auto& note : c.notes) std::printf("%s\n", note.c_str());
  std::error_code ignored;
  if (made_work) {
    std::filesystem::remove_all(c.work, ignored);
    std::filesystem::remove_all(c.disk_work, ignored);
  }
  return 0;
}
