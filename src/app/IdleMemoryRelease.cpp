#include "app/IdleMemoryRelease.h"

#include "desktop/FreedMemory.h"
#include "ui/design/DrawingCaches.h"

namespace brindlewick {

IdleMemoryRelease::IdleMemoryRelease(std::function<bool()> windowShown, int delayMilliseconds, QObject* parent)
    : QObject(parent), m_windowShown(std::move(windowShown)) {
  m_delay.setSingleShot(true);
  m_delay.setInterval(delayMilliseconds);
  connect(&m_delay, &QTimer::timeout, this, &IdleMemoryRelease::release);
}

void IdleMemoryRelease::lookedAway() {
  m_delay.start();
}

void IdleMemoryRelease::release() {
  if (!m_windowShown || !m_windowShown())
    DrawingCaches::release();
  FreedMemory::returnToSystem();
  Q_EMIT released();
}

} // namespace brindlewick
