#pragma once

#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

// What each service keeps about what it has done, for the metrics file, the status file and
// the silence alarms. Plain counters: the receive paths touch nothing else per block.
namespace ralvek::figures {

// One data source of a collector: a site, an exchange, the serial line.
struct SourceFigures {
  std::string source;   // label: site or exchange number, site ID
  std::string address;  // sender address, exchange host:port or device
  bool connected = false;
  std::uint64_t bytes_today = 0;
  std::uint64_t records_today = 0;
  std::uint64_t bytes_total = 0;
  std::uint64_t records_total = 0;
  std::time_t last_data = 0;  // 0: nothing since start
  std::string current_file;   // file name, empty when none is open
  std::uint64_t files_finished = 0;
  std::uint64_t failed_writes = 0;

  // The silence watch: ticks since the last data, and those of them that count (inside the
  // alarm hours); `alarmed` while the warning stands.
  std::int64_t quiet_ticks = 0;
  std::int64_t counted_ticks = 0;
  bool alarmed = false;
  std::uint64_t bytes_at_open = 0;  // bytes_total when the current file was opened
};

// What the file copy service has done.
struct CopyFigures {
  std::uint64_t files_moved = 0;
  std::uint64_t bytes_moved = 0;
  std::uint64_t passes = 0;
  std::uint64_t failed_passes = 0;
  std::time_t last_pass = 0;
  std::time_t last_failure = 0;
  std::int64_t error_count = 0;  // failed passes in a row, against MaxErrCount
};

// The number of bytes equal to `byte` in `bytes`, eight at a time.
inline std::uint64_t count_byte(std::string_view bytes, unsigned char byte) {
  constexpr std::uint64_t kOnes = 0x0101010101010101;
  constexpr std::uint64_t kHigh = 0x8080808080808080;
  std::uint64_t count = 0;
  const char* p = bytes.data();
  const char* end = p + bytes.size();
  for (; end - p >= 8; p += 8) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    std::uint64_t x = word ^ (byte * kOnes);  // zero bytes where `byte` was
    // Exact zero-byte test: no carries cross bytes since each low seven bits are added apart.
    std::uint64_t nonzero = (((x & ~kHigh) + ~kHigh) | x) & kHigh;
    count += static_cast<std::uint64_t>(__builtin_popcountll(~nonzero & kHigh));
  }
  for (; p != end; ++p) count += static_cast<unsigned char>(*p) == byte;
  return count;
}

inline std::uint64_t count_line_feeds(std::string_view bytes) { return count_byte(bytes, '\n'); }

// The records in a block written with `line_end` after it: its line ends, plus the line that
// the appended line end completes (none when the block ends a line itself, as that line end
// only adds an empty line).
inline std::uint64_t records_in(std::string_view block, std::string_view line_end) {
  std::uint64_t records = count_line_feeds(block);
  if (!line_end.empty() && !block.empty() && block.back() != '\n') ++records;
  return records;
}

}  // namespace ralvek::figures
