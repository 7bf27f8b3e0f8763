// The real program's refusals before it runs (no private runtime folder, a request the running
// reader will not take) as a reader who started it from a launcher meets them: in an alert on
// the display, as well as the line on standard error.
#include "TestOutput.h"
#include "desktop/X11Windows.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocalServer>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

namespace brindlewick {
namespace {

#ifdef BRINDLEWICK_HAVE_XCB

constexpr int kWaitMilliseconds = 15000;

QString userName() {
  const passwd* entry = getpwuid(geteuid());
  return entry ? QString::fromLocal8Bit(entry->pw_name) : QString();
}

// The program's environment with `home` as its home and `runtime` as its runtime folder.
QProcessEnvironment homeAt(const QTemporaryDir& home, const QString& runtime) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("HOME", home.path());
  environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
  environment.insert("XDG_DATA_HOME", home.filePath("data"));
  environment.insert("XDG_RUNTIME_DIR", runtime);
  environment.insert("TMPDIR", home.filePath("tmp"));
  environment.insert("QT_QPA_PLATFORM", "xcb");
  return environment;
}

struct Refusal {
  const char* name;
  // Prepares the runtime folder the program is given; returns the program's arguments.
  std::function<QStringList(const QString& runtime)> prepare;
  QString line;
};

TEST(StartRefusal, AStartThatCannotGoOnSaysWhyInAnAlertAsWellAsOnStandardError) {
  if (QGuiApplication::platformName() != QLatin1String("xcb"))
    GTEST_SKIP() << "needs an X11 display: install xvfb (xvfb-run) so that CTest runs this program inside a "
                    "private Xvfb server";
  // The running reader as a later start reaches it; the request never gets that far.
  QLocalServer running;
  const QString longLink = QStringLiteral("brindlewick:") + QString(70 * 1024, QLatin1Char('a'));
  const Refusal refusals[] = {
      // Neither the runtime folder named nor the fallback Qt makes in the temporary folder.
      {"no private runtime folder",
       [](const QString& runtime) {
         QFile fallback(QDir(runtime).filePath(QStringLiteral("tmp/runtime-%1").arg(userName())));
         EXPECT_TRUE(fallback.open(QIODevice::WriteOnly));
         return QStringList{runtime + "/missing/runtime"};
       },
       QStringLiteral("There is no private runtime folder for Brindlewick's socket.")},
      {"a link longer than 64 KiB",
       [&](const QString& runtime) {
         running.listen(QDir(runtime).filePath(QStringLiteral("app.brindlewick.socket")));
         return QStringList{runtime, longLink};
       },
       QStringLiteral("Brindlewick is already running but did not take this request: the request is larger "
                      "than 65536 bytes.")},
  };
  X11Windows display;
  ASSERT_TRUE(display.ok());
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(refusal.name);
    const QTemporaryDir home;
    QDir(home.path()).mkpath(QStringLiteral("tmp"));
    const QStringList given = refusal.prepare(home.path());
    QProcess program;
    program.setProcessEnvironment(homeAt(home, given.front()));
    program.start(BRINDLEWICK_EXECUTABLE, given.mid(1));
    ASSERT_TRUE(program.waitForStarted());

    QList<xcb_window_t> alerts;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          alerts = display.mappedWindowsOf(program.processId(), true);
          return !alerts.isEmpty() || program.state() == QProcess::NotRunning;
        },
        kWaitMilliseconds))
        << "neither an alert nor an end";
    ASSERT_EQ(alerts.size(), 1) << program.readAllStandardError().toStdString();
    EXPECT_EQ(program.state(), QProcess::Running) << "the program waits for the reader to read it";
    QTest::qWait(300); // painted
    const QRect frame = display.geometry(alerts.front());
    QGuiApplication::primaryScreen()
        ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
        .save(testing::testOutputPath(QStringLiteral("start-refusal-%1.png").arg(&refusal - refusals)));

    display.requestClose(alerts.front());
    ASSERT_TRUE(program.waitForFinished(kWaitMilliseconds));
    EXPECT_EQ(program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1, 1);
    EXPECT_TRUE(program.readAllStandardError().contains(("Brindlewick: " + refusal.line + "\n").toUtf8()));
    EXPECT_EQ(program.readAllStandardOutput(), "");
    running.close();
  }
}

// A desktop shortcut bound to the drop's "dismiss" or "focus" pressed while no copy runs: there
// is no drop to act on, so the start ends at once and starts nothing (no window, no socket, no
// store).
TEST(StartRefusal, ADropShortcutWithNoCopyRunningStartsNothing) {
  if (QGuiApplication::platformName() != QLatin1String("xcb"))
    GTEST_SKIP() << "needs an X11 display: install xvfb (xvfb-run) so that CTest runs this program inside a "
                    "private Xvfb server";
  X11Windows display;
  ASSERT_TRUE(display.ok());
  for (const char* action : {"--dismiss", "--focus-reader"}) {
    SCOPED_TRACE(action);
    const QTemporaryDir home;
    for (const char* folder : {"data", "runtime"})
      QDir(home.path()).mkpath(QString::fromLatin1(folder));
    QFile::setPermissions(home.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess program;
    program.setProcessEnvironment(homeAt(home, home.filePath("runtime")));
    program.start(BRINDLEWICK_EXECUTABLE, {QString::fromLatin1(action)});
    ASSERT_TRUE(program.waitForStarted());
    bool windowShown = false;
    const bool ended = QTest::qWaitFor(
        [&] {
          windowShown = windowShown || !display.mappedWindowsOf(program.processId()).isEmpty();
          return program.state() == QProcess::NotRunning;
        },
        kWaitMilliseconds);
    EXPECT_TRUE(ended) << "the start went on running";
    EXPECT_FALSE(windowShown);
    EXPECT_EQ(program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1, 0);
    EXPECT_FALSE(QFileInfo::exists(home.filePath("runtime/app.brindlewick.socket")));
    EXPECT_TRUE(QDir(home.filePath("data")).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
  }
}

#endif

} // namespace
} // namespace brindlewick
