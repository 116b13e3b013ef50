#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <unordered_set>

#include "platform/files.h"

// The collectors' data files: temporary files "<source>_<yyyymmddhhnnss>[random].<ext>" in the
// data directory, finished by renaming them to the same base name + ".dat". A .dat file only
// ever appears by renaming a closed, synced temporary file, so it is complete when it appears.
namespace ralvek::files {

// The extension of a file name (text after the last dot), lower-cased; empty when none.
std::string lower_extension(std::string_view name);
// The name without its extension.
std::string base_name(std::string_view name);

// Finishes every temporary file with extension `ext` (compared without case) in `dir`:
// non-empty files are renamed to base name + ".dat" (never replacing an existing file), empty
// ones are deleted. A file that fails is reported through `on_error` and the walk goes on; a
// directory that cannot be listed throws platform::FileError.
void finish_temp_files(platform::FileSystem& fs, const std::filesystem::path& dir,
                       std::string_view ext,
                       const std::function<void(const std::string& description)>& on_error);

// Base names of the files in `dir` that start with `prefix` and end in ".dat" or ".<temp_ext>"
// (compared without case): the names a new temporary file of that source must not take, since
// it could never be renamed to a .dat that exists. Throws platform::FileError.
std::unordered_set<std::string> names_in_use(platform::FileSystem& fs, const std::filesystem::path& dir,
                                             std::string_view prefix, std::string_view temp_ext);

// The five hexadecimal digits after the time stamp of a tolvin file name: a random fraction
// times 1,000,000, rounded, upper-case hex, padded with zeros to at least five digits and cut
// to the last five. The generator is seeded once from the time of day.
class RandomPart {
 public:
  RandomPart();
  explicit RandomPart(std::uint64_t seed) : engine_(seed) {}
  std::string next();
  // The part for a given random fraction in [0, 1).
  static std::string from_fraction(double fraction);

 private:
  std::mt19937_64 engine_;
};

}  // namespace ralvek::files
