// terminal_snapshot <out.png> [title] < text
// Draws a captured terminal session (plain text, tabs every eight columns) as a terminal would show
// it, for the console's README. Run under QT_QPA_PLATFORM=offscreen; not part of the tests.
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTextStream>
#include <cstdio>

namespace {

QString ExpandTabs(const QString& line) {
  QString out;
  for (const QChar c : line) {
    if (c == '\t') {
      do out += ' ';
      while (out.size() % 8 != 0);
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: terminal_snapshot <out.png> [title] < text\n");
    return 2;
  }
  QTextStream in(stdin);
  QStringList lines;
  while (!in.atEnd()) lines << ExpandTabs(in.readLine());
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setPointSize(10);
  const QFontMetrics metrics(font);
  int columns = 80;
  for (const auto& line : lines) columns = std::max(columns, static_cast<int>(line.size()));
  const int title_height = argc > 2 ? metrics.height() + 10 : 0;
  const int width = columns * metrics.horizontalAdvance('M') + 24;
  const int height = static_cast<int>(lines.size()) * metrics.height() + 24 + title_height;
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(QColor(30, 30, 30));
  QPainter painter(&image);
  painter.setFont(font);
  if (argc > 2) {
    painter.fillRect(0, 0, width, title_height, QColor(70, 70, 70));
    painter.setPen(QColor(230, 230, 230));
    painter.drawText(QRect(0, 0, width, title_height), Qt::AlignCenter,
                     QString::fromLocal8Bit(argv[2]));
  }
  painter.setPen(QColor(220, 220, 220));
  int y = title_height + 12 + metrics.ascent();
  for (const auto& line : lines) {
    painter.drawText(12, y, line);
    y += metrics.height();
  }
  painter.end();
  return image.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
