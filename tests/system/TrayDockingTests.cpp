// The real program beside a real XEmbed tray: it starts with no tray at all, and its icon must
// dock by itself once a tray appears; a start that fails stays reachable only through a tray,
// and a later start brings its alert back.
#include "TestOutput.h"
#include "desktop/LoginKeyring.h"
#include "desktop/PrivateBus.h"
#include "desktop/X11Windows.h"

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#ifdef BRINDLEWICK_HAVE_XCB
#include <xcb/xcb.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace brindlewick {
namespace {

#ifdef BRINDLEWICK_HAVE_XCB

constexpr int kWaitMilliseconds = 15000;

template <typename Reply> using Owned = std::unique_ptr<Reply, decltype(&std::free)>;
template <typename Reply> Owned<Reply> own(Reply* reply) {
  return Owned<Reply>(reply, &std::free);
}

// The window tree of the X server, read afresh at each question.
class WindowTree {
public:
  WindowTree() : connection_(xcb_connect(nullptr, nullptr)) {
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    const char name[] = "_NET_WM_PID";
    pidAtom_ = own(xcb_intern_atom_reply(connection_,
                                         xcb_intern_atom(connection_, 0, std::strlen(name), name), nullptr))
                   ->atom;
  }
  ~WindowTree() { xcb_disconnect(connection_); }
  WindowTree(const WindowTree&) = delete;
  WindowTree& operator=(const WindowTree&) = delete;

  // The top-level windows (children of the root) of process `pid`.
  QList<xcb_window_t> topLevelsOf(qint64 pid) {
    QList<xcb_window_t> found;
    for (const xcb_window_t window : children(root_))
      if (pidOf(window) == pid)
        found.append(window);
    return found;
  }

  // Whether a window of process `pid` lies anywhere inside `ancestor`.
  bool holdsWindowOf(xcb_window_t ancestor, qint64 pid) {
    for (const xcb_window_t child : children(ancestor))
      if (pidOf(child) == pid || holdsWindowOf(child, pid))
        return true;
    return false;
  }

  // The largest picture of the window's icon (_NET_WM_ICON); null without one.
  QImage largestIcon(xcb_window_t window) {
    const char name[] = "_NET_WM_ICON";
    const xcb_atom_t iconAtom =
        own(xcb_intern_atom_reply(connection_, xcb_intern_atom(connection_, 0, std::strlen(name), name),
                                  nullptr))
            ->atom;
    const auto reply = own(xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, iconAtom, XCB_ATOM_CARDINAL, 0, 1 << 22),
        nullptr));
    QImage largest;
    if (!reply || reply->format != 32)
      return largest;
    const auto* data = static_cast<const quint32*>(xcb_get_property_value(reply.get()));
    const qsizetype count = xcb_get_property_value_length(reply.get()) / 4;
    // Each picture: its width, its height, then its pixels as ARGB, row by row.
    for (qsizetype at = 0; at + 2 <= count;) {
      const int width = int(data[at]);
      const int height = int(data[at + 1]);
      at += 2;
      if (width <= 0 || height <= 0 || at + qsizetype(width) * height > count)
        break;
      if (width > largest.width()) {
        largest = QImage(width, height, QImage::Format_ARGB32);
        for (int y = 0; y < height; ++y)
          std::memcpy(largest.scanLine(y), data + at + qsizetype(y) * width, size_t(width) * 4);
      }
      at += qsizetype(width) * height;
    }
    return largest;
  }

  QRect geometry(xcb_window_t window) {
    const auto reply =
        own(xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr));
    return reply ? QRect(reply->x, reply->y, reply->width, reply->height) : QRect();
  }

