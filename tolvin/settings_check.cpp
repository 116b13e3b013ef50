// "tolvin --check": what the start makes of tolvin.ini, and what it passes over in silence.
#include <map>
#include "figures/settings_keys.h"
#include <set>

#include "ini/settings_check.h"
#include "settings.h"
#include "vb/vb.h"

namespace ralvek::tolvin {
namespace {

ini::UseValue seconds_or(const std::string& none) {
  return [=](const std::string& text) {
    std::int32_t seconds = vb::CLng(vb::Val(text));
    std::string shown = std::to_string(seconds);
    return ini::ValueUse{seconds > 0 ? shown + " s" : shown + " (" + none + ")", {}};
  };
}

ini::ValueUse port(const std::string& text) {
  std::int32_t port = vb::CLng(vb::Val(text));
  if (port < 0 || port > 65535) throw vb::VbError(22, "Invalid port number: " + std::to_string(port));
  ini::ValueUse use{std::to_string(port), {}};
  if (port == 0) use.warning = "port 0: TCP and UDP each get a port of the system's choosing";
  return use;
}

// The keys of section "tolvin" the service reads. New keys: one row each.
const std::vector<ini::KnownKey>& known_keys() {
  using ini::Reading;
  static const std::vector<ini::KnownKey> keys = figures::with_figures_keys({
      {"file_interval", "600", Reading::kLeadingNumber, seconds_or("no timed rotation")},
      {"disconnect_interval", "28800", Reading::kLeadingNumber, seconds_or("never")},
      {"local_port", "5005", Reading::kLeadingNumber, port},
      {"append_return", "0", Reading::kLeadingNumber,
       ini::switch_value("CR LF after every block", "0 (nothing after a block)")},
      {"max_count", "0", Reading::kLeadingNumber,
       ini::whole_number(16, 0, 32767, "no rotation by count")},
      {"udp_buffer_kb", "8192", Reading::kLeadingNumber,
       ini::whole_number(32, 0, kMaxUdpBufferKb, "clamped to 0-" + std::to_string(kMaxUdpBufferKb))},
  }, true);
  return keys;
}

// An address as the sockets report a sender: four decimal parts 0-255 without leading zeros.
bool plain_ipv4(const std::string& text) {
  int parts = 0;
  size_t at = 0;
  while (parts < 4) {
    size_t end = text.find('.', at);
    std::string part = text.substr(at, end == std::string::npos ? end : end - at);
    if (part.empty() || part.size() > 3 || part.find_first_not_of("0123456789") != std::string::npos ||
        (part.size() > 1 && part[0] == '0') || std::stoi(part) > 255) {
      return false;
    }
    ++parts;
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return parts == 4 && text.find('.', at) == std::string::npos;
}

void check_sites(ini::SettingsCheck& check) {
  std::map<std::string, int> address_lines;
  std::map<int, int> tcp_site_lines{{0, 0}};
  for (const auto& key : check.keys()) {
    if (!looks_like_address(key.name)) continue;
    std::int16_t site = 0;
    try {
      site = vb::converted(key.name, key.value, [](const std::string& t) { return vb::CInt(vb::Val(t)); });
    } catch (const std::exception& e) {
      check.error(key.line, key.name, std::string(e.what()) + "; the start fails");
      continue;
    }
    if (site >= 1000) {
      check.warning(key.line, key.name, "site number " + std::to_string(site) +
                                            " is 1000 or more: not a site, ignored");
      continue;
    }
    size_t comma = key.name.find(',');
    std::string address = key.name.substr(0, comma);
    std::string transport;
    if (comma != std::string::npos) {
      size_t next = key.name.find(',', comma + 1);
      transport = key.name.substr(comma + 1, next == std::string::npos ? next : next - comma - 1);
    }
    bool udp = transport == "udp";
    check.show("site " + ini::shortened(key.value) + ": " + ini::shortened(address) +
               (udp ? " UDP" : " TCP") + "  (line " + std::to_string(key.line) + ")");
    if (vb::ValLength(key.value) != key.value.size()) {
      check.warning(key.line, key.name, ini::quote(key.value) + " is read as site " +
                                            std::to_string(site));
    }
    if (!plain_ipv4(address)) {
      check.warning(key.line, key.name, ini::quote(address) +
                                            " is not an address as senders are seen "
                                            "(a.b.c.d, 0-255, no leading zeros): it never matches");
    }
    if (comma != std::string::npos && !udp) {
      check.warning(key.line, key.name, ini::quote(transport) +
                                            " after the comma is not exactly \"udp\": a TCP site");
    }
    if (auto [earlier, added] = address_lines.emplace(address, key.line); !added) {
      check.error(key.line, key.name, "address " + address + " already has a site (line " +
                                          std::to_string(earlier->second) + "); the start fails");
    }
    if (udp) {
      if (site < 0) check.warning(key.line, key.name, "a UDP site below 0 cannot store its blocks");
    } else if (site <= 0) {
      check.error(key.line, key.name, "a TCP site must be 1 to 999; the start fails");
    } else if (auto [earlier, added] = tcp_site_lines.emplace(site, key.line); !added) {
      check.error(key.line, key.name, "TCP site " + std::to_string(site) +
                                          " is already used (line " +
                                          std::to_string(earlier->second) + "); the start fails");
    }
  }
  if (address_lines.empty()) check.show("no sites: every sender is refused");
}

}  // namespace

int check_settings(const std::filesystem::path& program_dir, std::ostream& out) {
  ini::SettingsCheck check(out, program_dir / "tolvin.ini", "tolvin");
  if (check.read(true)) {
    check.report_keys(known_keys(), [](const ini::IniKey& key) { return looks_like_address(key.name); });
    check_sites(check);
    try {
      read_settings(check.ini());  // the start's own reading has the last word
    } catch (const std::exception& e) {
      if (check.errors() == 0) check.error(0, "", std::string(e.what()) + "; the start fails");
    }
  }
  return check.finish();
}

}  // namespace ralvek::tolvin
