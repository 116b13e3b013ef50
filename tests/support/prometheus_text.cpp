#include "prometheus_text.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <set>

namespace ralvek::e2e {
namespace {

bool name_char(char c, bool first, bool colon) {
  bool letter = std::isalpha(static_cast<unsigned char>(c)) || c == '_' || (colon && c == ':');
  return first ? letter : letter || std::isdigit(static_cast<unsigned char>(c));
}

bool valid_name(const std::string& name, bool colon) {
  if (name.empty()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (!name_char(name[i], i == 0, colon)) return false;
  }
  return true;
}

double number(const std::string& text, const std::string& line) {
  if (text == "+Inf") return INFINITY;
  if (text == "-Inf") return -INFINITY;
  if (text == "NaN") return NAN;
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || std::isspace(static_cast<unsigned char>(text[0]))) {
    throw std::runtime_error("not a number in: " + line);
  }
  return value;
}

// Reads `{a="x",b="y"}` at `at`; leaves `at` after the brace.
void labels(const std::string& line, std::size_t& at) {
  std::set<std::string> seen;
  ++at;
  while (at < line.size() && line[at] != '}') {
    std::size_t eq = line.find('=', at);
    if (eq == std::string::npos) throw std::runtime_error("label without '=': " + line);
    std::string name = line.substr(at, eq - at);
    if (!valid_name(name, false)) throw std::runtime_error("bad label name '" + name + "': " + line);
    if (!seen.insert(name).second) throw std::runtime_error("label twice: " + line);
    at = eq + 1;
    if (at >= line.size() || line[at] != '"') throw std::runtime_error("unquoted label value: " + line);
    for (++at;; ++at) {
      if (at >= line.size()) throw std::runtime_error("unterminated label value: " + line);
      if (line[at] == '"') break;
      if (line[at] == '\\') {
        ++at;
        if (at >= line.size() || (line[at] != '\\' && line[at] != '"' && line[at] != 'n')) {
          throw std::runtime_error("bad escape: " + line);
        }
      }
    }
    ++at;
    if (at < line.size() && line[at] == ',') ++at;
    else if (at >= line.size() || line[at] != '}') throw std::runtime_error("bad label list: " + line);
  }
  if (at >= line.size()) throw std::runtime_error("unterminated labels: " + line);
  ++at;
}

}  // namespace

PrometheusText parse_prometheus_text(const std::string& text) {
  static const std::set<std::string> kTypes = {"counter", "gauge", "histogram", "summary", "untyped"};
  PrometheusText result;
  if (!text.empty() && text.back() != '\n') throw std::runtime_error("last line without LF");
  std::set<std::string> helped, finished;
  std::string current;  // family whose samples are being read
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find('\n', begin);
    std::string line = text.substr(begin, end - begin);
    begin = end + 1;
    if (line.empty()) continue;
    if (line.rfind("# ", 0) == 0) {
      std::size_t space = line.find(' ', 2);
      std::string keyword = line.substr(2, space == std::string::npos ? std::string::npos : space - 2);
      if (keyword != "HELP" && keyword != "TYPE") continue;  // a comment
      if (space == std::string::npos) throw std::runtime_error("no metric name: " + line);
      std::size_t name_end = line.find(' ', space + 1);
      std::string name = line.substr(space + 1, name_end == std::string::npos ? std::string::npos : name_end - space - 1);
      if (!valid_name(name, true)) throw std::runtime_error("bad metric name: " + line);
      if (finished.count(name) || (name != current && result.samples.count(name))) {
        throw std::runtime_error("metadata after samples of " + name);
      }
      if (keyword == "HELP") {
        if (!helped.insert(name).second) throw std::runtime_error("HELP twice: " + line);
      } else {
        std::string type = name_end == std::string::npos ? "" : line.substr(name_end + 1);
        if (!kTypes.count(type)) throw std::runtime_error("bad type: " + line);
        if (!result.types.emplace(name, type).second) throw std::runtime_error("TYPE twice: " + line);
        if (type == "counter" && (name.size() < 6 || name.compare(name.size() - 6, 6, "_total") != 0)) {
          throw std::runtime_error("counter not named _total: " + line);
        }
      }
      if (name != current && !current.empty()) finished.insert(current);
      current = name;
      continue;
    }
    if (line[0] == '#') continue;
    std::size_t at = 0;
    while (at < line.size() && name_char(line[at], at == 0, true)) ++at;
    std::string name = line.substr(0, at);
    if (!valid_name(name, true)) throw std::runtime_error("bad sample name: " + line);
    if (name != current) {
      if (!current.empty()) finished.insert(current);
      if (finished.count(name)) throw std::runtime_error("family not together: " + line);
      current = name;
    }
    if (at < line.size() && line[at] == '{') labels(line, at);
    if (at >= line.size() || line[at] != ' ') throw std::runtime_error("no space before the value: " + line);
    std::string rest = line.substr(at + 1);
    std::size_t space = rest.find(' ');
    double value = number(rest.substr(0, space), line);
    if (space != std::string::npos) number(rest.substr(space + 1), line);  // a time stamp
    if (!result.samples.emplace(line.substr(0, at), value).second) {
      throw std::runtime_error("sample twice: " + line);
    }
  }
  return result;
}

}  // namespace ralvek::e2e
