#include "hipath4_svc.h"

#include <algorithm>
#include <asio/post.hpp>
#include <cctype>
#include <ctime>

#include "files/data_files.h"
#include "ini/ini_file.h"
#include "ralvek_version.h"
#include "vb/vb.h"

namespace ralvek::quendor {
namespace {

using namespace std::chrono_literals;
using platform::kEventInformation;
using platform::kEventSuccess;
using platform::kEventWarning;

constexpr const char* kProductTitle = "Ralvek ";

}  // namespace

frame::ServiceProfile quendor_profile() {
  frame::ServiceProfile p;
  p.program = "quendor";
  p.service_name = "RalvekHipath4000Service";
  p.display_name = "Ralvek Hipath 4000 Service";
  p.window_title = std::string(kProductTitle) + "Hipath 4000 TCP Service";
  p.info_label = std::string(kProductTitle) + "Hipath4000 TCP Service" +
                 " running in interactive mode. Use this mode only for debug purpose.";
  p.instance_check = frame::ServiceProfile::InstanceCheck::kServiceModeOnly;
  p.already_running_text = "Service already running";
  p.label_before_start = true;
  p.resident_after_failed_start = true;
  p.remove_checks_running = true;
  p.load_error_procedure = "Load";
  p.log_unload_reasons = false;
  p.error_handler_sets_label = false;
  return p;
}

Hipath4Svc::Hipath4Svc(platform::FileSystem& fs)
    : frame::Service(quendor_profile()),
      fs_(fs),
      strDataPath(program_dir() / "data"),
      finisher_(io(), fs),
      files_(fs, finisher_, strDataPath),
      wsClient(io(), {nullptr, [this](int i) { wsClient_Connect(i); },
                      [this](int i, std::size_t) { DataArrival(i); },
                      [this](int i) { wsClient_Close(i); },
                      [this](int i, int, const std::string& d) { wsClient_Error(i, d); }}),
      tmrConnectTCP(io(), 60000ms, [this] { tmrConnectTCP_Timer(); }),
      tmrFileTimer(io(), 1000ms, [this] { tmrFileTimer_Timer(); }),
      figures_(io(), "quendor", program_dir(),
               [this](int type, std::int32_t id, const auto& lines) { LogEvent(type, id, lines); }),
      tmrRetryWrite(io(), 1000ms, [this] { tmrRetryWrite_Timer(); }) {
  tmrFileTimer.set_enabled(true);
}

void Hipath4Svc::LogEvent(int evtType, std::int32_t evtID,
                          const std::vector<std::string>& Messages) {
  try {
    frame::Service::LogEvent(evtType, evtID, Messages);
  } catch (...) {
    // an event that cannot be written must not turn into another error
  }
}

void Hipath4Svc::oSVC_Start(bool& success) {
  try {
    auto ini_path = program_dir() / "quendor.ini";
    ini::IniFile ini;
    ini.set_file_path(ini_path);
    if (ini.count() <= 0) throw vb::ProgramError("INI file not found: " + ini.file_path());

    lngFileInterval = vb::converted("file_interval", ini.read_value(kSection, "file_interval", "120"),
                                    [](const std::string& text) { return file_interval_seconds(text); });
    keepalive_ = read_keepalive(ini);

    // A file without the section is a file without exchanges.
    static const ini::IniSection kNoSection;
    const ini::IniSection* section = &kNoSection;
    try {
      section = &ini.section(kSection);
    } catch (const ini::SectionNotFound&) {
    }
    int highest = 0;
    for (const auto& key : section->keys) {
      std::int16_t n = vb::converted(key.name, key.name,
                                     [](const std::string& text) { return exchange_number(text); });
      if (n <= 0) continue;
      if (wsClient.exists(n)) {
        throw vb::VbError(
            360, "Exchange " + std::to_string(n) + " is configured twice (key " + key.name + ")");
      }
      auto& socket = wsClient.create(n);
      auto [host, port] = vb::converted(key.name, key.value,
                                        [](const std::string& text) { return split_host_port(text); });
      socket.remote_host = host;
      socket.remote_port = port;
      socket.keepalive = {keepalive_.idle, keepalive_.interval, keepalive_.count};
      if (!host_keys_.insert(host_key(host)).second) {
        throw vb::VbError(
            457, "Exchange host " + host + " is configured twice (key " + key.name + ")");
      }
      colClients.push_back(n);
      highest = std::max<int>(highest, n);
      figures_.add_source(n, std::to_string(n), host + ":" + std::to_string(port));
    }
    files_.resize(highest);
    std::string figures_warning = figures_.configure(ini, kSection);

    LogEvent(kEventSuccess, 110,
             {"Service attempted to start with the following settings:",
              std::string("Version:") + std::to_string(kVersionMajor) + "." +
                  std::to_string(kVersionMinor) + "." + std::to_string(kVersionRevision),
              "INI File: " + ini.file_path()});
    if (!figures_warning.empty()) LogEvent(kEventWarning, 110, {figures_warning});
    figures_.start(owns_data_files());
    tmrConnectTCP.set_enabled(true);
    if (!fs_.is_directory(strDataPath)) fs_.create_directory(strDataPath);
    if (owns_data_files()) finisher_.prepare(strDataPath, colClients.size());  // before the sweep ends
    RenameFiles();
    finisher_.wait_idle();  // an earlier run's files are finished before new data arrive
    update_status();
    success = true;
  } catch (const std::exception& e) {
    ErrorHandler(e.what(), "oSVC_Start");
  }
}

int Hipath4Svc::CheckSettings(std::ostream& out) { return check_settings(program_dir(), out); }

void Hipath4Svc::tmrConnectTCP_Timer() {
  try {
    for (int n : colClients) {
      auto& socket = wsClient[n];
      if (socket.state() == net::SocketState::kClosed) {
        LogEvent(
            kEventInformation, 108,
            {"Connecting to " + socket.remote_host + ":" + std::to_string(socket.remote_port)});
        socket.connect();
      } else if (socket.state() == net::SocketState::kError) {
        socket.close();
      }
    }
  } catch (const std::exception& e) {
    ErrorHandler(e.what(), "tmrConnectTCP_Timer");
  }
  update_status();
}

void Hipath4Svc::wsClient_Connect(int index) {
  try {
    auto& socket = wsClient[index];
    LogEvent(kEventSuccess, 110,
             {"Connection established: " + socket.remote_host_ip() + ":" +
              std::to_string(socket.remote_port)});
    figures_.on_connected(index, true);
    if (kept_.count(static_cast<std::int16_t>(index))) socket.pause_reading();
  } catch (const std::exception& e) {
    ErrorHandler(e.what(), "wsClient_Connect");
  }
  update_status();
}

void Hipath4Svc::wsClient_Close(int index) {
  try {
    auto& socket = wsClient[index];
    socket.close();
    figures_.on_connected(index, false);
    LogEvent(kEventSuccess, 110,
             {"Disconnected from " + socket.remote_host_ip() + ":" +
              std::to_string(socket.remote_port)});
  } catch (const std::exception& e) {
    ErrorHandler(e.what(), "wsClient_Close");
  }
  update_status();
}

void Hipath4Svc::wsClient_Error(int index, const std::string& description) {
  try {
    auto& socket = wsClient[index];
    LogEvent(kEventWarning, 108,
             {"Error from " + socket.remote_host + ":" + std::to_string(socket.remote_port),
              "Description:", description, "Closing connection..."});
    socket.close();
    figures_.on_connected(index, false);
    // Enabling a running timer would restart its minute: an exchange that fails often would
    // then hold off the reconnects of all the others.
    if (!tmrConnectTCP.enabled()) tmrConnectTCP.set_enabled(true);
  } catch (const std::exception& e) {
    ErrorHandler(e.what(), "wsClient_Error");
  }
  update_status();
}

void Hipath4Svc::DataArrival(int index) {
  try {
    auto& socket = wsClient[index];
    std::string data = socket.get_data();
    auto n = static_cast<std::int16_t>(index);
    if (!files_.is_open(n)) CreateOutputFile(n);
    try {
      files_.write(n, data);
      figures_.on_data(n, data.size(), figures::count_line_feeds(data));
    } catch (const platform::FileError& e) {
      if (!e.disk_full()) throw;
      // The exchange can be held back: keep the block and stop reading until it is written, so
      // the system's window stops the sender instead of the records being lost.
      ErrorHandler(e.what(), "DataArrival");  // the first failure; the retries stay quiet
      kept_.emplace(n, std::move(data));
      socket.pause_reading();
      tmrRetryWrite.set_enabled(true);
    }
  } catch (const std::exception& e) {
    figures_.on_write_failed(index);
    ErrorHandler(e.what(), "DataArrival");
  }
}

void Hipath4Svc::tmrRetryWrite_Timer() {
  for (auto kept = kept_.begin(); kept != kept_.end();) {
    if (!WriteKept(kept->first, kept->second)) {
      ++kept;
      continue;
    }
    wsClient[kept->first].resume_reading();
    kept = kept_.erase(kept);
  }
  if (kept_.empty()) tmrRetryWrite.set_enabled(false);
}

bool Hipath4Svc::WriteKept(std::int16_t n, const std::string& bytes, bool last_try) {
  try {
    if (!files_.is_open(n)) CreateOutputFile(n);  // a period may have ended meanwhile
    files_.write(n, bytes);
    figures_.on_data(n, bytes.size(), figures::count_line_feeds(bytes));
    LogEvent(kEventInformation, 110,
             {"Writing resumed for exchange " + std::to_string(n) + " after a full disk."});
  } catch (const platform::FileError& e) {
    if (e.disk_full() && !last_try) return false;
    ErrorHandler(e.what(), "DataArrival");
  } catch (const std::exception& e) {
    ErrorHandler(e.what(), "DataArrival");
  }
  return true;
}

void Hipath4Svc::CreateOutputFile(std::int16_t n) {
  try {
    figures_.on_file_opened(n, files_.create(n, std::time(nullptr)));
  } catch (const std::exception& e) {
    ErrorHandler(e.what(), "CreateOutputFile");
  }
}

void Hipath4Svc::tmrFileTimer_Timer() {
  try {
    ++lngFileTicks;
    if (lngFileTicks >= lngFileInterval) {
      CloseFiles();
      lngFileTicks = 0;
    }
  } catch (const std::exception& e) {
    ErrorHandler(e.what(), "tmrFileTimer_Timer");
  }
}

// The finisher syncs and renames the files off the loop, so that the exchanges, the watchdog and
// the keepalives never wait for the disk.
void Hipath4Svc::CloseFiles() {
  try {
    for (int n : colClients) {
      if (files_.is_open(n)) files_.hand_over(n, nullptr);  // the sweep is silent, so is this
      figures_.on_file_closed(n);
    }
    RenameFiles();
  } catch (const std::exception& e) {
    ErrorHandler(e.what(), "CloseFiles");
  }
}

void Hipath4Svc::RenameFiles() {
  if (!owns_data_files()) return;
  // Silent: a missing data folder or a failed rename is retried by the next sweep.
  finisher_.sweep(strDataPath, "hp4", nullptr);
}

void Hipath4Svc::Unload(bool finish_files) {
  tmrFileTimer.set_enabled(false);
  tmrConnectTCP.set_enabled(false);
  tmrRetryWrite.set_enabled(false);
  if (finish_files) {
    for (const auto& [n, bytes] : kept_) WriteKept(n, bytes, /*last_try=*/true);
    kept_.clear();
    try {
      CloseFiles();
    } catch (...) {
    }
  }
  finisher_.wait_idle();  // the process ends only when every file is a .dat
  figures_.stop();
}

void Hipath4Svc::update_status() {
  // Counting walks every exchange: once after a burst of socket events, not once for each,
  // or a tick of thousands of refused exchanges costs their square and holds up the stop.
  if (status_pending_) return;
  status_pending_ = true;
  asio::post(io(), [this] {
    status_pending_ = false;
    int connected = 0;
    for (int n : colClients) {
      if (wsClient[n].state() == net::SocketState::kConnected) ++connected;
    }
    set_status(std::to_string(connected) + " of " + std::to_string(colClients.size()) +
               " exchanges connected");
  });
}

}  // namespace ralvek::quendor
