#include "ui/design/FitLayout.h"

#include <QWidget>

#include <algorithm>

namespace brindlewick {

FitLayout::FitLayout(QWidget* parent) : QLayout(parent) {
  setContentsMargins(0, 0, 0, 0);
}

FitLayout::~FitLayout() {
  qDeleteAll(m_items);
}

void FitLayout::setRowSpacing(int spacing) {
  m_rowSpacing = spacing;
  invalidate();
}

void FitLayout::setColumnSpacing(int spacing) {
  m_columnSpacing = spacing;
  invalidate();
}

void FitLayout::addItem(QLayoutItem* item) {
  m_items.append(item);
  invalidate();
}

QLayoutItem* FitLayout::itemAt(int index) const {
  return index >= 0 && index < m_items.size() ? m_items[index] : nullptr;
}

QLayoutItem* FitLayout::takeAt(int index) {
  if (index < 0 || index >= m_items.size())
    return nullptr;
  QLayoutItem* item = m_items.takeAt(index);
  invalidate();
  return item;
}

QList<QLayoutItem*> FitLayout::visibleItems() const {
  QList<QLayoutItem*> visible;
  for (QLayoutItem* item : m_items)
    if (!item->isEmpty())
      visible.append(item);
  return visible;
}

QSize FitLayout::rowSize() const {
  const QList<QLayoutItem*> items = visibleItems();
  int width = 0;
  int height = 0;
  for (QLayoutItem* item : items) {
    const QSize hint = item->sizeHint();
    width += hint.width();
    height = std::max(height, hint.height());
  }
  width += m_rowSpacing * std::max<int>(0, int(items.size()) - 1);
  return QSize(width, height).grownBy(margins());
}

int FitLayout::columnHeight() const {
  const QList<QLayoutItem*> items = visibleItems();
  int height = 0;
  for (QLayoutItem* item : items)
    height += item->sizeHint().height();
  height += m_columnSpacing * std::max<int>(0, int(items.size()) - 1);
  return height + margins().top() + margins().bottom();
}

bool FitLayout::fitsRow(int width) const {
  return rowSize().width() <= width;
}

QSize FitLayout::sizeHint() const {
  return rowSize();
}

QSize FitLayout::minimumSize() const {
  int width = 0;
  for (QLayoutItem* item : visibleItems())
    width = std::max(width, item->minimumSize().width());
  return QSize(width + margins().left() + margins().right(), rowSize().height());
}

int FitLayout::heightForWidth(int width) const {
  return fitsRow(width) ? rowSize().height() : columnHeight();
}

void FitLayout::setGeometry(const QRect& rect) {
  QLayout::setGeometry(rect);
  m_isRow = fitsRow(rect.width());
  const QRect area = rect.marginsRemoved(margins());
  if (m_isRow) {
    const int rowHeight = rowSize().height() - margins().top() - margins().bottom();
    int x = area.left();
    for (QLayoutItem* item : visibleItems()) {
      const QSize hint = item->sizeHint();
      item->setGeometry(QRect(x, area.top() + (rowHeight - hint.height()) / 2, hint.width(), hint.height()));
      x += hint.width() + m_rowSpacing;
    }
    return;
  }
  int y = area.top();
  for (QLayoutItem* item : visibleItems()) {
    const QSize hint = item->sizeHint();
    item->setGeometry(QRect(area.left(), y, std::min(hint.width(), area.width()), hint.height()));
    y += hint.height() + m_columnSpacing;
  }
}

} // namespace brindlewick
