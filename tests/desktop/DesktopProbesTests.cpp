#include "desktop/ClockStepWatch.h"
#include "desktop/DesktopProbes.h"
#include "desktop/FakeDesktop.h"
#include "desktop/NetworkReachability.h"
#include "desktop/PrivateBus.h"
#include "desktop/ScriptedDesktopServices.h"
#include "desktop/ScriptedSettingsPortal.h"
#include "desktop/TimeZoneWatch.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <sys/eventfd.h>
#include <unistd.h>

#include <deque>
#include <functional>
#include <limits>
#include <memory>

namespace brindlewick {
namespace {

constexpr int kWaitMilliseconds = 5000;

TEST(SystemFrameClock, StepsAtTheDisplaysRefreshIntervalAndFallsBackTo60HzForNonsense) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const auto& [rate, interval] :
       {std::pair{144.0, 7}, {59.94, 17}, {0.0, 17}, {5000.0, 17}, {nan, 17}}) {
    SystemFrameClock clock;
    clock.setFrameRate(rate);
    EXPECT_EQ(clock.frameIntervalMilliseconds(), interval) << rate;
  }
}

// Clients ask for frames at their own rates; the clock runs at the highest, never above the
// display, and stops with the last release. Each step: request (+) or release (-) a rate,
// then the interval in milliseconds, 0 once stopped.
TEST(SystemFrameClock, RunsAtTheHighestRateAskedForCappedByTheDisplay) {
  const double every = FrameClock::everyRefresh;
  const std::pair<double, QList<std::tuple<char, double, int>>> cases[] = {
      {60, {{'+', 20, 50}, {'+', every, 17}, {'-', every, 50}, {'-', 25, 50}, {'-', 20, 0}}},
      {144, {{'+', 30, 33}, {'+', 45, 22}, {'-', 30, 22}}},
      {30, {{'+', 50, 33}}},
  };
  for (const auto& [display, steps] : cases) {
    SystemFrameClock clock;
    clock.setFrameRate(display);
    for (const auto& [sign, rate, interval] : steps) {
      sign == '+' ? clock.requestFrames(rate) : clock.releaseFrames(rate);
      EXPECT_EQ(clock.isRunning(), interval > 0) << display << " Hz " << sign << rate;
      if (interval > 0) {
        EXPECT_EQ(clock.frameIntervalMilliseconds(), interval) << display << " Hz " << sign << rate;
      }
    }
  }
}

TEST(LinuxDesktopProbes, WithoutAnyBusOrDisplayEverythingIsQuietAndOff) {
  X11DesktopWatch missing(QByteArray(":9876"), nullptr);
  EXPECT_FALSE(missing.isConnected());
  EXPECT_FALSE(X11FullScreenProbe(&missing).frontApplicationIsFullScreen());

  const QDBusConnection noBus = QDBusConnection::connectToBus(
      QStringLiteral("unix:path=/nonexistent/system_bus"), QStringLiteral("no-bus"));
  ASSERT_FALSE(noBus.isConnected());
  {
    LinuxDesktopProbes desktop(noBus, noBus, QByteArray());
    const DesktopProbes probes = desktop.probes();
    EXPECT_FALSE(desktop.x11()->isConnected());
    EXPECT_FALSE(desktop.events()->listensForSleep());
    EXPECT_FALSE(desktop.events()->listensForScreenSaver());
    EXPECT_FALSE(desktop.events()->listensForTimeZone());
    EXPECT_TRUE(desktop.events()->sessionPath().isEmpty());
    EXPECT_FALSE(probes.state->screenReaderRuns());
    EXPECT_TRUE(desktop.accessibility()->hasSettled());
    EXPECT_FALSE(probes.accessibility->reduceMotion() || probes.accessibility->increaseContrast());
    EXPECT_FALSE(probes.fullScreen->frontApplicationIsFullScreen());
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
  for (const Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton})
    send(&window, QEvent::MouseButtonPress, button);
  send(&window, QEvent::MouseButtonRelease, Qt::LeftButton);
  send(&notAWindow, QEvent::MouseButtonPress, Qt::LeftButton);

  ASSERT_EQ(spy.count(), 2);
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

  PrivateBus bus_;
  QDBusConnection service_{QString()};
  QDBusConnection client_{QString()};
  std::unique_ptr<ScriptedSettingsPortal> portal_;
};

