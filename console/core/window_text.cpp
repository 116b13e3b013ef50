#include "window_text.h"

#include <algorithm>

#include "kzu_config.h"
#include "vb_text.h"

namespace ralvek::console {

PromptEdit ConsoleSelectionToPrompt(std::string_view selected, std::string_view prompt, std::size_t selection_start,
                                    std::size_t selection_length) {
  std::string taken = TrimSpaces(selected);
  taken = taken.substr(0, taken.find('\r'));
  std::erase(taken, '\t');
  PromptEdit edit;
  if (selection_length > 0 && selection_start + selection_length <= prompt.size()) {
    const std::size_t end = selection_start + selection_length;
    const bool blank_before = selection_start > 0 && prompt[selection_start - 1] != ' ';
    const bool blank_after = end < prompt.size() && prompt[end] != ' ';
    edit.text = std::string(prompt.substr(0, selection_start)) + (blank_before ? " " : "") + taken +
                (blank_after ? " " : "") + std::string(prompt.substr(end));
  } else {
    edit.text = TrimSpaces(prompt) + " " + taken;
  }
  edit.caret = std::min<std::size_t>(255, edit.text.size());
  return edit;
}

std::string HexViewHint(std::string_view selection) {
  if (selection.empty()) return {};
  std::string digits(selection);
  std::erase(digits, ' ');
  if (digits.size() > 8) return {};
  std::string hint = "(";
  hint += std::to_string(HexToDec(digits));
  hint += ')';
  return hint;
}

std::string AsciiViewHint(std::string_view view_text, std::string_view selection) {
  if (view_text.empty()) return {};
  return std::to_string(selection.empty() ? view_text.size() : selection.size()) + " bytes.";
}

}  // namespace ralvek::console
