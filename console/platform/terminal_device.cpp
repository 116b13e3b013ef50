#include "terminal_device.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace ralvek::console::platform {

struct RawTerminal::Saved {
  termios mode;
};

bool IsTerminal(int fd) { return ::isatty(fd) == 1; }

int TerminalColumns(int fd) {
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

long ReadAvailable(int fd, char* buffer, std::size_t size) {
  const ssize_t got = ::read(fd, buffer, size);
  if (got < 0) return errno == EAGAIN || errno == EINTR ? -1 : 0;
  return static_cast<long>(got);
}

RawTerminal::RawTerminal(int fd) : fd_(fd) {
  termios mode{};
  if (::tcgetattr(fd, &mode) != 0) return;
  auto saved = std::make_unique<Saved>(Saved{mode});
  mode.c_iflag &= ~static_cast<tcflag_t>(BRKINT | ICRNL | INPCK | ISTRIP | IXON);
  mode.c_cflag |= CS8;
  mode.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN | ISIG);
  mode.c_cc[VMIN] = 1;
  mode.c_cc[VTIME] = 0;
  if (::tcsetattr(fd, TCSANOW, &mode) != 0) return;  // keys typed ahead are kept
  saved_ = std::move(saved);
}

RawTerminal::~RawTerminal() {
  if (saved_) ::tcsetattr(fd_, TCSADRAIN, &saved_->mode);
}

}  // namespace ralvek::console::platform
