#include "platform/clock.h"

#include <cstdio>
#include <cstdlib>

namespace ralvek::platform {
namespace {

std::tm local(std::time_t when) {
  std::tm tm{};
  localtime_r(&when, &tm);
  return tm;
}

}  // namespace

std::string time_stamp(std::time_t when) {
  std::tm tm = local(when);
  char text[64];
  std::snprintf(text, sizeof(text), "%04d%02d%02d%02d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return text;
}

std::string time_stamp_now() { return time_stamp(std::time(nullptr)); }

std::string iso_local_time(std::time_t when) {
  std::tm tm = local(when);
  char text[64];
  std::snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d:%02d:%02d", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return text;
}

int time_scale() {
  static const int scale = [] {
    const char* text = std::getenv("RALVEK_TIME_SCALE");
    if (!text) return 1;
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 1 || value > 1000000) return 1;
    return static_cast<int>(value);
  }();
  return scale;
}

std::chrono::milliseconds scaled(std::chrono::milliseconds length) {
  auto result = length / time_scale();
  return result.count() < 1 ? std::chrono::milliseconds(1) : result;
}

}  // namespace ralvek::platform
