#include "ui/design/DropSpinner.h"

#include <QPainter>
#include <QTimerEvent>

#include <cmath>

namespace brindlewick {

DropSpinner::DropSpinner(qreal diameter, QWidget* parent)
    : QWidget(parent), m_diameter(diameter),
      m_color([](const UiTraits& traits) { return DropDesign::secondaryLabel(traits.scheme); }) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
  UiEnvironment::repaintOnChange(this);
}

void DropSpinner::setColor(DropDesign::ColorFor color) {
  m_color = std::move(color);
  update();
}

QSize DropSpinner::sizeHint() const {
  const int side = int(std::ceil(m_diameter));
  return QSize(side, side);
}

void DropSpinner::paint(QPainter& painter, const QRectF& box, int phase, const QColor& color) {
  const qreal side = std::min(box.width(), box.height());
  const qreal outer = side / 2;
  const qreal inner = outer * 0.45;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(box.center());
  QPen pen(color, std::max<qreal>(1.2, side / 10), Qt::SolidLine, Qt::RoundCap);
  for (int spoke = 0; spoke < spokes; ++spoke) {
    // The spoke `phase` is brightest; those behind it fade down to a quarter.
    const int behind = (phase - spoke + spokes) % spokes;
    QColor shade = color;
    shade.setAlphaF(color.alphaF() * (1.0 - 0.75 * behind / (spokes - 1)));
    pen.setColor(shade);
    painter.setPen(pen);
    const qreal angle = 2 * M_PI * spoke / spokes - M_PI / 2;
    const QPointF direction(std::cos(angle), std::sin(angle));
    painter.drawLine(direction * (inner + pen.widthF() / 2), direction * (outer - pen.widthF() / 2));
  }
  painter.restore();
}

void DropSpinner::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QSizeF box(m_diameter, m_diameter);
  const QRectF area(QPointF(rect().center()) - QPointF(box.width(), box.height()) / 2 + QPointF(0.5, 0.5),
                    box);
  paint(painter, area, m_phase, m_color(UiEnvironment::instance().traitsOf(this)));
}

void DropSpinner::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  m_timer.start(stepMilliseconds, this);
}

void DropSpinner::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  m_timer.stop();
}

void DropSpinner::timerEvent(QTimerEvent* event) {
  if (event->timerId() != m_timer.timerId()) {
    QWidget::timerEvent(event);
    return;
  }
  m_phase = (m_phase + 1) % spokes;
  update();
}

} // namespace brindlewick
