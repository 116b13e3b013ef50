#include "platform/service_manager.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
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

// The service runs as the owner of its program directory: the one user that may write it and
// hold its instance lock (the package gives /var/lib/ralvek to _ralvek).
void take_directory_owner(ServiceUnit& unit) {
  struct stat st {};
  if (::stat(unit.program_dir.c_str(), &st) != 0) st.st_uid = st.st_gid = 0;
  if (unit.user.empty()) {
    const passwd* user = ::getpwuid(st.st_uid);
    unit.user = user ? user->pw_name : std::to_string(st.st_uid);
  }
  if (unit.group.empty()) {
    const group* group = ::getgrgid(st.st_gid);
    unit.group = group ? group->gr_name : std::to_string(st.st_gid);
  }
}

class SystemdServiceManager final : public ServiceManager {
 public:
  bool install(const ServiceUnit& requested) override {
    ServiceUnit unit = requested;
    take_directory_owner(unit);
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

namespace {

// The service's own user with nothing it does not need: no capabilities, a read-only system
// but for the program directory, no devices but serrak's serial lines.
std::string sandbox_text(const ServiceUnit& unit, const std::string& dir, bool serial) {
  std::string text =
      "User=" + escape_percent(unit.user) + "\n"
      "Group=" + escape_percent(unit.group) + "\n" +
      (serial ? "SupplementaryGroups=dialout\n" : "") +
      "UMask=0027\n"
      "NoNewPrivileges=yes\n"
      "CapabilityBoundingSet=\n"
      "ProtectSystem=strict\n"
      "ReadWritePaths=" + unit_quote(dir) + "\n"
      "ProtectHome=yes\n"
      "PrivateTmp=yes\n";
  // serrak: /dev/ttyS*, USB adapters, USB modems.
  text += serial ? "DevicePolicy=closed\n"
                   "DeviceAllow=char-ttyS rw\n"
                   "DeviceAllow=char-ttyUSB rw\n"
                   "DeviceAllow=char-ttyACM rw\n"
                 : "PrivateDevices=yes\n";
  return text +
         "PrivateMounts=yes\n"
         "ProtectKernelTunables=yes\n"
         "ProtectKernelModules=yes\n"
         "ProtectKernelLogs=yes\n"
         "ProtectControlGroups=yes\n"
         "ProtectClock=yes\n"
         "ProtectHostname=yes\n"
         "ProtectProc=invisible\n"
         "ProcSubset=pid\n"
         "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6\n"
         "RestrictNamespaces=yes\n"
         "RestrictRealtime=yes\n"
         "RestrictSUIDSGID=yes\n"
         "LockPersonality=yes\n"
         "MemoryDenyWriteExecute=yes\n"
         "RemoveIPC=yes\n"
         "KeyringMode=private\n"
         "SystemCallFilter=@system-service\n"
         "SystemCallFilter=~@privileged @resources\n"
         "SystemCallErrorNumber=EPERM\n"
         "SystemCallArchitectures=native\n";
}

}  // namespace

std::string unit_file_text(const ServiceUnit& unit) {
  const std::string program = unit.executable.filename().string();
  const std::string dir = escape_percent(unit.program_dir.string());
  std::string text =
      "[Unit]\n"
      "Description=" + escape_percent(unit.display_name) + "\n"
      "Documentation=man:" + escape_percent(program) + "(1)\n"
      "After=network-online.target\n"
      "Wants=network-online.target\n"
      // Automatic restarts (one each RestartSec=) never reach a limit: a collector comes back
      // whenever its device, disk or network does.
      "StartLimitIntervalSec=0\n"
      "\n"
      "[Service]\n"
      "Type=notify\n"
      "ExecStart=" + unit_quote(escape_percent(unit.executable.string())) + "\n"
      "Environment=" + unit_quote(escape_percent("RALVEK_HOME=" + unit.program_dir.string())) + "\n"
      "WorkingDirectory=" + dir + "\n"
      "Restart=on-failure\n"
      "RestartSec=30\n"
      "RestartPreventExitStatus=" + std::to_string(kFinalStopExitStatus) + "\n"
      // Two descriptors per connected site: the default 1024 would cap a collector at ~500.
      "LimitNOFILE=65536\n";
  if (unit.watchdog_seconds > 0) text += "WatchdogSec=" + std::to_string(unit.watchdog_seconds) + "\n";
  return text + sandbox_text(unit, dir, program == "serrak") +
         "\n"
         "[Install]\n"
         "WantedBy=multi-user.target\n"
         "Alias=ralvek-" + escape_percent(program) + ".service\n";
}

std::unique_ptr<ServiceManager> make_systemd_service_manager() {
  return std::make_unique<SystemdServiceManager>();
}

}  // namespace ralvek::platform
