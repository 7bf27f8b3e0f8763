#include "ui/onboarding/OnboardingBackdrop.h"

#include "ui/design/AccessibleRole.h"
#include "ui/design/DrawingCaches.h"
#include "ui/design/DropArtwork.h"
#include "ui/design/DropDesign.h"

#include <QCache>
#include <QPainter>

namespace brindlewick {

OnboardingBackdrop::OnboardingBackdrop(QWidget* parent)
    : OnboardingBackdrop(DropArtwork::onboardingSky, parent) {}

OnboardingBackdrop::OnboardingBackdrop(const QString& sky, QWidget* parent) : QWidget(parent), m_sky(sky) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  AccessibleRole::setHidden(this);
}

QPixmap OnboardingBackdrop::picture(const QString& sky, QSize size, qreal ratio) {
  static QCache<QString, QPixmap> cache(2);
  [[maybe_unused]] static const bool registered = (DrawingCaches::add([] { cache.clear(); }), true);
  const QString key = QStringLiteral("%1/%2x%3/%4").arg(sky).arg(size.width()).arg(size.height()).arg(ratio);
  if (const QPixmap* cached = cache.object(key))
    return *cached;
  auto* result = new QPixmap((QSizeF(size) * ratio).toSize());
  result->setDevicePixelRatio(ratio);
  const QRectF bounds(QPointF(0, 0), QSizeF(size));
  QPainter painter(result);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillRect(bounds, DropDesign::heroGradient(bounds));
  const QSizeF natural = DropArtwork::naturalSize(sky);
  if (!natural.isEmpty()) {
    const QSizeF filled = natural.scaled(bounds.size(), Qt::KeepAspectRatioByExpanding);
    const QRectF place(bounds.center() - QPointF(filled.width() / 2, filled.height() / 2), filled);
    painter.drawImage(place.topLeft(), DropArtwork::render(sky, filled, ratio));
  }
  QRadialGradient shade(bounds.center(), shadeRadius);
  shade.setColorAt(0, QColor::fromRgbF(0, 0, 0, 0.55f));
  shade.setColorAt(1, QColor::fromRgbF(0, 0, 0, 0.2f));
  painter.fillRect(bounds, shade);
  painter.end();
  cache.insert(key, result);
  return *result;
}

void OnboardingBackdrop::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawPixmap(0, 0, picture(m_sky, size(), devicePixelRatioF()));
}

} // namespace brindlewick