TEST_F(DesktopProbesOnABus, ReadsMotionAndContrastFromThePortal) {
  struct Setting {
    const char* group;
    const char* key;
    QVariant value;
  };
  struct Case {
    const char* name;
    std::vector<Setting> settings;
    bool reduceMotion;
    bool increaseContrast;
  };
  const char* const portal = "org.freedesktop.appearance";
  const Case cases[] = {
      {"nothing set", {}, false, false},
      {"portal keys", {{portal, "reduced-motion", 1u}, {portal, "contrast", 1u}}, true, true},
      {"portal keys saying no preference",
       {{portal, "reduced-motion", 0u}, {portal, "contrast", 0u}},
       false,
       false},
      {"GNOME keys",
       {{"org.gnome.desktop.interface", "enable-animations", false},
        {"org.gnome.desktop.a11y.interface", "high-contrast", true}},
       true,
       true},
      {"KDE animation factor 0 as text",
       {{"org.kde.kdeglobals.KDE", "AnimationDurationFactor", QStringLiteral("0")}},
       true,
       false},
      {"values of the wrong type are no preference",
       {{portal, "reduced-motion", QStringLiteral("1")},
        {portal, "contrast", true},
        {"org.gnome.desktop.interface", "enable-animations", 0u}},
       false,
       false},
  };
  ASSERT_TRUE(portal_->publish());
  for (const Case& c : cases) {
    portal_->values.clear();
    for (const Setting& setting : c.settings)
      portal_->values[QString::fromLatin1(setting.group)].insert(QString::fromLatin1(setting.key),
                                                                 setting.value);
    PortalAccessibilitySettings settings(client_);
    QSignalSpy settled(&settings, &PortalAccessibilitySettings::settled);
    ASSERT_TRUE(settled.wait(kWaitMilliseconds)) << c.name;
    EXPECT_EQ(settings.reduceMotion(), c.reduceMotion) << c.name;
    EXPECT_EQ(settings.increaseContrast(), c.increaseContrast) << c.name;
  }
}

TEST_F(DesktopProbesOnABus, FollowsSettingChangesAndNotifiesOnlyOnRealChanges) {
  ASSERT_TRUE(portal_->publish());
  PortalAccessibilitySettings settings(client_);
  QSignalSpy settled(&settings, &PortalAccessibilitySettings::settled);
  ASSERT_TRUE(settled.wait(kWaitMilliseconds));
  QSignalSpy contrast(&settings, &AccessibilitySettings::increaseContrastChanged);
  QSignalSpy motion(&settings, &AccessibilitySettings::reduceMotionChanged);

  portal_->sendSettingChanged(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("contrast"),
                              QVariant(1u));
  ASSERT_TRUE(contrast.wait(kWaitMilliseconds));
  EXPECT_TRUE(settings.increaseContrast());
  EXPECT_EQ(contrast.at(0).at(0).toBool(), true);

  // The same value again, then a motion change: only the motion signal may follow.
  portal_->sendSettingChanged(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("contrast"),
                              QVariant(1u));
  portal_->sendSettingChanged(QStringLiteral("org.gnome.desktop.interface"),
                              QStringLiteral("enable-animations"), QVariant(false));
  ASSERT_TRUE(motion.wait(kWaitMilliseconds));
  EXPECT_TRUE(settings.reduceMotion());
  EXPECT_EQ(contrast.count(), 1);

  portal_->sendSettingChanged(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("contrast"),
                              QVariant(QStringLiteral("high")));
  ASSERT_TRUE(contrast.wait(kWaitMilliseconds));
  EXPECT_FALSE(settings.increaseContrast());
}

