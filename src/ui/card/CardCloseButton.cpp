#include "ui/card/CardCloseButton.h"

#include "ui/design/DropAccessibility.h"
#include "ui/design/DropDesign.h"
#include "ui/design/DropSymbols.h"

#include <QPainter>

namespace brindlewick {

CardCloseButton::CardCloseButton(QWidget* parent) : QAbstractButton(parent) {
  setFocusPolicy(Qt::NoFocus);
  setFixedSize(side, side);
  UiEnvironment::repaintOnChange(this);
  DropAccessibility::describe(this, QStringLiteral("reader.close"), QStringLiteral("Close Drop"),
                              QStringLiteral("Close Drop (Escape)"));
}

bool CardCloseButton::hitButton(const QPoint& pos) const {
  const QPointF offset = QPointF(pos) - QRectF(rect()).center();
  return offset.x() * offset.x() + offset.y() * offset.y() <= side * side / 4.0;
}

void CardCloseButton::enterEvent(QEnterEvent* event) {
  QAbstractButton::enterEvent(event);
  m_hover.set(true);
}

void CardCloseButton::leaveEvent(QEvent* event) {
  QAbstractButton::leaveEvent(event);
  m_hover.set(false);
}

void CardCloseButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const UiTraits traits = UiEnvironment::instance().traitsOf(this);
  const QRectF circle = QRectF(rect());
  painter.setPen(Qt::NoPen);
  painter.setBrush(DropDesign::withOpacity(DropDesign::paper(), fillOpacity(m_hover.value())));
  painter.drawEllipse(circle);
  // A 1-point ring just inside the circle.
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, float(ringOpacity(traits.increasedContrast))), 1));
  painter.drawEllipse(circle.adjusted(0.5, 0.5, -0.5, -0.5));
  DropSymbols::paint(painter, QStringLiteral("xmark"), circle, 12, QFont::Normal, DropDesign::paper());
}

} // namespace brindlewick
