#include "ui/design/DropTextBlock.h"

#include "ui/design/TextElision.h"

#include "ui/design/AccessibleRole.h"
#include "ui/design/DropContextMenu.h"
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>

#include <QEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace brindlewick {

namespace {

// Wider than any line of the interface: lays text out on one line per paragraph.
constexpr qreal kUnbounded = 1e6;

// A text layout breaks lines at line separators, not at line feeds; one line has none.
QString forLayout(QString text, bool wrapping) {
  text.replace(QLatin1Char('\n'), wrapping ? QChar::LineSeparator : QChar(QLatin1Char(' ')));
  return text;
}

} // namespace

DropTextBlock::DropTextBlock(const QString& text, QWidget* parent) : QWidget(parent), m_text(text) {
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
  // Read as the text it paints, unless its owner names it otherwise.
  AccessibleRole::set(this, QAccessible::StaticText);
  setAccessibleName(text);
  UiEnvironment::repaintOnChange(this);
}

void DropTextBlock::setText(const QString& text) {
  if (text == m_text)
    return;
  if (accessibleName() == m_text)
    setAccessibleName(text);
  m_text = text;
  m_anchor = m_cursor = 0;
  changed();
}

void DropTextBlock::setTextStyle(const Style& style) {
  setTextStyle([style](const UiTraits&) { return style; });
}

void DropTextBlock::setTextStyle(StyleFor style) {
  m_style = std::move(style);
  changed();
}

void DropTextBlock::setColor(DropDesign::ColorFor color) {
  m_color = std::move(color);
  update();
}

void DropTextBlock::setLineSpacing(qreal spacing) {
  m_lineSpacing = spacing;
  changed();
}

void DropTextBlock::setAlignment(Qt::Alignment alignment) {
  m_alignment = alignment & Qt::AlignHorizontal_Mask;
  update();
}

void DropTextBlock::setWrapping(bool wrapping) {
  m_wrapping = wrapping;
  QSizePolicy policy = sizePolicy();
  policy.setHeightForWidth(wrapping);
  setSizePolicy(policy);
  changed();
}

void DropTextBlock::setMaximumLines(int lines) {
  m_maximumLines = std::max(0, lines);
  changed();
}

bool DropTextBlock::isClamped(int width) const {
  if (m_maximumLines == 0 || !m_wrapping || m_text.isEmpty())
    return false;
  QTextLayout layout(forLayout(m_text, m_wrapping));
  layOut(layout, std::max(1, width));
  return layout.lineCount() > m_maximumLines;
}

void DropTextBlock::changed() {
  updateGeometry();
  update();
}

QFont DropTextBlock::textFont() const {
  const Style style = m_style ? m_style(UiEnvironment::instance().traitsOf(this)) : Style{};
  QFont result = style.font ? style.font->font() : font();
  if (style.tracking != 0)
    result.setLetterSpacing(QFont::AbsoluteSpacing, style.tracking);
  result.setUnderline(style.underline);
  return result;
}

QColor DropTextBlock::textColor() const {
  return m_color ? m_color(UiEnvironment::instance().traitsOf(this)) : palette().color(foregroundRole());
}

qreal DropTextBlock::firstBaseline() const {
  return QFontMetricsF(textFont()).ascent();
}

qreal DropTextBlock::lineHeight() const {
  const QFontMetricsF metrics(textFont());
  return metrics.ascent() + metrics.descent();
}

qreal DropTextBlock::layOut(QTextLayout& layout, qreal width) const {
  QTextOption option(m_alignment);
  option.setWrapMode(m_wrapping ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
  layout.setTextOption(option);
  layout.setFont(textFont());
  layout.beginLayout();
  qreal y = 0;
  int lines = 0;
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    if (m_maximumLines > 0 && ++lines > m_maximumLines) {
      // A line that is not drawn still has to be given a width before the layout ends.
      line.setLineWidth(width);
      line.setPosition(QPointF(0, -1e6));
      break;
    }
    if (y > 0)
      y += m_lineSpacing;
    line.setLineWidth(width);
    line.setPosition(QPointF(0, y));
    y += line.ascent() + line.descent();
  }
  layout.endLayout();
  return y;
}

