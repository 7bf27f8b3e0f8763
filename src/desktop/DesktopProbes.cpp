#include "desktop/DesktopProbes.h"

#include <QCoreApplication>
#include <QPointer>

#include <memory>
#include <thread>

namespace brindlewick {

LinuxDesktopProbes::LinuxDesktopProbes(const SystemEventsEnvironment& environment, QObject* parent)
    : QObject(parent) {
  build(QDBusConnection(QString()), QDBusConnection(QString()), new X11DesktopWatch(this), environment);
  // Opening a bus waits for the bus daemon, with no limit while it authenticates us, so a
  // daemon that has stopped answering would freeze the application at start. The buses are
  // opened on a thread of their own and handed to the probes on the main thread when they
  // are ready; until then the probes report no events, as without a bus.
  auto probes = std::make_shared<QPointer<LinuxDesktopProbes>>(this);
  std::thread([probes] {
    const QDBusConnection systemBus = QDBusConnection::systemBus();
    const QDBusConnection sessionBus = QDBusConnection::sessionBus();
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr)
      return; // the application has ended meanwhile
    QMetaObject::invokeMethod(
        application,
        [probes, systemBus, sessionBus] {
          if (*probes) {
            (*probes)->events_->listenTo(systemBus, sessionBus);
            (*probes)->events_->watchNetwork(systemBus.isConnected());
            (*probes)->accessibility_->listenTo(sessionBus);
          }
        },
        Qt::QueuedConnection);
  }).detach();
}

LinuxDesktopProbes::LinuxDesktopProbes(const QDBusConnection& systemBus, const QDBusConnection& sessionBus,
                                       const QByteArray& x11Display, QObject* parent)
    : QObject(parent) {
  build(systemBus, sessionBus, new X11DesktopWatch(x11Display, this), {});
}

LinuxDesktopProbes::~LinuxDesktopProbes() = default;

void LinuxDesktopProbes::build(const QDBusConnection& systemBus, const QDBusConnection& sessionBus,
                               X11DesktopWatch* x11, const SystemEventsEnvironment& environment) {
  clock_ = new SystemFrameClock(this);
  x11_ = x11;
  events_ = new DesktopSystemEvents(systemBus, sessionBus, x11_, environment, this);
  fullScreen_ = std::make_unique<X11FullScreenProbe>(x11_);
  state_ = std::make_unique<LinuxDesktopState>(x11_, events_);
  accessibility_ = new PortalAccessibilitySettings(
      sessionBus, PortalAccessibilitySettings::kDefaultTimeoutMilliseconds, this);
  presses_ = new ApplicationPressMonitor(this);
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
