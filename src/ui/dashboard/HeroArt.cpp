#include "ui/dashboard/HeroArt.h"

#include "ui/design/DropArtwork.h"
#include "ui/design/DropShadow.h"

#include <QPainter>

namespace brindlewick {

namespace {

constexpr qreal heroShadowRadius = 16;
constexpr qreal heroShadowOffset = 10;

QRectF fitted(const QRectF& area, QSizeF natural) {
  if (natural.isEmpty() || area.isEmpty())
    return {};
  const QSizeF size = natural.scaled(area.size(), Qt::KeepAspectRatio);
  return QRectF(area.right() - size.width(), area.bottom() - size.height(), size.width(), size.height());
}

} // namespace

void HeroArt::paint(QPainter& painter, const QRectF& area, qreal devicePixelRatio) {
  paint(painter, area, devicePixelRatio, DropArtwork::heroArt);
}

void HeroArt::paint(QPainter& painter, const QRectF& area, qreal devicePixelRatio, const QString& resource) {
  const QRectF place = fitted(area, DropArtwork::naturalSize(resource));
  if (place.isEmpty())
    return;
  // The picture with room for its shadow, which is cast from it.
  const qreal room = 1.5 * heroShadowRadius + heroShadowOffset;
  const QRectF padded = place.adjusted(-room, -room, room, room);
  QImage canvas((padded.size() * devicePixelRatio).toSize(), QImage::Format_ARGB32_Premultiplied);
  canvas.setDevicePixelRatio(devicePixelRatio);
  canvas.fill(Qt::transparent);
  {
    QPainter inner(&canvas);
    inner.drawImage(QPointF(room, room), DropArtwork::render(resource, place.size(), devicePixelRatio));
  }
  const QImage shadow = DropShadow::cast(canvas, heroShadowRadius, QPointF(0, heroShadowOffset),
                                         QColor::fromRgbF(0, 0, 0, 0.3f));
  painter.drawImage(padded.topLeft(), shadow);
  painter.drawImage(padded.topLeft(), canvas);
}

} // namespace brindlewick
