#pragma once
// Text rules of the window that need no widget: Enter in the console (the selection goes to the
// prompt) and the pop-up hints of the hex and text views. Kept here so the window only wires them.
#include <cstddef>
#include <string>
#include <string_view>

namespace ralvek::console {

struct PromptEdit {
  std::string text;
  std::size_t caret = 0;
};

// Enter in the console with `selected` text selected there: the selection, trimmed of blanks, cut at
// its first CR and without TABs, replaces the prompt's selection [selection_start,
// selection_start + selection_length) with blanks around it where needed (no blank is added at
// either end of the prompt), or is appended after a blank when the prompt has no selection.
// REQUIRES: selected is not empty; the selection lies inside prompt.
PromptEdit ConsoleSelectionToPrompt(std::string_view selected, std::string_view prompt, std::size_t selection_start,
                                    std::size_t selection_length);

// Hint of the hex view: "(" + the selection without blanks read as hex + ")" when that is at most
// eight characters; empty with no selection or a longer one.
std::string HexViewHint(std::string_view selection);
// Hint of the text view: the selected (else all) characters counted + " bytes."; empty for an empty view.
std::string AsciiViewHint(std::string_view view_text, std::string_view selection);

}  // namespace ralvek::console