QSize DropTextBlock::sizeHint() const {
  if (m_text.isEmpty())
    return QSize(0, 0);
  QTextLayout layout(forLayout(m_text, m_wrapping));
  const qreal height = layOut(layout, kUnbounded);
  qreal width = 0;
  for (int i = 0; i < layout.lineCount(); ++i)
    width = std::max(width, layout.lineAt(i).naturalTextWidth());
  return QSize(int(std::ceil(width)), int(std::ceil(height)));
}

QSize DropTextBlock::minimumSizeHint() const {
  if (m_text.isEmpty())
    return QSize(0, 0);
  const QFontMetricsF metrics(textFont());
  const qreal least = m_wrapping ? 4 * metrics.height() : metrics.horizontalAdvance(QStringLiteral("…"));
  return QSize(std::min(sizeHint().width(), int(std::ceil(least))), int(std::ceil(lineHeight())));
}

int DropTextBlock::heightForWidth(int width) const {
  if (m_text.isEmpty())
    return 0;
  if (!m_wrapping)
    return int(std::ceil(lineHeight()));
  QTextLayout layout(forLayout(m_text, m_wrapping));
  return int(std::ceil(layOut(layout, std::max(1, width))));
}

void DropTextBlock::paintEvent(QPaintEvent*) {
  if (m_text.isEmpty())
    return;
  QPainter painter(this);
  painter.setPen(textColor());
  const QString text = forLayout(m_text, m_wrapping);
  QTextLayout layout(m_wrapping ? text : TextElision::elide(text, textFont(), width()));
  layOut(layout, width());
  if (!isClamped(width())) {
    QList<QTextLayout::FormatRange> selection;
    if (m_anchor != m_cursor) {
      QTextLayout::FormatRange range;
      range.start = std::min(m_anchor, m_cursor);
      range.length = std::abs(m_cursor - m_anchor);
      range.format.setBackground(palette().color(QPalette::Highlight));
      range.format.setForeground(palette().color(QPalette::HighlightedText));
      selection.append(range);
    }
    layout.draw(&painter, QPointF(0, 0), selection);
    return;
  }
  // The last line shown carries the rest of the text, cut at its end with an ellipsis.
  const int shown = m_maximumLines;
  for (int i = 0; i + 1 < shown; ++i)
    layout.lineAt(i).draw(&painter, QPointF(0, 0));
  const QTextLine last = layout.lineAt(shown - 1);
  const QFont font = textFont();
  QString rest = text.mid(last.textStart());
  rest.replace(QChar::LineSeparator, QLatin1Char(' '));
  QTextLayout tail(TextElision::cut(rest, font, width()));
  QTextOption option(m_alignment);
  option.setWrapMode(QTextOption::NoWrap);
  tail.setTextOption(option);
  tail.setFont(font);
  tail.beginLayout();
  QTextLine line = tail.createLine();
  line.setLineWidth(width());
  line.setPosition(last.position());
  tail.endLayout();
  tail.draw(&painter, QPointF(0, 0));
}

void DropTextBlock::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange)
    changed();
}

void DropTextBlock::setSelectable(bool selectable) {
  m_selectable = selectable;
  setFocusPolicy(selectable ? Qt::ClickFocus : Qt::NoFocus);
  if (selectable)
    setCursor(Qt::IBeamCursor);
  else
    unsetCursor();
  select(0, 0);
}

QString DropTextBlock::selectedText() const {
  return m_text.mid(std::min(m_anchor, m_cursor), std::abs(m_cursor - m_anchor));
}

