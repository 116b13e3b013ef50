#pragma once
// The terminal the console runs in: whether a stream is one, its width, and a raw mode in which
// every key reaches the program as it is pressed. The console's only code that touches termios.
#include <cstddef>
#include <memory>

namespace ralvek::console::platform {

inline constexpr int kStdinFd = 0;
inline constexpr int kStdoutFd = 1;

bool IsTerminal(int fd);
// Columns of the terminal on fd; 80 when it does not say.
int TerminalColumns(int fd);
// Bytes now waiting on fd, at most size: > 0 read, 0 end of input, -1 nothing yet (or interrupted).
long ReadAvailable(int fd, char* buffer, std::size_t size);

// While it lives, the terminal on fd delivers each byte at once, without echo, and Ctrl+C, Ctrl+Z
// and Ctrl+S arrive as bytes; output processing (LF to CR LF) stays on. The old mode comes back
// when it is destroyed. Does nothing when fd is not a terminal.
class RawTerminal {
 public:
  explicit RawTerminal(int fd);
  ~RawTerminal();
  RawTerminal(const RawTerminal&) = delete;
  RawTerminal& operator=(const RawTerminal&) = delete;
  bool active() const { return saved_ != nullptr; }

 private:
  struct Saved;
  int fd_;
  std::unique_ptr<Saved> saved_;
};

}  // namespace ralvek::console::platform
