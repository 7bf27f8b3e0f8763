#include "ui/design/ApplicationIcon.h"

#include <QFile>
#include <QFileInfo>
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

// Menus, docks and installers show the icon the entry names: the application's own, under the
// entry's id, which is also the name the running windows give the desktop.
TEST(DesktopEntry, NamesTheApplicationIconByItsId) {
  QFile entry(QStringLiteral(BRINDLEWICK_DESKTOP_ENTRY));
  ASSERT_TRUE(entry.open(QIODevice::ReadOnly | QIODevice::Text));
  QStringList icons;
  for (const QByteArray& line : entry.readAll().split('\n')) {
    if (line.startsWith("[Desktop Action"))
      break; // the actions show the entry's icon
    if (line.startsWith("Icon="))
      icons.append(QString::fromUtf8(line.mid(5)));
  }
  EXPECT_EQ(icons, QStringList{brindlewick::ApplicationIcon::themeName});
  EXPECT_EQ(QFileInfo(entry.fileName()).completeBaseName(), brindlewick::ApplicationIcon::themeName);
}

} // namespace