void DropTextBlock::select(int anchor, int cursor) {
  const int length = int(m_text.size());
  anchor = std::clamp(anchor, 0, length);
  cursor = std::clamp(cursor, 0, length);
  if (anchor == m_anchor && cursor == m_cursor)
    return;
  m_anchor = anchor;
  m_cursor = cursor;
  update();
}

int DropTextBlock::positionAt(const QPointF& point) const {
  QTextLayout layout(forLayout(m_text, m_wrapping));
  layOut(layout, width());
  for (int i = 0; i < layout.lineCount(); ++i) {
    const QTextLine line = layout.lineAt(i);
    if (point.y() < line.y() + line.height() || i + 1 == layout.lineCount())
      return line.xToCursor(point.x());
  }
  return 0;
}

void DropTextBlock::copy() const {
  if (m_anchor != m_cursor)
    QApplication::clipboard()->setText(selectedText());
}

void DropTextBlock::selectAll() {
  if (m_selectable)
    select(0, int(m_text.size()));
}

// Copy and Select All belong to a selectable block with the focus, before any shortcut of the
// window's.
bool DropTextBlock::event(QEvent* event) {
  if (m_selectable && event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key == QKeySequence::Copy || key == QKeySequence::SelectAll) {
      event->accept();
      return true;
    }
  }
  return QWidget::event(event);
}

void DropTextBlock::mousePressEvent(QMouseEvent* event) {
  if (!m_selectable || event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  const int position = positionAt(event->position());
  select(event->modifiers() & Qt::ShiftModifier ? m_anchor : position, position);
}

void DropTextBlock::mouseMoveEvent(QMouseEvent* event) {
  if (!m_selectable || !(event->buttons() & Qt::LeftButton)) {
    QWidget::mouseMoveEvent(event);
    return;
  }
  select(m_anchor, positionAt(event->position()));
}

void DropTextBlock::mouseReleaseEvent(QMouseEvent* event) {
  if (!m_selectable || event->button() != Qt::LeftButton) {
    QWidget::mouseReleaseEvent(event);
    return;
  }
  QClipboard* clipboard = QApplication::clipboard();
  if (m_anchor != m_cursor && clipboard->supportsSelection())
    clipboard->setText(selectedText(), QClipboard::Selection);
}

// A double click selects the word under the pointer: the letters and digits around it.
void DropTextBlock::mouseDoubleClickEvent(QMouseEvent* event) {
  if (!m_selectable || event->button() != Qt::LeftButton) {
    QWidget::mouseDoubleClickEvent(event);
    return;
  }
  const int position = positionAt(event->position());
  int start = position;
  int end = position;
  while (start > 0 && m_text.at(start - 1).isLetterOrNumber())
    --start;
  while (end < m_text.size() && m_text.at(end).isLetterOrNumber())
    ++end;
  select(start, end);
}

void DropTextBlock::keyPressEvent(QKeyEvent* event) {
  if (m_selectable && event == QKeySequence::Copy) {
    copy();
    return;
  }
  if (m_selectable && event == QKeySequence::SelectAll) {
    selectAll();
    return;
  }
  QWidget::keyPressEvent(event);
}

// The selection goes when the reader moves on, but not for the text's own context menu.
void DropTextBlock::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  if (event->reason() != Qt::PopupFocusReason)
    select(0, 0);
}

void DropTextBlock::contextMenuEvent(QContextMenuEvent* event) {
  if (!m_selectable) {
    QWidget::contextMenuEvent(event);
    return;
  }
  QMenu* menu = DropContextMenu::create(this);
  QAction* copying = menu->addAction(QStringLiteral("Copy"), this, &DropTextBlock::copy);
  copying->setEnabled(m_anchor != m_cursor);
  menu->addAction(QStringLiteral("Select All"), this, &DropTextBlock::selectAll);
  DropContextMenu::popUp(menu, event->globalPos());
}

} // namespace brindlewick
