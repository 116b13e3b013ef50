#pragma once
// KZUConfig: the box's control packets as hex text and bytes, the typed-address check and the
// hex/number conversions. Stateless; every operation reports its own failures to the KzuOutput
// given and never throws.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kzu_output.h"

namespace ralvek::console {

// One byte per char, values 0..255; what travels in one datagram.
using Bytes = std::string;

// Command numbers of KZUMakeCommand.
namespace kzu_command {
inline constexpr int kDump = 0, kSetLen = 1, kSetSiteId = 2, kSetIp = 3, kSetIp2 = 4, kSetBaud = 5,
                     kSetSendParams = 6, kUdpOn = 7, kUdpOff = 8, kComOn = 9, kComOff = 10,
                     kSetPeriod = 11, kSetResetInterval = 12, kB0 = 13, kB1 = 14, kRawHex = 15;
}

// The packet of the command with its values (numbers as decimal text, addresses dotted, the MAC
// as six hex pairs separated by spaces). Empty for an unknown number or after a failure; a value
// that cannot be converted refuses the whole packet.
Bytes KZUMakeCommand(int command, const std::vector<std::string>& values, KzuOutput& out);
// " " + the low byte of the value as two upper-case hex digits; empty after a failure.
std::string MakeHex(std::string_view value, KzuOutput& out);
// Hex text (pieces split at single spaces, at most 100) to bytes; bad pieces are skipped.
Bytes KZUDoCommand(std::string_view text, KzuOutput& out);
// The byte of one piece of upper-case hex text (first two characters count).
std::optional<char> KZUHex(std::string_view piece, KzuOutput& out);
// Bytes as upper-case hex pairs separated by single spaces.
std::string StrToHex(std::string_view bytes);
// Four decimal parts 0..255 separated by dots.
bool IsValidIP(std::string_view text);
// Hex digits (either case) to a number; -1 for a bad digit or a value above 2147483647.
std::int32_t HexToDec(std::string_view text);
// Eight upper-case hex digits of the rounded 32-bit value; "-1" for text that is not a number.
std::string DecToHex8(std::string_view value);

}  // namespace ralvek::console
