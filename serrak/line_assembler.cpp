#include "line_assembler.h"

namespace ralvek::serrak {

void LineAssembler::append(std::string_view chunk) {
  buffer_.reserve(buffer_.size() + chunk.size());
  for (std::size_t i = 0; i < chunk.size(); ++i) {
    buffer_ += chunk[i];
    if (chunk[i] == '\r' && i + 1 < chunk.size() && chunk[i + 1] == '\n') ++i;
  }
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
