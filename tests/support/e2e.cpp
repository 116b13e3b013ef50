#include "e2e.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace ralvek::e2e {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "ralvek-e2e-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

Process::Process(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                 const std::filesystem::path& output_dir) {
  static int counter = 0;
  std::string name = std::filesystem::path(argv.at(0)).filename().string() + "." +
                     std::to_string(++counter);
  out_ = output_dir / (name + ".out");
  err_ = output_dir / (name + ".err");
  std::map<std::string, std::string> merged;
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    auto eq = entry.find('=');
    if (eq != std::string::npos) merged[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  for (const auto& [k, v] : env) merged[k] = v;
  std::vector<std::string> env_strings;
  for (const auto& [k, v] : merged) env_strings.push_back(k + "=" + v);
  std::vector<char*> envp, args;
  for (auto& s : env_strings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> argv_copy = argv;
  for (auto& s : argv_copy) args.push_back(s.data());
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
  pid_ = pid;
}

Process::~Process() {
  if (!status_ && pid_ > 0) {
    ::kill(pid_, SIGKILL);
    wait(5s);
  }
}

void Process::signal(int signal_number) {
  if (!status_) ::kill(pid_, signal_number);
}

std::optional<int> Process::wait(std::chrono::milliseconds timeout) {
  if (status_) return status_;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    int status = 0;
    pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return status_;
    }
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(5ms);
  }
}

bool Process::running() { return !wait(0ms).has_value(); }
std::string Process::out() const { return read_file(out_); }
std::string Process::err() const { return read_file(err_); }

int run(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
        std::chrono::milliseconds timeout) {
  TempDir out;
  Process p(argv, env, out.path());
  auto status = p.wait(timeout);
  return status ? *status : -1;
}

namespace {

// The few JSON forms the event log writes: strings with escapes, and whole numbers.
std::string json_string(const std::string& line, size_t& at) {
  std::string out;
  ++at;  // opening quote
  while (at < line.size() && line[at] != '"') {
    char c = line[at++];
    if (c != '\\') {
      out += c;
      continue;
    }
    char e = line[at++];
    switch (e) {
      case 'r': out += '\r'; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'u': out += static_cast<char>(std::stoi(line.substr(at, 4), nullptr, 16)); at += 4; break;
      default: out += e;
    }
  }
  ++at;
  return out;
}

std::string field(const std::string& line, const std::string& name, bool& is_string) {
  std::string key = "\"" + name + "\":";
  size_t at = line.find(key);
  if (at == std::string::npos) return {};
  at += key.size();
  is_string = line[at] == '"';
  if (is_string) return json_string(line, at);
  size_t end = line.find_first_of(",}", at);
  return line.substr(at, end - at);
}

}  // namespace

std::vector<Event> read_events(const std::filesystem::path& file) {
  std::vector<Event> events;
  std::ifstream in(file, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    bool str = false;
    Event e;
    e.source = field(line, "source", str);
    e.type = std::stoi(field(line, "type", str));
    e.id = std::stol(field(line, "id", str));
    e.text = field(line, "text", str);
    events.push_back(std::move(e));
  }
  return events;
}

std::vector<Event> events_with_text(const std::filesystem::path& file, const std::string& text) {
  std::vector<Event> found;
  for (auto& e : read_events(file)) {
    if (e.text == text) found.push_back(e);
  }
  return found;
}

bool has_event(const std::filesystem::path& file, int type, long id, const std::string& text) {
  for (auto& e : events_with_text(file, text)) {
    if (e.type == type && e.id == id) return true;
  }
  return false;
}

bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return done();
    std::this_thread::sleep_for(10ms);
  }
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write_file(const std::filesystem::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

std::vector<std::string> files_with_ext(const std::filesystem::path& dir, const std::string& ext) {
  std::vector<std::string> names;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(dir, ec); !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file() && it->path().extension() == "." + ext) names.push_back(it->path().filename());
  }
  std::sort(names.begin(), names.end());
  return names;
}

int free_port() {
  // Below the kernel's ephemeral range (32768 and up), so no client socket of another test,
  // lingering in TIME_WAIT on some 127.0.0.x address, can hold the port that a server then
  // binds on every address.
  static std::mt19937 pick(std::random_device{}());
  std::uniform_int_distribution<int> ports(20000, 32000);
  for (int attempt = 0; attempt < 200; ++attempt) {
    int port = ports(pick);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    int tcp = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(tcp, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    bool tcp_free = ::bind(tcp, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    int udp = ::socket(AF_INET, SOCK_DGRAM, 0);
    bool udp_free = ::bind(udp, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    ::close(tcp);
    ::close(udp);
    if (tcp_free && udp_free) return port;
  }
  throw std::runtime_error("no free port");
}

}  // namespace ralvek::e2e
