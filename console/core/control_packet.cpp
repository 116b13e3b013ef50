#include "control_packet.h"

#include <vector>

#include "vb_text.h"

namespace ralvek::console {
namespace {

constexpr std::string_view kClosing("\x01\xFE\x15\xFF\x00\x00\x00", 7);

struct Record {
  std::uint8_t type = 0;
  std::uint8_t flag = 0;
  std::string_view value;
};

// Reads one record header (n, ~n, type, flag) and its n value bytes from the front of bytes.
std::optional<Record> TakeRecord(std::string_view& bytes) {
  if (bytes.size() < 4) return std::nullopt;
  const auto n = static_cast<unsigned char>(bytes[0]);
  const auto check = static_cast<unsigned char>(bytes[1]);
  if ((n ^ 0xFF) != check || bytes.size() < 4u + n) return std::nullopt;
  Record record{static_cast<std::uint8_t>(bytes[2]), static_cast<std::uint8_t>(bytes[3]), bytes.substr(4, n)};
  bytes.remove_prefix(4u + n);
  return record;
}

void PutAddress(Bytes& out, const std::string& dotted) {
  const auto parts = Split(dotted, '.');
  for (std::size_t i = 0; i < 4; ++i) {
    out.push_back(static_cast<char>(i < parts.size() && IsNumeric(parts[i]) ? static_cast<int>(Val(parts[i])) : 0));
  }
}

void PutWord(Bytes& out, std::int32_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

}  // namespace

Bytes MakeAckPacket(std::int32_t packet_id) {
  Bytes packet("\x02\xFD\x01\x00", 4);
  packet.push_back(static_cast<char>(packet_id & 0xFF));
  packet.push_back(static_cast<char>((packet_id & 0xFF00) / 256));
  packet.append("\x01\xFE\x00\x00\xAA", 5);
  packet.append(kClosing);
  return packet;
}

std::optional<ControlPacket> ParseControlPacket(std::string_view bytes) {
  if (bytes.size() < kClosing.size() || bytes.substr(bytes.size() - kClosing.size()) != kClosing) {
    return std::nullopt;
  }
  bytes.remove_suffix(kClosing.size());
  std::vector<Record> records;
  while (!bytes.empty() && records.size() < 3) {
    const auto record = TakeRecord(bytes);
    if (!record || record->flag != 0x00) return std::nullopt;
    records.push_back(*record);
  }
  if (!bytes.empty()) return std::nullopt;
  ControlPacket packet;
  if (records.size() == 2 && records[0].type == 0x01 && records[0].value.size() == 2 && records[1].type == 0x00 &&
      records[1].value == "\xAA") {
    packet.kind = ControlPacket::Kind::kAck;
    packet.ack_id = static_cast<std::uint16_t>(static_cast<unsigned char>(records[0].value[0]) +
                                               256 * static_cast<unsigned char>(records[0].value[1]));
    return packet;
  }
  const bool with_value = records.size() == 2 && records[0].type == 0x04;
  if (records.size() != (with_value ? 2u : 1u)) return std::nullopt;
  const Record& command = records.back();
  if (command.type != 0x03 || command.value.size() != 1) return std::nullopt;
  packet.code = static_cast<std::uint8_t>(command.value[0]);
  if (with_value) packet.value = Bytes(records[0].value);
  return packet;
}

Bytes EncodeSettingsDatagram(const KZUSettings& s) {
  Bytes out = "KZU";
  out.push_back(static_cast<char>(s.E2));
  out.push_back(static_cast<char>(s.E2Type));
  PutWord(out, s.UnitCapacity);
  out.push_back(static_cast<char>(s.EntryLen));
  out.push_back(static_cast<char>(s.Flags));
  out.push_back(static_cast<char>(s.BaudRate));
  PutWord(out, s.SiteID);
  PutWord(out, s.LastPacketID);
  PutWord(out, s.NumOfPackets);
  out.push_back(static_cast<char>(s.Period));
  out.push_back(static_cast<char>(s.ResetInterval));
  for (const auto& pair : Split(s.SendMAC, '-')) {
    out.push_back(static_cast<char>(HexToDec(pair) & 0xFF));
  }
  out.resize(24, '\0');
  PutAddress(out, s.SendIP);
  PutWord(out, s.SendPort);
  PutAddress(out, s.SecondIP);
  return out;
}

}  // namespace ralvek::console
