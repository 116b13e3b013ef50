#include "frame/tick_timer.h"

#include "platform/clock.h"

namespace ralvek::frame {

TickTimer::TickTimer(asio::io_context& io, std::chrono::milliseconds interval,
                     std::function<void()> on_tick)
    : timer_(io), interval_(platform::scaled(interval)), on_tick_(std::move(on_tick)) {}

void TickTimer::set_enabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  ++generation_;
  timer_.cancel();
  if (enabled_) {
    timer_.expires_after(interval_);
    schedule();
  }
}

void TickTimer::schedule() {
  timer_.async_wait([this, generation = generation_](std::error_code ec) {
    if (ec == asio::error::operation_aborted || generation != generation_ || !enabled_) return;
    // Keep the beat of the first tick, but never schedule into the past.
    auto next = timer_.expiry() + interval_;
    auto now = asio::steady_timer::clock_type::now();
    on_tick_();
    if (generation != generation_ || !enabled_) return;
    timer_.expires_at(next > now ? next : now + interval_);
    schedule();
  });
}

}  // namespace ralvek::frame
