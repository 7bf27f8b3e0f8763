#include "desktop/SystemEvents.h"

#include "desktop/X11DesktopWatch.h"

#include <QGuiApplication>
#include <QScreen>

namespace brindlewick {

DesktopSystemEvents::DesktopSystemEvents(const QDBusConnection& systemBus, const QDBusConnection& sessionBus,
                                         X11DesktopWatch* x11, QObject* parent)
    : SystemEvents(parent) {
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
  }

  listenTo(systemBus, sessionBus);

  if (x11 != nullptr) {
    connect(x11, &X11DesktopWatch::activeWindowChanged, this, &SystemEvents::activeApplicationChanged);
    connect(x11, &X11DesktopWatch::activeFullScreenChanged, this, &SystemEvents::frontFullScreenChanged);
    connect(x11, &X11DesktopWatch::currentDesktopChanged, this, &SystemEvents::activeSpaceChanged);
  }
}

void DesktopSystemEvents::listenTo(const QDBusConnection& systemBus, const QDBusConnection& sessionBus) {
  // Subscribing only sends a match rule, without waiting for an answer; when logind or the
  // screen saver is absent no signal ever arrives. The subscriptions name no sender: for a
  // well-known sender name Qt would first ask the bus for its owner and wait for the reply,
  // which hangs the main thread on a bus that has stopped answering.
  // Each subscription is made once, so a bus handed in twice does not double the signals.
  if (!listensForSleep_ && systemBus.isConnected()) {
    QDBusConnection bus = systemBus;
    listensForSleep_ = bus.connect(QString(), QStringLiteral("/org/freedesktop/login1"),
                                   QStringLiteral("org.freedesktop.login1.Manager"),
                                   QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
  }
  if (!listensForScreenSaver_ && sessionBus.isConnected()) {
    QDBusConnection bus = sessionBus;
    listensForScreenSaver_ =
        bus.connect(QString(), QStringLiteral("/org/freedesktop/ScreenSaver"),
                    QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("ActiveChanged"), this,
                    SLOT(screenSaverActiveChanged(bool)));
  }
}

bool DesktopSystemEvents::listensForSleep() const {
  return listensForSleep_;
}

bool DesktopSystemEvents::listensForScreenSaver() const {
  return listensForScreenSaver_;
}

void DesktopSystemEvents::watchScreen(QScreen* screen) {
  connect(screen, &QScreen::geometryChanged, this, &SystemEvents::screensChanged);
  connect(screen, &QScreen::availableGeometryChanged, this, &SystemEvents::screensChanged);
}

void DesktopSystemEvents::prepareForSleep(bool sleeping) {
  if (sleeping) {
    Q_EMIT willSleep();
  } else {
    Q_EMIT didWake();
  }
}

void DesktopSystemEvents::screenSaverActiveChanged(bool active) {
  if (active) {
    Q_EMIT screensDidSleep();
  }
}

} // namespace brindlewick
