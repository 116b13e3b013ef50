#include "box.h"

#include <asio.hpp>
#include <chrono>
#include <cstdio>

#include "control_packet.h"
#include "kzu_config.h"
#include "options.h"

namespace ralvek::pbxsim {
namespace {

using console::Bytes;

unsigned Byte(std::string_view bytes, std::size_t index) { return static_cast<unsigned char>(bytes[index]); }

std::string Dotted(std::string_view four) { return console::BytesToIP(four.substr(0, 4)); }

}  // namespace

KzuBox::KzuBox(console::KZUSettings initial) : settings_(std::move(initial)) { UpdateCounts(); }

KzuBox::Outcome KzuBox::Receive(std::string_view datagram) {
  Outcome outcome;
  const auto packet = console::ParseControlPacket(datagram);
  if (!packet) {
    outcome.log = "ignored " + std::to_string(datagram.size()) + " bytes: " + console::StrToHex(datagram.substr(0, 40));
    return outcome;
  }
  if (packet->kind == console::ControlPacket::Kind::kAck) {
    for (auto it = stored_.begin(); it != stored_.end(); ++it) {
      if (it->id == packet->ack_id) {
        stored_.erase(it);
        UpdateCounts();
        outcome.log = "ack " + std::to_string(packet->ack_id) + " removed";
        return outcome;
      }
    }
    outcome.log = "ack " + std::to_string(packet->ack_id) + " not stored";
    return outcome;
  }
  const std::string& v = packet->value;
  auto needs = [&](std::size_t size) {
    if (v.size() == size) return true;
    outcome.log = "ignored command " + console::StrToHex(std::string(1, static_cast<char>(packet->code))) +
                  " with a value of " + std::to_string(v.size()) + " bytes";
    return false;
  };
  switch (packet->code) {
    case 0x01:
      if (!needs(0)) break;
      outcome.answer_settings = true;
      outcome.log = "dump";
      break;
    case 0x83:
      if (!needs(1)) break;
      settings_.EntryLen = static_cast<std::uint8_t>(Byte(v, 0));
      outcome.log = "entry length " + std::to_string(settings_.EntryLen);
      break;
    case 0x84:
      if (!needs(2)) break;
      settings_.SiteID = static_cast<std::int32_t>(Byte(v, 0) + 256 * Byte(v, 1));
      outcome.log = "site id " + std::to_string(settings_.SiteID);
      break;
    case 0xA1:
      if (!needs(4)) break;
      settings_.DefaultIP = Dotted(v);
      outcome.address_changed = true;
      outcome.log = "ip " + settings_.DefaultIP;
      break;
    case 0xA4:
      if (!needs(4)) break;
      settings_.SecondIP = Dotted(v);
      outcome.log = "ip2 " + settings_.SecondIP;
      break;
    case 0x85:
      if (!needs(1)) break;
      settings_.BaudRate = static_cast<std::uint8_t>(Byte(v, 0));
      outcome.log = "baud code " + std::to_string(settings_.BaudRate);
      break;
    case 0xA2: {
      if (!needs(12)) break;
      std::string mac = console::StrToHex(v.substr(0, 6));
      for (char& c : mac) {
        if (c == ' ') c = '-';
      }
      settings_.SendMAC = mac;
      settings_.SendIP = Dotted(v.substr(6, 4));
      settings_.SendPort = static_cast<std::int32_t>(Byte(v, 10) + 256 * Byte(v, 11));
      outcome.log = "send params " + settings_.SendMAC + " " + settings_.SendIP + " " + std::to_string(settings_.SendPort);
      break;
    }
    case 0x86:
    case 0x87:
      if (!needs(0)) break;
      if (packet->code == 0x86) settings_.Flags |= console::kFlagUdpSend;
      else settings_.Flags &= static_cast<std::uint8_t>(~console::kFlagUdpSend);
      outcome.log = packet->code == 0x86 ? "udp on" : "udp off";
      break;
    case 0x89:
    case 0x8A:
      if (!needs(0)) break;
      com_on_ = packet->code == 0x89;
      outcome.log = com_on_ ? "com on" : "com off";
      break;
    case 0x88:
      if (!needs(1)) break;
      settings_.Period = static_cast<std::uint8_t>(Byte(v, 0));
      outcome.log = "period " + std::to_string(settings_.Period);
      break;
    case 0x8B:
      if (!needs(1)) break;
      settings_.ResetInterval = static_cast<std::uint8_t>(Byte(v, 0));
      outcome.log = "reset interval " + std::to_string(settings_.ResetInterval);
      break;
    case 0xB0:
    case 0xB1:
      if (!needs(1)) break;
      outcome.log = std::string(packet->code == 0xB0 ? "B0 " : "B1 ") + std::to_string(Byte(v, 0));
      break;
    default:
      outcome.log = "unknown command " + console::StrToHex(std::string(1, static_cast<char>(packet->code)));
  }
  return outcome;
}

Bytes KzuBox::SettingsDatagram() const { return console::EncodeSettingsDatagram(settings_); }

bool KzuBox::StoreRecord() {
  const auto capacity = static_cast<std::size_t>(settings_.E2) * static_cast<std::size_t>(settings_.UnitCapacity);
  if (stored_.size() >= capacity) return false;
  last_id_ = static_cast<std::uint16_t>(last_id_ + 1);
  if (last_id_ == 0) last_id_ = 1;  // 0 means "no packet" to the console
  stored_.push_back({last_id_, MakeDataPacket(last_id_)});
  UpdateCounts();
  return true;
}

std::optional<Bytes> KzuBox::NextDataPacket() const {
  if (stored_.empty() || !(settings_.Flags & console::kFlagUdpSend)) return std::nullopt;
  return stored_.front().bytes;
}

std::vector<Bytes> KzuBox::DataPackets(std::size_t most) const {
  std::vector<Bytes> packets;
  if (!NextDataPacket()) return packets;
  for (std::size_t i = 0; i < stored_.size() && i < most; ++i) packets.push_back(stored_[i].bytes);
  return packets;
}

void KzuBox::UpdateCounts() {
  settings_.LastPacketID = last_id_;
  settings_.NumOfPackets = static_cast<std::int32_t>(stored_.size());
  if (stored_.empty()) settings_.Flags &= static_cast<std::uint8_t>(~console::kFlagPending);
  else settings_.Flags |= console::kFlagPending;
}

// Site ID (2 bytes), packet number (2 bytes), entry length, then the record padded to the entry
// length. One pad byte more when the packet would be 34 bytes, the size of a settings answer.
Bytes KzuBox::MakeDataPacket(std::uint16_t id) const {
  Bytes packet;
  packet.push_back(static_cast<char>(settings_.SiteID & 0xFF));
  packet.push_back(static_cast<char>((settings_.SiteID >> 8) & 0xFF));
  packet.push_back(static_cast<char>(id & 0xFF));
  packet.push_back(static_cast<char>(id >> 8));
  packet.push_back(static_cast<char>(settings_.EntryLen));
  char record[64];
  std::snprintf(record, sizeof record, "CALL %05u EXT 201 TO 5550100 DUR 00:01:23\r\n", static_cast<unsigned>(id));
  std::string text = record;
  text.resize(settings_.EntryLen, ' ');
  packet += text;
  if (packet.size() == 34) packet.push_back('\0');
  return packet;
}

namespace {

class BoxServer {
 public:
  BoxServer(asio::io_context& io, KzuBox& box, const Options& options)
      : io_(io), box_(box), socket_(io), timer_(io), signals_(io, SIGINT, SIGTERM),
        port_(static_cast<unsigned short>(options.number("port"))),
        reply_port_(static_cast<unsigned short>(options.number("reply-port"))),
        records_(options.number("records")),
        burst_(std::max<std::uint64_t>(options.number("burst"), 1)) {}

