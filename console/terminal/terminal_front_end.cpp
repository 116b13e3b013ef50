#include "terminal_front_end.h"

#include <QCoreApplication>
#include <cstdio>

namespace ralvek::console {
namespace {

void Write(std::FILE* stream, std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out.push_back(text[i]);
  }
  std::fwrite(out.data(), 1, out.size(), stream);
  std::fflush(stream);
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

}  // namespace

TerminalFrontEnd::TerminalFrontEnd(std::shared_ptr<InputQueue> input) : input_(std::move(input)) {
  poll_.setInterval(10);
  connect(&poll_, &QTimer::timeout, this, &TerminalFrontEnd::TakeInput);
}

void TerminalFrontEnd::Attach(ConsoleCore& core) {
  core_ = &core;
  shown_packet_id_ = core.PacketID();
  changed_.clear();  // the captions set at start are not news
  poll_.start();
}

void TerminalFrontEnd::ConsoleAppended(std::string_view text) { Write(stdout, text); }

void TerminalFrontEnd::ConsoleReplaced(std::string_view) {
  // What was written to the terminal stays there; clearing and trimming concern the window only.
}

void TerminalFrontEnd::ViewChanged(ViewId view) {
  changed_.insert(view);
  if (flush_pending_) return;
  flush_pending_ = true;
  QTimer::singleShot(0, this, &TerminalFrontEnd::PrintChangedViews);
}

void TerminalFrontEnd::ShowErrorBox(std::string_view label, std::string_view description) {
  Write(stderr, "Error\n" + std::string(label) + "\n" + std::string(description) + "\n");
}

void TerminalFrontEnd::PrintChangedViews() {
  flush_pending_ = false;
  if (core_ == nullptr) return;
  std::string out;
  if (changed_.count(ViewId::kTextMsg2) || changed_.count(ViewId::kLabelIncome0)) {
    out += "== " + core_->View(ViewId::kLabelIncome0) + " ==\n" + core_->View(ViewId::kTextMsg2) + "\n";
  }
  if (changed_.count(ViewId::kTextAsc) || changed_.count(ViewId::kLabelIncome1)) {
    out += "== " + core_->View(ViewId::kLabelIncome1) + " ==\n" + Latin1ToUtf8(core_->View(ViewId::kTextAsc)) + "\n";
  }
  if (changed_.count(ViewId::kTextMsg)) {
    out += "== Settings packet ==\n" + core_->View(ViewId::kTextMsg) + "\n";
  }
  changed_.clear();
  // The window offers the packet number on F12; a terminal has no such key, so it is shown.
  if (core_->PacketID() != shown_packet_id_) {
    shown_packet_id_ = core_->PacketID();
    out += "F12- Ack " + std::to_string(shown_packet_id_) + "\n";
  }
  Write(stdout, out);
}

void TerminalFrontEnd::TakeInput() {
  // A command that waits lets events run; the next line must not start inside it.
  if (busy_ || ended_ || core_ == nullptr) return;
  busy_ = true;
  while (!ended_) {
    std::string line;
    bool at_end = false;
    {
      std::lock_guard lock(input_->mutex);
      if (stop_flag_ != nullptr && *stop_flag_ != 0) {
        at_end = true;
      } else if (input_->lines.empty()) {
        at_end = input_->at_end;
        if (!at_end) break;
      } else {
        line = std::move(input_->lines.front());
        input_->lines.pop_front();
      }
    }
    if (at_end) {
      ended_ = true;
      core_->Unload();
      QCoreApplication::exit(0);
      break;
    }
    prompt_ = line;
    prompt_ = core_->PromptEnter(prompt_);
  }
  busy_ = false;
}

}  // namespace ralvek::console