private:
  QList<xcb_window_t> children(xcb_window_t window) {
    QList<xcb_window_t> list;
    const auto reply = own(xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window), nullptr));
    if (!reply)
      return list; // gone meanwhile
    const xcb_window_t* first = xcb_query_tree_children(reply.get());
    for (int i = 0; i < xcb_query_tree_children_length(reply.get()); ++i)
      list.append(first[i]);
    return list;
  }

  std::optional<qint64> pidOf(xcb_window_t window) {
    const auto reply = own(xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, pidAtom_, XCB_ATOM_CARDINAL, 0, 1), nullptr));
    if (!reply || xcb_get_property_value_length(reply.get()) != 4)
      return std::nullopt;
    return *static_cast<const quint32*>(xcb_get_property_value(reply.get()));
  }

  xcb_connection_t* connection_;
  xcb_window_t root_ = XCB_NONE;
  xcb_atom_t pidAtom_ = XCB_NONE;
};

// A program started for the test and stopped at its end.
struct Program : QProcess {
  ~Program() override {
    terminate();
    if (!waitForFinished(3000)) {
      kill();
      waitForFinished();
    }
  }
};

// A home of its own, or the start would hand itself to the developer's running copy. The
// Secret Service and the session bus are the private ones the test runs inside.
QProcessEnvironment homeOfItsOwn(const QTemporaryDir& home) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* folder : {"config", "data", "cache", "runtime"})
    QDir(home.path()).mkpath(QString::fromLatin1(folder));
  QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  environment.insert(QStringLiteral("HOME"), home.path());
  environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
  environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
  environment.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
  environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  return environment;
}

// A tray along the top edge of the screen.
bool startTray(Program& tray, const QString& trayer) {
  tray.setProcessChannelMode(QProcess::ForwardedChannels);
  tray.start(trayer, {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "28",
                      "--SetDockType", "true", "--transparent", "false"});
  return tray.waitForStarted();
}

// A real X server and a tray program to start on it.
class TrayDocking : public ::testing::Test {
protected:
  void SetUp() override {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
      GTEST_SKIP() << "needs an X11 display: install xvfb (xvfb-run) so that CTest runs this program "
                      "inside a private Xvfb server";
    trayer = QStandardPaths::findExecutable(QStringLiteral("trayer"));
    if (trayer.isEmpty())
      GTEST_SKIP() << "trayer is not installed (scripts/install-deps installs it)";
  }

  // A start that fails as the reader meets it, beside a tray when `withTray`: no session bus
  // answers in its home, so no keyring either, and its alert is on screen. Call it under
  // ASSERT_NO_FATAL_FAILURE.
  struct FailedStart {
    Program tray;
    QTemporaryDir home;
    QProcessEnvironment environment;
    Program application;
  };
  // With `bus`, the start's session bus instead, on which its keyring keeps it waiting until the
  // test lets it fail: the window on screen is the one that says the start waits.
  void startFailing(FailedStart& start, bool withTray, X11Windows& display, WindowTree& tree,
                    const QString& bus = {}) {
    if (withTray) {
      ASSERT_TRUE(startTray(start.tray, trayer));
      ASSERT_TRUE(QTest::qWaitFor([&] { return !tree.topLevelsOf(start.tray.processId()).isEmpty(); },
                                  kWaitMilliseconds))
          << "the tray showed no panel";
    }
    start.environment = homeOfItsOwn(start.home);
    start.environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                             bus.isEmpty() ? "unix:path=" + start.home.filePath("no-bus") : bus);
    // Freed memory is overwritten at once, so that an object used after it was deleted brings
    // the program down rather than go unnoticed (the sanitizer build's allocator is told so too).
    QProcessEnvironment overwritingFreedMemory = start.environment;
    overwritingFreedMemory.insert(QStringLiteral("MALLOC_PERTURB_"), QStringLiteral("165"));
    overwritingFreedMemory.insert(QStringLiteral("ASAN_OPTIONS"),
                                  qEnvironmentVariable("ASAN_OPTIONS") +
                                      QStringLiteral(":max_free_fill_size=4096"));
    start.application.setProcessEnvironment(overwritingFreedMemory);
    start.application.start(QStringLiteral(BRINDLEWICK_EXECUTABLE), {});
    ASSERT_TRUE(start.application.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !display.mappedWindowsOf(start.application.processId(), true).isEmpty(); },
        kWaitMilliseconds))
        << "no window";
  }

  QString trayer;
};

