#include "com_service.h"

#include <fstream>
#include <iterator>

#include "com_settings.h"
#include "ini/ini_file.h"
#include "platform/event_log.h"
#include "ralvek_version.h"
#include "vb/vb.h"

namespace ralvek::serrak {

COMService::COMService(asio::io_context& io, ComHost& host, ComServiceParts parts)
    : host_(host),
      parts_(std::move(parts)),
      finisher_(io, *parts_.fs),
      oCOM1_(std::move(parts_.port)),
      tmrCreateOutputFile_(io, std::chrono::milliseconds(1000), [this] { tmrCreateOutputFile_Timer(); }) {
  oCOM1_->set_on_comm([this](int code) { OnComm(code); });
}

COMService::~COMService() = default;

void COMService::oSVC_Start(bool& success) {
  success = false;
  try {
    start_steps();
    success = true;
    report_status();
  } catch (const std::exception& e) {
    host_.ErrorHandler(e.what(), "oSVC_Start");
  }
}

void COMService::start_steps() {
  std::string ini_path = (parts_.program_dir / "serrak.ini").string();
  {
    ini::IniFile ini;
    ini.set_file_path(ini_path);
    if (ini.count() <= 0) throw vb::ProgramError("INI file not found: " + ini_path);

    strSiteID_ = ini.read_value(kIniSection, "siteid", "0");
    std::int16_t com_port = integer16_setting(ini.read_value(kIniSection, "com_port", "1"));
    std::string com_device = ini.read_value(kIniSection, "com_device", "");
    oCOM1_->set_device(com_device_path(com_port, com_device));
    com_port_text_ = com_device.empty() ? std::to_string(com_port) : com_device;
    oCOM1_->set_rts(vb::CBool(ini.read_value(kIniSection, "com_rts", "1")));
    oCOM1_->set_dtr(vb::CBool(ini.read_value(kIniSection, "com_dtr", "1")));
    oCOM1_->set_handshaking(
        handshaking_mode(integer32_setting(ini.read_value(kIniSection, "com_handshaking", "0"))));
    oCOM1_->set_settings(ini.read_value(kIniSection, "com_settings", "9600,n,8,1"));
    lngInterval_ = integer32_setting(ini.read_value(kIniSection, "com_interval", "45"));
    delete_temp_files_ = vb::Val(ini.read_value(kIniSection, "delete_temp_files", "1")) != 0;

    // A separator would put the output file outside the data folder.
    if (!site_id_valid(strSiteID_) || strSiteID_.find_first_of(std::string("/\0", 2)) != std::string::npos) {
      throw vb::ProgramError("Invalid Site ID: " + strSiteID_);
    }

    strDataPath_ = parts_.program_dir / "data";
    if (!parts_.fs->is_directory(strDataPath_)) {
      parts_.fs->create_directory(strDataPath_);
    } else if (host_.owns_data_files()) {
      ChangeComToDat();
    }

    blnFileOK_ = CreateOutputFile();
    if (!blnFileOK_) throw vb::ProgramError("Failed to create output file: " + strOutputFile_);
    if (host_.owns_data_files()) restore_pending();

    load_script();

    host_.LogEvent(platform::kEventSuccess, 110,
                   {"Service attempted to start with the following settings:",
                    "Version: " + std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) +
                        "." + std::to_string(kVersionRevision),
                    "Site ID: " + strSiteID_, "COM Port: " + com_port_text_,
                    "COM Settings: " + oCOM1_->settings(), "INI File: " + ini.file_path(),
                    "Script File: " + (blnScript_ ? script_file_.string() : std::string("No script file."))});
  }
  oCOM1_->open();
  tmrCreateOutputFile_.set_enabled(true);
}

