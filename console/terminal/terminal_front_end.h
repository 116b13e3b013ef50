#pragma once
// The console without a display: lines from standard input go through the prompt's Enter path,
// console text goes to standard output as it is appended (CR LF written as LF), each change of a
// traffic view is printed as a block under its caption, and error boxes go to standard error.
// End of input ends the program as "quit" does.
#include <QObject>
#include <QTimer>
#include <csignal>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "console_core.h"

namespace ralvek::console {

// Lines read by the stdin thread, taken by the event loop. Shared so the reader may outlive it.
struct InputQueue {
  std::mutex mutex;
  std::deque<std::string> lines;
  bool at_end = false;
};

class TerminalFrontEnd final : public QObject, public ConsoleView {
 public:
  explicit TerminalFrontEnd(std::shared_ptr<InputQueue> input);

  // REQUIRES: called once, before the event loop runs; core must outlive this object.
  void Attach(ConsoleCore& core);
  // The program was ended by a command; no further line is run.
  void MarkEnded() { ended_ = true; }
  // A flag set by a signal handler (Ctrl+C, SIGTERM): the program then ends as "quit" does.
  void WatchStopFlag(const volatile std::sig_atomic_t* flag) { stop_flag_ = flag; }

  void ConsoleAppended(std::string_view text) override;
  void ConsoleReplaced(std::string_view whole_text) override;
  void ViewChanged(ViewId view) override;
  void ShowErrorBox(std::string_view label, std::string_view description) override;

 private:
  void TakeInput();
  void PrintChangedViews();

  std::shared_ptr<InputQueue> input_;
  ConsoleCore* core_ = nullptr;
  QTimer poll_;
  std::set<ViewId> changed_;
  bool flush_pending_ = false;
  bool busy_ = false;
  bool ended_ = false;
  std::string prompt_;
  std::int32_t shown_packet_id_ = 0;
  const volatile std::sig_atomic_t* stop_flag_ = nullptr;
};

}  // namespace ralvek::console
