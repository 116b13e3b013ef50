#pragma once

// Runs quendor against simulated exchanges (pbxsim exchange) on 127.0.0.x, in a fresh program
// directory with its event log file and a faster clock.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "e2e.h"

namespace ralvek::quendor_e2e {

using namespace std::chrono_literals;

// A simulated exchange: `pbxsim exchange` listening on address:port, told what to do through a
// FIFO.
class SimExchange {
 public:
  SimExchange(const std::filesystem::path& dir, const std::string& address, int port,
              const std::vector<std::string>& options);
  ~SimExchange();
  // Sends one command line (close, unlisten, listen, stall, half, resume, vanish, quit).
  void command(const std::string& word);
  // Quits gracefully and returns the number of the last record it began.
  std::uint64_t quit();
  std::string out() const { return process_->out(); }
  std::string where() const { return address_ + ":" + std::to_string(port_); }

 private:
  std::string address_;
  int port_;
  std::filesystem::path fifo_;
  int fd_ = -1;
  std::unique_ptr<e2e::Process> process_;
};

class QuendorTest : public ::testing::Test {
 protected:
  // One tick of a second lasts 50 ms, the reconnect minute 3 s; file periods of 30 "seconds"
  // (1.5 s) keep the time stamps of consecutive files of an exchange apart.
  static constexpr int kTimeScale = 20;

  std::filesystem::path data() const { return home_.path() / "data"; }
  std::filesystem::path event_file() const { return home_.path() / "events.jsonl"; }
  void write_ini(const std::string& body);  // the lines after "[TCP Service]"
  std::map<std::string, std::string> env() const;
  std::unique_ptr<e2e::Process> start_quendor(const std::vector<std::string>& args = {"--debug"});
  // SIGTERM, then the exit status.
  std::optional<int> stop(e2e::Process& quendor);
  std::unique_ptr<SimExchange> start_exchange(const std::string& address,
                                              const std::vector<std::string>& options = {});

  int count_events(const std::string& text) const;
  bool wait_for_event(const std::string& text, int count = 1,
                      std::chrono::milliseconds timeout = 15s);
  // The finished files of an exchange in name (creation) order, and their bytes joined.
  std::vector<std::string> dat_files(int exchange) const;
  std::string stream(int exchange, const std::string& ext = "dat") const;
  // Everything the exchange's files hold, finished or not, in time order. A temporary file
  // whose ".dat" name was taken (two files begun in one clock second) waits beside its twin
  // until the ".dat" file has been taken away; it sorts right after it.
  std::string collected(int exchange) const;
  // True when every temporary file left is one of those.
  bool only_twins_left() const;

  e2e::TempDir home_;
  e2e::TempDir out_;
  int port_ = e2e::free_port();
};

// The numbers of the whole records of `source` in a byte stream, in order; anything else in
// it counts as broken.
struct RecordScan {
  std::vector<std::uint64_t> numbers;
  int broken = 0;
};
RecordScan scan_records(const std::string& stream, const std::string& source, std::size_t size);

}  // namespace ralvek::quendor_e2e
