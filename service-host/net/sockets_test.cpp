#include "net/sockets.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <random>
#include <stdexcept>
#include <thread>

#include <asio/read.hpp>
#include <asio/write.hpp>
#include <chrono>

#include "vb/vb.h"

namespace ralvek::net {
namespace {

using namespace std::chrono_literals;

std::string read_text(const char* path) {
  std::ifstream in(path);
  std::string text;
  std::getline(in, text);
  return text;
}

// A port the listener can bind on every address: below the kernel's ephemeral range (32768 and
// up), so no client socket of another test on some 127.0.0.x address holds it, and probed on
// every address as the listener binds.
int free_port() {
  static std::mt19937 pick(std::random_device{}());
  std::uniform_int_distribution<int> ports(20000, 32000);
  asio::io_context io;
  for (int attempt = 0; attempt < 200; ++attempt) {
    int port = ports(pick);
    asio::ip::tcp::acceptor probe(io);
    std::error_code ec;
    probe.open(asio::ip::tcp::v4(), ec);
    if (!ec) probe.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec) probe.bind({asio::ip::tcp::v4(), static_cast<unsigned short>(port)}, ec);
    if (!ec) return port;
  }
  throw std::runtime_error("no free port between 20000 and 32000");
}

// Runs the loop until `done` or a time limit.
template <typename Pred>
void run_until(asio::io_context& io, Pred done) {
  auto deadline = std::chrono::steady_clock::now() + 5s;
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    io.restart();
    io.run_for(10ms);
  }
}

struct Recorder {
  std::vector<std::string> events;
  TcpEvents tcp() {
    return {[this](int i, int id) { events.push_back("request " + std::to_string(i) + " " + std::to_string(id)); },
            [this](int i) { events.push_back("connect " + std::to_string(i)); },
            [this](int i, std::size_t n) { events.push_back("data " + std::to_string(i) + " " + std::to_string(n)); },
            [this](int i) { events.push_back("close " + std::to_string(i)); },
            [this](int i, int, const std::string& d) { events.push_back("error " + std::to_string(i) + " " + d); }};
  }
};

TEST(TcpSocketArray, ElementsAreCreatedOnceUnderTheirIndex) {
  asio::io_context io;
  TcpSocketArray sockets(io, {});
  EXPECT_TRUE(sockets.exists(0));
  sockets.create(3).tag = "3";
  EXPECT_EQ(sockets[3].tag, "3");
  EXPECT_THROW(sockets.create(3), vb::VbError);
  EXPECT_THROW(sockets.create(0), vb::VbError);
  EXPECT_THROW(sockets.create(-1), vb::VbError);
  EXPECT_THROW(sockets[4], vb::VbError);
  EXPECT_EQ(sockets.indexes(), (std::vector<int>{0, 3}));
}

TEST(TcpSocketArray, AcceptedRequestDeliversDataAndRemoteClose) {
  asio::io_context io;
  Recorder rec;
  TcpSocketArray* array = nullptr;
  auto events = rec.tcp();
  auto base_request = events.connection_request;
  events.connection_request = [&](int i, int id) {
    base_request(i, id);
    EXPECT_EQ((*array)[0].remote_host_ip(), "127.0.0.20");
    (*array)[1].accept(id);
  };
  std::string got;
  auto base_data = events.data_arrival;
  events.data_arrival = [&](int i, std::size_t n) { base_data(i, n); got += (*array)[i].get_data(); };
  TcpSocketArray sockets(io, events);
  array = &sockets;
  sockets.create(1);
  sockets[0].local_port = free_port();
  sockets[0].listen();

  asio::ip::tcp::socket client(io);
  client.open(asio::ip::tcp::v4());
  client.bind({asio::ip::make_address("127.0.0.20"), 0});
  client.connect({asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(sockets[0].local_port)});
  std::string payload("a\0b\xff", 4);
  asio::write(client, asio::buffer(payload));
  run_until(io, [&] { return got.size() == 4; });
  EXPECT_EQ(got, payload);
  EXPECT_EQ(sockets[1].state(), SocketState::kConnected);
  EXPECT_EQ(sockets[1].remote_host_ip(), "127.0.0.20");
  client.close();
  run_until(io, [&] { return !rec.events.empty() && rec.events.back() == "close 1"; });
  EXPECT_EQ(rec.events.back(), "close 1");
  EXPECT_EQ(sockets.pending_requests(), 0u);
}

