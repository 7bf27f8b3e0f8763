#include "desktop/SystemEvents.h"

#include "desktop/BusProperties.h"
#include "desktop/ClockStepWatch.h"
#include "desktop/LogindSession.h"
#include "desktop/NetworkReachability.h"
#include "desktop/TimeZoneWatch.h"
#include "desktop/X11DesktopWatch.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

namespace brindlewick {

namespace {

const QString kScreenReaderEnabled = QStringLiteral("ScreenReaderEnabled");

} // namespace

DesktopSystemEvents::DesktopSystemEvents(const QDBusConnection& systemBus, const QDBusConnection& sessionBus,
                                         X11DesktopWatch* x11, const SystemEventsEnvironment& environment,
                                         QObject* parent)
    : SystemEvents(parent), environment_(environment) {
  if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    connect(application, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
      watchScreen(screen);
      Q_EMIT screensChanged();
    });
    connect(application, &QGuiApplication::screenRemoved, this, &SystemEvents::screensChanged);
    connect(application, &QGuiApplication::primaryScreenChanged, this, &SystemEvents::screensChanged);
    for (QScreen* screen : QGuiApplication::screens()) {
      watchScreen(screen);
    }
    connect(application, &QGuiApplication::focusWindowChanged, this, [this](QWindow* window) {
      if (countsAsKeyWindow(window)) {
        Q_EMIT windowBecameKey();
      }
    });
  }

  session_ = new LogindSession(environment_.timeoutMilliseconds, this);
  connect(session_, &LogindSession::activeChanged, this, [this](bool active) {
    if (active) {
      Q_EMIT sessionBecameActive();
    } else {
      Q_EMIT sessionResignedActive();
    }
  });
  connect(session_, &LogindSession::lockedChanged, this, [this](bool locked) {
    if (locked) {
      Q_EMIT screenLocked();
    } else {
      Q_EMIT screenUnlocked();
    }
  });

  auto* clock = new ClockStepWatch(std::make_unique<TimerFdWallClockTimer>(), this);
  connect(clock, &ClockStepWatch::clockStepped, this, &SystemEvents::clockStepped);
  timeZone_ = new TimeZoneWatch(environment_.localTimePath, this);
  connect(timeZone_, &TimeZoneWatch::changed, this, &SystemEvents::timeZoneChanged);
  network_ = new NetworkReachability(environment_.loadNetworkBackend, this);
  connect(network_, &NetworkReachability::becameOnline, this, &SystemEvents::networkBecameOnline);

  listenTo(systemBus, sessionBus);

  if (x11 != nullptr) {
    connect(x11, &X11DesktopWatch::activeWindowChanged, this, &SystemEvents::activeApplicationChanged);
    connect(x11, &X11DesktopWatch::activeFullScreenChanged, this, &SystemEvents::frontFullScreenChanged);
    connect(x11, &X11DesktopWatch::currentDesktopChanged, this, &SystemEvents::activeSpaceChanged);
  }
}

void DesktopSystemEvents::listenTo(const QDBusConnection& systemBus, const QDBusConnection& sessionBus) {
  // Subscribing only sends a match rule, without waiting for an answer; when a service is absent
  // no signal ever arrives. The subscriptions name no sender: for a well-known sender name Qt
  // would first ask the bus for its owner and wait for the reply, which hangs the main thread
  // on a bus that has stopped answering.
  if (!listensForSleep_ && systemBus.isConnected()) {
    QDBusConnection bus = systemBus;
    listensForSleep_ = bus.connect(QString(), QStringLiteral("/org/freedesktop/login1"),
                                   QStringLiteral("org.freedesktop.login1.Manager"),
                                   QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
  }
  session_->listenTo(systemBus);
  timeZone_->listenTo(systemBus);
  if (!listensForScreenSaver_ && sessionBus.isConnected()) {
    QDBusConnection bus = sessionBus;
    const bool freedesktop =
        bus.connect(QString(), QStringLiteral("/org/freedesktop/ScreenSaver"),
                    QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("ActiveChanged"), this,
                    SLOT(screenSaverActiveChanged(bool)));
    const bool gnome = bus.connect(QString(), QStringLiteral("/org/gnome/ScreenSaver"),
                                   QStringLiteral("org.gnome.ScreenSaver"), QStringLiteral("ActiveChanged"),
                                   this, SLOT(screenSaverActiveChanged(bool)));
    listensForScreenSaver_ = freedesktop || gnome;
  }
  followScreenReader(sessionBus);
}

void DesktopSystemEvents::followScreenReader(const QDBusConnection& sessionBus) {
  if (accessibilityBus_ != nullptr || !sessionBus.isConnected()) {
    return;
  }
  // The accessibility bus launcher keeps the desktop's accessibility switches; a screen reader
  // sets ScreenReaderEnabled while it runs.
  accessibilityBus_ =
      new BusProperties(sessionBus, QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                        QStringLiteral("org.a11y.Status"), environment_.timeoutMilliseconds, this);
  connect(accessibilityBus_, &BusProperties::changed, this, [this](const QVariantMap& values) {
    const QVariant running = values.value(kScreenReaderEnabled);
    if (running.typeId() == QMetaType::Bool && running.toBool() != screenReaderRunning_) {
      screenReaderRunning_ = running.toBool();
      Q_EMIT screenReaderChanged(screenReaderRunning_);
    }
  });
  accessibilityBus_->read();
}

void DesktopSystemEvents::watchNetwork(bool systemBusConnected) {
  network_->load(systemBusConnected);
}

bool DesktopSystemEvents::listensForSleep() const {
  return listensForSleep_;
}

bool DesktopSystemEvents::listensForScreenSaver() const {
  return listensForScreenSaver_;
}

bool DesktopSystemEvents::listensForTimeZone() const {
  return timeZone_->listensToTimedated();
}

QString DesktopSystemEvents::sessionPath() const {
  return session_->path();
}

bool DesktopSystemEvents::countsAsKeyWindow(const QWindow* window) {
  if (window == nullptr) {
    return false;
  }
  const Qt::WindowType type = window->type();
  return type != Qt::Tool && type != Qt::Popup && type != Qt::ToolTip;
}

void DesktopSystemEvents::watchScreen(QScreen* screen) {
  connect(screen, &QScreen::geometryChanged, this, &SystemEvents::screensChanged);
  connect(screen, &QScreen::availableGeometryChanged, this, &SystemEvents::screensChanged);
}

void DesktopSystemEvents::prepareForSleep(bool sleeping) {
  if (sleeping) {
    Q_EMIT willSleep();
    return;
  }
  Q_EMIT didWake();
  // The lock screen may have come and gone while the computer slept; ask rather than trust
  // that every signal arrived.
  session_->reread();
}

void DesktopSystemEvents::screenSaverActiveChanged(bool active) {
  if (active) {
    Q_EMIT screensDidSleep();
  } else {
    Q_EMIT screensDidWake();
  }
}

} // namespace brindlewick
