#include "entry_text.h"

#include <time.h>

namespace ralvek::pemrod {

namespace {

std::string format_local(std::time_t t, const char* format) {
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) local = std::tm{};
  char text[64];
  const auto n = std::strftime(text, sizeof text, format, &local);
  return std::string(text, n);
}

// One left-to-right pass; matches do not overlap.
std::string replace_all(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  std::size_t at = 0;
  for (auto hit = text.find(from); hit != std::string_view::npos; hit = text.find(from, at)) {
    out.append(text, at, hit - at);
    out += to;
    at = hit + from.size();
  }
  out.append(text, at);
  return out;
}

}  // namespace

std::string entry_stamp(std::time_t t) {
  return format_local(t, "%Y-%m-%d %H:%M:%S");
}
std::string rollover_stamp(std::time_t t) {
  return format_local(t, "%Y%m%d%H%M%S");
}
std::string json_stamp(std::time_t t) {
  return format_local(t, "%Y-%m-%dT%H:%M:%S");
}

std::string entry_bytes(std::string_view stamp, std::span<const std::string_view> lines) {
  std::string joined;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) joined += "\r\n";
    joined += lines[i];
  }
  std::string text = "\t";
  text += replace_all(joined, "\r\n", "\r\n\t");
  text += "\r\n";
  // Each pass shortens the text, so "until the length stops changing" is "until none is left".
  constexpr std::string_view kEmptyLine = "\r\n\t\r\n\t";
  while (text.find(kEmptyLine) != std::string::npos) text = replace_all(text, kEmptyLine, "\r\n\t");
  std::string entry;
  entry.reserve(stamp.size() + text.size() + 4);
  entry.append(stamp).append("\r\n").append(text).append("\r\n");
  return entry;
}

}  // namespace ralvek::pemrod
