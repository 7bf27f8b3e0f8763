// Writes the application's icon as the icon theme's files, under the folder given: the SVG in
// scalable/apps/ and a PNG of each size in <size>x<size>/apps/. Run when the program is built,
// so the installed icon is always the one the windows show.
#include "ui/design/ApplicationIcon.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTextStream>

using namespace brindlewick;

namespace {

bool write(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly) &&
         file.write(bytes) == bytes.size() && file.flush();
}

} // namespace

int main(int argc, char** argv) {
  // Pictures only: no display is needed.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() != 2) {
    QTextStream(stderr) << "usage: brindlewick-render-icons <icon theme folder>\n";
    return 2;
  }
  const QDir theme(arguments.at(1));
  const QString file = ApplicationIcon::themeName;
  const QByteArray svg = ApplicationIcon::svg();
  if (svg.isEmpty() || !write(theme.filePath(QStringLiteral("scalable/apps/%1.svg").arg(file)), svg)) {
    QTextStream(stderr) << "could not write the scalable icon under " << theme.path() << "\n";
    return 1;
  }
  for (const int side : ApplicationIcon::sizes) {
    const QString path = theme.filePath(QStringLiteral("%1x%1/apps/%2.png").arg(side).arg(file));
    const QImage image = ApplicationIcon::render(side);
    if (image.isNull() || !QDir().mkpath(QFileInfo(path).absolutePath()) || !image.save(path, "PNG")) {
      QTextStream(stderr) << "could not write " << path << "\n";
      return 1;
    }
  }
  return 0;
}
