#pragma once
// KZUSettings: the box's settings as the console last decoded them, the decoder of the box's
// settings packet, the baud conversions and the printed settings block.
#include <cstdint>
#include <string>
#include <string_view>

#include "kzu_config.h"
#include "kzu_output.h"

namespace ralvek::console {

struct KZUSettings {
  std::uint8_t E2 = 0;
  std::uint8_t E2Type = 0;
  std::int32_t UnitCapacity = 0;
  std::uint8_t EntryLen = 0;
  std::uint8_t Flags = 0;  // 0x80 Pending, 0x40 E2 present, 0x20 UDPSend
  std::uint8_t BaudRate = 0;  // code 0..5
  std::int32_t SiteID = 0;
  std::int32_t LastPacketID = 0;
  std::int32_t NumOfPackets = 0;
  std::uint8_t Period = 0;  // tenths of a second
  std::uint8_t ResetInterval = 0;
  std::string DefaultIP = "0.0.0.0";
  std::string SecondIP = "0.0.0.0";
  std::string SendIP = "255.255.255.255";
  std::int32_t SendPort = 2552;
  std::string SendMAC = "FF-FF-FF-FF-FF-FF";

  bool operator==(const KZUSettings&) const = default;
};

inline constexpr std::uint8_t kFlagPending = 0x80, kFlagE2 = 0x40, kFlagUdpSend = 0x20;

void ClearCurrentKZUSettings(KZUSettings& settings);

// Decodes a 38-byte settings packet (the box's 34 bytes + its four address bytes) into settings.
// address_bytes holds bytes 35-38 on entry and the last address decoded, dotted, on return.
// False (with the console lines) when the packet is refused; fields already stored stay.
bool SetCurrentKZUSettings(KZUSettings& settings, std::string_view packet, std::string& address_bytes,
                           KzuOutput& out);

// Four bytes as dotted decimal; empty unless exactly four bytes.
std::string BytesToIP(std::string_view bytes);

// Rate to code 0..5 (the argument becomes the code); other rates print "invalid baud-rate", give 0.
int BaudToCode(std::int32_t& rate, KzuOutput& out);
// Code to rate (the argument becomes the rate); other codes print "Couldn't read baud information", give 0.
std::int32_t BaudCodeToRate(std::int32_t& code, KzuOutput& out);
// True for the rates BaudToCode knows.
bool IsKnownBaudRate(std::int32_t rate);

// The settings block as ShowConfig prints it (lines ended by CR LF); decimal_separator is the
// system's. Baud messages reach out while the text is built, so they come before it.
std::string ShowConfigText(const KZUSettings& settings, char decimal_separator, KzuOutput& out);

}  // namespace ralvek::console
