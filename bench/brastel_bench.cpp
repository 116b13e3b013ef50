// Files moved per second: brastel's copy pass against `rsync --remove-source-files --fsync`
// (the like-for-like durable peer) and `mv`, for many small files from data/ to another folder
// on the same disk.
//
//   brastel_bench [files=10000] [bytes=2048] [dir=<temporary folder>]
//
// Each contender gets a freshly written data/ folder (written and synced before the clock
// starts) and an empty target folder. After its move, a script checks every byte against a
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

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

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
  bool failed = false;
  for (const auto& c : contenders) {
    if (!c.command.empty() && c.command.rfind("rsync", 0) == 0 && !shell("command -v rsync >/dev/null")) {
      std::printf("%-36s skipped: rsync is not installed\n", c.name);
      continue;
    }
    fill(data, manifest, files, bytes);
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
    double with_check = std::chrono::duration<double>(Clock::now() - started).count();
    std::string fault = ran ? check(data, target, files, bytes) : "failed";
    if (fault.empty() && !verified) fault = "the check script failed";
    std::printf("%-36s %8.0f files/s  %8.0f files/s with the check  (%d files, %.2f s + %.2f s) %s\n", c.name,
                files / move, files / with_check, files, move, with_check - move,
                fault.empty() ? "every byte arrived" : fault.c_str());
    failed = failed || !fault.empty();
  }
  fs::remove_all(root);
  return failed ? 1 : 0;
}
