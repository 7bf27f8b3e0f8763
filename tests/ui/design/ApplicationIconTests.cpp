// The application's icon: the mark of the interface on the hero's blue, in every size the icon
// theme and the windows take.
#include "TestOutput.h"
#include "ui/design/ApplicationIcon.h"
#include "ui/design/DropDesign.h"
#include "ui/design/DropMark.h"

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

// The icon as the interface draws it: the rounded square of the first-run screen's icon (a
// corner of 16 and the mark 14 in, of 72) filling all but a thirty-second at each edge.
QImage drawnWithTheMark(int side) {
  QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal margin = side / 32.0;
  const QRectF box(margin, margin, side - 2 * margin, side - 2 * margin);
  const qreal unit = box.width() / 72;
  painter.fillPath(DropDesign::roundedRect(box, 16 * unit), DropDesign::heroGradient(box));
  DropMark::paint(painter, box.adjusted(14 * unit, 14 * unit, -14 * unit, -14 * unit), DropDesign::paper());
  return image;
}

// The pixel of a side × side icon at a point of the mark's design box.
QPoint markPixel(int side, QPointF design) {
  const qreal margin = side / 32.0;
  const qreal unit = (side - 2 * margin) / 72;
  const qreal markSide = 44 * unit;
  return (QPointF(margin + 14 * unit, margin + 14 * unit) + design * markSide / DropMark::designSize).toPoint();
}

// Pixels of `area` whose colour or coverage differs by more than a rounding of an edge.
int differingPixels(const QImage& a, const QImage& b, const QRect& area) {
  int differing = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) {
      const QRgb p = a.pixel(x, y);
      const QRgb q = b.pixel(x, y);
      const int most = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                 std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
      differing += most > 40 ? 1 : 0;
    }
  return differing;
}

TEST(ApplicationIcon, TheSvgIsTheMarkOnTheHeroBlue) {
  ASSERT_TRUE(QSvgRenderer(ApplicationIcon::svg()).isValid());
  const QImage rendered = ApplicationIcon::render(256);
  const QImage drawn = drawnWithTheMark(256);
  ASSERT_EQ(rendered.size(), QSize(256, 256));
  // The rounded square's corners are rounded by the SVG renderer's own rule, a pixel's edge
  // apart: the square is compared inside its corners, where the mark lies.
  const QRect inside(48, 48, 160, 160);
  const int differing = differingPixels(rendered, drawn, inside);
  EXPECT_LE(differing, 8) << "the SVG has drifted from the mark";
  rendered.save(testing::testOutputPath(QStringLiteral("application-icon-256.png")));
}

TEST(ApplicationIcon, EverySizeIsTheIconOnATransparentGround) {
  const QIcon icon = ApplicationIcon::icon();
  // Every size side by side, each at four times its pixels, to look at.
  int sheetWidth = 0;
  for (const int side : ApplicationIcon::sizes)
    sheetWidth += 4 * side + 8;
  QImage sheet(sheetWidth, 4 * 256, QImage::Format_ARGB32_Premultiplied);
  sheet.fill(QColor(0xe0, 0xe0, 0xe0));
  QPainter painter(&sheet);
  int left = 0;
  for (const int side : ApplicationIcon::sizes) {
    SCOPED_TRACE(side);
    const QImage image = icon.pixmap(QSize(side, side)).toImage();
    ASSERT_EQ(image.size(), QSize(side, side));
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << "a corner outside the rounded square";
    // The middle of the drop shows the blue through the book (from 24 pixels, where the drop is
    // more than an edge); left of it, the book's page.
    const QColor drop = image.pixelColor(markPixel(side, {32, 37}));
    EXPECT_EQ(drop.alpha(), 255);
    if (side >= 24) {
      EXPECT_GT(drop.blue(), 2 * drop.red()) << "the drop is open";
    }
    const QColor page = image.pixelColor(markPixel(side, {16, 30}));
    EXPECT_GT(page.red(), 200) << "the book is paper";
    painter.drawImage(QRect(left, 0, 4 * side, 4 * side), image);
    left += 4 * side + 8;
  }
  painter.end();
  sheet.save(testing::testOutputPath(QStringLiteral("application-icon-sizes.png")));
  EXPECT_TRUE(ApplicationIcon::render(0).isNull());
}

} // namespace
} // namespace brindlewick
