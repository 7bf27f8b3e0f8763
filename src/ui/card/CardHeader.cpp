#include "ui/card/CardHeader.h"

#include "ui/card/CardCloseButton.h"
#include "ui/design/CategoryAccent.h"
#include "ui/design/DropMark.h"

#include <QFontMetricsF>
#include <QPainter>

namespace brindlewick {

namespace {

const QString kWordmark = QStringLiteral("BRINDLEWICK");
constexpr qreal kMarkSize = 24;
constexpr qreal kMarkSpacing = 6;
constexpr qreal kTracking = 1.6;

} // namespace

CardHeader::CardHeader(QWidget* parent) : QWidget(parent), m_close(new CardCloseButton(this)) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  UiEnvironment::repaintOnChange(this);
}

void CardHeader::setCategory(Category category) {
  if (category == m_category)
    return;
  m_category = category;
  update();
}

DropFont CardHeader::wordmarkFont(const UiTraits& traits) {
  return DropFonts::rounded(9, traits.boldText ? QFont::DemiBold : QFont::Medium);
}

QColor CardHeader::wordmarkColor(const UiTraits& traits) const {
  return traits.increasedContrast ? QColor(Qt::white) : accent(m_category, ColorScheme::dark);
}

QSize CardHeader::sizeHint() const {
  return QSize(2 * CardCloseButton::side + 160, CardCloseButton::side);
}

void CardHeader::resizeEvent(QResizeEvent*) {
  m_close->move(width() - CardCloseButton::side, (height() - CardCloseButton::side) / 2);
}

void CardHeader::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const UiTraits traits = UiEnvironment::instance().traitsOf(this);
  QFont font = wordmarkFont(traits).font();
  font.setLetterSpacing(QFont::AbsoluteSpacing, kTracking);
  const QFontMetricsF metrics(font);
  const qreal textWidth = metrics.horizontalAdvance(kWordmark);
  const qreal left = (width() - (kMarkSize + kMarkSpacing + textWidth)) / 2;
  const qreal middle = height() / 2.0;
  const QColor color = wordmarkColor(traits);
  DropMark::paint(painter, QRectF(left, middle - kMarkSize / 2, kMarkSize, kMarkSize), color);
  painter.setFont(font);
  painter.setPen(color);
  painter.drawText(QPointF(left + kMarkSize + kMarkSpacing, middle + metrics.capHeight() / 2), kWordmark);
}

} // namespace brindlewick
