#pragma once
// What the console core needs from outside: its three UDP sockets, the per-user settings store,
// the process and clock facilities, and a front end that shows what the core writes.
// The core owns none of these; they must outlive it.
#include <string>
#include <string_view>
#include <vector>

#include "kzu_config.h"

namespace ralvek::console {

// One UDP socket with the properties the console reads and sets.
class UdpEndpoint {
 public:
  virtual ~UdpEndpoint() = default;
  // Receives datagrams on local_port (0..65535). Throws RunTimeError with the platform's text.
  virtual void Bind(int local_port) = 0;
  // Stops receiving; closing an idle socket does nothing.
  virtual void Close() = 0;
  // 0 closed, 1 open (bound).
  virtual int State() const = 0;
  virtual int LocalPort() const = 0;
  virtual std::string LocalIP() const = 0;
  virtual std::string LocalHostName() const = 0;
  virtual std::string RemoteHost() const = 0;
  virtual void SetRemoteHost(const std::string& host) = 0;
  virtual int RemotePort() const = 0;
  // REQUIRES: 0 <= port <= 65535 (the core checks before it calls).
  virtual void SetRemotePort(int port) = 0;
  // One datagram to RemoteHost:RemotePort. Throws RunTimeError when it cannot be sent.
  virtual void SendData(const Bytes& bytes) = 0;
};

// The per-user store of the two addresses.
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  virtual std::string GetSetting(const std::string& key, const std::string& default_value) = 0;
  // Throws RunTimeError when the value cannot be written.
  virtual void SaveSetting(const std::string& key, const std::string& value) = 0;
};

class ConsoleSystem {
 public:
  virtual ~ConsoleSystem() = default;
  // Starts argv[0] with the other elements as its arguments (no shell), blocks until it ends and
  // returns its standard output. Throws RunTimeError when it cannot be started.
  virtual std::string Run(const std::vector<std::string>& argv) = 0;
  // Returns after the given seconds, handling pending events (datagrams) meanwhile.
  virtual void Wait(double seconds) = 0;
  // Current local time of day, hours:minutes:seconds.
  virtual std::string TimeText() = 0;
  // Ends the program once the current handler has returned.
  virtual void EndProgram() = 0;
};

enum class ViewId { kTextMsg, kTextMsg2, kTextAsc, kLabelIncome0, kLabelIncome1 };

// The front end. Calls arrive on the core's thread while the core runs a handler.
class ConsoleView {
 public:
  virtual ~ConsoleView() = default;
  // text was appended at the end of the console (CR LF line ends).
  virtual void ConsoleAppended(std::string_view text) = 0;
  // The console was cleared or cut down to its last part; whole_text is what it now holds.
  virtual void ConsoleReplaced(std::string_view whole_text) = 0;
  // One of the traffic views or captions now holds another text.
  virtual void ViewChanged(ViewId view) = 0;
  // One received datagram has been put into the views listed (kTextMsg for a settings packet,
  // kTextMsg2 and kTextAsc for the box's traffic), whether or not their texts changed: a datagram
  // equal to the last one changes nothing the window shows, but a log must show it again.
  virtual void DatagramShown(const std::vector<ViewId>& views) { (void)views; }
  virtual void ShowErrorBox(std::string_view label, std::string_view description) = 0;
};

}  // namespace ralvek::console
