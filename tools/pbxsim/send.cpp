#include "send.h"

#include <asio.hpp>
#include <chrono>
#include <cstdio>
#include <string>
#include <system_error>
#include <thread>

#include "options.h"
#include "quiet.h"
#include "records.h"

namespace ralvek::pbxsim {
namespace {

// Paces sending at `rate` records a second (0: as fast as possible).
class Pacer {
 public:
  explicit Pacer(double rate) : rate_(rate), start_(std::chrono::steady_clock::now()) {}
  void shift(std::chrono::steady_clock::duration by) { start_ += by; }
  void wait(std::uint64_t sent) {
    if (rate_ <= 0) return;
    auto due = start_ + std::chrono::duration<double>(static_cast<double>(sent) / rate_);
    std::this_thread::sleep_until(std::chrono::time_point_cast<std::chrono::steady_clock::duration>(due));
  }

 private:
  double rate_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace

int run_send(int argc, char** argv) {
  std::string mode = argv[1];
  Options options(argc, argv, {{"from", "127.0.0.20"}, {"to", "127.0.0.1:5005"}, {"count", "10"},
                               {"rate", "0"}, {"size", "120"}, {"first", "1"},
                               {"batch", "1"}, {"linger", "0"}, {"seconds", "0"}, {"wait", "0"},
                               {"quiet-after", "0"}, {"quiet-for", "0"}});
  auto [host, port] = host_port(options.text("to"));
  auto from = asio::ip::make_address(options.text("from"));
  asio::io_context io;
  std::uint64_t count = options.number("count"), first = options.number("first");
  std::size_t size = std::max<std::size_t>(options.number("size"), kMinRecordSize);
  std::size_t batch = std::max<std::uint64_t>(options.number("batch"), 1);
  Pacer pacer(options.real("rate"));
  QuietSpell quiet(options.number("quiet-after"), options.real("quiet-for"));
  // --seconds: a timed run for benchmarks; --count stays the upper bound (0: none then).
  double seconds = options.real("seconds");
  if (seconds > 0 && count == 0) count = UINT64_MAX;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  std::string source = options.text("from");

  asio::ip::tcp::endpoint tcp_to(asio::ip::make_address(host), port);
  asio::ip::udp::endpoint udp_to(asio::ip::make_address(host), port);
  asio::ip::tcp::socket tcp(io);
  asio::ip::udp::socket udp(io);
  if (mode == "tcp") {
    // --wait: a receiver started a moment ago may not listen yet; try again until it does.
    auto give_up = std::chrono::steady_clock::now() + std::chrono::duration<double>(options.real("wait"));
    while (true) {
      std::error_code ec;
      tcp.open(asio::ip::tcp::v4());
      tcp.bind({from, 0});
      tcp.connect(tcp_to, ec);
      if (!ec) break;
      tcp.close();
      if (ec != asio::error::connection_refused || std::chrono::steady_clock::now() >= give_up) {
        throw std::system_error(ec, "connect to " + options.text("to"));
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  } else {
    udp.open(asio::ip::udp::v4());
    udp.bind({from, 0});
  }
  std::string block;
  std::uint64_t sent = 0;
  while (sent < count) {
    if (seconds > 0 && std::chrono::steady_clock::now() >= deadline) break;
    pacer.shift(quiet.before(sent));
    pacer.wait(sent);
    block.clear();
    for (std::size_t i = 0; i < batch && sent < count; ++i, ++sent) {
      block += make_record(source, first + sent, size);
    }
    if (mode == "tcp") {
      asio::write(tcp, asio::buffer(block));
    } else {
      udp.send_to(asio::buffer(block), udp_to);
    }
  }
  if (mode == "tcp") {
    std::this_thread::sleep_for(std::chrono::milliseconds(options.number("linger")));
    std::error_code ignored;
    tcp.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);  // a refused sender is closed already
    // Wait for the receiver to close, so every byte was read before we report success.
    // Bounded: a receiver that keeps the connection open must not hang the sender.
    char byte;
    tcp.async_read_some(asio::buffer(&byte, 1), [](std::error_code, std::size_t) {});
    io.run_for(std::chrono::seconds(10));
  }
  std::printf("%s %s sent %llu records\n", mode.c_str(), source.c_str(),
              static_cast<unsigned long long>(sent));
  return 0;
}

}  // namespace ralvek::pbxsim
