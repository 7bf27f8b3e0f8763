#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace brindlewick {

// Seconds on a monotonic clock that never jumps with the wall clock; only the difference
// between two readings means anything.
class MediaClock {
public:
  MediaClock() = default;
  MediaClock(const MediaClock&) = delete;
  MediaClock& operator=(const MediaClock&) = delete;
  virtual ~MediaClock() = default;

  virtual double now() const = 0;
};

// The process's steady clock, counted from the moment the object was made.
class ElapsedMediaClock final : public MediaClock {
public:
  ElapsedMediaClock();
  double now() const override;

private:
  QElapsedTimer elapsed_;
};

// Calls back once per display refresh while it runs; steps the panel's animations.
class FrameTicker : public QObject {
  Q_OBJECT

public:
  using QObject::QObject;

  // Starts ticking at the given refresh rate in hertz, or restarts at a new one. A rate
  // that is not a positive number counts as 60 Hz.
  virtual void start(double refreshRate) = 0;
  virtual void stop() = 0;
  virtual bool isRunning() const = 0;

  // The refresh rate used when a display reports none (or nonsense).
  static double usableRate(double refreshRate);

Q_SIGNALS:
  void ticked();
};

// A precise main-thread timer at the display's refresh interval. Linux gives applications
// no portable per-display vertical-blank callback outside a rendering surface, so the
// interval is the closest stand-in.
class PreciseFrameTicker final : public FrameTicker {
  Q_OBJECT

public:
  explicit PreciseFrameTicker(QObject* parent = nullptr);

  void start(double refreshRate) override;
  void stop() override;
  bool isRunning() const override;
  int intervalMilliseconds() const;

private:
  QTimer timer_;
};

} // namespace brindlewick
