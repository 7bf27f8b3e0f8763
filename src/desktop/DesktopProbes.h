#pragma once

#include "desktop/AccessibilitySettings.h"
#include "desktop/DesktopState.h"
#include "desktop/FrameClock.h"
#include "desktop/FullScreenProbe.h"
#include "desktop/OutsidePressMonitor.h"
#include "desktop/SystemEvents.h"
#include "desktop/X11DesktopWatch.h"
#include "desktop/X11PressMonitor.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QObject>

#include <memory>
#include <thread>

namespace brindlewick {

// Everything the panels and the application model learn from the desktop they run on, as
// interfaces, so that tests can drive each one by hand. The pointed-to objects are shared by
// every user and must outlive them.
struct DesktopProbes {
  FrameClock* clock = nullptr; // media time and display frames for the animations
  SystemEvents* events = nullptr;
  FullScreenProbe* fullScreen = nullptr;
  AccessibilitySettings* accessibility = nullptr;
  OutsidePressMonitor* outsidePresses = nullptr;
  DesktopState* state = nullptr; // active space, covered, screen reader, front application
};

// The real probes of this Linux desktop, made once per process. Made and destroyed on the main
// thread, and destroyed before the application object.
class LinuxDesktopProbes final : public QObject {
  Q_OBJECT

public:
  // The system and session buses and the X server named by DISPLAY (none in a Wayland session).
  // The buses are opened in the background; their events start once they are open, and the
  // network is followed from then on. Destroying the probes stops an opening that has not
  // begun yet and waits for one under way.
  explicit LinuxDesktopProbes(const SystemEventsEnvironment& environment = {}, QObject* parent = nullptr);
  // Named buses and X display, for tests; an empty display name means no X11. The network is
  // not followed: Qt's backends use the process's own system bus.
  LinuxDesktopProbes(const QDBusConnection& systemBus, const QDBusConnection& sessionBus,
                     const QByteArray& x11Display, QObject* parent = nullptr);
  ~LinuxDesktopProbes() override;

  DesktopProbes probes();

  X11DesktopWatch* x11() const;
  DesktopSystemEvents* events() const;
  PortalAccessibilitySettings* accessibility() const;
  LinuxDesktopState* state() const;

private:
  void build(const QDBusConnection& systemBus, const QDBusConnection& sessionBus,
             const QByteArray& x11Display, const SystemEventsEnvironment& environment);

  SystemFrameClock* clock_ = nullptr;
  X11DesktopWatch* x11_ = nullptr;
  DesktopSystemEvents* events_ = nullptr;
  std::unique_ptr<X11FullScreenProbe> fullScreen_;
  std::unique_ptr<LinuxDesktopState> state_;
  PortalAccessibilitySettings* accessibility_ = nullptr;
  // Presses anywhere on an X11 desktop where the server offers raw events, else in our own
  // windows only.
  OutsidePressMonitor* presses_ = nullptr;
  // Opens the buses, then hands them over. It touches Qt's bus registry and posts to this
  // object, so it must end before either goes: last, so that it is stopped and joined first.
  std::jthread busOpener_;
};

} // namespace brindlewick
