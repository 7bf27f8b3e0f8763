#include "desktop/FrameClock.h"

#include <algorithm>
#include <cmath>

namespace brindlewick {

void FrameClock::requestFrames(double rate) {
  if (!(rate > 0))
    rate = everyRefresh;
  const double before = requestedRate();
  m_requests.insert(rate);
  if (before == 0 || requestedRate() != before)
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

void FrameClock::releaseFrames(double rate) {
  if (!(rate > 0))
    rate = everyRefresh;
  const auto request = m_requests.find(rate);
  if (request == m_requests.end())
    return;
  const double before = requestedRate();
  m_requests.erase(request);
  if (m_requests.empty())
    setRunning(false);
  else if (requestedRate() != before)
    setRunning(true);
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
  m_refreshRate = usableFrameRate(refreshRate);
  applyInterval();
}

void SystemFrameClock::applyInterval() {
  // Never faster than the display; slower when every client asked for fewer frames.
  const double rate = isRunning() ? std::min(m_refreshRate, requestedRate()) : m_refreshRate;
  const int interval = std::max(1, static_cast<int>(std::lround(1000.0 / rate)));
  // Setting the interval restarts a running timer: only a real change may delay the next frame.
  if (interval != m_timer.interval())
    m_timer.setInterval(interval);
}

void SystemFrameClock::setRunning(bool running) {
  applyInterval();
  if (!running)
    m_timer.stop();
  else if (!m_timer.isActive())
    m_timer.start();
}

} // namespace brindlewick
