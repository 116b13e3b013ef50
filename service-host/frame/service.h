#pragma once

#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "frame/tick_timer.h"
#include "platform/event_log.h"
#include "platform/instance_lock.h"
#include "platform/service_manager.h"

namespace ralvek::frame {

// How a program was started; fixed at load.
enum class Mode {
  kOneShot,      // install or remove, then end
  kService,      // under the service manager
  kInteractive,  // by hand, label and events on the terminal
  kDebug,        // by hand, events on the terminal
};

// The points in which the four service programs differ, as data.
struct ServiceProfile {
  std::string program;       // executable and settings-file base name, e.g. "tolvin"
  std::string service_name;  // e.g. "RalvekIPService": unit name and event source
  std::string display_name;
  std::string window_title;
  std::string info_label;  // first text of the interactive-mode label

  enum class InstanceCheck {
    kFirst,               // a second instance is refused before anything else, in every mode
    kServiceModeOnly,     // refused only on the empty command line, after the argument check
  } instance_check = InstanceCheck::kFirst;
  std::string already_running_text = "Service already running";

  bool label_before_start = true;            // interactive: label shown before the start
  bool resident_after_failed_start = false;  // interactive and debug stay up after a failed start
  bool remove_checks_running = true;         // --remove/--silentremove refused while running
  std::string load_error_procedure = "Load";
  bool log_unload_reasons = false;
  bool error_handler_sets_label = false;
  // The unit's WatchdogSec: longer than the longest time a handler may hold the loop; 0: none.
  int watchdog_seconds = 60;
};

// The unload reasons of the main object.
enum UnloadReason : int {
  kUnloadUserClose = 0,
  kUnloadFromCode = 1,
  kUnloadSessionEnding = 2,
  kUnloadTaskManager = 3,
  kUnloadMdiParent = 4,
  kUnloadOwner = 5,
};
std::string unload_reason_text(int reason);

// The lines of an event or log entry joined by CR LF (none after the last).
std::string join_lines(const std::vector<std::string>& lines);

// The main object of a service program. Each program derives from it, fills in its profile and
// its handlers; `run` is the whole frame: command line, install and remove, single instance,
// signals, the event loop, stop and unload.
class Service {
 public:
  explicit Service(ServiceProfile profile);
  virtual ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // Runs the program for its command line; returns the process exit status.
  int run(int argc, char** argv);

  // ---- what the frame offers the program ----
  asio::io_context& io() { return io_; }
  const ServiceProfile& profile() const { return profile_; }
  const std::filesystem::path& program_dir() const { return program_dir_; }
  Mode mode() const { return mode_; }
  // False when another process of this program and directory holds the instance lock: such a
  // run never closes, sweeps or renames data files, which belong to the running instance.
  bool sole_instance() const { return lock_.held(); }
  platform::ServiceManager& service_manager() { return *manager_; }

  // Joins the lines with CR LF and writes one event.
  virtual void LogEvent(int evtType, std::int32_t evtID, const std::vector<std::string>& Messages);
  // Reports a failure: type 1, ID 109, the message and "Procedure: " + name.
  virtual void ErrorHandler(const std::string& strMsg, const std::string& strProcedure);

  void set_info_label(const std::string& text);
  // Unload with reason 1; the loop ends after the current handler.
  void unload_from_code() { request_unload(kUnloadFromCode); }
  // Stops the service on the program's own request: its stop request runs at once and the
  // process ends with `exit_status` (non-zero: failed, so the service manager restarts it).
  void stop_service(int exit_status = 0);
  // A one-line status for `systemctl status`.
  void set_status(const std::string& status);

 protected:
  // ---- what each program supplies ----
  virtual void BeforeCommandLine() {}
  virtual void oSVC_Start(bool& success) = 0;
  // Default: unload from code; errors while doing so are ignored.
  virtual void StopRequest();
  // The program's unload work. `finish_files` is false in a run that is not the sole instance.
  virtual void Unload(bool finish_files) = 0;
  // What a program's own debug run came to.
  enum class DebugRunResult {
    kNotHandled,  // the frame starts the program and keeps it resident, as for the others
    kDone,        // the run is over; the program unloads and ends with status 0
    kFailed,      // the run failed (its start, say); the program unloads and ends with status 1
  };
  // The debug switch, when a program does something else than start and stay resident.
  virtual DebugRunResult DebugRun() { return DebugRunResult::kNotHandled; }
  // The "--check" switch: reads the settings as the start does and reports on `out` what the
  // program would use; changes nothing and starts nothing. Returns 0 when the start would
  // succeed, 1 otherwise.
  virtual int CheckSettings(std::ostream& out) = 0;

 private:
  // "--help", "--version" and "--check": answered before the instance lock, without events.
  bool answer_query(const std::string& switch_text);
  void print_usage(std::FILE* to, bool full) const;
  void dispatch(const std::string& raw, const std::string& switch_text);
  bool start();
  void run_resident();
  void request_unload(int reason);
  void watch_signals();
  void message_box(const std::string& text, bool warning);
  void install();
  void remove(bool silent);

  ServiceProfile profile_;
  asio::io_context io_;
  asio::signal_set signals_;
  std::filesystem::path program_dir_;
  std::unique_ptr<platform::ServiceManager> manager_;
  platform::SystemEventLog event_log_;
  platform::InstanceLock lock_;
  std::unique_ptr<TickTimer> watchdog_;  // proves to the service manager that the loop runs
  std::string command_line_lower_;  // lower-cased, not trimmed
  Mode mode_ = Mode::kOneShot;
  bool unloaded_ = false;
  int exit_status_ = 0;
};

}  // namespace ralvek::frame
