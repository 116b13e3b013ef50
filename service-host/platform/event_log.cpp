#include "platform/event_log.h"

#include <fcntl.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/clock.h"

namespace ralvek::platform {
namespace {

int journal_priority(std::int16_t type) {
  switch (type) {
    case kEventError: return 3;
    case kEventWarning: return 4;
    case kEventSuccess: return 5;
    default: return 6;
  }
}

void json_escape(std::string& out, const std::string& text) {
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7f) {
          char code[8];
          std::snprintf(code, sizeof(code), "\\u%04x", c);
          out += code;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
}

}  // namespace

SystemEventLog::SystemEventLog(std::string source) : source_(std::move(source)) {}

void SystemEventLog::write(const EventRecord& event) {
  sd_journal_send("MESSAGE=%s", event.text.c_str(), "PRIORITY=%d", journal_priority(event.type),
                  "SYSLOG_IDENTIFIER=%s", source_.c_str(), "RALVEK_EVENT_ID=%d",
                  static_cast<int>(event.id), "RALVEK_EVENT_TYPE=%d", static_cast<int>(event.type),
                  nullptr);
  std::time_t now = std::time(nullptr);
  append_event_file_line(event_json_line(source_, event, now));
  if (echo_) {
    std::string text = event.text;
    for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos;) text.replace(at, 2, "\n    ");
    std::fprintf(stderr, "%s %s [type %d, id %d] %s\n", iso_local_time(now).c_str(),
                 source_.c_str(), event.type, static_cast<int>(event.id), text.c_str());
  }
}

std::string event_json_line(const std::string& source, const EventRecord& event,
                            std::int64_t when) {
  std::string line = "{\"time\":\"" + iso_local_time(static_cast<std::time_t>(when)) +
                     "\",\"source\":\"";
  json_escape(line, source);
  line += "\",\"type\":" + std::to_string(event.type) + ",\"id\":" + std::to_string(event.id) +
          ",\"text\":\"";
  json_escape(line, event.text);
  line += "\"}\n";
  return line;
}

void append_event_file_line(const std::string& line) {
  // Opened once and kept: an event about running out of descriptors must still be written.
  static const int fd = [] {
    const char* path = std::getenv("RALVEK_EVENT_LOG");
    if (!path || !*path) return -1;
    return ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  }();
  if (fd < 0) return;
  [[maybe_unused]] auto written = ::write(fd, line.data(), line.size());
}

}  // namespace ralvek::platform
