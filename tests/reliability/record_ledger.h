#pragma once

// What the collectors wrote, read back record by record: numbered records ("rec;<source>;<seq>;...",
// CR LF at the end, see tools/pbxsim/records.h) counted per source across a directory's files.

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace ralvek::reliability {

struct SourceRecords {
  std::map<std::uint64_t, int> seen;  // sequence number -> how many times it was found
  std::uint64_t out_of_order = 0;     // a record with a lower number after a higher one in a file
};

struct Ledger {
  std::map<std::string, SourceRecords> sources;
  // Lines that are not one whole, unchanged record, with the file they were found in.
  std::vector<std::string> torn;
  // A file's last bytes after its last CR LF: the part of a record read before a crash.
  std::vector<std::string> tails;
  std::uint64_t files = 0;

  // Sequence numbers first..first+count-1 of `source` that were not found.
  std::vector<std::uint64_t> missing(const std::string& source, std::uint64_t first,
                                     std::uint64_t count) const;
  // Sequence numbers of `source` found more than once.
  std::vector<std::uint64_t> doubled(const std::string& source) const;
  std::size_t count(const std::string& source) const;
};

// Reads every file with extension `ext` (without dot) in `dir`.
Ledger read_ledger(const std::filesystem::path& dir, const std::string& ext = "dat");

// True when `tail` is the beginning of a numbered record of `size` bytes.
bool is_record_prefix(const std::string& tail, std::size_t size);

// "<base>.dat" for a temporary file "<base>.<ext>".
std::string dat_name(const std::string& temp_name);

// What is wrong with the temporary files a killed run left in `dir` (name -> bytes), once the
// next run has swept them: each one gone, its .dat holding the same bytes, or no .dat when it
// was empty. Empty when all is well.
std::vector<std::string> unfinished(const std::filesystem::path& dir, const std::map<std::string, std::string>& left);

// Total size of the files with any of the extensions in `dir`.
std::uintmax_t bytes_in(const std::filesystem::path& dir, const std::set<std::string>& exts);

// A port free for TCP and UDP on every address, below the system's range of ephemeral ports,
// so outgoing connections of other programs on this machine never take it meanwhile.
int quiet_port();

// Text for a failed expectation: the first few numbers of a list.
std::string first_numbers(const std::vector<std::uint64_t>& numbers, std::size_t shown = 10);

}  // namespace ralvek::reliability
