#pragma once
// The core keeps one byte per character with CR LF line ends; Qt's text widgets keep QString with
// LF line ends and give a selection's line breaks as U+2029. These two conversions are the only
// place where the two meet.
#include <QString>
#include <string>
#include <string_view>

namespace ralvek::console {

// Bytes as Latin-1 characters; CR LF, and a CR or LF on its own, become one line break.
inline QString ToWidgetText(std::string_view bytes) {
  QString text = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QChar('\r'), QChar('\n'));
  return text;
}

// Widget text (or a selection) as bytes; each line break becomes CR LF. A character outside
// Latin-1 becomes "?".
inline std::string FromWidgetText(QString text) {
  text.replace(QChar(0x2029), QChar('\n'));
  text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  const QByteArray bytes = text.toLatin1();
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace ralvek::console
