#pragma once

#include "geometry/Rect.h"

#include <optional>

namespace brindlewick {

// Timing and frame arithmetic of the panel's opening and closing, in global points (y up).
namespace PanelMotion {

inline constexpr double openingDuration = 0.52;
inline constexpr double closingDuration = 0.36;

// Seconds; 0 with Reduce Motion.
double duration(bool opening, bool reduceMotion);
// The small rectangle at the top centre of `expanded` that the panel grows out of: as wide
// as the notch (72 pt without one; the full width when `vertical`) and as tall as the notch
// (10 pt without one), at least 1 pt and at most the expanded size in each direction.
Rect originFrame(const Rect& expanded, std::optional<double> notchWidth, std::optional<double> notchHeight,
                 bool vertical);
// The teaser frame when it sits at the same top centre as `expanded` (within 1 pt) and is
// not empty, else `fallback`.
Rect presentationOrigin(const Rect& expanded, const std::optional<Rect>& teaser, const Rect& fallback);
// 6t^5 - 15t^4 + 10t^3 of the progress clamped to 0...1 (not a number counts as 0).
double smootherstep(double progress);
// The frame at `progress` from `from` to `to`, eased with smootherstep; the same curve opens
// and closes.
Rect frame(const Rect& from, const Rect& to, double progress, bool opening);

} // namespace PanelMotion

} // namespace brindlewick