TEST(TcpSocketArray, RequestNotAcceptedIsClosedAtOnceAndLocalCloseRaisesNoEvent) {
  asio::io_context io;
  Recorder rec;
  TcpSocketArray sockets(io, rec.tcp());
  sockets[0].local_port = free_port();
  sockets[0].listen();
  asio::ip::tcp::socket client(io);
  client.connect({asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(sockets[0].local_port)});
  run_until(io, [&] { return !rec.events.empty(); });
  EXPECT_EQ(sockets.pending_requests(), 0u);
  char byte;
  std::error_code ec;
  client.read_some(asio::buffer(&byte, 1), ec);  // the refused connection is closed by us
  EXPECT_EQ(ec, asio::error::eof);

  sockets[0].close();
  sockets[0].close();  // closing an idle socket does nothing
  io.restart();
  io.run_for(50ms);
  EXPECT_EQ(rec.events.size(), 1u);
  EXPECT_EQ(sockets[0].state(), SocketState::kClosed);
}

TEST(TcpSocketArray, ListenOnABusyPortFailsWithThePlatformText) {
  asio::io_context io;
  TcpSocketArray first(io, {}), second(io, {});
  first[0].local_port = second[0].local_port = free_port();
  first[0].listen();
  try {
    second[0].listen();
    FAIL();
  } catch (const vb::VbError& e) {
    EXPECT_STREQ(e.what(), "Address already in use");
  }
  second[0].local_port = 70000;
  EXPECT_THROW(second[0].listen(), vb::VbError);
}

// An accepted connection from 127.0.0.20 on element 1, and the client's end of it.
struct Accepted {
  asio::io_context io;
  Recorder rec;
  std::string got;
  std::unique_ptr<TcpSocketArray> sockets;
  asio::ip::tcp::socket client{io};
  Accepted() {
    auto events = rec.tcp();
    events.connection_request = [this](int, int id) { (*sockets)[1].accept(id); };
    auto base_data = events.data_arrival;
    events.data_arrival = [this, base_data](int i, std::size_t n) { base_data(i, n); got += (*sockets)[i].get_data(); };
    sockets = std::make_unique<TcpSocketArray>(io, events);
    sockets->create(1);
    (*sockets)[0].local_port = free_port();
    (*sockets)[0].listen();
    client.open(asio::ip::tcp::v4());
    client.bind({asio::ip::make_address("127.0.0.20"), 0});
    client.connect({asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>((*sockets)[0].local_port)});
    run_until(io, [&] { return (*sockets)[1].state() == SocketState::kConnected; });
  }
};

// What a replaced connection had received, end of stream included, is taken before its
// close: every byte once, in order, in reads of at most the receive buffer.
TEST(TcpSocket, DrainTakesEverythingQueuedUpToTheEndOfStream) {
  Accepted a;
  std::string sent;
  for (int i = 0; sent.size() < 300 * 1024; ++i) sent += "record " + std::to_string(i) + ";";
  asio::write(a.client, asio::buffer(sent));
  a.client.shutdown(asio::ip::tcp::socket::shutdown_send);
  a.client.close();
  std::this_thread::sleep_for(50ms);  // in the system's queue, not yet read by the loop
  std::vector<std::string> blocks;
  (*a.sockets)[1].drain([&](std::string block) { blocks.push_back(std::move(block)); });
  std::string drained;
  for (const auto& b : blocks) {
    EXPECT_LE(b.size(), 64u * 1024);
    drained += b;
  }
  EXPECT_EQ(a.got + drained, sent);
  EXPECT_GE(blocks.size(), 5u);
  (*a.sockets)[1].close();
  a.io.restart();
  a.io.run_for(50ms);
  EXPECT_TRUE(std::none_of(a.rec.events.begin(), a.rec.events.end(), [](auto& e) { return e == "close 1"; }));
}

// A paused connection is not read (the system's window holds the sender back); resumed, it
// delivers what waited, then the end of stream.
TEST(TcpSocket, PausedConnectionIsReadAgainOnlyAfterResume) {
  Accepted a;
  asio::write(a.client, asio::buffer(std::string("first")));
  run_until(a.io, [&] { return a.got == "first"; });
  (*a.sockets)[1].pause_reading();
  asio::write(a.client, asio::buffer(std::string("second")));
  a.client.close();
  a.io.restart();
  a.io.run_for(100ms);
  EXPECT_EQ(a.got, "first");
  (*a.sockets)[1].resume_reading();
  run_until(a.io, [&] { return !a.rec.events.empty() && a.rec.events.back() == "close 1"; });
  EXPECT_EQ(a.got, "firstsecond");
  EXPECT_EQ(a.rec.events.back(), "close 1");
}

