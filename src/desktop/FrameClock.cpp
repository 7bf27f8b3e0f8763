#include "desktop/FrameClock.h"

#include <algorithm>
#include <cmath>

namespace brindlewick {

void FrameClock::requestFrames() {
  if (++m_clients == 1)
    setRunning(true);
}

void FrameClock::setFrameRate(double) {}

double FrameClock::usableFrameRate(double refreshRate) {
  // Above 1 kHz a millisecond timer cannot follow anyway; a report like that is a driver's
  // placeholder rather than a real panel.
  if (!std::isfinite(refreshRate) || refreshRate <= 0 || refreshRate > 1000)
    return 60;
  return refreshRate;
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
  setFrameRate(60);
  connect(&m_timer, &QTimer::timeout, this, [this] { Q_EMIT frame(now()); });
}

double SystemFrameClock::now() const {
  return static_cast<double>(m_elapsed.nsecsElapsed()) / 1e9;
}

void SystemFrameClock::setFrameRate(double refreshRate) {
  m_timer.setInterval(std::max(1, static_cast<int>(std::lround(1000.0 / usableFrameRate(refreshRate)))));
}

void SystemFrameClock::setRunning(bool running) {
  if (running)
    m_timer.start();
  else
    m_timer.stop();
}

} // namespace brindlewick
