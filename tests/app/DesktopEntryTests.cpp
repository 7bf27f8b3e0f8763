#include "ui/design/ApplicationIcon.h"

#include "app/InstalledDesktopEntry.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

TEST(DesktopEntry, PassesTheValidator) {
  const QString validator = brindlewick::testing::desktopFileValidator();
  if (validator.isEmpty())
    GTEST_SKIP() << "desktop-file-validate is missing (scripts/install-deps installs desktop-file-utils)";
  brindlewick::testing::expectValidDesktopEntry(validator, QStringLiteral(BRINDLEWICK_DESKTOP_ENTRY));
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