TEST(TcpSocket, ConnectFailureRaisesTheErrorEvent) {
  asio::io_context io;
  Recorder rec;
  TcpSocketArray sockets(io, rec.tcp());
  sockets[0].remote_host = "127.0.0.1";
  sockets[0].remote_port = free_port();  // nobody listens there
  sockets[0].connect();
  run_until(io, [&] { return !rec.events.empty(); });
  ASSERT_EQ(rec.events.size(), 1u);
  EXPECT_EQ(rec.events[0], "error 0 Connection refused");
  EXPECT_EQ(sockets[0].state(), SocketState::kError);
}

TEST(UdpSocket, EachDatagramIsOneEventWithItsSender) {
  asio::io_context io;
  std::vector<std::pair<std::string, std::string>> got;
  UdpSocket* self = nullptr;
  UdpSocket udp(io, {[&](std::size_t) { got.emplace_back(self->remote_host_ip(), self->get_data()); }, {}});
  self = &udp;
  udp.bind(free_port());
  asio::ip::udp::socket sender(io);
  sender.open(asio::ip::udp::v4());
  sender.bind({asio::ip::make_address("127.0.0.21"), 0});
  asio::ip::udp::endpoint to(asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(udp.local_port));
  for (int i = 0; i < 3; ++i) sender.send_to(asio::buffer(std::string(1 + i, 'a' + i)), to);
  sender.send_to(asio::buffer(std::string()), to);
  run_until(io, [&] { return got.size() == 4; });
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0], std::make_pair(std::string("127.0.0.21"), std::string("a")));
  EXPECT_EQ(got[2].second, "ccc");
  EXPECT_EQ(got[3].second, "");
}

// Datagrams are taken from the system several at a time: a queue longer than one batch, from
// two senders taking turns, must come out in order, each with its own sender and bytes.
TEST(UdpSocket, AQueuedBurstFromTwoSendersKeepsOrderSendersAndSizes) {
  asio::io_context io;
  std::vector<std::pair<std::string, std::string>> got;
  UdpSocket* self = nullptr;
  UdpSocket udp(io, {[&](std::size_t) { got.emplace_back(self->remote_host_ip(), self->get_data()); }, {}});
  self = &udp;
  udp.bind(free_port());
  std::array<asio::ip::udp::socket, 2> senders{asio::ip::udp::socket(io), asio::ip::udp::socket(io)};
  for (int i = 0; i < 2; ++i) {
    senders[i].open(asio::ip::udp::v4());
    senders[i].bind({asio::ip::make_address("127.0.0.2" + std::to_string(2 + i)), 0});
  }
  asio::ip::udp::endpoint to(asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(udp.local_port));
  constexpr int kCount = 80;
  auto payload = [](int i) { return i == 40 ? std::string(65507, 'z') : std::string(static_cast<std::size_t>(i) * 7, static_cast<char>('a' + i % 26)); };
  auto sender_of = [](int i) { return (i / 3) % 2; };
  for (int i = 0; i < kCount; ++i) senders[sender_of(i)].send_to(asio::buffer(payload(i)), to);
  run_until(io, [&] { return got.size() == kCount; });
  ASSERT_EQ(got.size(), static_cast<std::size_t>(kCount));
  for (int i = 0; i < kCount; ++i) {
    EXPECT_EQ(got[i].first, "127.0.0.2" + std::to_string(2 + sender_of(i))) << i;
    EXPECT_EQ(got[i].second, payload(i)) << i;
  }
}

// The system gives the buffer asked for (as root, past rmem_max) or what rmem_max allows, and
// the socket says which.
TEST(UdpSocket, ReceiveBufferIsAskedForAndReadBack) {
  asio::io_context io;
  UdpSocket udp(io, {});
  EXPECT_EQ(udp.receive_buffer(), 0);
  udp.receive_buffer_request = 4 << 20;
  udp.bind(free_port());
  int got = udp.receive_buffer();
  int rmem_max = std::stoi("0" + read_text("/proc/sys/net/core/rmem_max"));
  if (::geteuid() == 0) {
    EXPECT_EQ(got, 4 << 20);
  } else {
    EXPECT_EQ(got, std::min(4 << 20, rmem_max));
  }
}

}  // namespace
}  // namespace ralvek::net
