#include "ui/design/DropMark.h"

#include <QPainter>

namespace brindlewick {

namespace {

// One cubic step as the design lists it: the end point first, then the two control points.
struct Curve {
  QPointF end;
  QPointF control1;
  QPointF control2;
};

} // namespace

QPainterPath DropMark::path(const QRectF& rect) {
  const auto at = [&rect](QPointF design) {
    return QPointF(rect.left() + design.x() * rect.width() / designSize,
                   rect.top() + design.y() * rect.height() / designSize);
  };
  QPainterPath outline;
  outline.setFillRule(Qt::OddEvenFill);
  const auto curveTo = [&outline, &at](const Curve& curve) {
    outline.cubicTo(at(curve.control1), at(curve.control2), at(curve.end));
  };

  // The book.
  outline.moveTo(at({11, 12}));
  curveTo({{32, 18}, {19, 12}, {25, 14}});
  curveTo({{53, 12}, {39, 14}, {45, 12}});
  curveTo({{56, 16}, {55, 12}, {56, 13.5}});
  outline.lineTo(at({56, 43}));
  curveTo({{52.5, 46}, {56, 45}, {54.5, 46}});
  curveTo({{34, 51}, {45, 46}, {39, 48}});
  curveTo({{30, 51}, {32.8, 51.8}, {31.2, 51.8}});
  curveTo({{11.5, 46}, {25, 48}, {19, 46}});
  curveTo({{8, 43}, {9.5, 46}, {8, 45}});
  outline.lineTo(at({8, 16}));
  curveTo({{11, 12}, {8, 13.5}, {9, 12}});
  outline.closeSubpath();

  // The drop.
  outline.moveTo(at({32, 24}));
  curveTo({{24, 36}, {30, 27}, {24, 33}});
  curveTo({{32, 44}, {24, 40.4}, {27.6, 44}});
  curveTo({{40, 36}, {36.4, 44}, {40, 40.4}});
  curveTo({{32, 24}, {40, 33}, {34, 27}});
  outline.closeSubpath();
  return outline;
}

void DropMark::paint(QPainter& painter, const QRectF& rect, const QColor& color) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(color);
  painter.drawPath(path(rect));
  painter.restore();
}

} // namespace brindlewick
