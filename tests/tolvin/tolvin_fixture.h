#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "e2e.h"

namespace ralvek::e2e {

// A tolvin in its own program directory, with the event log and a fake systemctl at hand.
class TolvinTest : public ::testing::Test {
 protected:
  TolvinTest();

  // Writes tolvin.ini: section [tolvin] with local_port set to this test's port, plus `body`.
  void write_ini(const std::string& body);
  std::map<std::string, std::string> env() const;
  // Starts tolvin with the arguments; `extra_env` overrides the test environment.
  std::unique_ptr<Process> start(const std::vector<std::string>& args,
                                 const std::map<std::string, std::string>& extra_env = {});
  // Starts `--debug` and waits until it listens (its settings report is written).
  std::unique_ptr<Process> start_debug(const std::map<std::string, std::string>& extra_env = {});
  int run_once(const std::vector<std::string>& args, const std::map<std::string, std::string>& extra_env = {});
  bool wait_event(int type, long id, const std::string& text, std::chrono::milliseconds timeout = 10s);
  std::vector<Event> events() const { return read_events(event_log()); }
  std::filesystem::path event_log() const { return home_ / "events.jsonl"; }
  std::filesystem::path data() const { return home_ / "data"; }
  std::string settings_report() const;
  // Every finished file's content, in name order.
  std::vector<std::string> dat_contents() const;
  int pbxsim(const std::vector<std::string>& args);
  // A fake systemctl first on PATH; `running` decides what is-active answers.
  void fake_systemctl(bool running);
  std::string systemctl_calls() const { return read_file(home_ / "systemctl.log"); }

  TempDir home_;
  int port_;
  std::string path_override_;
};

// Raw senders from a chosen 127.0.0.x address.
int tcp_connect(const std::string& from, int port);
void send_all(int fd, const std::string& bytes);
void udp_send(const std::string& from, int port, const std::string& bytes);
// True when the peer closed the connection within the time.
bool closed_by_peer(int fd, std::chrono::milliseconds timeout = 10s);

}  // namespace ralvek::e2e
