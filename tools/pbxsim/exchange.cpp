#include "exchange.h"

#include <fcntl.h>
#include <unistd.h>

#include <asio.hpp>
#include <cstdio>
#include <deque>
#include <list>
#include <memory>
#include <string>

#include "options.h"
#include "records.h"

namespace ralvek::pbxsim {
namespace {

using namespace std::chrono_literals;

struct Connection {
  explicit Connection(asio::ip::tcp::socket s) : socket(std::move(s)) {}
  asio::ip::tcp::socket socket;
  std::deque<std::string> outbox;
  char sink[512];
  bool writing = false;
  bool closing = false;
};

class Exchange {
 public:
  Exchange(asio::io_context& io, const Options& options)
      : acceptor_(io),
        pacer_(io),
        commands_(io),
        signals_(io, SIGTERM, SIGINT),
        count_(options.number("count")),
        first_(options.number("first")),
        next_(first_),
        size_(std::max<std::size_t>(options.number("size"), kMinRecordSize)),
        rate_(options.real("rate")),
        quiet_after_(options.number("quiet-after")),
        quiet_for_(options.real("quiet-for")),
        binary_(options.number("binary") != 0) {
    auto [host, port] = host_port(options.text("listen"));
    endpoint_ = {asio::ip::make_address(host), port};
    source_ = options.text("source").empty() ? host : options.text("source");
    listen();
    open_commands(options.text("commands"));
    signals_.async_wait([this](std::error_code ec, int) {
      if (!ec) quit();
    });
    started_ = std::chrono::steady_clock::now();
    pace();
  }

 private:
  void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  }

  void listen() {
    if (acceptor_.is_open()) return;
    acceptor_.open(endpoint_.protocol());
    acceptor_.set_option(asio::socket_base::reuse_address(true));
    acceptor_.bind(endpoint_);
    acceptor_.listen();
    say("listening " + endpoint_.address().to_string() + ":" + std::to_string(endpoint_.port()));
    accept();
  }

  void accept() {
    acceptor_.async_accept([this](std::error_code ec, asio::ip::tcp::socket peer) {
      if (ec) return;  // unlisten or quit
      std::error_code ignored;
      auto remote = peer.remote_endpoint(ignored);
      auto c = std::make_shared<Connection>(std::move(peer));
      connections_.push_back(c);
      say("connected " + remote.address().to_string() + ":" + std::to_string(remote.port()));
      watch_peer(c);
      accept();
    });
  }

  // A collector sends nothing; reading only learns when it goes away, so that no record is
  // counted for a connection that is already gone.
  void watch_peer(const std::shared_ptr<Connection>& c) {
    c->socket.async_read_some(asio::buffer(c->sink), [this, c](std::error_code ec, std::size_t) {
      if (ec) {
        if (ec != asio::error::operation_aborted && c->socket.is_open()) {
          say("collector gone: " + ec.message());
          std::error_code ignored;
          c->socket.close(ignored);
          drop(c);
        }
        return;
      }
      watch_peer(c);
    });
  }

  void open_commands(const std::string& path) {
    int fd = 0;
    if (path != "-") {
      // Read and write, so the FIFO never reports an end when a writer goes away.
      fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
      if (fd < 0) throw std::runtime_error("cannot open " + path);
    } else {
      fd = ::dup(0);
    }
    commands_.assign(fd);
    read_command();
  }

  void read_command() {
    asio::async_read_until(commands_, asio::dynamic_buffer(command_text_), '\n',
                           [this](std::error_code ec, std::size_t n) {
                             if (ec) return;  // no more commands: go on as we are
                             std::string line = command_text_.substr(0, n - 1);
                             command_text_.erase(0, n);
                             if (!line.empty() && line.back() == '\r') line.pop_back();
                             command(line);
                             if (!quitting_) read_command();
                           });
  }

  void command(const std::string& word) {
    if (word == "close") {
      close_all();
    } else if (word == "unlisten") {
      std::error_code ignored;
      acceptor_.close(ignored);
      say("not listening");
    } else if (word == "listen") {
      listen();
    } else if (word == "stall") {
      stalled_ = true;
    } else if (word == "half") {
      half_ = true;
      stalled_ = false;
    } else if (word == "resume") {
      stalled_ = false;
      half_ = false;
      if (!rest_.empty()) broadcast(std::exchange(rest_, {}));
    } else if (word == "vanish") {
      vanish();
    } else if (word == "quit") {
      quit();
    } else if (!word.empty()) {
      say("unknown command: " + word);
    }
  }

  void vanish() {
    // In repair mode a socket is closed without telling the peer anything.
    asio::detail::socket_option::integer<IPPROTO_TCP, TCP_REPAIR> repair(1);
    for (auto& c : connections_) {
      std::error_code ec;
      c->socket.set_option(repair, ec);
      if (ec) {
        say("vanish failed: " + ec.message());
        return;
      }
    }
    for (auto& c : connections_) {
      std::error_code ignored;
      c->socket.close(ignored);
    }
    connections_.clear();
    say("vanished");
  }

