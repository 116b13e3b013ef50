#include "settings.h"

#include "vb/vb.h"

namespace ralvek::brastel {
namespace {

char upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

bool matches_from(const std::string& name, size_t n, const std::string& pattern, size_t p) {
  // Iterative with one backtrack point: linear enough for file names, no recursion depth.
  size_t star = std::string::npos, star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || upper(pattern[p]) == upper(name[n]))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_n = n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++star_n;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

std::string normalize_extension(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != '.') out += upper(c);
  }
  return out;
}

ServiceSettings read_settings(const ini::IniFile& ini, const std::filesystem::path& program_dir) {
  auto value = [&](const char* key, const std::string& default_text) {
    return ini.read_value(kSection, key, default_text);
  };
  ServiceSettings s;
  auto lng = [&](const char* key, const char* default_text) {
    return vb::converted(key, value(key, default_text),
                         [](const std::string& text) { return vb::CLng(vb::Val(text)); });
  };
  s.lngProcessInterval = lng("ProcessInterval", "30");
  s.blnUseFSO = vb::Val(value("UseFileSystemObject", "1")) != 0;
  s.blnDebugMode = vb::Val(value("DebugMode", "0")) != 0;
  s.strBatchFile = value("UseBatchFile", "");
  s.strLocalPath = value("LocalPath", (program_dir / "data" / "*.dat").string());
  s.strRemotePath = value("RemotePath", "");
  s.strExtension = normalize_extension(value("Extension", "DAT"));
  s.strAdminAlert = value("AdminAlert", "");
  s.lngMaxErrCount = lng("MaxErrCount", "0");
  return s;
}

LocalSource parse_local_path(const std::string& local_path) {
  std::filesystem::path path(local_path);
  std::string last = path.filename().string();
  if (last.find_first_of("*?") == std::string::npos) return {path, "*"};
  auto folder = path.parent_path();
  return {folder.empty() ? std::filesystem::path(".") : folder, last};
}

bool matches_pattern(const std::string& name, const std::string& pattern) {
  return matches_from(name, 0, pattern, 0);
}

}  // namespace ralvek::brastel