// A bus that has stopped answering (its daemon frozen) must not hold up the main thread:
// subscribing and the first reading go out without waiting for any reply.
TEST_F(DesktopProbesOnABus, NeverWaitsForABusThatDoesNotAnswer) {
  ScriptedDesktopServices services(service_);
  services.sessionForProcess = false; // as when started by the user's service manager
  bus_.pause();
  QElapsedTimer elapsed;
  elapsed.start();
  {
    // Looking up the session and reading the screen reader go out without waiting too.
    SystemEventsEnvironment environment;
    environment.timeoutMilliseconds = 100;
    DesktopSystemEvents events(client_, client_, nullptr, environment);
    PortalAccessibilitySettings settings(client_, 100);
    QSignalSpy settled(&settings, &PortalAccessibilitySettings::settled);
    EXPECT_TRUE(settled.wait(kWaitMilliseconds));
    EXPECT_FALSE(settings.reduceMotion());
  }
  // The application's own probes open the buses named by the environment; opening one
  // waits without limit for a frozen daemon, so it must not happen on this thread. Qt's
  // network backends ask the system bus as they load, so they wait for it too.
  qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus_.address().toUtf8());
  qputenv("DBUS_SESSION_BUS_ADDRESS", bus_.address().toUtf8());
  SystemEventsEnvironment environment;
  QStringList networkBackendsTried;
  environment.loadNetworkBackend = [&networkBackendsTried](const QString& name) {
    networkBackendsTried << name;
    return false;
  };
  LinuxDesktopProbes desktop(environment);
  EXPECT_FALSE(desktop.events()->listensForSleep());
  // Qt's own wait for a reply is 25 s; anything near that is a blocking call.
  EXPECT_LT(elapsed.elapsed(), kWaitMilliseconds);
  EXPECT_TRUE(networkBackendsTried.isEmpty());

  // Once the bus answers, the probes start listening and follow the session on the reader's
  // display.
  bus_.resume();
  EXPECT_TRUE(QTest::qWaitFor([&desktop] { return desktop.events()->listensForSleep(); }, kWaitMilliseconds));
  EXPECT_TRUE(desktop.events()->listensForScreenSaver());
  EXPECT_TRUE(desktop.events()->listensForTimeZone());
  EXPECT_EQ(networkBackendsTried, QStringList({QStringLiteral("networkmanager"), QStringLiteral("glib")}));
  EXPECT_TRUE(
      QTest::qWaitFor([&desktop] { return !desktop.events()->sessionPath().isEmpty(); }, kWaitMilliseconds));
  EXPECT_EQ(desktop.events()->sessionPath(), ScriptedDesktopServices::kDisplaySession);
}

// A process that ends as soon as it has made its probes races their background opening of the
// buses at its exit (an opener that outlived them crashed about one run in twenty); every run
// must end cleanly.
TEST_F(DesktopProbesOnABus, AProcessEndingWhileItsBusesOpenEndsCleanly) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), bus_.address());
  environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus_.address());
  for (int run = 0; run < 60; ++run) {
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QStringLiteral(BRINDLEWICK_PROBES_EXIT_CHILD), {});
    ASSERT_TRUE(child.waitForFinished(kWaitMilliseconds)) << "run " << run << " hangs";
    ASSERT_EQ(child.exitStatus(), QProcess::NormalExit) << "run " << run << " crashed";
    ASSERT_EQ(child.exitCode(), 0) << "run " << run;
  }
}

// Every signal of a SystemEvents by name, in the order they came.
class EventLog : public QObject {
  Q_OBJECT

public:
  explicit EventLog(SystemEvents& events) {
    const QMetaMethod record = staticMetaObject.method(staticMetaObject.indexOfSlot("record()"));
    const QMetaObject& meta = SystemEvents::staticMetaObject;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
      if (meta.method(i).methodType() == QMetaMethod::Signal) {
        connect(&events, meta.method(i), this, record);
      }
    }
  }
  QStringList names;

public Q_SLOTS:
  void record() { names << QString::fromLatin1(sender()->metaObject()->method(senderSignalIndex()).name()); }
};

