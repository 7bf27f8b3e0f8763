#include "ui/window/CachedSidebarSurface.h"

#include <QHideEvent>
#include <QPaintEvent>
#include <QPainter>

namespace brindlewick {

CachedSidebarSurface::CachedSidebarSurface(QWidget* parent) : DropSidebarSurface(false, parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

QPixmap CachedSidebarSurface::picture() {
  const UiTraits traits = UiEnvironment::instance().traitsOf(this);
  const qreal ratio = devicePixelRatioF();
  if (m_picture.isNull() || m_picture.size() != size() * ratio || m_picture.devicePixelRatio() != ratio ||
      !(traits == m_traits)) {
    m_traits = traits;
    m_picture = QPixmap(size() * ratio);
    m_picture.setDevicePixelRatio(ratio);
    m_picture.fill(Qt::transparent);
    QPainter painter(&m_picture);
    paint(painter, QRectF(panelRect()), false, traits);
  }
  return m_picture;
}

void CachedSidebarSurface::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QPixmap surface = picture();
  const QRect exposed = event->rect();
  const qreal ratio = surface.devicePixelRatio();
  painter.drawPixmap(exposed, surface,
                     QRectF(QPointF(exposed.topLeft()) * ratio, QSizeF(exposed.size()) * ratio));
}

void CachedSidebarSurface::hideEvent(QHideEvent* event) {
  DropSidebarSurface::hideEvent(event);
  m_picture = QPixmap();
}

} // namespace brindlewick
