#include "VirtualDelayScheduler.h"

#include <QCoreApplication>

#include <algorithm>

namespace brindlewick {

DelayScheduler::TimerId VirtualDelayScheduler::schedule(double seconds, std::function<void()> callback) {
  return m_timers.add(m_now + std::max(seconds, 0.0), std::move(callback));
}

void VirtualDelayScheduler::cancel(TimerId id) {
  m_timers.remove(id);
}

void VirtualDelayScheduler::advance(double seconds) {
  const double target = m_now + seconds;
  flushEvents();
  for (auto deadline = m_timers.earliestDeadline(); deadline && *deadline <= target;
       deadline = m_timers.earliestDeadline()) {
    m_now = std::max(m_now, *deadline);
    m_timers.takeDue(m_now)();
    flushEvents();
  }
  m_now = target;
}

void flushEvents() {
  // Resumed coroutines may post further resumptions; a bounded number of rounds drains them.
  for (int round = 0; round < 100; ++round) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  }
}

} // namespace brindlewick
