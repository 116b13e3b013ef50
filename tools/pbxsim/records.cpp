#include "records.h"

#include <cstdio>

namespace ralvek::pbxsim {
namespace {

char pad_char(std::uint64_t seq, std::size_t i) { return static_cast<char>('a' + (seq + i) % 26); }

}  // namespace

std::string make_record(std::string_view source, std::uint64_t seq, std::size_t size) {
  char number[24];
  std::snprintf(number, sizeof(number), "%010llu", static_cast<unsigned long long>(seq));
  std::string record = "rec;";
  record.append(source).append(";").append(number).append(";");
  std::size_t body = size > record.size() + 2 ? size - record.size() - 2 : 0;
  for (std::size_t i = 0; i < body; ++i) record += pad_char(seq, i);
  record += "\r\n";
  return record;
}

std::optional<ParsedRecord> parse_record(std::string_view line) {
  if (line.substr(0, 4) != "rec;") return std::nullopt;
  line.remove_prefix(4);
  size_t semi = line.find(';');
  if (semi == std::string_view::npos) return std::nullopt;
  ParsedRecord parsed{std::string(line.substr(0, semi)), 0};
  line.remove_prefix(semi + 1);
  if (line.size() < 11 || line[10] != ';') return std::nullopt;
  for (int i = 0; i < 10; ++i) {
    if (line[i] < '0' || line[i] > '9') return std::nullopt;
    parsed.seq = parsed.seq * 10 + static_cast<unsigned>(line[i] - '0');
  }
  line.remove_prefix(11);
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] != pad_char(parsed.seq, i)) return std::nullopt;
  }
  return parsed;
}

}  // namespace ralvek::pbxsim
