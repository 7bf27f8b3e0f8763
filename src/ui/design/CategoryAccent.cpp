#include "ui/design/CategoryAccent.h"

namespace brindlewick {

QColor accent(Category category, ColorScheme scheme) {
  const CategoryPalette colors = palette(category);
  const bool dark = scheme == ColorScheme::dark;
  return QColor::fromHsvF(float(colors.hue), float(colors.saturation * (dark ? 0.34 : 0.78)),
                          dark ? 0.98f : 0.48f);
}

} // namespace brindlewick
