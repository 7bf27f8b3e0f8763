#include "ui/onboarding/DeviceCodeLabel.h"

#include "ui/design/DropContextMenu.h"
#include "ui/onboarding/OnboardingState.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>

#include <algorithm>

namespace brindlewick {

DeviceCodeLabel::DeviceCodeLabel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setContextMenuPolicy(Qt::DefaultContextMenu);
}

void DeviceCodeLabel::setCode(const QString& code) {
  m_code = code;
  setText(OnboardingState::displayedCode(code));
  setAccessibleName(code);
}

QString DeviceCodeLabel::copiedText() const {
  QString copied = hasSelectedText() ? selectedText() : text();
  copied.remove(QChar(0x2013));
  return copied;
}

QSize DeviceCodeLabel::sizeHint() const {
  return withLineHeight(QLabel::sizeHint());
}

QSize DeviceCodeLabel::minimumSizeHint() const {
  return withLineHeight(QLabel::minimumSizeHint());
}

QSize DeviceCodeLabel::withLineHeight(QSize hint) const {
  // An empty label measures the font's ascent and descent each rounded to whole pixels; a line
  // of text lays them out in fractions and rounds their sum up, which is a pixel more in many
  // families. A line is measured here as a line, of the font this label really draws in.
  const int line =
      fontMetrics()
          .boundingRect(QRect(0, 0, QWIDGETSIZE_MAX, QWIDGETSIZE_MAX), int(alignment()), QStringLiteral("0"))
          .height();
  const QMargins frame = contentsMargins();
  hint.setHeight(std::max(hint.height(), line + frame.top() + frame.bottom() + 2 * margin()));
  return hint;
}

void DeviceCodeLabel::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    QGuiApplication::clipboard()->setText(copiedText());
    event->accept();
    return;
  }
  QLabel::keyPressEvent(event);
}

void DeviceCodeLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (hasSelectedText() && clipboard->supportsSelection())
    clipboard->setText(copiedText(), QClipboard::Selection);
}

void DeviceCodeLabel::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = DropContextMenu::create(this);
  menu->addAction(tr("Copy"), this, [this] { QGuiApplication::clipboard()->setText(copiedText()); });
  menu->addAction(tr("Select All"), this, [this] { setSelection(0, int(text().size())); });
  DropContextMenu::popUp(menu, event->globalPos());
}

} // namespace brindlewick
