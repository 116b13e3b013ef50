#include "frame/event_throttle.h"

namespace ralvek::frame {

EventThrottle::EventThrottle(int burst, Clock::duration window, Write write_summary)
    : burst_(burst), window_(window), write_summary_(std::move(write_summary)) {}

std::string EventThrottle::left_out_line(std::uint64_t count) {
  return std::to_string(count) + " more events like this were left out of the log.";
}

bool EventThrottle::admit(const std::string& kind, Clock::time_point now, const std::function<Event()>& make) {
  auto [it, fresh] = windows_.try_emplace(kind);
  Window& window = it->second;
  if (!fresh && now - window.start >= window_) {
    summarise(window);
    fresh = true;
  }
  if (fresh) window = {now, 0, 0, make()};
  if (window.written < burst_) {
    ++window.written;
    return true;
  }
  ++window.left_out;
  return false;
}

void EventThrottle::sweep(Clock::time_point now) {
  for (auto it = windows_.begin(); it != windows_.end();) {
    if (now == Clock::time_point::max() || now - it->second.start >= window_) {
      summarise(it->second);
      it = windows_.erase(it);
    } else {
      ++it;
    }
  }
}

void EventThrottle::summarise(const Window& window) {
  if (window.left_out == 0) return;
  Event summary = window.first;
  summary.lines.push_back(left_out_line(window.left_out));
  write_summary_(summary);
}

}  // namespace ralvek::frame
