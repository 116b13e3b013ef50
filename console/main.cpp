// console: the Ralvek configuration console, in a window when a display can be reached, otherwise
// in the terminal.
#include <QByteArray>
#include <QtGlobal>
#include <cstdio>
#include <string_view>

#include "display_probe.h"
#include "front_end_choice.h"
#include "ralvek_version.h"
#include "run_terminal.h"
#ifdef RALVEK_CONSOLE_WINDOW
#include "run_window.h"
#endif

namespace {

constexpr std::string_view kUsage =
    "Usage: ralvek-console [--help | --version]\n"
    "Configuration console of KZU collection boxes. It takes no other arguments: the box and\n"
    "receiver addresses come from ~/.config/ralvek/console.ini, commands from the window's prompt\n"
    "or, without a display, from standard input (type \"help\" for the list).\n"
    "Exit status: 0, or 1 when the last command was refused or a port could not be bound.\n"
    "See ralvek-console(1).\n";

constexpr int kDisplayProbeTimeoutMs = 1000;

int Usage(std::FILE* stream, int status) {
  std::fwrite(kUsage.data(), 1, kUsage.size(), stream);
  return status;
}

// Qt's own arguments (-platform, -display, ...) are refused too: the program reads none.
int CommandLine(int argc, char** argv) {
  if (argc < 2) return -1;
  const std::string_view word = argv[1];
  if (argc == 2 && word == "--help") return Usage(stdout, 0);
  if (argc == 2 && word == "--version") {
    std::printf("ralvek-console %s\n", ralvek::kVersionText);
    return 0;
  }
  std::fprintf(stderr, "ralvek-console: unknown argument: %s\n", argv[1]);
  return Usage(stderr, 2);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace ralvek::console;
  if (const int status = CommandLine(argc, argv); status >= 0) return status;
#ifdef RALVEK_CONSOLE_WINDOW
  const FrontEndChoice choice =
      ChooseFrontEnd(DisplayEnvironment::FromProcess(), true, [](const DisplaySocket& socket) {
        return socket.path.empty() ? platform::ReachTcp(socket.host, socket.port, kDisplayProbeTimeoutMs)
                                   : platform::ReachUnixSocket(socket.path);
      });
  if (choice.front_end == FrontEnd::kWindow) {
    if (!choice.qpa_platform.empty()) qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(choice.qpa_platform));
    return RunWindowConsole(argc, argv);
  }
  if (!choice.why_terminal.empty()) std::fprintf(stderr, "ralvek-console: %s\n", choice.why_terminal.c_str());
#endif
  return RunTerminalConsole(argc, argv);
}
