#pragma once

#include <QMargins>
#include <QWidgetItem>

namespace brindlewick {

// A layout item for a container of painted controls that reach its edges (a row of choices,
// a list of buttons): the layout places the controls' shapes, as it places a lone painted
// control, and the room the container keeps free at its edges for their shadows reaches over
// the neighbours and the layout's margins instead of pushing the shapes inwards and the
// neighbours away. `room` is that room on each side. It fills its cell across; with a
// vertical alignment it keeps its own height, placed so in its cell, else it fills it down too.
class ShapeLayoutItem : public QWidgetItem {
public:
  ShapeLayoutItem(QWidget* container, const QMargins& room, Qt::Alignment alignment = {});

  QSize sizeHint() const override;
  QSize minimumSize() const override;
  QSize maximumSize() const override;
  bool hasHeightForWidth() const override;
  int heightForWidth(int width) const override;
  void setGeometry(const QRect& rect) override;
  QRect geometry() const override;

private:
  QMargins m_room;
};

} // namespace brindlewick
