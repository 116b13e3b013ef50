#include "serrak_fixture.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace ralvek::e2e {

TestLine::TestLine(bool nonblocking) {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | (nonblocking ? O_NONBLOCK : 0));
  if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
    throw std::runtime_error("no pseudo-terminal");
  }
  char name[128];
  if (::ptsname_r(master_, name, sizeof(name)) != 0) throw std::runtime_error("ptsname");
  path_ = name;
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios tio{};
  if (slave_ < 0 || ::tcgetattr(slave_, &tio) != 0) throw std::runtime_error("pseudo-terminal slave");
  ::cfmakeraw(&tio);
  ::tcsetattr(slave_, TCSANOW, &tio);
}

TestLine::~TestLine() { hang_up(); }

void TestLine::write(const std::string& bytes) {
  std::string_view rest = bytes;
  while (!rest.empty()) {
    ssize_t n = ::write(master_, rest.data(), rest.size());
    if (n <= 0) throw std::runtime_error("write to the line failed");
    rest.remove_prefix(static_cast<size_t>(n));
  }
}

std::size_t TestLine::write_some(std::string_view bytes) {
  ssize_t n = ::write(master_, bytes.data(), bytes.size());
  return n > 0 ? static_cast<std::size_t>(n) : 0;
}

void TestLine::hang_up() {
  if (slave_ >= 0) ::close(slave_);
  if (master_ >= 0) ::close(master_);
  slave_ = master_ = -1;
}

void SerrakTest::write_ini(const std::string& body) {
  write_file(home_ / "serrak.ini", "[COM Service]\n" + body);
}

void SerrakTest::write_ini_for(const std::string& device, int interval, const std::string& extra) {
  write_ini("siteid=12\ncom_device=" + device + "\ncom_interval=" + std::to_string(interval) + "\n" + extra);
}

std::map<std::string, std::string> SerrakTest::env() const {
  std::map<std::string, std::string> e{{"RALVEK_HOME", home_.path().string()},
                                       {"RALVEK_EVENT_LOG", event_log().string()},
                                       {"RALVEK_TIME_SCALE", "100"},
                                       {"RALVEK_SYSTEMD_DIR", (home_ / "units").string()},
                                       {"TZ", "UTC"},
                                       {"NOTIFY_SOCKET", ""},
                                       {"PATH", std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"}};
  return e;
}

std::unique_ptr<Process> SerrakTest::start(const std::vector<std::string>& args,
                                           const std::map<std::string, std::string>& extra_env) {
  auto e = env();
  for (const auto& [k, v] : extra_env) e[k] = v;
  std::vector<std::string> argv{SERRAK_EXE};
  argv.insert(argv.end(), args.begin(), args.end());
  return std::make_unique<Process>(argv, e, home_.path());
}

std::unique_ptr<Process> SerrakTest::start_debug() {
  std::size_t before = events().size();
  auto p = start({"--debug"});
  // The start report, or the failure of the start, is the run's first event.
  EXPECT_TRUE(wait_until([&] { return events().size() > before || !p->running(); }));
  // The report precedes the opening of the port; the loop runs a moment later.
  std::this_thread::sleep_for(50ms);
  return p;
}

std::unique_ptr<Process> SerrakTest::start_line(const std::vector<std::string>& args, std::string& path) {
  std::vector<std::string> argv{PBXSIM_EXE, "serial"};
  argv.insert(argv.end(), args.begin(), args.end());
  auto p = std::make_unique<Process>(argv, std::map<std::string, std::string>{}, home_.path());
  EXPECT_TRUE(wait_until([&] { return p->out().find('\n') != std::string::npos || !p->running(); }));
  path = p->out().substr(0, p->out().find('\n'));
  return p;
}

int SerrakTest::check(const std::string& source, int count) {
  return run({PBXSIM_EXE, "check", "--dir", data().string(), "--from", source, "--count",
              std::to_string(count)});
}

bool SerrakTest::wait_event(int type, long id, const std::string& text, std::chrono::milliseconds timeout) {
  return wait_until([&] { return has_event(event_log(), type, id, text); }, timeout);
}

bool SerrakTest::wait_event_prefix(long id, const std::string& prefix, std::chrono::milliseconds timeout) {
  return wait_until(
      [&] {
        for (const auto& e : events()) {
          if (e.id == id && e.text.rfind(prefix, 0) == 0) return true;
        }
        return false;
      },
      timeout);
}

std::string SerrakTest::settings_report() const {
  for (const auto& e : events()) {
    if (e.id == 110 && e.type == 0 && e.text.rfind("Service attempted to start", 0) == 0) return e.text;
  }
  return "";
}

std::string SerrakTest::all_events() const {
  std::string text;
  for (const auto& e : events()) text += std::to_string(e.type) + "/" + std::to_string(e.id) + " " + e.text + "\n";
  return text;
}

std::uintmax_t SerrakTest::collected_bytes() const {
  std::uintmax_t total = 0;
  for (const char* ext : {"kom", "dat"}) {
    for (const auto& name : files_with_ext(data(), ext)) total += std::filesystem::file_size(data() / name);
  }
  return total;
}

void SerrakTest::stop(Process& serrak) {
  serrak.signal(SIGINT);
  EXPECT_EQ(serrak.wait(10s), 0) << serrak.err();
}

}  // namespace ralvek::e2e
