#pragma once
// The per-user settings store: section [Config] of
// ${XDG_CONFIG_HOME:-$HOME/.config}/ralvek/console.ini. Other sections and keys are kept as found.
#include <filesystem>
#include <string>

#include "console_ports.h"

namespace ralvek::console {

class IniSettingsStore final : public SettingsStore {
 public:
  explicit IniSettingsStore(std::filesystem::path file);
  // The file of the current user, from the environment.
  static std::filesystem::path DefaultPath();

  std::string GetSetting(const std::string& key, const std::string& default_value) override;
  // Rewrites the file through a temporary file and a rename, so a crash leaves the old or the new one.
  void SaveSetting(const std::string& key, const std::string& value) override;

 private:
  std::filesystem::path file_;
};

}  // namespace ralvek::console
