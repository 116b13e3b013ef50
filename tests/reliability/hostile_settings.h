#pragma once

// Hostile settings files shared by the services' settings cases: many keys, mebibyte lines,
// binary garbage. The same seed everywhere, so a failure names a file that can be made again.

#include <cstddef>
#include <random>
#include <string>
#include <vector>

namespace ralvek::reliability {

inline constexpr std::size_t kMebibyte = 1 << 20;

// `count` lines "key<i>=<i>": keys that no service knows.
inline std::string unknown_keys(int count = 10000) {
  std::string lines;
  for (int i = 0; i < count; ++i) lines += "key" + std::to_string(i) + "=" + std::to_string(i) + "\n";
  return lines;
}

// Eight files of random bytes (every value 0-255), 4 KiB to 32 KiB; every other one hides
// `valid` (a section with its keys) between two runs of garbage.
inline std::vector<std::string> garbage_files(const std::string& valid) {
  std::mt19937 random(20261207);
  std::vector<std::string> files;
  for (int round = 0; round < 8; ++round) {
    std::string garbage;
    for (int i = 0; i < 4096 * (round + 1); ++i) garbage += static_cast<char>(random() % 256);
    files.push_back(round % 2 ? garbage + "\n" + valid + garbage : garbage);
  }
  return files;
}

}  // namespace ralvek::reliability