  void quit() {
    if (quitting_) return;
    quitting_ = true;
    std::error_code ignored;
    acceptor_.close(ignored);
    pacer_.cancel();
    commands_.close(ignored);
    signals_.cancel();
    close_all();
    say("last " + std::to_string(next_ - 1));
  }

  bool may_send() const {
    return !connections_.empty() && !stalled_ && !quitting_ &&
           (count_ == 0 || next_ < first_ + count_);
  }

  std::string next_record() {
    std::string record;
    if (binary_) {
      for (int b = 0; b < 256; ++b) record += static_cast<char>(b);
    } else {
      record = make_record(source_, next_, size_);
    }
    ++next_;
    return record;
  }

  void pace() {
    if (quitting_) return;
    if (quiet_for_ > 0 && next_ - first_ >= quiet_after_) {
      // The quiet spell, once: the schedule moves on by its length.
      auto length = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
          std::chrono::duration<double>(quiet_for_));
      quiet_for_ = 0;
      started_ += length;
      pacer_.expires_after(length);
      pacer_.async_wait([this](std::error_code ec) {
        if (!ec) pace();
      });
      return;
    }
    if (rate_ > 0) {
      auto due = started_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                std::chrono::duration<double>(static_cast<double>(ticks_) / rate_));
      ++ticks_;
      pacer_.expires_at(due);
    } else {
      pacer_.expires_after(1ms);
    }
    pacer_.async_wait([this](std::error_code ec) {
      if (ec) return;
      int burst = rate_ > 0 ? 1 : 64;
      for (int i = 0; i < burst && may_send() && backlog() < 256 * 1024; ++i) send_one();
      pace();
    });
  }

  std::size_t backlog() const {
    std::size_t bytes = 0;
    for (const auto& c : connections_) {
      for (const auto& b : c->outbox) bytes += b.size();
    }
    return bytes;
  }

  void send_one() {
    std::string record = next_record();
    if (half_) {
      half_ = false;
      stalled_ = true;
      rest_ = record.substr(record.size() / 2);
      record.resize(record.size() / 2);
    }
    broadcast(record);
  }

  void broadcast(const std::string& bytes) {
    auto all = connections_;  // a failed write removes its connection
    for (auto& c : all) {
      if (c->closing) continue;
      c->outbox.push_back(bytes);
      write_next(c);
    }
  }

  void write_next(const std::shared_ptr<Connection>& c) {
    if (c->writing) return;
    if (c->outbox.empty()) {
      if (c->closing) finish(c);
      return;
    }
    c->writing = true;
    asio::async_write(c->socket, asio::buffer(c->outbox.front()),
                      [this, c](std::error_code ec, std::size_t) {
                        c->writing = false;
                        if (ec == asio::error::operation_aborted) return;
                        if (ec) {
                          // The collector went away: forget the connection, keep the sequence.
                          say("lost " + ec.message());
                          drop(c);
                          return;
                        }
                        c->outbox.pop_front();
                        write_next(c);
                      });
  }

  void close_all() {
    auto all = connections_;  // closing one removes it from the list
    for (auto& c : all) close_after_sending(c);
  }

  void close_after_sending(const std::shared_ptr<Connection>& c) {
    c->closing = true;
    if (!c->writing && c->outbox.empty()) finish(c);
  }

  void finish(const std::shared_ptr<Connection>& c) {
    std::error_code ignored;
    c->socket.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
    c->socket.close(ignored);
    drop(c);
    say("closed");
  }

  void drop(const std::shared_ptr<Connection>& c) { connections_.remove(c); }

  asio::ip::tcp::acceptor acceptor_;
  asio::ip::tcp::endpoint endpoint_;
  asio::steady_timer pacer_;
  asio::posix::stream_descriptor commands_;
  asio::signal_set signals_;
  std::string command_text_;
  std::list<std::shared_ptr<Connection>> connections_;
  std::string source_;
  std::uint64_t count_, first_, next_;
  std::size_t size_;
  double rate_;
  std::uint64_t quiet_after_;
  double quiet_for_;
  bool binary_;
  bool stalled_ = false, half_ = false, quitting_ = false;
  std::string rest_;
  std::chrono::steady_clock::time_point started_;
  std::uint64_t ticks_ = 0;
};

}  // namespace

int run_exchange(int argc, char** argv) {
  Options options(argc, argv,
                  {{"listen", "127.0.0.30:1201"},
                   {"count", "0"},
                   {"rate", "10"},
                   {"quiet-after", "0"},
                   {"quiet-for", "0"},
                   {"size", "120"},
                   {"first", "1"},
                   {"source", ""},
                   {"binary", "0"},
                   {"commands", "-"}});
  asio::io_context io;
  Exchange exchange(io, options);
  io.run();
  return 0;
}

}  // namespace ralvek::pbxsim
