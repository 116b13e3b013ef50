#include "qt_console_system.h"

#include <QEventLoop>
#include <QProcess>
#include <QStringList>
#include <QTime>
#include <QTimer>

#include "vb_text.h"

namespace ralvek::console {

QtConsoleSystem::QtConsoleSystem(std::function<void()> end_program) : end_program_(std::move(end_program)) {}

std::string QtConsoleSystem::Run(const std::vector<std::string>& argv) {
  if (argv.empty()) throw RunTimeError("Invalid procedure call or argument");
  QProcess process;
  QStringList arguments;
  for (std::size_t i = 1; i < argv.size(); ++i) arguments << QString::fromStdString(argv[i]);
  process.setProgram(QString::fromStdString(argv[0]));
  process.setArguments(arguments);
  process.setStandardInputFile(QProcess::nullDevice());
  process.setProcessChannelMode(QProcess::SeparateChannels);
  process.start();
  if (!process.waitForStarted(-1)) {
    throw RunTimeError("File not found: " + argv[0] + " (" + process.errorString().toStdString() + ")");
  }
  process.waitForFinished(-1);
  const QByteArray output = process.readAllStandardOutput();
  return std::string(output.constData(), static_cast<std::size_t>(output.size()));
}

void QtConsoleSystem::Wait(double seconds) {
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
  loop.exec();
}

std::string QtConsoleSystem::TimeText() { return QTime::currentTime().toString("HH:mm:ss").toStdString(); }

void QtConsoleSystem::EndProgram() {
  if (end_program_) end_program_();
}

}  // namespace ralvek::console
