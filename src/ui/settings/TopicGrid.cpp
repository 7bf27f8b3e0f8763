#include "ui/settings/TopicGrid.h"

#include <algorithm>

namespace brindlewick {

TopicGrid::TopicGrid(QWidget* parent) : QWidget(parent) {
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

void TopicGrid::addCell(QWidget* cell) {
  cell->setParent(this);
  m_cells.append(cell);
  updateGeometry();
  place();
}

int TopicGrid::columns(int width) {
  return std::max(1, (width + columnSpacing) / (minimumColumnWidth + columnSpacing));
}

int TopicGrid::rowHeight() const {
  int height = 0;
  for (const QWidget* cell : m_cells)
    height = std::max(height, cell->sizeHint().height());
  return height;
}

int TopicGrid::heightForWidth(int width) const {
  const int perRow = columns(width);
  const int rows = int((m_cells.size() + perRow - 1) / perRow);
  return 2 * inset + rows * rowHeight() + std::max(0, rows - 1) * rowSpacing;
}

QSize TopicGrid::sizeHint() const {
  const int width = 2 * minimumColumnWidth + columnSpacing;
  return {width, heightForWidth(width)};
}

QSize TopicGrid::minimumSizeHint() const {
  return {minimumColumnWidth, heightForWidth(minimumColumnWidth)};
}

void TopicGrid::resizeEvent(QResizeEvent*) {
  place();
}

void TopicGrid::place() {
  const int perRow = columns(width());
  const int cellWidth = std::max(0, (width() - (perRow - 1) * columnSpacing) / perRow);
  const int height = rowHeight();
  for (qsizetype index = 0; index < m_cells.size(); ++index) {
    const int row = int(index / perRow);
    const int column = int(index % perRow);
    m_cells[index]->setGeometry(column * (cellWidth + columnSpacing), inset + row * (height + rowSpacing),
                                cellWidth, height);
  }
}

} // namespace brindlewick
