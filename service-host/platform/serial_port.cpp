#include "platform/serial_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <asio/posix/stream_descriptor.hpp>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace ralvek::platform {
namespace {

struct Rate {
  int baud;
  speed_t speed;
};

constexpr Rate kRates[] = {
    {50, B50},         {75, B75},           {110, B110},         {134, B134},
    {150, B150},       {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},     {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},     {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200}, {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000}, {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

// Bytes read per wake-up at most, so a fast line cannot keep the loop from its timers.
constexpr std::size_t kMaxReadPerWake = 64 * 1024;

std::string trim(const std::string& text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool all_digits(const std::string& text) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

const Rate* find_rate(int baud) {
  for (const auto& rate : kRates) {
    if (rate.baud == baud) return &rate;
  }
  return nullptr;
}

std::string system_text(int error_number) { return std::strerror(error_number); }

bool no_such_ioctl(int error_number) { return error_number == ENOTTY || error_number == EINVAL; }

class TermiosSerialPort final : public SerialPort {
 public:
  explicit TermiosSerialPort(asio::io_context& io) : descriptor_(io) {}
  ~TermiosSerialPort() override { close(); }

  void set_device(const std::filesystem::path& device) override { device_ = device; }
  const std::filesystem::path& device() const override { return device_; }
  void set_rts(bool on) override { rts_ = on; }
  void set_dtr(bool on) override { dtr_ = on; }
  void set_handshaking(Handshaking mode) override { handshaking_ = mode; }
  void set_settings(const std::string& text) override {
    line_ = parse_line_settings(text);
    settings_ = text;
  }
  const std::string& settings() const override { return settings_; }

  void open() override {
    if (is_open()) throw SerialPortError("Serial port " + device_.string() + " is already open");
    int fd = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      int error_number = errno;
      throw SerialPortError("Cannot open serial port " + device_.string() + ": " +
                            system_text(error_number));
    }
    try {
      configure(fd);
    } catch (...) {
      ::close(fd);
      throw;
    }
    descriptor_.assign(fd);
    ++generation_;
    failed_ = false;
    wait_readable();
  }

  void close() override {
    if (!is_open()) return;
    ++generation_;
    std::error_code ignored;
    descriptor_.close(ignored);
  }

  bool is_open() const override { return descriptor_.is_open(); }

  void set_on_comm(std::function<void(int code)> handler) override { on_comm_ = std::move(handler); }

  std::string take_input() override { return std::exchange(input_, std::string()); }

  void discard_input() override {
    input_.clear();
    if (is_open()) ::tcflush(descriptor_.native_handle(), TCIFLUSH);
  }

  void set_receive_threshold(int characters) override {
    if (characters != 1) throw SerialSettingsError("Only a receive threshold of 1 is supported");
  }

 private:
  void configure(int fd) {
    const std::string name = device_.string();
    if (!::isatty(fd)) throw SerialPortError("Serial port " + name + " is not a terminal device");
    // Advisory lock and exclusive mode: two collectors on one line would each get half the data.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      throw SerialPortError("Serial port " + name + " is busy: another program uses it");
    }
    ::ioctl(fd, TIOCEXCL);

    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
      throw SerialPortError("Cannot read the line settings of " + name + ": " + system_text(errno));
    }
    ::cfmakeraw(&tio);
    tio.c_iflag |= IGNBRK;  // a break is an event, not a NUL character in the data
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= line_.data_bits == 5 ? CS5 : line_.data_bits == 6 ? CS6 : line_.data_bits == 7 ? CS7 : CS8;
    switch (line_.parity) {
      case 'e': tio.c_cflag |= PARENB; break;
      case 'o': tio.c_cflag |= PARENB | PARODD; break;
      case 'm': tio.c_cflag |= PARENB | CMSPAR | PARODD; break;
      case 's': tio.c_cflag |= PARENB | CMSPAR; break;
      default: break;
    }
    if (line_.stop_bits == 2) tio.c_cflag |= CSTOPB;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (handshaking_ == Handshaking::kXonXoff || handshaking_ == Handshaking::kRtsCtsXonXoff) {
      tio.c_iflag |= IXON | IXOFF;
    }
    if (handshaking_ == Handshaking::kRtsCts || handshaking_ == Handshaking::kRtsCtsXonXoff) {
      tio.c_cflag |= CRTSCTS;
    }
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    speed_t speed = find_rate(line_.baud)->speed;
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
      throw SerialSettingsError("Serial port " + name + " refused the settings " + settings_ + ": " +
                                system_text(errno));
    }
    termios applied{};
    if (::tcgetattr(fd, &applied) != 0 || ::cfgetospeed(&applied) != speed) {
      throw SerialSettingsError("Serial port " + name + " refused the baud rate " +
                                std::to_string(line_.baud));
    }

    set_modem_line(fd, TIOCM_RTS, rts_);
    set_modem_line(fd, TIOCM_DTR, dtr_);
    has_counters_ = ::ioctl(fd, TIOCGICOUNT, &counters_) == 0;
  }