TEST_F(TrayDocking, TheIconDocksInATrayThatAppearsAfterTheStart) {

  QTemporaryDir home;
  const QProcessEnvironment environment = homeOfItsOwn(home);

  WindowTree tree;
  Program application;
  application.setProcessEnvironment(environment);
  application.setProcessChannelMode(QProcess::ForwardedChannels);
  application.start(QStringLiteral(BRINDLEWICK_EXECUTABLE), {});
  ASSERT_TRUE(application.waitForStarted());
  const qint64 applicationPid = application.processId();
  // Its reader window shows once it has started, with no tray to dock in yet.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !tree.topLevelsOf(applicationPid).isEmpty(); }, kWaitMilliseconds))
      << "the program showed no window";
  // It shows the application's icon, the one the desktop entry names, at every size up to 256.
  QImage icon;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        for (const xcb_window_t window : tree.topLevelsOf(applicationPid))
          if (const QImage found = tree.largestIcon(window); found.width() > icon.width())
            icon = found;
        return !icon.isNull();
      },
      kWaitMilliseconds))
      << "the program's windows have no icon";
  EXPECT_EQ(icon.size(), QSize(256, 256));
  EXPECT_TRUE(icon.save(testing::testOutputPath(QStringLiteral("window-icon.png"))));

  Program tray;
  ASSERT_TRUE(startTray(tray, trayer));
  const qint64 trayPid = tray.processId();
  std::optional<xcb_window_t> dock;
  const auto docked = [&] {
    for (const xcb_window_t window : tree.topLevelsOf(trayPid))
      if (tree.holdsWindowOf(window, applicationPid)) {
        dock = window;
        return true;
      }
    return false;
  };
  ASSERT_TRUE(QTest::qWaitFor(docked, kWaitMilliseconds)) << "the icon did not dock in the tray";
  EXPECT_EQ(application.state(), QProcess::Running);

  // The tray's corner of the screen, enlarged so that the icon can be judged.
  QTest::qWait(500); // the icon paints after it is embedded
  const QRect panel = tree.geometry(*dock).adjusted(-60, 0, 0, 12);
  const QPixmap corner =
      QGuiApplication::primaryScreen()->grabWindow(0, panel.x(), panel.y(), panel.width(), panel.height());
  ASSERT_FALSE(corner.isNull());
  EXPECT_TRUE(corner.scaled(corner.size() * 4, Qt::KeepAspectRatio, Qt::FastTransformation)
                  .save(testing::testOutputPath(QStringLiteral("tray-docked.png"))));
}