TEST_F(DesktopProbesOnABus, EachSourceReportsFromItsOwnServiceAndObjectOnly) {
  QTemporaryDir folder;
  SystemEventsEnvironment environment;
  environment.localTimePath = folder.filePath(QStringLiteral("localtime"));
  for (const char* zone : {"Berlin", "Tokyo"}) {
    QFile file(folder.filePath(QString::fromLatin1(zone)));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(zone) > 0);
  }
  ScriptedDesktopServices services(service_);
  DesktopSystemEvents events(client_, client_, nullptr, environment);
  EventLog log(events);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !events.sessionPath().isEmpty(); }, kWaitMilliseconds));
  // One answered call: the bus has every subscription the client sent before it.
  ASSERT_TRUE(client_.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.login1")).value());

  using Services = ScriptedDesktopServices;
  const auto timedated = [](Services& s, const char* property) {
    s.propertiesChanged(QStringLiteral("/org/freedesktop/timedate1"),
                        QStringLiteral("org.freedesktop.timedate1"),
                        {{QString::fromLatin1(property), QStringLiteral("Asia/Tokyo")}});
  };
  // The zone link is replaced as timedated does it: a new link renamed over the old one.
  const auto linkZone = [&](const char* zone) {
    const QByteArray next = folder.filePath(QStringLiteral("next")).toUtf8();
    ASSERT_EQ(::symlink(folder.filePath(QString::fromLatin1(zone)).toUtf8().constData(), next.constData()),
              0);
    ASSERT_EQ(::rename(next.constData(), environment.localTimePath.toUtf8().constData()), 0);
  };
  struct Step {
    const char* name;
    std::function<void(Services&)> act;
    QStringList expected;
  };
  const Step steps[] = {
      {"suspend", [](Services& s) { s.prepareForSleep(true); }, {"willSleep"}},
      {"resume", [](Services& s) { s.prepareForSleep(false); }, {"didWake"}},
      {"another user takes the seat",
       [](Services& s) { s.setSession("Active", false); },
       {"sessionResignedActive"}},
      {"the seat comes back", [](Services& s) { s.setSession("Active", true); }, {"sessionBecameActive"}},
      {"logind asks to lock", [](Services& s) { s.requestLock(true); }, {"screenLocked"}},
      {"the locker confirms: no second report", [](Services& s) { s.setSession("LockedHint", true); }, {}},
      {"another session unlocks", [](Services& s) { s.requestLock(false, Services::kDisplaySession); }, {}},
      {"an unlock lost in sleep is mended on wake",
       [](Services& s) {
         s.setSession("LockedHint", false, false);
         s.prepareForSleep(false);
       },
       {"didWake", "screenUnlocked"}},
      {"the locker locks", [](Services& s) { s.setSession("LockedHint", true); }, {"screenLocked"}},
      {"logind asks to unlock", [](Services& s) { s.requestLock(false); }, {"screenUnlocked"}},
      {"the screen saver starts", [](Services& s) { s.setScreenSaverActive(true); }, {"screensDidSleep"}},
      {"GNOME's screen saver ends",
       [](Services& s) { s.setScreenSaverActive(false, true); },
       {"screensDidWake"}},
      {"timedated changes something else", [&](Services& s) { timedated(s, "NTP"); }, {}},
      {"another file in the zone link's folder",
       [&](Services&) { QFile(folder.filePath(QStringLiteral("adjtime"))).open(QIODevice::WriteOnly); },
       {}},
      {"the zone link replaced", [&](Services&) { linkZone("Tokyo"); }, {"timeZoneChanged"}},
      {"the same zone linked anew", [&](Services&) { linkZone("Tokyo"); }, {}},
      {"timedated replaces the link, then says so: one report",
       [&](Services& s) {
         linkZone("Berlin");
         QTest::qWait(50); // the folder's news arrives first
         timedated(s, "Timezone");
       },
       {"timeZoneChanged"}},
      {"a screen reader starts", [](Services& s) { s.setScreenReader(true); }, {"screenReaderChanged"}},
  };
  QStringList expected;
  for (const Step& step : steps) {
    step.act(services);
    expected << step.expected;
    if (step.expected.isEmpty()) { // long enough for a stray report, the zone's gathered ones too
      QTest::qWait(2 * TimeZoneWatch::kSettleMilliseconds);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.names.size() >= expected.size(); }, kWaitMilliseconds))
        << step.name;
    EXPECT_EQ(log.names.join(' ').toStdString(), expected.join(' ').toStdString()) << step.name;
  }
  EXPECT_TRUE(events.screenReaderRunning());
}

// Stands for the kernel timer: readable when the test pokes it, reading what the test scripted.
struct ScriptedWallClockTimer final : WallClockTimer {
  ScriptedWallClockTimer(std::deque<Reading> readings, int failingArm)
      : readings(std::move(readings)), failingArm(failingArm) {}
  ~ScriptedWallClockTimer() override { ::close(fd); }

