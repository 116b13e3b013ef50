#pragma once
// Which front end the console program runs: the window when a display can be reached, otherwise
// the terminal. Qt aborts the process when its platform plugin cannot connect, so a display named
// in the environment is tried first, and a dead one (an SSH session that inherited DISPLAY, a
// WAYLAND_DISPLAY whose compositor has gone) leads to the terminal with one line saying why.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ralvek::console {

enum class FrontEnd { kTerminal, kWindow };

// Where a display server listens: a Unix socket path, or a TCP host and port.
struct DisplaySocket {
  std::string path;
  std::string host;
  int port = 0;
};

// DISPLAY's "[host]:n[.screen]": no host or "unix" is the local socket /tmp/.X11-unix/Xn,
// another host is TCP port 6000 + n. Nothing for text of another form.
std::optional<DisplaySocket> X11Socket(std::string_view display);
// WAYLAND_DISPLAY: an absolute path as it stands, else a name in XDG_RUNTIME_DIR (nothing when
// that is not set).
std::optional<DisplaySocket> WaylandSocket(std::string_view wayland_display, std::string_view runtime_dir);

// The variables that decide; an empty text counts as not set ("DISPLAY=" names no display).
struct DisplayEnvironment {
  std::string display;
  std::string wayland_display;
  std::string runtime_dir;   // XDG_RUNTIME_DIR
  std::string qpa_platform;  // QT_QPA_PLATFORM
  static DisplayEnvironment FromProcess();
};

struct FrontEndChoice {
  FrontEnd front_end = FrontEnd::kTerminal;
  // The Qt platform of the display that answered, when QT_QPA_PLATFORM does not name one (Qt may
  // otherwise pick the other kind from XDG_SESSION_TYPE); empty: Qt's own choice.
  std::string qpa_platform;
  // Why a display named in the environment is not used; empty when none was named.
  std::string why_terminal;
};

// "" when the socket accepts a connection, otherwise why not.
using DisplayProbe = std::function<std::string(const DisplaySocket&)>;

// QT_QPA_PLATFORM naming a platform without a display server (offscreen, vnc, ...) is taken as it
// stands; xcb and wayland need their display to answer.
FrontEndChoice ChooseFrontEnd(const DisplayEnvironment& env, bool window_built, const DisplayProbe& probe);

}  // namespace ralvek::console
