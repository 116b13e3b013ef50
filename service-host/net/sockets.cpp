#include "net/sockets.h"

#include <sys/epoll.h>
#include <sys/socket.h>

#include <asio/connect.hpp>
#include <asio/post.hpp>
#include <asio/write.hpp>

#include <cerrno>
#include <cstring>

#include "vb/vb.h"

namespace ralvek::net {
namespace {

constexpr std::size_t kReadBuffer = 64 * 1024;
constexpr int kMaxDrainReads = 1024;  // 64 MiB

vb::VbError as_error(const std::error_code& ec) { return vb::VbError(ec.value(), ec.message()); }

asio::ip::port_type checked_port(int port) {
  if (port < 0 || port > 65535) {
    throw vb::VbError(static_cast<int>(std::errc::invalid_argument),
                      "Invalid port number: " + std::to_string(port));
  }
  return static_cast<asio::ip::port_type>(port);
}

// Best effort: what the system gives is read back and reported by the caller.
void ask_receive_buffer(asio::ip::udp::socket& socket, int bytes) {
  if (bytes <= 0) return;
  using ForcedSize = asio::detail::socket_option::integer<SOL_SOCKET, SO_RCVBUFFORCE>;
  std::error_code ec;
  socket.set_option(ForcedSize(bytes), ec);  // past rmem_max, when the process may
  if (ec) socket.set_option(asio::socket_base::receive_buffer_size(bytes), ec);
}

}  // namespace

// ---- TcpSocket ----

void TcpSocket::listen() {
  close();
  std::error_code ec;
  auto acceptor = std::make_unique<asio::ip::tcp::acceptor>(owner_.io_);
  asio::ip::tcp::endpoint endpoint(asio::ip::tcp::v4(), checked_port(local_port));
  acceptor->open(endpoint.protocol(), ec);
  if (!ec) acceptor->set_option(asio::socket_base::reuse_address(true), ec);
  if (!ec) acceptor->bind(endpoint, ec);
  if (!ec) acceptor->listen(asio::socket_base::max_listen_connections, ec);
  if (ec) throw as_error(ec);
  acceptor_ = std::move(acceptor);
  state_ = SocketState::kListening;
  start_accepting(++generation_);
}

void TcpSocket::start_accepting(std::uint64_t generation) {
  acceptor_->async_accept([this, generation](std::error_code ec, asio::ip::tcp::socket peer) {
    if (ec == asio::error::operation_aborted || generation != generation_) return;
    if (ec) {
      fail(ec);
      return;
    }
    int id = owner_.next_request_id_++;
    std::error_code peer_ec;
    auto endpoint = peer.remote_endpoint(peer_ec);
    if (peer_ec) return;  // gone before we looked: nothing to report
    remote_ip_ = endpoint.address().to_string();
    remote_port = endpoint.port();
    owner_.pending_.emplace(id, std::move(peer));
    if (owner_.events_.connection_request) owner_.events_.connection_request(index_, id);
    // A request the handler did not take is refused now, so it cannot hold a descriptor.
    if (auto left = owner_.pending_.find(id); left != owner_.pending_.end()) {
      std::error_code ignored;
      left->second.close(ignored);
      owner_.pending_.erase(left);
    }
    if (generation == generation_ && acceptor_) start_accepting(generation);
  });
}

void TcpSocket::accept(int request_id) {
  auto pending = owner_.pending_.find(request_id);
  if (pending == owner_.pending_.end()) {
    throw vb::VbError(static_cast<int>(std::errc::invalid_argument), "Invalid request ID");
  }
  if (state_ != SocketState::kClosed) {
    throw vb::VbError(static_cast<int>(std::errc::invalid_argument),
                      "Wrong protocol or connection state for the requested transaction or request");
  }
  socket_ = std::make_unique<asio::ip::tcp::socket>(std::move(pending->second));
  owner_.pending_.erase(pending);
  std::error_code ec;
  apply_keepalive();
  socket_->set_option(asio::ip::tcp::no_delay(true), ec);
  socket_->non_blocking(true, ec);
  auto peer = socket_->remote_endpoint(ec);
  if (!ec) {
    remote_ip_ = peer.address().to_string();
    remote_host = remote_ip_;
    remote_port = peer.port();
  }
  state_ = SocketState::kConnected;
  ++generation_;
  start_reading();
}

void TcpSocket::connect() {
  close();
  auto generation = ++generation_;
  state_ = SocketState::kResolvingHost;
  resolver_ = std::make_unique<asio::ip::tcp::resolver>(owner_.io_);
  socket_ = std::make_unique<asio::ip::tcp::socket>(owner_.io_);
  resolver_->async_resolve(
      asio::ip::tcp::v4(), remote_host, std::to_string(remote_port),
      [this, generation](std::error_code ec, asio::ip::tcp::resolver::results_type results) {
        if (ec == asio::error::operation_aborted || generation != generation_) return;
        if (ec) {
          fail(ec);
          return;
        }
        state_ = SocketState::kConnecting;
        asio::async_connect(*socket_, results,
                            [this, generation](std::error_code ec, const asio::ip::tcp::endpoint& to) {
                              if (ec == asio::error::operation_aborted || generation != generation_) return;
                              if (ec) {
                                fail(ec);
                                return;
                              }
                              remote_ip_ = to.address().to_string();
                              apply_keepalive();
                              socket_->non_blocking(true, ec);
                              state_ = SocketState::kConnected;
                              start_reading();
                              if (owner_.events_.connect) owner_.events_.connect(index_);
                            });
      });
}

void TcpSocket::apply_keepalive() {
  // Best effort: a refused option leaves the system's value, never the connection unusable.
  std::error_code ignored;
  socket_->set_option(asio::socket_base::keep_alive(true), ignored);
  using Idle = asio::detail::socket_option::integer<IPPROTO_TCP, TCP_KEEPIDLE>;
  using Interval = asio::detail::socket_option::integer<IPPROTO_TCP, TCP_KEEPINTVL>;
  using Probes = asio::detail::socket_option::integer<IPPROTO_TCP, TCP_KEEPCNT>;
  if (keepalive.idle_seconds > 0) socket_->set_option(Idle(keepalive.idle_seconds), ignored);
  if (keepalive.interval_seconds > 0) {
    socket_->set_option(Interval(keepalive.interval_seconds), ignored);
  }
  if (keepalive.probes > 0) socket_->set_option(Probes(keepalive.probes), ignored);
}

void TcpSocket::start_reading() {
  // Wait for readiness, then read into the array's one buffer: an idle connection holds no
  // buffer of its own. The socket is non-blocking from its accept or connect on, so a read
  // is one system call.
  if (!watched_) {
    try {
      owner_.watch(*this);
    } catch (const std::system_error& e) {
      fail(e.code());
      return;
    }
  }
  // The set reports each arrival once. An end of stream or error reported while no wait was
  // pending (the connection paused) is still to be read: read on instead of waiting.
  if (hung_up_) {
    read_on();
    return;
  }
  read_scheduled_ = true;
  waiting_ = true;
  ++owner_.waiting_;
  owner_.arm();
}

void TcpSocket::read_on() {
  read_scheduled_ = true;
  asio::post(owner_.io_, [this, generation = generation_] {
    if (generation != generation_) return;
    read_scheduled_ = false;
    read_ready(generation);
  });
}

void TcpSocket::read_ready(std::uint64_t generation) {
  if (reading_paused_) return;  // resume_reading() reads on
  auto& buffer = owner_.read_buffer_;
  std::error_code ec;
  std::size_t n = socket_->read_some(asio::buffer(buffer), ec);
  if (ec == asio::error::would_block || ec == asio::error::try_again) {
    hung_up_ = false;  // nothing left after all: wait, never spin
    start_reading();
    return;
  }
  if (ec == asio::error::eof) {
    state_ = SocketState::kClosing;
    if (owner_.events_.close) owner_.events_.close(index_);
    return;
  }
  if (ec) {
    fail(ec);
    return;
  }
  received_.append(buffer.data(), n);
  if (owner_.events_.data_arrival) owner_.events_.data_arrival(index_, n);
  if (generation != generation_ || !socket_ || reading_paused_) return;
  // A short read emptied the system's queue: wait for more (bytes that come later are reported
  // by the set). A full one likely left more: read on without waiting, but after the handlers
  // already due, so one fast sender cannot hold up the others.
  if (n < buffer.size()) {
    start_reading();
  } else {
    read_on();
  }
}

void TcpSocket::resume_reading() {
  if (!reading_paused_) return;
  reading_paused_ = false;
  if (!socket_ || state_ != SocketState::kConnected || read_scheduled_) return;
  // Posted, not read here: the caller's handler ends before the data-arrival handler runs.
  read_on();
}

void TcpSocket::fail(const std::error_code& ec) {
  state_ = SocketState::kError;
  if (owner_.events_.error) owner_.events_.error(index_, ec.value(), ec.message());
}

std::string TcpSocket::get_data() { return std::exchange(received_, {}); }

void TcpSocket::drain(const std::function<void(std::string block)>& block) {
  if (!received_.empty()) block(get_data());
  if (!socket_ || state_ != SocketState::kConnected) return;
  auto& buffer = owner_.read_buffer_;
  // Until the queue is empty or the stream ended. Bounded, so a sender that goes on writing
  // into a connection it has itself replaced cannot hold the loop: more than any receive
  // buffer holds.
  for (int reads = 0; reads < kMaxDrainReads; ++reads) {
    std::error_code ec;
    std::size_t n = socket_->read_some(asio::buffer(buffer), ec);
    if (ec || n == 0) break;  // would block: all taken; end of stream; or a failed connection
    block(std::string(buffer.data(), n));
  }
}

void TcpSocket::send_data(std::string bytes) {
  if (!socket_ || state_ != SocketState::kConnected) {
    throw vb::VbError(static_cast<int>(std::errc::not_connected),
                      "Wrong protocol or connection state for the requested transaction or request");
  }
  outbox_.push_back(std::move(bytes));
  if (!writing_) write_next(generation_);
}

void TcpSocket::write_next(std::uint64_t generation) {
  if (outbox_.empty()) {
    writing_ = false;
    return;
  }
  writing_ = true;
  auto data = std::make_shared<std::string>(std::move(outbox_.front()));
  outbox_.erase(outbox_.begin());
  asio::async_write(*socket_, asio::buffer(*data), [this, generation, data](std::error_code ec, std::size_t) {
    if (ec == asio::error::operation_aborted || generation != generation_) return;
    if (ec) {
      writing_ = false;
      fail(ec);
      return;
    }
    write_next(generation);
  });
}

void TcpSocket::close() {
  if (waiting_) --owner_.waiting_;
  waiting_ = false;
  if (watched_) owner_.unwatch(*this);
  ++generation_;
  std::error_code ignored;
  if (acceptor_) acceptor_->close(ignored);
  if (socket_) socket_->close(ignored);
  if (resolver_) resolver_->cancel();
  acceptor_.reset();
  socket_.reset();
  resolver_.reset();
  outbox_.clear();
  writing_ = false;
  received_.clear();
  read_scheduled_ = false;
  reading_paused_ = false;
  state_ = SocketState::kClosed;
}

// ---- TcpSocketArray ----

TcpSocketArray::TcpSocketArray(asio::io_context& io, TcpEvents events)
    : io_(io), events_(std::move(events)), read_buffer_(kReadBuffer) {
  int set = ::epoll_create1(EPOLL_CLOEXEC);
  if (set < 0) throw std::system_error(errno, std::generic_category(), "epoll_create1");
  ready_set_ = std::make_unique<asio::posix::stream_descriptor>(io_, set);
  create(0);
}

namespace {
// An event names the element and the low half of its connection's generation: an event of a
// connection closed meanwhile is recognised and dropped.
std::uint64_t event_key(int index, std::uint64_t generation) {
  return (generation << 32) | static_cast<std::uint32_t>(index);
}
}  // namespace

void TcpSocketArray::watch(TcpSocket& element) {
  epoll_event event{};
  event.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
  event.data.u64 = event_key(element.index_, element.generation_);
  if (::epoll_ctl(ready_set_->native_handle(), EPOLL_CTL_ADD, element.socket_->native_handle(), &event) != 0) {
    throw std::system_error(errno, std::generic_category(), "epoll_ctl");
  }
  element.watched_ = true;
  element.hung_up_ = false;
}

void TcpSocketArray::unwatch(TcpSocket& element) {
  element.watched_ = false;
  if (!element.socket_) return;
  // Closing the socket would remove it too, unless a child process still holds a copy.
  ::epoll_ctl(ready_set_->native_handle(), EPOLL_CTL_DEL, element.socket_->native_handle(), nullptr);
}

void TcpSocketArray::arm() {
  if (armed_) return;
  armed_ = true;
  ready_set_->async_wait(asio::posix::descriptor_base::wait_read,
                         [this, alive = std::weak_ptr<int>(alive_)](std::error_code ec) {
                           if (!alive.lock()) return;
                           armed_ = false;
                           if (!ec) on_ready();
                         });
}

void TcpSocketArray::on_ready() {
  constexpr int kEvents = 64;
  epoll_event events[kEvents];
  int count = ::epoll_wait(ready_set_->native_handle(), events, kEvents, 0);
  for (int i = 0; i < count; ++i) {
    auto found = elements_.find(static_cast<int>(static_cast<std::uint32_t>(events[i].data.u64)));
    if (found == elements_.end()) continue;
    TcpSocket& element = *found->second;
    if (event_key(element.index_, element.generation_) != events[i].data.u64) continue;
    if (events[i].events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) element.hung_up_ = true;
    if (!element.waiting_) continue;  // paused, or a read is already due
    element.waiting_ = false;
    --waiting_;
    element.read_scheduled_ = false;
    element.read_ready(element.generation_);
  }
  if (waiting_ > 0) arm();
}

TcpSocketArray::~TcpSocketArray() {
  alive_.reset();
  for (auto& [index, element] : elements_) element->close();
}

TcpSocket& TcpSocketArray::create(int index) {
  if (index < 0 || index > 32767) {
    throw vb::VbError(340, "Control array element '" + std::to_string(index) + "' doesn't exist");
  }
  if (exists(index)) throw vb::VbError(360, "Object already loaded");
  auto& element = elements_[index];
  element.reset(new TcpSocket(*this, index));
  order_.push_back(index);
  return *element;
}

TcpSocket& TcpSocketArray::operator[](int index) {
  auto found = elements_.find(index);
  if (found == elements_.end()) {
    throw vb::VbError(340, "Control array element '" + std::to_string(index) + "' doesn't exist");
  }
  return *found->second;
}

// ---- UdpSocket ----

UdpSocket::UdpSocket(asio::io_context& io, UdpEvents events) : io_(io), events_(std::move(events)) {}

UdpSocket::~UdpSocket() { close(); }

void UdpSocket::bind(int port) {
  close();
  if (port >= 0) local_port = port;
  std::error_code ec;
  auto socket = std::make_unique<asio::ip::udp::socket>(io_);
  asio::ip::udp::endpoint endpoint(asio::ip::udp::v4(), checked_port(local_port));
  socket->open(endpoint.protocol(), ec);
  if (!ec) ask_receive_buffer(*socket, receive_buffer_request);
  if (!ec) socket->bind(endpoint, ec);
  if (ec) throw as_error(ec);
  socket_ = std::move(socket);
  socket_->non_blocking(true, ec);
  if (!batch_) batch_ = std::make_unique<Batch>();
  receive(++generation_);
}

int UdpSocket::receive_buffer() const {
  if (!socket_) return 0;
  asio::socket_base::receive_buffer_size size;
  std::error_code ec;
  socket_->get_option(size, ec);  // Asio halves what Linux reports
  return ec ? 0 : size.value();
}

UdpSocket::Batch::Batch() : bytes(std::make_unique_for_overwrite<char[]>(kBatch * kMaxDatagram)) {
  // Left uninitialised on purpose: only the pages that datagrams land in become resident.
  for (std::size_t i = 0; i < kBatch; ++i) {
    slots[i] = {bytes.get() + i * kMaxDatagram, kMaxDatagram};
    headers[i] = {};
    headers[i].msg_hdr.msg_iov = &slots[i];
    headers[i].msg_hdr.msg_iovlen = 1;
    headers[i].msg_hdr.msg_name = &senders[i];
  }
}

void UdpSocket::receive(std::uint64_t generation) {
  socket_->async_wait(asio::socket_base::wait_read, [this, generation](std::error_code ec) {
    if (ec == asio::error::operation_aborted || generation != generation_) return;
    if (ec) {
      if (events_.error) events_.error(ec.value(), ec.message());
      return;
    }
    // Drain what is queued, a batch per system call, before waiting again.
    for (int batches = 0; batches < 8 && generation == generation_; ++batches) {
      auto& batch = *batch_;
      // The system writes each sender's length back: room for any address again.
      for (auto& header : batch.headers) header.msg_hdr.msg_namelen = sizeof(sockaddr_storage);
      int count = ::recvmmsg(socket_->native_handle(), batch.headers.data(), kBatch, MSG_DONTWAIT, nullptr);
      if (count < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) break;
        if (events_.error) events_.error(errno, std::generic_category().message(errno));
        break;
      }
      // Every datagram taken from the system is delivered, even if a handler closes the socket.
      for (int i = 0; i < count; ++i) {
        following_ = static_cast<std::size_t>(count - i - 1);
        deliver(batch, static_cast<std::size_t>(i));
      }
      following_ = 0;
      if (static_cast<std::size_t>(count) < kBatch) break;
    }
    if (generation == generation_ && socket_) receive(generation);
  });
}