  int descriptor() const override { return fd; }
  bool arm() override { return ++armed != failingArm; }
  Reading read() override {
    std::uint64_t value = 0;
    EXPECT_EQ(::read(fd, &value, sizeof value), 8);
    ++reads;
    const Reading reading = readings.front();
    readings.pop_front();
    return reading;
  }
  void poke() const {
    const std::uint64_t one = 1;
    EXPECT_EQ(::write(fd, &one, sizeof one), 8);
  }

  std::deque<Reading> readings;
  int failingArm; // counted from 1, the arming at construction; 0 for none
  int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  int armed = 0;
  int reads = 0;
};

TEST(ClockStepWatch, ReArmsAfterEveryStepAndDropsATimerThatCannotBeUsed) {
  using Reading = WallClockTimer::Reading;
  struct Case {
    const char* name;
    std::deque<Reading> readings;
    int failingArm;
    int steps;
    int armed;
    int reads;
    bool watching;
  };
  const Case cases[] = {
      {"every step, and no spurious wake-up",
       {Reading::stepped, Reading::nothing, Reading::stepped},
       0,
       2,
       3,
       3,
       true},
      {"re-arming fails", {Reading::stepped, Reading::stepped}, 2, 1, 2, 1, false},
      {"reading fails", {Reading::failed, Reading::stepped}, 0, 0, 1, 1, false},
      {"arming fails", {Reading::stepped}, 1, 0, 1, 0, false},
  };
  for (const Case& c : cases) {
    auto owned = std::make_unique<ScriptedWallClockTimer>(c.readings, c.failingArm);
    ScriptedWallClockTimer& timer = *owned;
    ClockStepWatch watch(std::move(owned));
    QSignalSpy stepped(&watch, &ClockStepWatch::clockStepped);
    for (int i = 0; i < static_cast<int>(c.readings.size()) && watch.isWatching(); ++i) {
      timer.poke();
      ASSERT_TRUE(QTest::qWaitFor([&] { return timer.reads == i + 1; }, kWaitMilliseconds)) << c.name;
    }
    // A dropped timer stays unread however readable it is, rather than waking the loop for ever.
    if (!watch.isWatching()) {
      timer.poke();
      QTest::qWait(50);
    }
    EXPECT_EQ(stepped.count(), c.steps) << c.name;
    EXPECT_EQ(timer.armed, c.armed) << c.name;
    EXPECT_EQ(timer.reads, c.reads) << c.name;
    EXPECT_EQ(watch.isWatching(), c.watching) << c.name;
  }

  // The kernel's timer takes the far date with cancel-on-set, and has nothing to say until the
  // clock is set.
  TimerFdWallClockTimer real;
  ASSERT_TRUE(real.arm());
  EXPECT_EQ(real.read(), Reading::nothing);
}

// Trying both and finding neither is on the bus test above.
TEST(NetworkReachability, StopsAtTheFirstBackendThatLoadsAndTriesNetworkManagerOnlyWithASystemBus) {
  const QString nm = QStringLiteral("networkmanager");
  const QString glib = QStringLiteral("glib");
  for (const bool systemBus : {true, false}) {
    QStringList tried;
    NetworkReachability reachability([&tried](const QString& name) {
      tried << name;
      return true;
    });
    reachability.load(systemBus);
    reachability.load(systemBus); // once only
    EXPECT_EQ(reachability.backend(), systemBus ? nm : glib);
    EXPECT_EQ(tried, QStringList{reachability.backend()});
  }
}

// The drop panels are tool windows: their focus is not the reader coming back to the application.
TEST(DesktopSystemEvents, CountsOnlyOurOwnWindowsBecomingKey) {
  EXPECT_FALSE(DesktopSystemEvents::countsAsKeyWindow(nullptr));
  const std::pair<Qt::WindowType, bool> types[] = {
      {Qt::Window, true}, {Qt::Dialog, true}, {Qt::Tool, false}, {Qt::Popup, false}, {Qt::ToolTip, false}};
  for (const auto& [type, counts] : types) {
    QWindow window;
    window.setFlags(type);
    EXPECT_EQ(DesktopSystemEvents::countsAsKeyWindow(&window), counts) << type;
  }
}

} // namespace
} // namespace brindlewick

#include "DesktopProbesTests.moc"
