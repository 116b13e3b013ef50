#pragma once

#include <chrono>
#include <ctime>
#include <string>

namespace ralvek::platform {

// Local date and time (localtime_r, follows TZ) as "yyyymmddhhnnss".
std::string time_stamp(std::time_t when);
std::string time_stamp_now();

// Local time "yyyy-mm-ddThh:nn:ss", as the event-log file records it.
std::string iso_local_time(std::time_t when);

// $RALVEK_TIME_SCALE (whole number >= 1, default 1): every service timer is this many times
// faster. Read once.
int time_scale();

// A timer length after the time scale, never below one millisecond.
std::chrono::milliseconds scaled(std::chrono::milliseconds length);

}  // namespace ralvek::platform