// A start whose keyring cannot be read shows its alert. With a tray its menu stays the way to
// read it again or to quit; with none, nothing could reach the process, so answering the alert
// ends it, and the next start begins afresh instead of handing itself to it.
TEST_F(TrayDocking, AFailedStartOutlivesItsAlertOnlyWhereTheTrayShowsItsIcon) {
  X11Windows display;
  ASSERT_TRUE(display.ok());
  const struct {
    const char* name;
    bool tray;
  } rows[] = {{"no tray", false}, {"a tray", true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    WindowTree tree;
    FailedStart start;
    ASSERT_NO_FATAL_FAILURE(startFailing(start, row.tray, display, tree));
    Program& application = start.application;
    display.requestClose(display.mappedWindowsOf(application.processId(), true).front());
    if (!row.tray) {
      ASSERT_TRUE(application.waitForFinished(kWaitMilliseconds)) << "the answered alert left a process";
      EXPECT_EQ(application.exitStatus() == QProcess::NormalExit ? application.exitCode() : -1, 1);
      continue;
    }
    EXPECT_FALSE(application.waitForFinished(2000)) << "the start ended though its tray icon shows";
    const auto docked = [&] {
      for (const xcb_window_t panel : tree.topLevelsOf(start.tray.processId()))
        if (tree.holdsWindowOf(panel, application.processId()))
          return true;
      return false;
    };
    EXPECT_TRUE(QTest::qWaitFor(docked, kWaitMilliseconds)) << "the icon is not in the tray";
  }
}

// A later start of a start that failed tries to open the reader window: it brings the alert
// back, over whatever covers it, once; a drop's shortcut has nothing to act on and leaves the
// alert where it is. Answering the alert must leave the first copy running where its tray icon
// shows (it once crashed inside the request's own socket handler); a later start then runs in
// its place.
TEST_F(TrayDocking, ALaterStartBringsTheAlertOfAFailedStartForward) {
  X11Windows display;
  ASSERT_TRUE(display.ok());
  for (const bool withTray : {false, true}) {
    SCOPED_TRACE(withTray ? "a tray" : "no tray");
    WindowTree tree;
    FailedStart start;
    ASSERT_NO_FATAL_FAILURE(startFailing(start, withTray, display, tree));
    Program& application = start.application;
    const auto alerts = [&] { return display.mappedWindowsOf(application.processId(), true); };
    const auto alertShows = [&] { return !alerts().isEmpty(); };
    const auto laterStart = [&](const QStringList& arguments) {
      Program later;
      later.setProcessEnvironment(start.environment);
      later.start(QStringLiteral(BRINDLEWICK_EXECUTABLE), arguments);
      EXPECT_TRUE(later.waitForFinished(kWaitMilliseconds));
      EXPECT_EQ(later.exitCode(), 0) << later.readAllStandardError().toStdString();
    };

    // Another application's window over the whole screen, holding the keyboard.
    const xcb_window_t alert = alerts().front();
    const xcb_window_t cover = display.openFocusedWindow(QGuiApplication::primaryScreen()->geometry());
    const auto alertInFront = [&] {
      const QList<xcb_window_t> stack = display.stackingOrder();
      return stack.indexOf(alert) > stack.indexOf(cover) && display.inputFocus() == alert;
    };
    for (const char* shortcut : {"--dismiss", "--focus-reader"})
      laterStart({QString::fromLatin1(shortcut)});
    EXPECT_FALSE(QTest::qWaitFor(alertInFront, 1500)) << "a drop's shortcut raised the alert";
    laterStart({QStringLiteral("--library")});
    EXPECT_TRUE(QTest::qWaitFor(alertInFront, kWaitMilliseconds))
        << "the alert stayed under the window that covers it";
    EXPECT_EQ(alerts(), QList<xcb_window_t>{alert}) << "a second alert over the first";
    display.destroyWindow(cover);
    display.requestClose(alert);
    if (!withTray) {
      ASSERT_TRUE(application.waitForFinished(kWaitMilliseconds));
      EXPECT_EQ(application.exitStatus() == QProcess::NormalExit ? application.exitCode() : -1, 1);
      continue;
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return !alerts().contains(alert); }, kWaitMilliseconds))
        << "the alert stayed";
    // The start it served is over: its alert does not come again.
    EXPECT_FALSE(QTest::qWaitFor(alertShows, 2000)) << "the alert came back once answered";

    // A drop's shortcut has nothing to act on, and leaves the copy as it is.
    laterStart({QStringLiteral("--dismiss")});
    EXPECT_FALSE(QTest::qWaitFor(alertShows, 1000)) << "a drop's shortcut brought the alert back";
    ASSERT_EQ(application.state(), QProcess::Running);

    // Once the tray has gone (its panel ended), the copy gives way to a plain start, which runs as
    // itself: it fails as the first did (nothing has mended the cause), and with no tray to
    // reach it by, answering its alert ends it.
    start.tray.terminate();
    ASSERT_TRUE(start.tray.waitForFinished(kWaitMilliseconds));
    Program again;
    again.setProcessEnvironment(start.environment);
    again.start(QStringLiteral(BRINDLEWICK_EXECUTABLE), {});
    ASSERT_TRUE(application.waitForFinished(kWaitMilliseconds)) << "the copy that failed did not give way";
    EXPECT_EQ(application.exitStatus() == QProcess::NormalExit ? application.exitCode() : -1, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !display.mappedWindowsOf(again.processId(), true).isEmpty(); },
                                kWaitMilliseconds))
        << "the later start showed no alert of its own: " << again.readAllStandardError().toStdString();
    display.requestClose(display.mappedWindowsOf(again.processId(), true).front());
    ASSERT_TRUE(again.waitForFinished(kWaitMilliseconds)) << "the answered alert left a process";
    EXPECT_EQ(again.exitStatus() == QProcess::NormalExit ? again.exitCode() : -1, 1);
  }
}

