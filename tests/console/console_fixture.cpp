#include "console_fixture.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

namespace ralvek::console_e2e {

Program::Program(const std::string& exe, const QStringList& args, const QProcessEnvironment& env) {
  process_.setProcessEnvironment(env);
  process_.setProcessChannelMode(QProcess::SeparateChannels);
  process_.start(QString::fromStdString(exe), args);
  if (!process_.waitForStarted(5000)) ADD_FAILURE() << "cannot start " << exe;
}

Program::~Program() {
  if (process_.state() != QProcess::NotRunning) {
    process_.terminate();
    if (!process_.waitForFinished(3000)) {
      process_.kill();
      process_.waitForFinished(3000);
    }
  }
}

void Program::Pump(int ms) {
  QDeadlineTimer deadline(ms);
  do {
    process_.waitForReadyRead(ms > 0 ? 20 : 0);
    const QByteArray data = process_.readAllStandardOutput();
    out_.append(data.constData(), static_cast<std::size_t>(data.size()));
  } while (!deadline.hasExpired());
}

std::size_t Program::WaitFor(const std::string& text, std::size_t from, int timeout_ms) {
  QDeadlineTimer deadline(timeout_ms);
  while (true) {
    Pump(0);
    const auto pos = out_.find(text, std::min(from, out_.size()));
    if (pos != std::string::npos) return pos;
    if (deadline.hasExpired() || process_.state() == QProcess::NotRunning) break;
    process_.waitForReadyRead(20);
  }
  ADD_FAILURE() << "no \"" << text << "\" in output:\n" << out_.substr(std::min(from, out_.size()));
  return std::string::npos;
}

bool Program::Contains(const std::string& text, std::size_t from) {
  Pump(0);
  return out_.find(text, std::min(from, out_.size())) != std::string::npos;
}

void Program::Type(const std::string& line) {
  const std::string data = line + "\n";
  process_.write(data.data(), static_cast<qint64>(data.size()));
  process_.waitForBytesWritten(2000);
}

void Program::CloseInput() { process_.closeWriteChannel(); }

void Program::Terminate() { process_.terminate(); }

int Program::WaitExit(int timeout_ms) {
  QDeadlineTimer deadline(timeout_ms);
  while (process_.state() != QProcess::NotRunning && !deadline.hasExpired()) {
    process_.waitForFinished(20);
    Pump(0);
  }
  if (process_.state() != QProcess::NotRunning) return -1;
  Pump(0);
  return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

std::string Program::Err() { return process_.readAllStandardError().toStdString(); }

void ConsoleTest::SetUpTestSuite() {
  if (QCoreApplication::instance() == nullptr) {
    static int argc = 1;
    static char name[] = "console_e2e_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
  }
}

ConsoleTest::ConsoleTest() { EXPECT_TRUE(dir_.isValid()); }

void ConsoleTest::TearDown() {
  console_.reset();
  box_.reset();
}

QProcessEnvironment ConsoleTest::Environment() const {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
  env.insert("XDG_CONFIG_HOME", dir_.filePath("config"));
  env.insert("RALVEK_HOME", dir_.path());
  env.insert("LC_ALL", "C");
  if (!path_prefix_.isEmpty()) env.insert("PATH", path_prefix_ + ":" + env.value("PATH"));
  return env;
}

std::string ConsoleTest::ConfigFile() const {
  QFile file(dir_.filePath("config/ralvek/console.ini"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll().toStdString();
}

void ConsoleTest::UseBoxAddress() {
  QDir().mkpath(dir_.filePath("config/ralvek"));
  QFile file(dir_.filePath("config/ralvek/console.ini"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("[Config]\nKZUIP=127.0.0.2\n");
}

std::unique_ptr<Program> ConsoleTest::RunPipe(const std::string& printf_lines, const QProcessEnvironment& env) {
  const QString pipe = "printf '" + QString::fromStdString(printf_lines) + "' | '" + CONSOLE_EXE + "'";
  return std::make_unique<Program>("/bin/sh", QStringList{"-c", pipe}, env);
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

Program& ConsoleTest::StartBox(const QStringList& extra) {
  box_ = std::make_unique<Program>(PBXSIM_EXE, QStringList{"box", "--address", "127.0.0.2"} + extra, Environment());
  box_->WaitFor("box: listening on 127.0.0.2:26482");
  return *box_;
}

Program& ConsoleTest::StartConsole() {
  console_ = std::make_unique<Program>(CONSOLE_EXE, QStringList{}, Environment());
  console_->WaitFor("Listen IP\t:All\n");
  return *console_;
}

std::size_t ConsoleTest::Command(const std::string& line, const std::string& expected, int timeout_ms) {
  const std::size_t mark = console_->Out().size();
  console_->Type(line);
  return console_->WaitFor(expected, mark, timeout_ms);
}

}  // namespace ralvek::console_e2e
