#pragma once
// pbxsim box: a simulated KZU collection box, the configuration console's peer.
//
// KzuBox is the box without a network: it keeps the settings record, applies the control packets
// the console sends, numbers and stores call-record packets and forgets the ones acknowledged.
// run_box puts it on a UDP control port and sends its data packets on a timer.
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kzu_settings.h"

namespace ralvek::pbxsim {

class KzuBox {
 public:
  struct Outcome {
    std::string log;               // one line saying what the packet did
    bool answer_settings = false;  // a dump: the settings datagram is due to the sender
    bool address_changed = false;  // DefaultIP was set
  };

  explicit KzuBox(console::KZUSettings initial);

  // Applies one datagram received on the control port. Anything that is not exactly a control or
  // acknowledgement packet changes nothing.
  Outcome Receive(std::string_view datagram);
  // The 34-byte settings datagram as it stands.
  console::Bytes SettingsDatagram() const;
  // Numbers and stores the next call record; false when the store (E2 x UnitCapacity) is full.
  bool StoreRecord();
  // The oldest stored packet, resent on every tick until it is acknowledged; nothing when the store
  // is empty or UDP sending is off.
  std::optional<console::Bytes> NextDataPacket() const;
  // The oldest stored packets, at most `most`, oldest first; nothing when NextDataPacket has none.
  std::vector<console::Bytes> DataPackets(std::size_t most) const;

  const console::KZUSettings& settings() const { return settings_; }
  bool com_on() const { return com_on_; }
  std::size_t stored() const { return stored_.size(); }

 private:
  struct Packet {
    std::uint16_t id;
    console::Bytes bytes;
  };
  void UpdateCounts();
  console::Bytes MakeDataPacket(std::uint16_t id) const;

  console::KZUSettings settings_;
  bool com_on_ = true;
  std::deque<Packet> stored_;
  std::uint16_t last_id_ = 0;
};

// pbxsim box [--address 127.0.0.2] [--port 26482] [--reply-port 2552] [--send-to 127.0.0.1:2552]
//            [--records 0] [--period 10] [--entry-len 40] [--site 1] [--capacity 1000] [--burst 1]
// Every period it stores up to --burst new records and sends up to --burst of the oldest stored
// packets back to back.
// Runs until SIGINT or SIGTERM; prints one line per event on standard output.
int run_box(int argc, char** argv);

}  // namespace ralvek::pbxsim
