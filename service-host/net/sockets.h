#pragma once

#include <sys/socket.h>

#include <array>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/ip/udp.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The socket control of the services: TCP and UDP sockets on the program's one io_context,
// bytes carried as text with one character per byte, and events delivered as callbacks on
// that thread, one at a time. A close event means only that the remote side closed; closing
// a socket from this side raises no event.
namespace ralvek::net {

// Socket states, numbered as operators and logs know them.
enum class SocketState : int {
  kClosed = 0,
  kOpen = 1,
  kListening = 2,
  kConnectionPending = 3,
  kResolvingHost = 4,
  kHostResolved = 5,
  kConnecting = 6,
  kConnected = 7,
  kClosing = 8,
  kError = 9,
};

struct TcpEvents {
  std::function<void(int index, int request_id)> connection_request;
  std::function<void(int index)> connect;
  std::function<void(int index, std::size_t bytes)> data_arrival;
  std::function<void(int index)> close;
  std::function<void(int index, int number, const std::string& description)> error;
};

class TcpSocketArray;

// One element of a TCP socket array.
class TcpSocket {
 public:
  int index() const { return index_; }
  std::string tag;
  int local_port = 0;
  std::string remote_host;  // set before connect; the peer's address once connected
  int remote_port = 0;

  // Keepalive of this element's connections (outgoing and accepted): after `idle_seconds`
  // without traffic the system probes every `interval_seconds`, and `probes` unanswered probes
  // end the connection with an error event, so a peer that vanished without closing is noticed.
  // A zero keeps the system's default for that value. Set before connect or accept.
  struct KeepAlive {
    int idle_seconds = 0;
    int interval_seconds = 0;
    int probes = 0;
  };
  KeepAlive keepalive;

  // Dotted address of the peer, of the pending connection request, or empty.
  const std::string& remote_host_ip() const { return remote_ip_; }
  SocketState state() const { return state_; }

  // Listens on local_port on every IPv4 address. Throws vb::VbError on failure.
  void listen();
  // Completes the pending request `request_id` on this socket, which must be closed.
  void accept(int request_id);
  // Opens a connection to remote_host:remote_port (a name is resolved without blocking);
  // completion raises the connect event, failure the error event.
  void connect();
  // All bytes received and not yet taken.
  std::string get_data();
  // Takes, without waiting, everything the system already holds for this connection, up to
  // its end of stream, and hands it to `block` one read at a time, as data arrivals would
  // have: before a local close, so the close discards nothing that had arrived. Bytes not yet
  // taken with get_data() come first. Raises no event.
  void drain(const std::function<void(std::string block)>& block);
  // While paused the connection is not read: the system's window holds the sender back.
  // Resuming reads on at once; both do nothing on a closed socket, and a new connection
  // starts unpaused.
  void pause_reading() { reading_paused_ = socket_ != nullptr; }
  void resume_reading();
  bool reading_paused() const { return reading_paused_; }
  // Queues bytes for sending; failures raise the error event.
  void send_data(std::string bytes);
  // Closes the connection or listener. Raises no event; does nothing on a closed socket.
  void close();

 private:
  friend class TcpSocketArray;
  TcpSocket(TcpSocketArray& owner, int index) : owner_(owner), index_(index) {}
  void start_reading();
  void read_on();
  void read_ready(std::uint64_t generation);
  void start_accepting(std::uint64_t generation);
  void fail(const std::error_code& ec);
  void write_next(std::uint64_t generation);
  void apply_keepalive();

  TcpSocketArray& owner_;
  int index_;
  std::string remote_ip_;
  SocketState state_ = SocketState::kClosed;
  std::uint64_t generation_ = 0;  // handlers of an earlier connection see a different value
  std::unique_ptr<asio::ip::tcp::socket> socket_;
  std::unique_ptr<asio::ip::tcp::acceptor> acceptor_;
  std::unique_ptr<asio::ip::tcp::resolver> resolver_;
  std::string received_;
  bool read_scheduled_ = false;  // a readiness wait or a posted read is outstanding
  bool watched_ = false;         // in the array's readiness set
  bool waiting_ = false;         // for readiness
  bool hung_up_ = false;         // the set reported an end of stream or an error
  bool reading_paused_ = false;
  std::vector<std::string> outbox_;
  bool writing_ = false;
};

// A control array of TCP sockets: element 0 exists from the start; others are created under a
// chosen index. Elements live until the array is destroyed.
class TcpSocketArray {
 public:
  TcpSocketArray(asio::io_context& io, TcpEvents events);
  ~TcpSocketArray();
  TcpSocketArray(const TcpSocketArray&) = delete;
  TcpSocketArray& operator=(const TcpSocketArray&) = delete;

