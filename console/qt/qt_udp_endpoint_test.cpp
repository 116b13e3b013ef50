// The Qt layer on loopback: sockets and the process runner.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <memory>

#include "qt_console_system.h"
#include "qt_udp_endpoint.h"
#include "vb_text.h"

namespace ralvek::console {
namespace {

class QtLayerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (QCoreApplication::instance() == nullptr) {
      static int argc = 1;
      static char name[] = "console_qt_test";
      static char* argv[] = {name, nullptr};
      static QCoreApplication app(argc, argv);
    }
  }
  // Runs the event loop until done() or two seconds have passed.
  template <typename Done>
  static bool PumpUntil(Done done) {
    QDeadlineTimer deadline(2000);
    while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
  }
};

TEST_F(QtLayerTest, DatagramArrivesWholeWithItsSender) {
  std::vector<std::pair<Bytes, std::string>> received;
  QtUdpEndpoint receiver([&](const Bytes& d, const std::string& s) { received.emplace_back(d, s); });
  receiver.Bind(0);
  ASSERT_EQ(receiver.State(), 1);
  QtUdpEndpoint sender;
  sender.SetRemoteHost("127.0.0.1");
  sender.SetRemotePort(receiver.LocalPort());
  const Bytes big(65507, '\xAB');
  sender.SendData(std::string("\x00\x01\x02", 3));
  sender.SendData(big);
  ASSERT_TRUE(PumpUntil([&] { return received.size() == 2; }));
  EXPECT_EQ(received[0].first, std::string("\x00\x01\x02", 3));
  EXPECT_EQ(received[0].second, "127.0.0.1");
  EXPECT_EQ(received[1].first, big);
}

TEST_F(QtLayerTest, PortInUseIsRefusedAndLeavesTheSocketClosed) {
  QtUdpEndpoint first;
  first.Bind(0);
  QtUdpEndpoint second;
  EXPECT_THROW(second.Bind(first.LocalPort()), RunTimeError);
  EXPECT_EQ(second.State(), 0);
  EXPECT_THROW(second.Bind(70000), RunTimeError);
  first.Close();
  EXPECT_EQ(first.State(), 0);
  first.Close();  // closing an idle socket does nothing
}

TEST_F(QtLayerTest, BindingAnOpenSocketAgainIsRefused) {
  QtUdpEndpoint endpoint;
  endpoint.Bind(0);
  EXPECT_THROW(endpoint.Bind(0), RunTimeError);
}

TEST_F(QtLayerTest, HostThatCannotBeResolvedIsAnError) {
  QtUdpEndpoint endpoint;
  endpoint.SetRemoteHost("no-such-host.invalid");
  endpoint.SetRemotePort(9);
  EXPECT_THROW(endpoint.SendData("x"), RunTimeError);
}

TEST_F(QtLayerTest, RunPassesArgumentsWithoutAShellAndReturnsTheOutput) {
  QtConsoleSystem system(nullptr);
  EXPECT_EQ(system.Run({"/bin/echo", "a; echo b", "$HOME"}), "a; echo b $HOME\n");
  EXPECT_THROW(system.Run({"/no/such/program"}), RunTimeError);
  EXPECT_THROW(system.Run({}), RunTimeError);
}

TEST_F(QtLayerTest, WaitLetsPendingEventsRun) {
  QtConsoleSystem system(nullptr);
  bool fired = false;
  QTimer::singleShot(10, [&] { fired = true; });
  system.Wait(0.2);
  EXPECT_TRUE(fired);
  EXPECT_EQ(system.TimeText().size(), 8u);
}

TEST_F(QtLayerTest, EndProgramCallsTheGivenAction) {
  int calls = 0;
  QtConsoleSystem system([&] { ++calls; });
  system.EndProgram();
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace ralvek::console
