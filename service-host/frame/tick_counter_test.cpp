#include "frame/tick_counter.h"

#include <gtest/gtest.h>

#include <vector>

namespace ralvek::frame {
namespace {

std::vector<int> firing_ticks(std::int32_t interval, int ticks) {
  TickCounter counter;
  std::vector<int> fired;
  for (int t = 1; t <= ticks; ++t) {
    if (counter.tick(interval)) fired.push_back(t);
  }
  return fired;
}

TEST(TickCounter, FirstIntervalThenIntervalPlusOne) {
  EXPECT_EQ(firing_ticks(600, 1900), (std::vector<int>{600, 1201, 1802}));
  EXPECT_EQ(firing_ticks(3, 12), (std::vector<int>{3, 7, 11}));
}

TEST(TickCounter, IntervalOfOneFiresEveryOtherTickAfterTheFirst) {
  EXPECT_EQ(firing_ticks(1, 6), (std::vector<int>{1, 3, 5}));
}

TEST(TickCounter, ZeroOrNegativeIntervalFiresOnEveryTick) {
  // Callers keep such timers disabled; the counter itself never gets stuck.
  EXPECT_EQ(firing_ticks(0, 3), (std::vector<int>{1, 2, 3}));
}

}  // namespace
}  // namespace ralvek::frame