void UdpSocket::deliver(const Batch& batch, std::size_t i) {
  const auto& header = batch.headers[i].msg_hdr;
  const auto& from = batch.senders[i];
  // Senders repeat: format the address only when it changes.
  if (header.msg_namelen != last_sender_length_ || std::memcmp(&from, &last_sender_, header.msg_namelen) != 0) {
    std::memcpy(&last_sender_, &from, header.msg_namelen);
    last_sender_length_ = header.msg_namelen;
    asio::ip::udp::endpoint sender;
    std::size_t length = std::min<std::size_t>(header.msg_namelen, sender.capacity());
    std::memcpy(sender.data(), &from, length);
    sender.resize(length);
    remote_ip_ = sender.address().to_string();
    remote_port = sender.port();
    remote_host = remote_ip_;
  }
  std::size_t bytes = batch.headers[i].msg_len;
  datagram_.assign(static_cast<const char*>(batch.slots[i].iov_base), bytes);
  if (events_.data_arrival) events_.data_arrival(bytes);
}

std::string UdpSocket::get_data() { return std::exchange(datagram_, {}); }

void UdpSocket::close() {
  ++generation_;
  if (socket_) {
    std::error_code ignored;
    socket_->close(ignored);
    socket_.reset();
  }
}

}  // namespace ralvek::net
