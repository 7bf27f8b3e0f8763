#include "ui/design/ShapeLayoutItem.h"

#include <QWidget>

#include <algorithm>

namespace brindlewick {

ShapeLayoutItem::ShapeLayoutItem(QWidget* container, const QMargins& room, Qt::Alignment alignment)
    : QWidgetItem(container), m_room(room) {
  setAlignment(alignment);
}

// A hidden container takes no room at all: its sizes are empty, not its room taken off them,
// since a box layout adds an empty item's size too and a negative one would eat its neighbours'.
QSize ShapeLayoutItem::sizeHint() const {
  return isEmpty() ? QSize(0, 0) : QWidgetItem::sizeHint().shrunkBy(m_room).expandedTo(QSize(0, 0));
}

QSize ShapeLayoutItem::minimumSize() const {
  return isEmpty() ? QSize(0, 0) : QWidgetItem::minimumSize().shrunkBy(m_room).expandedTo(QSize(0, 0));
}

QSize ShapeLayoutItem::maximumSize() const {
  // Bounded as the container is, less its room; unbounded stays so.
  if (isEmpty())
    return QSize(0, 0);
  const QSize most = QWidgetItem::maximumSize();
  return QSize(most.width() >= QWIDGETSIZE_MAX ? most.width() : most.width() - m_room.left() - m_room.right(),
               most.height() >= QWIDGETSIZE_MAX ? most.height()
                                                : most.height() - m_room.top() - m_room.bottom());
}

bool ShapeLayoutItem::hasHeightForWidth() const {
  return QWidgetItem::hasHeightForWidth();
}

int ShapeLayoutItem::heightForWidth(int width) const {
  const int height = QWidgetItem::heightForWidth(width + m_room.left() + m_room.right());
  return height < 0 ? height : std::max(0, height - m_room.top() - m_room.bottom());
}

void ShapeLayoutItem::setGeometry(const QRect& rect) {
  if (isEmpty())
    return;
  QRect shapes = rect;
  if (alignment() & Qt::AlignVertical_Mask) {
    const int height =
        std::min(rect.height(), hasHeightForWidth() ? heightForWidth(rect.width()) : sizeHint().height());
    shapes.setHeight(height);
    if (alignment() & Qt::AlignVCenter)
      shapes.moveTop(rect.top() + (rect.height() - height) / 2);
    else if (alignment() & Qt::AlignBottom)
      shapes.moveBottom(rect.bottom());
  }
  widget()->setGeometry(shapes.marginsAdded(m_room));
}

QRect ShapeLayoutItem::geometry() const {
  return widget()->geometry().marginsRemoved(m_room);
}

} // namespace brindlewick
