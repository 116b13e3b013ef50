#pragma once

#include <ctime>
#include <span>
#include <string>
#include <string_view>

namespace ralvek::pemrod {

// Local time of `t` (localtime_r, follows TZ) in the logger's two formats.
std::string entry_stamp(std::time_t t);     // "yyyy-mm-dd hh:nn:ss"
std::string rollover_stamp(std::time_t t);  // "yyyymmddhhnnss"
std::string json_stamp(std::time_t t);      // "yyyy-mm-ddThh:nn:ss"

// The bytes of one log entry: stamp CR LF, TAB-indented lines, empty line.
std::string entry_bytes(std::string_view stamp, std::span<const std::string_view> lines);

}  // namespace ralvek::pemrod
