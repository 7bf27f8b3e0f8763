#pragma once

#include <QWidget>

namespace brindlewick {

class DropTextBlock;

// A book's title, underlined, after a small closed-book symbol that sits on the title's first
// baseline. Font and colour are the caller's (inherited: the widget's font and palette).
class BookTitleLabel : public QWidget {
  Q_OBJECT

public:
  explicit BookTitleLabel(const QString& title, QWidget* parent = nullptr);

  QString title() const;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

private:
  qreal symbolSize() const;
  int textOffset() const;

  DropTextBlock* m_title;
};

} // namespace brindlewick
