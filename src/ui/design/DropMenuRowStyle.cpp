#include "ui/design/DropMenuRowStyle.h"

#include "ui/design/DropDesign.h"
#include "ui/design/DropFocusRing.h"
#include "ui/design/DropFonts.h"
#include "ui/design/DropStandardWidgets.h"
#include "ui/design/SingleEffect.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QLayout>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace brindlewick {

namespace {

QColor neutral(ColorScheme scheme, qreal darkAlpha, qreal lightAlpha) {
  return DropDesign::withOpacity(DropDesign::foreground(scheme),
                                 scheme == ColorScheme::dark ? darkAlpha : lightAlpha);
}

} // namespace

QColor DropMenuRowStyle::fill(ColorScheme scheme, bool pressed) {
  return pressed ? neutral(scheme, 0.16, 0.10) : neutral(scheme, 0.10, 0.055);
}

void DropMenuRowStyle::paint(QPainter& painter, const QRectF& row, const ControlState& state,
                             ColorScheme scheme) {
  // The row the keyboard is on is lit as the one under the pointer, as in any menu, and ringed
  // as every control the keyboard is on, so it stands apart from the row under the pointer; a
  // row disabled while the keyboard waits for it keeps both, so the reader sees where it is.
  // Rows sit edge to edge in their menu: the ring lies on the row's inner edge.
  const qreal lit = state.enabled ? std::max(state.hover, state.focus) : state.focus;
  const QColor color =
      state.press > 0 ? fill(scheme, true) : DropDesign::withOpacity(fill(scheme, false), lit);
  if (color.alpha() > 0) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(DropDesign::roundedRect(row, cornerRadius), color);
    painter.restore();
  }
  if (state.focus > 0) {
    const qreal centre = DropFocusRing::lineWidth / 2;
    DropFocusRing::stroke(
        painter,
        DropDesign::roundedRect(row.adjusted(centre, centre, -centre, -centre), cornerRadius - centre),
        DropDesign::withOpacity(DropFocusRing::color(scheme), state.focus));
  }
}

QColor DropMenuRowStyle::foreground(ColorScheme scheme) const {
  return destructive ? DropDesign::systemRed(scheme) : DropDesign::primaryLabel(scheme);
}

DropMenuRow::DropMenuRow(const DropMenuRowStyle& style, QWidget* parent) : DropPaintedButton(parent) {
  setPressAnimated(false);
  setMovesInColumn(true);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setFont(DropFonts::rounded(13, QFont::Normal).font());
  const int padding = int(DropMenuRowStyle::padding);
  setContentsMargins(padding, 0, padding, 0);
  DropStandardWidgets::keepForeground(this, [destructive = style.destructive](const UiTraits& traits) {
    return DropMenuRowStyle{destructive}.foreground(traits.scheme);
  });
}

// Disabled, everything (the caller's label included) fades as one picture. Only a row
// disabled itself fades: a menu disabled around it (while it closes, say) is not a row that
// cannot be used.
void DropMenuRow::changeEvent(QEvent* event) {
  DropPaintedButton::changeEvent(event);
  if (event->type() != QEvent::EnabledChange)
    return;
  const bool faded = !isEnabled() && testAttribute(Qt::WA_ForceDisabled);
  if (!faded) {
    if (graphicsEffect() != nullptr)
      SingleEffect::clear(this);
  } else if (graphicsEffect() == nullptr) {
    auto* fade = new QGraphicsOpacityEffect(this);
    fade->setOpacity(DropMenuRowStyle::disabledOpacity);
    SingleEffect::set(this, fade);
  }
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
