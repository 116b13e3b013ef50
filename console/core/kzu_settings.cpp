#include "kzu_settings.h"

#include <array>
#include <cmath>

namespace ralvek::console {
namespace {

constexpr std::array<std::int32_t, 6> kBaudRates = {1200, 2400, 4800, 9600, 19200, 38400};

unsigned Byte(std::string_view packet, std::size_t position) {  // 1-based, as the layout is written
  return static_cast<unsigned char>(packet.at(position - 1));
}

unsigned Word(std::string_view packet, std::size_t position) {
  return Byte(packet, position) + 256 * Byte(packet, position + 1);
}

// Up to two decimals, none forced; a bare separator at either end gets a "0".
std::string PercentText(double percent, char separator) {
  const long long hundredths = std::llround(percent * 100.0);
  std::string text = hundredths / 100 == 0 ? std::string() : std::to_string(hundredths / 100);
  std::string fraction;
  const long long rest = hundredths % 100;
  if (rest != 0) {
    fraction = std::to_string(rest / 10) + std::to_string(rest % 10);
    if (fraction.back() == '0') fraction.pop_back();
  }
  text += separator;
  text += fraction;
  if (text.front() == separator) text.insert(text.begin(), '0');
  if (text.back() == separator) text.push_back('0');
  return text;
}

std::string PeriodSeconds(unsigned period, char separator) {
  std::string text = std::to_string(period / 10);
  if (period % 10 != 0) {
    text += separator;
    text += std::to_string(period % 10);
  }
  return text;
}

}  // namespace

void ClearCurrentKZUSettings(KZUSettings& settings) { settings = KZUSettings{}; }

std::string BytesToIP(std::string_view bytes) {
  if (bytes.size() != 4) return {};
  std::string text;
  for (std::size_t i = 0; i < 4; ++i) {
    if (i > 0) text.push_back('.');
    text += std::to_string(static_cast<unsigned char>(bytes[i]));
  }
  return text;
}

bool SetCurrentKZUSettings(KZUSettings& settings, std::string_view packet, std::string& address_bytes,
                           KzuOutput& out) {
  if (packet.size() != 38) {
    out.PutToConsole({"Invalid Control Packet Lenght"});
    return false;
  }
  address_bytes = BytesToIP(std::string_view(address_bytes).substr(0, 4));
  if (!IsValidIP(address_bytes)) {
    out.PutToConsole({"Invalid Control Packet ", "IP information couldn't read"});
    return false;
  }
  settings.DefaultIP = address_bytes;
  address_bytes = BytesToIP(packet.substr(30, 4));
  if (!IsValidIP(address_bytes)) {
    out.PutToConsole({"Invalid Control Packet ", "IP2 information couldn't read"});
    return false;
  }
  settings.SecondIP = address_bytes;
  settings.BaudRate = static_cast<std::uint8_t>(Byte(packet, 10));
  settings.EntryLen = static_cast<std::uint8_t>(Byte(packet, 8));
  settings.E2 = static_cast<std::uint8_t>(Byte(packet, 4));
  settings.E2Type = static_cast<std::uint8_t>(Byte(packet, 5));
  settings.Flags = static_cast<std::uint8_t>(Byte(packet, 9));
  settings.Period = static_cast<std::uint8_t>(Byte(packet, 17));
  settings.ResetInterval = static_cast<std::uint8_t>(Byte(packet, 18));
  settings.UnitCapacity = static_cast<std::int32_t>(Word(packet, 6));
  settings.SiteID = static_cast<std::int32_t>(Word(packet, 11));
  settings.LastPacketID = static_cast<std::int32_t>(Word(packet, 13));
  settings.NumOfPackets = static_cast<std::int32_t>(Word(packet, 15));
  settings.SendPort = static_cast<std::int32_t>(Word(packet, 29));
  settings.SendIP = BytesToIP(packet.substr(24, 4));
  std::string mac = StrToHex(packet.substr(18, 6));
  for (char& c : mac) {
    if (c == ' ') c = '-';
  }
  settings.SendMAC = mac;
  return true;
}

bool IsKnownBaudRate(std::int32_t rate) {
  for (const auto known : kBaudRates) {
    if (known == rate) return true;
  }
  return false;
}

int BaudToCode(std::int32_t& rate, KzuOutput& out) {
  for (std::size_t code = 0; code < kBaudRates.size(); ++code) {
    if (kBaudRates[code] == rate) {
      rate = static_cast<std::int32_t>(code);
      return static_cast<int>(code);
    }
  }
  out.PutToConsole({"invalid baud-rate"});
  return 0;
}

std::int32_t BaudCodeToRate(std::int32_t& code, KzuOutput& out) {
  if (code < 0 || code >= static_cast<std::int32_t>(kBaudRates.size())) {
    out.PutToConsole({"Couldn't read baud information"});
    return 0;
  }
  code = kBaudRates[static_cast<std::size_t>(code)];
  return code;
}

std::string ShowConfigText(const KZUSettings& s, char decimal_separator, KzuOutput& out) {
  const std::string crlf = "\r\n";
  const std::string dashes(15, '-');
  auto yes_no = [](bool b) { return b ? "Yes" : "No"; };
  std::int32_t baud = s.BaudRate;
  const std::int32_t capacity = static_cast<std::int32_t>(s.E2) * s.UnitCapacity;
  std::string percent = "0";
  if (s.E2 > 0 && s.UnitCapacity > 0) {
    percent = PercentText(static_cast<double>(s.NumOfPackets) * 100.0 / capacity, decimal_separator);
  }
  std::string text = "Current Ralvek Settings" + crlf + crlf;
  text += "DefaultIP\t" + s.DefaultIP + crlf;
  text += "SecondIP\t" + s.SecondIP + crlf;
  text += "SendIP\t\t" + s.SendIP + crlf;
  text += "SendMAC\t\t" + s.SendMAC + crlf;
  text += "SendPort\t" + std::to_string(s.SendPort) + crlf;
  text += dashes + crlf;
  text += "SiteID\t\t" + std::to_string(s.SiteID) + crlf;
  text += "Period\t\t" + std::to_string(s.Period) + " (" + PeriodSeconds(s.Period, decimal_separator) + " sec.)" +
          crlf;
  text += "Reset Interval\t" + std::to_string(s.ResetInterval) + crlf;
  text += "BaudRate\t" + std::to_string(BaudCodeToRate(baud, out)) + crlf;
  text += "EntryLen\t" + std::to_string(s.EntryLen) + crlf;
  text += dashes + crlf;
  text += "E2\t\t" + std::to_string(s.E2) + crlf;
  text += "E2 Type\t\t" + std::to_string(s.E2Type) + crlf;
  text += "Last Packet ID\t" + std::to_string(s.LastPacketID) + crlf;
  text += "Num Of Packets\t" + std::to_string(s.NumOfPackets) + crlf;
  text += "Unit Capacity\t" + std::to_string(s.UnitCapacity) + crlf;
  text += "Max Capacity\t" + std::to_string(capacity) + " (%" + percent + ")" + crlf;
  text += dashes + crlf;
  text += std::string("E2\t\t") + yes_no(s.Flags & kFlagE2) + crlf;
  text += std::string("Pending\t\t") + yes_no(s.Flags & kFlagPending) + crlf;
  text += std::string("UDPSend\t\t") + ((s.Flags & kFlagUdpSend) ? "On" : "Off") + crlf;
  return text;
}

}  // namespace ralvek::console
