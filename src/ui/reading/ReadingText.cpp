#include "ui/reading/ReadingText.h"

#include "ui/design/DropFocusRing.h"
#include "ui/design/DropStandardWidgets.h"
#include "ui/design/DropSymbols.h"
#include "ui/design/LinkOpener.h"
#include "ui/design/PageKeys.h"

#include <QAbstractTextDocumentLayout>
#include <QFocusEvent>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace brindlewick {

namespace {

// Symbols are drawn at twice the resolution, sharp on a high-density display too.
constexpr qreal kSymbolRatio = 2;
constexpr qreal kLinkRingRadius = 4;

// `name` as an image of side `size` in `color`, kept in `document` under its own address.
QTextImageFormat symbolImage(QTextDocument& document, const QString& name, qreal size, const QColor& color) {
  const QUrl address(QStringLiteral("symbol:%1/%2/%3").arg(name).arg(size).arg(color.name(QColor::HexArgb)));
  QImage image(QSize(std::ceil(size * kSymbolRatio), std::ceil(size * kSymbolRatio)),
               QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(kSymbolRatio);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  DropSymbols::paint(painter, name, QRectF(0, 0, size, size), size, QFont::Medium, color);
  painter.end();
  document.addResource(QTextDocument::ImageResource, address, image);
  QTextImageFormat format;
  format.setName(address.toString());
  format.setWidth(size);
  format.setHeight(size);
  format.setVerticalAlignment(QTextCharFormat::AlignBaseline);
  return format;
}

} // namespace

ReadingText::ReadingText(const QString& text, QWidget* parent)
    : QTextBrowser(parent), m_measure(std::make_unique<QTextDocument>()) {
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setOpenLinks(false);
  setUndoRedoEnabled(false);
  setAutoFillBackground(false);
  viewport()->setAutoFillBackground(false);
  setFocusPolicy(Qt::ClickFocus);
  setContextMenuPolicy(Qt::DefaultContextMenu);
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
  connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) { LinkOpener::open(this, url); });
  // Our standard look, which leaves the link the keyboard is on to the ring painted below.
  setStyle(DropStandardWidgets::style());
  DropFocusRing::watchFocus();
  // The ring reaches past the selection Qt repaints as the keyboard moves between links.
  connect(this, &QTextBrowser::selectionChanged, viewport(), qOverload<>(&QWidget::update));
  m_runs = {Run{text}};
  DropStandardWidgets::keep(this, [this] { rebuild(); });
}

ReadingText::~ReadingText() = default;

void ReadingText::setRuns(QList<Run> runs) {
  m_runs = std::move(runs);
  rebuild();
}

void ReadingText::setTextStyle(StyleFor style) {
  m_style = std::move(style);
  rebuild();
}

void ReadingText::setLeadingSymbol(const QString& symbol) {
  m_leadingSymbol = symbol;
  rebuild();
}

QString ReadingText::text() const {
  QString result;
  for (const Run& run : m_runs)
    result += run.text;
  return result;
}

ReadingText::Style ReadingText::textStyle() const {
  const UiTraits traits = UiEnvironment::instance().traitsOf(this);
  return m_style ? m_style(traits) : Style{DropFonts::rounded(DropFonts::bodySize)};
}

void ReadingText::fill(QTextDocument& document) const {
  const UiTraits traits = UiEnvironment::instance().traitsOf(this);
  const Style style = textStyle();
  const QColor color =
      style.secondary ? DropDesign::secondaryLabel(traits.scheme) : DropDesign::primaryLabel(traits.scheme);
  const QFont font = style.font.font();
  const qreal symbolSize = std::round(style.font.size * 0.8);

  document.clear();
  document.setDocumentMargin(0);
  document.setDefaultFont(font);
  QTextCursor cursor(&document);
  QTextBlockFormat block;
  block.setLineHeight(style.lineSpacing, QTextBlockFormat::LineDistanceHeight);
  cursor.setBlockFormat(block);
  QTextCharFormat plain;
  plain.setFont(font);
  plain.setForeground(color);
  if (!m_leadingSymbol.isEmpty()) {
    cursor.insertImage(symbolImage(document, m_leadingSymbol, symbolSize, color));
    cursor.insertText(QStringLiteral(" "), plain);
  }
  for (const Run& run : m_runs) {
    QTextCharFormat format = plain;
    if (run.link) {
      format.setAnchor(true);
      format.setAnchorHref(run.link->toString(QUrl::FullyEncoded));
      format.setFontUnderline(true);
    }
    // insertText() takes text as it is: a line feed starts a new paragraph, nothing is markup.
    cursor.insertText(run.text, format);
    if (!run.trailingSymbol.isEmpty()) {
      // A link's symbol and the space before it belong to the link: one link is one stop for
      // Tab, and Backtab leaves it the way it came.
      QTextCharFormat gap = run.link ? format : plain;
      gap.setFontUnderline(false);
      cursor.insertText(QStringLiteral("\u2009"), gap);
      QTextImageFormat image = symbolImage(document, run.trailingSymbol, symbolSize, color);
      if (run.link) {
        image.setAnchor(true);
        image.setAnchorHref(format.anchorHref());
      }
      cursor.insertImage(image);
    }
  }
}

