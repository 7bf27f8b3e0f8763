#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace brindlewick {

// The clock that steps the panel's animations: a monotonic time in seconds and a `frame`
// signal once per display refresh while anyone needs frames. Injected so tests can step
// animations frame by frame without waiting.
class FrameClock : public QObject {
  Q_OBJECT

public:
  using QObject::QObject;

  // Seconds on a monotonic clock.
  virtual double now() const = 0;

  // Frames are delivered while at least one client has asked for them.
  void requestFrames();
  void releaseFrames();
  bool isRunning() const { return m_clients > 0; }

  // The refresh rate in hertz of the display the next frames are for; a clock that is not
  // tied to a display ignores it.
  virtual void setFrameRate(double refreshRate);
  // The rate used when a display reports none, or nonsense: 60 Hz.
  static double usableFrameRate(double refreshRate);

Q_SIGNALS:
  void frame(double now);

protected:
  virtual void setRunning(bool running) = 0;

private:
  int m_clients = 0;
};

// Frames from a precise timer on the thread's event loop, at the refresh interval of the
// display the panel moves on (60 Hz until told otherwise). Linux gives applications no
// portable per-display vertical-blank callback outside a rendering surface, so the interval
// is the closest stand-in.
class SystemFrameClock final : public FrameClock {
  Q_OBJECT

public:
  explicit SystemFrameClock(QObject* parent = nullptr);
  double now() const override;
  void setFrameRate(double refreshRate) override;
  int frameIntervalMilliseconds() const { return m_timer.interval(); }

protected:
  void setRunning(bool running) override;

private:
  QElapsedTimer m_elapsed;
  QTimer m_timer;
};

} // namespace brindlewick
