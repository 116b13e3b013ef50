#pragma once
// The box's side of the control traffic: reading a control or acknowledgement packet back into
// its parts, and writing the 34-byte settings datagram. Shared by the console and pbxsim.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "kzu_settings.h"

namespace ralvek::console {

// The 18-byte acknowledgement of a data packet; only the low 16 bits of the number are used.
Bytes MakeAckPacket(std::int32_t packet_id);

struct ControlPacket {
  enum class Kind { kCommand, kAck };
  Kind kind = Kind::kCommand;
  std::uint8_t code = 0;   // kCommand: the command code (0x01 dump, 0x88 period ...)
  Bytes value;             // kCommand: the value record's bytes, empty when there is none
  std::uint16_t ack_id = 0;  // kAck: the acknowledged packet number
};

// Nothing unless the bytes are exactly one well-formed command or acknowledgement packet
// (records whose second byte is the complement of the first, then the closing sequence).
std::optional<ControlPacket> ParseControlPacket(std::string_view bytes);

// The settings datagram a box sends for a dump. Bytes 1-3 are "KZU"; DefaultIP is not part of
// it (the console takes the sender's address).
Bytes EncodeSettingsDatagram(const KZUSettings& settings);

}  // namespace ralvek::console
