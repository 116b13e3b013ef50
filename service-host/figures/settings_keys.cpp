#include "figures/settings_keys.h"

#include "figures/alarm_hours.h"

namespace ralvek::figures {

std::vector<ini::KnownKey> with_figures_keys(std::vector<ini::KnownKey> keys, bool sources) {
  using ini::Reading;
  if (sources) {
    keys.push_back({"silence_minutes", "0", Reading::kLeadingNumber,
                    ini::whole_number(32, 0, 2147483647, "no silence alarm")});
    keys.push_back({"silence_hours", "", Reading::kAsWritten, [](const std::string& text) {
                      if (text.empty()) return ini::ValueUse{"(all hours)", {}};
                      if (AlarmHours::parse(text)) return ini::ValueUse{text, {}};
                      return ini::ValueUse{text, "not understood; the alarm keeps to all hours"};
                    }});
  }
  keys.push_back({"metrics_file", "", Reading::kAsWritten, [](const std::string& text) {
                    return ini::ValueUse{text.empty() ? "(none: no metrics file)" : text, {}};
                  }});
  return keys;
}

}  // namespace ralvek::figures
