#pragma once
// The console without a display, as a log a person reads or a script parses: console text goes to
// standard output as it is written (CR LF as LF); every datagram shown in the traffic views is
// printed as one block, framed by "[traffic]" and "[end traffic]", with each view under its
// caption ("== caption =="); the packet number that F12 would offer is printed as a "[hint]" line
// when it changes; error boxes go to standard error as "[error box] label: description".
// Everything a command causes is printed before the command returns; traffic as it arrives.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "console_core.h"

namespace ralvek::console {

// Where the front end writes; an interactive terminal keeps the line being typed below it.
class TerminalScreen {
 public:
  virtual ~TerminalScreen() = default;
  // text is whole lines.
  virtual void Print(std::FILE* stream, std::string_view text) = 0;
};

// Straight to the stream, flushed, so that a log keeps the order of events.
class PlainScreen final : public TerminalScreen {
 public:
  void Print(std::FILE* stream, std::string_view text) override;
};

class TerminalFrontEnd final : public ConsoleView {
 public:
  // screen must outlive this object.
  explicit TerminalFrontEnd(TerminalScreen& screen) : screen_(&screen) {}

  // REQUIRES: called once, after the core's start; core must outlive this object.
  void Attach(ConsoleCore& core);
  void SetScreen(TerminalScreen& screen) { screen_ = &screen; }
  // One typed line through the prompt's Enter path; returns what the prompt holds afterwards
  // (the line itself when the interpreter refused it).
  std::string RunLine(const std::string& line);
  // The last command run was refused (its Console result was False); empty lines do not count.
  bool LastCommandFailed() const { return last_failed_; }

  void ConsoleAppended(std::string_view text) override;
  void ConsoleReplaced(std::string_view whole_text) override;
  void ViewChanged(ViewId view) override;
  void DatagramShown(const std::vector<ViewId>& views) override;
  void ShowErrorBox(std::string_view label, std::string_view description) override;

 private:
  std::string HintIfChanged();

  TerminalScreen* screen_;
  ConsoleCore* core_ = nullptr;
  std::int32_t shown_packet_id_ = 0;
  bool last_failed_ = false;
};

// The block of one datagram: the views listed, each under its caption, between the frame lines.
std::string TrafficBlock(const ConsoleCore& core, const std::vector<ViewId>& views);

}  // namespace ralvek::console
