#include "terminal_front_end.h"

#include <algorithm>

namespace ralvek::console {
namespace {

std::string WithoutCr(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out.push_back(text[i]);
  }
  return out;
}

// The views hold one byte per character; a terminal expects UTF-8.
std::string Latin1ToUtf8(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      out.push_back(c);
    } else {
      out.push_back(static_cast<char>(0xC0 | (b >> 6)));
      out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
    }
  }
  return out;
}

void AddSection(std::string& out, std::string_view caption, std::string_view text) {
  out += "== ";
  out += caption;
  out += " ==\n";
  out += text;
  out += '\n';
}

}  // namespace

void PlainScreen::Print(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

std::string TrafficBlock(const ConsoleCore& core, const std::vector<ViewId>& views) {
  auto has = [&](ViewId view) { return std::find(views.begin(), views.end(), view) != views.end(); };
  std::string out = "[traffic]\n";
  if (has(ViewId::kTextMsg)) AddSection(out, "Settings packet", core.View(ViewId::kTextMsg));
  if (has(ViewId::kTextMsg2)) AddSection(out, core.View(ViewId::kLabelIncome0), core.View(ViewId::kTextMsg2));
  if (has(ViewId::kTextAsc)) {
    AddSection(out, core.View(ViewId::kLabelIncome1), Latin1ToUtf8(core.View(ViewId::kTextAsc)));
  }
  out += "[end traffic]\n";
  return WithoutCr(out);
}

void TerminalFrontEnd::Attach(ConsoleCore& core) {
  core_ = &core;
  shown_packet_id_ = core.PacketID();
}

std::string TerminalFrontEnd::RunLine(const std::string& line) {
  if (core_ == nullptr) return line;
  std::string prompt = core_->PromptEnter(line);
  if (!line.empty()) last_failed_ = !prompt.empty();
  if (const std::string hint = HintIfChanged(); !hint.empty()) screen_->Print(stdout, hint);
  return prompt;
}

void TerminalFrontEnd::ConsoleAppended(std::string_view text) { screen_->Print(stdout, WithoutCr(text)); }

void TerminalFrontEnd::ConsoleReplaced(std::string_view) {
  // What was written to the terminal stays there; clearing and trimming concern the window only.
}

void TerminalFrontEnd::ViewChanged(ViewId) {
  // Cleared views and new captions alone are no traffic; blocks come from DatagramShown.
}

void TerminalFrontEnd::DatagramShown(const std::vector<ViewId>& views) {
  if (core_ == nullptr) return;
  screen_->Print(stdout, TrafficBlock(*core_, views) + HintIfChanged());
}

void TerminalFrontEnd::ShowErrorBox(std::string_view label, std::string_view description) {
  std::string line = "[error box] ";
  line += label;
  line += ": ";
  line += description;
  line += '\n';
  screen_->Print(stderr, WithoutCr(line));
}

// The window offers the packet number on F12; the terminal shows the line to type.
std::string TerminalFrontEnd::HintIfChanged() {
  if (core_ == nullptr || core_->PacketID() == shown_packet_id_) return {};
  shown_packet_id_ = core_->PacketID();
  return "[hint] F12: Ack " + std::to_string(shown_packet_id_) + "\n";
}

}  // namespace ralvek::console
