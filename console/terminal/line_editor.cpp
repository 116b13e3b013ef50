#include "line_editor.h"

#include <algorithm>

namespace ralvek::console {
namespace {

constexpr char kEsc = 0x1B;
constexpr char Ctrl(char letter) { return static_cast<char>(letter & 0x1F); }

EditorResult Changed() { return {EditorEvent::kChanged}; }
EditorResult Function(int key, bool shift = false) { return {EditorEvent::kFunctionKey, key, shift}; }

// "15;2" -> 15 and 2; missing numbers are 1, as terminals mean them.
void SplitParams(std::string_view params, int& first, int& second) {
  const std::size_t semicolon = params.find(';');
  const std::string_view a = params.substr(0, semicolon);
  const std::string_view b = semicolon == std::string_view::npos ? std::string_view() : params.substr(semicolon + 1);
  auto number = [](std::string_view digits, int fallback) {
    if (digits.empty() || digits.size() > 4) return fallback;
    int value = 0;
    for (const char c : digits) {
      if (c < '0' || c > '9') return fallback;
      value = value * 10 + (c - '0');
    }
    return value;
  };
  first = number(a, 1);
  second = number(b.substr(0, b.find(';')), 1);
}

}  // namespace

void LineEditor::SetText(std::string text) {
  text_ = std::move(text);
  caret_ = text_.size();
}

EditorResult LineEditor::Move(std::size_t caret) {
  caret_ = std::min(caret, text_.size());
  return Changed();
}

EditorResult LineEditor::Erase(std::size_t from, std::size_t to) {
  if (from >= to || to > text_.size()) return {};
  text_.erase(from, to - from);
  caret_ = from;
  return Changed();
}

EditorResult LineEditor::Feed(char byte) {
  const bool lf_after_cr = after_cr_ && byte == '\n';
  after_cr_ = false;
  switch (state_) {
    case State::kText:
      if (lf_after_cr) return {};  // CR LF from a paste is one Enter
      return Key(byte);
    case State::kEscape:
      state_ = byte == '[' ? State::kCsi : byte == 'O' ? State::kSs3 : byte == kEsc ? State::kEscape : State::kText;
      params_.clear();
      return {};  // Alt+key and the like are ignored
    case State::kCsi:
      if (params_.empty() && byte == '[') {
        state_ = State::kLinuxFunction;
        return {};
      }
      if ((byte >= '0' && byte <= '9') || byte == ';') {
        if (params_.size() < 16) params_.push_back(byte);
        return {};
      }
      state_ = State::kText;
      return byte >= 0x40 && byte <= 0x7E ? CsiKey(byte) : EditorResult{};
    case State::kSs3:
      state_ = State::kText;
      return Ss3Key(byte);
    case State::kLinuxFunction:
      state_ = State::kText;
      return byte >= 'A' && byte <= 'E' ? Function(byte - 'A' + 1) : EditorResult{};
  }
  return {};
}

EditorResult LineEditor::EscapeTimeout() {
  const bool lone_escape = state_ == State::kEscape;
  state_ = State::kText;
  if (!lone_escape) return {};
  SetText({});
  return Changed();
}

EditorResult LineEditor::Key(char byte) {
  switch (byte) {
    case kEsc:
      state_ = State::kEscape;
      return {};
    case '\r':
      after_cr_ = true;
      return {EditorEvent::kEnter};
    case '\n':
      return {EditorEvent::kEnter};
    case Ctrl('C'):
      return {EditorEvent::kInterrupt};
    case Ctrl('D'):
      if (text_.empty()) return {EditorEvent::kEndOfInput};
      return Erase(caret_, caret_ + 1);
    case Ctrl('H'):
    case 0x7F:
      return caret_ > 0 ? Erase(caret_ - 1, caret_) : EditorResult{};
    case Ctrl('A'):
      return Move(0);
    case Ctrl('E'):
      return Move(text_.size());
    case Ctrl('B'):
      return caret_ > 0 ? Move(caret_ - 1) : EditorResult{};
    case Ctrl('F'):
      return Move(caret_ + 1);
    case Ctrl('U'):
      return Erase(0, caret_);
    case Ctrl('K'):
      return Erase(caret_, text_.size());
    case Ctrl('W'): {
      std::size_t from = caret_;
      while (from > 0 && text_[from - 1] == ' ') --from;
      while (from > 0 && text_[from - 1] != ' ') --from;
      return Erase(from, caret_);
    }
    case Ctrl('P'):
      return {EditorEvent::kHistoryUp};
    case Ctrl('N'):
      return Move(text_.size());
    default:
      break;
  }
  if (static_cast<unsigned char>(byte) < 0x20 || static_cast<unsigned char>(byte) > 0x7E) return {};
  text_.insert(caret_, 1, byte);
  ++caret_;
  return Changed();
}

EditorResult LineEditor::CsiKey(char final_byte) {
  int number = 1;
  int modifier = 1;
  SplitParams(params_, number, modifier);
  const bool shift = modifier == 2;
  switch (final_byte) {
    case 'A': return {EditorEvent::kHistoryUp};
    case 'B': return Move(text_.size());  // Down, as in the window: the caret to the end
    case 'C': return Move(caret_ + 1);
    case 'D': return caret_ > 0 ? Move(caret_ - 1) : EditorResult{};
    case 'H': return Move(0);
    case 'F': return Move(text_.size());
    case 'P': case 'Q': case 'R': case 'S': return Function(final_byte - 'P' + 1, shift);
    case '~': break;
    default: return {};
  }
  switch (number) {
    case 1: case 7: return Move(0);
    case 4: case 8: return Move(text_.size());
    case 3: return Erase(caret_, caret_ + 1);
    case 11: case 12: case 13: case 14: case 15: return Function(number - 10, shift);
    case 17: case 18: case 19: case 20: case 21: return Function(number - 11, shift);
    case 23: case 24: return Function(number - 12, shift);
    default: return {};
  }
}

EditorResult LineEditor::Ss3Key(char final_byte) {
  switch (final_byte) {
    case 'A': return {EditorEvent::kHistoryUp};
    case 'B': return Move(text_.size());
    case 'C': return Move(caret_ + 1);
    case 'D': return caret_ > 0 ? Move(caret_ - 1) : EditorResult{};
    case 'H': return Move(0);
    case 'F': return Move(text_.size());
    case 'P': case 'Q': case 'R': case 'S': return Function(final_byte - 'P' + 1);
    default: return {};
  }
}

std::string LineEditor::Render(std::string_view prompt, int columns) const {
  // The last column stays free: writing into it makes some terminals wrap early.
  const std::size_t room = static_cast<std::size_t>(std::max(8, columns - static_cast<int>(prompt.size()) - 1));
  const std::size_t first = caret_ > room ? caret_ - room : 0;
  std::string out = "\r";
  out += prompt;
  out += text_.substr(first, room);
  out += "\x1b[K\r";
  const std::size_t column = prompt.size() + caret_ - first;
  if (column > 0) out += "\x1b[" + std::to_string(column) + "C";
  return out;
}

}  // namespace ralvek::console
