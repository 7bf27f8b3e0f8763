#include "VirtualDelayScheduler.h"

#include <QCoreApplication>

#include <algorithm>

namespace brindlewick {

DelayScheduler::TimerId VirtualDelayScheduler::schedule(double seconds, std::function<void()> callback) {
  const TimerId id = m_nextId++;
  m_entries.emplace(id, Entry{m_now + std::max(seconds, 0.0), std::move(callback)});
  return id;
}

void VirtualDelayScheduler::cancel(TimerId id) {
  m_entries.erase(id);
}

void VirtualDelayScheduler::advance(double seconds) {
  const double target = m_now + seconds;
  flushEvents();
  for (;;) {
    auto due = m_entries.end();
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
      if (it->second.deadline <= target &&
          (due == m_entries.end() || it->second.deadline < due->second.deadline)) {
        due = it;
      }
    }
    if (due == m_entries.end()) {
      break;
    }
    m_now = std::max(m_now, due->second.deadline);
    std::function<void()> callback = std::move(due->second.callback);
    m_entries.erase(due);
    callback();
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
