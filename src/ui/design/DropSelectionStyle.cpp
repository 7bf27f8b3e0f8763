#include "ui/design/DropSelectionStyle.h"

#include "ui/design/DropDesign.h"
#include "ui/design/DropFocusRing.h"
#include "ui/design/DropGlass.h"
#include "ui/design/DropStandardWidgets.h"

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

} // namespace

QColor DropSelectionStyle::selectedFill(ColorScheme scheme) const {
  return highlight ? DropDesign::withOpacity(*highlight, isDark(scheme) ? 0.25 : 0.16)
                   : DropDesign::selection(scheme);
}

QColor DropSelectionStyle::hoverFill(ColorScheme scheme) const {
  return highlight ? DropDesign::withOpacity(*highlight, isDark(scheme) ? 0.10 : 0.065)
                   : DropDesign::hover(scheme);
}

QColor DropSelectionStyle::borderColor(ColorScheme scheme) const {
  return highlight.value_or(DropDesign::foreground(scheme));
}

QColor DropSelectionStyle::foreground(ColorScheme scheme) {
  return DropDesign::primaryLabel(scheme);
}

void DropSelectionStyle::paint(QPainter& painter, const QRectF& tile, const DropSelectionStyle& style,
                               qreal selection, const ControlState& state, const UiTraits& traits) {
  const QPainterPath shape = DropDesign::roundedRect(tile, cornerRadius);
  // A selected glass tile ignores press and hover; as it becomes selected the glass fades in
  // over the flat look. Focus fills nothing: a focused tile the reader has not chosen must not
  // look chosen, so the keyboard shows as the ring alone.
  const qreal onGlass = style.glass ? selection : 0;
  const qreal filled = std::max({style.glass ? 0.0 : selection, state.press});
  const QColor flat = DropDesign::mixed(DropDesign::withOpacity(style.hoverFill(traits.scheme), state.hover),
                                        style.selectedFill(traits.scheme), filled);
  if (onGlass < 1 && flat.alpha() > 0)
    painter.fillPath(shape, DropDesign::withOpacity(flat, 1 - onGlass));
  if (onGlass > 0) {
    painter.save();
    painter.setOpacity(painter.opacity() * onGlass);
    DropGlass::paint(
        painter, shape,
        DropGlass::Style{DropGlass::Tone::clear, style.highlight, traits.scheme, traits.increasedContrast});
    painter.restore();
  }
  const qreal framed = !style.glass && traits.increasedContrast ? selection : 0.0;
  if (framed > 0) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    DropDesign::strokeInnerEdge(painter, tile, cornerRadius,
                                DropDesign::withOpacity(style.borderColor(traits.scheme), framed));
    painter.restore();
  }
  if (state.focus > 0) {
    const qreal centre = DropFocusRing::outset - DropFocusRing::lineWidth / 2;
    DropFocusRing::stroke(
        painter,
        DropDesign::roundedRect(tile.adjusted(-centre, -centre, centre, centre), cornerRadius + centre),
        DropDesign::withOpacity(DropFocusRing::color(traits.scheme), state.focus));
  }
}

DropSelectionItem::DropSelectionItem(const DropSelectionStyle& style, QWidget* parent)
    : DropPaintedButton(parent), m_style(style) {
  setShapeMargins(shapeRoom(style));
  m_selection.set(style.selected, false);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  // Up and Down move through a column of items (the sidebar's pages).
  setMovesInColumn(true);
  DropStandardWidgets::keepForeground(
      this, [](const UiTraits& traits) { return DropSelectionStyle::foreground(traits.scheme); });
}

void DropSelectionItem::setSelectionStyle(const DropSelectionStyle& style) {
  m_style = style;
  setShapeMargins(shapeRoom(style));
  m_selection.set(style.selected);
  update();
}

QMargins DropSelectionItem::shapeRoom(const DropSelectionStyle& style) {
  // Room for the ring outside the tile; the glass's shadows reach further.
  const int ring = int(DropFocusRing::outset);
  return style.glass ? glassShadowRoom() : QMargins(ring, ring, ring, ring);
}

void DropSelectionItem::setSelected(bool selected) {
  DropSelectionStyle style = m_style;
  style.selected = selected;
  setSelectionStyle(style);
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
