#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

TEST(DesktopEntry, PassesTheValidator) {
  const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
  if (validator.isEmpty())
    GTEST_SKIP() << "desktop-file-validate is missing (scripts/install-deps installs desktop-file-utils)";
  QProcess process;
  process.start(validator, {BRINDLEWICK_DESKTOP_ENTRY});
  ASSERT_TRUE(process.waitForFinished(30000));
  EXPECT_EQ(process.exitCode(), 0);
  EXPECT_EQ(process.readAllStandardOutput(), "") << "hints and warnings count too";
}

} // namespace
