#include "frame/event_throttle.h"

#include <gtest/gtest.h>

namespace ralvek::frame {
namespace {

using namespace std::chrono_literals;
using Event = EventThrottle::Event;

struct Throttled {
  std::vector<Event> summaries;
  EventThrottle throttle{3, 1s, [this](const Event& e) { summaries.push_back(e); }};
  EventThrottle::Clock::time_point t0{};
  int asked = 0;
  // Admits `count` events of `kind` at `at`, each with its own text; returns how many passed.
  int admit(const std::string& kind, int count, std::chrono::milliseconds at) {
    int passed = 0;
    for (int i = 0; i < count; ++i) {
      passed += throttle.admit(kind, t0 + at, [&] {
        ++asked;
        return Event{1, 109, {kind + " #" + std::to_string(i), "Procedure: DataArrival"}};
      });
    }
    return passed;
  }
};

TEST(EventThrottle, AFloodOfOneKindIsWrittenAFewTimesAWindowAndSummarisedOnce) {
  Throttled t;
  EXPECT_EQ(t.admit("unknown 127.0.0.66", 1000, 0ms), 3);
  EXPECT_EQ(t.admit("unknown 127.0.0.67", 2, 10ms), 2);  // another sender: its own count
  EXPECT_EQ(t.asked, 2);  // the text is made once per window
  t.throttle.sweep(t.t0 + 999ms);
  EXPECT_TRUE(t.summaries.empty());
  t.throttle.sweep(t.t0 + 1000ms);
  ASSERT_EQ(t.summaries.size(), 1u);
  EXPECT_EQ(t.summaries[0].type, 1);
  EXPECT_EQ(t.summaries[0].id, 109);
  EXPECT_EQ(t.summaries[0].lines, (std::vector<std::string>{"unknown 127.0.0.66 #0", "Procedure: DataArrival",
                                                             "997 more events like this were left out of the log."}));
  t.throttle.sweep(t.t0 + 1010ms);  // the other kind lost nothing: no summary, forgotten
  EXPECT_EQ(t.summaries.size(), 1u);
  EXPECT_TRUE(t.throttle.idle());
}

TEST(EventThrottle, AFloodGoingOnGetsItsSummaryBeforeTheNextWindowsEvents) {
  Throttled t;
  t.admit("k", 5, 0ms);
  EXPECT_EQ(t.admit("k", 5, 1500ms), 3);  // not swept yet: the new window writes the summary first
  ASSERT_EQ(t.summaries.size(), 1u);
  EXPECT_EQ(t.summaries[0].lines.back(), EventThrottle::left_out_line(2));
  t.throttle.flush();  // at unload, before the window is over
  ASSERT_EQ(t.summaries.size(), 2u);
  EXPECT_EQ(t.summaries[1].lines.back(), EventThrottle::left_out_line(2));
  EXPECT_TRUE(t.throttle.idle());
}

}  // namespace
}  // namespace ralvek::frame
