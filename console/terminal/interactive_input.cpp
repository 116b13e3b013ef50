#include "interactive_input.h"

#include <array>

namespace ralvek::console {
namespace {

void Put(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

// Terminals send an Esc key's sequence in one go; a byte that has not come after this long
// means the Esc key itself.
constexpr int kEscapeWaitMs = 50;

}  // namespace

InteractiveInput::InteractiveInput(ConsoleCore& core, Handlers handlers)
    : core_(core),
      handlers_(std::move(handlers)),
      raw_(platform::kStdinFd),
      notifier_(platform::kStdinFd, QSocketNotifier::Read) {
  notifier_.setEnabled(false);
  connect(&notifier_, &QSocketNotifier::activated, this, &InteractiveInput::OnReadable);
  escape_timer_.setSingleShot(true);
  escape_timer_.setInterval(kEscapeWaitMs);
  connect(&escape_timer_, &QTimer::timeout, this, [this] {
    if (!running_line_ && !stopped_) Handle(editor_.EscapeTimeout());
  });
}

InteractiveInput::~InteractiveInput() { HidePrompt(); }

void InteractiveInput::Start() {
  ShowPrompt();
  notifier_.setEnabled(true);
}

void InteractiveInput::Stop() {
  stopped_ = true;
  notifier_.setEnabled(false);
  escape_timer_.stop();
  HidePrompt();
}

void InteractiveInput::Print(std::FILE* stream, std::string_view text) {
  const bool redraw = prompt_shown_;
  HidePrompt();
  Put(stream, text);
  if (!text.empty() && text.back() != '\n') Put(stream, "\n");
  if (redraw) ShowPrompt();
}

void InteractiveInput::OnReadable() {
  std::array<char, 256> buffer;
  const long got = platform::ReadAvailable(platform::kStdinFd, buffer.data(), buffer.size());
  if (got < 0) return;
  if (got == 0) {  // the terminal has gone (hang-up)
    Stop();
    handlers_.end_of_input();
    return;
  }
  for (long i = 0; i < got && !stopped_; ++i) Handle(editor_.Feed(buffer[static_cast<std::size_t>(i)]));
  if (editor_.EscapePending() && !stopped_) escape_timer_.start();
}

void InteractiveInput::Handle(const EditorResult& result) {
  switch (result.event) {
    case EditorEvent::kNone:
      return;
    case EditorEvent::kChanged:
      break;
    case EditorEvent::kEnter:
      Enter();
      return;
    case EditorEvent::kEndOfInput:
      Stop();
      Put(stdout, "\n");
      handlers_.end_of_input();
      return;
    case EditorEvent::kInterrupt:
      Stop();
      Put(stdout, "^C\n");
      handlers_.interrupt();
      return;
    case EditorEvent::kHistoryUp:
      editor_.SetText(core_.HistoryUp());
      break;
    case EditorEvent::kFunctionKey: {
      const auto text = core_.FunctionKeyTemplate(static_cast<FunctionKey>(result.function_key), result.shift);
      if (!text) return;
      editor_.SetText(*text);
      break;
    }
  }
  ShowPrompt();
}

// The typed line stays on the screen above what the command prints; keys typed meanwhile wait in
// the terminal until the command is done.
void InteractiveInput::Enter() {
  const std::string line = editor_.text();
  HidePrompt();
  std::string echo(kPrompt);
  echo += line;
  echo += '\n';
  Put(stdout, echo);
  editor_.SetText({});
  notifier_.setEnabled(false);
  running_line_ = true;
  const std::string kept = handlers_.run_line(line);
  running_line_ = false;
  if (stopped_) return;
  editor_.SetText(kept);
  notifier_.setEnabled(true);
  ShowPrompt();
}

void InteractiveInput::ShowPrompt() {
  if (stopped_ || running_line_) return;
  Put(stdout, editor_.Render(kPrompt, platform::TerminalColumns(platform::kStdoutFd)));
  prompt_shown_ = true;
}

void InteractiveInput::HidePrompt() {
  if (!prompt_shown_) return;
  Put(stdout, "\r\x1b[K");
  prompt_shown_ = false;
}

}  // namespace ralvek::console
