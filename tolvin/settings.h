#pragma once

#include <cstdint>
#include <functional>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>

#include "ini/ini_file.h"

namespace ralvek::tolvin {

// The settings of section "tolvin", converted.
struct IpSettings {
  std::int32_t lngFileInterval = 600;
  std::int32_t lngDisconnectInterval = 28800;
  std::int32_t local_port = 5005;
  std::string strLineEnd;  // CR LF or empty
  std::int16_t intMaxCount = 0;
  // udp_buffer_kb: the UDP socket's receive buffer in KiB, so a burst outlasts a pause of the
  // loop; 0 keeps the system's default. At most kMaxUdpBufferKb.
  std::int32_t udp_buffer_kb = 8192;
};
inline constexpr std::int32_t kMaxUdpBufferKb = 1024 * 1024;

// Reads the five settings with their defaults. Throws vb::VbError on a value out of range.
IpSettings read_settings(const ini::IniFile& ini);

// A key name that looks like an address ("*.*.*.*": at least three dots).
bool looks_like_address(const std::string& name);

// The site table: sender address (as written before the first comma) -> site number text (the
// value as written).
struct SiteTable {
  std::map<std::string, std::string> dicSites;
  std::int16_t intMaxSite = 0;
};

// Builds the site table from the keys of section "tolvin" in file order. `on_tcp_site` is called
// for each TCP site entry, in order, with its number and value text (the caller creates the
// site's socket there, so its failure stops the walk at the right entry). Throws vb::VbError for
// duplicate addresses and out-of-range site numbers.
SiteTable build_site_table(
    const ini::IniSection& section,
    const std::function<void(std::int16_t site, const std::string& value)>& on_tcp_site);

// "--check": reads tolvin.ini of the program directory as the start does and reports on `out`
// what the service would use and what it would pass over. 0 when the start would succeed.
int check_settings(const std::filesystem::path& program_dir, std::ostream& out);

}  // namespace ralvek::tolvin
