#include "ip_service.h"

#include <ctime>

#include "ini/ini_file.h"
#include "platform/clock.h"
#include "ralvek_version.h"
#include "settings.h"
#include "vb/vb.h"

namespace ralvek::tolvin {
namespace {

using namespace std::chrono_literals;
using platform::kEventError;
using platform::kEventInformation;
using platform::kEventSuccess;
using platform::kEventWarning;

frame::ServiceProfile tolvin_profile() {
  frame::ServiceProfile p;
  p.program = "tolvin";
  p.service_name = "RalvekIPService";
  p.display_name = "Ralvek IP Service";
  p.window_title = "Ralvek IP Service";
  p.info_label =
      "Ralvek IP Service running in interactive mode. Use this mode only for debugging purpose.";
  p.instance_check = frame::ServiceProfile::InstanceCheck::kFirst;
  p.label_before_start = true;
  p.resident_after_failed_start = false;
  p.remove_checks_running = true;
  p.load_error_procedure = "Load";
  p.log_unload_reasons = true;
  p.error_handler_sets_label = true;
  return p;
}

std::int32_t number_of(const std::string& text) { return vb::CLng(vb::Val(text)); }

// Of the events of one kind from one sender, at most this many a second reach the log.
constexpr int kEventsPerWindow = 3;

}  // namespace

frmIPService::frmIPService()
    : frame::Service(tolvin_profile()),
      fs_(platform::posix_file_system()),
      finisher_(io(), fs_),
      wsckServer(io(), {[this](int i, int id) { wsckServer_ConnectionRequest(i, id); },
                        [this](int i) { wsckServer_Connect(i); },
                        [this](int i, std::size_t) { wsckServer_DataArrival(i); },
                        [this](int i) { wsckServer_Close(i); },
                        [this](int i, int, const std::string& d) { wsckServer_Error(i, d); }}),
      wsckUDP(io(), {[this](std::size_t) { wsckUDP_DataArrival(); },
                     [this](int, const std::string& d) { wsckUDP_Error(d); }}),
      tmrCreateOutputFile(io(), 1000ms, [this] { tmrCreateOutputFile_Timer(); }),
      tmrDisconnect(io(), 1000ms, [this] { tmrDisconnect_Timer(); }),
      tmrListen(io(), 1000ms, [this] { tmrListen_Timer(); }),
      tmrRetryWrite(io(), 1000ms, [this] { tmrRetryWrite_Timer(); }),
      throttle_(kEventsPerWindow, platform::scaled(1000ms),
                [this](const frame::EventThrottle::Event& e) { LogEvent(e.type, e.id, e.lines); }),
      tmrEventSummary(io(), 1000ms, [this] {
        throttle_.sweep(frame::EventThrottle::Clock::now());
        if (throttle_.idle()) tmrEventSummary.set_enabled(false);
      }),
      figures_(io(), "tolvin", program_dir(),
               [this](int type, std::int32_t id, const auto& lines) { LogEvent(type, id, lines); }) {}

void frmIPService::BeforeCommandLine() {
  // The random part of file names is seeded from the time of day when SiteFiles is made.
  strDataPath = program_dir() / "data";
  site_files_ = std::make_unique<SiteFiles>(finisher_, strDataPath, [this](int site, const std::exception& e) {
    figures_.on_write_failed(site);
    ErrorHandlerFrom("", e.what(), "DataArrival");
  });
}

// ---- start ----

void frmIPService::oSVC_Start(bool& success) {
  try {
    ini::IniFile ini;
    ini.set_file_path(program_dir() / "tolvin.ini");
    if (ini.count() < 1) throw vb::ProgramError("INI file not found: " + ini.file_path());

    IpSettings settings = read_settings(ini);
    lngFileInterval = settings.lngFileInterval;
    lngDisconnectInterval = settings.lngDisconnectInterval;
    strLineEnd = settings.strLineEnd;
    intMaxCount = settings.intMaxCount;
    wsckServer[0].local_port = settings.local_port;
    wsckUDP.local_port = settings.local_port;
    wsckUDP.receive_buffer_request = settings.udp_buffer_kb * 1024;

    const ini::IniSection* section = nullptr;
    try {
      section = &ini.section("tolvin");
    } catch (const ini::SectionNotFound&) {
      throw vb::ProgramError("Can't find tolvin section in config file: " + ini.file_path());
    }
    SiteTable table = build_site_table(*section, [this](std::int16_t site, const std::string& value) {
      wsckServer.create(site).tag = value;
    });
    dicSites = std::move(table.dicSites);
    intMaxSite = table.intMaxSite;
    std::string figures_warning = figures_.configure(ini, "tolvin");
    for (const auto& [address, site] : dicSites) figures_.add_source(number_of(site), site, address);

    LogEvent(kEventSuccess, 110,
             {"Service attempted to start with the following settings:Version:" +
                  std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
                  std::to_string(kVersionRevision),
              "INI File: " + ini.file_path()});

    if (!fs_.is_directory(strDataPath)) fs_.create_directory(strDataPath);
    finisher_.prepare(strDataPath, dicSites.size());  // ready before the start's sweep ends
    RenameFiles();
    finisher_.wait_idle();  // an earlier run's files are finished before new data arrive
    wsckServer[0].listen();
    wsckUDP.bind();
    ReportUdpBuffer(settings.udp_buffer_kb);
    tmrCreateOutputFile.set_enabled(lngFileInterval > 0);
    tmrDisconnect.set_enabled(lngDisconnectInterval > 0);
    if (!figures_warning.empty()) LogEvent(kEventWarning, 110, {figures_warning});
    figures_.start(sole_instance());
    success = true;
    update_status();
  } catch (const std::exception& e) {
    ErrorHandler(e.what(), "oSVC_Start");
  }
}

int frmIPService::CheckSettings(std::ostream& out) { return check_settings(program_dir(), out); }

// A buffer smaller than asked (no privilege to pass net.core.rmem_max) loses bursts: say so.
void frmIPService::ReportUdpBuffer(std::int32_t asked_kb) {
  udp_buffer_kb_ = wsckUDP.receive_buffer() / 1024;
  if (udp_buffer_kb_ >= asked_kb) return;
  LogEvent(kEventWarning, 108,
           {"UDP receive buffer: " + std::to_string(udp_buffer_kb_) + " KiB of the " + std::to_string(asked_kb) +
                " KiB asked by udp_buffer_kb.",
            "Raise net.core.rmem_max, or run the service as root."});
}

// ---- unload ----

void frmIPService::Unload(bool finish_files) {
  tmrCreateOutputFile.set_enabled(false);
  tmrDisconnect.set_enabled(false);
  tmrListen.set_enabled(false);
  tmrEventSummary.set_enabled(false);
  DisconnectAll();
  // A run that is not the sole instance must leave the running instance's files alone.
  if (finish_files) {
    tmrRetryWrite.set_enabled(false);
    for (const auto& [site, bytes] : kept_) WriteKept(site, bytes, /*last_try=*/true);
    kept_.clear();
    CloseAllFiles();
    RenameFiles();
    throttle_.flush();
    finisher_.wait_idle();  // the process ends only when every file is a .dat
  }
  figures_.stop();
}

// ---- files ----

bool frmIPService::CreateOutputFile(std::int32_t site) {
  try {
    figures_.on_file_opened(site, site_files_->create(site));
    return true;
  } catch (const std::exception& e) {
    // The name differs at every try: a site whose file cannot be made is one kind of event.
    if (admitted("CreateOutputFile " + std::to_string(site), [&] {
          return frame::EventThrottle::Event{kEventError, 109, {e.what(), "Procedure: CreateOutputFile"}};
        })) {
      ErrorHandler(e.what(), "CreateOutputFile");
    }
    return false;
  }
}

// The files go to the finisher, which syncs and renames them off the loop: a rotation of
// hundreds of files must not stop reception for the sum of their fsyncs.
void frmIPService::CloseAllFiles() {
  for (int site = 0; site <= intMaxSite && site <= kMaxSiteIndex; ++site) {
    try {
      if (site_files_->is_open(site)) site_files_->hand_over(site, rename_error());
      figures_.on_file_closed(site);
    } catch (const std::exception& e) {
      ErrorHandler(e.what(), "CloseAllFiles");
    }
  }
}

// The sweep runs on the finisher after the files handed over before it, and leaves alone the
// files open in the loop.
void frmIPService::RenameFiles() {
  try {
    finisher_.sweep(strDataPath, "ip", rename_error());
  } catch (const std::exception& e) {
    ErrorHandler(e.what(), "RenameFiles");
  }
}

files::Finisher::OnError frmIPService::rename_error() {
  return [this](const std::string& description) { ErrorHandler(description, "RenameFiles"); };
}

void frmIPService::tmrCreateOutputFile_Timer() {
  try {
    if (lngFileTicks.tick(lngFileInterval)) {
      CloseAllFiles();
      RenameFiles();
      last_rotation_ = platform::iso_local_time(std::time(nullptr)).substr(11);
      update_status();
    }
  } catch (const std::exception& e) {
    ErrorHandler(e.what(), "CreateOutputFile (Timer)");
  }
}

void frmIPService::WriteSiteData(std::string data, std::int32_t site, net::TcpSocket* sender) {
  try {
    clean_block(data);
    if (intMaxCount > 0) {
      ++lngBlockCount;
      if (lngBlockCount >= intMaxCount) {
        lngBlockCount = 0;
        CloseAllFiles();
        RenameFiles();
      }
    }
    if (sender) {
      WriteTcpBlock(std::move(data), site, *sender);
      return;
    }
    OpenSiteFile(site);
    site_files_->hold(site, data, strLineEnd);
    ++blocks_written_;
    figures_.on_data(site, data.size() + strLineEnd.size(), figures::records_in(data, strLineEnd));
  } catch (const std::exception& e) {
    figures_.on_write_failed(site);
    ErrorHandlerFrom("", e.what(), "DataArrival");
  }
}

void frmIPService::OpenSiteFile(std::int32_t site) {
  if (!site_files_->is_open(site) && !CreateOutputFile(site)) {
    throw vb::ProgramError("Failed to create temporary output file for site: " + std::to_string(site));
  }
}

// A TCP sender can be held back: a block that meets a full disk is kept and its connection is
// not read until the block is written, so the system's window stops the sender instead of the
// records being lost.
void frmIPService::WriteTcpBlock(std::string data, std::int32_t site, net::TcpSocket& sender) {
  const auto records = figures::records_in(data, strLineEnd);
  data.append(strLineEnd);
  if (auto kept = kept_.find(site); kept != kept_.end()) {
    kept->second.append(data);  // only a replaced connection's last bytes come here
    sender.pause_reading();
    return;
  }
  OpenSiteFile(site);
  try {
    site_files_->write(site, data);
    ++blocks_written_;
    figures_.on_data(site, data.size(), records);
  } catch (const platform::FileError& e) {
    if (!e.disk_full()) throw;
    ErrorHandler(e.what(), "DataArrival");  // the first failure; the retries stay quiet
    kept_.emplace(site, std::move(data));
    sender.pause_reading();
    tmrRetryWrite.set_enabled(true);
  }
}

void frmIPService::tmrRetryWrite_Timer() {
  for (auto kept = kept_.begin(); kept != kept_.end();) {
    if (!WriteKept(kept->first, kept->second)) {
      ++kept;
      continue;
    }
    if (wsckServer.exists(kept->first)) wsckServer[kept->first].resume_reading();
    kept = kept_.erase(kept);
  }
  if (kept_.empty()) tmrRetryWrite.set_enabled(false);
}

bool frmIPService::WriteKept(std::int32_t site, const std::string& bytes, bool last_try) {
  try {
    OpenSiteFile(site);  // a rotation may have closed the file meanwhile
    site_files_->write(site, bytes);
    ++blocks_written_;
    figures_.on_data(site, bytes.size(), figures::count_line_feeds(bytes));
    LogEvent(kEventInformation, 110,
             {"Writing resumed for site " + std::to_string(site) + " after a full disk."});
  } catch (const platform::FileError& e) {
    if (e.disk_full() && !last_try) return false;
    figures_.on_write_failed(site);
    ErrorHandler(e.what(), "DataArrival");
  } catch (const std::exception& e) {
    figures_.on_write_failed(site);
    ErrorHandler(e.what(), "DataArrival");
  }
  return true;
}

// ---- sockets ----

void frmIPService::wsckServer_ConnectionRequest(int index, int requestID) {
  std::string address;
  try {
    auto& listener = wsckServer[index];
    listener_failing_ = false;
    address = listener.remote_host_ip();
    std::string peer = address + ":" + std::to_string(listener.remote_port);
    LogEventFrom(address, "request", kEventInformation, 110, {"Connection Request from :" + peer});
    auto site = dicSites.find(address);
    if (site == dicSites.end()) {
      LogEventFrom(address, "refused", kEventWarning, 110, {"Connection request refused: " + peer});
      return;  // the socket layer closes a request nobody accepted
    }
    auto& element = wsckServer[number_of(site->second)];
    DrainConnection(element);
    element.close();
    element.local_port = 0;
    element.accept(requestID);
    figures_.on_connected(number_of(site->second), true);
    if (kept_.count(number_of(element.tag))) element.pause_reading();
    update_status();
  } catch (const std::exception& e) {
    ErrorHandlerFrom(address, e.what(), "Connection Request");
    LogEventFrom(address, "misconfigured", kEventWarning, 108,
                 {"This may happen cause of misconfiguration.",
                  "Service waits for a UDP connection, but a TCP connection request comes from your PBX.",
                  "Check TCP/UDP settings in tolvin.ini file."});
  }
}

void frmIPService::wsckServer_DataArrival(int index) {
  try {
    auto& element = wsckServer[index];
    WriteSiteData(element.get_data(), number_of(element.tag), &element);
  } catch (const std::exception& e) {
    ErrorHandler(e.what(), "DataArrival");
  }
}

void frmIPService::wsckUDP_DataArrival() {
  try {
    const std::string& address = wsckUDP.remote_host_ip();
    auto site = dicSites.find(address);
    if (site != dicSites.end()) {
      WriteSiteData(wsckUDP.get_data(), number_of(site->second));
    } else {
      ReportUnknownSender(address);  // the datagram is dropped
    }
  } catch (const std::exception& e) {
    ErrorHandler(e.what(), "DataArrival");
  }
  // The datagrams taken from the system together are written before waiting for more.
  if (!wsckUDP.more_delivered()) site_files_->write_held();
}

void frmIPService::wsckServer_Close(int index) {
  try {
    auto& element = wsckServer[index];
    std::int16_t site = vb::CInt(vb::Val(element.tag));
    if (site_files_->is_open(site)) site_files_->close(site);
    figures_.on_file_closed(site);
    figures_.on_connected(site, false);
    LogEventFrom(element.remote_host_ip(), "closed", kEventInformation, 110,
                 {element.remote_host_ip() + ":" + std::to_string(element.remote_port) +
                  " connection closed."});
    element.close();
    update_status();
  } catch (const std::exception& e) {
    ErrorHandler(e.what(), "Socket Close");
  }
}

void frmIPService::wsckServer_Connect(int index) {
  auto& element = wsckServer[index];
  LogEvent(kEventSuccess, 110,
           {"Successfully connected to " + element.remote_host_ip() + ":" +
            std::to_string(element.remote_port)});
}

void frmIPService::wsckServer_Error(int index, const std::string& description) {
  auto& element = wsckServer[index];
  // A listener that fails again after listening anew (the same cause, not yet gone) is reported
  // once per series, not at every retry.
  bool repeated = index == 0 && listener_failing_;
  if (!repeated) {
    LogEvent(kEventWarning, 108,
             {description, "Host: " + element.remote_host, "Port: " + std::to_string(element.remote_port)});
    set_info_label(description);
  }
  element.close();
  if (index != 0) figures_.on_connected(number_of(element.tag), false);
  // A failed listener must not leave the service deaf until the next forced disconnect.
  if (index == 0) {
    listener_failing_ = true;
    tmrListen.set_enabled(true);
  }
  update_status();
}

void frmIPService::wsckUDP_Error(const std::string& description) {
  LogEvent(kEventWarning, 108,
           {description, "Host: " + wsckUDP.remote_host, "Port: " + std::to_string(wsckUDP.remote_port)});
  set_info_label(description);
}

// Closing a connection with unread bytes would throw them away: they are written first, each
// read a block, as their data arrivals would have written them.
void frmIPService::DrainConnection(net::TcpSocket& element) {
  if (element.state() != net::SocketState::kConnected) return;
  std::int32_t site = number_of(element.tag);
  element.drain([&](std::string block) { WriteSiteData(std::move(block), site, &element); });
}

// ---- forced disconnects ----

void frmIPService::tmrDisconnect_Timer() {
  try {
    if (lngDisconnectTicks.tick(lngDisconnectInterval)) DisconnectAll(true);
  } catch (const std::exception& e) {
    ErrorHandler(e.what(), "Disconnect (Timer)");
  }
}

void frmIPService::DisconnectAll(bool listen_again) {
  for (int index : wsckServer.indexes()) {
    try {
      auto& element = wsckServer[index];
      if (index != 0) DrainConnection(element);
      element.close();
      if (index != 0) figures_.on_connected(number_of(element.tag), false);
      // The listener comes back before any sender sees its connection closed, so a sender that
      // reconnects at once is not refused.
      if (index == 0 && listen_again) Listen();
    } catch (const std::exception& e) {
      ErrorHandler(e.what(), index == 0 && listen_again ? "Disconnect (Timer)" : "DisconnectAll");
    }
  }
  update_status();
}

// Listens again; on failure reports once and retries every second until it succeeds.
void frmIPService::Listen() {
  try {
    wsckServer[0].listen();
    tmrListen.set_enabled(false);
  } catch (const std::exception&) {
    tmrListen.set_enabled(true);
    throw;
  }
}

void frmIPService::tmrListen_Timer() {
  try {
    wsckServer[0].listen();
    tmrListen.set_enabled(false);
  } catch (const std::exception&) {
    // the first failure of the series was reported; retry quietly
  }
}

// ---- events ----

// Once per datagram of a flood: the kind is the bare address, so nothing is built for the
// datagrams that are only counted.
void frmIPService::ReportUnknownSender(const std::string& address) {
  auto event = [&] {
    return frame::EventThrottle::Event{kEventError, 109, {"Unknown IP: " + address, "Procedure: DataArrival"}};
  };
  if (admitted(address, event)) ErrorHandler("Unknown IP: " + address, "DataArrival");
}

bool frmIPService::admitted(const std::string& kind, const std::function<frame::EventThrottle::Event()>& event) {
  tmrEventSummary.set_enabled(true);
  return throttle_.admit(kind, frame::EventThrottle::Clock::now(), event);
}

void frmIPService::LogEventFrom(const std::string& address, const char* kind, int evtType, std::int32_t evtID,
                                const std::vector<std::string>& Messages) {
  if (admitted(address + " " + kind, [&] { return frame::EventThrottle::Event{evtType, evtID, Messages}; })) {
    LogEvent(evtType, evtID, Messages);
  }
}

// The same text from the same sender is one kind (a site's lost blocks: the same file).
void frmIPService::ErrorHandlerFrom(const std::string& address, const std::string& strMsg,
                                    const std::string& strProcedure) {
  auto event = [&] {
    return frame::EventThrottle::Event{kEventError, 109, {strMsg, "Procedure: " + strProcedure}};
  };
  if (admitted(address + " " + strProcedure + " " + strMsg, event)) ErrorHandler(strMsg, strProcedure);
}

void frmIPService::update_status() {
  if (mode() != frame::Mode::kService) return;
  int connected = 0;
  for (int index : wsckServer.indexes()) {
    if (index != 0 && wsckServer[index].state() == net::SocketState::kConnected) ++connected;
  }
  set_status(std::to_string(dicSites.size()) + " sites, " + std::to_string(connected) +
             " connected, " + std::to_string(blocks_written_) + " blocks, last rotation " +
             last_rotation_ + ", UDP buffer " + std::to_string(udp_buffer_kb_) + " KiB" +
             (wsckServer[0].state() == net::SocketState::kListening ? "" : ", listener down"));
}

}  // namespace ralvek::tolvin