  // Throws vb::VbError when the index is negative or already taken.
  TcpSocket& create(int index);
  bool exists(int index) const { return elements_.count(index) != 0; }
  // Throws vb::VbError when the element does not exist.
  TcpSocket& operator[](int index);
  // Indexes in the order the elements were created.
  const std::vector<int>& indexes() const { return order_; }
  // Connection requests waiting for accept; any left after the request event are refused.
  std::size_t pending_requests() const { return pending_.size(); }

 private:
  friend class TcpSocket;
  // The connections' readiness: an epoll set of the array's own, each connection registered
  // once (edge-triggered), and the set waited on through the loop. Waiting on each socket
  // through Asio re-arms it with an epoll_ctl at every wait.
  void watch(TcpSocket& element);
  void unwatch(TcpSocket& element);
  void arm();
  void on_ready();

  asio::io_context& io_;
  TcpEvents events_;
  std::map<int, std::unique_ptr<TcpSocket>> elements_;
  std::vector<int> order_;
  std::map<int, asio::ip::tcp::socket> pending_;
  int next_request_id_ = 1;
  std::vector<char> read_buffer_;  // shared by the elements' reads, which never overlap
  std::unique_ptr<asio::posix::stream_descriptor> ready_set_;
  bool armed_ = false;
  int waiting_ = 0;  // elements waiting for readiness
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // guards the set's wait
};

struct UdpEvents {
  std::function<void(std::size_t bytes)> data_arrival;
  std::function<void(int number, const std::string& description)> error;
};

// A UDP socket. Each data-arrival event carries one datagram.
class UdpSocket {
 public:
  UdpSocket(asio::io_context& io, UdpEvents events);
  ~UdpSocket();
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  int local_port = 0;
  std::string remote_host;
  int remote_port = 0;
  // The receive buffer asked for at bind, in bytes; 0 keeps the system's default. Asked with
  // SO_RCVBUFFORCE where the process may, else SO_RCVBUF (which the system caps at rmem_max).
  int receive_buffer_request = 0;

  // Receives datagrams on `port` (local_port when negative). Throws vb::VbError on failure.
  void bind(int port = -1);
  // The receive buffer the system gave, in bytes of data it holds (Linux reports twice that,
  // counting its own bookkeeping); 0 while unbound.
  int receive_buffer() const;
  // The datagram of the current data-arrival event.
  std::string get_data();
  const std::string& remote_host_ip() const { return remote_ip_; }
  // During a data-arrival event: more datagrams taken from the system with this one follow at
  // once. A receiver may gather their writes until the last.
  bool more_delivered() const { return following_ > 0; }
  void close();

 private:
  static constexpr std::size_t kBatch = 64;
  static constexpr std::size_t kMaxDatagram = 65536;
  // One recvmmsg(2) worth of datagrams.
  struct Batch {
    Batch();
    std::unique_ptr<char[]> bytes;
    std::array<iovec, kBatch> slots;
    std::array<mmsghdr, kBatch> headers;
    std::array<sockaddr_storage, kBatch> senders;
  };

  void receive(std::uint64_t generation);
  void deliver(const Batch& batch, std::size_t i);

  asio::io_context& io_;
  UdpEvents events_;
  std::unique_ptr<asio::ip::udp::socket> socket_;
  std::unique_ptr<Batch> batch_;
  sockaddr_storage last_sender_{};
  socklen_t last_sender_length_ = 0;
  std::string datagram_;
  std::string remote_ip_;
  std::size_t following_ = 0;
  std::uint64_t generation_ = 0;
};

}  // namespace ralvek::net
