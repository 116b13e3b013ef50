// The command interpreter of ConsoleCore: splitting the line, dispatch, and every command.
#include <cmath>
#include <fstream>
#include <system_error>

#include "console_core.h"
#include "console_text.h"
#include "control_packet.h"
#include "vb_text.h"

namespace ralvek::console {
namespace {

constexpr char kRangeRefused[] = "Please Check Argument: ";

void CheckPort(std::int32_t port) {
  if (port < 0 || port > 65535) throw RunTimeError("Invalid argument");
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw RunTimeError("File not found: " + path.string());
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw RunTimeError("Path/File access error: " + path.string());
}

}  // namespace

const std::string& ConsoleCore::Arg(std::size_t n) const {
  if (n >= command_words_.size()) throw RunTimeError("Subscript out of range");
  return command_words_[n];
}

bool ConsoleCore::Console(std::string_view command_line) {
  bool result = true;
  try {
    command_words_ = Split(TrimSpaces(LCase(command_line)), ' ');
    const std::string word = Arg(0);
    if (!RunCommand(word, result) && !BoxCommand(word, result) && !PortCommand(word, result)) {
      PutToConsole({"Invalid Command"});
      result = false;
    }
  } catch (const std::exception& e) {
    PutToConsole({"Error:" + std::string(e.what()), ""});
  }
  return result;
}

// Commands that do not talk to the box, in the order in which they are matched.
bool ConsoleCore::RunCommand(const std::string& word, bool& result) {
  if (word == "only") {
    if (command_words_.size() > 1) {
      if (IsValidIP(Arg(1))) listen_ip_ = Arg(1);
      else result = false;
    } else {
      listen_ip_.clear();
    }
    Console("cls");
  } else if (word == "arp") {
    if (command_words_.size() > 1) {
      if (Arg(1) == "-d") {
        env_.system.Run({"ip", "neigh", "flush", "all"});
        PutToConsole({"ARP Entries cleared"});
      }
    } else {
      CommandArp();
    }
  } else if (word == "ping") {
    CommandPing(result);
  } else if (word == "chkrecv") {
    CommandChkrecv(result);
  } else if (word == "hex") {
    PutToConsole({Arg(1) + "\t = \t" + DecToHex8(Arg(1)) + "h"});
  } else if (word == "dec") {
    PutToConsole({UCase(Arg(1)) + "h\t = \t" + std::to_string(HexToDec(Arg(1)))});
  } else if (word == "help" || word == "?") {
    PrintHelp();
  } else {
    return false;
  }
  return true;
}

bool ConsoleCore::BoxCommand(const std::string& word, bool& result) {
  if (word == "dump") {
    ClearCurrentKZUSettings(current_settings_);
    if (!SendBoxPacket(kzu_command::kDump, {})) return true;
    SetView(ViewId::kLabelIncome0, "Message from ");
    SetView(ViewId::kLabelIncome1, "Message from ");
    PutToConsole({"Dump...\\n"});
  } else if (word == "use") {
    CommandUse(result);
  } else if (word == "setip") {
    if (!IsValidIP(Arg(1))) {
      PutToConsole({kRangeRefused + Arg(1)});
      result = false;
      return true;
    }
    if (!SendBoxPacket(kzu_command::kSetIp, {Arg(1)})) return true;
    env_.WClient.SetRemoteHost(Arg(1));
    PutToConsole({"Current IP: " + env_.WClient.RemoteHost()});
    env_.settings.SaveSetting("KZUIP", env_.WClient.RemoteHost());
  } else if (word == "setip2") {
    if (!IsValidIP(Arg(1))) {
      PutToConsole({kRangeRefused + Arg(1)});
      result = false;
      return true;
    }
    if (SendBoxPacket(kzu_command::kSetIp2, {Arg(1)})) PutToConsole({"Second IP: " + Arg(1)});
  } else if (word == "setperiod" || word == "setresetinterval" || word == "setlen") {
    struct Range {
      int command;
      double low, high;
      const char* refused;
      const char* done;
    };
    const Range range = word == "setperiod" ? Range{kzu_command::kSetPeriod, 5, 255, "Period must be between 5 and 255",
                                                    "Period: "}
                        : word == "setlen"  ? Range{kzu_command::kSetLen, 5, 180,
                                                   "Entry Lenght must be between 5 and 180", "Entry Lenght: "}
                                            : Range{kzu_command::kSetResetInterval, 0, 255,
                                                    "Reset Interval must be between 0 and 255", "Reset Interval: "};
    const double value = Val(Arg(1));
    if (value < range.low || value > range.high) {
      PutToConsole({range.refused});
      result = false;
      return true;
    }
    if (SendBoxPacket(range.command, {Arg(1)})) PutToConsole({range.done + Arg(1)});
  } else if (word == "setbaud") {
    CommandSetBaud(result);
  } else if (word == "setsiteid") {
    const auto value = NumericValue(Arg(1));
    if (value && std::floor(*value) >= 0) {
      if (SendBoxPacket(kzu_command::kSetSiteId, {Arg(1)})) PutToConsole({"SiteID: " + Arg(1)});
    }
  } else if (word == "ack") {
    if (IsNumeric(Arg(1))) {
      packet_id_ = CLng(std::string_view(Arg(1)));
      ack_packet_ = MakeAckPacket(packet_id_);
      env_.WClient.SendData(ack_packet_);
      PutToConsole({"Ack sent to packet: " + std::to_string(packet_id_)});
    }
  } else if (word == "setudp" || word == "setcom") {
    const bool udp = word == "setudp";
    const std::string state = LCase(Arg(1));
    if (state == "on" || state == "off") {
      const bool on = state == "on";
      const int command = udp ? (on ? kzu_command::kUdpOn : kzu_command::kUdpOff)
                              : (on ? kzu_command::kComOn : kzu_command::kComOff);
      if (SendBoxPacket(command, {})) PutToConsole({std::string(udp ? "UDPSend " : "COM ") + (on ? "On" : "Off")});
    }
  } else if (word == "send") {
    SendBoxPacket(kzu_command::kRawHex, {UCase(ReplaceAll(Arg(1), "-", " "))});
  } else if (word == "setsendparams") {
    CommandSetSendParams(result);
  } else {
    return false;
  }
  return true;
}

bool ConsoleCore::PortCommand(const std::string& word, bool& result) {
  if (word == "cls") {
    ClearConsole();
    SetView(ViewId::kTextAsc, "");
    SetView(ViewId::kTextMsg, "");
    SetView(ViewId::kTextMsg2, "");
    PrintHeader();
  } else if (word == "exit" || word == "quit" || word == "bye" || word == "end") {
    Unload();
    env_.system.EndProgram();
  } else if (word == "sendport" || word == "open") {
    if (command_words_.size() != 2) {
      PutToConsole({"Type a port number"});
      result = false;
    } else if (!IsNumeric(Arg(1))) {
      PutToConsole({kRangeRefused + Arg(1)});
      result = false;
    } else if (word == "sendport") {
      const std::int32_t port = CLng(std::string_view(Arg(1)));
      CheckPort(port);
      env_.WClient.SetRemotePort(port);
      PutToConsole({"Send Port: " + std::to_string(env_.WClient.RemotePort())});
    } else {
      CommandOpen();
    }
  } else if (word == "close") {
    CommandClose();
  } else {
    return false;
  }
  return true;
}

bool ConsoleCore::SendBoxPacket(int command, const std::vector<std::string>& values) {
  last_kzu_error_.clear();
  const Bytes packet = KZUMakeCommand(command, values, *this);
  if (packet.empty()) {
    // The box was shown already; do not confirm a setting that never left the console.
    PutToConsole({"Error: " + (last_kzu_error_.empty() ? std::string("Invalid Control Packet") : last_kzu_error_)});
    return false;
  }
  env_.WClient.SendData(packet);
  return true;
}

void ConsoleCore::CommandUse(bool& result) {
  // Every step runs even when the one before failed.
  try {
    if (!IsValidIP(Arg(1))) {
      PutToConsole({kRangeRefused + Arg(1)});
      result = false;
      return;
    }
  } catch (const std::exception&) {
  }
  try {
    env_.WClient.SetRemoteHost(Arg(1));
  } catch (const std::exception&) {
  }
  try {
    PutToConsole({"Current IP: " + env_.WClient.RemoteHost()});
  } catch (const std::exception&) {
  }
  try {
    env_.settings.SaveSetting("KZUIP", env_.WClient.RemoteHost());
  } catch (const std::exception&) {
  }
  try {
    if (env_.WServer.State() == 0) {
      env_.WServer.Bind(kServerPort);
      PutToConsole({"Port Open (2554)"});
    }
  } catch (const std::exception& e) {
    PutToConsole({"Error:" + std::string(e.what())});
  }
}

void ConsoleCore::CommandChkrecv(bool& result) {
  if (command_words_.size() > 1) {
    if (!IsValidIP(Arg(1))) {
      PutToConsole({kRangeRefused, Arg(1)});
      result = false;
      return;
    }
    receiver_ip_ = Arg(1);
  }
  const std::string box_host = env_.WClient.RemoteHost();
  // WClient must point at the box again even when the probe fails.
  struct Restore {
    UdpEndpoint& client;
    const std::string& host;
    ~Restore() {
      try {
        client.SetRemotePort(kBoxPort);
        client.SetRemoteHost(host);
      } catch (const std::exception&) {
      }
    }
  } restore{env_.WClient, box_host};
  env_.WClient.SetRemotePort(kReceivePort);
  env_.WClient.SetRemoteHost(receiver_ip_);
  env_.settings.SaveSetting("RecvIP", env_.WClient.RemoteHost());
  env_.WClient.SendData("KZUchk");
  PutToConsole({"Sent msg to Receiver (" + receiver_ip_ + ")"});
}

void ConsoleCore::CommandPing(bool& result) {
  if (command_words_.size() < 2) return;
  const std::string& host = Arg(1);
  if (!host.empty() && host.front() == '-') {
    PutToConsole({kRangeRefused + host});
    result = false;
    return;
  }
  std::error_code ignored;
  std::filesystem::remove(TempFile(), ignored);
  PutToConsole({"\\nPing: " + host});
  WriteFile(TempFile(), PingReplyLines(env_.system.Run({"ping", "-c", "1", "-W", "2", "--", host})));
  PrintToolFile(true);
}

void ConsoleCore::CommandArp() {
  std::error_code ignored;
  std::filesystem::remove(TempFile(), ignored);
  PutToConsole({"\\nARP:"});
  WriteFile(TempFile(), ArpTableLines(ReadFile(env_.arp_table)));
  PrintToolFile(false);
}

void ConsoleCore::PrintToolFile(bool ping) {
  std::ifstream in(TempFile(), std::ios::binary);
  if (!in) throw RunTimeError("File not found: " + TempFile().string());
  std::string line;
  while (std::getline(in, line)) {
    if (ping) {
      if (LCase(line).find("reply") == std::string::npos) continue;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      PutToConsole({WrapText(line.substr(0, line.find(':')), 40)});
    } else if (const auto shown = ArpDisplayLine(line)) {
      PutToConsole({WrapText(*shown, 40)});
    }
  }
}

void ConsoleCore::CommandOpen() {
  const std::int32_t port = CLng(std::string_view(Arg(1)));
  CheckPort(port);
  if (env_.WSReceive.State() == 0) {
    env_.WSReceive.Bind(port);
    PutToConsole({"Port Open " + std::to_string(env_.WSReceive.LocalPort())});
  } else if (env_.WSReceive.LocalPort() != port) {
    PutToConsole({"Port Closed (" + std::to_string(env_.WSReceive.LocalPort()) + ")"});
    env_.WSReceive.Close();
    env_.system.Wait(0.5);
    env_.WSReceive.Bind(port);
    PutToConsole({"Port Open " + std::to_string(env_.WSReceive.LocalPort())});
  } else {
    PutToConsole({"Port already open (" + std::to_string(env_.WSReceive.LocalPort()) + ")"});
  }
}

void ConsoleCore::CommandClose() {
  if (env_.WSReceive.State() != 0) {
    const int port = env_.WSReceive.LocalPort();
    env_.WSReceive.Close();
    PutToConsole({"Port Closed (" + std::to_string(port) + ")"});
  } else {
    PutToConsole({"Port already closed"});
  }
}

void ConsoleCore::CommandSetBaud(bool& result) {
  const double value = Val(Arg(1));
  if (value < 1200 || value > 19200) {
    PutToConsole({"Baud-rate must be between 1200 and 19200"});
    result = false;
    return;
  }
  std::int32_t rate = CLng(value);
  if (!IsKnownBaudRate(rate)) {
    BaudToCode(rate, *this);  // prints "invalid baud-rate"
    result = false;
    return;
  }
  const int code = BaudToCode(rate, *this);
  if (SendBoxPacket(kzu_command::kSetBaud, {std::to_string(code)})) PutToConsole({"Baud: " + Arg(1)});
}

void ConsoleCore::CommandSetSendParams(bool& result) {
  if (!IsValidIP(Arg(2))) {
    PutToConsole({kRangeRefused + Arg(2)});
    result = false;
    return;
  }
  const std::string mac = UCase(ReplaceAll(Arg(1), "-", " "));
  if (!SendBoxPacket(kzu_command::kSetSendParams, {mac, Arg(2), Arg(3)})) return;
  PutToConsole({"SendParams: ", "SendMAC: " + Arg(1), "SendIP: " + Arg(2), "SendPort: " + Arg(3)});
}

void ConsoleCore::PrintHelp() {
  ClearConsole();
  PutToConsole({"Ralvek Configuration Console ", "\\nCommands:"});
  PutToConsole({"F1 - Dump", "F2 - SetIP (New IP)", "F3 - SetIP2 (Second IP)", "F4 - SetSendParams (MAC,IP,PORT)",
                "F5 - SetPeriod (Period in milisecond)", "F6 - SetLen (Packet Size in Bytes)", "F7 - SetSiteID (SiteID)",
                "F8 - SetBaud (Baud-rate)", "F9 - SetUDP (On/Off)", "F10- SetCOM (On/Off)",
                "F11- Send (Full command in hex)", "F12- Ack (PacketID)", "Ping (IP/Host)", "Arp [-d]", "Cls",
                "Use (IP)", "Open (port number)", "Close", "Quit"});
}

void ConsoleCore::PrintHeader() {
  PutToConsole({"Ralvek Configuration Console ",
                "on " + UCase(env_.WSReceive.LocalHostName()) + " \\t(" + env_.WServer.LocalIP() + ")\\n"});
  PutToConsole({"Send IP\\t\\t:" + env_.WClient.RemoteHost()});
  PutToConsole({"Send Port\\t:" + std::to_string(env_.WClient.RemotePort())});
  if (env_.WServer.State() == 1) PutToConsole({"Listen\\t\\t:" + std::to_string(env_.WServer.LocalPort())});
  if (env_.WSReceive.State() == 1) PutToConsole({"Listen\\t\\t:" + std::to_string(env_.WSReceive.LocalPort())});
  PutToConsole({"Listen IP\\t:" + (listen_ip_.empty() ? std::string("All") : listen_ip_)});
}

}  // namespace ralvek::console
