#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>

namespace brindlewick {

// A rectangle in points with y growing upward, as the panel geometry is reasoned about:
// (x, y) is the bottom-left corner and maxY() the top edge. Qt's QRectF reads the same
// numbers with y growing downward, so the two are kept apart; conversions between global
// points and Qt's desktop coordinates live in DesktopMapping (ScreenSource.h).
// Sizes are expected to be non-negative.
struct Rect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;

  constexpr double minX() const { return x; }
  constexpr double midX() const { return x + width / 2; }
  constexpr double maxX() const { return x + width; }
  constexpr double minY() const { return y; }
  constexpr double midY() const { return y + height / 2; }
  constexpr double maxY() const { return y + height; }
  QSizeF size() const { return {width, height}; }

  // No area: a zero or negative side, or a side that is not a number.
  constexpr bool isEmpty() const { return !(width > 0 && height > 0); }
  // The common part, absent when the two do not meet at all; rectangles that only touch
  // share an empty rectangle.
  std::optional<Rect> intersected(const Rect& other) const;
  // The smallest rectangle of whole points that contains this one (rounded outward).
  Rect integral() const;
  // Left and bottom edges inside, right and top edges outside.
  bool contains(QPointF point) const;
  bool contains(const Rect& other) const;

  // The same four numbers as a QRectF, without any change of orientation.
  QRectF toQRectF() const { return {x, y, width, height}; }
  static Rect fromQRectF(const QRectF& rect) { return {rect.x(), rect.y(), rect.width(), rect.height()}; }

  friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

} // namespace brindlewick
