#include "ui/window/ReaderTabTint.h"

namespace brindlewick {

QColor tint(ReaderTab tab, ColorScheme scheme) {
  const bool dark = scheme == ColorScheme::dark;
  const auto rgb = [](float red, float green, float blue) { return QColor::fromRgbF(red, green, blue); };
  switch (tab) {
  case ReaderTab::discover:
  case ReaderTab::history:
  case ReaderTab::read: return dark ? rgb(0.51f, 0.81f, 0.72f) : rgb(0.16f, 0.44f, 0.37f);
  case ReaderTab::saved: return dark ? rgb(1.0f, 0.76f, 0.34f) : rgb(0.95f, 0.55f, 0.0f);
  case ReaderTab::welcome: return dark ? rgb(0.49f, 0.67f, 1.0f) : rgb(0.13f, 0.37f, 0.86f);
  case ReaderTab::settings: return dark ? rgb(0.76f, 0.70f, 0.98f) : rgb(0.43f, 0.34f, 0.68f);
  }
  return {};
}

} // namespace brindlewick
