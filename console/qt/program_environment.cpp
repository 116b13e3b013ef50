#include "program_environment.h"

#include <QCoreApplication>
#include <QLocale>
#include <cstdlib>

namespace ralvek::console {

std::filesystem::path ProgramDir() {
  const char* home = std::getenv("RALVEK_HOME");
  if (home != nullptr && *home != '\0') return home;
  return QCoreApplication::applicationDirPath().toStdString();
}

char DecimalSeparator() {
  const QString point = QLocale::system().decimalPoint();
  return point.size() == 1 && point[0].unicode() < 0x80 ? static_cast<char>(point[0].unicode())
                                                        : '.';
}

}  // namespace ralvek::console
