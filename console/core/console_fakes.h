#pragma once
// Test doubles of the console core's ports and a fixture that wires a ConsoleCore to them.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "console_core.h"
#include "vb_text.h"

namespace ralvek::console {

class FakeEndpoint final : public UdpEndpoint {
 public:
  void Bind(int port) override {
    if (fail_bind) throw RunTimeError("Address in use");
    if (state == 1) throw RunTimeError("Invalid operation at current state");
    state = 1;
    local_port = port;
    binds.push_back(port);
  }
  void Close() override { state = 0; }
  int State() const override { return state; }
  int LocalPort() const override { return local_port; }
  std::string LocalIP() const override { return "192.0.2.7"; }
  std::string LocalHostName() const override { return "boxhost"; }
  std::string RemoteHost() const override { return remote_host; }
  void SetRemoteHost(const std::string& host) override { remote_host = host; }
  int RemotePort() const override { return remote_port; }
  void SetRemotePort(int port) override { remote_port = port; }
  void SendData(const Bytes& bytes) override {
    if (fail_send) throw RunTimeError("Network is unreachable");
    sent.push_back({remote_host, remote_port, bytes});
  }

  struct Sent {
    std::string host;
    int port;
    Bytes bytes;
  };
  int state = 0;
  int local_port = 0;
  std::string remote_host;
  int remote_port = 0;
  bool fail_bind = false;
  bool fail_send = false;
  std::vector<int> binds;
  std::vector<Sent> sent;
};

class FakeStore final : public SettingsStore {
 public:
  std::string GetSetting(const std::string& key, const std::string& default_value) override {
    const auto it = values.find(key);
    return it == values.end() ? default_value : it->second;
  }
  void SaveSetting(const std::string& key, const std::string& value) override { values[key] = value; }
  std::map<std::string, std::string> values;
};

class FakeSystem final : public ConsoleSystem {
 public:
  std::string Run(const std::vector<std::string>& argv) override {
    runs.push_back(argv);
    if (fail_run) throw RunTimeError("File not found: " + argv.at(0));
    return run_output;
  }
  void Wait(double seconds) override {
    waits.push_back(seconds);
    if (during_wait) during_wait();
  }
  std::string TimeText() override { return "08:15:02"; }
  void EndProgram() override { ++ended; }

  std::vector<std::vector<std::string>> runs;
  std::string run_output;
  bool fail_run = false;
  std::vector<double> waits;
  std::function<void()> during_wait;
  int ended = 0;
};

class FakeView final : public ConsoleView {
 public:
  void ConsoleAppended(std::string_view text) override { appended += text; }
  void ConsoleReplaced(std::string_view) override { ++replaced; }
  void ViewChanged(ViewId view) override { changes.push_back(view); }
  void DatagramShown(const std::vector<ViewId>& views) override { shown.push_back(views); }
  void ShowErrorBox(std::string_view label, std::string_view description) override {
    boxes.emplace_back(std::string(label), std::string(description));
  }
  std::string appended;
  int replaced = 0;
  std::vector<ViewId> changes;
  std::vector<std::vector<ViewId>> shown;
  std::vector<std::pair<std::string, std::string>> boxes;
};

class ConsoleFixture : public ::testing::Test {
 protected:
  static std::filesystem::path MakeDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    auto path = std::filesystem::temp_directory_path() /
                ("console_test_" + std::string(info->test_suite_name()) + "_" + info->name());
    std::filesystem::create_directories(path);
    return path;
  }
  ~ConsoleFixture() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
  ConsoleCore& Loaded() {
    core.Load();
    return core;
  }
  // What the console shows since the last call, lines without their CR LF.
  std::vector<std::string> NewLines() {
    const std::string text = view.appended.substr(seen);
    seen = view.appended.size();
    std::vector<std::string> lines = Split(ReplaceAll(text, "\r\n", "\n"), '\n');
    if (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
  }
  bool Run(const std::string& line) {
    NewLines();
    return core.Console(line);
  }

  std::filesystem::path dir = MakeDir();
  std::filesystem::path arp_table = dir / "arp";
  FakeEndpoint client, server, receive;
  FakeStore store;
  FakeSystem system;
  FakeView view;
  ConsoleCore core{ConsoleEnvironment{client, server, receive, store, system, view, dir, '.', arp_table}};
  std::size_t seen = 0;
};

}  // namespace ralvek::console
