#include "brastel_fixture.h"

#include <cstdlib>
#include <stdexcept>

namespace ralvek::e2e {

std::vector<LogEntry> parse_log(const std::string& text) {
  std::vector<LogEntry> out;
  size_t at = 0;
  bool in_entry = false;
  while (at < text.size()) {
    size_t end = text.find("\r\n", at);
    if (end == std::string::npos)
      throw std::runtime_error("log line without CR LF at " + std::to_string(at));
    std::string line = text.substr(at, end - at);
    at = end + 2;
    if (!in_entry) {
      if (line.size() != 19 || line[4] != '-' || line[10] != ' ')
        throw std::runtime_error("bad stamp: " + line);
      out.push_back({line, {}});
      in_entry = true;
    } else if (line.empty()) {
      in_entry = false;
    } else if (line[0] == '\t') {
      out.back().lines.push_back(line.substr(1));
    } else {
      throw std::runtime_error("line without TAB: " + line);
    }
  }
  if (in_entry) throw std::runtime_error("entry without its empty line");
  return out;
}

BrastelTest::BrastelTest() {
  std::filesystem::create_directory(data());
  std::filesystem::create_directory(remote());
}

void BrastelTest::write_ini(const std::string& body) {
  write_file(home_ / "brastel.ini", "[Service]\n" + body);
}

std::string BrastelTest::default_paths() const {
  return "LocalPath=" + (data() / "*.dat").string() + "\nRemotePath=" + remote().string() + "/\n";
}

std::map<std::string, std::string> BrastelTest::env() const {
  return {{"RALVEK_HOME", home_.path().string()},
          {"RALVEK_EVENT_LOG", event_log().string()},
          {"RALVEK_TIME_SCALE", time_scale_},
          {"RALVEK_SYSTEMD_DIR", (home_ / "units").string()},
          {"TZ", "UTC"}};
}

std::unique_ptr<Process> BrastelTest::start(const std::vector<std::string>& args,
                                            const std::map<std::string, std::string>& extra_env) {
  auto e = env();
  for (const auto& [k, v] : extra_env) e[k] = v;
  std::vector<std::string> argv{BRASTEL_EXE};
  argv.insert(argv.end(), args.begin(), args.end());
  return std::make_unique<Process>(argv, e, home_.path());
}

int BrastelTest::run_once(const std::vector<std::string>& args,
                          const std::map<std::string, std::string>& extra_env) {
  auto p = start(args, extra_env);
  auto status = p->wait(20s);
  return status ? *status : -1;
}

std::vector<LogEntry> BrastelTest::entries() const {
  if (!std::filesystem::exists(log_file())) return {};
  return parse_log(read_file(log_file()));
}

std::vector<LogEntry> BrastelTest::entries_starting(const std::string& first_line) const {
  std::vector<LogEntry> out;
  for (auto& e : entries()) {
    if (!e.lines.empty() && e.lines[0] == first_line) out.push_back(e);
  }
  return out;
}

std::vector<LogEntry> BrastelTest::entries_ending(const std::string& suffix) const {
  std::vector<LogEntry> out;
  for (auto& e : entries()) {
    const std::string& l = e.lines.empty() ? std::string() : e.lines[0];
    if (l.size() >= suffix.size() &&
        l.compare(l.size() - suffix.size(), suffix.size(), suffix) == 0) {
      out.push_back(e);
    }
  }
  return out;
}

bool BrastelTest::wait_entries(const std::string& first_line, size_t count,
                               std::chrono::milliseconds timeout) {
  return wait_until([&] { return entries_starting(first_line).size() >= count; }, timeout);
}

void BrastelTest::data_file(const std::string& name, const std::string& content) {
  write_file(data() / name, content);
}

void BrastelTest::script(const std::string& name, const std::string& body) {
  write_file(home_ / name, "#!/bin/sh\n" + body);
  std::filesystem::permissions(home_ / name, std::filesystem::perms::owner_all |
                                                 std::filesystem::perms::group_read |
                                                 std::filesystem::perms::group_exec);
}

}  // namespace ralvek::e2e
