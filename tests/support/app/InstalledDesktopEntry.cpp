#include "app/InstalledDesktopEntry.h"

#include "ProgramRun.h"
#include "ui/design/ApplicationIcon.h"

#include <QFile>
#include <QImage>
#include <QList>
#include <QSize>
#include <QStandardPaths>
#include <QSvgRenderer>

#include <gtest/gtest.h>

namespace brindlewick::testing {

QString desktopFileValidator() {
  return QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
}

void expectValidDesktopEntry(const QString& validator, const QString& path) {
  const ProgramRun validated = runProgram(validator, {path});
  EXPECT_EQ(validated.status, 0) << path.toStdString() << ": " << validated.output.toStdString();
  EXPECT_EQ(validated.output, "") << "hints and warnings count too";
}

QString desktopEntryValue(const QString& path, const QByteArray& key) {
  QFile entry(path);
  if (!entry.open(QIODevice::ReadOnly | QIODevice::Text))
    return {};
  for (const QByteArray& line : entry.readAll().split('\n')) {
    if (line.startsWith("[Desktop Action"))
      break;
    if (line.startsWith(key + '='))
      return QString::fromUtf8(line.mid(key.size() + 1));
  }
  return {};
}

void expectInstalledEntryWithItsIcon(const QString& prefix) {
  const QString entry = prefix + QStringLiteral("/share/applications/app.brindlewick.desktop");
  ASSERT_TRUE(QFile::exists(entry)) << entry.toStdString();
  if (const QString validator = desktopFileValidator(); !validator.isEmpty())
    expectValidDesktopEntry(validator, entry);
  const QString icon = desktopEntryValue(entry, "Icon");
  ASSERT_EQ(icon, QStringLiteral("app.brindlewick"));
  const QString theme = prefix + QStringLiteral("/share/icons/hicolor/");
  EXPECT_TRUE(QSvgRenderer(theme + QStringLiteral("scalable/apps/%1.svg").arg(icon)).isValid());
  QList<int> sides;
  for (const int side : ApplicationIcon::sizes) {
    const QImage image(theme + QStringLiteral("%1x%1/apps/%2.png").arg(side).arg(icon));
    EXPECT_EQ(image.size(), QSize(side, side)) << side;
    EXPECT_TRUE(image.hasAlphaChannel()) << side;
    if (!image.isNull())
      sides.append(side);
  }
  for (const int usual : {48, 128, 256})
    EXPECT_TRUE(sides.contains(usual)) << usual;
}

} // namespace brindlewick::testing
