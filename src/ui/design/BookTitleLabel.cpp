#include "ui/design/BookTitleLabel.h"

#include "ui/design/DropSymbols.h"
#include "ui/design/DropTextBlock.h"

#include <QEvent>
#include <QFontInfo>
#include <QPainter>

#include <cmath>

namespace brindlewick {

namespace {

constexpr qreal kSymbolScale = 0.95; // a symbol at the small image scale
constexpr int kSpacing = 4;

} // namespace

BookTitleLabel::BookTitleLabel(const QString& title, QWidget* parent)
    : QWidget(parent), m_title(new DropTextBlock(title, this)) {
  m_title->setTextStyle(DropTextBlock::Style{std::nullopt, 0, true});
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

QString BookTitleLabel::title() const {
  return m_title->text();
}

qreal BookTitleLabel::symbolSize() const {
  return QFontInfo(font()).pixelSize() * kSymbolScale;
}

int BookTitleLabel::textOffset() const {
  return int(std::ceil(symbolSize())) + kSpacing;
}

QSize BookTitleLabel::sizeHint() const {
  return m_title->sizeHint() + QSize(textOffset(), 0);
}

QSize BookTitleLabel::minimumSizeHint() const {
  return m_title->minimumSizeHint() + QSize(textOffset(), 0);
}

int BookTitleLabel::heightForWidth(int width) const {
  return m_title->heightForWidth(width - textOffset());
}

void BookTitleLabel::resizeEvent(QResizeEvent*) {
  m_title->setGeometry(textOffset(), 0, width() - textOffset(), height());
}

void BookTitleLabel::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    m_title->setGeometry(textOffset(), 0, width() - textOffset(), height());
    updateGeometry();
  }
}

void BookTitleLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const qreal side = symbolSize();
  // The symbol stands on the title's first baseline, reaching a little below as a glyph does.
  const qreal bottom = m_title->firstBaseline() + side * 0.1;
  DropSymbols::paint(painter, QStringLiteral("book.closed"), QRectF(0, bottom - side, side, side), side,
                     QFont::Weight(font().weight()), palette().color(foregroundRole()));
}

} // namespace brindlewick
