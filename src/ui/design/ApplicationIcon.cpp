#include "ui/design/ApplicationIcon.h"

#include <QFile>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

static void initialiseIcons() {
  Q_INIT_RESOURCE(icons);
}

namespace brindlewick {

namespace {

const QString iconResource = QStringLiteral(":/icons/app.brindlewick.svg");

QImage renderIcon(QSvgRenderer& renderer, int side) {
  if (side <= 0 || !renderer.isValid())
    return {};
  QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  renderer.render(&painter, QRectF(0, 0, side, side));
  painter.end();
  return image;
}

} // namespace

QByteArray ApplicationIcon::svg() {
  initialiseIcons();
  QFile file(iconResource);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QImage ApplicationIcon::render(int side) {
  QSvgRenderer renderer(svg());
  return renderIcon(renderer, side);
}

QIcon ApplicationIcon::icon() {
  QSvgRenderer renderer(svg());
  QIcon icon;
  for (const int side : sizes)
    icon.addPixmap(QPixmap::fromImage(renderIcon(renderer, side)));
  return icon;
}

} // namespace brindlewick
