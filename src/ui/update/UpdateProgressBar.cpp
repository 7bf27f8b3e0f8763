#include "ui/update/UpdateProgressBar.h"

#include "ui/design/DropDesign.h"
#include "ui/design/UiEnvironment.h"

#include <QAccessible>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace brindlewick {

namespace {
constexpr int barHeight = 6;
}

UpdateProgressBar::UpdateProgressBar(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setAccessibleName(QStringLiteral("Download progress"));
  UiEnvironment::repaintOnChange(this);
}

void UpdateProgressBar::setFraction(double fraction) {
  fraction = fraction < 0 ? -1 : std::min(fraction, 1.0);
  if (fraction == m_fraction)
    return;
  m_fraction = fraction;
  update();
  Q_EMIT fractionChanged();
}

QSize UpdateProgressBar::sizeHint() const {
  return QSize(240, barHeight);
}

void UpdateProgressBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const ColorScheme scheme = UiEnvironment::instance().schemeOf(this);
  const QColor ink = DropDesign::foreground(scheme);
  const QRectF track(0, (height() - barHeight) / 2.0, width(), barHeight);
  const qreal radius = barHeight / 2.0;
  QPainterPath trackPath;
  trackPath.addRoundedRect(track, radius, radius);
  painter.fillPath(trackPath, DropDesign::withOpacity(ink, 0.12));
  if (m_fraction <= 0)
    return;
  // Never thinner than its own rounded ends.
  QRectF filled = track;
  filled.setWidth(std::max<qreal>(barHeight, track.width() * m_fraction));
  if (layoutDirection() == Qt::RightToLeft)
    filled.moveRight(track.right());
  QPainterPath fillPath;
  fillPath.addRoundedRect(filled, radius, radius);
  painter.fillPath(fillPath, DropDesign::withOpacity(ink, 0.78));
}

} // namespace brindlewick
