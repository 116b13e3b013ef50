#pragma once
// Starts pbxsim box and the console (terminal front end, no display) as processes and talks to
// them over their standard streams and loopback UDP. Every wait is bounded.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

namespace ralvek::console_e2e {

// A started program whose standard output is collected as it arrives.
class Program {
 public:
  Program(const std::string& exe, const QStringList& args, const QProcessEnvironment& env);
  ~Program();
  // Waits (at most timeout_ms) until the output from `from` on contains text; returns its offset.
  std::size_t WaitFor(const std::string& text, std::size_t from = 0, int timeout_ms = 5000);
  bool Contains(const std::string& text, std::size_t from = 0);
  void Type(const std::string& line);
  void CloseInput();
  // SIGTERM.
  void Terminate();
  // Exit status once the program has ended within timeout_ms; -1 otherwise.
  int WaitExit(int timeout_ms = 5000);
  // Lets the program run for a while, collecting what it prints.
  void Pump(int ms);
  const std::string& Out() { Pump(0); return out_; }
  std::string Err();

 private:
  QProcess process_;
  std::string out_;
};

// Occurrences of what in text.
std::size_t Count(const std::string& text, const std::string& what);

class ConsoleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  ConsoleTest();
  void TearDown() override;

  // pbxsim box on 127.0.0.2:26482 with the given extra options.
  Program& StartBox(const QStringList& extra = {});
  // The console; waits for its header.
  Program& StartConsole();
  // Types a line and waits for text in what the console prints after it.
  std::size_t Command(const std::string& line, const std::string& expected, int timeout_ms = 5000);
  QProcessEnvironment Environment() const;
  std::string ConfigFile() const;
  // Points the console at pbxsim box's address before it starts, as an earlier "use" would.
  void UseBoxAddress();
  // `echo ... | console`: the shell runs the pipe; lines are given with \n between them.
  std::unique_ptr<Program> RunPipe(const std::string& printf_lines, const QProcessEnvironment& env);

  QTemporaryDir dir_;
  QString path_prefix_;  // put before PATH (fake tools)
  std::unique_ptr<Program> box_;
  std::unique_ptr<Program> console_;
};

}  // namespace ralvek::console_e2e
