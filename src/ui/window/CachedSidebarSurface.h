#pragma once

#include "ui/design/DrawingCaches.h"
#include "ui/design/DropSidebarSurface.h"

#include <QPixmap>

namespace brindlewick {

// The sidebar's raised surface, painted once for each size, scheme, contrast and pixel ratio
// and then copied: the shadows are stretched from a picture, which costs far more than a copy,
// and the sidebar's rows repaint on every hover.
class CachedSidebarSurface : public DropSidebarSurface {
  Q_OBJECT

public:
  explicit CachedSidebarSurface(QWidget* parent = nullptr);

  // The picture as painted now (made when it is missing or stale).
  QPixmap picture();

protected:
  void paintEvent(QPaintEvent* event) override;
  // Hidden (the window closed), the picture is memory nobody looks at: it is made again at
  // the next paint.
  void hideEvent(QHideEvent* event) override;

private:
  QPixmap m_picture;
  UiTraits m_traits;
  DrawingCaches::Member m_cache{[this] { m_picture = QPixmap(); }};
};

} // namespace brindlewick
