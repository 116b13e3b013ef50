// "brastel --check": what the start makes of brastel.ini, and what it passes over in silence.
#include "ini/settings_check.h"
#include "figures/settings_keys.h"
#include "settings.h"
#include "vb/vb.h"

namespace ralvek::brastel {
namespace {

ini::ValueUse minutes(const std::string& text) {
  std::int32_t value = vb::CLng(vb::Val(text));
  ini::ValueUse use{std::to_string(value) + " min", {}};
  if (value < 1) use.shown += " (a cycle every minute)";
  return use;
}

ini::ValueUse error_limit(const std::string& text) {
  std::int32_t value = vb::CLng(vb::Val(text));
  return {value > 0 ? std::to_string(value) + " failed cycles in a row"
                    : std::to_string(value) + " (never stops by itself)",
          {}};
}

ini::ValueUse text_or(const std::string& text, const std::string& none) {
  return {text.empty() ? none : text, {}};
}

// The keys of section "Service" the service reads, in its order. New keys: one row each.
std::vector<ini::KnownKey> known_keys(const std::filesystem::path& program_dir) {
  using ini::Reading;
  return figures::with_figures_keys({
      {"ProcessInterval", "30", Reading::kLeadingNumber, minutes},
      {"UseFileSystemObject", "1", Reading::kLeadingNumber,
       ini::switch_value("1 (the service copies)", "0 (a batch file copies)")},
      {"DebugMode", "0", Reading::kLeadingNumber,
       ini::switch_value("1 (every entry logged)", "0 (errors and stops logged)")},
      {"UseBatchFile", "", Reading::kAsWritten,
       [](const std::string& t) { return text_or(t, "(none)"); }},
      {"LocalPath", (program_dir / "data" / "*.dat").string(), Reading::kAsWritten, nullptr},
      {"RemotePath", "", Reading::kAsWritten, [](const std::string& t) { return text_or(t, "(none)"); }},
      {"Extension", "DAT", Reading::kAsWritten,
       [](const std::string& t) { return ini::ValueUse{normalize_extension(t), {}}; }},
      {"AdminAlert", "", Reading::kAsWritten, [](const std::string& t) { return text_or(t, "(none)"); }},
      {"MaxErrCount", "0", Reading::kLeadingNumber, error_limit},
  }, false);
}

bool is_folder(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

// What the cycles will meet: the start does not look, so the check says it before they fail.
void check_places(ini::SettingsCheck& check, const ServiceSettings& s,
                  const std::filesystem::path& program_dir) {
  if (s.blnUseFSO) {
    auto local = parse_local_path(s.strLocalPath);
    if (!is_folder(local.folder)) {
      check.warning(0, "LocalPath", "folder " + local.folder.string() + " does not exist: every copy pass fails");
    }
    if (s.strRemotePath.empty()) {
      check.warning(0, "RemotePath", "empty: the copy pass has nowhere to copy to");
    } else if (!is_folder(s.strRemotePath)) {
      check.warning(0, "RemotePath", "folder " + s.strRemotePath + " does not exist (not mounted?): copies fail");
    }
  } else if (!s.strBatchFile.empty()) {
    std::error_code ec;
    auto batch = program_dir / s.strBatchFile;
    if (!std::filesystem::is_regular_file(batch, ec)) {
      check.warning(0, "UseBatchFile", batch.string() + " does not exist: every cycle fails to start it");
    }
  }
  if (s.strExtension.empty()) check.warning(0, "Extension", "empty: only files without an extension are copied");
}

}  // namespace

int check_settings(const std::filesystem::path& program_dir, std::ostream& out) {
  ini::SettingsCheck check(out, program_dir / "brastel.ini", kSection);
  if (check.read(false)) {
    check.report_keys(known_keys(program_dir), nullptr);
    try {
      ServiceSettings s = read_settings(check.ini(), program_dir);
      if (!s.blnUseFSO && s.strBatchFile.empty() && s.strRemotePath.empty()) {
        check.error(0, "", "Incorrect service parameters. UseFileSystemObject and UseBatchFile are "
                           "both zero.; the start fails");
      }
      check_places(check, s, program_dir);
    } catch (const std::exception& e) {
      if (check.errors() == 0) check.error(0, "", std::string(e.what()) + "; the start fails");
    }
  }
  return check.finish();
}

}  // namespace ralvek::brastel
