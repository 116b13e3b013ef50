#pragma once

#include <memory>
#include <string>
#include <vector>

#include "process.h"
#include "table.h"

// What every benchmark of the runner shares: the programs, the work folder, the settings of the
// run and the result table.
namespace ralvek::bench {

struct Programs {
  std::string tolvin, quendor, serrak, pbxsim, peer, socat, pemrod_bench;
};

struct Context {
  Programs programs;
  std::string work;       // a fresh folder of this run (in memory when possible); a sub-folder each
  std::string disk_work;  // the same on disk, for what must measure the disk
  int runs = 3;          // repetitions of every measurement (medians over them)
  double seconds = 5;    // length of one timed load
  std::vector<Row> rows;
  std::vector<std::string> notes;  // printed under the table

  // A progress line on standard error.
  void note(const std::string& text) const;
};

// A sub-folder of the work folder, removed with everything in it when the object goes.
class RunDir {
 public:
  RunDir(const Context& context, const std::string& name, bool on_disk = false);
  ~RunDir();
  RunDir(const RunDir&) = delete;
  RunDir& operator=(const RunDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The processes of one receiver under test (one, or one per site for socat), stopped together.
struct Receiver {
  std::vector<std::unique_ptr<Child>> processes;
  std::string data_dir;  // where its files are
  std::string suffix;    // of its finished files
  double cpu_seconds = 0;
  bool clean_exit = true;
  // SIGTERM to each, then waits (20 s at most each); sums their CPU seconds.
  void stop();
  pid_t main_pid() const { return processes.empty() ? -1 : processes.front()->pid(); }
};

// tolvin in `home` with `ini_body` after "[tolvin]\nlocal_port=<port>\n", started with --debug,
// returned once its TCP port listens and its UDP port is bound (or it ended).
Receiver start_tolvin(const Context& context, const std::string& home, int port,
                      const std::string& ini_body);

// Text of a benchmark's verdict: "met"/"MISSED" for a goal, or the reason a run failed.
std::string verdict(bool goal_met, const std::string& failure);

}  // namespace ralvek::bench
