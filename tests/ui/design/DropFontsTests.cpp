#include "MessageCapture.h"
#include "ui/design/DropFonts.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

struct FaceCase {
  QFont::Weight requested;
  const char* style;
};

TEST(DropFonts, EachWeightSelectsItsFaceOfTheRegisteredTypefaces) {
  ASSERT_TRUE(DropFonts::registerFonts());
  const FaceCase display[] = {
      {QFont::Normal, "Regular"}, {QFont::Medium, "Medium"},  {QFont::DemiBold, "SemiBold"},
      {QFont::Light, "SemiBold"}, {QFont::Thin, "SemiBold"},  {QFont::ExtraLight, "SemiBold"},
      {QFont::Bold, "Bold"},      {QFont::ExtraBold, "Bold"}, {QFont::Black, "Bold"},
  };
  for (const FaceCase& c : display) {
    const DropFont font = DropFonts::display(20, c.requested);
    EXPECT_EQ(font.family, QStringLiteral("EB Garamond")) << c.requested;
    EXPECT_DOUBLE_EQ(font.size, 22.4) << c.requested;
    const QFontInfo info(font.font());
    EXPECT_EQ(info.family(), QStringLiteral("EB Garamond")) << c.requested;
    EXPECT_EQ(info.styleName(), QLatin1String(c.style)) << c.requested;
    EXPECT_EQ(info.pixelSize(), 22) << c.requested;
  }
  const FaceCase rounded[] = {{QFont::Thin, "Light"},        {QFont::Light, "Light"},
                              {QFont::Normal, "Regular"},    {QFont::Medium, "Medium"},
                              {QFont::DemiBold, "SemiBold"}, {QFont::Bold, "Bold"},
                              {QFont::Black, "Bold"}};
  for (const FaceCase& c : rounded) {
    const QFontInfo info(DropFonts::rounded(13, c.requested).font());
    EXPECT_EQ(info.family(), QStringLiteral("Nunito")) << c.requested;
    EXPECT_EQ(info.styleName(), QLatin1String(c.style)) << c.requested;
  }
  // Qt lays text out at whole pixels: 11.2 is asked for and 11 is drawn.
  EXPECT_DOUBLE_EQ(DropFonts::display(10, QFont::Normal).size, 11.2);
  EXPECT_EQ(DropFonts::display(10, QFont::Normal).font().pixelSize(), 11);
}

TEST(DropFonts, AMissingDisplayFaceIsLoggedOnceAndTheRoundedFaceStandsIn) {
  QFontDatabase::removeAllApplicationFonts();
  QTemporaryDir folder;
  ASSERT_TRUE(QDir(folder.path()).mkpath(QStringLiteral("nunito")));
  for (const QString& face : QDir(QStringLiteral(":/fonts/nunito")).entryList(QDir::Files)) {
    ASSERT_TRUE(QFile::copy(QStringLiteral(":/fonts/nunito/") + face,
                            folder.filePath(QStringLiteral("nunito/") + face)));
  }
  {
    const testing::MessageCapture log("app.brindlewick.Fonts");
    EXPECT_FALSE(DropFonts::registerFonts(folder.path()));
    ASSERT_EQ(log.records().size(), 1);
    EXPECT_EQ(log.records().front().type, QtCriticalMsg);
    EXPECT_EQ(log.records().front().message,
              QStringLiteral("Garamond could not be registered: missing resource"));
  }
  const DropFont font = DropFonts::display(20, QFont::Medium);
  EXPECT_EQ(font.family, QStringLiteral("Nunito"));
  EXPECT_DOUBLE_EQ(font.size, 22.4);
  EXPECT_EQ(QFontInfo(font.font()).family(), QStringLiteral("Nunito"));

  // Registered again, the display face is back.
  ASSERT_TRUE(DropFonts::registerFonts());
  EXPECT_EQ(DropFonts::display(20, QFont::Medium).family, QStringLiteral("EB Garamond"));
}

// The code's family is the one the desktop's "monospace" really is, named, so that it is
// measured and drawn in one family; a family set in its place wins until it is cleared.
TEST(DropFonts, TheMonospacedFamilyIsTheDesktopsResolvedOneUnlessAnotherIsSet) {
  const QString desktop = DropFonts::monospacedFamily();
  EXPECT_NE(desktop.toLower(), QStringLiteral("monospace"));
  EXPECT_TRUE(QFontDatabase::hasFamily(desktop)) << qPrintable(desktop);
  EXPECT_EQ(QFontInfo(DropFonts::monospaced(24).font()).family(), desktop);

  const QString other = desktop == QStringLiteral("DejaVu Sans Mono") ? QStringLiteral("Liberation Mono")
                                                                      : QStringLiteral("DejaVu Sans Mono");
  DropFonts::setMonospacedFamily(other);
  const DropFont set = DropFonts::monospaced(28, QFont::DemiBold);
  EXPECT_EQ(set, (DropFont{other, QFont::DemiBold, 28}));
  EXPECT_EQ(set.font().pixelSize(), 28);
  DropFonts::setMonospacedFamily({});
  EXPECT_EQ(DropFonts::monospacedFamily(), desktop);
}

} // namespace
} // namespace brindlewick
