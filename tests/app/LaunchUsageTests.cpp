#include "app/GraphicalSession.h"
#include "app/LaunchHelp.h"
#include "app/LaunchRequest.h"
#include "app/LaunchUsage.h"
#include "app/QtCommandLine.h"
#include "app/RunningCopyStandIn.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <utility>

using namespace brindlewick;
using brindlewick::testing::RunningCopyStandIn;

namespace {

const QByteArray usageTail = "Usage: brindlewick [OPTION | LINK...]\n"
                             "Try 'brindlewick --help' for more information.\n";

// Qt's own options go to Qt, a value-taking one with its value whatever it looks like, with
// one dash or two; everything else stays the program's.
TEST(LaunchUsage, QtsOwnOptionsAreTakenOutBeforeTheProgramsAreRead) {
  const struct {
    QStringList arguments;
    QStringList own;
    std::optional<QString> platform;
    std::optional<QString> display;
  } rows[] = {
      {{"-platform", "offscreen", "--show"}, {"--show"}, "offscreen", std::nullopt},
      {{"--platform", "xcb", "-display", ":1", "brindlewick:x"}, {"brindlewick:x"}, "xcb", ":1"},
      {{"-style", "--libary"}, {}, std::nullopt, std::nullopt},
      {{"-style=fusion", "-reverse", "--stylesheet", "a.qss", "--library"},
       {"--library"},
       std::nullopt,
       std::nullopt},
      {{"--libary", "-platform"}, {"--libary"}, std::nullopt, std::nullopt},
      {{"-platformx", "--show"}, {"-platformx", "--show"}, std::nullopt, std::nullopt},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.arguments.join(' ').toStdString());
    const QtCommandLine split = QtCommandLine::split(QStringList{"brindlewick"} + row.arguments);
    EXPECT_EQ(split.own, QStringList{"brindlewick"} + row.own);
    EXPECT_EQ(split.platform, row.platform);
    EXPECT_EQ(split.display, row.display);
  }
}

