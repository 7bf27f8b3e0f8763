#include "geometry/Rect.h"

#include <algorithm>
#include <cmath>

namespace brindlewick {

std::optional<Rect> Rect::intersected(const Rect& other) const {
  const double left = std::max(minX(), other.minX());
  const double right = std::min(maxX(), other.maxX());
  const double bottom = std::max(minY(), other.minY());
  const double top = std::min(maxY(), other.maxY());
  if (!(left <= right && bottom <= top))
    return std::nullopt;
  return Rect{left, bottom, right - left, top - bottom};
}

Rect Rect::integral() const {
  const double left = std::floor(minX());
  const double bottom = std::floor(minY());
  return Rect{left, bottom, std::ceil(maxX()) - left, std::ceil(maxY()) - bottom};
}

bool Rect::contains(QPointF point) const {
  return point.x() >= minX() && point.x() < maxX() && point.y() >= minY() && point.y() < maxY();
}

bool Rect::contains(const Rect& other) const {
  return other.minX() >= minX() && other.maxX() <= maxX() && other.minY() >= minY() && other.maxY() <= maxY();
}

} // namespace brindlewick