void COMService::load_script() {
  for (const char* name : {"serrak.vbs", "serrak.vbe"}) {
    std::error_code ec;
    if (!std::filesystem::exists(parts_.program_dir / name, ec)) continue;
    script_file_ = parts_.program_dir / name;
    blnScript_ = true;
    break;
  }
  if (!blnScript_) return;
  std::ifstream in(script_file_, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  if (in.bad() || !in.is_open()) throw vb::ProgramError("Cannot read script file: " + script_file_.string());
  oScript_ = parts_.make_script();
  oScript_->set_notifications([this](const ScriptErrorInfo& error) { on_script_error(error); },
                              [this](long limit_ms) { on_script_timeout(limit_ms); });
  oScript_->add_code(text);
}

void COMService::on_script_error(const ScriptErrorInfo& error) {
  host_.LogEvent(platform::kEventWarning, 108,
                 {"Script Error", "Description: " + error.description, "Code: " + error.line_text,
                  "Line: " + std::to_string(error.line), "Source :" + error.source});
}

void COMService::on_script_timeout(long limit_ms) {
  host_.LogEvent(platform::kEventWarning, 108,
                 {"Script Timeout", std::string(1, '(').append(std::to_string(limit_ms)).append(" miliseconds)")});
}

void COMService::OnComm(int code) {
  try {
    if (!blnFileOK_) {
      if (oCOM1_->is_open()) oCOM1_->close();
      tmrCreateOutputFile_.set_enabled(false);
      host_.LogEvent(platform::kEventWarning, 109,
                     {"Failed to create temporary output file: ", strOutputFile_});
      host_.request_service_stop();
      return;
    }
    switch (code) {
      case platform::kComEvReceive:
      case platform::kComEvEof: {
        strBuffer_.append(oCOM1_->take_input());
        std::string lines = strBuffer_.complete_lines();
        if (lines.empty()) {
          save_pending(strBuffer_.pending());
          return;
        }
        if (!tsOutput_) throw vb::ProgramError("Output file not open: " + strOutputFile_);
        // Saved first: a kill between the two loses at most the lines being written, and
        // never leaves a line's beginning both in the file and in the pending file.
        save_pending(strBuffer_.rest());
        try {
          tsOutput_->append(lines);
        } catch (...) {
          save_pending(strBuffer_.pending());
          throw;
        }
        strBuffer_.commit();
        return;
      }
      case platform::kComEventBreak:
      case platform::kComEventFrame:
      case platform::kComEventOverrun:
      case platform::kComEventRxOver:
      case platform::kComEventRxParity:
      case platform::kComEventTxFull:
      case platform::kComEventDCB:
        error_reset(code);
        return;
      default:
        return;
    }
  } catch (const std::exception& e) {
    host_.ErrorHandler(e.what(), "OnComm");
  }
}

void COMService::error_reset(int code) {
  host_.LogEvent(platform::kEventWarning, 108,
                 {"Com Port Error Event Received.", "Event ID: " + std::to_string(code)});
  oCOM1_->discard_input();
  oCOM1_->set_receive_threshold(1);
  oCOM1_->close();
  oCOM1_->open();
}

void COMService::StopRequest() {
  try {
    if (oCOM1_->is_open()) oCOM1_->close();
  } catch (...) {
  }
  tmrCreateOutputFile_.set_enabled(false);
  tsOutput_.reset();
}

void COMService::Unload(bool finish_files) {
  try {
    if (oCOM1_->is_open()) oCOM1_->close();
  } catch (...) {
  }
  tmrCreateOutputFile_.set_enabled(false);
  if (finish_files) {
    RenameCurrentFile();
    drop_pending();
  }
  tsOutput_.reset();
  finisher_.wait_idle();  // the process ends only when the last file is a .dat
}

// Larger pending text (a line that never ends) is not kept: rewriting it at every arrival
// would cost more than the line is worth.
constexpr std::size_t kMaxSavedPending = 64 * 1024;

void COMService::restore_pending() {
  pending_file_ = parts_.program_dir / "serrak.pending";
  std::ifstream in(pending_file_, std::ios::binary);
  saved_pending_.assign(std::istreambuf_iterator<char>(in), {});
  strBuffer_.restore(saved_pending_);
}

void COMService::save_pending(std::string_view pending) {
  if (pending_file_.empty()) return;
  if (pending.size() > kMaxSavedPending) pending = {};
  if (pending == saved_pending_) return;
  try {
    auto file = parts_.fs->open(pending_file_, platform::OpenMode::kTruncate);
    saved_pending_.clear();
    file->append(pending);
    saved_pending_ = pending;
  } catch (const std::exception&) {
    // Only a crash needs the file; the next arrival tries again.
  }
}

void COMService::drop_pending() {
  if (pending_file_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove(pending_file_, ignored);
  saved_pending_.clear();
}

}  // namespace ralvek::serrak
