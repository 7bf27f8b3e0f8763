#pragma once

#include <QColor>
#include <QPainterPath>
#include <QRectF>

class QPainter;

namespace brindlewick {

// The logo: an open book with a drop-shaped hole in its middle, drawn in a 64 × 64 design
// box and stretched to any rectangle, each axis on its own (it keeps its proportions only
// in a square). It is decoration: it is painted, never a widget of its own, so assistive
// technology does not see it.
namespace DropMark {

inline constexpr qreal designSize = 64;

// The outline in `rect`: the book, then the drop, with the odd-even fill rule that leaves
// the drop open.
QPainterPath path(const QRectF& rect);
void paint(QPainter& painter, const QRectF& rect, const QColor& color);

} // namespace DropMark

} // namespace brindlewick
