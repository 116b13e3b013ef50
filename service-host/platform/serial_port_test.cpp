#include "platform/serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <cstdlib>
#include <string>
#include <vector>

namespace ralvek::platform {
namespace {

TEST(LineSettings, ParsesTheFourFieldsInAnyCase) {
  auto s = parse_line_settings("19200,E,7,2");
  EXPECT_EQ(s.baud, 19200);
  EXPECT_EQ(s.parity, 'e');
  EXPECT_EQ(s.data_bits, 7);
  EXPECT_EQ(s.stop_bits, 2);
  s = parse_line_settings(" 9600 , n , 8 , 1 ");
  EXPECT_EQ(s.baud, 9600);
  EXPECT_EQ(s.parity, 'n');
  for (const char* parity : {"m", "s", "o"}) {
    EXPECT_EQ(parse_line_settings(std::string("1200,") + parity + ",8,1").parity, parity[0]);
  }
}

TEST(LineSettings, RefusesBadTextsNamingTheFaultyField) {
  struct Case {
    const char* text;
    const char* why;
  };
  const Case cases[] = {
      {"9600,n,8", "four fields"},   {"9600,n,8,1,x", "four fields"}, {"", "four fields"},
      {"9600,x,8,1", "parity"},      {"9600,ne,8,1", "parity"},       {"9601,n,8,1", "baud rate"},
      {"fast,n,8,1", "baud rate"},   {"-9600,n,8,1", "baud rate"},    {"9600,n,9,1", "data bits"},
      {"9600,n,4,1", "data bits"},   {"9600,n,8,1.5", "stop bits"},   {"9600,n,8,0", "stop bits"},
  };
  for (const auto& c : cases) {
    try {
      parse_line_settings(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const SerialSettingsError& e) {
      std::string message = e.what();
      EXPECT_NE(message.find(c.why), std::string::npos) << message;
      EXPECT_NE(message.find(std::string("\"") + c.text + "\""), std::string::npos) << message;
    }
  }
}

TEST(SerialDevice, PortNumberOneIsTheFirstDevice) {
  EXPECT_EQ(serial_device_for_port(1), "/dev/ttyS0");
  EXPECT_EQ(serial_device_for_port(4), "/dev/ttyS3");
}

// A pseudo-terminal pair: the test writes to the master, the port under test opens the slave.
class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(::grantpt(master_), 0);
    ASSERT_EQ(::unlockpt(master_), 0);
    char name[128];
    ASSERT_EQ(::ptsname_r(master_, name, sizeof(name)), 0);
    slave_name_ = name;
    port_ = make_serial_port(io_);
    port_->set_device(slave_name_);
    port_->set_on_comm([this](int code) {
      codes_.push_back(code);
      if (code == kComEvReceive && take_) received_ += port_->take_input();
      if (on_code_) on_code_(code);
    });
  }
  void TearDown() override {
    port_.reset();
    if (master_ >= 0) ::close(master_);
  }

  void send(const std::string& bytes) {
    ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // Runs the loop until `done` holds; bounded to 5 seconds.
  template <class Done>
  bool run_until(Done done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
      io_.restart();
      io_.run_for(std::chrono::milliseconds(20));
    }
    return done();
  }

  asio::io_context io_;
  int master_ = -1;
  std::string slave_name_;
  std::unique_ptr<SerialPort> port_;
  std::vector<int> codes_;
  std::string received_;
  bool take_ = true;
  std::function<void(int)> on_code_;
};

TEST_F(SerialPortTest, DeliversEveryByteUnchangedAsReceiveNotifications) {
  port_->set_settings("115200,n,8,1");
  port_->set_rts(true);
  port_->set_dtr(true);
  port_->set_handshaking(Handshaking::kRtsCts);
  port_->open();
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  send(all);
  ASSERT_TRUE(run_until([&] { return received_.size() >= all.size(); }));
  EXPECT_EQ(received_, all);
  for (int code : codes_) EXPECT_EQ(code, kComEvReceive);

  termios tio{};
  ASSERT_EQ(::tcgetattr(master_, &tio), 0);
  EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B115200));
  EXPECT_TRUE(tio.c_cflag & CRTSCTS);
  EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO));
}

TEST_F(SerialPortTest, InputNotTakenWaitsAndDiscardDropsIt) {
  take_ = false;
  port_->open();
  send("abc");
  ASSERT_TRUE(run_until([&] { return !codes_.empty(); }));
  send("def");
  ASSERT_TRUE(run_until([&] { return codes_.size() >= 2; }));
  EXPECT_EQ(port_->take_input(), "abcdef");
  send("ghi");
  ASSERT_TRUE(run_until([&] { return codes_.size() >= 3; }));
  port_->discard_input();
  EXPECT_EQ(port_->take_input(), "");
}

TEST_F(SerialPortTest, HangUpOfTheLineIsADeviceFailureReportedOnce) {
  port_->open();
  send("last");
  ASSERT_TRUE(run_until([&] { return received_ == "last"; }));
  ::close(master_);
  master_ = -1;
  ASSERT_TRUE(run_until([&] { return !codes_.empty() && codes_.back() == kComEventDCB; }));
  io_.restart();
  io_.run_for(std::chrono::milliseconds(100));
  EXPECT_EQ(std::count(codes_.begin(), codes_.end(), kComEventDCB), 1);
  // The pseudo-terminal is gone with its master: reopening fails like a pulled-out adapter.
  port_->close();
  EXPECT_THROW(port_->open(), SerialPortError);
  EXPECT_FALSE(port_->is_open());
}

TEST_F(SerialPortTest, AHandlerMayReopenThePortAndReceivingGoesOn) {
  on_code_ = [this](int) {
    if (received_ == "one") {
      port_->close();
      port_->open();
    }
  };
  port_->open();
  send("one");
  ASSERT_TRUE(run_until([&] { return received_ == "one"; }));
  send("two");
  ASSERT_TRUE(run_until([&] { return received_ == "onetwo"; }));
  EXPECT_TRUE(port_->is_open());
}

TEST_F(SerialPortTest, ClosedPortDeliversNothing) {
  port_->open();
  port_->close();
  port_->close();
  send("lost");
  io_.restart();
  io_.run_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(codes_.empty());
}

TEST_F(SerialPortTest, BusyMissingAndNonTerminalDevicesAreRefusedWithTheirPath) {
  int holder = ::open(slave_name_.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  try {
    port_->open();
    ADD_FAILURE() << "opened a busy port";
  } catch (const SerialPortError& e) {
    EXPECT_NE(std::string(e.what()).find("busy"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find(slave_name_), std::string::npos) << e.what();
  }
  ::close(holder);
  EXPECT_FALSE(port_->is_open());

  port_->set_device("/dev/ttyRalvekMissing");
  try {
    port_->open();
    ADD_FAILURE() << "opened a missing device";
  } catch (const SerialPortError& e) {
    EXPECT_NE(std::string(e.what()).find("/dev/ttyRalvekMissing"), std::string::npos);
  }
  port_->set_device("/dev/null");
  EXPECT_THROW(port_->open(), SerialPortError);
}

TEST_F(SerialPortTest, RefusedSettingsKeepThePreviousText) {
  port_->set_settings("4800,e,7,1");
  EXPECT_THROW(port_->set_settings("4800,q,7,1"), SerialSettingsError);
  EXPECT_EQ(port_->settings(), "4800,e,7,1");
  EXPECT_THROW(port_->set_receive_threshold(8), SerialSettingsError);
}

}  // namespace
}  // namespace ralvek::platform
