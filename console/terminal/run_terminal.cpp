// The console in a terminal (no display needed): the wiring of core, ports and front end, the
// input (typed at a terminal or read from a pipe) and the end of the session.
#include "run_terminal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>

#include "console_core.h"
#include "ini_settings_store.h"
#include "interactive_input.h"
#include "program_environment.h"
#include "qt_console_system.h"
#include "qt_udp_endpoint.h"
#include "terminal_device.h"
#include "terminal_front_end.h"

namespace {

volatile std::sig_atomic_t g_stop_requested = 0;

extern "C" void OnStopSignal(int) { g_stop_requested = 1; }

}  // namespace

namespace ralvek::console {
namespace {

// Lines read by the stdin thread, taken by the event loop. Shared so the reader may outlive it.
struct InputQueue {
  std::mutex mutex;
  std::deque<std::string> lines;
  bool at_end = false;
};

// Blocking reads stay off the event loop's thread.
void StartReader(std::shared_ptr<InputQueue> input) {
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

// The session's course: lines in, and the three ways out (a command, the end of input, a signal).
class TerminalSession final : public QObject {
 public:
  explicit TerminalSession(TerminalFrontEnd& front_end) : front_end_(front_end) {
    poll_.setInterval(10);
    connect(&poll_, &QTimer::timeout, this, &TerminalSession::Poll);
  }

  // REQUIRES: called once, before ReadLines or TypeLines; core must outlive this object.
  void Attach(ConsoleCore& core) { core_ = &core; }

  // Lines come from a pipe or file (or a terminal in its own line mode, when output is not one).
  void ReadLines() {
    queue_ = std::make_shared<InputQueue>();
    StartReader(queue_);
    poll_.start();
  }

  // Lines are typed at this terminal.
  void TypeLines() {
    interactive_.emplace(*core_, InteractiveInput::Handlers{
                                    [this](const std::string& line) { return front_end_.RunLine(line); },
                                    [this] { Finish(); }, [this] { Finish(); }});
    front_end_.SetScreen(*interactive_);
    poll_.start();
    interactive_->Start();
  }

  // A command ended the program (quit).
  void Ended() {
    ended_ = true;
    if (interactive_) interactive_->Stop();
  }

  void NoteTraffic() { since_traffic_.start(); }

 private:
  void Poll() {
    if (ended_) return;
    if (g_stop_requested != 0) return Finish();
    if (since_end_.isValid()) return CheckQuiet();
    if (queue_ && !busy_) TakeLine();
  }

  // One line per turn of the loop, so the traffic that arrives between two lines is shown there.
  void TakeLine() {
    std::optional<std::string> line;
    bool at_end = false;
    {
      std::lock_guard lock(queue_->mutex);
      if (!queue_->lines.empty()) {
        line = std::move(queue_->lines.front());
        queue_->lines.pop_front();
      } else {
        at_end = queue_->at_end;
      }
    }
    if (at_end) {
      since_end_.start();
      return;
    }
    if (!line) return;
    busy_ = true;  // a command that waits lets this timer run; the next line must not start inside it
    front_end_.RunLine(*line);
    busy_ = false;
    if (!ended_) QTimer::singleShot(0, this, &TerminalSession::Poll);
  }

  // A script's last command may still get its answer: wait for the box to fall quiet.
  void CheckQuiet() {
    const qint64 quiet = since_traffic_.isValid() ? std::min(since_traffic_.elapsed(), since_end_.elapsed())
                                                  : since_end_.elapsed();
    if (quiet >= kQuietEndMs || since_end_.elapsed() >= kLongestEndMs) Finish();
  }

  // Closes as "quit" does.
  void Finish() {
    if (ended_) return;
    Ended();
    core_->Unload();
    QCoreApplication::exit(0);
  }

  ConsoleCore* core_ = nullptr;
  TerminalFrontEnd& front_end_;
  std::shared_ptr<InputQueue> queue_;
  std::optional<InteractiveInput> interactive_;
  QTimer poll_;
  QElapsedTimer since_end_;
  QElapsedTimer since_traffic_;
  bool busy_ = false;
  bool ended_ = false;
};

}  // namespace

int RunTerminalConsole(int argc, char** argv) {
  QCoreApplication app(argc, argv);

  PlainScreen plain;
  TerminalFrontEnd front_end(plain);
  QtUdpEndpoint client;
  QtUdpEndpoint server;
  QtUdpEndpoint receive;
  IniSettingsStore settings(IniSettingsStore::DefaultPath());
  TerminalSession session(front_end);
  QtConsoleSystem system([&session] {
    session.Ended();
    QCoreApplication::exit(0);
  });
  ConsoleCore core(ConsoleEnvironment{client, server, receive, settings, system, front_end, ProgramDir(),
                                      DecimalSeparator()});
  session.Attach(core);
  server.SetReceiver([&](const Bytes& d, const std::string& sender) {
    session.NoteTraffic();
    core.WServer_DataArrival(d, sender);
  });
  receive.SetReceiver([&](const Bytes& d, const std::string& sender) {
    session.NoteTraffic();
    core.WSReceive_DataArrival(d, sender);
  });

  core.Load();
  front_end.Attach(core);
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
  const char* term = std::getenv("TERM");
  const bool draws = term != nullptr && *term != '\0' && std::string_view(term) != "dumb";  // ANSI sequences
  if (draws && platform::IsTerminal(platform::kStdinFd) && platform::IsTerminal(platform::kStdoutFd)) {
    session.TypeLines();
  } else {
    session.ReadLines();
  }
  app.exec();
  front_end.SetScreen(plain);
  const bool port_failed = client.BindFailures() + server.BindFailures() + receive.BindFailures() > 0;
  return front_end.LastCommandFailed() || port_failed ? 1 : 0;
}

}  // namespace ralvek::console
