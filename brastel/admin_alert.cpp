#include "admin_alert.h"

#include "platform/process.h"

namespace ralvek::brastel {
namespace {

std::string replace_all(const std::string& text, const std::string& from, const std::string& to) {
  std::string out;
  size_t at = 0;
  while (true) {
    size_t found = text.find(from, at);
    if (found == std::string::npos) break;
    out.append(text, at, found - at);
    out += to;
    at = found + from.size();
  }
  out.append(text, at, std::string::npos);
  return out;
}

}  // namespace

std::vector<std::string> alert_argv(const std::string& strAdminAlert, const std::string& text) {
  std::string one_line = replace_all(text, "\r\n", ". ");
  std::vector<std::string> words = platform::split_words(strAdminAlert);
  for (auto& word : words) word = replace_all(word, "%1", one_line);
  return words;
}

}  // namespace ralvek::brastel
