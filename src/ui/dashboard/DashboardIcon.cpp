#include "ui/dashboard/DashboardIcon.h"

#include "ui/dashboard/DashboardSurface.h"
#include "ui/design/AccessibleRole.h"
#include "ui/design/DrawingCaches.h"
#include "ui/design/DropShadow.h"
#include "ui/design/DropSymbols.h"

#include <QCache>
#include <QPainter>

#include <cmath>

namespace brindlewick {

namespace {

constexpr qreal shadowRadius = 4;
constexpr qreal shadowOffset = 3;

// The badge's shadow for one size, colour and pixel ratio, made once.
QImage badgeShadow(qreal size, const QColor& color, qreal ratio) {
  static QCache<QString, QImage> cache(32);
  [[maybe_unused]] static const bool registered = (DrawingCaches::add([] { cache.clear(); }), true);
  const QString key = QStringLiteral("%1/%2/%3").arg(size).arg(color.rgba()).arg(ratio);
  if (const QImage* cached = cache.object(key))
    return *cached;
  const QMargins room = DashboardIcon::shadowRoom();
  const QSizeF whole(size + room.left() + room.right(), size + room.top() + room.bottom());
  QImage disc((whole * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
  disc.setDevicePixelRatio(ratio);
  disc.fill(Qt::transparent);
  {
    QPainter painter(&disc);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawEllipse(QRectF(room.left(), room.top(), size, size));
  }
  const QImage shadow = DropShadow::cast(disc, shadowRadius, QPointF(0, shadowOffset), color);
  cache.insert(key, new QImage(shadow));
  return shadow;
}

} // namespace

DashboardIcon::DashboardIcon(const QString& symbol, qreal size, DropDesign::ColorFor accent, QWidget* parent)
    : QWidget(parent), m_symbol(symbol), m_size(size), m_accent(std::move(accent)) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  AccessibleRole::setHidden(this);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  UiEnvironment::repaintOnChange(this);
}

void DashboardIcon::setBadgeSize(qreal size) {
  if (size == m_size)
    return;
  m_size = size;
  updateGeometry();
  update();
}

QMargins DashboardIcon::shadowRoom() {
  const int blur = int(std::ceil(1.5 * shadowRadius));
  return QMargins(blur, blur, blur, blur + int(shadowOffset));
}

QSize DashboardIcon::sizeHint() const {
  const QMargins room = shadowRoom();
  const int side = int(std::ceil(m_size));
  return QSize(side + room.left() + room.right(), side + room.top() + room.bottom());
}

void DashboardIcon::paint(QPainter& painter, const QRectF& box, const QString& symbol,
                          const std::optional<QColor>& accent, ColorScheme scheme) {
  const QColor base = DashboardSurface::baseColor(accent, scheme);
  const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
  const QMargins room = shadowRoom();
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.drawImage(box.topLeft() - QPointF(room.left(), room.top()),
                    badgeShadow(box.width(), DropDesign::withOpacity(base, 0.12), ratio));
  QLinearGradient wash(box.topLeft(), box.bottomRight());
  wash.setColorAt(0, DropDesign::withOpacity(base, 0.06));
  wash.setColorAt(1, DropDesign::withOpacity(base, 0.22));
  painter.setPen(Qt::NoPen);
  painter.setBrush(wash);
  painter.drawEllipse(box);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, scheme == ColorScheme::dark ? 0.12f : 0.7f), 1));
  painter.drawEllipse(box.adjusted(0.5, 0.5, -0.5, -0.5));
  DropSymbols::paint(painter, symbol, box, symbolSize(box.width()), QFont::Medium, base);
  painter.restore();
}

void DashboardIcon::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const UiTraits traits = UiEnvironment::instance().traitsOf(this);
  const QMargins room = shadowRoom();
  const QRectF box(room.left(), room.top(), m_size, m_size);
  paint(painter, box, m_symbol, m_accent ? std::optional<QColor>(m_accent(traits)) : std::nullopt,
        traits.scheme);
}

} // namespace brindlewick
