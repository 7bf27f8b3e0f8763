#include "ui/card/ReaderTeaser.h"

#include "ui/design/DropAccessibility.h"
#include "ui/design/DropMark.h"
#include "ui/design/TextElision.h"

#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>

namespace brindlewick {

ReaderTeaser::ReaderTeaser(const DropSnapshot& snapshot, double textScale, std::function<void()> open,
                           QWidget* parent)
    : QAbstractButton(parent), m_category(snapshot.lore.category), m_line(snapshot.teaser()),
      m_textScale(textScale) {
  // The teaser sits in a panel that must never take the keyboard from the application in front.
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_Hover);
  UiEnvironment::forceScheme(this, ColorScheme::dark);
  UiEnvironment::repaintOnChange(this);
  DropAccessibility::describe(this, QStringLiteral("reader.teaser"), QStringLiteral("Open Drop: ") + m_line,
                              QStringLiteral("Open Drop: ") + m_line);
  connect(this, &QAbstractButton::clicked, this, [open = std::move(open)] {
    if (open)
      open();
  });
}

DropFont ReaderTeaser::lineFont(const UiTraits& traits) const {
  return DropFonts::rounded(fontSize * m_textScale, traits.boldText ? QFont::Medium : QFont::Normal);
}

QColor ReaderTeaser::markColor(Category category, bool increasedContrast) {
  if (increasedContrast)
    return Qt::white;
  const CategoryPalette colour = brindlewick::palette(category);
  return QColor::fromHsvF(float(colour.hue), float(colour.saturation * 0.34), 0.98f);
}

ReaderTeaser::Geometry ReaderTeaser::geometry(const UiTraits& traits) const {
  const QRectF content = QRectF(rect()).adjusted(horizontalPadding, 0, -horizontalPadding, -bottomPadding());
  const QFontMetricsF metrics(lineFont(traits).font());
  // The mark never gives way: the line takes what is left and ends in an ellipsis.
  const qreal room = std::max<qreal>(0, content.width() - markSize - spacing);
  Geometry result;
  result.shownLine = TextElision::elide(m_line, lineFont(traits).font(), room);
  const qreal textWidth = metrics.horizontalAdvance(result.shownLine);
  const qreal left = content.center().x() - (markSize + spacing + textWidth) / 2;
  result.mark = QRectF(left, content.center().y() - markSize / 2, markSize, markSize);
  result.text = QRectF(left + markSize + spacing, content.center().y() - metrics.height() / 2, textWidth,
                       metrics.height());
  return result;
}

QSize ReaderTeaser::sizeHint() const {
  return QSize(324, 34) * m_textScale;
}

void ReaderTeaser::enterEvent(QEnterEvent* event) {
  QAbstractButton::enterEvent(event);
  m_hover.set(true);
}

void ReaderTeaser::leaveEvent(QEvent* event) {
  QAbstractButton::leaveEvent(event);
  m_hover.set(false);
}

const ReaderTeaser::Geometry& ReaderTeaser::paintedGeometry(const UiTraits& traits) {
  if (!m_geometry || m_geometry->size != size() || m_geometry->boldText != traits.boldText)
    m_geometry = CachedGeometry{size(), traits.boldText, geometry(traits)};
  return m_geometry->geometry;
}

void ReaderTeaser::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillRect(rect(), Qt::black);
  const UiTraits traits = UiEnvironment::instance().traitsOf(this);
  const Geometry& layout = paintedGeometry(traits);
  // The panel's rim repaints thin strips along the edges: the mark and the line are drawn
  // only when the strip reaches them.
  const QRegion& region = event->region();
  if (region.intersects(layout.mark.toAlignedRect()))
    DropMark::paint(painter, layout.mark, markColor(m_category, traits.increasedContrast));
  if (region.intersects(layout.text.toAlignedRect().adjusted(-2, -2, 2, 2))) {
    const qreal opacity = traits.increasedContrast ? 1 : 0.94 + 0.06 * m_hover.value();
    painter.setPen(QColor::fromRgbF(1, 1, 1, float(opacity)));
    painter.setFont(lineFont(traits).font());
    painter.drawText(layout.text, Qt::AlignLeft | Qt::AlignVCenter, layout.shownLine);
  }
}

} // namespace brindlewick