// A keyring that holds the Secret Service's name and answers nothing keeps a start waiting;
// once it goes, every call still waiting fails, and so does the start.
class SilentKeyring final : public QDBusVirtualObject {
public:
  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage&, const QDBusConnection&) override { return true; }
};

// Starts that come while the keyring keeps the start waiting are served by the alert of the
// start that then fails, as those that come while it shows are: one alert, answered once. One
// that would open the reader window brings the window that says the start waits forward; a
// drop's shortcut meanwhile changes nothing, and leaves the keyboard where it is. Closing that
// window gives the start up: the program ends, as Quit would, and no alert follows.
TEST_F(TrayDocking, StartsDuringAKeyringWaitAreServedByTheOneAlertOfTheFailedStart) {
  X11Windows display;
  ASSERT_TRUE(display.ok());
  display.watchStartupMessages();
  PrivateBus bus;
  if (!bus.isRunning())
    GTEST_SKIP() << "dbus-daemon is not installed";
  for (const bool closeWaitWindow : {false, true}) {
    SCOPED_TRACE(closeWaitWindow ? "the wait window closed" : "the keyring goes");
    const QString keyringName = QStringLiteral("silent-keyring-%1").arg(closeWaitWindow);
    SilentKeyring silent;
    {
      // Held by name alone, so that disconnecting it by name closes it.
      QDBusConnection keyring = bus.connect(keyringName);
      ASSERT_TRUE(keyring.registerService(QStringLiteral("org.freedesktop.secrets")));
      ASSERT_TRUE(keyring.registerVirtualObject(QStringLiteral("/"), &silent, QDBusConnection::SubPath));
    }

    WindowTree tree;
    FailedStart start;
    ASSERT_NO_FATAL_FAILURE(startFailing(start, true, display, tree, bus.address()));
    Program& application = start.application;
    const auto windows = [&] { return display.mappedWindowsOf(application.processId(), true); };
    const xcb_window_t waitWindow = windows().front();
    // Each with a startup id of its own, short enough for its removal to be read whole.
    const auto laterStart = [&](const QString& argument) {
      Program later;
      QProcessEnvironment environment = start.environment;
      environment.insert(QStringLiteral("DESKTOP_STARTUP_ID"), argument.right(6));
      later.setProcessEnvironment(environment);
      later.start(QStringLiteral(BRINDLEWICK_EXECUTABLE), {argument});
      EXPECT_TRUE(later.waitForFinished(kWaitMilliseconds));
      EXPECT_EQ(later.exitCode(), 0) << later.readAllStandardError().toStdString();
    };

    // Another application's window over the whole screen, holding the keyboard.
    const xcb_window_t cover = display.openFocusedWindow(QGuiApplication::primaryScreen()->geometry());
    const auto waitWindowInFront = [&] {
      const QList<xcb_window_t> stack = display.stackingOrder();
      return stack.indexOf(waitWindow) > stack.indexOf(cover) && display.inputFocus() == waitWindow;
    };
    for (const QString& shortcut : {QStringLiteral("--dismiss"), QStringLiteral("--focus-reader")})
      laterStart(shortcut);
    EXPECT_FALSE(QTest::qWaitFor(waitWindowInFront, 1500)) << "a drop's shortcut raised the wait window";
    laterStart(QStringLiteral("--library"));
    EXPECT_TRUE(QTest::qWaitFor(waitWindowInFront, kWaitMilliseconds))
        << "the wait window stayed under the window that covers it";
    display.destroyWindow(cover);
    laterStart(QStringLiteral("brindlewick:open"));
    ASSERT_EQ(windows(), QList<xcb_window_t>{waitWindow}) << "the start did not wait for the keyring";
    // The launcher's busy cursor of each ends as it is kept or brings the window forward, not
    // once the keyring lets the start go on.
    for (const char* id : {"ismiss", "reader", "ibrary", "k:open"})
      EXPECT_TRUE(QTest::qWaitFor(
          [&] { return display.startupMessages().contains(QByteArray("remove: ID=") + id); }, kWaitMilliseconds))
          << "the launch feedback of " << id << " goes on";

    if (closeWaitWindow) {
      display.requestClose(waitWindow);
      ASSERT_TRUE(application.waitForFinished(kWaitMilliseconds)) << "closing the wait window left a process";
      EXPECT_EQ(application.exitStatus() == QProcess::NormalExit ? application.exitCode() : -1, 0)
          << application.readAllStandardError().toStdString();
      QDBusConnection::disconnectFromBus(keyringName);
      continue;
    }
    QDBusConnection::disconnectFromBus(keyringName);
    QList<xcb_window_t> alerts;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          alerts = windows();
          return !alerts.isEmpty() && !alerts.contains(waitWindow);
        },
        kWaitMilliseconds))
        << "no alert once the keyring went: " << application.readAllStandardError().toStdString();
    EXPECT_EQ(alerts.size(), 1);
    QTest::qWait(300); // painted
    const QRect frame = tree.geometry(alerts.front());
    EXPECT_TRUE(QGuiApplication::primaryScreen()
                    ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                    .save(testing::testOutputPath(QStringLiteral("keyring-gone-alert.png"))));
    display.requestClose(alerts.front());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !windows().contains(alerts.front()); }, kWaitMilliseconds));
    EXPECT_FALSE(QTest::qWaitFor([&] { return !windows().isEmpty(); }, 2000))
        << "another alert followed the answered one";
    EXPECT_EQ(application.state(), QProcess::Running) << "the start ended though its tray icon shows";
  }
}

