#include "desktop/DesktopState.h"

#include "desktop/SystemEvents.h"
#include "desktop/X11DesktopWatch.h"

#include <QGuiApplication>
#include <QWindow>

namespace brindlewick {

LinuxDesktopState::LinuxDesktopState(X11DesktopWatch* x11, DesktopSystemEvents* events)
    : m_x11(x11), m_events(events) {}

bool LinuxDesktopState::isOnActiveSpace(const QWindow& window) {
  // A window's id names an X window only on Qt's X11 platform; a window not made yet has none
  // (and winId() would make it).
  if (m_x11 == nullptr || window.handle() == nullptr ||
      QGuiApplication::platformName() != QLatin1String("xcb")) {
    return true;
  }
  return m_x11->isOnCurrentDesktop(static_cast<std::uint32_t>(window.winId())).value_or(true);
}

bool LinuxDesktopState::isCovered(const QWindow& window) {
  return !window.isExposed();
}

bool LinuxDesktopState::screenReaderRuns() {
  return m_events != nullptr && m_events->screenReaderRunning();
}

bool LinuxDesktopState::frontApplicationExists() {
  return true;
}

} // namespace brindlewick
