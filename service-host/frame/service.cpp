#include "frame/service.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>

#include "figures/status_command.h"
#include "platform/program_dir.h"
#include "ralvek_version.h"
#include "vb/vb.h"

namespace ralvek::frame {
namespace {

// The exit status of a command line the program does not understand, as getopt programs use.
constexpr int kInvalidArgumentStatus = 2;

std::string lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return text;
}

std::string trim_spaces(const std::string& text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::filesystem::path executable_path() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : exe;
}

}  // namespace

std::string unload_reason_text(int reason) {
  switch (reason) {
    case kUnloadUserClose: return "User has chosen Close command from Control menu box on form.";
    case kUnloadFromCode: return "Unload method invoked from code.";
    case kUnloadSessionEnding: return "Current Windows session ending.";
    case kUnloadTaskManager: return "Windows Task Manager is closing the application.";
    case kUnloadMdiParent: return "MDI child form is closing because the MDI form is closing.";
    case kUnloadOwner: return "The owner of the form is closing.";
    default: return "Unknown reason for form unloading.";
  }
}

std::string join_lines(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) text += "\r\n";
    text += lines[i];
  }
  return text;
}

Service::Service(ServiceProfile profile)
    : profile_(std::move(profile)),
      signals_(io_),
      program_dir_(platform::program_dir()),
      manager_(platform::make_systemd_service_manager()),
      event_log_(profile_.service_name) {}

Service::~Service() = default;

int Service::run(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  std::string raw;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) raw += ' ';
    raw += argv[i];
  }
  command_line_lower_ = lower(raw);
  // Asked of a running instance, so it comes before the instance lock and leaves it alone.
  if (bool json = false; figures::is_status_switch(trim_spaces(command_line_lower_), json)) {
    return figures::print_status(program_dir_, profile_.program, json);
  }
  if (answer_query(trim_spaces(command_line_lower_))) return exit_status_;
  try {
    bool sole = lock_.acquire(program_dir_, profile_.program);
    if (!sole && profile_.instance_check == ServiceProfile::InstanceCheck::kFirst) {
      throw vb::ProgramError(profile_.already_running_text);
    }
    BeforeCommandLine();
    dispatch(raw, trim_spaces(command_line_lower_));
  } catch (const std::exception& e) {
    if (exit_status_ == 0) exit_status_ = 1;
    ErrorHandler(e.what(), profile_.load_error_procedure);
    if (exit_status_ == kInvalidArgumentStatus) print_usage(stderr, false);
    request_unload(kUnloadFromCode);
  }
  if (!unloaded_) request_unload(kUnloadFromCode);
  return exit_status_;
}

void Service::dispatch(const std::string& raw, const std::string& switch_text) {
  if (switch_text == "--interactive" || switch_text == "--debug") {
    bool interactive = switch_text == "--interactive";
    mode_ = interactive ? Mode::kInteractive : Mode::kDebug;
    event_log_.set_echo_to_stderr(true);
    if (!interactive) {
      DebugRunResult result = DebugRun();
      if (result == DebugRunResult::kFailed) exit_status_ = 1;
      if (result != DebugRunResult::kNotHandled) return;
    }
    watch_signals();  // before the start, so a signal during it is not the default death
    if (interactive && profile_.label_before_start) set_info_label(profile_.info_label);
    bool started = start();
    if (interactive && !profile_.label_before_start) set_info_label(profile_.info_label);
    if (started || profile_.resident_after_failed_start) {
      run_resident();
    } else {
      exit_status_ = 1;
    }
    return;
  }
  if (switch_text == "--install" || switch_text == "--silentinstall") {
    bool ok = manager_->install({profile_.service_name, profile_.display_name, executable_path(),
                                 program_dir_, profile_.watchdog_seconds});
    if (switch_text == "--install") {
      message_box(ok ? "Service installed successfully" : "Service failed to install", !ok);
    }
    if (!ok) exit_status_ = 1;
    return;
  }
  if (switch_text == "--remove" || switch_text == "--silentremove") {
    remove(switch_text == "--silentremove");
    return;
  }
  if (!raw.empty()) {
    exit_status_ = kInvalidArgumentStatus;
    throw vb::ProgramError("Invalid command-line argument");
  }
  if (profile_.instance_check == ServiceProfile::InstanceCheck::kServiceModeOnly && !sole_instance()) {
    throw vb::ProgramError(profile_.already_running_text);
  }
  if (!manager_->started_as_service()) return;  // started by hand: nothing to host us
  mode_ = Mode::kService;
  watch_signals();
  if (!start()) {
    exit_status_ = 1;  // the service manager marks the unit failed
    return;
  }
  manager_->notify_ready();
  run_resident();
}

bool Service::answer_query(const std::string& switch_text) {
  if (switch_text == "--help") {
    print_usage(stdout, true);
  } else if (switch_text == "--version") {
    std::printf("%s %d.%d.%d\n", profile_.program.c_str(), kVersionMajor, kVersionMinor,
                kVersionRevision);
  } else if (switch_text == "--check") {
    try {
      exit_status_ = CheckSettings(std::cout);
    } catch (const std::exception& e) {
      std::cout << "error: " << e.what() << '\n';
      exit_status_ = 1;
    }
    std::cout.flush();
  } else {
    return false;
  }
  return true;
}