void ReadingText::rebuild() {
  fill(*document());
  fill(*m_measure);
  bool links = false;
  for (const Run& run : m_runs)
    links = links || run.link.has_value();
  setTextInteractionFlags(links ? Qt::TextBrowserInteraction
                                : Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setFocusPolicy(links ? Qt::StrongFocus : Qt::ClickFocus);
  updateGeometry();
}

void ReadingText::focusInEvent(QFocusEvent* event) {
  QTextBrowser::focusInEvent(event);
  viewport()->update();
  const bool forward = event->reason() == Qt::TabFocusReason;
  if (!forward && event->reason() != Qt::BacktabFocusReason)
    return;
  if (!(textInteractionFlags() & Qt::LinksAccessibleByKeyboard))
    return;
  // From the end the text was entered at, whatever link was chosen when focus last left.
  QTextCursor cursor = textCursor();
  cursor.clearSelection();
  cursor.movePosition(forward ? QTextCursor::Start : QTextCursor::End);
  setTextCursor(cursor);
  // With links to choose from this picks one and keeps the focus here.
  QTextBrowser::focusNextPrevChild(forward);
}

void ReadingText::focusOutEvent(QFocusEvent* event) {
  QTextBrowser::focusOutEvent(event);
  viewport()->update();
}

std::optional<std::pair<int, int>> ReadingText::ringedLink() const {
  const QTextCursor cursor = textCursor();
  // The keyboard's link: a whole link chosen while the reader is on the keys (a link the
  // pointer opened, or text selected with it, is no keyboard focus).
  if (!hasFocus() || !cursor.hasSelection() || !DropFocusRing::keyboardInUse())
    return std::nullopt;
  QTextCursor probe(document());
  for (const int position : {cursor.selectionStart() + 1, cursor.selectionEnd()}) {
    probe.setPosition(position);
    if (!probe.charFormat().isAnchor())
      return std::nullopt;
  }
  return std::pair(cursor.selectionStart(), cursor.selectionEnd());
}

QList<QRectF> ReadingText::linkRects(int start, int end) const {
  // One box per line the link runs over, in the viewport's coordinates.
  QList<QRectF> boxes;
  const QPointF scrolled(horizontalScrollBar()->value(), verticalScrollBar()->value());
  for (QTextBlock block = document()->findBlock(start); block.isValid() && block.position() < end;
       block = block.next()) {
    const QTextLayout* layout = block.layout();
    const QPointF origin = document()->documentLayout()->blockBoundingRect(block).topLeft() - scrolled;
    for (int index = 0; index < layout->lineCount(); ++index) {
      const QTextLine line = layout->lineAt(index);
      const int from = std::max(start - block.position(), line.textStart());
      const int to = std::min(end - block.position(), line.textStart() + line.textLength());
      if (from >= to)
        continue;
      const qreal left = line.cursorToX(from);
      const qreal right = line.cursorToX(to);
      boxes.append(QRectF(origin.x() + std::min(left, right), origin.y() + line.y(), std::abs(right - left),
                          line.height()));
    }
  }
  return boxes;
}

void ReadingText::paintEvent(QPaintEvent* event) {
  QTextBrowser::paintEvent(event);
  const std::optional<std::pair<int, int>> link = ringedLink();
  if (!link)
    return;
  QPainter painter(viewport());
  const QColor color = DropFocusRing::color(UiEnvironment::instance().schemeOf(this));
  // Around the words, kept inside the text's bounds where a link starts at its edge.
  const qreal centre = DropFocusRing::outset - DropFocusRing::lineWidth / 2;
  const QRectF bounds = QRectF(viewport()->rect()).adjusted(1, 1, -1, -1);
  for (const QRectF& box : linkRects(link->first, link->second))
    DropFocusRing::stroke(
        painter,
        DropDesign::roundedRect(box.adjusted(-centre, -centre, centre, centre) & bounds, kLinkRingRadius),
        color);
}

bool ReadingText::focusNextPrevChild(bool next) {
  // Qt looks for the link before a link that opens the text at that link itself, and Backtab
  // would never leave: from there it goes on to the control before.
  if (!next && textCursor().hasSelection() && textCursor().selectionStart() == 0)
    return QWidget::focusNextPrevChild(false);
  return QTextBrowser::focusNextPrevChild(next);
}

QSize ReadingText::sizeHint() const {
  m_measure->setTextWidth(-1);
  const int width = int(std::ceil(m_measure->idealWidth()));
  return QSize(width, heightForWidth(width));
}

QSize ReadingText::minimumSizeHint() const {
  return QSize(0, 0);
}

int ReadingText::heightForWidth(int width) const {
  m_measure->setTextWidth(std::max(1, width));
  return int(std::ceil(m_measure->size().height()));
}

void ReadingText::wheelEvent(QWheelEvent* event) {
  event->ignore();
}

void ReadingText::keyPressEvent(QKeyEvent* event) {
  // Sized to its words, it has nothing to scroll: a link the keyboard is on must not swallow
  // the page's keys.
  if (PageKeys::scrollsPage(*event)) {
    event->ignore();
    return;
  }
  QTextBrowser::keyPressEvent(event);
}

} // namespace brindlewick
