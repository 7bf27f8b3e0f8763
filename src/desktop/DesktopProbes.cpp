#include "desktop/DesktopProbes.h"

#include <memory>

namespace brindlewick {

LinuxDesktopProbes::LinuxDesktopProbes(const SystemEventsEnvironment& environment, QObject* parent)
    : QObject(parent) {
  build(QDBusConnection(QString()), QDBusConnection(QString()),
        X11DesktopWatch::isWaylandSession() ? QByteArray() : qgetenv("DISPLAY"), environment);
  // Opening a bus waits for the bus daemon, with no limit while it authenticates us, so a
  // daemon that has stopped answering would freeze the application at start. The buses are
  // opened on a thread of their own and handed to the probes on the main thread when they
  // are ready; until then the probes report no events, as without a bus.
  //
  // The thread must not outlive the probes: Qt's bus registry and the application object go
  // at exit, and an opener still running then crashed a process that ended at once. The
  // destructor stops the thread between the two buses and waits for an opening under way;
  // that wait is no new one, since at exit Qt's own bus thread waits for the same connection.
  busOpener_ = std::jthread([this](const std::stop_token& stop) {
    if (stop.stop_requested())
      return;
    const QDBusConnection systemBus = QDBusConnection::systemBus();
    if (stop.stop_requested())
      return;
    const QDBusConnection sessionBus = QDBusConnection::sessionBus();
    // A hand-over still queued when the probes go is dropped with them.
    QMetaObject::invokeMethod(
        this,
        [this, systemBus, sessionBus] {
          events_->listenTo(systemBus, sessionBus);
          events_->watchNetwork(systemBus.isConnected());
          accessibility_->listenTo(sessionBus);
        },
        Qt::QueuedConnection);
  });
}

LinuxDesktopProbes::LinuxDesktopProbes(const QDBusConnection& systemBus, const QDBusConnection& sessionBus,
                                       const QByteArray& x11Display, QObject* parent)
    : QObject(parent) {
  build(systemBus, sessionBus, x11Display, {});
}

LinuxDesktopProbes::~LinuxDesktopProbes() = default;

void LinuxDesktopProbes::build(const QDBusConnection& systemBus, const QDBusConnection& sessionBus,
                               const QByteArray& x11Display, const SystemEventsEnvironment& environment) {
  clock_ = new SystemFrameClock(this);
  x11_ = new X11DesktopWatch(x11Display, this);
  events_ = new DesktopSystemEvents(systemBus, sessionBus, x11_, environment, this);
  fullScreen_ = std::make_unique<X11FullScreenProbe>(x11_);
  state_ = std::make_unique<LinuxDesktopState>(x11_, events_);
  accessibility_ = new PortalAccessibilitySettings(
      sessionBus, PortalAccessibilitySettings::kDefaultTimeoutMilliseconds, this);
  auto* desktopPresses = x11Display.isEmpty() ? nullptr : new X11PressMonitor(x11Display, this);
  if (desktopPresses != nullptr && desktopPresses->isAvailable()) {
    presses_ = desktopPresses;
  } else {
    delete desktopPresses;
    presses_ = new ApplicationPressMonitor(this);
  }
}

DesktopProbes LinuxDesktopProbes::probes() {
  DesktopProbes probes;
  probes.clock = clock_;
  probes.events = events_;
  probes.fullScreen = fullScreen_.get();
  probes.accessibility = accessibility_;
  probes.outsidePresses = presses_;
  probes.state = state_.get();
  return probes;
}

X11DesktopWatch* LinuxDesktopProbes::x11() const {
  return x11_;
}

DesktopSystemEvents* LinuxDesktopProbes::events() const {
  return events_;
}

PortalAccessibilitySettings* LinuxDesktopProbes::accessibility() const {
  return accessibility_;
}

LinuxDesktopState* LinuxDesktopProbes::state() const {
  return state_.get();
}

} // namespace brindlewick
