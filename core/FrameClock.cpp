#include "FrameClock.h"

namespace brindlewick {

void FrameClock::requestFrames() {
  if (++m_clients == 1)
    setRunning(true);
}

void FrameClock::releaseFrames() {
  if (m_clients == 0)
    return;
  if (--m_clients == 0)
    setRunning(false);
}

SystemFrameClock::SystemFrameClock(QObject* parent) : FrameClock(parent) {
  m_elapsed.start();
  m_timer.setTimerType(Qt::PreciseTimer);
  m_timer.setInterval(16);
  connect(&m_timer, &QTimer::timeout, this, [this] { Q_EMIT frame(now()); });
}

double SystemFrameClock::now() const {
  return static_cast<double>(m_elapsed.nsecsElapsed()) / 1e9;
}

void SystemFrameClock::setRunning(bool running) {
  if (running)
    m_timer.start();
  else
    m_timer.stop();
}

} // namespace brindlewick
