#include "foundation/DelayScheduler.h"

#include "foundation/Completion.h"

#include <QSocketNotifier>

#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string>
#include <variant>

namespace brindlewick {

DelayScheduler::~DelayScheduler() = default;

DelayScheduler& DelayScheduler::system() {
  static BootClockScheduler* scheduler = new BootClockScheduler(QCoreApplication::instance());
  return *scheduler;
}

QCoro::Task<void> delay(DelayScheduler& scheduler, double seconds, CancellationToken cancellation) {
  cancellation.throwIfCancelled();
  Completion<std::monostate> done;
  const DelayScheduler::TimerId id = scheduler.schedule(seconds, [done]() mutable { done.resolve({}); });
  CancellationRegistration registration = cancellation.onCancel([done, &scheduler, id]() mutable {
    scheduler.cancel(id);
    done.fail(CancelledError());
  });
  co_await done;
  // A cancellation that arrived after the timer fired still wins: the caller asked to stop.
  cancellation.throwIfCancelled();
}

namespace {

timespec toTimespec(double seconds) {
  timespec value{};
  double whole = std::floor(seconds);
  value.tv_sec = static_cast<time_t>(whole);
  value.tv_nsec = static_cast<long>((seconds - whole) * 1e9);
  if (value.tv_nsec >= 1000000000L) {
    value.tv_sec += 1;
    value.tv_nsec -= 1000000000L;
  }
  return value;
}

} // namespace

BootClockScheduler::BootClockScheduler(QObject* parent) : QObject(parent) {
  m_fd = timerfd_create(CLOCK_BOOTTIME, TFD_NONBLOCK | TFD_CLOEXEC);
  if (m_fd < 0) {
    throw std::runtime_error(std::string("timerfd_create failed: ") + std::strerror(errno));
  }
  m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
  connect(m_notifier, &QSocketNotifier::activated, this, [this] { fireDue(); });
}

BootClockScheduler::~BootClockScheduler() {
  delete m_notifier;
  if (m_fd >= 0) {
    ::close(m_fd);
  }
}

double BootClockScheduler::now() const {
  timespec value{};
  clock_gettime(CLOCK_BOOTTIME, &value);
  return static_cast<double>(value.tv_sec) + static_cast<double>(value.tv_nsec) / 1e9;
}

DelayScheduler::TimerId BootClockScheduler::schedule(double seconds, std::function<void()> callback) {
  // A wait beyond any lifetime (an absurd expiry date, infinity) is capped rather than left to
  // overflow the kernel's time type; NaN counts as no wait.
  constexpr double longestWait = 1e9;
  const double wait = std::isnan(seconds) ? 0.0 : std::clamp(seconds, 0.0, longestWait);
  const TimerId id = m_timers.add(now() + wait, std::move(callback));
  arm();
  return id;
}

void BootClockScheduler::cancel(TimerId id) {
  if (m_timers.remove(id)) {
    arm();
  }
}

void BootClockScheduler::arm() {
  itimerspec spec{};
  if (const auto earliest = m_timers.earliestDeadline()) {
    spec.it_value = toTimespec(*earliest);
    // An all-zero value would disarm the timer instead of firing it.
    if (spec.it_value.tv_sec == 0 && spec.it_value.tv_nsec == 0) {
      spec.it_value.tv_nsec = 1;
    }
  }
  timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &spec, nullptr);
}

void BootClockScheduler::fireDue() {
  std::uint64_t expirations = 0;
  while (::read(m_fd, &expirations, sizeof expirations) > 0) {
  }
  while (auto callback = m_timers.takeDue(now())) {
    callback();
  }
  arm();
}

DelayScheduler::TimerId TimerQueue::add(double deadline, std::function<void()> callback) {
  const DelayScheduler::TimerId id = m_nextId++;
  m_entries.emplace(id, Entry{deadline, std::move(callback)});
  return id;
}

bool TimerQueue::remove(DelayScheduler::TimerId id) {
  return m_entries.erase(id) > 0;
}

std::optional<double> TimerQueue::earliestDeadline() const {
  std::optional<double> earliest;
  for (const auto& [id, entry] : m_entries) {
    if (!earliest || entry.deadline < *earliest) {
      earliest = entry.deadline;
    }
  }
  return earliest;
}

std::function<void()> TimerQueue::takeDue(double now) {
  auto due = m_entries.end();
  for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
    if (it->second.deadline <= now &&
        (due == m_entries.end() || it->second.deadline < due->second.deadline)) {
      due = it;
    }
  }
  if (due == m_entries.end()) {
    return {};
  }
  std::function<void()> callback = std::move(due->second.callback);
  m_entries.erase(due);
  return callback;
}

} // namespace brindlewick
