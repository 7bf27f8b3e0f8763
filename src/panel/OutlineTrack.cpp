#include "panel/OutlineTrack.h"

#include <algorithm>
#include <cmath>

namespace brindlewick {

namespace {

QPointF cubicAt(QPointF p0, QPointF c1, QPointF c2, QPointF p1, double t) {
  const double u = 1 - t;
  return u * u * u * p0 + 3 * u * u * t * c1 + 3 * u * t * t * c2 + t * t * t * p1;
}

double distance(QPointF a, QPointF b) {
  return std::hypot(b.x() - a.x(), b.y() - a.y());
}

} // namespace

OutlineTrack::OutlineTrack(const QPainterPath& path) {
  const auto add = [this](QPointF point, bool jump) {
    const double along = m_points.isEmpty() || jump ? 0 : distance(m_points.last(), point);
    m_distances.append(m_distances.isEmpty() ? 0 : m_distances.last() + along);
    m_points.append(point);
  };
  for (int i = 0; i < path.elementCount(); ++i) {
    const QPainterPath::Element element = path.elementAt(i);
    if (element.isCurveTo() && i + 2 < path.elementCount() && !m_points.isEmpty()) {
      const QPointF from = m_points.last();
      const QPointF c1 = element;
      const QPointF c2 = path.elementAt(i + 1);
      const QPointF to = path.elementAt(i + 2);
      // The control polygon is never shorter than the curve: at least one sample a point.
      const double bound = distance(from, c1) + distance(c1, c2) + distance(c2, to);
      const int pieces = std::max(4, int(std::ceil(bound)));
      for (int piece = 1; piece <= pieces; ++piece)
        add(cubicAt(from, c1, c2, to, double(piece) / pieces), false);
      i += 2;
    } else {
      // A move starts a new subpath: the glint jumps across, the distance does not grow.
      add(element, element.isMoveTo());
    }
  }
}

QPointF OutlineTrack::pointAtFraction(double fraction) const {
  if (m_points.isEmpty())
    return {};
  const double total = length();
  if (!(total > 0))
    return m_points.first();
  const double at = std::clamp(fraction, 0.0, 1.0) * total;
  const auto next = std::upper_bound(m_distances.cbegin(), m_distances.cend(), at);
  if (next == m_distances.cend())
    return m_points.last();
  const qsizetype index = next - m_distances.cbegin();
  const double start = m_distances[index - 1];
  const double span = *next - start;
  const double t = span > 0 ? (at - start) / span : 0;
  return m_points[index - 1] + t * (m_points[index] - m_points[index - 1]);
}

} // namespace brindlewick
