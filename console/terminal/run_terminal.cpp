// The console in a terminal (no display needed).
#include "run_terminal.h"

#include <QCoreApplication>
#include <csignal>
#include <iostream>
#include <memory>
#include <thread>

#include "console_core.h"
#include "ini_settings_store.h"
#include "program_environment.h"
#include "qt_console_system.h"
#include "qt_udp_endpoint.h"
#include "terminal_front_end.h"

namespace {

volatile std::sig_atomic_t g_stop_requested = 0;

extern "C" void OnStopSignal(int) { g_stop_requested = 1; }

// Blocking reads stay off the event loop's thread; the loop takes the lines from the queue.
void StartReader(std::shared_ptr<ralvek::console::InputQueue> input) {
  std::thread([input] {
    std::string line;
    while (std::getline(std::cin, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      std::lock_guard lock(input->mutex);
      input->lines.push_back(line);
    }
    std::lock_guard lock(input->mutex);
    input->at_end = true;
  }).detach();
}

}  // namespace

namespace ralvek::console {

int RunTerminalConsole(int argc, char** argv) {
  QCoreApplication app(argc, argv);  // arguments are not read: every start-up value comes from the store

  auto input = std::make_shared<InputQueue>();
  TerminalFrontEnd front_end(input);
  QtUdpEndpoint client;
  QtUdpEndpoint server;
  QtUdpEndpoint receive;
  IniSettingsStore settings(IniSettingsStore::DefaultPath());
  QtConsoleSystem system([&front_end] {
    front_end.MarkEnded();
    QCoreApplication::exit(0);
  });
  ConsoleCore core(ConsoleEnvironment{client, server, receive, settings, system, front_end, ProgramDir(),
                                      DecimalSeparator()});
  server.SetReceiver([&core](const Bytes& d, const std::string& sender) { core.WServer_DataArrival(d, sender); });
  receive.SetReceiver([&core](const Bytes& d, const std::string& sender) { core.WSReceive_DataArrival(d, sender); });

  core.Load();
  front_end.Attach(core);
  front_end.WatchStopFlag(&g_stop_requested);
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
  StartReader(input);
  const int status = app.exec();
  std::cout.flush();
  return status;
}

}  // namespace ralvek::console
