#include "qt_udp_endpoint.h"

#include <QHostInfo>
#include <QNetworkDatagram>
#include <QNetworkInterface>

#include "vb_text.h"

namespace ralvek::console {
namespace {

std::string DottedSender(const QHostAddress& address) {
  bool is_v4 = false;
  const quint32 v4 = address.toIPv4Address(&is_v4);
  return is_v4 ? QHostAddress(v4).toString().toStdString() : address.toString().toStdString();
}

QHostAddress Resolve(const std::string& host) {
  QHostAddress address(QString::fromStdString(host));
  if (!address.isNull()) return address;
  const QHostInfo info = QHostInfo::fromName(QString::fromStdString(host));
  for (const auto& candidate : info.addresses()) {
    if (candidate.protocol() == QAbstractSocket::IPv4Protocol) return candidate;
  }
  throw RunTimeError("Host not found: " + host);
}

}  // namespace

QtUdpEndpoint::QtUdpEndpoint(Receiver receiver)
    : receiver_(std::move(receiver)), socket_(std::make_unique<QUdpSocket>()) {
  connect(socket_.get(), &QUdpSocket::readyRead, this, &QtUdpEndpoint::OnReadyRead);
}

QtUdpEndpoint::~QtUdpEndpoint() = default;

void QtUdpEndpoint::Bind(int local_port) {
  ++bind_failures_;  // taken back below once bound
  if (local_port < 0 || local_port > 65535) throw RunTimeError("Invalid argument");
  if (State() != 0) throw RunTimeError("Invalid operation at current state");
  // Without DontShareAddress a second console could bind the same port and steal datagrams.
  if (!socket_->bind(QHostAddress::AnyIPv4, static_cast<quint16>(local_port), QAbstractSocket::DontShareAddress)) {
    const std::string reason = socket_->errorString().toStdString();
    socket_->close();
    throw RunTimeError("Port " + std::to_string(local_port) + ": " + reason);
  }
  local_port_ = socket_->localPort();
  --bind_failures_;
}

void QtUdpEndpoint::Close() { socket_->close(); }

int QtUdpEndpoint::State() const { return socket_->state() == QAbstractSocket::BoundState ? 1 : 0; }

std::string QtUdpEndpoint::LocalIP() const {
  for (const auto& address : QNetworkInterface::allAddresses()) {
    if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback()) {
      return address.toString().toStdString();
    }
  }
  return "127.0.0.1";
}

std::string QtUdpEndpoint::LocalHostName() const { return QHostInfo::localHostName().toStdString(); }

void QtUdpEndpoint::SendData(const Bytes& bytes) {
  const QHostAddress address = Resolve(remote_host_);
  const qint64 sent = socket_->writeDatagram(bytes.data(), static_cast<qint64>(bytes.size()), address,
                                             static_cast<quint16>(remote_port_));
  if (sent < 0) throw RunTimeError(socket_->errorString().toStdString());
}

void QtUdpEndpoint::OnReadyRead() {
  while (socket_->hasPendingDatagrams()) {
    const QNetworkDatagram datagram = socket_->receiveDatagram();
    if (!datagram.isValid()) break;
    const QByteArray data = datagram.data();
    if (receiver_) receiver_(Bytes(data.constData(), static_cast<std::size_t>(data.size())),
                             DottedSender(datagram.senderAddress()));
  }
}

}  // namespace ralvek::console
