#include "ui/card/BookLine.h"

#include "content/ContractRules.h"
#include "ui/design/BookTitleLabel.h"
#include "ui/design/DropAccessibility.h"
#include "ui/design/DropTextBlock.h"
#include "ui/design/LinkOpener.h"

#include <algorithm>

namespace brindlewick {

namespace {

constexpr int kSpacing = 4;

// A button around the book's title label, which it sizes itself to.
class TitleButton : public QAbstractButton {
public:
  TitleButton(BookTitleLabel* label, QWidget* parent) : QAbstractButton(parent), m_label(label) {
    label->setParent(this);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
  }
  QSize sizeHint() const override { return m_label->sizeHint(); }
  QSize minimumSizeHint() const override { return m_label->minimumSizeHint(); }
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override { return m_label->heightForWidth(width); }

protected:
  void resizeEvent(QResizeEvent*) override { m_label->setGeometry(rect()); }
  void paintEvent(QPaintEvent*) override {}

private:
  BookTitleLabel* m_label;
};

} // namespace

std::optional<BookLine::Link> BookLine::link(const DropSnapshot& snapshot, const Book& book) {
  for (const Source& source : snapshot.sources) {
    if (source.bookId != book.id || !source.url)
      continue;
    if (const std::optional<QUrl> url = ContractRules::openableLink(*source.url))
      return Link{*url, source.locator};
    return std::nullopt;
  }
  return std::nullopt;
}

BookLine::BookLine(const Book& book, std::optional<Link> link, std::function<void()> openInWindow,
                   QWidget* parent)
    : QWidget(parent), m_link(std::move(link)), m_titleLabel(new BookTitleLabel(book.title)),
      m_authors(
          new DropTextBlock(QStringLiteral("\u00B7 ") + book.authors.join(QStringLiteral(", ")), this)) {
  m_title = new TitleButton(m_titleLabel, this);
  if (m_link) {
    DropAccessibility::describe(m_title, {}, book.title + QStringLiteral(", open book source"),
                                m_link->locator);
    connect(m_title, &QAbstractButton::clicked, this,
            [this, url = m_link->url] { LinkOpener::open(m_title, url); });
  } else {
    DropAccessibility::describe(m_title, {}, book.title,
                                QStringLiteral("Read the full drop and its sources"));
    connect(m_title, &QAbstractButton::clicked, this, [open = std::move(openInWindow)] {
      if (open)
        open();
    });
  }
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

QString BookLine::authorsText() const {
  return m_authors->text();
}

std::pair<int, int> BookLine::split(int width) const {
  const int title = m_title->sizeHint().width();
  const int authors = m_authors->sizeHint().width();
  if (title + kSpacing + authors <= width)
    return {title, authors};
  // Short of room both wrap; the title keeps at least half the line.
  const int titleWidth = std::clamp(width - kSpacing - authors, width / 2, width);
  return {titleWidth, std::max(0, width - kSpacing - titleWidth)};
}

QSize BookLine::sizeHint() const {
  return QSize(m_title->sizeHint().width() + kSpacing + m_authors->sizeHint().width(),
               std::max(m_title->sizeHint().height(), m_authors->sizeHint().height()));
}

QSize BookLine::minimumSizeHint() const {
  return QSize(0, sizeHint().height());
}

int BookLine::heightForWidth(int width) const {
  const auto [title, authors] = split(width);
  return std::max(m_title->heightForWidth(title), authors > 0 ? m_authors->heightForWidth(authors) : 0);
}

void BookLine::resizeEvent(QResizeEvent*) {
  const auto [title, authors] = split(width());
  // Same font, same top: both first lines share one baseline.
  const int left = (width() - (title + kSpacing + authors)) / 2;
  m_title->setGeometry(left, 0, title, m_title->heightForWidth(title));
  m_authors->setGeometry(left + title + kSpacing, 0, authors,
                         authors > 0 ? m_authors->heightForWidth(authors) : 0);
}

} // namespace brindlewick
