// The real program's refusals before it runs (no private runtime folder, a request the running
// reader will not take) as a reader who started it from a launcher meets them: in an alert on
// the display, read through the accessibility bus as a screen reader reads it, as well as the
// line on standard error.
#include "TestOutput.h"
#include "desktop/AccessibilityTree.h"
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

#include <algorithm>

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
  QString headline;
  QString line;
};

bool named(const QList<AccessibilityTree::Element>& elements, const QString& name) {
  return std::any_of(elements.begin(), elements.end(),
                     [&](const AccessibilityTree::Element& element) { return element.name == name; });
}

TEST(StartRefusal, AStartThatCannotGoOnSaysWhyInAnAlertAsWellAsOnStandardError) {
  if (QGuiApplication::platformName() != QLatin1String("xcb"))
    GTEST_SKIP() << "needs an X11 display: install xvfb (xvfb-run) so that CTest runs this program inside a "
                    "private Xvfb server";
  AccessibilityTree tree;
  if (!tree.ok())
    GTEST_SKIP() << "the session offers no accessibility bus (scripts/install-deps installs at-spi2-core)";
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
       QStringLiteral("Brindlewick could not start"),
       QStringLiteral("There is no private runtime folder for Brindlewick's socket.")},
      {"a link longer than 64 KiB",
       [&](const QString& runtime) {
         running.listen(QDir(runtime).filePath(QStringLiteral("app.brindlewick.socket")));
         return QStringList{runtime, longLink};
       },
       // The running copy goes on: only the request was lost.
       QStringLiteral("Brindlewick could not take this request"),
       QStringLiteral("Brindlewick is already running but did not take this request: the request is larger "
                      "than 65536 bytes.")},
      // A file or a dead socket there is replaced; a folder is the reader's to move.
      {"a folder where the socket goes",
       [](const QString& runtime) {
         EXPECT_TRUE(QDir(runtime).mkpath(QStringLiteral("app.brindlewick.socket/kept")));
         return QStringList{runtime};
       },
       QStringLiteral("Brindlewick could not start"),
       QStringLiteral(
           "Could not listen for later starts at %1/app.brindlewick.socket: a folder is in the way "
           "there. Remove or rename that folder, then start Brindlewick again.")},
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
    QList<AccessibilityTree::Element> read;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
          read = tree.elements(program.processId());
          return named(read, refusal.headline);
        },
        kWaitMilliseconds))
        << AccessibilityTree::dump(read).toStdString();
    QTest::qWait(300); // painted
    const QRect frame = display.geometry(alerts.front());
    QGuiApplication::primaryScreen()
        ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
        .save(testing::testOutputPath(QStringLiteral("start-refusal-%1.png").arg(&refusal - refusals)));

    display.requestClose(alerts.front());
    ASSERT_TRUE(program.waitForFinished(kWaitMilliseconds));
    EXPECT_EQ(program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1, 1);
    const QString line = refusal.line.contains(u'%') ? refusal.line.arg(given.front()) : refusal.line;
    const QByteArray errors = program.readAllStandardError();
    EXPECT_TRUE(errors.contains(("Brindlewick: " + line + "\n").toUtf8())) << errors.toStdString();
    EXPECT_EQ(program.readAllStandardOutput(), "");
    running.close();
  }
}

// A desktop shortcut bound to the drop's "dismiss" or "focus" pressed while no copy runs: there
// is no drop to act on, so the start ends at once and starts nothing (no window, no socket, no
// store), nor does it put in an update waiting for the next start (installed per user, the
// program folder beside the staged one): that waits for a start that runs the reader.
TEST(StartRefusal, ADropShortcutWithNoCopyRunningStartsNothing) {
  if (QGuiApplication::platformName() != QLatin1String("xcb"))
    GTEST_SKIP() << "needs an X11 display: install xvfb (xvfb-run) so that CTest runs this program inside a "
                    "private Xvfb server";
  X11Windows display;
  ASSERT_TRUE(display.ok());
  display.watchStartupMessages();
  for (const bool staged : {false, true}) {
    for (const char* action : {"--dismiss", "--focus-reader"}) {
      SCOPED_TRACE(std::string(action) + (staged ? ", an update staged" : ""));
      const QTemporaryDir home;
      for (const char* folder :
           {"data", "runtime", "prefix/bin", "prefix/lib/brindlewick", "prefix/lib/.brindlewick-staged"})
        QDir(home.path()).mkpath(QString::fromLatin1(folder));
      QFile::setPermissions(home.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
      QString executable = QStringLiteral(BRINDLEWICK_EXECUTABLE);
      if (staged) {
        executable = home.filePath("prefix/lib/brindlewick/brindlewick");
        ASSERT_TRUE(QFile::copy(QStringLiteral(BRINDLEWICK_EXECUTABLE), executable));
        ASSERT_TRUE(QFile::link(QStringLiteral("../lib/brindlewick/brindlewick"),
                                home.filePath("prefix/bin/brindlewick")));
        QFile newer(home.filePath("prefix/lib/.brindlewick-staged/brindlewick"));
        ASSERT_TRUE(newer.open(QIODevice::WriteOnly) && newer.write("the staged version") > 0);
      }
      QProcess program;
      QProcessEnvironment environment = homeAt(home, home.filePath("runtime"));
      const QString startupId = QStringLiteral("none-%1%2").arg(action[2]).arg(staged);
      environment.insert(QStringLiteral("DESKTOP_STARTUP_ID"), startupId);
      program.setProcessEnvironment(environment);
      program.start(executable, {QString::fromLatin1(action)});
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
      EXPECT_EQ(program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1, 0)
          << program.readAllStandardError().toStdString();
      EXPECT_FALSE(QFileInfo::exists(home.filePath("runtime/app.brindlewick.socket")));
      // The launch is over all the same: the launcher's busy cursor ends.
      EXPECT_TRUE(QTest::qWaitFor(
          [&] { return display.startupMessages().contains("remove: ID=" + startupId.toUtf8()); }, 2000));
      EXPECT_TRUE(
          QDir(home.filePath("data")).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
      if (staged) {
        EXPECT_TRUE(QFileInfo::exists(home.filePath("prefix/lib/.brindlewick-staged/brindlewick")))
            << "the staged update was taken";
        EXPECT_EQ(QFileInfo(home.filePath("prefix/lib/brindlewick/brindlewick")).size(),
                  QFileInfo(QStringLiteral(BRINDLEWICK_EXECUTABLE)).size())
            << "another program took the place of the one installed";
      }
    }
  }
}

#endif

} // namespace
} // namespace brindlewick
