#pragma once

#include <QLayout>
#include <QList>

namespace brindlewick {

// Lays its items out in a row when the row's size hint fits the width it is given, and in a
// column otherwise, decided again at every resize: buttons stand side by side in a wide host
// and stack in a narrow one. The row centres its items vertically; the column aligns them
// leading. Items keep their size hints (a column item is at most as wide as the layout);
// hidden items take no room.
class FitLayout : public QLayout {
public:
  explicit FitLayout(QWidget* parent = nullptr);
  ~FitLayout() override;

  void setRowSpacing(int spacing);
  void setColumnSpacing(int spacing);
  // Whether the items are laid out as a row in `width`.
  bool fitsRow(int width) const;
  // Whether the last geometry given was laid out as a row.
  bool isRow() const { return m_isRow; }

  void addItem(QLayoutItem* item) override;
  int count() const override { return int(m_items.size()); }
  QLayoutItem* itemAt(int index) const override;
  QLayoutItem* takeAt(int index) override;
  Qt::Orientations expandingDirections() const override { return {}; }
  QSize sizeHint() const override;
  QSize minimumSize() const override;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  void setGeometry(const QRect& rect) override;

private:
  QList<QLayoutItem*> visibleItems() const;
  QSize rowSize() const;
  int columnHeight() const;
  QMargins margins() const { return contentsMargins(); }

  QList<QLayoutItem*> m_items;
  int m_rowSpacing = 12;
  int m_columnSpacing = 12;
  bool m_isRow = true;
};

} // namespace brindlewick
