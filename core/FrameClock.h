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

Q_SIGNALS:
  void frame(double now);

protected:
  virtual void setRunning(bool running) = 0;

private:
  int m_clients = 0;
};

// Frames from a precise 60 Hz timer on the thread's event loop.
class SystemFrameClock final : public FrameClock {
  Q_OBJECT

public:
  explicit SystemFrameClock(QObject* parent = nullptr);
  double now() const override;

protected:
  void setRunning(bool running) override;

private:
  QElapsedTimer m_elapsed;
  QTimer m_timer;
};

} // namespace brindlewick
