#pragma once
// The line being typed at an interactive terminal, fed one byte at a time as the keys arrive.
// Knows the keys of common terminals (xterm, VT220, the Linux console) and draws the line with
// ANSI sequences; what the keys mean for the console (history, templates, Enter) is the front
// end's. No I/O here.
#include <cstddef>
#include <string>
#include <string_view>

namespace ralvek::console {

enum class EditorEvent {
  kNone,         // nothing to do (an unknown key, a sequence not yet complete)
  kChanged,      // text or caret moved: draw the line again
  kEnter,        // the line is complete: take text()
  kEndOfInput,   // Ctrl+D on an empty line
  kInterrupt,    // Ctrl+C
  kHistoryUp,    // Up, Ctrl+P
  kFunctionKey,  // F1..F12, see function_key and shift
};

struct EditorResult {
  EditorEvent event = EditorEvent::kNone;
  int function_key = 0;  // 1..12 with kFunctionKey
  bool shift = false;
};

class LineEditor {
 public:
  EditorResult Feed(char byte);
  // No byte followed an Esc in time: a lone Esc empties the line, as in the window.
  EditorResult EscapeTimeout();
  // An Esc or an unfinished key sequence waits for its next byte.
  bool EscapePending() const { return state_ != State::kText; }

  const std::string& text() const { return text_; }
  std::size_t caret() const { return caret_; }
  // Replaces the line; the caret goes to its end.
  void SetText(std::string text);

  // Draws prompt and line over the current terminal row and puts the cursor at the caret; a line
  // wider than the terminal scrolls sideways so that the caret stays in view.
  std::string Render(std::string_view prompt, int columns) const;

 private:
  enum class State { kText, kEscape, kCsi, kSs3, kLinuxFunction };
  EditorResult Key(char byte);
  EditorResult CsiKey(char final_byte);
  EditorResult Ss3Key(char final_byte);
  EditorResult Move(std::size_t caret);
  EditorResult Erase(std::size_t from, std::size_t to);

  std::string text_;
  std::size_t caret_ = 0;
  State state_ = State::kText;
  std::string params_;
  bool after_cr_ = false;
};

}  // namespace ralvek::console
