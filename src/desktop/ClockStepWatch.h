#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace brindlewick {

// A kernel timer on the wall clock that tells when the clock is set: armed for a date it never
// reaches and cancelled by the kernel whenever the wall clock jumps (set by hand, by NTP stepping
// it, on a resume that corrects it).
class WallClockTimer {
public:
  enum class Reading {
    nothing, // spurious wake-up: nothing to read
    stepped, // the wall clock jumped (or, absurdly, reached the far date)
    failed,  // the timer cannot be read any more
  };

  WallClockTimer() = default;
  WallClockTimer(const WallClockTimer&) = delete;
  WallClockTimer& operator=(const WallClockTimer&) = delete;
  virtual ~WallClockTimer() = default;

  // Readable when there is something to read; negative when the timer could not be made.
  virtual int descriptor() const = 0;
  // (Re-)arms the timer; a cancelled timer reports no further jump until it is armed again.
  virtual bool arm() = 0;
  virtual Reading read() = 0;
};

// timerfd on CLOCK_REALTIME, absolute, cancelled on set.
class TimerFdWallClockTimer final : public WallClockTimer {
public:
  TimerFdWallClockTimer();
  ~TimerFdWallClockTimer() override;

  int descriptor() const override { return m_fd; }
  bool arm() override;
  Reading read() override;

private:
  int m_fd = -1;
};

// Reports every jump of the wall clock, re-arming the timer after each one. Without a usable
// timer it never reports anything; a timer that cannot be re-armed is dropped rather than left
// readable, where it would wake the event loop without end.
class ClockStepWatch final : public QObject {
  Q_OBJECT

public:
  explicit ClockStepWatch(std::unique_ptr<WallClockTimer> timer = std::make_unique<TimerFdWallClockTimer>(),
                          QObject* parent = nullptr);
  ~ClockStepWatch() override;

  bool isWatching() const { return m_notifier != nullptr; }

Q_SIGNALS:
  void clockStepped();

private:
  void readTimer();
  void stop();

  std::unique_ptr<WallClockTimer> m_timer;
  QSocketNotifier* m_notifier = nullptr;
};

} // namespace brindlewick
