#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

namespace ralvek::pbxsim {

// --quiet-after N --quiet-for S: an exchange that goes quiet for S seconds after its first N
// records and then sends the rest, to try a collector's silence alarm. Off when S is 0.
class QuietSpell {
 public:
  QuietSpell(std::uint64_t after, double seconds) : after_(after), seconds_(seconds) {}
  // Call before sending record number `sent` (0 based); sleeps once, at record `after`, and
  // returns how long, so a paced sender can move its schedule on by as much.
  std::chrono::steady_clock::duration before(std::uint64_t sent) {
    if (seconds_ <= 0 || done_ || sent < after_) return {};
    done_ = true;
    auto length = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(seconds_));
    std::this_thread::sleep_for(length);
    return length;
  }

 private:
  std::uint64_t after_;
  double seconds_;
  bool done_ = false;
};

}  // namespace ralvek::pbxsim
