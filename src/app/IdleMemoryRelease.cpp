#include "app/IdleMemoryRelease.h"

#include "desktop/FreedMemory.h"
#include "ui/design/DrawingCaches.h"

#include <algorithm>
#include <utility>

namespace brindlewick {

IdleMemoryRelease::IdleMemoryRelease(Delays delays, QObject* parent) : QObject(parent), m_delays(delays) {
  m_delay.setSingleShot(true);
  connect(&m_delay, &QTimer::timeout, this, &IdleMemoryRelease::release);
}

void IdleMemoryRelease::launched() {
  releaseIn(m_delays.brief, false);
}

void IdleMemoryRelease::windowHidden() {
  releaseIn(m_delays.brief, true);
}

void IdleMemoryRelease::windowDeactivated() {
  releaseIn(m_delays.inactive, true);
}

void IdleMemoryRelease::windowActivated() {
  if (m_drawingCaches)
    m_delay.stop();
  m_drawingCaches = false;
}

void IdleMemoryRelease::releaseIn(int milliseconds, bool drawingCaches) {
  // A burst of hides and deactivations releases once; a release already due keeps its time
  // unless this one is due sooner.
  if (m_delay.isActive())
    milliseconds = std::min(milliseconds, m_delay.remainingTime());
  m_drawingCaches = m_drawingCaches || drawingCaches;
  m_delay.start(milliseconds);
}

void IdleMemoryRelease::release() {
  const bool drawingCaches = std::exchange(m_drawingCaches, false);
  if (drawingCaches)
    DrawingCaches::release();
  FreedMemory::returnToSystem();
  Q_EMIT released(drawingCaches);
}

} // namespace brindlewick
