#pragma once

#include "ui/design/UiEnvironment.h"

#include <QColor>
#include <QRectF>

#include <optional>

class QPainter;

namespace brindlewick {

// The card surface of the dashboard's tiles and continue card: a faint diagonal wash of the
// accent (or of the neutral colour, paper in dark and ink in light) and a 1-point border.
namespace DashboardSurface {

inline constexpr qreal cornerRadius = 16;

// The accent, or the neutral colour of `scheme`.
QColor baseColor(const std::optional<QColor>& accent, ColorScheme scheme);
// `tinted` runs the wash the other way (strong at the top-leading corner).
void paint(QPainter& painter, const QRectF& rect, bool tinted, const std::optional<QColor>& accent,
           const UiTraits& traits);

} // namespace DashboardSurface

} // namespace brindlewick
