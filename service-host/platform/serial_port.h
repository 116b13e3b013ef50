#pragma once

#include <asio/io_context.hpp>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace ralvek::platform {

// Notification codes of a serial port, as the serial collector knows them.
enum SerialEvent : int {
  kComEvReceive = 2,         // characters received
  kComEvEof = 7,             // end-of-file character received
  kComEventBreak = 1001,     // break signal received
  kComEventFrame = 1004,     // framing error
  kComEventOverrun = 1006,   // hardware overrun: characters lost in the port
  kComEventRxOver = 1008,    // receive buffer overflow: characters lost in the driver
  kComEventRxParity = 1009,  // parity error
  kComEventTxFull = 1010,    // transmit buffer full
  kComEventDCB = 1011,       // the device failed (read error, hang-up, adapter pulled out)
};

// Line settings of a port: baud rate, parity, data bits, stop bits.
struct LineSettings {
  int baud = 9600;
  char parity = 'n';  // n none, e even, o odd, m mark, s space
  int data_bits = 8;  // 5 to 8
  int stop_bits = 1;  // 1 or 2
};

// A text that is not usable as line settings, or settings the device does not take.
class SerialSettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A port that cannot be opened or configured; the message names the device and the cause.
class SerialPortError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses "baud,parity,data bits,stop bits" ("9600,n,8,1"; blanks around fields allowed, parity
// in either case). Throws SerialSettingsError naming the text and the faulty field. Only rates
// the platform can set are accepted.
LineSettings parse_line_settings(const std::string& text);

// Flow control modes.
enum class Handshaking : int { kNone = 0, kXonXoff = 1, kRtsCts = 2, kRtsCtsXonXoff = 3 };

// A serial port whose notifications arrive as calls on the program's event loop, one at a
// time: after every read from the device the port raises kComEvReceive when characters are
// waiting, then one code per line error the driver counted meanwhile, and kComEventDCB when the
// device failed. Settings are applied when the port opens.
//
// REQUIRES: all calls on the loop's thread. A handler may close or reopen the port; delivery of
// the remaining notifications of that read then stops.
class SerialPort {
 public:
  virtual ~SerialPort() = default;

  virtual void set_device(const std::filesystem::path& device) = 0;
  virtual const std::filesystem::path& device() const = 0;
  virtual void set_rts(bool on) = 0;
  virtual void set_dtr(bool on) = 0;
  virtual void set_handshaking(Handshaking mode) = 0;
  // Throws SerialSettingsError for an unusable text; the settings stay as they were.
  virtual void set_settings(const std::string& text) = 0;
  virtual const std::string& settings() const = 0;

  // Opens the device for exclusive use and applies every setting. Throws SerialPortError (device
  // missing, busy, not a terminal) or SerialSettingsError (the device refused the settings).
  virtual void open() = 0;
  // Closing a closed port does nothing.
  virtual void close() = 0;
  virtual bool is_open() const = 0;

  virtual void set_on_comm(std::function<void(int code)> handler) = 0;
  // All characters received and not yet taken, one byte per character; empties the buffer.
  virtual std::string take_input() = 0;
  // Throws away what was received and not yet taken, in the process and in the driver.
  virtual void discard_input() = 0;
  // Characters that must wait before kComEvReceive is raised; only 1 is supported.
  virtual void set_receive_threshold(int characters) = 0;
};

// The termios port of this machine on the given loop.
std::unique_ptr<SerialPort> make_serial_port(asio::io_context& io);

// The device of serial port number `n` (1 is the first port): /dev/ttyS<n-1>.
std::filesystem::path serial_device_for_port(int n);

}  // namespace ralvek::platform
