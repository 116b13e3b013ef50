#include "platform/service_manager.h"

#include <systemd/sd-daemon.h>

#include <cstdlib>
#include <fstream>

#include "platform/process.h"

namespace ralvek::platform {
namespace {

std::filesystem::path unit_dir() {
  const char* dir = std::getenv("RALVEK_SYSTEMD_DIR");
  return dir && *dir ? std::filesystem::path(dir) : std::filesystem::path("/etc/systemd/system");
}

bool systemctl(const std::string& verb, const std::string& name, bool quiet = false) {
  std::vector<std::string> argv{"systemctl", verb};
  if (quiet) argv.push_back("--quiet");
  if (!name.empty()) argv.push_back(name);
  auto status = run_and_wait(argv);
  return status && *status == 0;
}

class SystemdServiceManager final : public ServiceManager {
 public:
  bool install(const ServiceUnit& unit) override {
    auto path = unit_dir() / (unit.name + ".service");
    {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      if (!out) return false;
      out << unit_file_text(unit);
      out.flush();
      if (!out) return false;
    }
    if (!on_path("systemctl")) return true;
    bool reloaded = systemctl("daemon-reload", "");
    // Without a running systemd (a container, a chroot, an image being built) there is no
    // manager to reload, and its refusal is no failure: enable works on the files alone.
    if (sd_booted() <= 0) reloaded = true;
    bool enabled = systemctl("enable", unit.name, true);
    return reloaded && enabled;
  }

  bool uninstall(const std::string& name) override {
    bool have_systemctl = on_path("systemctl");
    if (have_systemctl) systemctl("disable", name, true);
    std::error_code ec;
    bool removed = std::filesystem::remove(unit_dir() / (name + ".service"), ec) && !ec;
    if (have_systemctl) systemctl("daemon-reload", "");
    return removed;
  }

  bool is_running(const std::string& name) override {
    return on_path("systemctl") && systemctl("is-active", name, true);
  }

  bool started_as_service() override {
    const char* id = std::getenv("INVOCATION_ID");
    return id && *id;
  }

  void notify_ready() override { sd_notify(0, "READY=1"); }
  void notify_stopping() override { sd_notify(0, "STOPPING=1"); }
  void notify_status(const std::string& status) override {
    sd_notify(0, ("STATUS=" + status).c_str());
  }
  void notify_watchdog() override { sd_notify(0, "WATCHDOG=1"); }
  std::chrono::microseconds watchdog_interval() override {
    uint64_t usec = 0;
    return sd_watchdog_enabled(0, &usec) > 0 ? std::chrono::microseconds(usec)
                                              : std::chrono::microseconds(0);
  }
};

// systemd expands "%" specifiers in every value below ("%n" is the unit's name); a program
// directory holding "%" must reach the unit literally. "$" needs nothing: ExecStart= expands
// variables in the arguments only, and there are none.
std::string escape_percent(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '%') out += c;
    out += c;
  }
  return out;
}

// ExecStart= and Environment= split their value at blanks unless it is double-quoted.
std::string unit_quote(const std::string& text) {
  if (text.find_first_of(" \t\"\\") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

std::string unit_file_text(const ServiceUnit& unit) {
  return "[Unit]\n"
         "Description=" + escape_percent(unit.display_name) + "\n"
         "After=network-online.target\n"
         "Wants=network-online.target\n"
         "\n"
         "[Service]\n"
         "Type=notify\n"
         "ExecStart=" + unit_quote(escape_percent(unit.executable.string())) + "\n"
         "Environment=" + unit_quote(escape_percent("RALVEK_HOME=" + unit.program_dir.string())) + "\n"
         "WorkingDirectory=" + escape_percent(unit.program_dir.string()) + "\n"
         "Restart=on-failure\n"
         // Two descriptors per connected site: the default 1024 would cap a collector at ~500.
         "LimitNOFILE=65536\n" +
         (unit.watchdog_seconds > 0 ? "WatchdogSec=" + std::to_string(unit.watchdog_seconds) + "\n"
                                    : std::string()) +
         "\n"
         "[Install]\n"
         "WantedBy=multi-user.target\n";
}

std::unique_ptr<ServiceManager> make_systemd_service_manager() {
  return std::make_unique<SystemdServiceManager>();
}

}  // namespace ralvek::platform
