// A PBX's call records travel into the site files and out as .dat files.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

#include "tolvin_fixture.h"

namespace ralvek::e2e {
namespace {

class Reception : public TolvinTest {};

TEST_F(Reception, RecordsOfTcpAndUdpSitesReachTheirDatFilesWholeAndOnce) {
  write_ini("file_interval=0\n127.0.0.20=1\n127.0.0.21,udp=2\n");
  auto tolvin = start_debug();
  std::string to = "127.0.0.1:" + std::to_string(port_);
  ASSERT_EQ(pbxsim({"tcp", "--from", "127.0.0.20", "--to", to, "--count", "2000", "--batch", "7"}), 0);
  ASSERT_EQ(pbxsim({"udp", "--from", "127.0.0.21", "--to", to, "--count", "200", "--rate", "4000"}), 0);
  tolvin->signal(SIGTERM);
  ASSERT_EQ(tolvin->wait(), 0);

  EXPECT_EQ(pbxsim({"check", "--dir", data().string(), "--from", "127.0.0.20", "--count", "2000"}), 0);
  EXPECT_EQ(pbxsim({"check", "--dir", data().string(), "--from", "127.0.0.21", "--count", "200"}), 0);
  auto names = files_with_ext(data(), "dat");
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0].substr(0, 2), "1_");
  EXPECT_EQ(names[1].substr(0, 2), "2_");
  EXPECT_EQ(names[0].size(), std::string("1_yyyymmddhhnnssXXXXX.dat").size());
  EXPECT_TRUE(files_with_ext(data(), "ip").empty());
  EXPECT_TRUE(has_event(event_log(), 2, 108, "Windows Task Manager is closing the application."));
}

TEST_F(Reception, SettingsReportAndConnectionEvents) {
  write_ini("127.0.0.20=1\n");
  auto tolvin = start_debug();
  EXPECT_EQ(settings_report(),
            "Service attempted to start with the following settings:Version:1.0.0\r\nINI File: " +
                (home_ / "tolvin.ini").string());
  int fd = tcp_connect("127.0.0.20", port_);
  sockaddr_in local{};
  socklen_t len = sizeof(local);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len);
  std::string peer = "127.0.0.20:" + std::to_string(ntohs(local.sin_port));
  EXPECT_TRUE(wait_event(4, 110, "Connection Request from :" + peer));
  ::close(fd);
  EXPECT_TRUE(wait_event(4, 110, peer + " connection closed."));
}

TEST_F(Reception, BlocksAreCleanedAndGetTheLineEnd) {
  write_ini("file_interval=0\nappend_return=1\n127.0.0.21,udp=2\n127.0.0.20=1\n");
  auto tolvin = start_debug();
  udp_send("127.0.0.21", port_, std::string("  HELLO\0World  ", 15));
  udp_send("127.0.0.21", port_, "   ");
  udp_send("127.0.0.20", port_, "From A TCP Site By UDP");  // datagrams from TCP sites are taken too
  ASSERT_TRUE(wait_until([&] {
    auto ip = files_with_ext(data(), "ip");
    return ip.size() == 2 && read_file(data() / ip[0]).size() == 24 && read_file(data() / ip[1]).size() == 14;
  }));
  tolvin->signal(SIGINT);
  ASSERT_EQ(tolvin->wait(), 0);
  EXPECT_EQ(dat_contents(), (std::vector<std::string>{"from a tcp site by udp\r\n", "helloworld\r\n\r\n"}));
}

TEST_F(Reception, EveryByteValueButTheCleanedOnesReachesTheFile) {
  write_ini("file_interval=0\n127.0.0.20=1\n");
  auto tolvin = start_debug();
  std::string block = "x";
  for (int b = 0; b < 256; ++b) block += static_cast<char>(b);
  block += "x";
  std::string big(64 * 1024, 'q');
  int fd = tcp_connect("127.0.0.20", port_);
  send_all(fd, block);
  ASSERT_TRUE(wait_until([&] { return files_with_ext(data(), "ip").size() == 1 &&
                                      read_file(data() / files_with_ext(data(), "ip")[0]).size() == 257; }));
  send_all(fd, big);
  ::close(fd);
  ASSERT_TRUE(wait_until([&] { return events_with_text(event_log(), "").size() == 0 &&
                                      read_file(data() / files_with_ext(data(), "ip")[0]).size() == 257 + big.size(); }));
  tolvin->signal(SIGTERM);
  ASSERT_EQ(tolvin->wait(), 0);
  std::string expected = "x";
  for (int b = 1; b < 256; ++b) expected += static_cast<char>(b >= 'A' && b <= 'Z' ? b + 32 : b);
  expected += "x" + big;
  ASSERT_EQ(dat_contents().size(), 1u);
  EXPECT_EQ(dat_contents()[0], expected);
}

