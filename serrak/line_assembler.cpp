#include "line_assembler.h"

namespace ralvek::serrak {

void LineAssembler::append(std::string_view chunk) {
  // The LF of a pair whose CR ended the previous chunk belongs to that line end: taking it as
  // line text would put a stray LF before the next record whenever a read splits the pair.
  if (after_cr_ && !chunk.empty() && chunk.front() == '\n') chunk.remove_prefix(1);
  buffer_.reserve(buffer_.size() + chunk.size());
  for (std::size_t i = 0; i < chunk.size(); ++i) {
    buffer_ += chunk[i];
    if (chunk[i] == '\r' && i + 1 < chunk.size() && chunk[i + 1] == '\n') ++i;
  }
  if (!chunk.empty()) after_cr_ = chunk.back() == '\r';
  cut_ = 0;
}

std::string LineAssembler::complete_lines() {
  std::size_t last_cr = buffer_.rfind('\r');
  if (last_cr == std::string::npos) {
    cut_ = buffer_.size() > max_pending_ ? buffer_.size() : 0;
    return buffer_.substr(0, cut_);
  }
  std::string text;
  text.reserve(last_cr + last_cr / 16 + 2);
  for (std::size_t i = 0; i < last_cr; ++i) {
    text += buffer_[i];
    if (buffer_[i] == '\r') text += '\n';
  }
  text += "\r\n";
  cut_ = last_cr + 1;
  return text;
}

void LineAssembler::commit() {
  buffer_.erase(0, cut_);
  cut_ = 0;
}

}  // namespace ralvek::serrak
