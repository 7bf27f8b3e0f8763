// The yardstick of scripts/measure-idle: the least a Qt Widgets program with a tray icon and
// one shown window costs on this machine, measured in the same run as Brindlewick.
#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QPixmap picture(32, 32);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setBrush(Qt::darkCyan);
  painter.drawEllipse(picture.rect().adjusted(2, 2, -2, -2));
  painter.end();
  QSystemTrayIcon tray{QIcon(picture)};
  tray.show();
  QLabel window(QStringLiteral("A window"));
  window.resize(480, 320);
  window.show();
  return application.exec();
}
