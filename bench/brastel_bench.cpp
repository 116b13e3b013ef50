// Files moved per second: brastel's copy pass against `mv` and `rsync --remove-source-files`,
// for many small files from data/ to another folder on the same disk.
//
//   brastel_bench [files=10000] [bytes=2048] [dir=<temporary folder>]
//
// Each contender gets a freshly written data/ folder (written and synced before the clock
// starts) and an empty target folder. brastel's pass syncs every copy and the target folder
// before it deletes a local file; `mv` on one file system only renames; rsync copies without
// syncing. Not run by ctest.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "copy_pass.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

void fill(const fs::path& data, int files, int bytes) {
  fs::remove_all(data);
  fs::create_directories(data);
  std::string content(static_cast<size_t>(bytes), 'x');
  for (int i = 0; i < files; ++i) {
    char name[64];
    std::snprintf(name, sizeof(name), "%d_20261207%06d.dat", i % 100, i);
    std::ofstream(data / name, std::ios::binary) << content;
  }
  std::system("sync");
}

size_t count_files(const fs::path& dir) {
  size_t n = 0;
  for (const auto& e : fs::directory_iterator(dir)) n += e.is_regular_file() ? 1 : 0;
  return n;
}

void report(const char* what, int files, Clock::duration took, const fs::path& target) {
  double seconds = std::chrono::duration<double>(took).count();
  std::printf("%-34s %8.0f files/s  (%d files in %.2f s, %zu arrived)\n", what, files / seconds,
              files, seconds, count_files(target));
}

bool shell(const std::string& command) {
  return std::system(command.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  int files = argc > 1 ? std::atoi(argv[1]) : 10000;
  int bytes = argc > 2 ? std::atoi(argv[2]) : 2048;
  fs::path root = argc > 3 ? fs::path(argv[3]) : fs::temp_directory_path() / "brastel-bench";
  fs::path data = root / "data";

  struct Contender {
    const char* name;
    const char* target;
    std::string command;  // empty: brastel's pass in this process
  };
  const Contender contenders[] = {
      {"brastel copy pass (fsync)", "remote-brastel", ""},
      {"mv (rename)", "remote-mv",
       "cd '" + data.string() + "' && mv -- *.dat '" + (root / "remote-mv").string() + "/'"},
      {"rsync --remove-source-files", "remote-rsync",
       "rsync -a --remove-source-files '" + data.string() + "/' '" +
           (root / "remote-rsync").string() + "/'"},
  };
  for (const auto& c : contenders) {
    if (!c.command.empty() && c.command.rfind("rsync", 0) == 0 &&
        !shell("command -v rsync >/dev/null")) {
      std::printf("%-34s skipped: rsync is not installed\n", c.name);
      continue;
    }
    fill(data, files, bytes);
    fs::path target = root / c.target;
    fs::remove_all(target);
    fs::create_directories(target);
    auto started = Clock::now();
    if (c.command.empty()) {
      ralvek::brastel::copy_pass(
          ralvek::brastel::real_file_ops(), {data, "*.dat"}, target, "DAT",
          [](const ralvek::brastel::CopyError& e) { std::fprintf(stderr, "%s\n", e.what()); });
    } else if (!shell(c.command)) {
      std::fprintf(stderr, "%s failed\n", c.name);
    }
    report(c.name, files, Clock::now() - started, target);
  }
  fs::remove_all(root);
  return 0;
}
