#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "frame/service.h"
#include "frame/tick_counter.h"
#include "frame/tick_timer.h"
#include "net/sockets.h"
#include "site_files.h"

namespace ralvek::tolvin {

// The IP collection service: receives call records over TCP and UDP on one port and appends
// each block, cleaned, to its site's temporary file.
class frmIPService final : public frame::Service {
 public:
  frmIPService();

 protected:
  void BeforeCommandLine() override;
  void oSVC_Start(bool& success) override;
  void Unload(bool finish_files) override;

 private:
  // Socket events.
  void wsckServer_ConnectionRequest(int index, int requestID);
  void wsckServer_DataArrival(int index);
  void wsckServer_Close(int index);
  void wsckServer_Connect(int index);
  void wsckServer_Error(int index, const std::string& description);
  void wsckUDP_DataArrival();
  void wsckUDP_Error(const std::string& description);
  // Timers.
  void tmrCreateOutputFile_Timer();
  void tmrDisconnect_Timer();
  void tmrListen_Timer();

  void WriteSiteData(std::string data, std::int32_t site);
  bool CreateOutputFile(std::int32_t site);
  void CloseAllFiles();
  void RenameFiles();
  // Reports a failure of finishing a file, found by the finisher, as RenameFiles' own.
  files::Finisher::OnError rename_error();
  // Closes the listener and every site socket; with `listen_again` the listener listens anew.
  void DisconnectAll(bool listen_again = false);
  void Listen();
  void update_status();

  std::filesystem::path strDataPath;
  platform::FileSystem& fs_;
  files::Finisher finisher_;  // before site_files_, which uses it
  std::unique_ptr<SiteFiles> site_files_;
  net::TcpSocketArray wsckServer;
  net::UdpSocket wsckUDP;
  frame::TickTimer tmrCreateOutputFile;
  frame::TickTimer tmrDisconnect;
  frame::TickTimer tmrListen;  // retries a failed listener once a second

  std::map<std::string, std::string> dicSites;
  std::int16_t intMaxSite = 0;
  std::int32_t lngFileInterval = 0;
  std::int32_t lngDisconnectInterval = 0;
  std::string strLineEnd;
  std::int16_t intMaxCount = 0;
  frame::TickCounter lngFileTicks;
  frame::TickCounter lngDisconnectTicks;
  std::int32_t lngBlockCount = 0;
  bool listener_failing_ = false;
  std::uint64_t blocks_written_ = 0;
  std::string last_rotation_ = "none";
};

}  // namespace ralvek::tolvin
