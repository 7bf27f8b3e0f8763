#include "panel/PanelMotion.h"

#include <algorithm>
#include <cmath>

namespace brindlewick::PanelMotion {

namespace {

// At least `floor`; a value that is not a number gives `floor`.
double atLeast(double value, double floor) {
  return value >= floor ? value : floor;
}

} // namespace

double duration(bool opening, bool reduceMotion) {
  if (reduceMotion)
    return 0;
  return opening ? openingDuration : closingDuration;
}

Rect originFrame(const Rect& expanded, std::optional<double> notchWidth, std::optional<double> notchHeight,
                 bool vertical) {
  const double width =
      vertical ? expanded.width : std::min(atLeast(notchWidth.value_or(72), 1), expanded.width);
  const double height = std::min(atLeast(notchHeight.value_or(10), 1), expanded.height);
  return Rect{expanded.midX() - width / 2, expanded.maxY() - height, width, height};
}

Rect presentationOrigin(const Rect& expanded, const std::optional<Rect>& teaser, const Rect& fallback) {
  if (teaser && !teaser->isEmpty() && std::abs(teaser->midX() - expanded.midX()) < 1 &&
      std::abs(teaser->maxY() - expanded.maxY()) < 1)
    return *teaser;
  return fallback;
}

double smootherstep(double progress) {
  const double t = std::min(progress > 0 ? progress : 0.0, 1.0);
  return t * t * t * (t * (6 * t - 15) + 10);
}

Rect frame(const Rect& from, const Rect& to, double progress, bool /*opening*/) {
  const double e = smootherstep(progress);
  const auto mix = [e](double a, double b) { return a + e * (b - a); };
  return Rect{mix(from.x, to.x), mix(from.y, to.y), mix(from.width, to.width), mix(from.height, to.height)};
}

} // namespace brindlewick::PanelMotion
