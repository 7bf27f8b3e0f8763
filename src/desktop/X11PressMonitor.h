#pragma once

#include "desktop/OutsidePressMonitor.h"

#include <QByteArray>

#include <memory>

class QSocketNotifier;

namespace brindlewick {

// Sees left and right presses anywhere on the X11 desktop, in other applications' windows as
// in ours, through the raw button events of the XInput2 extension on the root window. The
// server sends those beside the real events and nothing is grabbed, so every press still
// reaches the window it was meant for. A raw event carries no position: the pointer's is asked
// for as the event is read. It talks over a connection of its own, and asks for the events
// only while it is watched, so the desktop's clicks wake nobody while no panel is up.
class X11PressMonitor final : public OutsidePressMonitor {
  Q_OBJECT

public:
  // Connects to the named display (an empty name means DISPLAY).
  explicit X11PressMonitor(const QByteArray& displayName, QObject* parent = nullptr);
  ~X11PressMonitor() override;

  // Whether the server offers raw events (XInput 2.1 or later); without them the monitor
  // reports nothing.
  bool isAvailable() const;

protected:
  void setListening(bool listening) override;

private:
  struct Connection;

  void readEvents();

  std::unique_ptr<Connection> m_connection;
  QSocketNotifier* m_notifier = nullptr;
};

} // namespace brindlewick
