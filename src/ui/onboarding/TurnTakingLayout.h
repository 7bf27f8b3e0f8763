#pragma once

#include <QLayout>
#include <QList>

namespace brindlewick {

// Panes that take turns in one place: only the current one shows, at the full size of the
// slot, which is as tall as the tallest pane at its width, so that switching panes moves
// nothing around the slot. Heights are asked of the pane widgets themselves, shown or not;
// a pane's hidden child counts only when it keeps its room while hidden. The first pane
// added is the current one.
class TurnTakingLayout : public QLayout {
public:
  explicit TurnTakingLayout(QWidget* parent = nullptr);
  ~TurnTakingLayout() override;

  QWidget* current() const { return m_current; }
  // Shows `pane` (one of the layout's widgets) and hides the others.
  void setCurrent(QWidget* pane);

  void addItem(QLayoutItem* item) override;
  int count() const override { return int(m_items.size()); }
  QLayoutItem* itemAt(int index) const override { return m_items.value(index); }
  QLayoutItem* takeAt(int index) override;
  QSize sizeHint() const override;
  QSize minimumSize() const override;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  void setGeometry(const QRect& rect) override;

private:
  QList<QLayoutItem*> m_items;
  QWidget* m_current = nullptr;
};

} // namespace brindlewick
