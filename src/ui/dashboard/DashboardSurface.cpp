#include "ui/dashboard/DashboardSurface.h"

#include "ui/design/DropDesign.h"

#include <QPainter>

namespace brindlewick {

QColor DashboardSurface::baseColor(const std::optional<QColor>& accent, ColorScheme scheme) {
  if (accent)
    return *accent;
  return scheme == ColorScheme::dark ? DropDesign::paper() : DropDesign::ink();
}

void DashboardSurface::paint(QPainter& painter, const QRectF& rect, bool tinted,
                             const std::optional<QColor>& accent, const UiTraits& traits) {
  const QColor base = baseColor(accent, traits.scheme);
  QLinearGradient wash(rect.topLeft(), rect.bottomRight());
  wash.setColorAt(0, DropDesign::withOpacity(base, tinted ? 0.07 : 0.025));
  wash.setColorAt(1, DropDesign::withOpacity(base, tinted ? 0.025 : 0.07));
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillPath(DropDesign::roundedRect(rect, cornerRadius), wash);
  DropDesign::strokeInnerEdge(painter, rect, cornerRadius,
                              DropDesign::withOpacity(base, traits.increasedContrast ? 0.5 : 0.12));
  painter.restore();
}

} // namespace brindlewick
