#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <functional>

class QScreen;
class QWindow;

namespace brindlewick {

class BusProperties;
class LogindSession;
class NetworkReachability;
class TimeZoneWatch;
class X11DesktopWatch;

// What the desktop tells the application about itself. The base class never emits on its own:
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
  // The displays went dark (the screen saver took over), or came back.
  void screensDidSleep();
  void screensDidWake();
  // Another user's session took over the seat, or this session got it back.
  void sessionResignedActive();
  void sessionBecameActive();
  // The screen was locked or unlocked.
  void screenLocked();
  void screenUnlocked();
  // The wall clock jumped: set by hand, stepped by time synchronisation, corrected on resume.
  void clockStepped();
  // The system time zone changed; local times computed from now on use the new one.
  void timeZoneChanged();
  // The network became reachable again.
  void networkBecameOnline();
  // One of the application's own windows took the keyboard focus; panels, pop-ups and tool
  // tips do not count.
  void windowBecameKey();
  // A screen reader started or stopped.
  void screenReaderChanged(bool running);
};

// Where DesktopSystemEvents looks, for tests to point elsewhere.
struct SystemEventsEnvironment {
  // The link that names the system time zone; its folder is watched.
  QString localTimePath = QStringLiteral("/etc/localtime");
  // How long a reading (the session, the screen reader) may take before it counts as none.
  int timeoutMilliseconds = 3000;
  // Loads Qt's network information backend of that name (NetworkReachability); Qt's by default.
  std::function<bool(const QString& name)> loadNetworkBackend;
};

// The Linux desktop's events:
// - displays and the focused window from Qt;
// - suspend and resume from logind's PrepareForSleep, and the reader's session (active, locked)
//   from logind, on the system bus;
// - the screen saver (freedesktop and GNOME) and the screen reader (AT-SPI) on the session bus;
// - clock jumps from a wall-clock timerfd, the time zone from timedated and the localtime link;
// - the network from Qt's network information;
// - the active window, its full-screen state and the current workspace from X11.
// Every source that is missing just never emits; nothing here waits for a reply.
class DesktopSystemEvents final : public SystemEvents {
  Q_OBJECT

public:
  // `x11` may be null; it must outlive this object otherwise.
  DesktopSystemEvents(const QDBusConnection& systemBus, const QDBusConnection& sessionBus,
                      X11DesktopWatch* x11, const SystemEventsEnvironment& environment = {},
                      QObject* parent = nullptr);

  // Subscribes to the services on `systemBus` and `sessionBus` (the constructor does this for
  // its buses; buses opened later are handed in here). A bus that is not connected is skipped,
  // and each subscription is made once, so a bus handed in twice does not double the signals.
  void listenTo(const QDBusConnection& systemBus, const QDBusConnection& sessionBus);

  // Starts following the network (once); see NetworkReachability::load.
  void watchNetwork(bool systemBusConnected);

  // Whether a source could be subscribed to at all.
  bool listensForSleep() const;
  bool listensForScreenSaver() const;
  bool listensForTimeZone() const;
  // The logind session followed; empty until it has been found.
  QString sessionPath() const;

  // Whether a screen reader runs, as AT-SPI last said; false until it has.
  bool screenReaderRunning() const { return screenReaderRunning_; }

  // Whether `window` gaining the focus counts as one of our windows becoming key: not null, and
  // not a tool window (the drop panels are tool windows), a pop-up or a tool tip.
  static bool countsAsKeyWindow(const QWindow* window);

private Q_SLOTS:
  void prepareForSleep(bool sleeping);
  void screenSaverActiveChanged(bool active);

private:
  void watchScreen(QScreen* screen);
  void followScreenReader(const QDBusConnection& sessionBus);

  SystemEventsEnvironment environment_;
  LogindSession* session_ = nullptr;
  TimeZoneWatch* timeZone_ = nullptr;
  NetworkReachability* network_ = nullptr;
  BusProperties* accessibilityBus_ = nullptr;
  bool listensForSleep_ = false;
  bool listensForScreenSaver_ = false;
  bool screenReaderRunning_ = false;
};

} // namespace brindlewick
