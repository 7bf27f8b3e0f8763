#pragma once

#include <QDBusConnection>
#include <QObject>

class QScreen;

namespace brindlewick {

class X11DesktopWatch;

// What the desktop tells the panel about itself. The base class never emits on its own:
// tests emit its signals directly, and a desktop without a service simply stays silent.
class SystemEvents : public QObject {
  Q_OBJECT

public:
  using QObject::QObject;

Q_SIGNALS:
  // A display was connected or disconnected, or changed its geometry or its work area.
  void screensChanged();
  // The reader switched to another workspace.
  void activeSpaceChanged();
  // Another window (and so possibly another application) became the active one.
  void activeApplicationChanged();
  // The active application entered or left full screen.
  void frontFullScreenChanged();
  // The computer is about to suspend, or has just resumed.
  void willSleep();
  void didWake();
  // The displays went dark (the screen saver took over).
  void screensDidSleep();
};

// The Linux desktop's events: displays from Qt, suspend and resume from logind's
// PrepareForSleep on the system bus, the screen saver from the session bus, and the active
// window, its full-screen state and the current workspace from the X11 window manager.
// Every source that is missing (no system bus, no logind, no screen saver, no X11) just
// never emits; nothing here waits for a reply.
class DesktopSystemEvents final : public SystemEvents {
  Q_OBJECT

public:
  // `x11` may be null; it must outlive this object otherwise.
  DesktopSystemEvents(const QDBusConnection& systemBus, const QDBusConnection& sessionBus,
                      X11DesktopWatch* x11, QObject* parent = nullptr);

  // Subscribes to suspend and resume on `systemBus` and to the screen saver on `sessionBus`
  // (the constructor does this for its buses; buses opened later are handed in here). A bus
  // that is not connected is skipped.
  void listenTo(const QDBusConnection& systemBus, const QDBusConnection& sessionBus);

  // Whether the suspend and screen-saver signals could be subscribed to at all.
  bool listensForSleep() const;
  bool listensForScreenSaver() const;

private Q_SLOTS:
  void prepareForSleep(bool sleeping);
  void screenSaverActiveChanged(bool active);

private:
  void watchScreen(QScreen* screen);

  bool listensForSleep_ = false;
  bool listensForScreenSaver_ = false;
};

} // namespace brindlewick
