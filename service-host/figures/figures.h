#pragma once

#include <algorithm>
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

// The number of bytes equal to `byte` in `bytes`, sixteen at a time: this runs over every
// received byte, so it must cost next to nothing beside the write of the block.
inline std::uint64_t count_byte(std::string_view bytes, unsigned char byte) {
  using Lanes = unsigned char __attribute__((vector_size(16)));
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  std::uint64_t count = 0;
  Lanes wanted;
  for (int i = 0; i < 16; ++i) wanted[i] = byte;
  while (left >= 16) {
    // Each lane counts at most 255 matches before the lanes are summed.
    std::size_t rounds = std::min<std::size_t>(left / 16, 255);
    Lanes counts{};
    for (std::size_t r = 0; r < rounds; ++r, p += 16) {
      Lanes chunk;
      std::memcpy(&chunk, p, 16);
      counts -= reinterpret_cast<Lanes>(chunk == wanted);  // a match is all ones: minus -1
    }
    for (int i = 0; i < 16; ++i) count += counts[i];
    left -= rounds * 16;
  }
  for (; left > 0; --left, ++p) count += static_cast<unsigned char>(*p) == byte;
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
