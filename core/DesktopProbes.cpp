#include "DesktopProbes.h"

namespace brindlewick {

LinuxDesktopProbes::LinuxDesktopProbes(QObject* parent) : QObject(parent) {
  build(QDBusConnection::systemBus(), QDBusConnection::sessionBus(), new X11DesktopWatch(this));
}

LinuxDesktopProbes::LinuxDesktopProbes(const QDBusConnection& systemBus, const QDBusConnection& sessionBus,
                                       const QByteArray& x11Display, QObject* parent)
    : QObject(parent) {
  build(systemBus, sessionBus, new X11DesktopWatch(x11Display, this));
}

LinuxDesktopProbes::~LinuxDesktopProbes() = default;

void LinuxDesktopProbes::build(const QDBusConnection& systemBus, const QDBusConnection& sessionBus,
                               X11DesktopWatch* x11) {
  clock_ = new SystemFrameClock(this);
  x11_ = x11;
  events_ = new DesktopSystemEvents(systemBus, sessionBus, x11_, this);
  fullScreen_ = std::make_unique<X11FullScreenProbe>(x11_);
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

} // namespace brindlewick
