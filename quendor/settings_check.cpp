// "quendor --check": what the start makes of quendor.ini, and what it passes over in silence.
#include <cmath>
#include "figures/settings_keys.h"
#include <map>

#include "ini/settings_check.h"
#include "settings.h"
#include "vb/vb.h"

namespace ralvek::quendor {
namespace {

ini::ValueUse file_interval(const std::string& text) {
  std::int32_t seconds = file_interval_seconds(text);
  ini::ValueUse use{std::to_string(seconds) + " s", {}};
  double written = vb::Val(text);
  if (std::fabs(written) <= 15) {
    use.warning = "15 s or less is replaced by 60 s";
  } else if (written < 0) {
    use.warning = "the sign is dropped";
  }
  return use;
}

ini::UseValue keepalive(int fallback) {
  return [fallback](const std::string& text) {
    ini::ValueUse use{text, {}};
    double value = vb::Val(text);
    if (text.empty() || !(value >= 1) || value > 2147483647.0) {
      use.shown = std::to_string(fallback) + " (the default)";
      if (!text.empty()) use.warning = "below 1 or too large: the default " + std::to_string(fallback) + " is used";
    } else {
      use.shown = std::to_string(vb::CLng(value));
    }
    return use;
  };
}

// The keys of section "TCP Service" the service reads, besides the exchange entries. New keys:
// one row each.
const std::vector<ini::KnownKey>& known_keys() {
  using ini::Reading;
  KeepAliveSettings defaults;
  static const std::vector<ini::KnownKey> keys = figures::with_figures_keys({
      {"file_interval", "120", Reading::kLeadingNumber, file_interval},
      {"keepalive_idle", "", Reading::kLeadingNumber, keepalive(defaults.idle)},
      {"keepalive_interval", "", Reading::kLeadingNumber, keepalive(defaults.interval)},
      {"keepalive_count", "", Reading::kLeadingNumber, keepalive(defaults.count)},
  }, true);
  return keys;
}

bool is_exchange(const ini::IniKey& key) {
  try {
    return exchange_number(key.name) > 0;
  } catch (const std::exception&) {
    return true;  // a number past 16 bits: an entry the start fails on
  }
}

// Digits and dots that do not make a plain IPv4 address: a typing error rather than a name.
bool broken_ipv4(const std::string& host) {
  if (host.find_first_not_of("0123456789.") != std::string::npos) return false;
  int parts = 0;
  size_t at = 0;
  while (true) {
    size_t end = host.find('.', at);
    std::string part = host.substr(at, end == std::string::npos ? end : end - at);
    if (part.empty() || part.size() > 3 || std::stoi(part) > 255) return true;
    ++parts;
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return parts != 4;
}

void check_exchanges(ini::SettingsCheck& check) {
  std::map<int, int> number_lines;
  std::map<std::string, int> host_lines;
  for (const auto& key : check.keys()) {
    if (!is_exchange(key)) continue;
    try {
      std::int16_t n = vb::converted(key.name, key.name,
                                     [](const std::string& t) { return exchange_number(t); });
      if (vb::ValLength(key.name) != key.name.size()) {
        check.warning(key.line, key.name, "the key name is read as exchange " + std::to_string(n));
      }
      if (auto [earlier, added] = number_lines.emplace(n, key.line); !added) {
        throw vb::VbError(360, "exchange " + std::to_string(n) + " is already configured (line " +
                                   std::to_string(earlier->second) + ")");
      }
      HostPort target = vb::converted(key.name, key.value,
                                      [](const std::string& t) { return split_host_port(t); });
      check.show("exchange " + std::to_string(n) + ": " + ini::shortened(target.host) + ":" +
                 std::to_string(target.port) + "  (line " + std::to_string(key.line) + ")");
      if (broken_ipv4(target.host)) {
        check.warning(key.line, key.name, ini::quote(target.host) + " is not a valid address");
      }
      if (auto [earlier, added] = host_lines.emplace(host_key(target.host), key.line); !added) {
        throw vb::VbError(457, "host " + target.host + " is already configured (line " +
                                   std::to_string(earlier->second) + ")");
      }
    } catch (const std::exception& e) {
      check.error(key.line, key.name, std::string(e.what()) + "; the start fails");
    }
  }
  if (number_lines.empty()) check.show("no exchanges: the service connects to nothing");
}

}  // namespace

int check_settings(const std::filesystem::path& program_dir, std::ostream& out) {
  ini::SettingsCheck check(out, program_dir / "quendor.ini", kSection);
  if (check.read(false)) {
    check.report_keys(known_keys(), is_exchange);
    check_exchanges(check);
  }
  return check.finish();
}

}  // namespace ralvek::quendor
