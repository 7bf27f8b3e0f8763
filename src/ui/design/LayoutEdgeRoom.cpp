#include "ui/design/LayoutEdgeRoom.h"

#include <QBoxLayout>
#include <QEvent>
#include <QGridLayout>
#include <QList>
#include <QPointer>
#include <QStackedLayout>
#include <QWidget>

#include <algorithm>
#include <array>

namespace brindlewick::LayoutEdgeRoom {

namespace {

enum Side { left, top, right, bottom };
using Sides = std::array<bool, 4>;

struct Step {
  QLayout* layout;
  int index; // of the item that holds the widget, or the layout that does
};

// The layouts from `layout` down to the one holding `widget`.
bool pathTo(QLayout* layout, const QWidget* widget, QList<Step>& path) {
  for (int index = 0; index < layout->count(); ++index) {
    QLayoutItem* item = layout->itemAt(index);
    if (item->widget() == widget) {
      path.append({layout, index});
      return true;
    }
    if (QLayout* inner = item->layout()) {
      path.append({layout, index});
      if (pathTo(inner, widget, path))
        return true;
      path.removeLast();
    }
  }
  return false;
}

// Whether an item keeps its neighbours from an edge: a fixed space does, a stretch (which may
// be squeezed to nothing), a hidden widget or an empty layout does not.
bool separates(QLayoutItem* item, Qt::Orientation along) {
  if (QSpacerItem* spacer = item->spacerItem()) {
    const QSize hint = spacer->sizeHint();
    return (along == Qt::Horizontal ? hint.width() : hint.height()) > 0;
  }
  return !item->isEmpty();
}

// The edges of `layout`'s contents that its item at `index` reaches. A layout of a kind not
// known here keeps its items away from every edge.
Sides reached(QLayout* layout, int index) {
  if (auto* box = qobject_cast<QBoxLayout*>(layout)) {
    const QBoxLayout::Direction direction = box->direction();
    const bool horizontal = direction == QBoxLayout::LeftToRight || direction == QBoxLayout::RightToLeft;
    const Qt::Orientation along = horizontal ? Qt::Horizontal : Qt::Vertical;
    bool first = true;
    bool last = true;
    for (int other = 0; other < box->count(); ++other) {
      if (other != index && separates(box->itemAt(other), along))
        (other < index ? first : last) = false;
    }
    if (direction == QBoxLayout::RightToLeft || direction == QBoxLayout::BottomToTop)
      std::swap(first, last);
    return horizontal ? Sides{first, true, last, true} : Sides{true, first, true, last};
  }
  if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
    int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
    grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
    return {column == 0, row == 0, column + columnSpan >= grid->columnCount(),
            row + rowSpan >= grid->rowCount()};
  }
  if (qobject_cast<QStackedLayout*>(layout))
    return {true, true, true, true};
  return {false, false, false, false};
}

int side(const QMargins& margins, int which) {
  switch (which) {
  case left: return margins.left();
  case top: return margins.top();
  case right: return margins.right();
  default: return margins.bottom();
  }
}

// Watches the widget and its parent for the moments the room may change.
class Follower final : public QObject {
public:
  Follower(QWidget* widget, std::function<void()> changed)
      : QObject(widget), m_widget(widget), m_changed(std::move(changed)) {
    widget->installEventFilter(this);
    watchParent();
  }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (watched == m_widget) {
      if (type == QEvent::ParentChange)
        watchParent();
      if (type == QEvent::ParentChange || type == QEvent::Polish || type == QEvent::Show)
        m_changed();
    } else if (watched == m_parent && type == QEvent::LayoutRequest) {
      m_changed();
    }
    return false;
  }

private:
  void watchParent() {
    if (m_parent)
      m_parent->removeEventFilter(this);
    m_parent = m_widget->parentWidget();
    if (m_parent)
      m_parent->installEventFilter(this);
  }

  QWidget* m_widget;
  QPointer<QWidget> m_parent;
  std::function<void()> m_changed;
};

} // namespace

QMargins missing(const QWidget* widget, const QMargins& wanted) {
  QWidget* parent = widget->parentWidget();
  QList<Step> path;
  if (parent == nullptr || parent->layout() == nullptr || !pathTo(parent->layout(), widget, path))
    return {};
  Sides reaches{true, true, true, true};
  std::array<int, 4> room{};
  const QMargins outer = parent->contentsMargins();
  for (int which = left; which <= bottom; ++which)
    room[which] = side(outer, which);
  for (const Step& step : path) {
    const Sides here = reached(step.layout, step.index);
    const QMargins margins = step.layout->contentsMargins();
    for (int which = left; which <= bottom; ++which) {
      reaches[which] = reaches[which] && here[which];
      room[which] += side(margins, which);
    }
  }
  const auto lacking = [&](int which) {
    return reaches[which] ? std::max(0, side(wanted, which) - room[which]) : 0;
  };
  return QMargins(lacking(left), lacking(top), lacking(right), lacking(bottom));
}

void follow(QWidget* widget, std::function<void()> changed) {
  new Follower(widget, std::move(changed));
}

} // namespace brindlewick::LayoutEdgeRoom
