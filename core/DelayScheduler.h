#pragma once

#include "Cancellation.h"

#include <QObject>

#include <QCoroTask>

#include <cstdint>
#include <functional>
#include <map>

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
  struct Entry {
    double deadline;
    std::function<void()> callback;
  };

  void arm();
  void fireDue();

  int m_fd = -1;
  QSocketNotifier* m_notifier = nullptr;
  TimerId m_nextId = 1;
  std::map<TimerId, Entry> m_entries;
};

} // namespace brindlewick
