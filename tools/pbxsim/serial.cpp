#include "serial.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "options.h"
#include "quiet.h"
#include "records.h"

namespace ralvek::pbxsim {
namespace {

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Fd& operator=(Fd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

std::runtime_error system_error(const std::string& what) {
  return std::runtime_error(what + ": " + std::strerror(errno));
}

void make_raw(int fd, speed_t speed) {
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) throw system_error("tcgetattr");
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  ::cfsetispeed(&tio, speed);
  ::cfsetospeed(&tio, speed);
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) throw system_error("tcsetattr");
}

speed_t speed_of(std::uint64_t baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: throw std::invalid_argument("unsupported --baud " + std::to_string(baud));
  }
}

std::string line_ending(const std::string& name) {
  if (name == "crlf") return "\r\n";
  if (name == "cr") return "\r";
  if (name == "lf") return "\n";
  throw std::invalid_argument("--ending must be crlf, cr or lf");
}

void write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      throw system_error("write");
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
}

// Where the bytes of the stream are cut into separate writes.
class Splitter {
 public:
  Splitter(const std::string& how, std::uint64_t seed) : engine_(seed) {
    if (how == "none") return;
    if (how == "random") {
      random_ = true;
      return;
    }
    chunk_ = std::stoul(how);
    if (chunk_ == 0) throw std::invalid_argument("--split must be none, random or a byte count");
  }
  // The pieces of one record.
  std::vector<std::string_view> pieces(std::string_view record) {
    std::vector<std::string_view> out;
    if (chunk_) {
      carry_ += record;
      return {};
    }
    if (!random_) return {record};
    // Up to three cuts anywhere in the record, CR LF pairs included.
    std::uniform_int_distribution<std::size_t> cut(0, record.size());
    std::vector<std::size_t> cuts = {0, record.size()};
    int count = std::uniform_int_distribution<int>(0, 3)(engine_);
    for (int i = 0; i < count; ++i) cuts.push_back(cut(engine_));
    std::sort(cuts.begin(), cuts.end());
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
      if (cuts[i + 1] > cuts[i]) out.push_back(record.substr(cuts[i], cuts[i + 1] - cuts[i]));
    }
    return out;
  }
  // Fixed-size chunks: whole chunks ready to write (the rest waits, `flush` takes all).
  std::vector<std::string> chunks(bool flush) {
    std::vector<std::string> out;
    while (chunk_ && (carry_.size() >= chunk_ || (flush && !carry_.empty()))) {
      std::size_t n = std::min(chunk_, carry_.size());
      out.push_back(carry_.substr(0, n));
      carry_.erase(0, n);
    }
    return out;
  }

 private:
  std::mt19937_64 engine_;
  bool random_ = false;
  std::size_t chunk_ = 0;
  std::string carry_;
};

}  // namespace

int run_serial(int argc, char** argv) {
  Options options(argc, argv,
                  {{"device", ""}, {"source", "serial1"}, {"count", "10"}, {"first", "1"},
                   {"size", "120"}, {"ending", "crlf"}, {"rate", "0"}, {"split", "none"},
                   {"pause", "0"}, {"seed", "0"}, {"baud", "9600"}, {"delay", "0"}, {"linger", "1000"},
                   {"quiet-after", "0"}, {"quiet-for", "0"}});
  std::uint64_t count = options.number("count"), first = options.number("first");
  std::size_t size = std::max<std::size_t>(options.number("size"), kMinRecordSize);
  std::string ending = line_ending(options.text("ending"));
  std::string source = options.text("source");
  double rate = options.real("rate");
  auto pause = std::chrono::milliseconds(options.number("pause"));
  std::uint64_t seed = options.number("seed");
  if (seed == 0) seed = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  Splitter splitter(options.text("split"), seed);
  speed_t speed = speed_of(options.number("baud"));

  Fd line, held_slave;
  if (!options.text("device").empty()) {
    line = Fd(::open(options.text("device").c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
    if (line.get() < 0) throw system_error("open " + options.text("device"));
    if (::isatty(line.get())) make_raw(line.get(), speed);
  } else {
    line = Fd(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (line.get() < 0 || ::grantpt(line.get()) != 0 || ::unlockpt(line.get()) != 0) {
      throw system_error("pseudo-terminal");
    }
    char name[128];
    if (::ptsname_r(line.get(), name, sizeof(name)) != 0) throw system_error("ptsname");
    // Holding the slave open in raw mode keeps what is written before the collector opens it
    // unchanged (no CR to LF mapping, no echo) and waiting in the line.
    held_slave = Fd(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (held_slave.get() < 0) throw system_error(std::string("open ") + name);
    make_raw(held_slave.get(), speed);
    std::printf("%s\n", name);
    std::fflush(stdout);
  }
  std::fprintf(stderr, "pbxsim serial: seed %llu\n", static_cast<unsigned long long>(seed));
  std::this_thread::sleep_for(std::chrono::milliseconds(options.number("delay")));

  QuietSpell quiet(options.number("quiet-after"), options.real("quiet-for"));
  auto start = std::chrono::steady_clock::now();
  for (std::uint64_t i = 0; i < count; ++i) {
    start += quiet.before(i);
    if (rate > 0) {
      std::this_thread::sleep_until(start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                std::chrono::duration<double>(static_cast<double>(i) / rate)));
    }
    std::string record = make_record(source, first + i, size);
    record.replace(record.size() - 2, 2, ending);
    for (auto piece : splitter.pieces(record)) {
      write_all(line.get(), piece);
      if (pause.count()) std::this_thread::sleep_for(pause);
    }
    for (const auto& chunk : splitter.chunks(i + 1 == count)) {
      write_all(line.get(), chunk);
      if (pause.count()) std::this_thread::sleep_for(pause);
    }
  }
  if (::isatty(line.get())) ::tcdrain(line.get());
  std::fprintf(stderr, "pbxsim serial: %s wrote %llu records\n", source.c_str(),
               static_cast<unsigned long long>(count));
  std::this_thread::sleep_for(std::chrono::milliseconds(options.number("linger")));
  return 0;
}

}  // namespace ralvek::pbxsim
