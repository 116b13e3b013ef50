#include "settings.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "vb/vb.h"

namespace ralvek::quendor {
namespace {

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  if (text.empty()) return parts;  // an empty text has no parts at all, not one empty part
  size_t start = 0;
  while (true) {
    size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  return parts;
}

// A text that is a number as a whole (blanks around it allowed), as a port must be.
bool whole_text_is_number(const std::string& text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return false;
  size_t last = text.find_last_not_of(" \t");
  std::string core = text.substr(first, last - first + 1);
  char* end = nullptr;
  std::strtod(core.c_str(), &end);
  return end == core.c_str() + core.size() && core.find_first_of("xXnN") == std::string::npos;
}

int positive_or(const std::string& text, int fallback) {
  double value = vb::Val(text);
  if (!(value >= 1) || value > 2147483647.0) return fallback;
  return vb::CLng(value);
}

}  // namespace

std::int32_t file_interval_seconds(const std::string& text) {
  std::int32_t seconds = vb::CLng(std::fabs(vb::Val(text)));
  return seconds <= 15 ? 60 : seconds;
}

std::int16_t exchange_number(const std::string& key_name) {
  std::int16_t number = vb::CInt(vb::Val(key_name));
  return number > 0 ? number : 0;
}

HostPort split_host_port(const std::string& value) {
  auto parts = split(value, ':');
  if (parts.size() == 1 && !parts[0].empty()) return {parts[0], kDefaultPort};
  if (parts.size() != 2 || parts[0].empty()) throw vb::ProgramError("Invalid IP: " + value);
  if (!whole_text_is_number(parts[1])) throw vb::VbError(vb::kTypeMismatch, "Type mismatch");
  std::int32_t port = vb::CLng(vb::Val(parts[1]));
  if (port < 1 || port > 65535) throw vb::VbError(380, "Invalid port number: " + parts[1]);
  return {parts[0], port};
}

std::string host_key(const std::string& host) {
  std::string key = host;
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

KeepAliveSettings read_keepalive(const ini::IniFile& ini) {
  KeepAliveSettings keepalive;
  keepalive.idle = positive_or(ini.read_value(kSection, "keepalive_idle", ""), keepalive.idle);
  keepalive.interval =
      positive_or(ini.read_value(kSection, "keepalive_interval", ""), keepalive.interval);
  keepalive.count = positive_or(ini.read_value(kSection, "keepalive_count", ""), keepalive.count);
  return keepalive;
}

}  // namespace ralvek::quendor
