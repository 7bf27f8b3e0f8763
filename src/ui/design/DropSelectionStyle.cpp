#include "ui/design/DropSelectionStyle.h"

#include "ui/design/DropDesign.h"
#include "ui/design/DropGlass.h"

#include <QEvent>
#include <QLayout>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace brindlewick {

namespace {

bool isDark(ColorScheme scheme) {
  return scheme == ColorScheme::dark;
}

QColor withAlpha(QColor color, qreal alpha) {
  color.setAlphaF(float(color.alphaF() * alpha));
  return color;
}

QColor mixed(const QColor& from, const QColor& to, qreal t) {
  const auto mix = [t](float a, float b) { return float(a + (b - a) * t); };
  // Mixed premultiplied, so a clear end fades without changing hue.
  const float alpha = mix(from.alphaF(), to.alphaF());
  if (alpha <= 0)
    return Qt::transparent;
  return QColor::fromRgbF(mix(from.redF() * from.alphaF(), to.redF() * to.alphaF()) / alpha,
                          mix(from.greenF() * from.alphaF(), to.greenF() * to.alphaF()) / alpha,
                          mix(from.blueF() * from.alphaF(), to.blueF() * to.alphaF()) / alpha, alpha);
}

QPainterPath tilePath(const QRectF& rect, qreal radius) {
  QPainterPath path;
  path.addRoundedRect(rect, radius, radius);
  return path;
}

} // namespace

QColor DropSelectionStyle::selectedFill(ColorScheme scheme) const {
  return highlight ? withAlpha(*highlight, isDark(scheme) ? 0.25 : 0.16) : DropDesign::selection(scheme);
}

QColor DropSelectionStyle::hoverFill(ColorScheme scheme) const {
  return highlight ? withAlpha(*highlight, isDark(scheme) ? 0.10 : 0.065) : DropDesign::hover(scheme);
}

QColor DropSelectionStyle::borderColor(ColorScheme scheme) const {
  return highlight.value_or(isDark(scheme) ? DropDesign::paper() : DropDesign::ink());
}

QColor DropSelectionStyle::foreground(ColorScheme scheme) {
  return DropDesign::primaryLabel(scheme);
}

void DropSelectionStyle::paint(QPainter& painter, const QRectF& tile, const DropSelectionStyle& style,
                               qreal selection, const ControlState& state, const UiTraits& traits) {
  const QPainterPath shape = tilePath(tile, cornerRadius);
  // A selected glass tile ignores press, focus and hover; as it becomes selected the glass
  // fades in over the flat look.
  const qreal onGlass = style.glass ? selection : 0;
  const qreal filled = std::max({style.glass ? 0.0 : selection, state.focus, state.press});
  const QColor flat = mixed(withAlpha(style.hoverFill(traits.scheme), state.hover),
                            style.selectedFill(traits.scheme), filled);
  if (onGlass < 1 && flat.alpha() > 0)
    painter.fillPath(shape, withAlpha(flat, 1 - onGlass));
  if (onGlass > 0) {
    painter.save();
    painter.setOpacity(painter.opacity() * onGlass);
    DropGlass::paint(
        painter, shape,
        DropGlass::Style{DropGlass::Tone::clear, style.highlight, traits.scheme, traits.increasedContrast});
    painter.restore();
  }
  const qreal framed = std::max(state.focus, !style.glass && traits.increasedContrast ? selection : 0.0);
  if (framed > 0) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.strokePath(tilePath(tile.adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius - 0.5),
                       QPen(withAlpha(style.borderColor(traits.scheme), framed), 1));
    painter.restore();
  }
}

namespace {

QMargins marginsFor(const DropSelectionStyle& style) {
  if (!style.glass)
    return {};
  const QMarginsF margins = DropGlass::shadowMargins();
  return QMargins(int(std::ceil(margins.left())), int(std::ceil(margins.top())),
                  int(std::ceil(margins.right())), int(std::ceil(margins.bottom())));
}

} // namespace

DropSelectionItem::DropSelectionItem(const DropSelectionStyle& style, QWidget* parent)
    : DropPaintedButton(parent), m_style(style) {
  setShapeMargins(marginsFor(style));
  m_selection.set(style.selected, false);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  applyForeground();
  connect(&UiEnvironment::instance(), &UiEnvironment::changed, this, &DropSelectionItem::applyForeground);
}

void DropSelectionItem::setSelectionStyle(const DropSelectionStyle& style) {
  m_style = style;
  setShapeMargins(marginsFor(style));
  m_selection.set(style.selected);
  update();
}

void DropSelectionItem::setSelected(bool selected) {
  DropSelectionStyle style = m_style;
  style.selected = selected;
  setSelectionStyle(style);
}

void DropSelectionItem::applyForeground() {
  QPalette colours = palette();
  const QColor foreground = DropSelectionStyle::foreground(UiEnvironment::instance().schemeOf(this));
  for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
    colours.setColor(role, foreground);
  setPalette(colours);
}

bool DropSelectionItem::event(QEvent* event) {
  if (event->type() == QEvent::ParentChange)
    applyForeground();
  return DropPaintedButton::event(event);
}

// The caller's label decides the size; the margins come on top.
QSize DropSelectionItem::sizeHint() const {
  return layout() != nullptr ? layout()->totalSizeHint() : sizeAroundShape(QSizeF());
}

QSize DropSelectionItem::minimumSizeHint() const {
  return layout() != nullptr ? layout()->totalMinimumSize() : sizeAroundShape(QSizeF());
}

void DropSelectionItem::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  DropSelectionStyle::paint(painter, shapeRect(), m_style, m_selection.value(), controlState(),
                            UiEnvironment::instance().traitsOf(this));
}

} // namespace brindlewick
