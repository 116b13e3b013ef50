#include "platform/process.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string_view>

extern char** environ;

namespace ralvek::platform {
namespace {

std::optional<pid_t> spawn(const std::vector<std::string>& argv) {
  if (argv.empty()) return std::nullopt;
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) {
    return std::nullopt;
  }
  return pid;
}

}  // namespace

std::optional<int> run_and_wait(const std::vector<std::string>& argv) {
  auto pid = spawn(argv);
  if (!pid) return std::nullopt;
  int status = 0;
  while (::waitpid(*pid, &status, 0) < 0) {
    if (errno != EINTR) return std::nullopt;
  }
  if (WIFEXITED(status)) {
    // posix_spawnp reports a missing program through the child's exit status 127.
    return WEXITSTATUS(status);
  }
  return 128 + WTERMSIG(status);
}

bool start_detached(const std::vector<std::string>& argv) {
  // Double fork, so the started program is never our zombie.
  pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    auto grandchild = spawn(argv);
    ::_exit(grandchild ? 0 : 127);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool on_path(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::string_view dirs = path;
  while (true) {
    size_t end = dirs.find(':');
    std::string_view dir = dirs.substr(0, end);
    auto candidate = std::filesystem::path(dir.empty() ? std::string_view(".") : dir) / name;
    if (::access(candidate.c_str(), X_OK) == 0) return true;
    if (end == std::string_view::npos) return false;
    dirs.remove_prefix(end + 1);
  }
}

std::vector<std::string> split_words(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false;
  char quote = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (quote == '\'') {
      if (c == '\'') quote = 0; else word += c;
    } else if (quote == '"') {
      if (c == '"') quote = 0;
      else if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '"' || text[i + 1] == '\\')) word += text[++i];
      else word += c;
    } else if (c == '\'' || c == '"') {
      quote = c;
      in_word = true;
    } else if (c == '\\' && i + 1 < text.size()) {
      word += text[++i];
      in_word = true;
    } else if (c == ' ' || c == '\t' || c == '\n') {
      if (in_word) words.push_back(std::move(word));
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(std::move(word));
  return words;
}

void lower_this_thread_priority() {
  // On Linux a nice value belongs to the thread whose id is given.
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
}

std::size_t open_files_limit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 1 << 20;
  return static_cast<std::size_t>(limit.rlim_cur);
}

}  // namespace ralvek::platform
