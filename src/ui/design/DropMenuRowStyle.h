#pragma once

#include "ui/design/DropPaintedButton.h"
#include "ui/design/UiEnvironment.h"

class QPainter;

namespace brindlewick {

// The look of a row of our own drop-down menus: full width, 32 high, a fill while hovered
// (eased) and pressed (at once), a red label for a destructive entry, 40 % opacity when
// disabled.
struct DropMenuRowStyle {
  bool destructive = false;

  static constexpr qreal height = 32;
  static constexpr qreal padding = 10; // each side of the label
  static constexpr qreal cornerRadius = 9;
  static constexpr qreal disabledOpacity = 0.4;

  // The fill of a row under the pointer (or pressed), shared with the pop-up lists.
  static QColor fill(ColorScheme scheme, bool pressed);
  // The row's fill; the label is the caller's.
  static void paint(QPainter& painter, const QRectF& row, const ControlState& state, ColorScheme scheme);
  QColor foreground(ColorScheme scheme) const;
};

// A menu row hosting the caller's label, laid out in the row with no margins of its own:
// the row keeps the 10-point padding and gives the label its font (13 regular) and colour
// through the font and palette it passes down, so a plain label needs nothing of its own.
// The row the keyboard is on takes the hover fill and the focus ring on its inner edge, also
// while it is disabled by its own work and the keyboard waits for it (dimmed with the rest of
// the row); the up and down arrows move
// through the menu's rows, stopping at its ends, from such a row too.
class DropMenuRow : public DropPaintedButton {
  Q_OBJECT

public:
  explicit DropMenuRow(const DropMenuRowStyle& style, QWidget* parent = nullptr);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
};

} // namespace brindlewick
