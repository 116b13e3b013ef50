// "serrak --check": what the start makes of serrak.ini, and what it passes over in silence.
#include <string>
#include "figures/settings_keys.h"

#include "com_settings.h"
#include "ini/settings_check.h"
#include "vb/vb.h"

namespace ralvek::serrak {
namespace {

ini::ValueUse site_id(const std::string& text) {
  if (!site_id_valid(text) || text.find_first_of(std::string("/\0", 2)) != std::string::npos) {
    throw vb::ProgramError("Invalid Site ID: " + text);
  }
  ini::ValueUse use{text, {}};
  if (vb::ValLength(text) != text.size()) {
    use.warning = "the site ID is used as written, letters included, in the file names";
  }
  return use;
}

ini::ValueUse boolean(const std::string& text) {
  return {vb::CBool(text) ? "on" : "off", {}};
}

ini::ValueUse handshaking(const std::string& text) {
  static const char* const kModes[] = {"none", "XON/XOFF", "RTS/CTS", "RTS/CTS and XON/XOFF"};
  return {kModes[static_cast<int>(handshaking_mode(integer32_setting(text)))], {}};
}

ini::ValueUse line_settings(const std::string& text) {
  platform::parse_line_settings(text);
  return {text, {}};
}

ini::ValueUse interval(const std::string& text) {
  std::int32_t ticks = integer32_setting(text);
  ini::ValueUse use{std::to_string(ticks) + " s", {}};
  if (ticks < 0) use.warning = "a negative interval never renames the file";
  return use;
}

// The keys of section "COM Service" the service reads. New keys: one row each.
const std::vector<ini::KnownKey>& known_keys() {
  using ini::Reading;
  static const std::vector<ini::KnownKey> keys = figures::with_figures_keys({
      {"siteid", "0", Reading::kAsWritten, site_id},
      {"com_port", "1", Reading::kAsWritten,
       [](const std::string& text) { return ini::ValueUse{std::to_string(integer16_setting(text)), {}}; }},
      {"com_device", "", Reading::kAsWritten,
       [](const std::string& text) { return ini::ValueUse{text.empty() ? "(none: com_port)" : text, {}}; }},
      {"com_rts", "1", Reading::kAsWritten, boolean},
      {"com_dtr", "1", Reading::kAsWritten, boolean},
      {"com_handshaking", "0", Reading::kAsWritten, handshaking},
      {"com_settings", "9600,n,8,1", Reading::kAsWritten, line_settings},
      {"com_interval", "45", Reading::kAsWritten, interval},
      {"delete_temp_files", "1", Reading::kLeadingNumber, ini::switch_value("1", "0")},
  }, true);
  return keys;
}

void check_device(ini::SettingsCheck& check) {
  const auto& ini = check.ini();
  std::string device = ini.read_value(kIniSection, "com_device", "");
  try {
    std::int16_t port = integer16_setting(ini.read_value(kIniSection, "com_port", "1"));
    check.show("device: " + com_device_path(port, device));
  } catch (const std::exception& e) {
    if (check.errors() == 0) check.error(0, "com_port", std::string(e.what()) + "; the start fails");
  }
}

void check_script(ini::SettingsCheck& check, const std::filesystem::path& program_dir) {
  for (const char* name : {"serrak.vbs", "serrak.vbe"}) {
    std::error_code ec;
    if (std::filesystem::exists(program_dir / name, ec)) {
      check.show("script: " + (program_dir / name).string());
      return;
    }
  }
  check.show("script: none");
}

}  // namespace

int check_settings(const std::filesystem::path& program_dir, std::ostream& out) {
  ini::SettingsCheck check(out, program_dir / "serrak.ini", kIniSection);
  if (check.read(false)) {
    check.report_keys(known_keys(), nullptr);
    check_device(check);
    check_script(check, program_dir);
  }
  return check.finish();
}

}  // namespace ralvek::serrak
