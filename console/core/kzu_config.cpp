#include "kzu_config.h"

#include <cstdio>

#include "vb_text.h"

namespace ralvek::console {
namespace {

constexpr std::string_view kCloseTail = " 01 FE 15 FF 00 00 00";

std::string CommandTail(const char* code) {
  return std::string(" 01 FE 03 00 ") + code + std::string(kCloseTail);
}

const std::string& ValueAt(const std::vector<std::string>& values, std::size_t index) {
  if (index >= values.size()) throw RunTimeError("Subscript out of range");
  return values[index];
}

// Raised inside KZUMakeCommand when a MakeHex piece came back empty: its box is already shown.
struct ValueRefused {};

std::string HexOf(std::string_view value, KzuOutput& out) {
  std::string hex = MakeHex(value, out);
  if (hex.empty()) throw ValueRefused{};
  return hex;
}

std::string HexOf(std::int64_t value, KzuOutput& out) { return HexOf(std::to_string(value), out); }

std::string AddressHex(const std::string& address, KzuOutput& out) {
  const auto parts = Split(address, '.');
  if (parts.size() < 4) throw RunTimeError("Subscript out of range");
  std::string hex;
  for (std::size_t i = 0; i < 4; ++i) hex += HexOf(parts[i], out);
  return hex;
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// Six pairs of hex digits: anything else would make a record shorter than its header says.
std::string CheckedMac(const std::string& mac) {
  std::string trimmed = TrimSpaces(mac);
  const auto pairs = Split(trimmed, ' ');
  bool ok = pairs.size() == 6;
  for (const auto& pair : pairs) ok = ok && pair.size() == 2 && IsHexDigit(pair[0]) && IsHexDigit(pair[1]);
  if (!ok) throw RunTimeError("Invalid MAC Address");
  return trimmed;
}

std::string CommandText(int command, const std::vector<std::string>& values, KzuOutput& out) {
  switch (command) {
    case kzu_command::kDump: return "01 FE 03 00 01" + std::string(kCloseTail);
    case kzu_command::kUdpOn: return "01 FE 03 00 86" + std::string(kCloseTail);
    case kzu_command::kUdpOff: return "01 FE 03 00 87" + std::string(kCloseTail);
    case kzu_command::kComOn: return "01 FE 03 00 89" + std::string(kCloseTail);
    case kzu_command::kComOff: return "01 FE 03 00 8A" + std::string(kCloseTail);
    case kzu_command::kSetLen: return "01 FE 04 00" + HexOf(ValueAt(values, 0), out) + CommandTail("83");
    case kzu_command::kSetBaud: return "01 FE 04 00" + HexOf(ValueAt(values, 0), out) + CommandTail("85");
    case kzu_command::kSetPeriod: return "01 FE 04 00" + HexOf(ValueAt(values, 0), out) + CommandTail("88");
    case kzu_command::kSetResetInterval:
      return "01 FE 04 00" + HexOf(ValueAt(values, 0), out) + CommandTail("8B");
    case kzu_command::kB0: return "01 FE 04 00" + HexOf(ValueAt(values, 0), out) + CommandTail("B0");
    case kzu_command::kB1: return "01 FE 04 00" + HexOf(ValueAt(values, 0), out) + CommandTail("B1");
    case kzu_command::kSetSiteId: {
      const std::int64_t id = CLng(std::string_view(ValueAt(values, 0)));
      return "02 FD 04 00" + HexOf(id & 0xFF, out) + HexOf((id & 0xFF00) / 256, out) + CommandTail("84");
    }
    case kzu_command::kSetIp: return "04 FB 04 00" + AddressHex(ValueAt(values, 0), out) + CommandTail("A1");
    case kzu_command::kSetIp2: return "04 FB 04 00" + AddressHex(ValueAt(values, 0), out) + CommandTail("A4");
    case kzu_command::kSetSendParams: {
      const std::string mac = CheckedMac(ValueAt(values, 0));
      const std::string address = AddressHex(ValueAt(values, 1), out);
      const std::int64_t port = CLng(std::string_view(ValueAt(values, 2)));
      return "0C F3 04 00 " + mac + address + HexOf(port & 0xFF, out) + HexOf((port & 0xFF00) / 256, out) +
             CommandTail("A2");
    }
    case kzu_command::kRawHex: return ValueAt(values, 0);
    default: return {};
  }
}

}  // namespace

Bytes KZUMakeCommand(int command, const std::vector<std::string>& values, KzuOutput& out) {
  try {
    const std::string text = CommandText(command, values, out);
    if (text.empty()) return {};
    return KZUDoCommand(text, out);
  } catch (const ValueRefused&) {
    return {};
  } catch (const std::exception& e) {
    out.ShowError("KZUConfig->KZUMakeCommand", e.what());
    return {};
  }
}

std::string MakeHex(std::string_view value, KzuOutput& out) {
  try {
    const auto low = static_cast<std::uint32_t>(CLng(value)) & 0xFFu;
    char digits[4];
    std::snprintf(digits, sizeof digits, " %02X", low);
    return digits;
  } catch (const std::exception& e) {
    out.ShowError("KZUConfig->MakeHex", e.what());
    return {};
  }
}

Bytes KZUDoCommand(std::string_view text, KzuOutput& out) {
  Bytes bytes;
  for (const auto& piece : Split(UCase(text), ' ', 100)) {
    if (const auto byte = KZUHex(piece, out)) bytes.push_back(*byte);
  }
  return bytes;
}

std::optional<char> KZUHex(std::string_view piece, KzuOutput& out) {
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  const int high = piece.size() >= 1 ? nibble(piece[0]) : -1;
  const int low = piece.size() >= 2 ? nibble(piece[1]) : -1;
  if (high < 0 || low < 0) {
    out.ShowError("KZUConfig->KZUHex", "Invalid Hex Number");
    return std::nullopt;
  }
  return static_cast<char>(high * 16 + low);
}

std::string StrToHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(bytes.size() * 3);
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (!hex.empty()) hex.push_back(' ');
    hex.push_back(kDigits[b >> 4]);
    hex.push_back(kDigits[b & 0xF]);
  }
  return hex;
}

bool IsValidIP(std::string_view text) {
  const auto parts = Split(text, '.', 4);
  if (parts.size() != 4) return false;
  for (const auto& part : parts) {
    // Plain decimal digits only: signs, fractions and exponents would pass a numeric check but give
    // an address that no socket accepts later.
    if (part.empty() || part.size() > 3) return false;
    int value = 0;
    for (const char c : part) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    if (value > 255) return false;
  }
  return true;
}

std::int32_t HexToDec(std::string_view text) {
  const std::string lower = LCase(text);
  std::int64_t sum = 0;
  std::size_t distance = 0;
  for (auto it = lower.rbegin(); it != lower.rend(); ++it, ++distance) {
    int digit;
    if (*it >= '0' && *it <= '9') digit = *it - '0';
    else if (*it >= 'a' && *it <= 'f') digit = *it - 'a' + 10;
    else return -1;
    if (digit == 0) continue;
    if (distance >= 8) return -1;
    sum += static_cast<std::int64_t>(digit) << (4 * distance);
    if (sum > 2147483647) return -1;
  }
  return static_cast<std::int32_t>(sum);
}

std::string DecToHex8(std::string_view value) {
  try {
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08X", static_cast<std::uint32_t>(CLng(value)));
    return digits;
  } catch (const std::exception&) {
    return "-1";
  }
}

}  // namespace ralvek::console