  void Start() {
    Open(asio::ip::make_address_v4(box_.settings().DefaultIP));
    signals_.async_wait([this](const asio::error_code&, int) { io_.stop(); });
    Receive();
    Tick();
  }

 private:
  void Open(const asio::ip::address_v4& address) {
    asio::ip::udp::socket socket(io_);
    socket.open(asio::ip::udp::v4());
    socket.set_option(asio::socket_base::broadcast(true));
    socket.bind({address, port_});
    socket_ = std::move(socket);
    Log("listening on " + address.to_string() + ":" + std::to_string(port_));
  }

  void Receive() {
    socket_.async_receive_from(asio::buffer(buffer_), sender_, [this](const asio::error_code& ec, std::size_t size) {
      if (ec == asio::error::operation_aborted) return;
      if (!ec) OnDatagram(std::string(buffer_.data(), size));
      Receive();
    });
  }

  void OnDatagram(const std::string& datagram) {
    const auto outcome = box_.Receive(datagram);
    Log(outcome.log + " (from " + sender_.address().to_string() + ")");
    if (outcome.answer_settings) {
      asio::error_code ec;
      socket_.send_to(asio::buffer(box_.SettingsDatagram()), {sender_.address(), reply_port_}, 0, ec);
      Log(ec ? "settings answer failed: " + ec.message() : "settings sent to " + sender_.address().to_string() + ":" +
                                                                 std::to_string(reply_port_));
    }
    if (outcome.address_changed) Rebind();
  }

