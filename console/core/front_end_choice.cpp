#include "front_end_choice.h"

#include <cstdlib>
#include <vector>

namespace ralvek::console {
namespace {

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::vector<std::string_view> Platforms(std::string_view list) {
  std::vector<std::string_view> names;
  while (!list.empty()) {
    const std::size_t end = list.find(';');
    std::string_view entry = list.substr(0, end);
    names.push_back(entry.substr(0, entry.find(':')));  // "xcb:option=value"
    list = end == std::string_view::npos ? std::string_view() : list.substr(end + 1);
  }
  return names;
}

std::string Getenv(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

}  // namespace

std::optional<DisplaySocket> X11Socket(std::string_view display) {
  const std::size_t colon = display.rfind(':');
  if (colon == std::string_view::npos) return std::nullopt;
  std::string_view host = display.substr(0, colon);
  std::string_view number = display.substr(colon + 1);
  number = number.substr(0, number.find('.'));
  if (!AllDigits(number) || number.size() > 5) return std::nullopt;
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  DisplaySocket socket;
  if (host.empty() || host == "unix") {
    socket.path = "/tmp/.X11-unix/X" + std::string(number);
  } else {
    if (host.find('/') != std::string_view::npos) return std::nullopt;  // "tcp/host", launchd paths
    socket.host = std::string(host);
    socket.port = 6000 + std::stoi(std::string(number));
    if (socket.port > 65535) return std::nullopt;
  }
  return socket;
}

std::optional<DisplaySocket> WaylandSocket(std::string_view wayland_display, std::string_view runtime_dir) {
  if (wayland_display.empty()) return std::nullopt;
  if (wayland_display.front() == '/') return DisplaySocket{std::string(wayland_display), {}, 0};
  if (runtime_dir.empty()) return std::nullopt;
  return DisplaySocket{std::string(runtime_dir) + "/" + std::string(wayland_display), {}, 0};
}

DisplayEnvironment DisplayEnvironment::FromProcess() {
  return {Getenv("DISPLAY"), Getenv("WAYLAND_DISPLAY"), Getenv("XDG_RUNTIME_DIR"), Getenv("QT_QPA_PLATFORM")};
}

FrontEndChoice ChooseFrontEnd(const DisplayEnvironment& env, bool window_built, const DisplayProbe& probe) {
  FrontEndChoice choice;
  if (!window_built) return choice;
  bool want_x = !env.display.empty();
  bool want_wayland = !env.wayland_display.empty();
  if (!env.qpa_platform.empty()) {
    want_x = want_wayland = false;
    for (const std::string_view name : Platforms(env.qpa_platform)) {
      if (name == "xcb") {
        want_x = true;
      } else if (name.starts_with("wayland")) {
        want_wayland = true;
      } else if (!name.empty()) {
        choice.front_end = FrontEnd::kWindow;  // offscreen, vnc, eglfs, ...: no server to ask
        return choice;
      }
    }
  }
  if (!want_x && !want_wayland) return choice;

  std::string why;
  auto reach = [&](bool wanted, const char* variable, const std::string& value,
                   const std::optional<DisplaySocket>& socket) {
    if (!wanted) return false;
    std::string reason;
    if (value.empty()) reason = "not set";
    else if (!socket) reason = "cannot be read as a display address";
    else reason = probe(*socket);
    if (reason.empty()) return true;
    if (!why.empty()) why += "; ";
    why += std::string(variable) + "=" + value + ": " + reason;
    return false;
  };
  const bool x_ok = reach(want_x, "DISPLAY", env.display, X11Socket(env.display));
  const bool wayland_ok = reach(want_wayland, "WAYLAND_DISPLAY", env.wayland_display,
                                WaylandSocket(env.wayland_display, env.runtime_dir));
  if (!x_ok && !wayland_ok) {
    choice.why_terminal = "no display can be reached (" + why + "); running in the terminal";
    return choice;
  }
  choice.front_end = FrontEnd::kWindow;
  if (env.qpa_platform.empty() && x_ok != wayland_ok) {
    choice.qpa_platform = x_ok ? "xcb" : "wayland";
  }
  return choice;
}

}  // namespace ralvek::console
