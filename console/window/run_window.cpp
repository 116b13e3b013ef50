// The console in its window: the one place where the window, the core and the Qt ports meet.
#include "run_window.h"

#include <QApplication>
#include <QTimer>
#include <csignal>

#include "console_core.h"
#include "form_main.h"
#include "ini_settings_store.h"
#include "program_environment.h"
#include "qt_console_system.h"
#include "qt_udp_endpoint.h"

namespace {

volatile std::sig_atomic_t g_stop_requested = 0;

extern "C" void OnWindowStopSignal(int) {
  g_stop_requested = 1;
}

}  // namespace

namespace ralvek::console {

int RunWindowConsole(int argc, char** argv) {
  QApplication app(argc,
                   argv);  // arguments are not read: every start-up value comes from the store
  QApplication::setQuitOnLastWindowClosed(
      false);  // an error box left open must not keep it running

  FormMain form;
  QtUdpEndpoint client;
  QtUdpEndpoint server;
  QtUdpEndpoint receive;
  IniSettingsStore settings(IniSettingsStore::DefaultPath());
  QtConsoleSystem system([&form] { form.close(); });
  ConsoleCore core(ConsoleEnvironment{client, server, receive, settings, system, form, ProgramDir(),
                                      DecimalSeparator()});
  server.SetReceiver(
      [&core](const Bytes& d, const std::string& sender) { core.WServer_DataArrival(d, sender); });
  receive.SetReceiver([&core](const Bytes& d, const std::string& sender) {
    core.WSReceive_DataArrival(d, sender);
  });
  form.SetOnClosed([] { QCoreApplication::exit(0); });
  form.Attach(core, system);

  // Ctrl+C or SIGTERM in the terminal that started it closes the window as Quit does.
  std::signal(SIGINT, OnWindowStopSignal);
  std::signal(SIGTERM, OnWindowStopSignal);
  QTimer stop_watch;
  QObject::connect(&stop_watch, &QTimer::timeout, &form, [&form] {
    if (g_stop_requested != 0) form.close();
  });
  stop_watch.start(100);

  form.show();
  form.Form_Load();
  return app.exec();
}

}  // namespace ralvek::console