  // The box answers on its new address from now on, when that address can be had here.
  void Rebind() {
    asio::error_code ec;
    const auto address = asio::ip::make_address_v4(box_.settings().DefaultIP, ec);
    if (ec || !address.is_loopback()) {
      Log("keeps its address: " + box_.settings().DefaultIP + " is not a loopback address");
      return;
    }
    try {
      asio::ip::udp::socket old = std::move(socket_);
      old.close();
      Open(address);
      Receive();
    } catch (const std::exception& e) {
      Log(std::string("cannot move to the new address: ") + e.what());
    }
  }

  void Tick() {
    const int tenths = std::max<int>(box_.settings().Period, 1);
    timer_.expires_after(std::chrono::milliseconds(100 * tenths));
    timer_.async_wait([this](const asio::error_code& ec) {
      if (ec == asio::error::operation_aborted) return;
      for (std::uint64_t i = 0; i < burst_ && generated_ < records_ && box_.StoreRecord(); ++i) ++generated_;
      for (const auto& packet : box_.DataPackets(burst_)) SendData(packet);
      Tick();
    });
  }

  void SendData(const console::Bytes& packet) {
    asio::error_code ec;
    const auto address = asio::ip::make_address_v4(box_.settings().SendIP, ec);
    if (ec || !address.is_loopback()) return;  // a simulation sends nowhere but this machine
    socket_.send_to(asio::buffer(packet), {address, static_cast<unsigned short>(box_.settings().SendPort)}, 0, ec);
    const unsigned id = static_cast<unsigned char>(packet[2]) + 256u * static_cast<unsigned char>(packet[3]);
    Log("data packet " + std::to_string(id) + (ec ? " not sent: " + ec.message() : " sent to " + box_.settings().SendIP +
                                                                                      ":" + std::to_string(box_.settings().SendPort)));
  }

  static void Log(const std::string& line) {
    std::printf("box: %s\n", line.c_str());
    std::fflush(stdout);
  }

  asio::io_context& io_;
  KzuBox& box_;
  asio::ip::udp::socket socket_;
  asio::steady_timer timer_;
  asio::signal_set signals_;
  unsigned short port_;
  unsigned short reply_port_;
  std::uint64_t records_;
  std::uint64_t burst_;
  std::uint64_t generated_ = 0;
  asio::ip::udp::endpoint sender_;
  std::array<char, 65536> buffer_{};
};

}  // namespace

int run_box(int argc, char** argv) {
  Options options(argc, argv, {{"address", "127.0.0.2"}, {"port", "26482"}, {"reply-port", "2552"},
                               {"send-to", "127.0.0.1:2552"}, {"records", "0"}, {"period", "10"},
                               {"entry-len", "40"}, {"site", "1"}, {"capacity", "1000"},
                               {"burst", "1"}});
  const auto [send_host, send_port] = host_port(options.text("send-to"));
  console::KZUSettings settings;
  settings.E2 = 1;
  settings.E2Type = 1;
  settings.UnitCapacity = static_cast<std::int32_t>(std::min<std::uint64_t>(options.number("capacity"), 65535));
  settings.EntryLen = static_cast<std::uint8_t>(std::min<std::uint64_t>(options.number("entry-len"), 255));
  settings.Flags = console::kFlagE2 | console::kFlagUdpSend;
  settings.BaudRate = 3;
  settings.SiteID = static_cast<std::int32_t>(std::min<std::uint64_t>(options.number("site"), 65535));
  settings.Period = static_cast<std::uint8_t>(std::min<std::uint64_t>(options.number("period"), 255));
  settings.DefaultIP = options.text("address");
  settings.SendIP = send_host;
  settings.SendPort = send_port;
  KzuBox box(settings);
  asio::io_context io;
  BoxServer server(io, box, options);
  server.Start();
  io.run();
  return 0;
}

}  // namespace ralvek::pbxsim
