#include "ui/design/FocusPark.h"

#include "ui/design/AccessibleRole.h"
#include "ui/design/PressKeys.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>

namespace brindlewick {

namespace {

Qt::FocusReason reasonFor(bool keyboard) {
  return keyboard ? Qt::TabFocusReason : Qt::OtherFocusReason;
}

} // namespace

FocusPark::Notice::Notice(bool holding, bool keyboard)
    : QEvent(eventType()), m_holding(holding), m_keyboard(keyboard) {}

QEvent::Type FocusPark::Notice::eventType() {
  static const auto type = QEvent::Type(QEvent::registerEventType());
  return type;
}

FocusPark::Arrow::Arrow(Qt::Key key, Qt::KeyboardModifiers modifiers)
    : QEvent(eventType()), m_key(key), m_modifiers(modifiers) {
  setAccepted(false);
}

QEvent::Type FocusPark::Arrow::eventType() {
  static const auto type = QEvent::Type(QEvent::registerEventType());
  return type;
}

QKeyEvent FocusPark::Arrow::keyPress() const {
  return QKeyEvent(QEvent::KeyPress, m_key, m_modifiers);
}

FocusPark::FocusPark(QWidget* control, bool keyboard)
    : QWidget(control->parentWidget()), m_control(control), m_keyboard(keyboard) {
  // Tab-focusable so that it can follow the control in the Tab order; it is only there while
  // it holds the focus.
  setFocusPolicy(Qt::TabFocus);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  AccessibleRole::standFor(this, control);
  setGeometry(control->geometry());
  setTabOrder(control, this);
  stackUnder(control);
  control->installEventFilter(this);
  // A control that goes without being hidden goes with its container, which takes the focus
  // with it.
  connect(control, &QObject::destroyed, this, [this] {
    m_ended = true;
    deleteLater();
  });
  show();
}

void FocusPark::hold(QWidget* control, bool keyboard) {
  if (control == nullptr || !control->isVisible())
    return;
  if (control->isEnabled())
    control->setFocus(reasonFor(keyboard));
  else
    park(control, keyboard);
}

void FocusPark::disable(QWidget* control, bool keyboard) {
  if (control->isVisible() && control->window()->focusWidget() == control)
    park(control, keyboard);
  control->setEnabled(false);
}

void FocusPark::park(QWidget* control, bool keyboard) {
  const QWidget* container = control->parentWidget();
  if (container == nullptr || !container->isEnabled())
    return;
  FocusPark* park = of(control);
  if (park == nullptr)
    park = new FocusPark(control, keyboard);
  park->m_keyboard = keyboard;
  park->setFocus(Qt::OtherFocusReason);
  // After the control's own focus-out, which would have put its ring away.
  park->tell(park->hasFocus());
}

FocusPark* FocusPark::of(const QWidget* control) {
  if (control == nullptr || control->parentWidget() == nullptr)
    return nullptr;
  for (FocusPark* park : control->parentWidget()->findChildren<FocusPark*>(Qt::FindDirectChildrenOnly)) {
    if (park->m_control == control && !park->m_ended)
      return park;
  }
  return nullptr;
}

bool FocusPark::holdsFocus() const {
  return window()->focusWidget() == this;
}

void FocusPark::tell(bool holding) {
  if (m_control.isNull())
    return;
  Notice notice(holding, m_keyboard);
  QCoreApplication::sendEvent(m_control, &notice);
}

bool FocusPark::event(QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride && PressKeys::presses(*static_cast<QKeyEvent*>(event))) {
    event->accept();
    return true;
  }
  return QWidget::event(event);
}

bool FocusPark::eventFilter(QObject* watched, QEvent* event) {
  if (watched != m_control || m_ended)
    return false;
  switch (event->type()) {
  case QEvent::EnabledChange:
    if (m_control->isEnabled())
      giveBack();
    break;
  case QEvent::Hide: handOn(); break;
  case QEvent::Move:
  case QEvent::Resize: setGeometry(m_control->geometry()); break;
  default: break;
  }
  return false;
}

void FocusPark::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  tell(true);
}

void FocusPark::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  if (m_ended)
    return;
  tell(false);
  // The window or a menu of it took the focus for a while: it comes back here. Anywhere else,
  // the reader moved on.
  const Qt::FocusReason reason = event->reason();
  if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && !holdsFocus())
    end();
}

void FocusPark::keyPressEvent(QKeyEvent* event) {
  if (PressKeys::presses(*event)) {
    event->accept();
    return;
  }
  const int key = event->key();
  const bool arrow = key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Left || key == Qt::Key_Right;
  if (arrow && m_control) {
    // The control's own rule first (a menu's rows stop at the menu's ends).
    Arrow asked(Qt::Key(key), event->modifiers());
    QCoreApplication::sendEvent(m_control, &asked);
    if (asked.isAccepted())
      return;
  }
  // Else the arrows go on as they do from a button.
  const bool reversed = layoutDirection() == Qt::RightToLeft;
  switch (key) {
  case Qt::Key_Up: focusNextPrevChild(false); return;
  case Qt::Key_Down: focusNextPrevChild(true); return;
  case Qt::Key_Left: focusNextPrevChild(reversed); return;
  case Qt::Key_Right: focusNextPrevChild(!reversed); return;
  default: QWidget::keyPressEvent(event);
  }
}

void FocusPark::giveBack() {
  if (holdsFocus()) {
    // Ended first, so that the focus-out this brings ends nothing twice.
    m_ended = true;
    m_control->setFocus(reasonFor(m_keyboard));
  }
  end();
}

void FocusPark::handOn() {
  // Hiding the focused park hands the focus on from its place, as Qt does for the control.
  tell(false);
  m_ended = true;
  hide();
  end();
}

void FocusPark::end() {
  m_ended = true;
  if (m_control)
    m_control->removeEventFilter(this);
  hide();
  deleteLater();
}

} // namespace brindlewick
