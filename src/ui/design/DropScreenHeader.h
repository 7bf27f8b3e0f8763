#pragma once

#include <QWidget>

#include <optional>

namespace brindlewick {

class DropSectionLabel;
class DropTextBlock;

// The header of a page of the reader window: a section caption over the page's title in the
// display face, and an optional trailing note (the next drop's time, say) at the far end of
// the caption's line. The title wraps beneath the caption while the note stays on the
// caption's baseline. It takes the whole width, its content at the leading edge.
class DropScreenHeader : public QWidget {
  Q_OBJECT

public:
  DropScreenHeader(const QString& eyebrow, const QString& title,
                   const std::optional<QString>& trailing = std::nullopt, QWidget* parent = nullptr);

  void setTitle(const QString& title);
  void setTrailing(const std::optional<QString>& trailing);

  DropSectionLabel* eyebrowLabel() const { return m_eyebrow; }
  DropTextBlock* titleLabel() const { return m_title; }
  DropTextBlock* trailingLabel() const { return m_trailing; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;

protected:
  void resizeEvent(QResizeEvent* event) override;
  bool event(QEvent* event) override;

private:
  struct Placement {
    QRect eyebrow;
    QRect title;
    QRect trailing;
    int height = 0;
  };
  Placement placement(int width) const;
  void place();

  DropSectionLabel* m_eyebrow;
  DropTextBlock* m_title;
  DropTextBlock* m_trailing;
};

} // namespace brindlewick
