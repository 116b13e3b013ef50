#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Numbered call records: "rec;<source>;<seq, 10 digits>;<padding>" + CR LF, `size` bytes in all.
// Lower-case letters, digits, dots and semicolons only, so a receiver's cleaning (NUL removal,
// trimming of spaces, lower-casing) leaves them unchanged and any loss, doubling or change shows.
namespace ralvek::pbxsim {

inline constexpr std::size_t kMinRecordSize = 32;

std::string make_record(std::string_view source, std::uint64_t seq, std::size_t size);

struct ParsedRecord {
  std::string source;
  std::uint64_t seq = 0;
};
// The record a line (without CR LF) holds, or nothing when the line is not a whole, unchanged
// record.
std::optional<ParsedRecord> parse_record(std::string_view line);

}  // namespace ralvek::pbxsim
