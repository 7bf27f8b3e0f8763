#pragma once

#include <QObject>
#include <QPointF>

namespace brindlewick {

// Reports left and right mouse-button presses with their global position (Qt's global
// coordinates, in device-independent pixels). The base class never emits on its own; tests
// emit `pressed` directly.
class OutsidePressMonitor : public QObject {
  Q_OBJECT

public:
  using QObject::QObject;

Q_SIGNALS:
  void pressed(QPointF globalPosition);
};

// Sees the presses in this application's own windows through an application-wide event
// filter; the event goes on to its window unchanged. Presses in other applications' windows
// are not seen: on X11 that would need the XInput2 raw-event extension, and the core protocol
// can only catch them by grabbing the pointer, which would take the reader's clicks away from
// the window they meant; on Wayland no client may watch them at all.
class ApplicationPressMonitor final : public OutsidePressMonitor {
  Q_OBJECT

public:
  explicit ApplicationPressMonitor(QObject* parent = nullptr);
  ~ApplicationPressMonitor() override;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace brindlewick
