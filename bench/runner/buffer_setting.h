#pragma once

// The system's default receive buffer of new sockets (net.core.rmem_default), set for as long as
// the object lives and put back afterwards, also when the runner is interrupted. It is a setting
// of the whole machine, so it is held only while a receiver creates its socket.
namespace ralvek::bench {

// What the README recommends for UDP senders at high rates.
inline constexpr long kRecommendedBuffer = 8388608;

class BufferSetting {
 public:
  // 0 leaves the setting alone.
  explicit BufferSetting(long bytes);
  ~BufferSetting();
  BufferSetting(const BufferSetting&) = delete;
  BufferSetting& operator=(const BufferSetting&) = delete;

  // True when this process may change the setting (root in the first network namespace).
  static bool available();
  // Puts back a value that is still changed; safe in a signal handler.
  static void restore_now();
};

}  // namespace ralvek::bench