// The alert of a start that failed says what to mend, then to start Brindlewick again. Where a
// tray keeps the copy that failed, that advice must work: the copy gives way, and the later start
// runs as itself (its own environment, arguments and startup id), rather than meet the alert of
// the start that failed. A dozen starts at once, as launchers and double clicks make them, leave
// one copy showing the reader; every other start handed its request to it, and each was served.
TEST_F(TrayDocking, StartingAgainAsTheAlertAdvisesOpensTheReader) {
  if (qgetenv("BRINDLEWICK_SECRET_SERVICE") != "running")
    GTEST_SKIP() << "no private keyring: CTest runs this program through tests/support/with-secret-service.sh";
  X11Windows display;
  ASSERT_TRUE(display.ok());
  display.watchStartupMessages();
  const QString sessionBus = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
  const struct {
    const char* name;
    bool lockKeyring; // else the failed start had a session bus address that leads nowhere
    QByteArray failure;
    QList<QStringList> laterStarts;
  } rows[] = {
      {"a locked keyring, unlocked", true, "the system keyring stayed locked or did not answer", {{"--library"}}},
      {"a stale session bus, a dozen starts at once",
       false,
       "cannot be reached",
       {{"--library"}, {}, {"--dismiss"}, {"brindlewick:x"}, {"--discover"}, {"--focus-reader"}, {}, {"--show"},
        {"--library"}, {"--dismiss"}, {}, {"brindlewick:y"}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    // Its unlock prompt cannot show: the keyring's bus has no display, as when the reader
    // dismisses the prompt.
    if (row.lockKeyring) {
      ASSERT_EQ(LoginKeyring::lock(), QString());
    }
    WindowTree tree;
    FailedStart start;
    ASSERT_NO_FATAL_FAILURE(startFailing(start, true, display, tree, row.lockKeyring ? sessionBus : QString()));
    Program& application = start.application;
    QByteArray errors;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          errors += application.readAllStandardError();
          return errors.contains(row.failure) && !display.mappedWindowsOf(application.processId(), true).isEmpty();
        },
        kWaitMilliseconds))
        << errors.toStdString();
    display.requestClose(display.mappedWindowsOf(application.processId(), true).front());
    ASSERT_TRUE(QTest::qWaitFor([&] { return display.mappedWindowsOf(application.processId(), true).isEmpty(); },
                                kWaitMilliseconds))
        << "the alert stayed";
    ASSERT_EQ(application.state(), QProcess::Running);
    if (row.lockKeyring) {
      ASSERT_EQ(LoginKeyring::unlock(), QString());
    }

    // Started as from the desktop's own session, each with its own startup id.
    std::vector<std::unique_ptr<Program>> later;
    for (const QStringList& arguments : row.laterStarts) {
      QProcessEnvironment environment = start.environment;
      environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sessionBus);
      environment.insert(QStringLiteral("DESKTOP_STARTUP_ID"), QStringLiteral("later-%1").arg(later.size()));
      later.push_back(std::make_unique<Program>());
      later.back()->setProcessEnvironment(environment);
      later.back()->start(QStringLiteral(BRINDLEWICK_EXECUTABLE), arguments);
    }
    ASSERT_TRUE(application.waitForFinished(kWaitMilliseconds)) << "the copy that failed did not give way";
    errors += application.readAllStandardError();
    EXPECT_EQ(application.exitStatus() == QProcess::NormalExit ? application.exitCode() : -1, 0) << errors.toStdString();
    EXPECT_EQ(errors.count("initialization failed"), 1) << errors.toStdString();

    // One start runs on; every other one has ended, its request taken.
    Program* reader = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          return std::count_if(later.begin(), later.end(),
                               [](const auto& one) { return one->state() != QProcess::NotRunning; }) <= 1;
        },
        2 * kWaitMilliseconds))
        << "starts were left waiting";
    for (const auto& one : later) {
      const QByteArray said = one->readAllStandardError();
      EXPECT_FALSE(said.contains("did not take this request")) << said.toStdString();
      if (one->state() != QProcess::NotRunning)
        reader = one.get();
      else
        EXPECT_EQ(one->exitStatus() == QProcess::NormalExit ? one->exitCode() : -1, 0) << said.toStdString();
    }
    ASSERT_NE(reader, nullptr) << "no start runs on as the reader";
    // The reader window, the size of no alert.
    QRect frame;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
          const QList<xcb_window_t> shown = display.mappedWindowsOf(reader->processId(), true);
          frame = shown.size() == 1 ? tree.geometry(shown.front()) : QRect();
          return frame.width() >= 900;
        },
        kWaitMilliseconds))
        << "no reader window: " << reader->readAllStandardError().toStdString();
    // Each start was served: the launch feedback of every one ended.
    for (std::size_t i = 0; i < later.size(); ++i)
      EXPECT_TRUE(QTest::qWaitFor(
          [&] { return display.startupMessages().contains("remove: ID=later-" + QByteArray::number(i)); },
          kWaitMilliseconds))
          << "the launch feedback of start " << i << " goes on";
    EXPECT_FALSE(reader->readAllStandardError().contains("initialization failed"));
    QTest::qWait(300); // painted
    EXPECT_TRUE(QGuiApplication::primaryScreen()
                    ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                    .save(testing::testOutputPath(QStringLiteral("started-again-%1.png").arg(row.lockKeyring))));
  }
}

#else

TEST(TrayDocking, TheIconDocksInATrayThatAppearsAfterTheStart) {
  GTEST_SKIP() << "built without libxcb: the window tree cannot be read";
}

#endif

} // namespace
} // namespace brindlewick
