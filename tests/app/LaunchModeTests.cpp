#include "app/LaunchMode.h"
#include "app/RunningCopyStandIn.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>

#include <gtest/gtest.h>

using namespace brindlewick;
using brindlewick::testing::RunningCopyStandIn;

namespace {

TEST(LaunchMode, TheFirstSwitchInTestingOrderWinsAndOnlyExactSwitchesCount) {
  const std::pair<QStringList, LaunchMode> rows[] = {
      {{}, LaunchMode::reader},
      {{"--smoke-panel", "--diagnostics"}, LaunchMode::diagnostics},
      {{"--feasibility", "--smoke-panel"}, LaunchMode::smokePanel},
      {{"--smoke-reader", "--feasibility"}, LaunchMode::feasibility},
      {{"brindlewick:x", "--render-design"}, LaunchMode::refused},
      {{"--Diagnostics", "--diagnostics=1", "-diagnostics", "--diagnostics ", "--show"}, LaunchMode::reader},
      // Qt's own options neither count nor hide a switch where their value would stand.
      {{"-platform", "offscreen", "-reverse", "--platform=xcb"}, LaunchMode::reader},
      {{"-style", "--diagnostics"}, LaunchMode::diagnostics},
      // Help and version win over everything, help over version.
      {{"--diagnostics", "--help"}, LaunchMode::help},
      {{"brindlewick:x", "-h"}, LaunchMode::help},
      {{"--version", "--help"}, LaunchMode::help},
      {{"--smoke-panel", "--version"}, LaunchMode::version},
      {{"--Help", "-help", "--help=1", "-V", "--versions"}, LaunchMode::reader},
      // The updater's start check: after help and version, before every diagnostic.
      {{"--check-start"}, LaunchMode::checkStart},
      {{"--smoke-panel", "--check-start"}, LaunchMode::checkStart},
      {{"--check-start", "--help"}, LaunchMode::help},
      {{"--check-start=1", "-check-start", "--Check-Start"}, LaunchMode::reader},
  };
  for (const auto& [arguments, mode] : rows)
    EXPECT_EQ(launchMode(QStringList{"brindlewick"} + arguments), mode) << arguments.join(' ').toStdString();
}

// The refusal comes before the program connects to a display: it is given one that does not
// exist, which the application object would not survive.
TEST(LaunchMode, TheProgramRefusesBeforeOpeningADisplay) {
  const QTemporaryDir home;
  QProcessEnvironment environment;
  for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME"})
    environment.insert(name, home.path());
  environment.insert("QT_QPA_PLATFORM", "xcb");
  environment.insert("DISPLAY", ":4093");
  QProcess program;
  program.setProcessEnvironment(environment);
  program.start(BRINDLEWICK_EXECUTABLE, {"-platform", "--smoke-layout"});
  ASSERT_TRUE(program.waitForFinished(30000));
  EXPECT_EQ(program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1, 2);
  EXPECT_EQ(program.readAllStandardError(), "Diagnostics are not available in release builds.\n");
  EXPECT_EQ(program.readAllStandardOutput(), "");
}

// Help and version are answered by the program itself, before it opens a display (it is given
// one that does not exist) and without a word to the copy that already runs (a server that
// stands in for it listens where that copy would).
TEST(LaunchMode, HelpAndVersionPrintAndExitWithoutTheRunningCopy) {
  RunningCopyStandIn running;
  ASSERT_TRUE(running.ok());
  QProcessEnvironment environment = running.environment();
  environment.insert("QT_QPA_PLATFORM", "xcb");
  environment.insert("DISPLAY", ":4093");
  const struct {
    QStringList arguments;
    QList<QByteArray> printed; // each on a line of its own
  } rows[] = {
      {{"--help"},
       {"Usage: brindlewick [OPTION | LINK...]", "  --discover", "  --show", "  --library",
        "  --focus-reader", "  --dismiss", "  brindlewick:...", "  --diagnostics", "  --smoke-panel",
        "  --feasibility", "  -h, --help", "  --version"}},
      {{"brindlewick:open", "-h"}, {"Usage: brindlewick [OPTION | LINK...]"}},
      {{"--version"}, {"Brindlewick " BRINDLEWICK_PROJECT_VERSION}},
      // The updater's question, answered from the program's own configuration.
      {{"--check-start"}, {"Brindlewick " BRINDLEWICK_PROJECT_VERSION " can start."}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.arguments.join(' ').toStdString());
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(BRINDLEWICK_EXECUTABLE, row.arguments);
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1, 0);
    EXPECT_EQ(program.readAllStandardError(), "");
    const QByteArray out = program.readAllStandardOutput();
    EXPECT_TRUE(out.endsWith('\n'));
    const QList<QByteArray> lines = out.split('\n');
    for (const QByteArray& expected : row.printed) {
      EXPECT_TRUE(std::any_of(lines.cbegin(), lines.cend(),
                              [&](const QByteArray& line) { return line.startsWith(expected); }))
          << expected.toStdString() << " in:\n"
          << out.toStdString();
    }
    EXPECT_FALSE(running.wasContacted());
    EXPECT_FALSE(out.contains("--check-start")) << "the updater's switch is not the reader's";
  }
}

#ifdef BRINDLEWICK_DEVELOPMENT_EXECUTABLE
// The start check reads the configuration as the real start does, the development authority
// included, and says why a start would stop; the program runs from a folder of its own, with
// the configuration beside it, as in an unpacked release.
TEST(LaunchMode, TheStartCheckRefusesAConfigurationTheRealStartWouldStopOn) {
  const struct {
    const char* name;
    QByteArray configuration;
    int status;
    const char* said;
  } rows[] = {
      {"whole", "{\"CFBundleShortVersionString\": \"2.0.0\"}", 0, "Brindlewick 2.0.0 can start.\n"},
      {"authorityMissing",
       "{\"CFBundleShortVersionString\": \"2.0.0\", \"BrindlewickDevelopmentCA\": \"/nonexistent/ca.pem\"}",
       1, "The development certificate authority /nonexistent/ca.pem cannot be used"},
      {"serviceOverHttp", "{\"BrindlewickAPIBaseURL\": \"http://reading.example\"}", 1,
       "Build configuration requires HTTPS URLs"},
      {"updaterHalfConfigured", "{\"SUFeedURL\": \"https://feed.example/feed.json\"}", 1,
       "Configure both an HTTPS update feed"},
      {"notJson", "{\"CFBundleShortVersionString\": ", 1, "could not be read"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const QTemporaryDir folder;
    const QString program = folder.filePath(QStringLiteral("brindlewick"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(BRINDLEWICK_DEVELOPMENT_EXECUTABLE), program));
    QFile configuration(folder.filePath(QStringLiteral("brindlewick-configuration.json")));
    ASSERT_TRUE(configuration.open(QIODevice::WriteOnly));
    configuration.write(row.configuration);
    configuration.close();
    QProcess check;
    check.start(program, {QStringLiteral("--check-start")});
    ASSERT_TRUE(check.waitForFinished(30000));
    EXPECT_EQ(check.exitStatus() == QProcess::NormalExit ? check.exitCode() : -1, row.status);
    const QByteArray said = row.status == 0 ? check.readAllStandardOutput() : check.readAllStandardError();
    EXPECT_TRUE(said.contains(row.said)) << said.toStdString();
  }
}
#endif

} // namespace
