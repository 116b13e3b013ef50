// Feeds arbitrary bytes to the console's parsers. The first byte chooses the entry point.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "console_core.h"
#include "control_packet.h"
#include "kzu_settings.h"

namespace {

using namespace ralvek::console;

class NullEndpoint final : public UdpEndpoint {
 public:
  void Bind(int port) override {
    state_ = 1;
    port_ = port;
  }
  void Close() override { state_ = 0; }
  int State() const override { return state_; }
  int LocalPort() const override { return port_; }
  std::string LocalIP() const override { return "127.0.0.1"; }
  std::string LocalHostName() const override { return "fuzz"; }
  std::string RemoteHost() const override { return host_; }
  void SetRemoteHost(const std::string& host) override { host_ = host; }
  int RemotePort() const override { return remote_port_; }
  void SetRemotePort(int port) override { remote_port_ = port; }
  void SendData(const Bytes& bytes) override {
    if (bytes.size() > 100) __builtin_trap();  // a control packet never exceeds 100 bytes
  }

 private:
  int state_ = 0, port_ = 0, remote_port_ = 0;
  std::string host_;
};

class NullStore final : public SettingsStore {
 public:
  std::string GetSetting(const std::string&, const std::string& default_value) override { return default_value; }
  void SaveSetting(const std::string&, const std::string&) override {}
};

class NullSystem final : public ConsoleSystem {
 public:
  std::string Run(const std::vector<std::string>&) override { return "64 bytes from 127.0.0.1: ttl=64 time=1 ms\n"; }
  void Wait(double) override {}
  std::string TimeText() override { return "00:00:00"; }
  void EndProgram() override {}
};

class NullView final : public ConsoleView {
 public:
  void ConsoleAppended(std::string_view) override {}
  void ConsoleReplaced(std::string_view) override {}
  void ViewChanged(ViewId) override {}
  void ShowErrorBox(std::string_view, std::string_view) override {}
};

struct Harness {
  NullEndpoint client, server, receive;
  NullStore store;
  NullSystem system;
  NullView view;
  std::filesystem::path dir = std::filesystem::temp_directory_path() / "console_fuzz";
  ConsoleCore core{ConsoleEnvironment{client, server, receive, store, system, view, dir, '.', dir / "arp"}};
  Harness() {
    std::filesystem::create_directories(dir);
    core.Load();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static Harness harness;
  const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
  SilentKzuOutput silent;
  switch (data[0] % 5) {
    case 0: {
      KZUSettings settings;
      std::string address = input.size() > 34 ? input.substr(34, 4) : input;
      SetCurrentKZUSettings(settings, input, address, silent);
      break;
    }
    case 1:
      if (KZUDoCommand(input, silent).size() > 100) __builtin_trap();
      break;
    case 2:
      if (input.find('\n') == std::string::npos) harness.core.Console(input);
      break;
    case 3:
      harness.core.WSReceive_DataArrival(input, "127.0.0.2");
      harness.core.WServer_DataArrival(input, "127.0.0.2");
      break;
    default:
      ParseControlPacket(input);
  }
  return 0;
}