TEST(LaunchUsage, OnlyKnownOptionsPassAndALauncherActionStandsAlone) {
  const struct {
    QStringList arguments;
    const char* error; // the first line, or null
  } rows[] = {
      {{}, nullptr},
      {{"--focus-reader"}, nullptr},
      {{"--dismiss"}, nullptr},
      {{"brindlewick:open", "https://example.com/"}, nullptr},
      {{"--diagnostics", "--smoke-panel"}, nullptr},
      {{"--libary"}, "brindlewick: unknown option '--libary'\n"},
      {{"-x"}, "brindlewick: unknown option '-x'\n"},
      {{"--Show"}, "brindlewick: unknown option '--Show'\n"},
      {{"--diagnostics=1"}, "brindlewick: unknown option '--diagnostics=1'\n"},
      {{"brindlewick:open", "--libary"}, "brindlewick: unknown option '--libary'\n"},
      {{"--show", "--library"}, "brindlewick: '--show' takes no other arguments\n"},
      {{"brindlewick:open", "--dismiss"}, "brindlewick: '--dismiss' takes no other arguments\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.arguments.join(' ').toStdString());
    const std::optional<QString> error = LaunchUsage::error(QStringList{"brindlewick"} + row.arguments);
    if (!row.error) {
      EXPECT_FALSE(error) << error->toStdString();
      continue;
    }
    ASSERT_TRUE(error);
    EXPECT_EQ(error->toUtf8(), QByteArray(row.error) + usageTail);
  }
}

// The two status-menu entries travel to the running copy as launcher actions.
TEST(LaunchUsage, FocusReaderAndDismissAreLauncherActionsThatTravel) {
  for (const auto& [argument, action] :
       {std::pair{"--focus-reader", LaunchAction::focusReader}, {"--dismiss", LaunchAction::dismiss}}) {
    const LaunchRequest request = LaunchRequest::fromArguments({"brindlewick", argument});
    EXPECT_EQ(request.kind, LaunchRequest::Kind::action);
    EXPECT_EQ(request.action, action);
    EXPECT_EQ(LaunchRequest::argument(action), QLatin1String(argument));
    EXPECT_EQ(LaunchRequest::fromJson(request.toJson()), request);
  }
}

// What a later start asks decides whether a copy whose start failed gives way to it: only to one
// that would open the reader window.
TEST(LaunchUsage, ARequestSaysWhetherItOpensTheReaderWindow) {
  const struct {
    QStringList arguments;
    bool opensReaderWindow;
  } rows[] = {
      {{}, true},
      {{"https://example.com/", "brindlewick:open"}, true},
      {{"https://example.com/"}, false},
      {{"BrindleWick:open"}, false},
      {{"--discover"}, true},
      {{"--show"}, true},
      {{"--library"}, true},
      {{"--dismiss"}, false},
      {{"--focus-reader"}, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.arguments.join(' ').toStdString());
    const LaunchRequest request = LaunchRequest::fromArguments(QStringList{"brindlewick"} + row.arguments);
    EXPECT_EQ(request.opensReaderWindow(), row.opensReaderWindow);
  }
}

TEST(LaunchUsage, ADisplayIsLookedForWhereTheChosenPlatformWouldLook) {
  const QTemporaryDir runtime;
  ASSERT_TRUE(QFile(runtime.filePath("wayland-1")).open(QIODevice::WriteOnly));
  const struct {
    const char* name;
    QStringList arguments;
    QMap<QString, QString> environment;
    std::optional<QString> missing;
  } rows[] = {
      {"nothing at all", {}, {}, "DISPLAY is not set"},
      {"offscreen by the environment", {}, {{"QT_QPA_PLATFORM", "offscreen"}}, std::nullopt},
      {"offscreen on the command line", {"-platform", "offscreen"}, {}, std::nullopt},
      {"a display that does not answer", {}, {{"DISPLAY", ":4093"}}, "cannot connect to X display :4093"},
      {"the command line's display", {"-display", ":4093"}, {}, "cannot connect to X display :4093"},
      {"a Wayland session",
       {},
       {{"XDG_SESSION_TYPE", "wayland"},
        {"WAYLAND_DISPLAY", "wayland-1"},
        {"XDG_RUNTIME_DIR", runtime.path()}},
       std::nullopt},
      {"a Wayland session without its compositor",
       {},
       {{"XDG_SESSION_TYPE", "wayland"},
        {"WAYLAND_DISPLAY", "wayland-9"},
        {"XDG_RUNTIME_DIR", runtime.path()}},
       "no Wayland compositor at " + runtime.filePath("wayland-9") + "; DISPLAY is not set"},
      {"Wayland asked for, none set", {"-platform", "wayland"}, {}, "WAYLAND_DISPLAY is not set"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto environment = [&row](const char* name) { return row.environment.value(QLatin1String(name)); };
    const QtCommandLine split = QtCommandLine::split(QStringList{"brindlewick"} + row.arguments);
    EXPECT_EQ(GraphicalSession::missingDisplay(split, environment), row.missing);
  }
}

// The program itself, as a shell user runs it: a mistaken option and a start without a display
// are told on standard error with their exit status, before a display or the running copy is
// touched; help still works without a display.
TEST(LaunchUsage, TheProgramSaysWhatIsWrongAndExitsWithoutStarting) {
  RunningCopyStandIn running;
  ASSERT_TRUE(running.ok());
  const QProcessEnvironment base = running.environment();
  QProcessEnvironment absentDisplay = base;
  QProcessEnvironment deadDisplay = base;
  deadDisplay.insert("DISPLAY", ":4093");
  const QByteArray noDisplay =
      "Brindlewick needs a graphical session (no display was found: DISPLAY is not set).\n";
  const struct {
    QStringList arguments;
    QProcessEnvironment environment;
    int status;
    QByteArray error;
  } rows[] = {
      {{"--libary"}, absentDisplay, 2, "brindlewick: unknown option '--libary'\n" + usageTail},
      {{"-platform", "offscreen", "--libary"},
       base,
       2,
       "brindlewick: unknown option '--libary'\n" + usageTail},
      {{"--focus-reader", "--dismiss"},
       deadDisplay,
       2,
       "brindlewick: '--focus-reader' takes no other arguments\n" + usageTail},
      // "--libary" is the style's value, Qt's; what is left is a start, and there is no display.
      {{"-style", "--libary"}, absentDisplay, 1, noDisplay},
      {{}, absentDisplay, 1, noDisplay},
      {{"--focus-reader"},
       deadDisplay,
       1,
       "Brindlewick needs a graphical session (no display was found: cannot connect to X display :4093).\n"},
      {{"--diagnostics"}, absentDisplay, 1, noDisplay},
      {{"--help"}, absentDisplay, 0, ""},
      {{"--version"}, absentDisplay, 0, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.arguments.join(' ').toStdString());
    QProcess program;
    program.setProcessEnvironment(row.environment);
    program.start(BRINDLEWICK_EXECUTABLE, row.arguments);
    ASSERT_TRUE(program.waitForFinished(30000));
    ASSERT_EQ(program.exitStatus(), QProcess::NormalExit) << "no crash, no core dump";
    EXPECT_EQ(program.exitCode(), row.status);
    EXPECT_EQ(program.readAllStandardError(), row.error);
    if (row.status != 0) {
      EXPECT_EQ(program.readAllStandardOutput(), "");
    }
    EXPECT_FALSE(running.wasContacted());
  }
}

// The launcher actions name the pages as the window's sidebar titles them.
TEST(LaunchUsage, TheHelpNamesThePagesAsTheWindowDoes) {
  const QString help = launchHelpText();
  for (const auto& [option, page] : {std::pair{"--discover", "Library"}, std::pair{"--library", "Saved"}}) {
    const QRegularExpression line(QStringLiteral("\n  %1 +open the reader window on %2\n").arg(option, page));
    EXPECT_TRUE(line.match(help).hasMatch()) << option << '\n' << help.toStdString();
  }
}

// `make run` while a copy runs would build, start the stand-in, and hand the start to that copy
// (which talks to its own service): it stops first, saying so. The socket file a killed copy
// leaves is no running copy: the script goes on to its next check, the session bus.
TEST(LaunchUsage, MakeRunStopsWhileACopyRunsAndOnlyThen) {
  QTemporaryDir home;
  const QString runtime = home.filePath(QStringLiteral("runtime"));
  ASSERT_TRUE(QDir().mkpath(runtime));
  QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  QProcessEnvironment environment;
  for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
    environment.insert(QString::fromLatin1(name), home.path());
  environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
  environment.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
  // The running copy: no keyring answers it, so it waits at its start-up alert.
  QProcess copy;
  QProcessEnvironment copyEnvironment = environment;
  copyEnvironment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  copyEnvironment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), "unix:path=" + home.filePath("no-bus"));
  copy.setProcessEnvironment(copyEnvironment);
  copy.start(QStringLiteral(BRINDLEWICK_EXECUTABLE), {});
  ASSERT_TRUE(copy.waitForStarted());
  const QString socket = QDir(runtime).filePath(QStringLiteral("app.brindlewick.socket"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo(socket).exists(); }, 30000));

  const auto makeRun = [&] {
    QProcessEnvironment scriptEnvironment = environment;
    scriptEnvironment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":4093"));
    scriptEnvironment.insert(QStringLiteral("BUILD"), home.filePath(QStringLiteral("build")));
    QProcess script;
    script.setProcessEnvironment(scriptEnvironment);
    script.start(QStringLiteral(BRINDLEWICK_MAKE_RUN), {});
    EXPECT_TRUE(script.waitForFinished(30000));
    EXPECT_FALSE(QFile::exists(home.filePath(QStringLiteral("build")))) << "nothing was built";
    return std::pair{script.exitCode(), script.readAllStandardError()};
  };
  const auto [whileRunning, refusal] = makeRun();
  EXPECT_EQ(whileRunning, 1);
  EXPECT_TRUE(refusal.startsWith("make run: Brindlewick is already running for you (PID " +
                                 QByteArray::number(copy.processId()) + "); this start would only hand"))
      << refusal.toStdString();

  copy.kill();
  ASSERT_TRUE(copy.waitForFinished());
  ASSERT_TRUE(QFileInfo(socket).exists()) << "a killed copy leaves its socket file";
  const auto [afterKill, nextCheck] = makeRun();
  EXPECT_EQ(afterKill, 1);
  EXPECT_TRUE(nextCheck.startsWith("make run: this session has no D-Bus session bus"))
      << nextCheck.toStdString();
}

} // namespace
