#include "settings.h"

#include <algorithm>

#include "vb/vb.h"

namespace ralvek::tolvin {

IpSettings read_settings(const ini::IniFile& ini) {
  IpSettings s;
  auto value = [&](const char* key, const char* default_text) {
    return vb::Val(ini.read_value("tolvin", key, default_text));
  };
  s.lngFileInterval = vb::CLng(value("file_interval", "600"));
  s.lngDisconnectInterval = vb::CLng(value("disconnect_interval", "28800"));
  s.local_port = vb::CLng(value("local_port", "5005"));
  s.strLineEnd = value("append_return", "0") != 0 ? "\r\n" : "";
  s.intMaxCount = vb::CInt(value("max_count", "0"));
  s.udp_buffer_kb = std::clamp(vb::CLng(value("udp_buffer_kb", "8192")), 0, kMaxUdpBufferKb);
  return s;
}

bool looks_like_address(const std::string& name) {
  return std::count(name.begin(), name.end(), '.') >= 3;
}

SiteTable build_site_table(
    const ini::IniSection& section,
    const std::function<void(std::int16_t site, const std::string& value)>& on_tcp_site) {
  SiteTable table;
  for (const auto& key : section.keys) {
    // Only address-like keys are sites: a settings value such as disconnect_interval=40000 is
    // not a site number and must not fail the 16-bit conversion.
    if (!looks_like_address(key.name)) continue;
    std::int16_t site = vb::CInt(vb::Val(key.value));
    if (site >= 1000) continue;
    size_t comma = key.name.find(',');
    std::string address = key.name.substr(0, comma);
    if (auto earlier = table.dicSites.find(address); earlier != table.dicSites.end()) {
      throw vb::ProgramError("Duplicate IP: " + address + " for site " + key.value + " and " +
                             earlier->second);
    }
    table.dicSites.emplace(address, key.value);
    std::string transport;
    if (comma != std::string::npos) {
      size_t next = key.name.find(',', comma + 1);
      transport = key.name.substr(comma + 1, next == std::string::npos ? next : next - comma - 1);
    }
    if (transport != "udp") on_tcp_site(site, key.value);
    table.intMaxSite = std::max(table.intMaxSite, site);
  }
  return table;
}

}  // namespace ralvek::tolvin
