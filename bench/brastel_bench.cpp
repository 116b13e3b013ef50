// Files moved per second: brastel's copy pass against `rsync --remove-source-files --fsync`
// (the like-for-like durable peer) and `mv`, for many small files from data/ to another folder
// on the same disk.
//
//   brastel_bench [files=10000] [bytes=2048] [dir=<temporary folder>] [rsync-first]
//
// Each contender gets a freshly written data/ folder (written and synced before the clock
// starts) and an empty target folder, removed again after its check. The files go in four
// rounds, brastel and rsync taking turns (brastel first unless `rsync-first` is given; the runner
// alternates that between its runs). After its move, a script checks every byte against a
// manifest made before the move (`sha256sum -c`); the second figure of a line is the move and
// that check together, as a user who verifies would run it. Then this program compares every
// file with what was written, untimed: a contender that lost, left or changed a byte fails.
// Not run by ctest; bench/runner runs it.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "copy_pass.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::string name_of(int i) {
  char name[64];
  std::snprintf(name, sizeof(name), "%d_20261207%06d.dat", i % 100, i);
  return name;
}

// Every file has its own bytes, so a file that arrives under another's name is caught.
std::string content_of(int i, int bytes) {
  std::string content = name_of(i) + "\r\n";
  for (std::size_t k = content.size(); k < static_cast<std::size_t>(bytes); ++k) {
    content.push_back(static_cast<char>('!' + (k * 7 + static_cast<std::size_t>(i)) % 90));
  }
  content.resize(static_cast<std::size_t>(bytes));
  return content;
}

bool shell(const std::string& command) { return std::system(command.c_str()) == 0; }

std::string quoted(const fs::path& path) { return std::string(1, '\'').append(path.string()).append(1, '\''); }

void fill(const fs::path& data, const fs::path& manifest, int files, int bytes) {
  fs::remove_all(data);
  fs::create_directories(data);
  for (int i = 0; i < files; ++i) std::ofstream(data / name_of(i), std::ios::binary) << content_of(i, bytes);
  shell("cd " + quoted(data) + " && find . -name '*.dat' -exec sha256sum {} + > " + quoted(manifest));
  shell("sync");
}

// What is wrong with the result, or "" when every file arrived whole and none is left.
std::string check(const fs::path& data, const fs::path& target, int files, int bytes) {
  std::size_t left = 0, arrived = 0;
  for (const auto& e : fs::directory_iterator(data)) left += e.is_regular_file() ? 1 : 0;
  for (const auto& e : fs::directory_iterator(target)) arrived += e.is_regular_file() ? 1 : 0;
  if (left != 0 || arrived != static_cast<std::size_t>(files)) {
    return std::to_string(arrived) + " arrived, " + std::to_string(left) + " left";
  }
  for (int i = 0; i < files; ++i) {
    std::ifstream in(target / name_of(i), std::ios::binary);
    std::string got{std::istreambuf_iterator<char>(in), {}};
    if (got != content_of(i, bytes)) return "changed bytes in " + name_of(i);
  }
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  int files = argc > 1 ? std::atoi(argv[1]) : 10000;
  int bytes = argc > 2 ? std::atoi(argv[2]) : 2048;
  fs::path root = argc > 3 ? fs::path(argv[3]) : fs::temp_directory_path() / "brastel-bench";
  bool rsync_first = argc > 4 && std::string(argv[4]) == "rsync-first";
  fs::path data = root / "data", manifest = root / "manifest.sha256";

  struct Contender {
    const char* name;
    const char* target;
    std::string command;  // empty: brastel's pass in this process
  };
  const Contender contenders[] = {
      {"brastel copy pass", "remote-brastel", ""},
      {"rsync --remove-source-files --fsync", "remote-rsync",
       "rsync -a --remove-source-files --fsync " + quoted(data / "") + " " + quoted(root / "remote-rsync" / "")},
      {"mv", "remote-mv", "cd " + quoted(data) + " && find . -name '*.dat' -exec mv -t " + quoted(root / "remote-mv") + " {} +"},
  };
  bool have_rsync = shell("command -v rsync >/dev/null");
  // The disk's speed drifts by tens of percent within seconds on a shared machine: the files go
  // in rounds, brastel and rsync taking turns in ABBA order, and each contender's times add up.
  constexpr int kRounds = 4;
  int per_round = files / kRounds;
  struct Total {
    double move = 0, check = 0;
    std::string fault;
  };
  Total totals[3];
  for (int round = 0; round < kRounds; ++round) {
    bool swap = (round % 2 == 1) != rsync_first;
    for (int k : {swap ? 1 : 0, swap ? 0 : 1, 2}) {
      const Contender& c = contenders[k];
      if (k == 1 && !have_rsync) continue;
      fill(data, manifest, per_round, bytes);
      fs::path target = root / c.target;
      fs::remove_all(target);
      fs::create_directories(target);
      auto started = Clock::now();
      bool ran = true;
      if (c.command.empty()) {
        ralvek::brastel::copy_pass(ralvek::brastel::real_file_ops(), {data, "*.dat"}, target, "DAT",
                                   [&](const ralvek::brastel::CopyError& e) {
                                     std::fprintf(stderr, "%s\n", e.what());
                                     ran = false;
                                   });
      } else {
        ran = shell(c.command);
      }
      double move = std::chrono::duration<double>(Clock::now() - started).count();
      bool verified = shell("cd " + quoted(target) + " && sha256sum --quiet --strict -c " + quoted(manifest));
      totals[k].move += move;
      totals[k].check += std::chrono::duration<double>(Clock::now() - started).count() - move;
      std::string fault = ran ? check(data, target, per_round, bytes) : "failed";
      if (fault.empty() && !verified) fault = "the check script failed";
      if (totals[k].fault.empty()) totals[k].fault = fault;
      fs::remove_all(target);
    }
  }
  bool failed = false;
  for (int k = 0; k < 3; ++k) {
    const Total& t = totals[k];
    if (k == 1 && !have_rsync) {
      std::printf("%-36s skipped: rsync is not installed\n", contenders[k].name);
      continue;
    }
    int moved = per_round * kRounds;
    std::printf("%-36s %8.0f files/s  %8.0f files/s with the check  (%d files, %.2f s + %.2f s) %s\n",
                contenders[k].name, moved / t.move, moved / (t.move + t.check), moved, t.move, t.check,
                t.fault.empty() ? "every byte arrived" : t.fault.c_str());
    failed = failed || !t.fault.empty();
  }
  fs::remove_all(root);
  return failed ? 1 : 0;
}
