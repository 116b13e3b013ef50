#include "vb/vb.h"

#include <cmath>
#include <cstdlib>

namespace ralvek::vb {
namespace {

double round_half_even(double value) {
  if (std::isnan(value)) throw VbError(kOverflow, "Overflow");
  return std::nearbyint(value);  // default rounding mode: to nearest, ties to even
}

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + 32) : a[i];
    if (x != b[i]) return false;
  }
  return true;
}

}  // namespace

size_t ValLength(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  size_t digits = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  }
  return digits == 0 ? 0 : i;
}

double Val(std::string_view text) {
  size_t length = ValLength(text);
  if (length == 0) return 0;
  std::string number(text.substr(0, length));
  return std::strtod(number.c_str(), nullptr);
}

std::int16_t CInt(double value) {
  double rounded = round_half_even(value);
  if (rounded < -32768.0 || rounded > 32767.0) throw VbError(kOverflow, "Overflow");
  return static_cast<std::int16_t>(rounded);
}

std::int32_t CLng(double value) {
  double rounded = round_half_even(value);
  if (rounded < -2147483648.0 || rounded > 2147483647.0) throw VbError(kOverflow, "Overflow");
  return static_cast<std::int32_t>(rounded);
}

bool CBool(std::string_view text) {
  size_t first = text.find_first_not_of(" \t");
  size_t last = text.find_last_not_of(" \t");
  std::string_view word = first == std::string_view::npos ? std::string_view{}
                                                          : text.substr(first, last - first + 1);
  if (iequals(word, "true")) return true;
  if (iequals(word, "false")) return false;
  char* end = nullptr;
  std::string copy(word);
  double number = std::strtod(copy.c_str(), &end);
  if (copy.empty() || *end != '\0') throw VbError(kTypeMismatch, "Type mismatch");
  return number != 0;
}

}  // namespace ralvek::vb
