#pragma once
// Typing at a terminal: the prompt "ralvek> ", line editing, the window's history on Up and its
// templates on the function keys. Output printed while a line is being typed appears above it,
// and the line is drawn again below, untouched.
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <string>

#include "console_core.h"
#include "line_editor.h"
#include "terminal_device.h"
#include "terminal_front_end.h"

namespace ralvek::console {

inline constexpr std::string_view kPrompt = "ralvek> ";

class InteractiveInput final : public QObject, public TerminalScreen {
 public:
  struct Handlers {
    std::function<std::string(const std::string&)> run_line;  // returns the prompt's new text
    std::function<void()> end_of_input;                       // Ctrl+D on an empty line
    std::function<void()> interrupt;                          // Ctrl+C
  };
  // REQUIRES: standard input and output are a terminal; core outlives this object.
  InteractiveInput(ConsoleCore& core, Handlers handlers);
  ~InteractiveInput() override;

  // Shows the prompt and starts taking keys.
  void Start();
  // No key is taken and no prompt drawn any more (the program ends).
  void Stop();

  void Print(std::FILE* stream, std::string_view text) override;

 private:
  void OnReadable();
  void Handle(const EditorResult& result);
  void Enter();
  void ShowPrompt();
  void HidePrompt();

  ConsoleCore& core_;
  Handlers handlers_;
  platform::RawTerminal raw_;
  LineEditor editor_;
  QSocketNotifier notifier_;
  QTimer escape_timer_;
  bool prompt_shown_ = false;
  bool running_line_ = false;
  bool stopped_ = false;
};

}  // namespace ralvek::console
