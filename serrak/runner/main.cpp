// ralvek-script: runs serrak's user script the way serrak does, without a serial port. The
// script is loaded with serrak's own script hook (same engine, objects and time limit), its
// procedure "Run" is called with each file named on the command line, and every error is
// printed with the lines serrak logs for it.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "ralvek_version.h"
#include "user_script.h"

namespace ralvek::serrak {
namespace {

constexpr const char* kUsage =
    "usage: ralvek-script [--timeout <milliseconds>] <script> [<file>...]\n"
    "  Loads <script> (a serrak.vbs or serrak.vbe file, or a folder holding one) as serrak\n"
    "  does and calls its Run with each <file>. Errors are printed as serrak logs them.\n"
    "  --timeout <milliseconds>  time limit of each call (default 30000, 0: none)\n"
    "  --help, --version\n"
    "Exit status: 0 all went well, 1 the script did not load or a call failed, 2 bad usage.\n";

struct Options {
  long timeout_ms = kScriptTimeoutMs;
  std::string script;
  std::vector<std::string> files;
};

int bad_usage(const std::string& why) {
  std::fprintf(stderr, "ralvek-script: %s\n%s", why.c_str(), kUsage);
  return 2;
}

std::optional<long> parse_milliseconds(const std::string& text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  for (char c : text)
    if (c < '0' || c > '9') return std::nullopt;
  return std::stol(text);
}

// The script file as serrak chooses it in its program directory: serrak.vbs, else serrak.vbe.
std::filesystem::path script_path(const std::filesystem::path& given) {
  std::error_code ec;
  if (!std::filesystem::is_directory(given, ec)) return given;
  for (const char* name : {"serrak.vbs", "serrak.vbe"})
    if (std::filesystem::exists(given / name, ec)) return given / name;
  return given / "serrak.vbs";
}

void print_lines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) std::fprintf(stderr, "%s\n", line.c_str());
}

int run(const Options& options) {
  std::filesystem::path path = script_path(options.script);
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) {
    std::fprintf(stderr, "ralvek-script: cannot read script file: %s\n", path.c_str());
    return 1;
  }
  std::string text((std::istreambuf_iterator<char>(in)), {});
  if (in.bad()) {
    std::fprintf(stderr, "ralvek-script: cannot read script file: %s\n", path.c_str());
    return 1;
  }
  std::unique_ptr<UserScript> script = make_vbscript_user_script_with_limit(options.timeout_ms);
  script->set_notifications(
      [](const ScriptErrorInfo& error) { print_lines(script_error_lines(error)); },
      [](long limit_ms) { print_lines(script_timeout_lines(limit_ms)); });
  try {
    script->add_code(text);
  } catch (const ScriptFailure& failure) {
    std::fprintf(stderr, "%s: the script did not load (serrak would not start): %s\n", path.c_str(),
                 failure.what());
    return 1;
  }
  int status = 0;
  for (const std::string& file : options.files) {
    try {
      script->run("Run", file);
      std::printf("%s: ok\n", file.c_str());
    } catch (const ScriptFailure& failure) {
      // serrak reports this through its error handler and leaves the file .kom.
      std::fprintf(stderr, "%s: Run failed: %s\n", file.c_str(), failure.what());
      std::printf("%s: failed\n", file.c_str());
      status = 1;
    }
    std::fflush(stdout);
  }
  return status;
}

int main_with(const std::vector<std::string>& args) {
  Options options;
  bool options_end = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (!options_end && (a == "--help" || a == "-h")) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (!options_end && a == "--version") {
      std::printf("ralvek-script %s\n", kVersionText);
      return 0;
    }
    if (!options_end && a == "--timeout") {
      if (i + 1 == args.size()) return bad_usage("--timeout needs a number of milliseconds");
      std::optional<long> ms = parse_milliseconds(args[++i]);
      if (!ms)
        return bad_usage("--timeout needs a number of milliseconds, not \"" + args[i] + "\"");
      options.timeout_ms = *ms;
    } else if (!options_end && a == "--") {
      options_end = true;
    } else if (!options_end && a.size() > 1 && a[0] == '-') {
      return bad_usage("unknown option " + a);
    } else if (options.script.empty()) {
      options.script = a;
    } else {
      options.files.push_back(a);
    }
  }
  if (options.script.empty()) return bad_usage("no script given");
  return run(options);
}

}  // namespace
}  // namespace ralvek::serrak

int main(int argc, char** argv) {
  return ralvek::serrak::main_with(std::vector<std::string>(argv + 1, argv + argc));
}
