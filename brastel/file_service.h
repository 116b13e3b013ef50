#pragma once

#include <pemrod/cls_logger.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "figures/board.h"
#include "file_ops.h"
#include "frame/service.h"
#include "frame/tick_timer.h"
#include "settings.h"

namespace ralvek::brastel {

// Entry classes of LogEvent's blnCritical.
inline constexpr std::int32_t kRoutine = 0;    // written only in debug mode
inline constexpr std::int32_t kCritical = -1;  // always written, and the alert command runs
inline constexpr std::int32_t kAlways = -2;    // always written

// The file copy service: every ProcessInterval minutes it moves the finished data files of a
// local folder to a remote folder, or starts a batch file that does it. It writes its own log
// file, brastel.log in the program directory, runs the administrator's alert command on
// every error, and stops itself after MaxErrCount failed cycles in a row.
class frmService final : public frame::Service {
 public:
  // `ops` must outlive the service.
  explicit frmService(FileOps& ops = real_file_ops());

  using frame::Service::LogEvent;
  // Writes one entry of brastel.log (the lines joined with CR LF); never throws.
  void LogEvent(std::int32_t blnCritical, const std::vector<std::string>& Messages);
  // Events of the frame go to the log file too: errors as critical entries, others always.
  void LogEvent(int evtType, std::int32_t evtID, const std::vector<std::string>& Messages) override;
  // A critical entry: strMsg and "Procedure: " + strProcedure (or an empty line).
  void ErrorHandler(const std::string& strMsg, const std::string& strProcedure) override;

 protected:
  void BeforeCommandLine() override;
  void oSVC_Start(bool& success) override;
  void StopRequest() override;
  void Unload(bool finish_files) override;
  DebugRunResult DebugRun() override;
  int CheckSettings(std::ostream& out) override { return check_settings(program_dir(), out); }

 private:
  void tmrServiceProcess_Timer();
  void copy_pass();
  void batch_pass();
  void cycle_error(std::int32_t code, const std::string& description);
  void RunAdminAlert(const std::string& text);
  void log_text(const std::string& text);

  FileOps& ops_;
  frame::TickTimer tmrServiceProcess;

  ServiceSettings settings_;  // lngProcessInterval ... lngMaxErrCount
  std::int32_t lngErrCount = 0;
  std::int32_t lngTicks = 0;
  bool cycle_failed_ = false;  // the last cycle reported an error: a file kept, a pass cut short
  std::unique_ptr<pemrod::clsLogger> oLogger;
  std::string load_error_;  // the log folder's check at load, raised by BeforeCommandLine
  figures::Board figures_;
};

}  // namespace ralvek::brastel
