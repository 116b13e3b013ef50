#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <unordered_set>
#include <vector>

#include "figures/board.h"
#include "frame/service.h"
#include "frame/tick_timer.h"
#include "net/sockets.h"
#include "files/finisher.h"
#include "output_files.h"
#include "platform/files.h"
#include "settings.h"

namespace ralvek::quendor {

frame::ServiceProfile quendor_profile();

// The HiPath 4000 collection service: a TCP client of every configured exchange that writes
// what each one sends, unchanged, into that exchange's temporary file, finishes the files into
// ".dat" files every period, and reconnects once a minute to an exchange that is down.
class Hipath4Svc : public frame::Service {
 public:
  // `fs` must outlive the service.
  explicit Hipath4Svc(platform::FileSystem& fs = platform::posix_file_system());

  // The handlers are public so that tests can drive them one at a time, as the loop does.
  void oSVC_Start(bool& success) override;
  void tmrConnectTCP_Timer();
  void tmrFileTimer_Timer();
  void wsClient_Connect(int index);
  void wsClient_Close(int index);
  void wsClient_Error(int index, const std::string& description);
  void DataArrival(int index);
  void tmrRetryWrite_Timer();

  // Events go to the event log; a failure of the log itself is ignored.
  void LogEvent(int evtType, std::int32_t evtID, const std::vector<std::string>& Messages) override;

  // Read-only views for tests and status.
  std::int32_t file_interval() const { return lngFileInterval; }
  const std::vector<int>& exchanges() const { return colClients; }
  net::TcpSocket& client(int exchange) { return wsClient[exchange]; }
  const OutputFiles& files() const { return files_; }
  // Blocks until every file handed to the finisher is finished.
  void wait_for_finished_files() { finisher_.wait_idle(); }
  bool connect_timer_enabled() const { return tmrConnectTCP.enabled(); }

 protected:
  void Unload(bool finish_files) override;
  int CheckSettings(std::ostream& out) override;
  // True when this run may close, sweep and rename data files: only the one running instance
  // may, so that a second run (install, remove, a trial by hand) never finishes the files the
  // service is still writing.
  virtual bool owns_data_files() const { return sole_instance(); }

 private:
  void CreateOutputFile(std::int16_t n);
  // Writes a block kept for a full disk; false while the disk is still full (on the
  // `last_try`, at unload, it is reported lost instead).
  bool WriteKept(std::int16_t n, const std::string& bytes, bool last_try = false);
  void CloseFiles();
  void RenameFiles();
  void update_status();

  platform::FileSystem& fs_;
  std::filesystem::path strDataPath;
  std::int32_t lngFileInterval = 0;
  std::int32_t lngFileTicks = 0;
  std::vector<int> colClients;          // exchange numbers in settings order
  // colClients' keys: host texts in lower case; a set, so ten thousand exchanges start at once
  std::unordered_set<std::string> host_keys_;
  KeepAliveSettings keepalive_;
  bool status_pending_ = false;
  files::Finisher finisher_;  // syncs and renames the closed files off the loop
  OutputFiles files_;         // tsFiles and blnFileOpen
  net::TcpSocketArray wsClient;
  frame::TickTimer tmrConnectTCP;
  frame::TickTimer tmrFileTimer;
  figures::Board figures_;
  // A block that met a full disk, per exchange; its connection is not read until it is written.
  std::map<std::int16_t, std::string> kept_;
  frame::TickTimer tmrRetryWrite;  // once a second while a block is kept
};

}  // namespace ralvek::quendor
