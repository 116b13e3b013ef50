#pragma once

#include <cstdint>
#include <string>

namespace ralvek::platform {

// Event types of the event log.
enum EventType : std::int16_t {
  kEventSuccess = 0,
  kEventError = 1,
  kEventWarning = 2,
  kEventInformation = 4,
};

struct EventRecord {
  std::int16_t type = kEventInformation;
  std::int32_t id = 0;
  std::string text;  // lines joined by CR LF
};

// Where a service's events go. Writing never throws: an event that cannot be recorded is lost,
// it must not take the service down with it.
class EventLog {
 public:
  virtual ~EventLog() = default;
  virtual void write(const EventRecord& event) = 0;
};

// The system event log: the journal (SYSLOG_IDENTIFIER = source), one JSON line per event
// appended to $RALVEK_EVENT_LOG when set, and standard error while `echo_to_stderr` is on.
class SystemEventLog final : public EventLog {
 public:
  explicit SystemEventLog(std::string source);
  void write(const EventRecord& event) override;
  void set_echo_to_stderr(bool on) { echo_ = on; }

 private:
  std::string source_;
  bool echo_ = false;
};

// The JSON line recorded in $RALVEK_EVENT_LOG for one event, newline included.
std::string event_json_line(const std::string& source, const EventRecord& event, std::int64_t when);

// Appends one line to the file named by $RALVEK_EVENT_LOG (one write call, so lines of
// concurrent writers never interleave). Does nothing when the variable is unset.
void append_event_file_line(const std::string& line);

}  // namespace ralvek::platform
