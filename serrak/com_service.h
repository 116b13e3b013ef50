#pragma once

#include <asio/io_context.hpp>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "figures/board.h"
#include "files/finisher.h"
#include "frame/tick_timer.h"
#include "line_assembler.h"
#include "platform/files.h"
#include "platform/serial_port.h"
#include "user_script.h"

namespace ralvek::serrak {

// What the service needs from the program that hosts it.
class ComHost {
 public:
  virtual ~ComHost() = default;
  virtual void LogEvent(int evtType, std::int32_t evtID, const std::vector<std::string>& Messages) = 0;
  virtual void ErrorHandler(const std::string& strMsg, const std::string& strProcedure) = 0;
  // Asks the service manager to stop the service; the stop request follows.
  virtual void request_service_stop() = 0;
  // False when another instance of the program runs on the same directory: its data files
  // are then left alone (no sweep, no rename).
  virtual bool owns_data_files() const = 0;
  // A one-line summary for the service manager's status display.
  virtual void set_status(const std::string& /*status*/) {}
};

struct ComServiceParts {
  std::filesystem::path program_dir;
  platform::FileSystem* fs = nullptr;  // not owned; must outlive the service
  std::unique_ptr<platform::SerialPort> port;
  std::function<std::unique_ptr<UserScript>()> make_script;
  std::function<std::string()> time_stamp;  // local "yyyymmddhhnnss" now
};

// The serial collection service: reads call-record lines from a serial port into a temporary
// file "<siteid>_<stamp>.kom" in data/, and every com_interval + 1 ticks hands the finished
// file to the user script and renames it into .dat.
//
// What was read but not yet written (an unfinished line, lines a full disk refused) is also
// kept in "serrak.pending" in the program directory, so a stopped or killed run hands it to
// the next start and no restart tears a record.
//
// Every handler traps its own errors and reports them through the host; none throws.
// REQUIRES: `host` outlives the service; all calls on the loop's thread.
class COMService {
 public:
  COMService(asio::io_context& io, ComHost& host, ComServiceParts parts);
  ~COMService();

  void oSVC_Start(bool& success);
  // Closes the port, stops the timer and closes the output file; the host unloads next.
  void StopRequest();
  // Closes the port and finishes the current file (unless `finish_files` is false).
  void Unload(bool finish_files);

  void OnComm(int code);
  void tmrCreateOutputFile_Timer();
  // While the port is down (its device went away), opens it again every kReopenTicks ticks with
  // the settings of the start; the failure that took it down was reported, the retries are quiet.
  void tmrReopenPort_Timer();
  static constexpr std::int32_t kReopenTicks = 2;

  bool CreateOutputFile();
  void RenameCurrentFile();
  void ChangeComToDat();
  // Blocks until the files handed to the finisher are finished (for tests; the unload waits).
  void wait_for_finished_files() { finisher_.wait_idle(); }

  // ---- state, for the program and for tests ----
  const std::string& strOutputFile() const { return strOutputFile_; }
  bool blnFileOK() const { return blnFileOK_; }
  bool blnScript() const { return blnScript_; }
  bool timer_enabled() const { return tmrCreateOutputFile_.enabled(); }
  bool reopen_timer_enabled() const { return tmrReopenPort_.enabled(); }
  std::int32_t lngTicks() const { return lngTicks_; }
  const std::string& strBuffer() const { return strBuffer_.pending(); }
  platform::SerialPort& oCOM1() { return *oCOM1_; }
  const std::filesystem::path& script_file() const { return script_file_; }

 private:
  void start_steps();
  std::optional<std::uint64_t> file_size(const std::filesystem::path& path);
  // `stamp`, or the first later second whose file name no .dat or .kom of this site has.
  std::string free_stamp(std::string stamp);
  void restore_pending();
  void save_pending(std::string_view pending);
  void load_script();
  void error_reset(int code);
  void on_script_error(const ScriptErrorInfo& error);
  void on_script_timeout(long limit_ms);
  void report_status();

  ComHost& host_;
  ComServiceParts parts_;
  files::Finisher finisher_;  // syncs and renames the finished file off the loop
  std::unique_ptr<platform::SerialPort> oCOM1_;
  std::unique_ptr<UserScript> oScript_;
  frame::TickTimer tmrCreateOutputFile_;
  frame::TickTimer tmrReopenPort_;  // runs only while the port is down
  std::int32_t reopen_ticks_ = 0;

  std::string strSiteID_;
  std::filesystem::path strDataPath_;
  std::string strOutputFile_;
  bool blnFileOK_ = false;
  std::int32_t lngInterval_ = 0;
  std::int32_t lngTicks_ = 0;
  LineAssembler strBuffer_;
  bool blnScript_ = false;
  bool delete_temp_files_ = true;  // read, not used
  std::string com_port_text_;      // the port as the start report shows it
  std::filesystem::path script_file_;
  std::unique_ptr<platform::WritableFile> tsOutput_;
  std::filesystem::path pending_file_;
  std::string saved_pending_;  // what pending_file_ holds
  figures::Board figures_;     // the line is source 0
};

}  // namespace ralvek::serrak
