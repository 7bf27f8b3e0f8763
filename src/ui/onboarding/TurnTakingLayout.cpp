#include "ui/onboarding/TurnTakingLayout.h"

#include <QWidget>

#include <algorithm>

namespace brindlewick {

TurnTakingLayout::TurnTakingLayout(QWidget* parent) : QLayout(parent) {
  setContentsMargins(0, 0, 0, 0);
}

TurnTakingLayout::~TurnTakingLayout() {
  while (QLayoutItem* item = takeAt(0))
    delete item;
}

void TurnTakingLayout::setCurrent(QWidget* pane) {
  if (pane == m_current)
    return;
  m_current = pane;
  for (QLayoutItem* item : std::as_const(m_items))
    item->widget()->setVisible(item->widget() == pane);
  invalidate();
}

void TurnTakingLayout::addItem(QLayoutItem* item) {
  // Widgets only: a pane is something to show and hide.
  if (item->widget() == nullptr) {
    delete item;
    return;
  }
  m_items.append(item);
  if (m_current == nullptr)
    m_current = item->widget();
  else
    item->widget()->hide();
}

QLayoutItem* TurnTakingLayout::takeAt(int index) {
  if (index < 0 || index >= m_items.size())
    return nullptr;
  QLayoutItem* item = m_items.takeAt(index);
  if (item->widget() == m_current)
    m_current = nullptr;
  return item;
}

QSize TurnTakingLayout::sizeHint() const {
  int width = 0;
  for (const QLayoutItem* item : m_items)
    width = std::max(width, item->widget()->sizeHint().width());
  return QSize(width, heightForWidth(width));
}

QSize TurnTakingLayout::minimumSize() const {
  int width = 0;
  for (const QLayoutItem* item : m_items)
    width = std::max(width, item->widget()->minimumSizeHint().width());
  return QSize(width, heightForWidth(width));
}

int TurnTakingLayout::heightForWidth(int width) const {
  int height = 0;
  for (const QLayoutItem* item : m_items) {
    const QWidget* pane = item->widget();
    height = std::max(height, pane->hasHeightForWidth() ? pane->heightForWidth(width) : pane->sizeHint().height());
  }
  return height;
}

void TurnTakingLayout::setGeometry(const QRect& rect) {
  QLayout::setGeometry(rect);
  for (const QLayoutItem* item : std::as_const(m_items))
    item->widget()->setGeometry(rect);
}

} // namespace brindlewick
