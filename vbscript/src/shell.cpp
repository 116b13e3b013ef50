#include "shell.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "budget.h"
#include "errors.h"

extern char** environ;

namespace ralvek::vbscript {

ChildProcesses::~ChildProcesses() {
  reap();
}

void ChildProcesses::adopt(int pid) {
  reap();
  pids_.push_back(pid);
}

void ChildProcesses::reap() {
  std::erase_if(pids_, [](int pid) {
    int status;
    pid_t r = ::waitpid(pid, &status, WNOHANG);
    return r == pid || (r < 0 && errno == ECHILD);
  });
}

std::vector<std::string> split_command(std::string_view cmd) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false;
  for (std::size_t i = 0; i < cmd.size(); ++i) {
    char c = cmd[i];
    if (c == ' ' || c == '\t') {
      if (in_word) words.push_back(std::move(word));
      word.clear();
      in_word = false;
      continue;
    }
    in_word = true;
    if (c == '"') {
      for (++i; i < cmd.size() && cmd[i] != '"'; ++i) {
        if (cmd[i] == '\\' && i + 1 < cmd.size() && (cmd[i + 1] == '"' || cmd[i + 1] == '\\')) ++i;
        word += cmd[i];
      }
    } else if (c == '\'') {
      for (++i; i < cmd.size() && cmd[i] != '\''; ++i) word += cmd[i];
    } else {
      word += c;
    }
  }
  if (in_word) words.push_back(std::move(word));
  return words;
}

namespace {

class SpawnSetup {
 public:
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions_);
    posix_spawnattr_init(&attr_);
    posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions_, 3);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int s : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGCHLD, SIGQUIT, SIGUSR1, SIGUSR2})
      sigaddset(&defaults, s);
    posix_spawnattr_setsigmask(&attr_, &none);
    posix_spawnattr_setsigdefault(&attr_, &defaults);
    posix_spawnattr_setpgroup(&attr_, 0);
    posix_spawnattr_setflags(
        &attr_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attr_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
  const posix_spawn_file_actions_t* actions() const { return &actions_; }
  const posix_spawnattr_t* attr() const { return &attr_; }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attr_;
};

int exit_status(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

int run_program(const std::vector<std::string>& argv, bool wait, ChildProcesses& children) {
  if (argv.empty())
    raise(err::kInvalidCall, "Invalid procedure call or argument: the command is empty");
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  SpawnSetup setup;
  pid_t pid;
  int rc = argv[0].find('/') != std::string::npos
               ? posix_spawn(&pid, args[0], setup.actions(), setup.attr(), args.data(), environ)
               : posix_spawnp(&pid, args[0], setup.actions(), setup.attr(), args.data(), environ);
  if (rc != 0) {
    raise(rc == ENOENT ? err::kFileNotFoundSystem : err::kPermissionDenied,
          std::string(rc == ENOENT ? error_text(err::kFileNotFoundSystem) : std::strerror(rc)) +
              " ('" + argv[0] + "')");
  }
  if (!wait) {
    children.adopt(pid);
    return 0;
  }
  auto pause = std::chrono::milliseconds(1);
  while (true) {
    int status;
    pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) return exit_status(status);
    // With SIGCHLD ignored by the host the system reaps the child itself and its status is lost:
    // wait until it is gone and report 0.
    if (r < 0 && errno == ECHILD && ::kill(pid, 0) != 0) return 0;
    const auto& deadline = budget::current().deadline;
    if (deadline && std::chrono::steady_clock::now() >= *deadline) {
      ::kill(-pid, SIGKILL);
      ::kill(pid, SIGKILL);
      // Collect it without blocking on other children of the host (SIGCHLD may be ignored).
      bool collected = false;
      for (int i = 0; i < 2000 && !collected; ++i) {
        pid_t gone = ::waitpid(pid, &status, WNOHANG);
        collected = gone == pid || (gone < 0 && errno == ECHILD);
        if (!collected) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      if (!collected) children.adopt(pid);
      budget::raise_timeout();
    }
    std::this_thread::sleep_for(pause);
    if (pause < std::chrono::milliseconds(20)) pause *= 2;
  }
}

namespace {

std::string expand_environment(std::string_view text) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t open = text.find('%', i);
    if (open == std::string_view::npos) break;
    std::size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) break;
    out.append(text, i, open - i);
    std::string name(text.substr(open + 1, close - open - 1));
    const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
    if (value) {
      out += value;
      i = close + 1;
    } else {
      // Unknown names stay as written; the closing % may open the next name.
      out.append(text, open, close - open);
      i = close;
    }
  }
  out.append(text.substr(i));
  return out;
}

class Shell : public Object {
 public:
  explicit Shell(std::shared_ptr<ChildProcesses> children) : children_(std::move(children)) {}
  std::string_view type_name() const override { return "IWshShell3"; }

  Value call(std::string_view m, std::vector<Value>& args) override {
    if (m == "run") {
      if (args.empty() || args.size() > 3) raise(err::kWrongArgCount);
      std::string command = to_std_string(args[0]);
      bool wait = args.size() > 2 && !args[2].is_empty() && to_bool(args[2]);
      int status = run_program(split_command(command), wait, *children_);
      return Value::long_(status);
    }
    if (m == "expandenvironmentstrings") {
      if (args.size() != 1) raise(err::kWrongArgCount);
      return Value::string(expand_environment(to_std_string(args[0])));
    }
    if (m == "currentdirectory") {
      std::error_code ec;
      return Value::string(std::filesystem::current_path(ec).string());
    }
    return Object::call(m, args);
  }

 private:
  std::shared_ptr<ChildProcesses> children_;
};

}  // namespace

ObjectRef make_shell(std::shared_ptr<ChildProcesses> children) {
  return std::make_shared<Shell>(std::move(children));
}

}  // namespace ralvek::vbscript
