#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ralvek::serrak {

// Turns the characters of a serial line into whole lines for the output file. A line ends at
// CR; a CR LF pair inside one received chunk counts as one CR; every CR is written as CR LF.
// A lone LF is no line end and stays part of the line; a CR LF pair split between two chunks
// is still one line end. Characters after the last CR wait.
//
// Usage per received chunk: append(), then complete_lines(); when that text was written,
// commit(). Without commit() (the write failed) the lines stay and go out with the next ones.
class LineAssembler {
 public:
  // Pending characters without any CR beyond this many are handed out as they are (no line
  // end added), so a line that never ends cannot exhaust memory; the bytes in the file stay
  // the same as if the line had been held whole.
  static constexpr std::size_t kMaxPending = 1 << 20;

  explicit LineAssembler(std::size_t max_pending = kMaxPending) : max_pending_(max_pending) {}

  void append(std::string_view chunk);
  // The text to write now: the complete lines with their CR LF ends, or nothing.
  std::string complete_lines();
  // Drops what the last complete_lines() returned.
  void commit();
  // Characters not yet handed out (the strBuffer of the service).
  const std::string& pending() const { return buffer_; }
  // What pending() will hold once the last complete_lines() is committed.
  std::string_view rest() const { return std::string_view(buffer_).substr(cut_); }
  // Puts back what pending() held in an earlier run, before anything else arrives.
  void restore(std::string_view pending) {
    buffer_.assign(pending);
    cut_ = 0;
  }

 private:
  std::size_t max_pending_;
  std::string buffer_;
  std::size_t cut_ = 0;  // how much of buffer_ the last complete_lines() covered
  bool after_cr_ = false;  // the last character received was a CR
};

}  // namespace ralvek::serrak
