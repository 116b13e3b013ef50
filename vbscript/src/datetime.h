// VBScript dates: a Double counting days since 30 December 1899, the time as the fraction.
// Texts follow the English (United States) conventions: "12/6/2006 5:31:00 AM".
#pragma once

#include <string>
#include <string_view>

namespace ralvek::vbscript::datetime {

// The dates VBScript knows: 1 January 100 to 31 December 9999.
inline constexpr double kMinSerial = -657434.0;
inline constexpr double kMaxSerial = 2958466.0;
inline bool in_range(double serial) { return serial > kMinSerial - 1 && serial < kMaxSerial; }

struct Parts {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
};

// Month and day outside their ranges carry over as DateSerial does (month 13 is January next year).
double from_date(int year, int month, int day);
double from_time(int hour, int minute, int second);
Parts split(double serial);  // a serial outside the range is taken at the nearest end
int weekday(double serial);  // 1 Sunday ... 7 Saturday
double now();                // local time (follows TZ)

// Accepts "m/d/yyyy", "yyyy-mm-dd", "yyyy/mm/dd", month names ("December 6, 2006", "6 Dec 2006"),
// each optionally followed by a time "h:mm[:ss] [AM|PM]"; or a time alone.
bool parse(std::string_view text, double& serial);

std::string general(double serial);     // short date, long time, or both
std::string short_date(double serial);  // 12/6/2006
std::string long_date(double serial);   // Wednesday, December 06, 2006
std::string long_time(double serial);   // 5:31:00 AM
std::string short_time(double serial);  // 05:31
std::string_view month_name(int month, bool abbreviate);
std::string_view weekday_name(int weekday, bool abbreviate);

}  // namespace ralvek::vbscript::datetime
