#include "ini_settings_store.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#include "vb_text.h"

namespace ralvek::console {
namespace {

constexpr char kSection[] = "config";

std::vector<std::string> ReadLines(const std::filesystem::path& file) {
  std::vector<std::string> lines;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool IsSection(const std::string& line, std::string* name) {
  const std::string t = Trimmed(line);
  if (t.size() < 2 || t.front() != '[' || t.back() != ']') return false;
  *name = LCase(Trimmed(t.substr(1, t.size() - 2)));
  return true;
}

// Index of the key's line inside [Config], or -1.
int FindKey(const std::vector<std::string>& lines, const std::string& key, int* section_end) {
  bool inside = false;
  int found = -1;
  *section_end = -1;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string name;
    if (IsSection(lines[i], &name)) {
      if (inside) break;
      inside = name == kSection;
      if (inside) *section_end = static_cast<int>(i) + 1;
      continue;
    }
    if (!inside) continue;
    if (!Trimmed(lines[i]).empty()) *section_end = static_cast<int>(i) + 1;
    const auto eq = lines[i].find('=');
    if (eq != std::string::npos && LCase(Trimmed(lines[i].substr(0, eq))) == LCase(key) && found < 0) {
      found = static_cast<int>(i);
    }
  }
  return found;
}

}  // namespace

IniSettingsStore::IniSettingsStore(std::filesystem::path file) : file_(std::move(file)) {}

std::filesystem::path IniSettingsStore::DefaultPath() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::filesystem::path base;
  if (xdg != nullptr && *xdg != '\0') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::filesystem::path(home != nullptr ? home : ".") / ".config";
  }
  return base / "ralvek" / "console.ini";
}

std::string IniSettingsStore::GetSetting(const std::string& key, const std::string& default_value) {
  const auto lines = ReadLines(file_);
  int section_end = -1;
  const int index = FindKey(lines, key, &section_end);
  if (index < 0) return default_value;
  const std::string& line = lines[static_cast<std::size_t>(index)];
  return Trimmed(line.substr(line.find('=') + 1));
}

void IniSettingsStore::SaveSetting(const std::string& key, const std::string& value) {
  auto lines = ReadLines(file_);
  int section_end = -1;
  const int index = FindKey(lines, key, &section_end);
  const std::string entry = key + "=" + value;
  if (index >= 0) {
    lines[static_cast<std::size_t>(index)] = entry;
  } else if (section_end >= 0) {
    lines.insert(lines.begin() + section_end, entry);
  } else {
    lines.push_back("[Config]");
    lines.push_back(entry);
  }
  std::error_code ec;
  std::filesystem::create_directories(file_.parent_path(), ec);
  const auto temp = std::filesystem::path(file_.string() + ".new");
  {
    std::ofstream out(temp, std::ios::trunc);
    for (const auto& line : lines) out << line << '\n';
    out.flush();
    if (!out) throw RunTimeError("Cannot write settings file " + temp.string());
  }
  std::filesystem::rename(temp, file_, ec);
  if (ec) throw RunTimeError("Cannot write settings file " + file_.string() + ": " + ec.message());
}

}  // namespace ralvek::console
