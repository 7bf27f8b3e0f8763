#include "app/LaunchMode.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace brindlewick;

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

} // namespace