void Service::print_usage(std::FILE* to, bool full) const {
  std::fprintf(to,
               "usage: %s [--interactive | --debug | --install | --remove | --silentinstall | "
               "--silentremove | --check | --status [--json] | --help | --version]\n",
               profile_.program.c_str());
  if (!full) return;
  std::fprintf(to,
               "  (none)           run under systemd as %s; started by hand it ends at once\n"
               "  --interactive    run in the terminal, events and the status label on standard error\n"
               "  --debug          run in the terminal, events on standard error\n"
               "  --install        write and enable the systemd unit %s.service\n"
               "  --remove         disable and remove the unit\n"
               "  --silentinstall  --install without a message\n"
               "  --silentremove   --remove without a message\n"
               "  --check          show what the program makes of %s.ini; exit 1 when the start would fail\n"
               "  --status [--json] the running instance's figures per source\n"
               "  --help           this text\n"
               "  --version        the version\n"
               "The program directory is $RALVEK_HOME, else the folder of the executable.\n",
               profile_.service_name.c_str(),
               profile_.service_name.c_str(), profile_.program.c_str());
}

void Service::remove(bool silent) {
  if (profile_.remove_checks_running && manager_->is_running(profile_.service_name)) {
    exit_status_ = 1;
    if (silent) {
      LogEvent(platform::kEventWarning, 109,
               {"Service failed to remove: service is running.", "Stop service to remove."});
    } else {
      message_box("Service failed to remove: service is running", true);
    }
    return;
  }
  bool ok = manager_->uninstall(profile_.service_name);
  if (!silent) message_box(ok ? "Service removed successfully" : "Service failed to remove", !ok);
  if (!ok) exit_status_ = 1;
}

bool Service::start() {
  bool success = false;
  try {
    oSVC_Start(success);
  } catch (const std::exception& e) {
    success = false;
    ErrorHandler(e.what(), "oSVC_Start");
  }
  return success;
}

void Service::run_resident() {
  if (unloaded_) return;
  auto watchdog = manager_->watchdog_interval();
  if (mode_ == Mode::kService && watchdog.count() > 0) {
    // Half the manager's limit; a hung loop sends nothing and is restarted.
    auto half = std::chrono::duration_cast<std::chrono::milliseconds>(watchdog / 2);
    watchdog_ = std::make_unique<TickTimer>(io_, std::max(half, std::chrono::milliseconds(1)),
                                            [this] { manager_->notify_watchdog(); });
    watchdog_->set_enabled(true);
  }
  io_.run();
}

void Service::watch_signals() {
  signals_.add(SIGINT);
  signals_.add(SIGTERM);
  signals_.add(SIGHUP);
  signals_.async_wait([this](std::error_code ec, int signal_number) {
    if (ec) return;
    if (mode_ == Mode::kService && signal_number != SIGHUP) {
      manager_->notify_stopping();
      try {
        StopRequest();
      } catch (...) {
        // a stop request must end the service whatever goes wrong on the way
      }
    } else if (signal_number == SIGHUP) {
      if (profile_.log_unload_reasons) request_unload(kUnloadSessionEnding);
    } else {
      request_unload(signal_number == SIGINT ? kUnloadUserClose : kUnloadTaskManager);
    }
    if (!unloaded_) watch_signals();
  });
}

void Service::StopRequest() { unload_from_code(); }

void Service::request_unload(int reason) {
  if (unloaded_) return;
  if (profile_.log_unload_reasons) {
    try {
      LogEvent(platform::kEventWarning, 108, {unload_reason_text(reason)});
    } catch (...) {
    }
  }
  if (reason == kUnloadSessionEnding) return;  // the user's session ending never stops a service
  unloaded_ = true;
  try {
    Unload(sole_instance());
  } catch (...) {
    // each step of an unload already ignores its own errors; nothing may stop the exit
  }
  signals_.cancel();
  if (watchdog_) watchdog_->set_enabled(false);
  io_.stop();
}

void Service::stop_service(int exit_status) {
  if (unloaded_) return;
  try {
    StopRequest();
  } catch (...) {
  }
  request_unload(kUnloadFromCode);
  exit_status_ = exit_status;
}

void Service::LogEvent(int evtType, std::int32_t evtID, const std::vector<std::string>& Messages) {
  event_log_.write({static_cast<std::int16_t>(evtType), evtID, join_lines(Messages)});
}

void Service::ErrorHandler(const std::string& strMsg, const std::string& strProcedure) {
  try {
    LogEvent(platform::kEventError, 109,
             {strMsg, strProcedure.empty() ? std::string() : "Procedure: " + strProcedure});
  } catch (...) {
  }
  if (profile_.error_handler_sets_label && command_line_lower_ == "--interactive") {
    set_info_label(strMsg);
  }
}

void Service::set_info_label(const std::string& text) {
  if (mode_ == Mode::kInteractive) std::fprintf(stderr, "%s\n", text.c_str());
}

void Service::set_status(const std::string& status) {
  if (mode_ == Mode::kService) manager_->notify_status(status);
}

void Service::message_box(const std::string& text, bool warning) {
  std::fprintf(warning ? stderr : stdout, "%s\n", text.c_str());
}

}  // namespace ralvek::frame
