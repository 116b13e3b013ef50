#include "event_report.h"

#include <fcntl.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "entry_text.h"

namespace ralvek::pemrod {

namespace {

constexpr int kEventType = 1;  // error
// The original platform's application logging wrote every event with ID 1.
constexpr int kEventId = 1;
constexpr int kJournalPriority = 3;  // err

// Length of the valid UTF-8 sequence at the start of `s`, 0 when it is not one.
std::size_t utf8_length(std::string_view s) {
  const auto b0 = static_cast<unsigned char>(s[0]);
  std::size_t n = 0;
  char32_t min = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    n = 2, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    n = 3, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    n = 4, min = 0x10000;
  } else {
    return 0;
  }
  if (s.size() < n) return 0;
  char32_t cp = b0 & (0x7F >> n);
  for (std::size_t i = 1; i < n; ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

void append_u00(std::string& out, unsigned char b) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "\\u%04x", b);
  out += hex;
}

void send_to_journal(std::string_view text) {
  // Failures (no journald, as in containers and tests) are not worth more than silence.
  sd_journal_send("MESSAGE=%.*s", static_cast<int>(text.size()), text.data(), "PRIORITY=%d",
                  kJournalPriority, "SYSLOG_IDENTIFIER=pemrod", "RALVEK_EVENT_ID=%d", kEventId,
                  "RALVEK_EVENT_TYPE=%d", kEventType, nullptr);
}

void append_to_event_file(const std::string& line) {
  const char* path = std::getenv("RALVEK_EVENT_LOG");
  if (path == nullptr || *path == '\0') return;
  const int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  // One write so that lines of concurrent writers never interleave.
  [[maybe_unused]] const auto written = ::write(fd, line.data(), line.size());
  ::close(fd);
}

}  // namespace

std::string json_escape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  while (!text.empty()) {
    const auto b = static_cast<unsigned char>(text[0]);
    std::size_t used = 1;
    switch (b) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (b < 0x20) {
          append_u00(out, b);
        } else if (b < 0x80) {
          out += static_cast<char>(b);
        } else if ((used = utf8_length(text)) > 0) {
          out.append(text.substr(0, used));
        } else {
          used = 1;
          append_u00(out, b);
        }
    }
    text.remove_prefix(used);
  }
  return out;
}

std::string event_json_line(std::string_view text, std::time_t when) {
  return "{\"time\":\"" + json_stamp(when) +
         "\",\"source\":\"pemrod\",\"type\":" + std::to_string(kEventType) +
         ",\"id\":" + std::to_string(kEventId) + ",\"text\":\"" + json_escape(text) + "\"}\n";
}

void report_error_event(std::string_view text, std::time_t when) noexcept {
  try {
    send_to_journal(text);
    append_to_event_file(event_json_line(text, when));
  } catch (...) {
    // Reporting must never turn into a failure of its own (OpenLog never raises).
  }
}

}  // namespace ralvek::pemrod
