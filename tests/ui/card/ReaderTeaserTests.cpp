#include "CardTestSupport.h"
#include "RequiredValue.h"
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
    DropSnapshot snapshot = requiredValue(
        fx.model().repository().snapshot(fx.release().release.lore[index].id), "the fixture's drop");
    if (!headline.isEmpty()) {
      snapshot.lore.headline = headline;
      snapshot.lore.question = std::nullopt;
    }
    return snapshot;
  }
  static int whitePixels(const QImage& image) {
    int count = 0;
    for (int i = 0; i < image.width() * image.height(); ++i)
      count += image.pixelColor(i % image.width(), i / image.width()) == QColor(Qt::white);
    return count;
  }

  ReaderModelFixture fx{12};
};

TEST_F(ReaderTeaserTest, LineSizePaddingAndEllipsis) {
  for (const auto& [scale, pixels, padding, index, name] : {std::tuple{1.0, 12, 6.0, 0, "psychology"},
                                                            {1.0, 12, 6.0, 1, "science"},
                                                            {1.2, 14, 7.2, 5, "history-1.2"}}) {
    ReaderTeaser teaser(drop(index), scale, {});
    teaser.resize(teaser.sizeHint());
    EXPECT_EQ(QFontInfo(teaser.lineFont({}).font()).pixelSize(), pixels);
    // Mark and line are centred in the height above the bottom padding.
    const ReaderTeaser::Geometry layout = teaser.geometry({});
    EXPECT_DOUBLE_EQ(layout.mark.center().y(), (teaser.height() - padding) / 2);
    EXPECT_DOUBLE_EQ(layout.text.center().y(), layout.mark.center().y());
    picture(teaser, QStringLiteral("teaser-") + QString::fromLatin1(name));
  }
  // A long line ends in an ellipsis; the mark keeps its size.
  ReaderTeaser teaser(
      drop(1, QStringLiteral("A very long headline that cannot possibly fit beside the notch")), 1.0, {});
  teaser.resize(teaser.sizeHint());
  const ReaderTeaser::Geometry layout = teaser.geometry({});
  EXPECT_TRUE(layout.shownLine.endsWith(QChar(0x2026)));
  EXPECT_EQ(layout.mark.size(), QSizeF(24, 24));
  EXPECT_LE(layout.text.right(), teaser.width() - ReaderTeaser::horizontalPadding + 0.5);
  picture(teaser, QStringLiteral("teaser-long"));
}

TEST_F(ReaderTeaserTest, DarkInALightApplicationAndWhiteOnlyUnderContrast) {
  UiEnvironment::instance().setOverrides({.scheme = ColorScheme::light, .reduceMotion = true});
  ReaderTeaser teaser(drop(2, QStringLiteral("Markup <b>stays</b> text")), 1.0, {});
  teaser.resize(teaser.sizeHint());
  const QImage image = picture(teaser).scaled(teaser.size());
  const ReaderTeaser::Geometry layout = teaser.geometry({});
  // Black at both ends and in the gap between the mark and the line.
  for (const QPointF at :
       {QPointF(2, 17), QPointF(teaser.width() - 3, 17),
        QPointF(layout.mark.right() + ReaderTeaser::spacing / 2, layout.mark.center().y())})
    EXPECT_EQ(image.pixelColor(at.toPoint()), QColor(Qt::black));
  EXPECT_EQ(whitePixels(picture(teaser)), 0); // the line at 94 %, the mark in its colour
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QCoreApplication::sendEvent(&teaser, &enter); // the line at full white
  EXPECT_GT(whitePixels(picture(teaser, QStringLiteral("teaser-hovered"))), 100);
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(&teaser, &leave);
  UiEnvironment::instance().setOverrides({.scheme = ColorScheme::light, .increasedContrast = true});
  EXPECT_GT(whitePixels(picture(teaser, QStringLiteral("teaser-contrast"))), 100);
  UiEnvironment::instance().setOverrides({});
}

// The panel's rim repaints thin strips of the teaser many times a second, and the teaser
// keeps its layout between paints: strips, or a new size, must paint what a fresh teaser
// painting all of itself paints.
TEST_F(ReaderTeaserTest, PaintingInStripsOrAfterAResizeGivesTheWholePicture) {
  const auto paint = [](QWidget& widget, const QList<QRect>& strips) {
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    for (const QRect& strip : strips)
      widget.render(&image, strip.topLeft(), QRegion(strip));
    return image;
  };
  ReaderTeaser teaser(drop(0), 1.0, {});
  teaser.resize(teaser.sizeHint());
  const QImage whole = paint(teaser, {teaser.rect()});
  for (const QSize strip : {QSize(teaser.width(), 3), QSize(7, teaser.height())}) {
    QList<QRect> strips;
    for (int x = 0; x < teaser.width(); x += strip.width())
      for (int y = 0; y < teaser.height(); y += strip.height())
        strips.append(QRect(QPoint(x, y), strip));
    EXPECT_TRUE(paint(teaser, strips) == whole) << strip.width() << "x" << strip.height();
  }
  teaser.resize(teaser.width() + 60, teaser.height());
  ReaderTeaser wider(drop(0), 1.0, {});
  wider.resize(teaser.size());
  EXPECT_TRUE(paint(teaser, {teaser.rect()}) == paint(wider, {wider.rect()})) << "the old size's layout";
}

TEST_F(ReaderTeaserTest, AClickLeftOfTheTextOpens) {
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

} // namespace
} // namespace brindlewick
