#include "figures/alarm_hours.h"

#include <array>
#include <cctype>
#include <sstream>

namespace ralvek::figures {
namespace {

constexpr std::array<const char*, 7> kDays = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

int day_number(const std::string& name) {
  for (int i = 0; i < 7; ++i) {
    if (name == kDays[static_cast<std::size_t>(i)]) return i;
  }
  return -1;
}

std::optional<int> hour_number(const std::string& text) {
  if (text.empty() || text.size() > 2) return std::nullopt;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
  }
  int hour = std::stoi(text);
  if (hour > 24) return std::nullopt;
  return hour;
}

// "a-b" split at its one dash; "a" alone gives a twice.
bool split_range(const std::string& text, std::string& first, std::string& last) {
  auto dash = text.find('-');
  if (dash != text.rfind('-')) return false;
  first = text.substr(0, dash);
  last = dash == std::string::npos ? first : text.substr(dash + 1);
  return true;
}

}  // namespace

std::optional<AlarmHours> AlarmHours::parse(const std::string& text) {
  AlarmHours hours;
  std::stringstream entries(lower(text));
  std::string entry;
  while (std::getline(entries, entry, ',')) {
    std::stringstream words(entry);
    std::vector<std::string> parts;
    for (std::string word; words >> word;) parts.push_back(word);
    if (parts.empty() && entry.find_first_not_of(" \t") == std::string::npos) continue;
    if (parts.empty() || parts.size() > 2) return std::nullopt;
    Span span;
    std::string first, last;
    if (parts.size() == 2) {
      if (!split_range(parts[0], first, last)) return std::nullopt;
      int from = day_number(first), to = day_number(last);
      if (from < 0 || to < 0) return std::nullopt;
      span.days = 0;
      for (int day = from;; day = (day + 1) % 7) {
        span.days |= 1u << day;
        if (day == to) break;
      }
    }
    if (!split_range(parts.back(), first, last) || first == last) return std::nullopt;
    auto from = hour_number(first), to = hour_number(last);
    if (!from || !to || *from == 24) return std::nullopt;
    span.from = *from;
    span.to = *to;
    hours.spans_.push_back(span);
  }
  return hours;
}

bool AlarmHours::contains(const std::tm& local) const {
  if (spans_.empty()) return true;
  for (const Span& span : spans_) {
    int hour = local.tm_hour;
    int day = local.tm_wday;
    if (span.from < span.to) {
      if ((span.days >> day & 1u) && hour >= span.from && hour < span.to) return true;
    } else {
      // Past midnight: the early hours belong to the day before.
      if ((span.days >> day & 1u) && hour >= span.from) return true;
      if ((span.days >> ((day + 6) % 7) & 1u) && hour < span.to) return true;
    }
  }
  return false;
}

}  // namespace ralvek::figures
