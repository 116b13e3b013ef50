#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace ralvek::pemrod {

// Reports one error event (type 1) of source "pemrod": to the system journal and, when
// $RALVEK_EVENT_LOG names a file, as one JSON line appended with one write(2). Never
// throws; a destination that fails is skipped.
void report_error_event(std::string_view text, std::time_t when) noexcept;

// The JSON line (with its final '\n') that report_error_event appends.
std::string event_json_line(std::string_view text, std::time_t when);

// `text` as the inside of a JSON string: quotes, backslashes and control characters escaped,
// bytes that are not valid UTF-8 taken as Latin-1 (\u00XX) so the line stays valid JSON.
std::string json_escape(std::string_view text);

}  // namespace ralvek::pemrod
