#include "app/ActivationReturn.h"

#include <QEvent>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <utility>

namespace brindlewick {

namespace {

// A window the reader works in, not a menu, a tooltip or a pop-up list of one.
bool isMainKind(const QWindow* window) {
  const Qt::WindowType type = window->type();
  return type == Qt::Window || type == Qt::Dialog;
}

} // namespace

ActivationReturn::ActivationReturn(QWidget* window) : QObject(window), m_window(window) {
  window->installEventFilter(this);
  connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, &ActivationReturn::focusWindowChanged);
  focusWindowChanged(QGuiApplication::focusWindow());
}

void ActivationReturn::focusWindowChanged(QWindow* window) {
  if (window != nullptr && window == m_window->windowHandle()) {
    m_returnTo = m_lastActive;
    return;
  }
  if (window == nullptr || isMainKind(window))
    m_lastActive = window;
}

bool ActivationReturn::eventFilter(QObject* watched, QEvent* event) {
  // Once the hiding is done and what it activates has been told: the window manager may
  // already have given the activation to a window of ours.
  if (watched == m_window && event->type() == QEvent::Hide && !m_returnTo.isNull())
    QTimer::singleShot(0, this, &ActivationReturn::giveBack);
  return false;
}

void ActivationReturn::giveBack() {
  const QPointer<QWindow> target = std::exchange(m_returnTo, nullptr);
  if (target.isNull() || m_window->isVisible() || !target->isVisible() ||
      (target->windowStates() & Qt::WindowMinimized))
    return;
  const QWindow* active = QGuiApplication::focusWindow();
  if (active == nullptr || active == m_window->windowHandle())
    target->requestActivate();
}

} // namespace brindlewick
