#pragma once

#include <QList>
#include <QPainterPath>
#include <QPointF>

namespace brindlewick {

// A path measured once so that points along it cost a binary search: the path is cut into
// straight pieces about a point long (curves sampled on the curve itself), with the distance
// from the start to each piece's end. QPainterPath measures the whole path again for every
// point, which a glint stepping many times a second cannot afford.
class OutlineTrack {
public:
  OutlineTrack() = default;
  explicit OutlineTrack(const QPainterPath& path);

  double length() const { return m_distances.isEmpty() ? 0 : m_distances.last(); }
  // The point `fraction` of the length along the path (clamped to 0…1); the origin for an
  // empty path.
  QPointF pointAtFraction(double fraction) const;

private:
  QList<QPointF> m_points;
  QList<double> m_distances; // from the start to each point
};

} // namespace brindlewick
