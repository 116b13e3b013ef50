#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "e2e.h"

namespace ralvek::e2e {

// A pseudo-terminal pair held by the test: the test writes to the master, serrak opens the
// slave through com_device. The slave is held open in raw mode so what is written before
// serrak opens it waits unchanged.
class TestLine {
 public:
  // `nonblocking`: writes never wait for a full line (see write_some), so a line that nobody
  // reads never keeps a test from ending.
  explicit TestLine(bool nonblocking = false);
  ~TestLine();
  const std::string& path() const { return path_; }
  void write(const std::string& bytes);
  // Writes what the line takes now; the number of bytes written (0 when it is full).
  std::size_t write_some(std::string_view bytes);
  // Closes both ends: serrak sees the line hang up.
  void hang_up();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

// A serrak in its own program directory, reading a pbxsim serial line or a TestLine.
class SerrakTest : public ::testing::Test {
 protected:
  // Writes serrak.ini: section [COM Service] with `body`.
  void write_ini(const std::string& body);
  // serrak.ini for site 12 on `device` with the interval in ticks (10 ms each in tests).
  void write_ini_for(const std::string& device, int interval, const std::string& extra = "");
  std::map<std::string, std::string> env() const;
  std::unique_ptr<Process> start(const std::vector<std::string>& args,
                                 const std::map<std::string, std::string>& extra_env = {});
  // Starts `--debug` and waits until its start report or a failure is logged.
  std::unique_ptr<Process> start_debug();
  // Starts `pbxsim serial` with the arguments and returns it once it printed its line's path.
  std::unique_ptr<Process> start_line(const std::vector<std::string>& args, std::string& path);
  // `pbxsim check` of the finished files for the records of `source`.
  int check(const std::string& source, int count);
  bool wait_event(int type, long id, const std::string& text, std::chrono::milliseconds timeout = 10s);
  // True once an event's text starts with `prefix`.
  bool wait_event_prefix(long id, const std::string& prefix, std::chrono::milliseconds timeout = 10s);
  std::vector<Event> events() const { return read_events(event_log()); }
  std::filesystem::path event_log() const { return home_ / "events.jsonl"; }
  std::filesystem::path data() const { return home_ / "data"; }
  std::string settings_report() const;
  std::string all_events() const;
  // Bytes in the .kom and .dat files of the data folder.
  std::uintmax_t collected_bytes() const;
  // Stops a --debug serrak as a user would (Ctrl+C) and waits for its end.
  void stop(Process& serrak);

  TempDir home_;
};

}  // namespace ralvek::e2e
