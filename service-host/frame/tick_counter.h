#pragma once

#include <cstdint>

namespace ralvek::frame {

// Counts the ticks of a one-second (or one-minute) timer against an interval. The count starts
// at 0 and goes back to -1, not 0, after each completed interval: the first interval ends after
// `interval` ticks, every later one after `interval` + 1.
class TickCounter {
 public:
  // True on the tick that completes the interval.
  bool tick(std::int32_t interval) {
    ++ticks_;
    if (ticks_ < interval) return false;
    ticks_ = -1;
    return true;
  }
  std::int32_t ticks() const { return ticks_; }
  void reset() { ticks_ = 0; }

 private:
  std::int32_t ticks_ = 0;
};

}  // namespace ralvek::frame