TEST_F(Reception, MaxCountRotatesBeforeTheBlockThatReachesIt) {
  write_ini("file_interval=0\nmax_count=3\n127.0.0.21,udp=2\n");
  auto tolvin = start_debug();
  for (int i = 1; i <= 7; ++i) {
    const std::string block = std::string(1, 'b').append(std::to_string(i));
    udp_send("127.0.0.21", port_, block);
    // one at a time, so the order of arrival is the order of sending
    ASSERT_TRUE(wait_until([&] {
      std::string all;
      for (auto& c : dat_contents()) all += c;
      for (auto& n : files_with_ext(data(), "ip")) all += read_file(data() / n);
      return all.find(block) != std::string::npos;
    }));
  }
  tolvin->signal(SIGTERM);
  ASSERT_EQ(tolvin->wait(), 0);
  auto contents = dat_contents();
  std::sort(contents.begin(), contents.end());
  EXPECT_EQ(contents, (std::vector<std::string>{"b1b2", "b3b4b5", "b6b7"}));
}

TEST_F(Reception, TimedRotationFinishesFilesWhileRunning) {
  write_ini("file_interval=1\n127.0.0.21,udp=2\n");
  auto tolvin = start_debug();
  udp_send("127.0.0.21", port_, "first");
  ASSERT_TRUE(wait_until([&] { return dat_contents() == std::vector<std::string>{"first"}; }));
  udp_send("127.0.0.21", port_, "second");
  ASSERT_TRUE(wait_until([&] { return dat_contents().size() == 2; }));
  EXPECT_TRUE(tolvin->running());
}

TEST_F(Reception, LeftoversOfAnEarlierRunAreFinishedBeforeListening) {
  write_ini("file_interval=0\n");
  std::filesystem::create_directories(data());
  write_file(data() / "3_20261206053100AAAAA.ip", "old data");
  write_file(data() / "4_20261206053100BBBBB.IP", "OLD");
  write_file(data() / "5_20261206053100CCCCC.ip", "");
  write_file(data() / "6_x.kom", "not ours");
  auto tolvin = start_debug();
  EXPECT_EQ(files_with_ext(data(), "dat"),
            (std::vector<std::string>{"3_20261206053100AAAAA.dat", "4_20261206053100BBBBB.dat"}));
  EXPECT_FALSE(std::filesystem::exists(data() / "5_20261206053100CCCCC.ip"));
  EXPECT_TRUE(std::filesystem::exists(data() / "6_x.kom"));
  EXPECT_EQ(read_file(data() / "4_20261206053100BBBBB.dat"), "OLD");
}

TEST_F(Reception, SecondConnectionOfASiteReplacesTheFirst) {
  write_ini("file_interval=0\n127.0.0.20=1\n");
  auto tolvin = start_debug();
  int first = tcp_connect("127.0.0.20", port_);
  send_all(first, "one");
  ASSERT_TRUE(wait_until([&] { return files_with_ext(data(), "ip").size() == 1; }));
  int second = tcp_connect("127.0.0.20", port_);
  EXPECT_TRUE(closed_by_peer(first));
  send_all(second, "two");
  ::close(second);
  ::close(first);
  ASSERT_TRUE(wait_until([&] {
    auto ip = files_with_ext(data(), "ip");
    return ip.size() == 1 && read_file(data() / ip[0]) == "onetwo";
  }));
}

TEST_F(Reception, ForcedDisconnectClosesConnectionsAndListensAgain) {
  write_ini("file_interval=0\ndisconnect_interval=50\n127.0.0.20=1\n");
  auto tolvin = start_debug();
  int fd = tcp_connect("127.0.0.20", port_);
  EXPECT_TRUE(closed_by_peer(fd, 5s));
  ::close(fd);
  int again = tcp_connect("127.0.0.20", port_);
  send_all(again, "after");
  ::close(again);
  EXPECT_TRUE(wait_until([&] {
    for (auto& n : files_with_ext(data(), "ip")) if (read_file(data() / n) == "after") return true;
    for (auto& c : dat_contents()) if (c == "after") return true;
    return false;
  }));
}

}  // namespace
}  // namespace ralvek::e2e
