#include "desktop/DesktopProbes.h"
#include "desktop/FakeDesktop.h"
#include "desktop/PrivateBus.h"
#include "desktop/ScriptedSettingsPortal.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

namespace brindlewick {
namespace {

constexpr int kWaitMilliseconds = 5000;

TEST(SystemFrameClock, StepsAtTheDisplaysRefreshIntervalAndFallsBackTo60Hz) {
  struct Case {
    double rate;
    int interval;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double infinity = std::numeric_limits<double>::infinity();
  const Case cases[] = {{60, 17}, {144, 7},   {30, 33},  {59.94, 17},   {0, 17},
                        {-5, 17}, {5000, 17}, {nan, 17}, {infinity, 17}};
  for (const Case& c : cases) {
    SystemFrameClock clock;
    clock.setFrameRate(c.rate);
    EXPECT_EQ(clock.frameIntervalMilliseconds(), c.interval) << c.rate;
  }
  SystemFrameClock clock;
  const double first = clock.now();
  EXPECT_GE(first, 0);
  EXPECT_GE(clock.now(), first);
}

TEST(LinuxDesktopProbes, WithoutAnyBusOrDisplayEverythingIsQuietAndOff) {
  X11DesktopWatch missing(QByteArray(":9876"), nullptr);
  EXPECT_FALSE(missing.isConnected());
  EXPECT_FALSE(X11FullScreenProbe(&missing).frontApplicationIsFullScreen());
  EXPECT_FALSE(X11FullScreenProbe(nullptr).frontApplicationIsFullScreen());

  const QDBusConnection noBus = QDBusConnection::connectToBus(
      QStringLiteral("unix:path=/nonexistent/system_bus"), QStringLiteral("no-bus"));
  ASSERT_FALSE(noBus.isConnected());
  {
    LinuxDesktopProbes desktop(noBus, noBus, QByteArray());
    const DesktopProbes probes = desktop.probes();
    EXPECT_FALSE(desktop.x11()->isConnected());
    EXPECT_FALSE(desktop.events()->listensForSleep());
    EXPECT_FALSE(desktop.events()->listensForScreenSaver());
    EXPECT_TRUE(desktop.accessibility()->hasSettled());
    EXPECT_FALSE(probes.accessibility->reduceMotion());
    EXPECT_FALSE(probes.accessibility->increaseContrast());
    EXPECT_FALSE(probes.fullScreen->frontApplicationIsFullScreen());
    EXPECT_FALSE(probes.clock->isRunning());
  }
  QDBusConnection::disconnectFromBus(QStringLiteral("no-bus"));
}

class CountingWindow : public QWindow {
public:
  int presses = 0;

protected:
  void mousePressEvent(QMouseEvent* event) override {
    ++presses;
    QWindow::mousePressEvent(event);
  }
};

TEST(ApplicationPressMonitor, ReportsLeftAndRightPressesInOurWindowsOnce) {
  ApplicationPressMonitor monitor;
  QSignalSpy spy(&monitor, &OutsidePressMonitor::pressed);
  CountingWindow window;
  QObject notAWindow;
  const QPointF global(105, 206);
  const auto send = [&global](QObject* target, QEvent::Type type, Qt::MouseButton button) {
    QMouseEvent event(type, QPointF(5, 6), global, button, button, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
  };
  send(&window, QEvent::MouseButtonPress, Qt::LeftButton);
  send(&window, QEvent::MouseButtonPress, Qt::RightButton);
  send(&window, QEvent::MouseButtonPress, Qt::MiddleButton);
  send(&window, QEvent::MouseButtonRelease, Qt::LeftButton);
  send(&notAWindow, QEvent::MouseButtonPress, Qt::LeftButton);

  ASSERT_EQ(spy.count(), 2);
  EXPECT_EQ(spy.at(0).at(0).toPointF(), global);
  EXPECT_EQ(spy.at(1).at(0).toPointF(), global);
  EXPECT_EQ(window.presses, 3); // every press went on to the window
}

class DesktopProbesOnABus : public ::testing::Test {
protected:
  void SetUp() override {
    if (!bus_.isRunning()) {
      GTEST_SKIP() << "dbus-daemon is not installed; the D-Bus probes cannot be exercised";
    }
    service_ = bus_.connect(QStringLiteral("service"));
    portal_ = std::make_unique<ScriptedSettingsPortal>(service_);
    client_ = bus_.connect(QStringLiteral("client"));
    ASSERT_TRUE(service_.isConnected());
    ASSERT_TRUE(client_.isConnected());
  }

  void publishPortal() { ASSERT_TRUE(portal_->publish()); }

  void sendSettingChanged(const QString& group, const QString& key, const QVariant& value) {
    ASSERT_TRUE(portal_->sendSettingChanged(group, key, value));
  }

  PrivateBus bus_;
  QDBusConnection service_{QString()};
  QDBusConnection client_{QString()};
  std::unique_ptr<ScriptedSettingsPortal> portal_;
};

TEST_F(DesktopProbesOnABus, ReadsMotionAndContrastFromThePortal) {
  struct Case {
    const char* name;
    QMap<QString, QVariantMap> values;
    bool reduceMotion;
    bool increaseContrast;
  };
  const Case cases[] = {
      {"nothing set", {}, false, false},
      {"portal appearance keys",
       {{QStringLiteral("org.freedesktop.appearance"),
         {{QStringLiteral("reduced-motion"), QVariant(1u)}, {QStringLiteral("contrast"), QVariant(1u)}}}},
       true,
       true},
      {"portal keys saying no preference",
       {{QStringLiteral("org.freedesktop.appearance"),
         {{QStringLiteral("reduced-motion"), QVariant(0u)}, {QStringLiteral("contrast"), QVariant(0u)}}}},
       false,
       false},
      {"GNOME keys",
       {{QStringLiteral("org.gnome.desktop.interface"),
         {{QStringLiteral("enable-animations"), QVariant(false)}}},
        {QStringLiteral("org.gnome.desktop.a11y.interface"),
         {{QStringLiteral("high-contrast"), QVariant(true)}}}},
       true,
       true},
      {"KDE animation factor 0 as text",
       {{QStringLiteral("org.kde.kdeglobals.KDE"),
         {{QStringLiteral("AnimationDurationFactor"), QVariant(QStringLiteral("0"))}}}},
       true,
       false},
      {"values of the wrong type are no preference",
       {{QStringLiteral("org.freedesktop.appearance"),
         {{QStringLiteral("reduced-motion"), QVariant(QStringLiteral("1"))},
          {QStringLiteral("contrast"), QVariant(true)}}},
        {QStringLiteral("org.gnome.desktop.interface"),
         {{QStringLiteral("enable-animations"), QVariant(0u)}}}},
       false,
       false},
  };
  // First without a portal on the bus: it settles with both off.
  {
    PortalAccessibilitySettings settings(client_);
    QSignalSpy settled(&settings, &PortalAccessibilitySettings::settled);
    ASSERT_TRUE(settled.wait(kWaitMilliseconds));
    EXPECT_FALSE(settings.reduceMotion() || settings.increaseContrast());
  }
  publishPortal();
  for (const Case& c : cases) {
    portal_->values = c.values;
    PortalAccessibilitySettings settings(client_);
    QSignalSpy settled(&settings, &PortalAccessibilitySettings::settled);
    ASSERT_TRUE(settled.wait(kWaitMilliseconds)) << c.name;
    EXPECT_EQ(settings.reduceMotion(), c.reduceMotion) << c.name;
    EXPECT_EQ(settings.increaseContrast(), c.increaseContrast) << c.name;
  }
}

TEST_F(DesktopProbesOnABus, FollowsSettingChangesAndNotifiesOnlyOnRealChanges) {
  publishPortal();
  PortalAccessibilitySettings settings(client_);
  QSignalSpy settled(&settings, &PortalAccessibilitySettings::settled);
  ASSERT_TRUE(settled.wait(kWaitMilliseconds));
  QSignalSpy contrast(&settings, &AccessibilitySettings::increaseContrastChanged);
  QSignalSpy motion(&settings, &AccessibilitySettings::reduceMotionChanged);

  sendSettingChanged(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("contrast"), QVariant(1u));
  ASSERT_TRUE(contrast.wait(kWaitMilliseconds));
  EXPECT_TRUE(settings.increaseContrast());
  EXPECT_EQ(contrast.at(0).at(0).toBool(), true);

  // The same value again, then a motion change: only the motion signal may follow.
  sendSettingChanged(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("contrast"), QVariant(1u));
  sendSettingChanged(QStringLiteral("org.gnome.desktop.interface"), QStringLiteral("enable-animations"),
                     QVariant(false));
  ASSERT_TRUE(motion.wait(kWaitMilliseconds));
  EXPECT_TRUE(settings.reduceMotion());
  EXPECT_EQ(contrast.count(), 1);

  sendSettingChanged(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("contrast"),
                     QVariant(QStringLiteral("high")));
  ASSERT_TRUE(contrast.wait(kWaitMilliseconds));
  EXPECT_FALSE(settings.increaseContrast());
}

TEST_F(DesktopProbesOnABus, TurnsLogindsPrepareForSleepIntoSleepAndWake) {
  ASSERT_TRUE(service_.registerService(QStringLiteral("org.freedesktop.login1")));
  ASSERT_TRUE(service_.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));
  DesktopSystemEvents events(client_, client_, nullptr);
  ASSERT_TRUE(events.listensForSleep());
  // The subscriptions go out without waiting; one answered call on the same connection
  // makes sure the bus has them before the signals are sent.
  ASSERT_TRUE(client_.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.login1")).value());
  QSignalSpy sleep(&events, &SystemEvents::willSleep);
  QSignalSpy wake(&events, &SystemEvents::didWake);
  QSignalSpy screens(&events, &SystemEvents::screensDidSleep);

  const auto prepare = [this](bool sleeping) {
    QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                     QStringLiteral("org.freedesktop.login1.Manager"),
                                                     QStringLiteral("PrepareForSleep"));
    signal << sleeping;
    return service_.send(signal);
  };
  ASSERT_TRUE(prepare(true));
  ASSERT_TRUE(sleep.wait(kWaitMilliseconds));
  ASSERT_TRUE(prepare(false));
  ASSERT_TRUE(wake.wait(kWaitMilliseconds));
  EXPECT_EQ(sleep.count(), 1);
  EXPECT_EQ(wake.count(), 1);

  QDBusMessage saver = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/ScreenSaver"),
                                                  QStringLiteral("org.freedesktop.ScreenSaver"),
                                                  QStringLiteral("ActiveChanged"));
  saver << true;
  ASSERT_TRUE(service_.send(saver));
  ASSERT_TRUE(screens.wait(kWaitMilliseconds));
}

// A bus that has stopped answering (its daemon frozen) must not hold up the main thread:
// subscribing and the first reading go out without waiting for any reply.
TEST_F(DesktopProbesOnABus, NeverWaitsForABusThatDoesNotAnswer) {
  bus_.pause();
  QElapsedTimer elapsed;
  elapsed.start();
  {
    DesktopSystemEvents events(client_, client_, nullptr);
    PortalAccessibilitySettings settings(client_, 100);
    QSignalSpy settled(&settings, &PortalAccessibilitySettings::settled);
    EXPECT_TRUE(settled.wait(kWaitMilliseconds));
    EXPECT_FALSE(settings.reduceMotion());
  }
  // The application's own probes open the buses named by the environment; opening one
  // waits without limit for a frozen daemon, so it must not happen on this thread.
  qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus_.address().toUtf8());
  qputenv("DBUS_SESSION_BUS_ADDRESS", bus_.address().toUtf8());
  LinuxDesktopProbes desktop;
  EXPECT_FALSE(desktop.events()->listensForSleep());
  // Qt's own wait for a reply is 25 s; anything near that is a blocking call.
  EXPECT_LT(elapsed.elapsed(), kWaitMilliseconds);

  // Once the bus answers, the probes start listening.
  bus_.resume();
  EXPECT_TRUE(QTest::qWaitFor([&desktop] { return desktop.events()->listensForSleep(); }, kWaitMilliseconds));
  EXPECT_TRUE(desktop.events()->listensForScreenSaver());
}

} // namespace
} // namespace brindlewick
