#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

namespace ralvek::platform {

struct ServiceUnit {
  std::string name;          // unit name without ".service"
  std::string display_name;  // Description=
  std::filesystem::path executable;
  std::filesystem::path program_dir;
  // Seconds without a sign of life after which systemd restarts the service; 0: no watchdog.
  int watchdog_seconds = 60;
  // User= and Group= of the service; empty: install() takes the owner and group of the
  // program directory, which the service must be able to write.
  std::string user = {};
  std::string group = {};
};

// Exit status of a deliberate final stop (brastel after its error limit); the unit lists it in
// RestartPreventExitStatus=, so systemd leaves the service failed and stopped.
inline constexpr int kFinalStopExitStatus = 69;

// Registration with the service manager and talk with it while running as a service.
class ServiceManager {
 public:
  virtual ~ServiceManager() = default;
  // Writes the unit and enables it. True when the unit was written and every manager command
  // that ran succeeded.
  virtual bool install(const ServiceUnit& unit) = 0;
  // Disables and removes the unit. True when a unit existed and was removed.
  virtual bool uninstall(const std::string& name) = 0;
  virtual bool is_running(const std::string& name) = 0;
  // True when the service manager started this process.
  virtual bool started_as_service() = 0;
  virtual void notify_ready() = 0;
  virtual void notify_stopping() = 0;
  virtual void notify_status(const std::string& status) = 0;
  virtual void notify_watchdog() = 0;
  // How often the manager expects a watchdog notification; zero when it expects none.
  virtual std::chrono::microseconds watchdog_interval() = 0;
};

// systemd: unit files in $RALVEK_SYSTEMD_DIR (else /etc/systemd/system), `systemctl` when it is
// on the PATH, sd_notify for readiness, status and the watchdog.
std::unique_ptr<ServiceManager> make_systemd_service_manager();

// The text of the unit file written by install, and shipped by the package: a service of its
// own user in a sandbox that may write only the program directory. The alias is "ralvek-" +
// the executable's name; `serrak` (the executable's name) also gets the serial devices.
std::string unit_file_text(const ServiceUnit& unit);

}  // namespace ralvek::platform
