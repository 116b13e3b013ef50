#include "quendor_fixture.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <regex>

#include "records.h"

namespace ralvek::quendor_e2e {

SimExchange::SimExchange(const std::filesystem::path& dir, const std::string& address, int port,
                         const std::vector<std::string>& options)
    : address_(address), port_(port) {
  static int started = 0;
  fifo_ = dir / ("commands-" + std::to_string(++started));
  if (::mkfifo(fifo_.c_str(), 0600) != 0) throw std::runtime_error("mkfifo " + fifo_.string());
  fd_ = ::open(fifo_.c_str(), O_RDWR | O_CLOEXEC);
  std::vector<std::string> argv = {PBXSIM_BIN, "exchange",   "--listen",
                                   where(),    "--commands", fifo_.string()};
  argv.insert(argv.end(), options.begin(), options.end());
  process_ = std::make_unique<e2e::Process>(argv, std::map<std::string, std::string>{}, dir);
  if (!e2e::wait_until([&] { return out().find("listening") != std::string::npos; }, 5s)) {
    throw std::runtime_error("pbxsim exchange did not listen on " + where() + ": " +
                             process_->err());
  }
}

SimExchange::~SimExchange() {
  process_.reset();
  if (fd_ >= 0) ::close(fd_);
  std::error_code ignored;
  std::filesystem::remove(fifo_, ignored);
}

void SimExchange::command(const std::string& word) {
  std::string line = word + "\n";
  if (::write(fd_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
    throw std::runtime_error("cannot command pbxsim");
  }
}

std::uint64_t SimExchange::quit() {
  command("quit");
  if (!process_->wait(10s)) throw std::runtime_error("pbxsim exchange did not quit");
  std::smatch m;
  std::string text = out();
  if (!std::regex_search(text, m, std::regex("last ([0-9]+)"))) {
    throw std::runtime_error("pbxsim exchange reported no last record");
  }
  return std::stoull(m[1]);
}

void QuendorTest::write_ini(const std::string& body) {
  e2e::write_file(home_.path() / "quendor.ini", "[TCP Service]\n" + body);
}

std::map<std::string, std::string> QuendorTest::env() const {
  return {{"RALVEK_HOME", home_.path().string()},
          {"RALVEK_EVENT_LOG", event_file().string()},
          {"RALVEK_TIME_SCALE", std::to_string(kTimeScale)},
          {"RALVEK_SYSTEMD_DIR", (home_.path() / "units").string()},
          {"PATH", (home_.path() / "no-tools").string()}};  // no systemctl
}

std::unique_ptr<e2e::Process> QuendorTest::start_quendor(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {QUENDOR_BIN};
  argv.insert(argv.end(), args.begin(), args.end());
  return std::make_unique<e2e::Process>(argv, env(), out_.path());
}

std::optional<int> QuendorTest::stop(e2e::Process& quendor) {
  quendor.signal(SIGTERM);
  return quendor.wait(10s);
}

std::unique_ptr<SimExchange> QuendorTest::start_exchange(const std::string& address,
                                                         const std::vector<std::string>& options) {
  return std::make_unique<SimExchange>(out_.path(), address, port_, options);
}

int QuendorTest::count_events(const std::string& text) const {
  return static_cast<int>(e2e::events_with_text(event_file(), text).size());
}

bool QuendorTest::wait_for_event(const std::string& text, int count,
                                 std::chrono::milliseconds timeout) {
  return e2e::wait_until([&] { return count_events(text) >= count; }, timeout);
}

std::vector<std::string> QuendorTest::dat_files(int exchange) const {
  std::vector<std::string> mine;
  for (const auto& name : e2e::files_with_ext(data(), "dat")) {
    if (name.rfind(std::to_string(exchange) + "_", 0) == 0) mine.push_back(name);
  }
  return mine;
}

std::string QuendorTest::stream(int exchange, const std::string& ext) const {
  std::string all;
  for (const auto& name : e2e::files_with_ext(data(), ext)) {
    if (name.rfind(std::to_string(exchange) + "_", 0) == 0) all += e2e::read_file(data() / name);
  }
  return all;
}

std::string QuendorTest::collected(int exchange) const {
  std::vector<std::string> names = e2e::files_with_ext(data(), "dat");
  for (const auto& name : e2e::files_with_ext(data(), "hp4")) names.push_back(name);
  std::sort(names.begin(), names.end());
  std::string all;
  for (const auto& name : names) {
    if (name.rfind(std::to_string(exchange) + "_", 0) == 0) all += e2e::read_file(data() / name);
  }
  return all;
}

bool QuendorTest::only_twins_left() const {
  for (const auto& name : e2e::files_with_ext(data(), "hp4")) {
    auto twin = data() / name;
    if (!std::filesystem::exists(twin.replace_extension(".dat"))) return false;
  }
  return true;
}

RecordScan scan_records(const std::string& stream, const std::string& source, std::size_t size) {
  RecordScan scan;
  size_t at = 0;
  while (at < stream.size()) {
    size_t end = stream.find("\r\n", at);
    std::string_view line(stream.data() + at,
                          (end == std::string::npos ? stream.size() : end) - at);
    at = end == std::string::npos ? stream.size() : end + 2;
    auto record = pbxsim::parse_record(line);
    if (!record || record->source != source || line.size() + 2 != size) {
      ++scan.broken;
      continue;
    }
    scan.numbers.push_back(record->seq);
  }
  return scan;
}

}  // namespace ralvek::quendor_e2e
