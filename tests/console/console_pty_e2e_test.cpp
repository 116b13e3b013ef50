// The console typed at a terminal: a pseudo-terminal stands in for the operator's.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QHostAddress>
#include <QUdpSocket>
#include <cstdlib>

#include "console_fixture.h"

namespace ralvek::console_e2e {
namespace {

// The operator's side of a pseudo-terminal whose other side is the console's standard streams.
class Operator {
 public:
  Operator() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) ADD_FAILURE() << "no pseudo-terminal";
    else slave_ = ::ptsname(master_);
  }
  ~Operator() {
    if (master_ >= 0) ::close(master_);
  }
  const std::string& slave() const { return slave_; }

  void Keys(std::string_view keys) {
    ASSERT_EQ(::write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }
  // Reads the screen until text shows up after offset from (at most timeout_ms); its offset.
  std::size_t WaitFor(const std::string& text, std::size_t from = 0, int timeout_ms = 5000) {
    for (int waited = 0; waited <= timeout_ms; waited += 20) {
      const auto at = screen_.find(text, std::min(from, screen_.size()));
      if (at != std::string::npos) return at;
      pollfd ready{master_, POLLIN, 0};
      if (::poll(&ready, 1, 20) > 0) {
        char buffer[4096];
        const ssize_t got = ::read(master_, buffer, sizeof buffer);
        if (got > 0) screen_.append(buffer, static_cast<std::size_t>(got));
      }
    }
    ADD_FAILURE() << "no \"" << text << "\" on the screen:\n" << screen_.substr(std::min(from, screen_.size()));
    return std::string::npos;
  }
  const std::string& screen() const { return screen_; }

 private:
  int master_ = -1;
  std::string slave_;
  std::string screen_;
};

// Whether the terminal is back in its line mode with echo.
bool LineModeWithEcho(const std::string& slave) {
  const int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
  termios mode{};
  const bool ok = fd >= 0 && ::tcgetattr(fd, &mode) == 0 && (mode.c_lflag & ICANON) && (mode.c_lflag & ECHO);
  if (fd >= 0) ::close(fd);
  return ok;
}

TEST_F(ConsoleTest, ABlockArrivingWhileALineIsTypedLeavesTheLineIntact) {
  Operator op;
  ASSERT_FALSE(op.slave().empty());
  QProcess console;
  QProcessEnvironment env = Environment();
  env.insert("TERM", "xterm");
  console.setProcessEnvironment(env);
  console.setStandardInputFile(QString::fromStdString(op.slave()));
  console.setStandardOutputFile(QString::fromStdString(op.slave()));
  console.setStandardErrorFile(QString::fromStdString(op.slave()));
  console.start(CONSOLE_EXE, {});
  ASSERT_TRUE(console.waitForStarted(5000));
  op.WaitFor("Listen IP\t:All\r\n");
  op.WaitFor("ralvek> ");
  op.Keys("he");
  const std::size_t typed = op.WaitFor("ralvek> he");

  QUdpSocket box;
  ASSERT_TRUE(box.bind(QHostAddress("127.0.0.2"), 0));
  box.writeDatagram(QByteArray("\x01\x00\x07\x00\x05" "CALL 00007", 15), QHostAddress::LocalHost, 2552);
  const std::size_t block = op.WaitFor("[traffic]\r\n", typed);
  const std::size_t end = op.WaitFor("[end traffic]\r\n", block);
  // The half-typed line was taken away before the block and drawn again after it.
  EXPECT_TRUE(op.screen().substr(0, block).ends_with("\r\x1b[K")) << op.screen().substr(typed);
  EXPECT_EQ(op.screen().substr(block, end - block).find("ralvek>"), std::string::npos);
  const std::size_t redrawn = op.WaitFor("ralvek> he", end);

  op.Keys("x 12\r");
  op.WaitFor("ralvek> hex 12\r\n", redrawn);
  const std::size_t answer = op.WaitFor("12\t = \t0000000Ch\r\n", redrawn);
  op.Keys("\x1b[A");  // Up: the window's history
  op.WaitFor("ralvek> hex 12", answer + 10);
  op.Keys("\r");
  op.WaitFor("12\t = \t0000000Ch\r\n", answer + 10);
  op.Keys("\x04");  // Ctrl+D on an empty line ends the console
  ASSERT_TRUE(console.waitForFinished(5000));
  EXPECT_EQ(console.exitCode(), 0);
  EXPECT_TRUE(LineModeWithEcho(op.slave()));
}

}  // namespace
}  // namespace ralvek::console_e2e
