#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace ralvek::frame {

// Keeps a flood of one kind of event out of the event log. Of the events of one kind (say a
// sender's address and what it did) at most `burst` are written per window, unchanged; the
// rest are only counted, and once the window is over one summary stands for them: the type,
// ID and lines of the window's first event and one more line with the count.
class EventThrottle {
 public:
  using Clock = std::chrono::steady_clock;
  struct Event {
    int type = 0;
    std::int32_t id = 0;
    std::vector<std::string> lines;
  };
  using Write = std::function<void(const Event& summary)>;

  EventThrottle(int burst, Clock::duration window, Write write_summary);

  // True when this event of `kind` may be written now. `make` gives its event; it is asked
  // only for the first event of a window. A summary of the kind's last window comes first.
  bool admit(const std::string& kind, Clock::time_point now, const std::function<Event()>& make);
  // Writes the summaries of the windows over by `now` and forgets those kinds.
  void sweep(Clock::time_point now);
  // Writes every summary due, over or not (at unload).
  void flush() { sweep(Clock::time_point::max()); }
  // True when no kind is remembered: nothing for sweep() to do.
  bool idle() const { return windows_.empty(); }

  // The line a summary adds to the lines of the event it stands for.
  static std::string left_out_line(std::uint64_t count);

 private:
  struct Window {
    Clock::time_point start;
    int written = 0;
    std::uint64_t left_out = 0;
    Event first;
  };
  void summarise(const Window& window);

  int burst_;
  Clock::duration window_;
  Write write_summary_;
  std::unordered_map<std::string, Window> windows_;
};

}  // namespace ralvek::frame
