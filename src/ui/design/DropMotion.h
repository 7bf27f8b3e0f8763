#pragma once

#include <QEasingCurve>

class QVariantAnimation;

namespace brindlewick {

// The two motions of the interface: hover, focus, press and selection feedback eases in and
// out over 0.16 s; a page entering eases out over 0.24 s. Under Reduce Motion neither runs:
// the value jumps to its end.
namespace DropMotion {

enum class Kind { feedback, entrance };

inline constexpr int feedbackMilliseconds = 160;
inline constexpr int entranceMilliseconds = 240;

QEasingCurve curve(Kind kind);
int duration(Kind kind);
// Gives `animation` the curve and duration of `kind` and starts it; with `reduceMotion` it
// ends at once, at its end value (finished() is emitted before this returns).
void start(QVariantAnimation& animation, Kind kind, bool reduceMotion);

} // namespace DropMotion

} // namespace brindlewick
