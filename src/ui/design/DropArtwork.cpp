#include "ui/design/DropArtwork.h"

#include <QFile>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

#include <memory>

static void initialiseImages() {
  Q_INIT_RESOURCE(images);
}

namespace brindlewick {

namespace {

// Main thread only, like every painter of the interface.
QSvgRenderer* renderer(const QString& name) {
  static QHash<QString, std::shared_ptr<QSvgRenderer>> loaded;
  if (const auto found = loaded.constFind(name); found != loaded.constEnd())
    return found->get();
  initialiseImages();
  const QString path = QStringLiteral(":/images/%1.svg").arg(name);
  std::shared_ptr<QSvgRenderer> svg;
  if (QFile::exists(path)) {
    svg = std::make_shared<QSvgRenderer>(path);
    if (!svg->isValid())
      svg.reset();
  }
  loaded.insert(name, svg);
  return svg.get();
}

} // namespace

bool DropArtwork::exists(const QString& name) {
  return renderer(name) != nullptr;
}

QSizeF DropArtwork::naturalSize(const QString& name) {
  QSvgRenderer* svg = renderer(name);
  return svg ? svg->viewBoxF().size() : QSizeF();
}

QImage DropArtwork::render(const QString& name, QSizeF size, qreal devicePixelRatio) {
  QSvgRenderer* svg = renderer(name);
  const QSize pixels = (size * devicePixelRatio).toSize();
  if (!svg || pixels.isEmpty())
    return {};
  QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  svg->render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
  painter.end();
  image.setDevicePixelRatio(devicePixelRatio);
  return image;
}

} // namespace brindlewick
