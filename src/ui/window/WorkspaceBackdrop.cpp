#include "ui/window/WorkspaceBackdrop.h"

#include "ui/design/DrawingCaches.h"
#include "ui/design/DropDesign.h"

#include <QPainter>

namespace brindlewick {

namespace {

struct Cached {
  QSize size;
  ColorScheme scheme = ColorScheme::light;
  qreal ratio = 0;
  QPixmap picture;
};

Cached& cached() {
  static Cached instance;
  [[maybe_unused]] static const bool registered = (DrawingCaches::add([] { instance = {}; }), true);
  return instance;
}

int& made() {
  static int count = 0;
  return count;
}

} // namespace

QPixmap WorkspaceBackdrop::picture(QSize size, ColorScheme scheme, qreal ratio) {
  Cached& last = cached();
  if (!last.picture.isNull() && last.size == size && last.scheme == scheme && last.ratio == ratio)
    return last.picture;
  QPixmap picture(size * ratio);
  picture.setDevicePixelRatio(ratio);
  {
    QPainter painter(&picture);
    DropDesign::paintWorkspaceBackground(painter, QRectF(QPointF(), QSizeF(size)), scheme);
  }
  ++made();
  last = {size, scheme, ratio, picture};
  return picture;
}

int WorkspaceBackdrop::madeCount() {
  return made();
}

} // namespace brindlewick
