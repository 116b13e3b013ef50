#pragma once

// Helpers for end-to-end tests that start the built programs as processes.

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ralvek::e2e {

using namespace std::chrono_literals;

// A fresh directory under the temporary folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// A started program. Its standard output and error go to files beside it. The destructor
// kills a program that is still running.
class Process {
 public:
  Process(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
          const std::filesystem::path& output_dir);
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  int pid() const { return pid_; }
  void signal(int signal_number);
  // The exit status once the program has ended within `timeout` (128 + signal when killed).
  std::optional<int> wait(std::chrono::milliseconds timeout = 10s);
  bool running();
  std::string out() const;
  std::string err() const;

 private:
  int pid_ = -1;
  std::optional<int> status_;
  std::filesystem::path out_, err_;
};

// Runs a program to its end (at most `timeout`) and returns its exit status.
int run(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env = {},
        std::chrono::milliseconds timeout = 30s);

// One line of the $RALVEK_EVENT_LOG file.
struct Event {
  std::string source;
  int type = -1;
  long id = -1;
  std::string text;
};
std::vector<Event> read_events(const std::filesystem::path& file);
// Events whose text equals `text` exactly.
std::vector<Event> events_with_text(const std::filesystem::path& file, const std::string& text);
bool has_event(const std::filesystem::path& file, int type, long id, const std::string& text);

// Polls every 10 ms until `done` holds or `timeout` passes; returns the last result.
bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds timeout = 10s);

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& content);
// Names of the regular files in `dir` whose extension (without the dot) is `ext`, sorted.
std::vector<std::string> files_with_ext(const std::filesystem::path& dir, const std::string& ext);

// A TCP and UDP port on 127.0.0.1 that was free a moment ago.
int free_port();

}  // namespace ralvek::e2e
