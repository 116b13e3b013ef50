#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>

#include "platform/serial_port.h"

// Conversions of the values of serrak.ini, section "COM Service".
namespace ralvek::serrak {

inline constexpr const char* kIniSection = "COM Service";

// A whole-number setting: the text must be a number (blanks around it allowed), rounded half
// to even. VbError "Type mismatch" for any other text, "Overflow" outside the range.
std::int16_t integer16_setting(std::string_view text);
std::int32_t integer32_setting(std::string_view text);

// A site ID is usable when its leading number is greater than 0 ("12abc" is, "abc" is not).
bool site_id_valid(std::string_view text);

// Flow control 0 to 3; VbError "Invalid property value" otherwise.
platform::Handshaking handshaking_mode(std::int32_t value);

// The device of the port: `com_device` when set, else the serial port numbered `com_port`
// (VbError "Invalid port number" below 1).
std::string com_device_path(std::int16_t com_port, const std::string& com_device);

// "--check": reads serrak.ini of the program directory as the start does and reports on `out`
// what the service would use and what it would pass over. 0 when the start would succeed.
int check_settings(const std::filesystem::path& program_dir, std::ostream& out);

}  // namespace ralvek::serrak
