#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <utility>

#include "ini/ini_file.h"

// The settings of quendor.ini, section "TCP Service", and the conversions of their values.
namespace ralvek::quendor {

inline constexpr const char* kSection = "TCP Service";
inline constexpr std::int32_t kDefaultPort = 1201;

// The file period from the text of file_interval: the absolute value of its leading number,
// rounded half to even; 15 or less gives 60. Throws vb::VbError "Overflow" past 32 bits.
std::int32_t file_interval_seconds(const std::string& text);

// The exchange number a key name stands for (its leading number, rounded), or 0 when the key
// is not an exchange entry (no number, or not above 0). Throws vb::VbError "Overflow" past
// 16 bits, so an entry that cannot be an array index fails the start.
std::int16_t exchange_number(const std::string& key_name);

struct HostPort {
  std::string host;
  std::int32_t port = kDefaultPort;
};

// "host" or "host:port". Any other number of colon-separated parts, an empty host, or an empty
// value throws the program error "Invalid IP: " + the whole value; a port that is not a number
// throws vb::VbError "Type mismatch"; a port outside 1..65535 throws "Invalid port number: ".
HostPort split_host_port(const std::string& value);

// Keepalive of the exchange connections, in seconds. Read from the optional keys
// keepalive_idle, keepalive_interval and keepalive_count; a missing value or one below 1 keeps
// the default.
struct KeepAliveSettings {
  int idle = 60;
  int interval = 10;
  int count = 3;
};
KeepAliveSettings read_keepalive(const ini::IniFile& ini);

// Exchange hosts compare without case: the key of a host text is its lower-case form.
std::string host_key(const std::string& host);

// "--check": reads quendor.ini of the program directory as the start does and reports on `out`
// what the service would use and what it would pass over. 0 when the start would succeed.
int check_settings(const std::filesystem::path& program_dir, std::ostream& out);

}  // namespace ralvek::quendor
