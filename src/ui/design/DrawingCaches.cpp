#include "ui/design/DrawingCaches.h"

#include <QPixmapCache>

#include <vector>

namespace brindlewick {

namespace {

std::vector<std::function<void()>>& registered() {
  static std::vector<std::function<void()>> clears;
  return clears;
}

} // namespace

void DrawingCaches::add(std::function<void()> clear) {
  registered().push_back(std::move(clear));
}

void DrawingCaches::release() {
  for (const std::function<void()>& clear : registered())
    clear();
  // Qt's own: the style's and the icons' pixmaps.
  QPixmapCache::clear();
}

} // namespace brindlewick
