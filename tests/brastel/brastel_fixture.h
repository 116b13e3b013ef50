#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "e2e.h"

namespace ralvek::e2e {

// One entry of brastel.log: its time stamp line and its message lines (TAB removed).
struct LogEntry {
  std::string stamp;
  std::vector<std::string> lines;
};
// Parses the log file's text; throws std::runtime_error on bytes that break the format.
std::vector<LogEntry> parse_log(const std::string& text);

// A brastel in its own program directory with data/ and remote/ folders.
class BrastelTest : public ::testing::Test {
 protected:
  BrastelTest();

  // Writes brastel.ini: section [Service] with `body` (LocalPath and RemotePath are not
  // set here; see default_paths).
  void write_ini(const std::string& body);
  // LocalPath data/*.dat of this directory and RemotePath remote/.
  std::string default_paths() const;
  std::map<std::string, std::string> env() const;
  std::unique_ptr<Process> start(const std::vector<std::string>& args,
                                 const std::map<std::string, std::string>& extra_env = {});
  // Runs the program to its end; returns its exit status (-1 when it did not end in time).
  int run_once(const std::vector<std::string>& args,
               const std::map<std::string, std::string>& extra_env = {});

  std::vector<LogEntry> entries() const;
  // Entries whose first line is `first_line`.
  std::vector<LogEntry> entries_starting(const std::string& first_line) const;
  // Entries whose first line ends with `suffix`.
  std::vector<LogEntry> entries_ending(const std::string& suffix) const;
  bool wait_entries(const std::string& first_line, size_t count,
                    std::chrono::milliseconds timeout = 20s);
  // Creates data/<name> with `content`.
  void data_file(const std::string& name, const std::string& content);
  // An executable shell script in the program directory.
  void script(const std::string& name, const std::string& body);

  std::filesystem::path data() const { return home_ / "data"; }
  std::filesystem::path remote() const { return home_ / "remote"; }
  std::filesystem::path log_file() const { return home_ / "brastel.log"; }
  std::filesystem::path event_log() const { return home_ / "events.jsonl"; }

  TempDir home_;
  std::string time_scale_ = "600";  // one-minute ticks every 100 ms
};

}  // namespace ralvek::e2e
