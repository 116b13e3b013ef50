#pragma once
// A console UDP socket on QUdpSocket. Datagrams are delivered from the Qt event loop to the
// receiver given at construction, whole, with the sender as a dotted IPv4 address.
#include <QObject>
#include <QUdpSocket>
#include <functional>
#include <memory>
#include <string>

#include "console_ports.h"

namespace ralvek::console {

class QtUdpEndpoint final : public QObject, public UdpEndpoint {
 public:
  using Receiver = std::function<void(const Bytes& datagram, const std::string& sender)>;
  explicit QtUdpEndpoint(Receiver receiver = {});
  ~QtUdpEndpoint() override;

  void Bind(int local_port) override;
  void Close() override;
  int State() const override;
  int LocalPort() const override { return local_port_; }
  std::string LocalIP() const override;
  std::string LocalHostName() const override;
  std::string RemoteHost() const override { return remote_host_; }
  void SetRemoteHost(const std::string& host) override { remote_host_ = host; }
  int RemotePort() const override { return remote_port_; }
  void SetRemotePort(int port) override { remote_port_ = port; }
  void SendData(const Bytes& bytes) override;

  void SetReceiver(Receiver receiver) { receiver_ = std::move(receiver); }
  // How many Bind calls have failed so far.
  int BindFailures() const { return bind_failures_; }

 private:
  void OnReadyRead();

  Receiver receiver_;
  std::unique_ptr<QUdpSocket> socket_;
  std::string remote_host_;
  int remote_port_ = 0;
  int local_port_ = 0;
  int bind_failures_ = 0;
};

}  // namespace ralvek::console
