#pragma once

#include <QList>
#include <QWidget>

namespace brindlewick {

// Cells in as many equal columns of at least minimumColumnWidth as fit the width, decided again
// at every resize, row by row in the order they were added.
class TopicGrid : public QWidget {
  Q_OBJECT

public:
  static constexpr int minimumColumnWidth = 170;
  static constexpr int columnSpacing = 8;
  static constexpr int rowSpacing = 12;
  static constexpr int inset = 6; // above and below

  explicit TopicGrid(QWidget* parent = nullptr);

  void addCell(QWidget* cell);
  static int columns(int width);
  int columnCount() const { return columns(width()); }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;

protected:
  void resizeEvent(QResizeEvent* event) override;

private:
  int rowHeight() const;
  void place();

  QList<QWidget*> m_cells;
};

} // namespace brindlewick
