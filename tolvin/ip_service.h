#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "figures/board.h"
#include "frame/event_throttle.h"
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
  int CheckSettings(std::ostream& out) override;

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
  void tmrRetryWrite_Timer();

  // Cleans, counts and writes one block. A TCP block names its `sender`, which is paused while
  // the disk is full; a UDP block is held for the batch's one write.
  void WriteSiteData(std::string data, std::int32_t site, net::TcpSocket* sender = nullptr);
  void OpenSiteFile(std::int32_t site);
  void WriteTcpBlock(std::string data, std::int32_t site, net::TcpSocket& sender);
  // Writes the blocks kept for a full disk; false while the disk is still full (on the
  // `last_try`, at unload, they are reported lost instead).
  bool WriteKept(std::int32_t site, const std::string& bytes, bool last_try = false);
  void DrainConnection(net::TcpSocket& element);
  bool CreateOutputFile(std::int32_t site);
  void CloseAllFiles();
  void RenameFiles();
  // Reports a failure of finishing a file, found by the finisher, as RenameFiles' own.
  files::Finisher::OnError rename_error();
  // Closes the listener and every site socket; with `listen_again` the listener listens anew.
  void DisconnectAll(bool listen_again = false);
  void Listen();
  void update_status();
  void ReportUdpBuffer(std::int32_t asked_kb);
  // Events a sender can repeat at will (every datagram, every connection) go to the log a few
  // times a second per sender and kind at most; a summary counts the rest.
  void LogEventFrom(const std::string& address, const char* kind, int evtType, std::int32_t evtID,
                    const std::vector<std::string>& Messages);
  void ErrorHandlerFrom(const std::string& address, const std::string& strMsg, const std::string& strProcedure);
  void ReportUnknownSender(const std::string& address);
  bool admitted(const std::string& kind, const std::function<frame::EventThrottle::Event()>& event);

  std::filesystem::path strDataPath;
  platform::FileSystem& fs_;
  files::Finisher finisher_;  // before site_files_, which uses it
  std::unique_ptr<SiteFiles> site_files_;
  net::TcpSocketArray wsckServer;
  net::UdpSocket wsckUDP;
  frame::TickTimer tmrCreateOutputFile;
  frame::TickTimer tmrDisconnect;
  frame::TickTimer tmrListen;  // retries a failed listener once a second
  frame::TickTimer tmrRetryWrite;  // retries the kept blocks once a second while the disk is full
  frame::EventThrottle throttle_;
  frame::TickTimer tmrEventSummary;  // writes the summaries of floods that have ended

  std::map<std::string, std::string> dicSites;
  std::int16_t intMaxSite = 0;
  std::int32_t lngFileInterval = 0;
  std::int32_t lngDisconnectInterval = 0;
  std::string strLineEnd;
  std::int16_t intMaxCount = 0;
  frame::TickCounter lngFileTicks;
  frame::TickCounter lngDisconnectTicks;
  std::int32_t lngBlockCount = 0;
  // TCP blocks (cleaned, line end added) that met a full disk, per site, in arrival order. The
  // site's connection is not read meanwhile, so this is one block, or a replaced connection's
  // last received bytes with it.
  std::map<std::int32_t, std::string> kept_;
  bool listener_failing_ = false;
  std::uint64_t blocks_written_ = 0;
  std::string last_rotation_ = "none";
  figures::Board figures_;
  int udp_buffer_kb_ = 0;  // what the system gave
};

}  // namespace ralvek::tolvin
