#include "ui/design/DropMenuRowStyle.h"

#include "ui/design/DropDesign.h"
#include "ui/design/DropFonts.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QLayout>
#include <QPainter>

#include <cmath>

namespace brindlewick {

namespace {

bool isDark(ColorScheme scheme) {
  return scheme == ColorScheme::dark;
}

QColor neutral(ColorScheme scheme, qreal darkAlpha, qreal lightAlpha) {
  QColor color = isDark(scheme) ? DropDesign::paper() : DropDesign::ink();
  color.setAlphaF(float(isDark(scheme) ? darkAlpha : lightAlpha));
  return color;
}

} // namespace

void DropMenuRowStyle::paint(QPainter& painter, const QRectF& row, const ControlState& state,
                             ColorScheme scheme) {
  const QColor pressed = neutral(scheme, 0.16, 0.10);
  QColor fill = neutral(scheme, 0.10, 0.055);
  fill.setAlphaF(float(fill.alphaF() * (state.enabled ? state.hover : 0)));
  if (state.press > 0)
    fill = pressed;
  if (fill.alpha() == 0)
    return;
  QPainterPath shape;
  shape.addRoundedRect(row, cornerRadius, cornerRadius);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillPath(shape, fill);
  painter.restore();
}

QColor DropMenuRowStyle::foreground(ColorScheme scheme) const {
  return destructive ? DropDesign::systemRed(scheme) : DropDesign::primaryLabel(scheme);
}

DropMenuRow::DropMenuRow(const DropMenuRowStyle& style, QWidget* parent)
    : DropPaintedButton(parent), m_style(style) {
  setPressAnimated(false);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setFont(DropFonts::rounded(13, QFont::Normal).font());
  const int padding = int(DropMenuRowStyle::padding);
  setContentsMargins(padding, 0, padding, 0);
  applyLook();
  connect(&UiEnvironment::instance(), &UiEnvironment::changed, this, &DropMenuRow::applyLook);
}

void DropMenuRow::applyLook() {
  QPalette colours = palette();
  const QColor foreground = m_style.foreground(UiEnvironment::instance().schemeOf(this));
  for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) {
    colours.setColor(QPalette::Active, role, foreground);
    colours.setColor(QPalette::Inactive, role, foreground);
    colours.setColor(QPalette::Disabled, role, foreground);
  }
  setPalette(colours);
  // Everything, the caller's label included, fades as one picture when disabled.
  if (isEnabled()) {
    setGraphicsEffect(nullptr);
  } else if (graphicsEffect() == nullptr) {
    auto* fade = new QGraphicsOpacityEffect(this);
    fade->setOpacity(DropMenuRowStyle::disabledOpacity);
    setGraphicsEffect(fade);
  }
}

bool DropMenuRow::event(QEvent* event) {
  if (event->type() == QEvent::ParentChange)
    applyLook();
  return DropPaintedButton::event(event);
}

void DropMenuRow::changeEvent(QEvent* event) {
  DropPaintedButton::changeEvent(event);
  if (event->type() == QEvent::EnabledChange)
    applyLook();
}

QSize DropMenuRow::sizeHint() const {
  const int width =
      layout() != nullptr ? layout()->totalSizeHint().width() : 2 * int(DropMenuRowStyle::padding);
  return QSize(width, int(DropMenuRowStyle::height));
}

QSize DropMenuRow::minimumSizeHint() const {
  const int width =
      layout() != nullptr ? layout()->totalMinimumSize().width() : 2 * int(DropMenuRowStyle::padding);
  return QSize(width, int(DropMenuRowStyle::height));
}

void DropMenuRow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  DropMenuRowStyle::paint(painter, shapeRect(), controlState(), UiEnvironment::instance().schemeOf(this));
}

} // namespace brindlewick