  void set_modem_line(int fd, int line, bool on) {
    if (::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0) return;
    // Pseudo-terminals and some adapters have no modem lines; that is no reason to fail.
    if (no_such_ioctl(errno)) return;
    throw SerialPortError("Cannot set the modem lines of " + device_.string() + ": " +
                          system_text(errno));
  }

  void wait_readable() {
    descriptor_.async_wait(asio::posix::stream_descriptor::wait_read,
                           [this, generation = generation_](std::error_code ec) {
                             if (ec == asio::error::operation_aborted || generation != generation_) {
                               return;
                             }
                             on_readable();
                           });
  }

  void on_readable() {
    read_available();
    std::vector<int> codes;
    if (!input_.empty()) codes.push_back(kComEvReceive);
    collect_line_errors(codes);
    if (failed_) codes.push_back(kComEventDCB);
    const unsigned generation = generation_;
    for (int code : codes) {
      if (on_comm_) on_comm_(code);
      if (generation != generation_) return;  // the handler closed or reopened the port
    }
    // A failed device would wake us at once again; it stays quiet until it is reopened.
    if (!failed_ && is_open()) wait_readable();
  }

  void read_available() {
    char chunk[4096];
    std::size_t total = 0;
    while (total < kMaxReadPerWake) {
      ssize_t n = ::read(descriptor_.native_handle(), chunk, sizeof(chunk));
      if (n > 0) {
        input_.append(chunk, static_cast<std::size_t>(n));
        total += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
      failed_ = true;  // end of file (hang-up) or a read error such as EIO
      return;
    }
  }

  void collect_line_errors(std::vector<int>& codes) {
    if (!has_counters_) return;
    serial_icounter_struct now{};
    if (::ioctl(descriptor_.native_handle(), TIOCGICOUNT, &now) != 0) return;
    if (now.brk != counters_.brk) codes.push_back(kComEventBreak);
    if (now.frame != counters_.frame) codes.push_back(kComEventFrame);
    if (now.overrun != counters_.overrun) codes.push_back(kComEventOverrun);
    if (now.buf_overrun != counters_.buf_overrun) codes.push_back(kComEventRxOver);
    if (now.parity != counters_.parity) codes.push_back(kComEventRxParity);
    counters_ = now;
  }

  asio::posix::stream_descriptor descriptor_;
  std::filesystem::path device_ = serial_device_for_port(1);
  bool rts_ = false;
  bool dtr_ = false;
  Handshaking handshaking_ = Handshaking::kNone;
  LineSettings line_;
  std::string settings_ = "9600,n,8,1";
  std::function<void(int)> on_comm_;
  std::string input_;
  unsigned generation_ = 0;
  bool failed_ = false;
  bool has_counters_ = false;
  serial_icounter_struct counters_{};
};

}  // namespace

LineSettings parse_line_settings(const std::string& text) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (true) {
    size_t comma = text.find(',', start);
    fields.push_back(trim(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  auto refuse = [&text](const std::string& why) {
    return SerialSettingsError("Invalid COM settings \"" + text + "\": " + why);
  };
  if (fields.size() != 4) {
    throw refuse("expected four fields: baud rate, parity, data bits, stop bits");
  }
  LineSettings settings;
  if (!all_digits(fields[0]) || !find_rate(std::stoi(fields[0]))) {
    throw refuse("baud rate " + fields[0] + " is not supported");
  }
  settings.baud = std::stoi(fields[0]);
  if (fields[1].size() != 1) throw refuse("parity must be one of n, e, o, m, s");
  char parity = fields[1][0];
  if (parity >= 'A' && parity <= 'Z') parity = static_cast<char>(parity + 32);
  if (std::string_view("neoms").find(parity) == std::string_view::npos) {
    throw refuse("parity must be one of n, e, o, m, s");
  }
  settings.parity = parity;
  if (fields[2].size() != 1 || fields[2][0] < '5' || fields[2][0] > '8') {
    throw refuse("data bits must be 5, 6, 7 or 8");
  }
  settings.data_bits = fields[2][0] - '0';
  if (fields[3] != "1" && fields[3] != "2") throw refuse("stop bits must be 1 or 2");
  settings.stop_bits = fields[3][0] - '0';
  return settings;
}

std::unique_ptr<SerialPort> make_serial_port(asio::io_context& io) {
  return std::make_unique<TermiosSerialPort>(io);
}

std::filesystem::path serial_device_for_port(int n) {
  return "/dev/ttyS" + std::to_string(n - 1);
}

}  // namespace ralvek::platform
