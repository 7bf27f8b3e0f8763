#pragma once

#include "foundation/Cancellation.h"

#include <QObject>

#include <QCoroTask>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>

class QSocketNotifier;

namespace brindlewick {

// One-shot timers on a clock that keeps counting while the computer sleeps, so that "wait an
// hour" means an hour of wall time even across a suspend. Production code takes a scheduler so
// that tests can run it on virtual time. Main thread only; a scheduler outlives the delays
// armed on it.
class DelayScheduler {
public:
  using TimerId = std::uint64_t;

  virtual ~DelayScheduler();

  // Seconds on this scheduler's clock; only differences are meaningful.
  virtual double now() const = 0;
  // Calls `callback` once, from the event loop, `seconds` from now (at once for zero or less).
  virtual TimerId schedule(double seconds, std::function<void()> callback) = 0;
  // Forgets a timer that has not fired; unknown ids are ignored.
  virtual void cancel(TimerId id) = 0;

  // The process-wide scheduler on the boot-time clock.
  static DelayScheduler& system();
};

// The armed timers of a scheduler by deadline on its clock, fired one at a time, earliest
// first (in arming order when deadlines are equal), since a callback may arm or cancel others.
class TimerQueue {
public:
  DelayScheduler::TimerId add(double deadline, std::function<void()> callback);
  // False when the timer is unknown or has fired.
  bool remove(DelayScheduler::TimerId id);
  std::optional<double> earliestDeadline() const;
  // Takes the earliest timer due by `now` out of the queue and returns its callback; an empty
  // function when none is due.
  std::function<void()> takeDue(double now);
  std::size_t size() const { return m_entries.size(); }

private:
  struct Entry {
    double deadline;
    std::function<void()> callback;
  };
  DelayScheduler::TimerId m_nextId = 1;
  std::map<DelayScheduler::TimerId, Entry> m_entries;
};

// Suspends the calling coroutine for `seconds` on `scheduler`. Throws CancelledError when the
// token is cancelled before or during the wait; the armed timer is then removed.
QCoro::Task<void> delay(DelayScheduler& scheduler, double seconds, CancellationToken cancellation);

// The real scheduler: CLOCK_BOOTTIME through one timerfd watched by a socket notifier. A QTimer
// would measure on the monotonic clock, which stands still during suspend.
class BootClockScheduler : public QObject, public DelayScheduler {
  Q_OBJECT
public:
  explicit BootClockScheduler(QObject* parent = nullptr);
  ~BootClockScheduler() override;

  double now() const override;
  TimerId schedule(double seconds, std::function<void()> callback) override;
  void cancel(TimerId id) override;

private:
  void arm();
  void fireDue();

  int m_fd = -1;
  QSocketNotifier* m_notifier = nullptr;
  TimerQueue m_timers;
};

} // namespace brindlewick
