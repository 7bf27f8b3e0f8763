#pragma once

#include <QObject>
#include <QPointF>

namespace brindlewick {

// Reports left and right mouse-button presses with their global position (Qt's global
// coordinates, in device-independent pixels). The base class never emits on its own; tests
// emit `pressed` directly.
//
// A monitor may cost something while it listens, so its users say when they want presses:
// every startWatching() is matched by one stopWatching(), and the monitor listens while at
// least one user watches.
class OutsidePressMonitor : public QObject {
  Q_OBJECT

public:
  using QObject::QObject;

  void startWatching();
  void stopWatching();
  bool isWatching() const { return m_watchers > 0; }

Q_SIGNALS:
  void pressed(QPointF globalPosition);

protected:
  // Called as the first user starts watching (true) and as the last one stops (false).
  virtual void setListening(bool listening) { Q_UNUSED(listening); }

private:
  int m_watchers = 0;
};

// Sees the presses in this application's own windows through an application-wide event
// filter; the event goes on to its window unchanged. Presses in other applications' windows
// are not seen: on Wayland no client may watch them at all (on X11, X11PressMonitor does).
class ApplicationPressMonitor final : public OutsidePressMonitor {
  Q_OBJECT

public:
  explicit ApplicationPressMonitor(QObject* parent = nullptr);
  ~ApplicationPressMonitor() override;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace brindlewick
