#include "console_core.h"

#include <system_error>

#include "console_text.h"
#include "ralvek_version.h"
#include "vb_text.h"

namespace ralvek::console {

ConsoleCore::ConsoleCore(ConsoleEnvironment env) : env_(std::move(env)) {}

void ConsoleCore::Load() {
  // Each step on its own: a port that cannot be bound must leave the rest of the console working.
  auto step = [this](auto&& action) {
    try {
      action();
    } catch (const std::exception& e) {
      ReportLineError(e.what(), "Procedure: Load");
    }
  };
  step([&] {
    caption_ = "Ralvek Configuration Console  V" + std::to_string(kVersionMajor) + "." +
               std::to_string(kVersionMinor) + "." + std::to_string(kVersionRevision);
  });
  history_index_ = 1;
  step([&] { SetView(ViewId::kLabelIncome0, "Message from "); });
  step([&] { SetView(ViewId::kLabelIncome1, "Ascii View "); });
  step([&] { env_.WClient.SetRemotePort(kBoxPort); });
  step([&] { env_.WClient.SetRemoteHost(env_.settings.GetSetting("KZUIP", "127.0.0.1")); });
  step([&] { receiver_ip_ = env_.settings.GetSetting("RecvIP", "127.0.0.1"); });
  step([&] { env_.WServer.Bind(kServerPort); });
  step([&] { env_.WSReceive.Bind(kReceivePort); });
  ClearCurrentKZUSettings(current_settings_);
  step([&] { Console("cls"); });
}

void ConsoleCore::Unload() {
  std::error_code ignored;
  std::filesystem::remove(TempFile(), ignored);
  try {
    env_.WClient.Close();
  } catch (const std::exception&) {
  }
  try {
    env_.WServer.Close();
  } catch (const std::exception&) {
  }
}

void ConsoleCore::ShowError(std::string_view label, std::string_view description) {
  last_kzu_error_ = std::string(description);
  env_.view.ShowErrorBox(label, description);
}

void ConsoleCore::PutToConsole(const std::vector<std::string>& messages) {
  try {
    std::string joined;
    for (const auto& message : messages) joined += message + "\r\n";
    const std::string text = ExpandConsoleEscapes(joined);
    text_console_ += text;
    env_.view.ConsoleAppended(text);
    if (text_console_.size() > kConsoleMaxLength) {
      ApplyConsoleSize(text_console_);
      env_.view.ConsoleReplaced(text_console_);
    }
  } catch (const std::exception& e) {
    // Reporting goes through this same routine: one level only.
    if (reporting_put_failure_) return;
    reporting_put_failure_ = true;
    ReportLineError(e.what(), "Procedure: PutToConsole");
    reporting_put_failure_ = false;
  }
}

void ConsoleCore::ReportLineError(std::string_view description, std::string_view label) {
  PutToConsole({"Error:" + std::string(description), std::string(label)});
}

void ConsoleCore::ShowConfig() {
  const std::string text = ShowConfigText(current_settings_, env_.decimal_separator, *this);
  PutToConsole({text + "\r\n", "\\n\\n"});
}

const std::string& ConsoleCore::View(ViewId view) const { return views_.at(static_cast<std::size_t>(view)); }

void ConsoleCore::SetView(ViewId view, std::string text) {
  auto& slot = views_.at(static_cast<std::size_t>(view));
  if (slot == text) return;
  slot = std::move(text);
  env_.view.ViewChanged(view);
}

void ConsoleCore::ClearConsole() {
  if (text_console_.empty()) return;
  text_console_.clear();
  env_.view.ConsoleReplaced(text_console_);
}

std::string ConsoleCore::PromptEnter(const std::string& prompt) {
  if (prompt.empty()) {
    SetView(ViewId::kTextMsg, "");
    SetView(ViewId::kTextMsg2, "");
    SetView(ViewId::kTextAsc, "");
    return prompt;
  }
  if (!Console(prompt)) return prompt;
  for (std::size_t i = command_history_.size() - 1; i > 0; --i) command_history_[i] = command_history_[i - 1];
  command_history_[0] = prompt;
  history_index_ = 1;
  return {};
}

std::string ConsoleCore::HistoryUp() {
  if (command_history_[history_index_ - 1u].empty()) history_index_ = 1;
  std::string line = command_history_[history_index_ - 1u];
  history_index_ = static_cast<std::uint8_t>(history_index_ % 10 + 1);
  return line;
}

std::optional<std::string> ConsoleCore::FunctionKeyTemplate(FunctionKey key, bool shift) {
  const KZUSettings& s = current_settings_;
  if (shift) {
    if (key != FunctionKey::kF1) return std::nullopt;
    return "SetResetInterval " + std::to_string(s.ResetInterval);
  }
  switch (key) {
    case FunctionKey::kF1: return "Dump";
    case FunctionKey::kF2: return "SetIP " + s.DefaultIP;
    case FunctionKey::kF3: return "SetIP2 " + s.SecondIP;
    case FunctionKey::kF4:
      return "SetSendParams " + TrimSpaces(s.SendMAC) + " " + s.SendIP + " " + std::to_string(s.SendPort);
    case FunctionKey::kF5: return "SetPeriod " + std::to_string(s.Period);
    case FunctionKey::kF6: return "SetLen " + std::to_string(s.EntryLen);
    case FunctionKey::kF7: return "SetSiteID " + std::to_string(s.SiteID);
    case FunctionKey::kF8: {
      std::int32_t baud = s.BaudRate;
      return "SetBaud " + std::to_string(BaudCodeToRate(baud, *this));
    }
    case FunctionKey::kF9: return "SetUDP On";
    case FunctionKey::kF10: return "SetCOM On";
    case FunctionKey::kF11: return "Send 01-FE-03-00-01-01-FE-15-FF-00-00-00";
    case FunctionKey::kF12: return "Ack " + std::to_string(packet_id_);
  }
  return std::nullopt;
}

void ConsoleCore::WServer_DataArrival(const Bytes& datagram, const std::string& sender) {
  try {
    if (LCase(datagram) == "kzuchk") {
      PutToConsole({"Receiver is alive! (" + sender + ")"});
      return;
    }
    const std::string address = BytesToIP(datagram.size() >= 4 ? datagram.substr(datagram.size() - 4) : datagram);
    if (LCase(address) != LCase(env_.WClient.RemoteHost())) return;
    std::string address_bytes = datagram.size() > 34 ? datagram.substr(34, 4) : std::string();
    SetCurrentKZUSettings(current_settings_, datagram, address_bytes, *this);
    SetView(ViewId::kTextMsg, "Message from (2554) " + env_.system.TimeText() + "\r\n" + StrToHex(datagram));
    ShowConfig();
    env_.view.DatagramShown({ViewId::kTextMsg});
  } catch (const std::exception& e) {
    ReportLineError(e.what(), "Procedure: WinsockServer (2554)");
  }
}

void ConsoleCore::WSReceive_DataArrival(const Bytes& datagram, const std::string& sender) {
  try {
    if (!listen_ip_.empty() && LCase(listen_ip_) != LCase(sender)) return;
    Bytes shown = datagram;
    const std::string time = env_.system.TimeText();
    if (datagram.size() == 34) {
      const auto parts = Split(sender, '.');
      for (std::size_t i = 0; i < 4; ++i) {
        shown.push_back(static_cast<char>(i < parts.size() ? static_cast<int>(Val(parts[i])) & 0xFF : 0));
      }
      std::string address_bytes = shown.substr(34, 4);
      SetCurrentKZUSettings(current_settings_, shown, address_bytes, *this);
      ShowConfig();
      SetView(ViewId::kTextMsg, "Message from " + time + "\r\n" + StrToHex(shown));
    } else if (datagram.size() >= 4) {
      packet_id_ = static_cast<unsigned char>(datagram[2]) + 256 * static_cast<unsigned char>(datagram[3]);
    }
    if (packet_id_ == 0) {
      packet_id_ = current_settings_.LastPacketID - current_settings_.NumOfPackets + 1;
    }
    SetView(ViewId::kTextMsg2, StrToHex(shown));
    std::string ascii = shown;
    for (char& c : ascii) {
      if (static_cast<unsigned char>(c) < 32) c = '?';
    }
    const std::string length = std::to_string(ascii.size());
    SetView(ViewId::kTextAsc, std::move(ascii));
    const std::string port = std::to_string(env_.WSReceive.LocalPort());
    SetView(ViewId::kLabelIncome0,
            "Message from (" + sender + ": " + port + " " + time + " (" + length + " bytes)");
    SetView(ViewId::kLabelIncome1, "Ascii View (" + sender + ":" + port + " " + time + " (" + length + " bytes)");
    if (datagram.size() == 34) {
      env_.view.DatagramShown({ViewId::kTextMsg, ViewId::kTextMsg2, ViewId::kTextAsc});
    } else {
      env_.view.DatagramShown({ViewId::kTextMsg2, ViewId::kTextAsc});
    }
  } catch (const std::exception& e) {
    ReportLineError(e.what(), "Procedure: WSReceive (2552)");
  }
}

}  // namespace ralvek::console
