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
      tmrCreateOutputFile_(io, std::chrono::milliseconds(1000), [this] { tmrCreateOutputFile_Timer(); }),
      tmrReopenPort_(io, std::chrono::milliseconds(1000), [this] { tmrReopenPort_Timer(); }),
      figures_(io, "serrak", parts_.program_dir,
               [this](int type, std::int32_t id, const auto& lines) { host_.LogEvent(type, id, lines); }) {
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
  std::string figures_warning;
  std::string ini_path = (parts_.program_dir / "serrak.ini").string();
  {
    ini::IniFile ini;
    ini.set_file_path(ini_path);
    if (ini.count() <= 0) throw vb::ProgramError("INI file not found: " + ini_path);

    strSiteID_ = ini.read_value(kIniSection, "siteid", "0");
    // A conversion error names its key: "Type mismatch" alone leaves the administrator guessing.
    auto setting = [&](const char* key, const char* default_text, auto convert) {
      return vb::converted(key, ini.read_value(kIniSection, key, default_text), convert);
    };
    auto int16 = [](const std::string& text) { return integer16_setting(text); };
    auto int32 = [](const std::string& text) { return integer32_setting(text); };
    auto boolean = [](const std::string& text) { return vb::CBool(text); };
    std::int16_t com_port = setting("com_port", "1", int16);
    std::string com_device = ini.read_value(kIniSection, "com_device", "");
    oCOM1_->set_device(com_device_path(com_port, com_device));
    com_port_text_ = com_device.empty() ? std::to_string(com_port) : com_device;
    oCOM1_->set_rts(setting("com_rts", "1", boolean));
    oCOM1_->set_dtr(setting("com_dtr", "1", boolean));
    oCOM1_->set_handshaking(handshaking_mode(setting("com_handshaking", "0", int32)));
    oCOM1_->set_settings(ini.read_value(kIniSection, "com_settings", "9600,n,8,1"));
    lngInterval_ = setting("com_interval", "45", int32);
    delete_temp_files_ = vb::Val(ini.read_value(kIniSection, "delete_temp_files", "1")) != 0;
    figures_warning = figures_.configure(ini, kIniSection);

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

    figures_.add_source(0, strSiteID_, oCOM1_->device().string());
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
  if (!figures_warning.empty()) host_.LogEvent(platform::kEventWarning, 110, {figures_warning});
  oCOM1_->open();
  figures_.on_connected(0, true);
  figures_.start(host_.owns_data_files());
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
  host_.LogEvent(platform::kEventWarning, 108, script_error_lines(error));
}

void COMService::on_script_timeout(long limit_ms) {
  host_.LogEvent(platform::kEventWarning, 108, script_timeout_lines(limit_ms));
}

void COMService::OnComm(int code) {
  try {
    if (!blnFileOK_) {
      if (oCOM1_->is_open()) oCOM1_->close();
      figures_.on_connected(0, false);
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
          figures_.on_write_failed(0);
          save_pending(strBuffer_.pending());
          throw;
        }
        strBuffer_.commit();
        figures_.on_data(0, lines.size(), figures::count_byte(lines, '\r'));
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
  try {
    oCOM1_->open();
  } catch (...) {
    // The device went away (an adapter pulled out): without retries the service would stay
    // deaf until someone restarts it. The caller reports this failure, the first of a series.
    reopen_ticks_ = 0;
    figures_.on_connected(0, false);
    tmrReopenPort_.set_enabled(true);
    report_status();
    throw;
  }
}

void COMService::tmrReopenPort_Timer() {
  if (++reopen_ticks_ < kReopenTicks) return;
  reopen_ticks_ = 0;
  try {
    oCOM1_->open();
  } catch (const std::exception&) {
    return;  // still gone; the first failure was reported
  }
  tmrReopenPort_.set_enabled(false);
  figures_.on_connected(0, true);
  try {
    host_.LogEvent(platform::kEventInformation, 110, {"Com Port opened again.", "COM Port: " + com_port_text_});
    report_status();
  } catch (const std::exception& e) {
    host_.ErrorHandler(e.what(), "tmrReopenPort_Timer");
  }
}

void COMService::StopRequest() {
  tmrReopenPort_.set_enabled(false);
  try {
    if (oCOM1_->is_open()) oCOM1_->close();
  } catch (...) {
  }
  tmrCreateOutputFile_.set_enabled(false);
  tsOutput_.reset();
}

void COMService::Unload(bool finish_files) {
  tmrReopenPort_.set_enabled(false);
  try {
    if (oCOM1_->is_open()) oCOM1_->close();
  } catch (...) {
  }
  tmrCreateOutputFile_.set_enabled(false);
  if (finish_files) {
    RenameCurrentFile();
    // The unfinished line stays for the next run, which completes it: dropped here, a restart
    // would begin with the torn tail of a record.
    save_pending(strBuffer_.pending());
  }
  tsOutput_.reset();
  finisher_.wait_idle();  // the process ends only when the last file is a .dat
  figures_.stop();
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

}  // namespace ralvek::serrak
