#include "ui/account/ElidedEmailLabel.h"

#include "ui/design/DropContextMenu.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>

namespace brindlewick {

ElidedEmailLabel::ElidedEmailLabel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  setWordWrap(false);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void ElidedEmailLabel::setFullText(const QString& text) {
  if (text == m_fullText)
    return;
  m_fullText = text;
  setAccessibleName(text);
  elide();
  updateGeometry();
}

QString ElidedEmailLabel::copiedText() const {
  return isElided() || !hasSelectedText() ? m_fullText : selectedText();
}

QSize ElidedEmailLabel::sizeHint() const {
  const QFontMetrics metrics(font());
  return QSize(metrics.horizontalAdvance(m_fullText) + 1, metrics.height());
}

QSize ElidedEmailLabel::minimumSizeHint() const {
  const QFontMetrics metrics(font());
  return QSize(metrics.horizontalAdvance(QStringLiteral("…")), metrics.height());
}

void ElidedEmailLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  elide();
}

void ElidedEmailLabel::elide() {
  const QString shown = fontMetrics().elidedText(m_fullText, Qt::ElideMiddle, std::max(0, width()));
  if (shown != text())
    setText(shown);
}

void ElidedEmailLabel::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    QGuiApplication::clipboard()->setText(copiedText());
    event->accept();
    return;
  }
  QLabel::keyPressEvent(event);
}

void ElidedEmailLabel::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = DropContextMenu::create(this);
  menu->addAction(QStringLiteral("Copy"), this,
                  [this] { QGuiApplication::clipboard()->setText(copiedText()); });
  DropContextMenu::popUp(menu, event->globalPos());
}

} // namespace brindlewick
