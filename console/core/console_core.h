#pragma once
// ConsoleCore: the configuration console without any front end. It holds the console text, the
// traffic views, the prompt history and the box settings; it runs the command interpreter
// (Console), the two datagram handlers and the start and close of the program.
// Front ends feed it typed lines, keys and datagrams and show what it reports through ConsoleView.
// Single-threaded: every call must come from the thread that runs the event loop.
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console_ports.h"
#include "kzu_output.h"
#include "kzu_settings.h"

namespace ralvek::console {

inline constexpr int kBoxPort = 26482;
inline constexpr int kServerPort = 2554;
inline constexpr int kReceivePort = 2552;

// Everything the core uses but does not own; all of it must outlive the core.
struct ConsoleEnvironment {
  UdpEndpoint& WClient;
  UdpEndpoint& WServer;
  UdpEndpoint& WSReceive;
  SettingsStore& settings;
  ConsoleSystem& system;
  ConsoleView& view;
  std::filesystem::path program_dir;             // where console.tmp lives
  char decimal_separator = '.';                  // the system's number format
  std::filesystem::path arp_table = "/proc/net/arp";
};

enum class FunctionKey { kF1 = 1, kF2, kF3, kF4, kF5, kF6, kF7, kF8, kF9, kF10, kF11, kF12 };

class ConsoleCore final : public KzuOutput {
 public:
  explicit ConsoleCore(ConsoleEnvironment env);
  ConsoleCore(const ConsoleCore&) = delete;
  ConsoleCore& operator=(const ConsoleCore&) = delete;

  // Start: caption, settings store, ports 2554 and 2552, cleared settings, the "cls" header.
  void Load();
  // Close: deletes console.tmp, closes WClient and WServer; ignores every failure.
  void Unload();

  // The interpreter: runs one command line; false when the line is refused.
  bool Console(std::string_view command_line);

  // The prompt's Enter path; returns what the prompt holds afterwards (empty once accepted).
  std::string PromptEnter(const std::string& prompt);
  // The Up key: the next history entry, newest first.
  std::string HistoryUp();
  // The template a function key puts into the prompt; nothing for Shift with any key but F1.
  std::optional<std::string> FunctionKeyTemplate(FunctionKey key, bool shift);

  void WServer_DataArrival(const Bytes& datagram, const std::string& sender);
  void WSReceive_DataArrival(const Bytes& datagram, const std::string& sender);

  // KzuOutput
  void ShowError(std::string_view label, std::string_view description) override;
  void PutToConsole(const std::vector<std::string>& messages) override;

  void ShowConfig();

  const std::string& Caption() const { return caption_; }
  const std::string& TextConsole() const { return text_console_; }
  const std::string& View(ViewId view) const;
  const std::array<std::string, 10>& CommandHistory() const { return command_history_; }
  const std::vector<std::string>& CommandWords() const { return command_words_; }
  const KZUSettings& CurrentKZUSettings() const { return current_settings_; }
  const std::string& ListenIP() const { return listen_ip_; }
  const std::string& ReceiverIP() const { return receiver_ip_; }
  std::int32_t PacketID() const { return packet_id_; }
  const Bytes& AckPacket() const { return ack_packet_; }
  std::filesystem::path TempFile() const { return env_.program_dir / "console.tmp"; }

 private:
  // interpreter.cpp
  bool RunCommand(const std::string& word, bool& result);
  bool BoxCommand(const std::string& word, bool& result);
  bool PortCommand(const std::string& word, bool& result);
  const std::string& Arg(std::size_t n) const;
  bool SendBoxPacket(int command, const std::vector<std::string>& values);
  void CommandUse(bool& result);
  void CommandChkrecv(bool& result);
  void CommandPing(bool& result);
  void CommandArp();
  void CommandOpen();
  void CommandClose();
  void CommandSetBaud(bool& result);
  void CommandSetSendParams(bool& result);
  void PrintHelp();
  void PrintHeader();
  void PrintToolFile(bool ping);

  void SetView(ViewId view, std::string text);
  void ClearConsole();
  void ReportLineError(std::string_view description, std::string_view label);

  ConsoleEnvironment env_;
  std::string caption_;
  std::string text_console_;
  std::array<std::string, 5> views_;
  std::array<std::string, 10> command_history_;
  std::uint8_t history_index_ = 1;
  std::vector<std::string> command_words_;
  KZUSettings current_settings_;
  std::string receiver_ip_;
  std::int32_t packet_id_ = 0;
  Bytes ack_packet_;
  std::string listen_ip_;
  std::string last_kzu_error_;  // description of the last error box, for commands whose packet failed
  bool reporting_put_failure_ = false;
};

}  // namespace ralvek::console
