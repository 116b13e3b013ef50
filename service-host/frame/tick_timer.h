#pragma once

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <functional>

namespace ralvek::frame {

// A repeating timer on the loop, like a form's timer control: while enabled it calls its
// handler once per interval. The interval is divided by $RALVEK_TIME_SCALE. Ticks never pile
// up: a handler that overruns delays the next tick instead of causing a burst.
class TickTimer {
 public:
  TickTimer(asio::io_context& io, std::chrono::milliseconds interval, std::function<void()> on_tick);
  TickTimer(const TickTimer&) = delete;
  TickTimer& operator=(const TickTimer&) = delete;

  // Enabling restarts the interval; disabling cancels the pending tick.
  void set_enabled(bool enabled);
  bool enabled() const { return enabled_; }

 private:
  void schedule();

  asio::steady_timer timer_;
  std::chrono::milliseconds interval_;
  std::function<void()> on_tick_;
  bool enabled_ = false;
  unsigned generation_ = 0;
};

}  // namespace ralvek::frame
