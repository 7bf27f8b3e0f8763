#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <limits>
#include <set>

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

  // A request for a frame at every display refresh.
  static constexpr double everyRefresh = std::numeric_limits<double>::infinity();

  // Frames are delivered while at least one client has asked for them, as often as the
  // most demanding client asked: `rate` frames a second, or every refresh. A client that
  // asked for fewer gets the others' frames as well. A release names the rate it was
  // requested with.
  void requestFrames(double rate = everyRefresh);
  void releaseFrames(double rate = everyRefresh);
  bool isRunning() const { return !m_requests.empty(); }
  // The highest rate requested now; 0 while nobody asks for frames.
  double requestedRate() const { return m_requests.empty() ? 0 : *m_requests.rbegin(); }

  // The refresh rate in hertz of the display the next frames are for; a clock that is not
  // tied to a display ignores it.
  virtual void setFrameRate(double refreshRate);
  // The rate used when a display reports none, or nonsense: 60 Hz.
  static double usableFrameRate(double refreshRate);

Q_SIGNALS:
  void frame(double now);

protected:
  // Starts or stops the frames; called again while running when the requested rate changed.
  virtual void setRunning(bool running) = 0;

private:
  std::multiset<double> m_requests;
};

// Frames from a precise timer on the thread's event loop, at the refresh interval of the
// display the panel moves on (60 Hz until told otherwise), or longer when no client asks for
// every refresh. Linux gives applications no portable per-display vertical-blank callback
// outside a rendering surface, so the interval is the closest stand-in.
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
  void applyInterval();

  double m_refreshRate = 60;
  QElapsedTimer m_elapsed;
  QTimer m_timer;
};

} // namespace brindlewick
