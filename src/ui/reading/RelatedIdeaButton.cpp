#include "ui/reading/RelatedIdeaButton.h"

#include "ui/design/DropSymbols.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace brindlewick {

namespace {

constexpr qreal kArrowSpacing = 6; // between the arrow and the headline, as in every label

} // namespace

RelatedIdeaButton::RelatedIdeaButton(const QString& headline, QWidget* parent)
    : DropButton(headline, dropControl({}), parent) {
  setSymbol(QStringLiteral("arrow.right"));
  QSizePolicy policy(QSizePolicy::Maximum, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

qreal RelatedIdeaButton::textWidth(qreal shapeWidth) const {
  const qreal arrow = DropButtonStyle::symbolSize(labelFont()) + kArrowSpacing;
  return std::max<qreal>(1, shapeWidth - 2 * buttonStyle().metrics().padding - arrow);
}

int RelatedIdeaButton::layOut(QTextLayout& layout, qreal width) const {
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  layout.setFont(labelFont());
  const qreal lineHeight = QFontMetricsF(labelFont()).lineSpacing();
  int lines = 0;
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(width);
    line.setPosition(QPointF(0, lines * lineHeight));
    ++lines;
  }
  layout.endLayout();
  return std::max(1, lines);
}

int RelatedIdeaButton::lineCount(qreal shapeWidth) const {
  QTextLayout layout(text());
  return layOut(layout, textWidth(shapeWidth));
}

qreal RelatedIdeaButton::shapeHeight(int lines) const {
  // One line sits in the style's height; each further line adds its own height.
  const qreal lineHeight = QFontMetricsF(labelFont()).lineSpacing();
  return std::ceil(buttonStyle().metrics().height + (lines - 1) * lineHeight);
}

QSize RelatedIdeaButton::sizeHint() const {
  const qreal natural = buttonStyle().shapeWidth(naturalLabelWidth(labelFont()));
  return sizeAroundShape(QSizeF(natural, shapeHeight(1)));
}

QSize RelatedIdeaButton::minimumSizeHint() const {
  // The height comes from heightForWidth() at the width given: the lines the narrowest width
  // would take are no minimum for the page around it.
  return sizeAroundShape(QSizeF(buttonStyle().metrics().minimumWidth, shapeHeight(1)));
}

int RelatedIdeaButton::heightForWidth(int width) const {
  const QMargins margins = shapeMargins();
  // Never wider than the headline on one line, which a wider offer leaves as it is.
  const qreal shape = std::min<qreal>(width - margins.left() - margins.right(),
                                      sizeHint().width() - margins.left() - margins.right());
  return int(shapeHeight(lineCount(shape))) + margins.top() + margins.bottom();
}

QPainterPath RelatedIdeaButton::hitShape() const {
  return DropGlass::capsule(shapeRect());
}

void RelatedIdeaButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  DropButtonStyle::paint(painter, shapeRect(), buttonStyle(), controlState(),
                         UiEnvironment::instance().traitsOf(this),
                         [this](QPainter& label, const QRectF& content, const QColor& color,
                                const QFont& font) { paintHeadline(label, content, color, font); });
}

void RelatedIdeaButton::paintHeadline(QPainter& painter, const QRectF& content, const QColor& color,
                                      const QFont& font) {
  const QFontMetricsF metrics(font);
  const qreal lineHeight = metrics.lineSpacing();
  const qreal arrow = DropButtonStyle::symbolSize(font);
  QTextLayout layout(text());
  const int lines = layOut(layout, std::max<qreal>(1, content.width() - arrow - kArrowSpacing));
  // The block of lines centred in the capsule, each line centred on its cap height as a
  // one-line label is; the arrow stands beside the first.
  const qreal top = content.center().y() - lines * lineHeight / 2;
  const bool leftToRight = layoutDirection() == Qt::LeftToRight;
  const qreal arrowX = leftToRight ? content.left() : content.right() - arrow;
  DropSymbols::paint(painter, symbol(), QRectF(arrowX, top, arrow, lineHeight), arrow,
                     QFont::Weight(font.weight()), color);
  painter.setPen(color);
  const qreal baseline = lineHeight / 2 + metrics.capHeight() / 2;
  for (int index = 0; index < layout.lineCount(); ++index) {
    const QTextLine line = layout.lineAt(index);
    const qreal width = line.naturalTextWidth();
    const qreal x = leftToRight ? content.left() + arrow + kArrowSpacing
                                : content.right() - arrow - kArrowSpacing - width;
    line.draw(&painter, QPointF(x - line.x(), top + baseline - line.ascent()));
  }
}

} // namespace brindlewick
