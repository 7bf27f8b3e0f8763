#include "CardTestSupport.h"
#include "TestOutput.h"
#include "ui/card/ReaderTeaser.h"

#include <QFontInfo>
#include <QTest>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

using namespace cardtest;

class ReaderTeaserTest : public ::testing::Test {
protected:
  void SetUp() override {
    DropFonts::registerFonts();
    fx.open();
  }
  DropSnapshot drop(int index, const QString& headline = {}) {
    DropSnapshot snapshot = *fx.model().repository().snapshot(fx.release().release.lore[index].id);
    if (!headline.isEmpty()) {
      snapshot.lore.headline = headline;
      snapshot.lore.question = std::nullopt;
    }
    return snapshot;
  }
  // Pixels that are pure white.
  static int whitePixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        count += image.pixelColor(x, y) == QColor(Qt::white);
    return count;
  }
  static void render(ReaderTeaser& teaser, const QString& name) {
    teaser.resize(teaser.sizeHint());
    EXPECT_TRUE(picture(teaser).save(testing::testOutputPath(QStringLiteral("teaser-%1.png").arg(name))));
  }

  ReaderModelFixture fx{12};
};

TEST_F(ReaderTeaserTest, LineSizeAndBottomPaddingFollowTheTextScale) {
  for (const auto& [scale, pixels, padding] : {std::tuple{1.0, 12, 6.0}, {1.2, 14, 7.2}}) {
    ReaderTeaser teaser(drop(0), scale, {});
    teaser.resize(teaser.sizeHint());
    EXPECT_EQ(QFontInfo(teaser.lineFont({}).font()).pixelSize(), pixels);
    EXPECT_DOUBLE_EQ(teaser.bottomPadding(), padding);
    // Mark and line are centred in the height above the padding.
    const ReaderTeaser::Geometry layout = teaser.geometry({});
    EXPECT_DOUBLE_EQ(layout.mark.center().y(), (teaser.height() - padding) / 2);
    EXPECT_DOUBLE_EQ(layout.text.center().y(), layout.mark.center().y());
  }
}

TEST_F(ReaderTeaserTest, ALongLineEndsInAnEllipsisAndTheMarkKeepsItsSize) {
  ReaderTeaser teaser(
      drop(1, QStringLiteral("A very long headline that cannot possibly fit beside the notch at all")), 1.0,
      {});
  teaser.resize(teaser.sizeHint());
  const ReaderTeaser::Geometry layout = teaser.geometry({});
  EXPECT_TRUE(layout.shownLine.endsWith(QChar(0x2026)));
  EXPECT_EQ(layout.mark.size(), QSizeF(24, 24));
  EXPECT_LE(layout.text.right(), teaser.width() - ReaderTeaser::horizontalPadding + 0.5);
  EXPECT_EQ(teaser.objectName(), QStringLiteral("reader.teaser"));
  EXPECT_EQ(teaser.accessibleName(), QStringLiteral("Open Drop: ") + teaser.line());
  EXPECT_EQ(shownTooltip(teaser), QStringLiteral("Open Drop: ") + teaser.line());
  render(teaser, QStringLiteral("long"));
}

TEST_F(ReaderTeaserTest, DarkInALightApplicationAndWhiteOnlyUnderContrast) {
  UiEnvironment::instance().setOverrides({.scheme = ColorScheme::light});
  ReaderTeaser teaser(drop(2, QStringLiteral("Markup <b>stays</b> text")), 1.0, {});
  teaser.resize(teaser.sizeHint());
  QImage image = picture(teaser).scaled(teaser.size());
  const ReaderTeaser::Geometry layout = teaser.geometry({});
  // Black at both ends and in the gap between the mark and the line.
  for (const QPointF at :
       {QPointF(2, 17), QPointF(teaser.width() - 3, 17),
        QPointF(layout.mark.right() + ReaderTeaser::spacing / 2, layout.mark.center().y())})
    EXPECT_EQ(image.pixelColor(at.toPoint()), QColor(Qt::black));
  EXPECT_EQ(whitePixels(picture(teaser)), 0); // the line at 94 %, the mark in its colour
  UiEnvironment::instance().setOverrides({.scheme = ColorScheme::light, .increasedContrast = true});
  EXPECT_GT(whitePixels(picture(teaser)), 100);
  render(teaser, QStringLiteral("contrast"));
  UiEnvironment::instance().setOverrides({});
}

TEST_F(ReaderTeaserTest, AClickAnywhereOpensEvenLeftOfTheText) {
  int opened = 0;
  QWidget window;
  auto* teaser = new ReaderTeaser(
      drop(3), 1.0, [&] { ++opened; }, &window);
  teaser->resize(teaser->sizeHint());
  window.show();
  QTest::mouseClick(teaser, Qt::LeftButton, {}, QPoint(4, 4));
  EXPECT_EQ(opened, 1);
  EXPECT_FALSE(teaser->hasFocus());
}

TEST_F(ReaderTeaserTest, Renders) {
  UiEnvironment::instance().setOverrides({.reduceMotion = true});
  for (const auto& [index, name] : {std::pair{0, "psychology"}, {1, "science"}, {5, "history"}}) {
    ReaderTeaser teaser(drop(index), 1.0, {});
    render(teaser, QString::fromLatin1(name));
  }
  ReaderTeaser hovered(drop(4), 1.0, {});
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QCoreApplication::sendEvent(&hovered, &enter);
  render(hovered, QStringLiteral("hovered"));
  ReaderTeaser large(drop(6), 1.2, {});
  render(large, QStringLiteral("scale-1.2"));
  UiEnvironment::instance().setOverrides({});
}

} // namespace
} // namespace brindlewick
