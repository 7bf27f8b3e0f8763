#include "panel/DropPanel.h"

#include "desktop/X11WindowHints.h"

#include <QKeyEvent>
#include <QShowEvent>
#include <QWindow>

namespace brindlewick {

DropPanel::DropPanel()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::NoDropShadowWindowHint | Qt::WindowDoesNotAcceptFocus) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_TranslucentBackground);
  setAttribute(Qt::WA_DeleteOnClose, false);
  setWindowTitle(QStringLiteral("Brindlewick"));
}

void DropPanel::setAcceptsKeyboardFocus(bool accepts) {
  if (accepts == m_acceptsKeyboardFocus)
    return;
  m_acceptsKeyboardFocus = accepts;
  // setWindowFlags() would hide a shown panel, so the widget's record of its flags is
  // updated silently and the change made on the native window directly.
  Qt::WindowFlags flags = windowFlags();
  flags.setFlag(Qt::WindowDoesNotAcceptFocus, !accepts);
  overrideWindowFlags(flags);
  if (QWindow* window = windowHandle())
    window->setFlag(Qt::WindowDoesNotAcceptFocus, !accepts);
}

bool DropPanel::nonActivatingStyle() const {
  return testAttribute(Qt::WA_ShowWithoutActivating) && windowType() == Qt::Tool;
}

void DropPanel::setContentView(QWidget* view) {
  if (view == m_contentView)
    return;
  // The old view may be what asked for the new one (its button, inside its click): it leaves
  // the panel now and is deleted once that is over.
  if (m_contentView) {
    m_contentView->hide();
    m_contentView->deleteLater();
  }
  m_contentView = view;
  if (view) {
    view->setParent(this);
    view->setGeometry(rect());
    view->show();
  }
}

namespace {

bool isCancelKey(const QKeyEvent* event) {
  return event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier;
}

} // namespace

bool DropPanel::event(QEvent* event) {
  // Claim Escape before any shortcut of the application can take it, so it arrives here as
  // a key press.
  if (event->type() == QEvent::ShortcutOverride && isCancelKey(static_cast<QKeyEvent*>(event))) {
    event->accept();
    return true;
  }
  return QWidget::event(event);
}

void DropPanel::keyPressEvent(QKeyEvent* event) {
  if (!isCancelKey(event)) {
    QWidget::keyPressEvent(event);
    return;
  }
  event->accept();
  if (m_onEscape)
    m_onEscape();
}

void DropPanel::showEvent(QShowEvent* event) {
  // Sent before the window is mapped: a panel that came before the reader switched workspace
  // must still be there afterwards, and the window manager reads that only at mapping. The
  // panel is no task to switch to (it never takes the keyboard from one): it stays out of
  // taskbars, pagers and the window switcher.
  if (!event->spontaneous()) {
    askWindowManager(X11WindowHints::Moment::beforeShowing);
    if (QWindow* window = windowHandle()) {
      m_awaitingMapping = true;
      window->installEventFilter(this); // once: installing again only moves it to the front
    }
  }
  QWidget::showEvent(event);
}

bool DropPanel::eventFilter(QObject* watched, QEvent* event) {
  // Asked again once mapped: a panel shown again before the window manager saw it hidden had
  // its first asking dropped.
  QWindow* window = windowHandle();
  if (watched == window && event->type() == QEvent::Expose && m_awaitingMapping && window->isExposed()) {
    m_awaitingMapping = false;
    askWindowManager(X11WindowHints::Moment::mapped);
  }
  return QWidget::eventFilter(watched, event);
}

void DropPanel::askWindowManager(X11WindowHints::Moment moment) {
  if (QWindow* window = windowHandle()) {
    X11WindowHints::showOnAllWorkspaces(*window, moment);
    X11WindowHints::leaveOutOfTaskbars(*window, moment);
  }
}

void DropPanel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (m_contentView)
    m_contentView->setGeometry(rect());
}

} // namespace brindlewick
