#include "ui/design/DropMotion.h"

#include <QPointF>
#include <QVariantAnimation>

namespace brindlewick {

QEasingCurve DropMotion::curve(Kind kind) {
  QEasingCurve curve(QEasingCurve::BezierSpline);
  if (kind == Kind::feedback)
    curve.addCubicBezierSegment(QPointF(0.42, 0), QPointF(0.58, 1), QPointF(1, 1));
  else
    curve.addCubicBezierSegment(QPointF(0, 0), QPointF(0.58, 1), QPointF(1, 1));
  return curve;
}

int DropMotion::duration(Kind kind) {
  return kind == Kind::feedback ? feedbackMilliseconds : entranceMilliseconds;
}

void DropMotion::start(QVariantAnimation& animation, Kind kind, bool reduceMotion) {
  animation.setEasingCurve(curve(kind));
  animation.setDuration(duration(kind));
  animation.start();
  if (reduceMotion)
    animation.setCurrentTime(animation.totalDuration());
}

} // namespace brindlewick
