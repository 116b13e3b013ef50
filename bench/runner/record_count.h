#pragma once

#include <cstdint>
#include <map>
#include <string>

// Counts the numbered records of pbxsim (tools/pbxsim/records.h) in the files a receiver wrote,
// in one pass over all of them, against what each source sent (records 1..n).
namespace ralvek::bench {

struct RecordCount {
  std::uint64_t expected = 0;
  std::uint64_t found = 0;
  std::uint64_t missing = 0;
  std::uint64_t doubled = 0;
  std::uint64_t broken = 0;        // lines that are not a whole, unchanged record of `size` bytes
  std::uint64_t out_of_order = 0;  // a source's record after a later one in the same file
  std::uint64_t unexpected = 0;    // records of a source or number that was not sent

  bool perfect() const { return missing + doubled + broken + out_of_order + unexpected == 0; }
  std::string summary() const;
};

// Reads every regular file in `dir` whose name ends in `suffix` (".dat", ".raw").
// `sent`: source address -> number of records it sent, numbered from 1. `size`: a record's
// length with a two-byte line end; `line_end` is what ends each record in the files.
RecordCount count_records(const std::string& dir, const std::string& suffix,
                          const std::map<std::string, std::uint64_t>& sent, std::size_t size,
                          const std::string& line_end = "\r\n");

// The bytes of the regular files in `dir` (0 when it cannot be read): how far a receiver got.
std::uintmax_t bytes_in(const std::string& dir);

}  // namespace ralvek::bench
