#include "ini/ini_file.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace ralvek::ini {
namespace {

std::string_view trim(std::string_view text) {
  const char* blanks = " \t\r\n\f\v";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

void IniFile::set_file_path(const std::filesystem::path& path) {
  path_ = path.string();
  sections_.clear();
  ignored_.clear();
  std::error_code ec;
  auto size = std::filesystem::file_size(path, ec);
  if (ec || size > kMaxFileSize) return;
  std::ifstream in(path, std::ios::binary);
  if (!in) return;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  parse(text);
}

void IniFile::parse(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  IniSection* current = nullptr;
  int number = 0;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      size_t close = line.find(']');
      std::string name(trim(line.substr(1, close == std::string_view::npos ? line.npos : close - 1)));
      auto same = [&](const IniSection& s) { return same_name(s.name, name); };
      auto found = std::find_if(sections_.begin(), sections_.end(), same);
      current = found != sections_.end() ? &*found
                                         : &sections_.emplace_back(IniSection{name, {}, number});
      continue;
    }
    size_t equals = line.find('=');
    std::string_view key = equals == std::string_view::npos ? std::string_view{}
                                                            : trim(line.substr(0, equals));
    if (!current || key.empty()) {
      ignored_.push_back({number, std::string(line)});
      continue;
    }
    current->keys.push_back({std::string(key), std::string(trim(line.substr(equals + 1))), number});
  }
}

const IniSection* IniFile::find(const std::string& name) const {
  for (const auto& section : sections_) {
    if (same_name(section.name, name)) return &section;
  }
  return nullptr;
}

std::string IniFile::read_value(const std::string& section, const std::string& key,
                                const std::string& default_text) const {
  const IniSection* found = find(section);
  if (!found) return default_text;
  for (const auto& entry : found->keys) {
    if (same_name(entry.name, key)) return entry.value;
  }
  return default_text;
}

const IniSection& IniFile::section(const std::string& name) const {
  const IniSection* found = find(name);
  if (!found) throw SectionNotFound("Section not found: " + name);
  return *found;
}

}  // namespace ralvek::ini
