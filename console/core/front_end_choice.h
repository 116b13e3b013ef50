#pragma once
// Which front end the console program runs: the window when a display can be reached, otherwise
// the terminal.
#include <cstdlib>

namespace ralvek::console {

enum class FrontEnd { kTerminal, kWindow };

// A variable counts as set only when it holds something: "DISPLAY=" names no display.
inline FrontEnd ChooseFrontEnd(const char* display, const char* wayland_display,
                               const char* qt_qpa_platform, bool window_built) {
  const auto set = [](const char* value) { return value != nullptr && *value != '\0'; };
  if (!window_built) return FrontEnd::kTerminal;
  return set(display) || set(wayland_display) || set(qt_qpa_platform) ? FrontEnd::kWindow
                                                                      : FrontEnd::kTerminal;
}

inline FrontEnd ChooseFrontEnd(bool window_built) {
  return ChooseFrontEnd(std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"),
                        std::getenv("QT_QPA_PLATFORM"), window_built);
}

}  // namespace ralvek::console
