#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>

#include "ini/ini_file.h"

namespace ralvek::brastel {

// The settings of brastel.ini, section "Service", after their conversions.
struct ServiceSettings {
  std::int32_t lngProcessInterval = 30;  // minutes between cycles
  bool blnUseFSO = true;                 // the service copies itself
  bool blnDebugMode = false;             // routine entries are written too
  std::string strBatchFile;              // as written; made absolute by the start
  std::string strLocalPath;              // folder, or folder + "/" + file pattern
  std::string strRemotePath;             // destination folder
  std::string strExtension = "DAT";      // upper case, no dots
  std::string strAdminAlert;             // alert command template; empty: no alert
  std::int32_t lngMaxErrCount = 0;       // failed cycles that stop the service; <= 0: never
};

inline constexpr const char* kSection = "Service";

// Reads the keys in their fixed order, each with its default, and converts them. Throws
// vb::VbError "Overflow" when ProcessInterval or MaxErrCount does not fit in 32 bits.
ServiceSettings read_settings(const ini::IniFile& ini, const std::filesystem::path& program_dir);

// Extension as configured: every "." removed, then upper-cased.
std::string normalize_extension(const std::string& text);

// The folder to list and the file pattern of a LocalPath: when the last component holds a
// '*' or '?', it is a pattern for the files of the folder before it; otherwise the whole
// path is the folder and every file matches ("*").
struct LocalSource {
  std::filesystem::path folder;
  std::string pattern = "*";
};
LocalSource parse_local_path(const std::string& local_path);

// '*' (any run of characters) and '?' (one character), compared without ASCII case, as the
// file patterns of the platform the settings were first written for.
bool matches_pattern(const std::string& name, const std::string& pattern);

// "--check": reads brastel.ini of the program directory as the start does and reports on `out`
// what the service would use and what its cycles would meet. 0 when the start would succeed.
int check_settings(const std::filesystem::path& program_dir, std::ostream& out);

}  // namespace ralvek::brastel
