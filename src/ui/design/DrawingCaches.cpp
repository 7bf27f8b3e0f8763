#include "ui/design/DrawingCaches.h"

#include <QPixmapCache>

#include <vector>

namespace brindlewick {

namespace {

struct Registered {
  int id; // 0 for the caches that live as long as the process
  std::function<void()> clear;
};

std::vector<Registered>& registered() {
  static std::vector<Registered> caches;
  return caches;
}

} // namespace

void DrawingCaches::add(std::function<void()> clear) {
  registered().push_back({0, std::move(clear)});
}

void DrawingCaches::release() {
  for (const Registered& cache : registered())
    cache.clear();
  // Qt's own: the style's and the icons' pixmaps.
  QPixmapCache::clear();
}

DrawingCaches::Member::Member(std::function<void()> clear) {
  static int lastId = 0;
  m_id = ++lastId;
  registered().push_back({m_id, std::move(clear)});
}

DrawingCaches::Member::~Member() {
  std::erase_if(registered(), [this](const Registered& cache) { return cache.id == m_id; });
}

} // namespace brindlewick
