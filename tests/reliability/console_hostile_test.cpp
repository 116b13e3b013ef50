// The console against hostile input: datagrams of every size up to the largest on both of its
// ports, and ping hosts full of shell characters.
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QUdpSocket>
#include <filesystem>

#include "console_fakes.h"
#include "console_fixture.h"
#include "qt_console_system.h"

namespace ralvek::console_e2e {
namespace {

const std::vector<int> kSizes{0, 1, 2, 3, 4, 5, 33, 34, 35, 37, 38, 39, 100, 255, 256, 1472, 1473,
                              4096, 8192, 16384, 32768, 65000, 65506, 65507};

// `size` bytes that run through every byte value; for port 2554 the last four name the box the
// console works with (127.0.0.1), so the settings decoder has to take them.
QByteArray Datagram(int size, bool addressed) {
  QByteArray bytes(size, '\0');
  for (int i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + size) % 256);
  if (addressed && size >= 4) bytes.replace(size - 4, 4, QByteArray("\x7F\x00\x00\x01", 4));
  return bytes;
}

class ConsoleHostile : public ConsoleTest {
 protected:
  void SendFrom(const char* sender, const QByteArray& datagram, quint16 port) {
    QUdpSocket socket;
    ASSERT_TRUE(socket.bind(QHostAddress(sender), 0)) << sender;
    EXPECT_EQ(socket.writeDatagram(datagram, QHostAddress("127.0.0.1"), port), datagram.size()) << datagram.size();
  }
  void ExpectAnswering() {
    ASSERT_EQ(console_->WaitExit(0), -1) << "the console ended";
    EXPECT_NE(Command("hex 255", "255\t = \t000000FFh\n", 10000), std::string::npos);
  }
};

TEST_F(ConsoleHostile, DatagramsOfEverySizeOnBothPortsLeaveTheConsoleAnswering) {
  StartConsole();
  for (int size : kSizes) {
    // The box port shows every datagram; a settings answer (34 bytes) grows by the sender's address.
    const std::size_t mark = console_->Out().size();
    SendFrom("127.0.0.61", Datagram(size, false), 2552);
    if (size > 0) {
      const std::string shown = "(127.0.0.61: 2552 ";
      const std::string length = std::string(1, '(').append(std::to_string(size == 34 ? 38 : size)).append(" bytes)");
      const std::size_t at = console_->WaitFor(shown, mark, 10000);
      ASSERT_NE(at, std::string::npos) << size;
      EXPECT_NE(console_->WaitFor(length, at, 10000), std::string::npos) << size;
    }
    // The server port takes every datagram that names the console's box as a settings packet.
    const std::size_t before = console_->Out().size();
    SendFrom("127.0.0.62", Datagram(size, true), 2554);
    if (size >= 4) {
      EXPECT_NE(console_->WaitFor("== Settings packet ==\nMessage from (2554) ", before, 10000), std::string::npos)
          << size;
    }
    ExpectAnswering();
  }
  // All of them again at once, without waiting in between.
  for (int size : kSizes) {
    SendFrom("127.0.0.63", Datagram(size, false), 2552);
    SendFrom("127.0.0.64", Datagram(size, true), 2554);
  }
  console_->Pump(500);
  ExpectAnswering();
  Command("dump", "Dump...\n");
  console_->Type("quit");
  EXPECT_EQ(console_->WaitExit(10000), 0);
}

// A fake ping first on the PATH: it records each call and its arguments (NUL after each).
class PingInjection : public ConsoleHostile {
 protected:
  PingInjection() {
    // Lower case only: the console lower-cases the line, and a shell that ran the injected
    // commands must find this folder under the name it was given.
    markers_ = std::filesystem::temp_directory_path() / ("ralvek_inject_" + std::to_string(::getpid()));
    std::filesystem::create_directories(markers_);
    const QString bin = dir_.filePath("bin");
    QDir().mkpath(bin);
    QFile fake(bin + "/ping");
    EXPECT_TRUE(fake.open(QIODevice::WriteOnly));
    fake.write(("#!/bin/sh\necho call >> '" + Calls() + "'\nprintf '%s\\000' \"$@\" > '" + Args() +
                "'\necho '64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.04 ms'\n")
                   .c_str());
    fake.close();
    fake.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    path_prefix_ = bin;
  }
  ~PingInjection() override {
    std::error_code ignored;
    std::filesystem::remove_all(markers_, ignored);
  }
  std::string Calls() const { return dir_.filePath("ping.calls").toStdString(); }
  std::string Args() const { return dir_.filePath("ping.args").toStdString(); }
  std::string Marker(int n) const { return (markers_ / ("pwned" + std::to_string(n))).string(); }
  static std::string ReadAll(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray all = file.readAll();
    return std::string(all.constData(), static_cast<std::size_t>(all.size()));
  }
  // A host that a shell would split at the tabs and the newline into commands creating markers.
  std::string HostileHost(const std::string& separator) const {
    return "127.0.0.1;touch\t" + Marker(1) + separator + "touch\t" + Marker(2) + "$(touch\t" + Marker(3) + ")`touch\t" +
           Marker(4) + "`'\"|&>" + Marker(5) + "\"'";
  }
  void ExpectNoMarker() {
    for (int n = 1; n <= 5; ++n) EXPECT_FALSE(std::filesystem::exists(Marker(n))) << Marker(n);
  }

  std::filesystem::path markers_;
};

TEST_F(PingInjection, TypedHostWithShellCharactersIsOnePlainArgumentOfOnePing) {
  StartConsole();
  const std::string host = HostileHost(";");
  Command("ping " + host, "Reply from 127.0.0.1\n");
  EXPECT_EQ(ReadAll(Calls()), "call\n");
  EXPECT_EQ(ReadAll(Args()), std::string("-c\0001\000-W\0002\000--\000", 13) + host + std::string(1, '\0'));
  ExpectNoMarker();
  ExpectAnswering();
}

// A newline cannot be typed into the prompt; the interpreter gets it here directly, with the
// process runner of the program.
TEST_F(PingInjection, HostWithANewlineIsOnePlainArgumentOfOnePing) {
  const QByteArray old_path = qgetenv("PATH");
  qputenv("PATH", path_prefix_.toUtf8() + ":" + old_path);
  console::FakeEndpoint client, server, receive;
  console::FakeStore store;
  console::FakeView view;
  console::QtConsoleSystem system(nullptr);
  console::ConsoleCore core{console::ConsoleEnvironment{client, server, receive, store, system, view,
                                                        dir_.path().toStdString()}};
  const std::string host = HostileHost("\n");
  core.Console("ping " + host);
  qputenv("PATH", old_path);
  EXPECT_EQ(ReadAll(Calls()), "call\n");
  EXPECT_EQ(ReadAll(Args()), std::string("-c\0001\000-W\0002\000--\000", 13) + host + std::string(1, '\0'));
  EXPECT_NE(view.appended.find("Reply from 127.0.0.1"), std::string::npos) << view.appended;
  ExpectNoMarker();
}

}  // namespace
}  // namespace ralvek::console_e2e
