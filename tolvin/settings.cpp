#include "settings.h"

#include <algorithm>

#include "vb/vb.h"

namespace ralvek::tolvin {

IpSettings read_settings(const ini::IniFile& ini) {
  IpSettings s;
  auto value = [&](const char* key, const char* default_text) {
    return ini.read_value("tolvin", key, default_text);
  };
  auto lng = [&](const char* key, const char* default_text) {
    return vb::converted(key, value(key, default_text),
                         [](const std::string& text) { return vb::CLng(vb::Val(text)); });
  };
  s.lngFileInterval = lng("file_interval", "600");
  s.lngDisconnectInterval = lng("disconnect_interval", "28800");
  s.local_port = lng("local_port", "5005");
  s.strLineEnd = vb::Val(value("append_return", "0")) != 0 ? "\r\n" : "";
  s.intMaxCount = vb::converted("max_count", value("max_count", "0"),
                                [](const std::string& text) { return vb::CInt(vb::Val(text)); });
  s.udp_buffer_kb = std::clamp(lng("udp_buffer_kb", "8192"), 0, kMaxUdpBufferKb);
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
    std::int16_t site = vb::converted(key.name, key.value,
                                      [](const std::string& text) { return vb::CInt(vb::Val(text)); });
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
