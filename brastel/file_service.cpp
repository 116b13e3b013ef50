#include "file_service.h"

#include <cstdio>
#include <ctime>
#include <exception>
#include <optional>

#include "admin_alert.h"
#include "copy_pass.h"
#include "ini/ini_file.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "ralvek_version.h"
#include "vb/vb.h"

namespace ralvek::brastel {
namespace {

using namespace std::chrono_literals;

constexpr std::int32_t kCodeInternal = 51;

frame::ServiceProfile brastel_profile() {
  frame::ServiceProfile p;
  p.program = "brastel";
  p.service_name = "FileCopyService";
  p.display_name = "File Copy Service";
  p.window_title = "File Copy Service";
  p.info_label = "Service running in interactive mode. Use this mode only for debugging purposes.";
  p.instance_check = frame::ServiceProfile::InstanceCheck::kFirst;
  p.label_before_start = false;
  p.resident_after_failed_start = true;
  p.remove_checks_running = false;
  p.load_error_procedure = "Load";
  p.log_unload_reasons = false;
  p.error_handler_sets_label = false;
  p.watchdog_seconds = 0;  // a copy pass holds the loop for as long as its files take
  return p;
}

// The program directory as text, without a trailing slash, for texts built on it.
std::string dir_text(const std::filesystem::path& dir) {
  std::string text = dir.string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

}  // namespace

frmService::frmService(FileOps& ops)
    : frame::Service(brastel_profile()),
      ops_(ops),
      tmrServiceProcess(io(), 60000ms, [this] { tmrServiceProcess_Timer(); }),
      oLogger(std::make_unique<pemrod::clsLogger>()),
      figures_(io(), "brastel", program_dir(),
               [this](int type, std::int32_t id, const auto& lines) { LogEvent(type, id, lines); }) {
  figures_.set_copy_service();
  // The log is set up before the frame looks at anything, so that even a refused second
  // instance leaves its entry. A missing program directory ends the load (BeforeCommandLine).
  try {
    oLogger->LogPath(dir_text(program_dir()));
  } catch (const pemrod::Error& e) {
    load_error_ = e.description();
  }
  try {
    oLogger->LogFile("brastel.log");
    oLogger->MaxSize(512000);
  } catch (const pemrod::Error& e) {
    if (load_error_.empty()) load_error_ = e.description();
  }
}

void frmService::BeforeCommandLine() {
  if (!load_error_.empty()) throw vb::ProgramError(load_error_);
}

// ---- log file ----

void frmService::log_text(const std::string& text) {
  try {
    oLogger->Log(text);
  } catch (const std::exception&) {
    // a log file that cannot be written must not stop the service
  }
  if (mode() != frame::Mode::kService) {
    // Run by hand: the operator sees the entries on the terminal too.
    std::string shown = text;
    for (size_t at = shown.find("\r\n"); at != std::string::npos; at = shown.find("\r\n", at)) {
      shown.replace(at, 2, "\n  ");
    }
    std::fprintf(stderr, "brastel: %s\n", shown.c_str());
  }
}

void frmService::LogEvent(std::int32_t blnCritical, const std::vector<std::string>& Messages) {
  try {
    std::string text = frame::join_lines(Messages);
    if (!settings_.blnDebugMode && blnCritical == kRoutine) return;
    log_text(text);
    if (blnCritical == kCritical) RunAdminAlert(text);
  } catch (...) {
    // failures while logging are not reported again
  }
}

void frmService::LogEvent(int evtType, std::int32_t /*evtID*/,
                          const std::vector<std::string>& Messages) {
  LogEvent(evtType == platform::kEventError ? kCritical : kAlways, Messages);
}

void frmService::ErrorHandler(const std::string& strMsg, const std::string& strProcedure) {
  LogEvent(kCritical,
           {strMsg, strProcedure.empty() ? std::string() : "Procedure: " + strProcedure});
}

void frmService::RunAdminAlert(const std::string& text) {
  if (settings_.strAdminAlert.empty()) return;
  std::vector<std::string> argv = alert_argv(settings_.strAdminAlert, text);
  if (!argv.empty() && platform::start_detached(argv)) return;
  // The template, not the filled-in command; this entry runs no alert of its own.
  log_text("Error on executing Admin Alert: " + settings_.strAdminAlert);
}

// ---- start, stop, unload ----

void frmService::oSVC_Start(bool& success) {
  try {
    ini::IniFile ini;
    ini.set_file_path(program_dir() / "brastel.ini");
    if (ini.count() < 1) throw vb::ProgramError("INI file not found: " + ini.file_path());
    settings_ = read_settings(ini, program_dir());
    if (!settings_.blnUseFSO && settings_.strBatchFile.empty() && settings_.strRemotePath.empty()) {
      throw vb::ProgramError(
          "Incorrect service parameters. UseFileSystemObject and UseBatchFile are both zero.");
    }
    LogEvent(kRoutine, {"Service started",
                        "Version:" + std::to_string(kVersionMajor) + "." +
                            std::to_string(kVersionMinor) + "." + std::to_string(kVersionRevision),
                        "INI File: " + ini.file_path()});
    settings_.strBatchFile = dir_text(program_dir()) + "/" + settings_.strBatchFile;
    figures_.configure(ini, "Service");  // only metrics_file: the copy service has no sources
    figures_.start(sole_instance());
    tmrServiceProcess.set_enabled(true);
    success = true;
  } catch (const std::exception& e) {
    ErrorHandler(e.what(), "oSVC_Start");
  }
}

void frmService::StopRequest() {
  LogEvent(kAlways, {"Service stopped"});
  unload_from_code();
}

void frmService::Unload(bool /*finish_files*/) {
  // The service keeps no files open between cycles: nothing to finish.
  tmrServiceProcess.set_enabled(false);
  figures_.stop();
}

frmService::DebugRunResult frmService::DebugRun() {
  bool success = false;
  oSVC_Start(success);
  // A cycle on settings that failed to load would act on defaults nobody chose.
  if (!success) return DebugRunResult::kFailed;
  tmrServiceProcess.set_enabled(false);
  settings_.lngProcessInterval = -1;
  tmrServiceProcess_Timer();
  // A run by hand, from a script or before a move of the machine, must not report a cycle that
  // left files behind as a success.
  return cycle_failed_ ? DebugRunResult::kFailed : DebugRunResult::kDone;
}

// ---- the cycle ----

void frmService::tmrServiceProcess_Timer() {
  ++lngTicks;
  if (lngTicks < settings_.lngProcessInterval) return;
  lngTicks = 0;
  tmrServiceProcess.set_enabled(false);
  cycle_failed_ = false;
  std::optional<CopyError> failure;
  try {
    if (settings_.blnUseFSO) {
      copy_pass();
    } else {
      batch_pass();
    }
  } catch (const CopyError& e) {
    failure = e;
  } catch (const std::exception& e) {
    failure = CopyError(kCodeInternal, e.what());
  }
  figures_.copy().passes++;
  figures_.copy().last_pass = std::time(nullptr);
  if (failure) {
    figures_.copy().failed_passes++;
    figures_.copy().last_failure = figures_.copy().last_pass;
    cycle_error(failure->code(), failure->what());
  } else {
    figures_.copy().error_count = lngErrCount;
    tmrServiceProcess.set_enabled(true);
  }
  set_status("last cycle " + platform::iso_local_time(std::time(nullptr)).substr(11) + ": " +
             (failure ? "failed, code " + std::to_string(failure->code()) : std::string("ok")) +
             ", " + std::to_string(lngErrCount) + " failed cycles in a row");
}

void frmService::copy_pass() {
  int count = brastel::copy_pass(
      ops_, parse_local_path(settings_.strLocalPath), settings_.strRemotePath,
      settings_.strExtension, [this](const CopyError& e) {
        cycle_failed_ = true;
        ErrorHandler(std::string(e.what()) + ", Code: " + std::to_string(e.code()),
                     "ServiceProcess");
      },
      [this](std::uint64_t bytes) {
        ++figures_.copy().files_moved;
        figures_.copy().bytes_moved += bytes;
      });
  lngErrCount = 0;
  LogEvent(kRoutine, {std::to_string(count) + " file(s) copied."});
}

void frmService::batch_pass() {
  std::error_code ec;
  std::filesystem::current_path(program_dir(), ec);
  if (platform::start_detached({settings_.strBatchFile})) {
    LogEvent(kRoutine, {settings_.strBatchFile + " file executed."});
  } else {
    cycle_failed_ = true;
    LogEvent(kCritical, {settings_.strBatchFile + " file couldn't be executed."});
  }
}

void frmService::cycle_error(std::int32_t code, const std::string& description) {
  std::string text =
      code == kCodeLogonFailure
          ? "Unknown error, possibly service user has no permission to access network path"
          : description;
  cycle_failed_ = true;
  ErrorHandler(text + ", Code: " + std::to_string(code), "ServiceProcess");
  ++lngErrCount;
  figures_.copy().error_count = lngErrCount;
  if (lngErrCount < settings_.lngMaxErrCount || settings_.lngMaxErrCount <= 0) {
    tmrServiceProcess.set_enabled(true);
    return;
  }
  LogEvent(kCritical,
           {"Service error count is " + std::to_string(lngErrCount), "Service will stop."});
  // A final stop: the unit stays failed and stopped until someone acts. The debug run ends
  // after its one cycle anyway; its status says how that cycle went.
  stop_service(mode() == frame::Mode::kDebug ? 0 : platform::kFinalStopExitStatus);
}

}  // namespace ralvek::brastel
