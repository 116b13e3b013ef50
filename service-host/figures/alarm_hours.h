#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace ralvek::figures {

// The hours in which a silence alarm may be raised, from the text of silence_hours: entries
// separated by commas, each days and hours, "mon-fri 07-20" (Monday to Friday from 07:00 to
// 20:00). Days are mon..sun, one or a range (a range may wrap: "fri-mon"); leaving them out
// means every day. Hours are whole hours 0..24, the end excluded; "22-06" runs past midnight
// and belongs to the day it starts on. Empty text: every hour.
class AlarmHours {
 public:
  // Nothing when the text is not understood.
  static std::optional<AlarmHours> parse(const std::string& text);
  // True when `local` (a local broken-down time) is inside the hours.
  bool contains(const std::tm& local) const;
  bool always() const { return spans_.empty(); }

 private:
  struct Span {
    unsigned days = 0x7F;  // bit 0: Sunday, as tm_wday
    int from = 0;
    int to = 24;
  };
  std::vector<Span> spans_;
};

}  // namespace ralvek::figures
