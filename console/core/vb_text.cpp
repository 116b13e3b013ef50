#include "vb_text.h"

#include <charconv>
#include <cmath>

namespace ralvek::console {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the longest number at the start of text (0 when none); VB's "D" exponent is accepted.
std::size_t NumberPrefix(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  std::size_t end = i;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t exp_digits = 0;
    while (i < text.size() && IsDigit(text[i])) ++i, ++exp_digits;
    if (exp_digits > 0) end = i;
  }
  return end;
}

double ParsePrefix(std::string_view number) {
  std::string copy(number);
  for (char& c : copy) {
    if (c == 'd' || c == 'D') c = 'e';
  }
  const char* first = copy.data();
  if (*first == '+') ++first;
  double value = 0;
  auto [ptr, ec] = std::from_chars(first, copy.data() + copy.size(), value);
  if (ec == std::errc::result_out_of_range) {
    return std::signbit(value) || copy[0] == '-' ? -HUGE_VAL : HUGE_VAL;
  }
  (void)ptr;
  return value;
}

}  // namespace

double Val(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
  text.remove_prefix(start);
  const std::size_t len = NumberPrefix(text);
  return len == 0 ? 0.0 : ParsePrefix(text.substr(0, len));
}

std::optional<double> NumericValue(std::string_view text) {
  const std::string trimmed = TrimSpaces(text);
  if (trimmed.empty()) return std::nullopt;
  const std::size_t len = NumberPrefix(trimmed);
  if (len == 0 || len != trimmed.size()) return std::nullopt;
  return ParsePrefix(trimmed);
}

std::int32_t CLng(double value) {
  const double rounded = std::nearbyint(value);
  if (!std::isfinite(rounded) || rounded < -2147483648.0 || rounded > 2147483647.0) {
    throw RunTimeError("Overflow");
  }
  return static_cast<std::int32_t>(rounded);
}

std::int32_t CLng(std::string_view text) {
  const auto value = NumericValue(text);
  if (!value) throw RunTimeError("Type mismatch");
  return CLng(*value);
}

std::string LCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string UCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string TrimSpaces(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

std::vector<std::string> Split(std::string_view text, char sep, int limit) {
  std::vector<std::string> pieces;
  if (text.empty()) return pieces;
  std::size_t start = 0;
  while (true) {
    if (limit > 0 && static_cast<int>(pieces.size()) == limit - 1) {
      pieces.emplace_back(text.substr(start));
      break;
    }
    const auto pos = text.find(sep, start);
    if (pos == std::string_view::npos) {
      pieces.emplace_back(text.substr(start));
      break;
    }
    pieces.emplace_back(text.substr(start, pos - start));
    start = pos + 1;
  }
  return pieces;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  std::size_t start = 0;
  while (true) {
    const auto pos = text.find(from, start);
    if (from.empty() || pos == std::string_view::npos) break;
    out.append(text.substr(start, pos - start));
    out.append(to);
    start = pos + from.size();
  }
  out.append(text.substr(start));
  return out;
}

}  // namespace ralvek::console
