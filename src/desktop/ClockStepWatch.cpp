#include "desktop/ClockStepWatch.h"

#include <QSocketNotifier>

#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <limits>

namespace brindlewick {

TimerFdWallClockTimer::TimerFdWallClockTimer() {
  m_fd = ::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
}

TimerFdWallClockTimer::~TimerFdWallClockTimer() {
  if (m_fd >= 0) {
    ::close(m_fd);
  }
}

bool TimerFdWallClockTimer::arm() {
  if (m_fd < 0) {
    return false;
  }
  // The latest date there is: the timer never fires, it is only ever cancelled.
  itimerspec spec{};
  spec.it_value.tv_sec = std::numeric_limits<time_t>::max();
  return ::timerfd_settime(m_fd, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &spec, nullptr) == 0;
}

WallClockTimer::Reading TimerFdWallClockTimer::read() {
  std::uint64_t expirations = 0;
  const ssize_t result = ::read(m_fd, &expirations, sizeof expirations);
  if (result == static_cast<ssize_t>(sizeof expirations)) {
    return Reading::stepped;
  }
  if (result < 0 && errno == ECANCELED) {
    return Reading::stepped;
  }
  if (result < 0 && (errno == EAGAIN || errno == EINTR)) {
    return Reading::nothing;
  }
  return Reading::failed;
}

ClockStepWatch::ClockStepWatch(std::unique_ptr<WallClockTimer> timer, QObject* parent)
    : QObject(parent), m_timer(std::move(timer)) {
  if (m_timer->descriptor() < 0 || !m_timer->arm()) {
    return;
  }
  m_notifier = new QSocketNotifier(m_timer->descriptor(), QSocketNotifier::Read, this);
  connect(m_notifier, &QSocketNotifier::activated, this, &ClockStepWatch::readTimer);
}

ClockStepWatch::~ClockStepWatch() {
  delete m_notifier; // before the timer closes the descriptor it watches
}

void ClockStepWatch::readTimer() {
  switch (m_timer->read()) {
  case WallClockTimer::Reading::nothing: return;
  case WallClockTimer::Reading::failed: stop(); return;
  case WallClockTimer::Reading::stepped: break;
  }
  // Re-arm before telling anyone, so that a jump during the handlers is seen too.
  if (!m_timer->arm()) {
    stop();
  }
  Q_EMIT clockStepped();
}

void ClockStepWatch::stop() {
  if (m_notifier != nullptr) {
    // Possibly inside the notifier's own signal: let the event loop delete it.
    m_notifier->setEnabled(false);
    m_notifier->deleteLater();
    m_notifier = nullptr;
  }
}

} // namespace brindlewick
