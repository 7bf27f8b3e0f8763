#pragma once

#include "content/ContentSnapshots.h"

#include <QAbstractButton>
#include <QUrl>

#include <functional>
#include <optional>

namespace brindlewick {

class BookTitleLabel;
class DropTextBlock;

// One book of a drop on the reading card: its underlined title, then "· " and its authors,
// both on the title's first baseline and centred as one line. The title opens the book's
// source on the web when the drop has an address for it that may be opened; otherwise it
// opens the whole idea in the reader window, so it never is a control that does nothing.
// Font and colour are the caller's (inherited).
class BookLine : public QWidget {
  Q_OBJECT

public:
  // The link of `book` in `snapshot`: the address of the first of its sources that has one,
  // when that address may be opened (a later source never stands in for a bad one), with the
  // source's locator.
  struct Link {
    QUrl url;
    QString locator;
  };
  static std::optional<Link> link(const DropSnapshot& snapshot, const Book& book);

  BookLine(const Book& book, std::optional<Link> link, std::function<void()> openInWindow,
           QWidget* parent = nullptr);

  QAbstractButton* titleControl() const { return m_title; }
  const std::optional<Link>& bookLink() const { return m_link; }
  QString authorsText() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;

protected:
  void resizeEvent(QResizeEvent* event) override;

private:
  // The widths of the title and the authors in a line `width` wide.
  std::pair<int, int> split(int width) const;

  std::optional<Link> m_link;
  QAbstractButton* m_title;
  BookTitleLabel* m_titleLabel;
  DropTextBlock* m_authors;
};

} // namespace brindlewick
