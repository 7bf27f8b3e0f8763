#include "ui/design/DropGlass.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

using Tone = DropGlass::Tone;

constexpr Tone kTones[] = {Tone::clear, Tone::ink, Tone::paper, Tone::onDark};
constexpr ColorScheme kSchemes[] = {ColorScheme::light, ColorScheme::dark};

const QRectF kButton(20, 16, 96, 40);

QImage render(const DropGlass::Style& style, qreal lift, qreal ratio, bool cached = true) {
  QImage image(QSize(136, 80) * ratio, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(ratio);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  if (cached)
    DropGlass::paint(painter, DropGlass::capsule(kButton), style, lift);
  else
    DropGlass::paintUncached(painter, DropGlass::capsule(kButton), style, lift);
  return image;
}

// Lifting moves only the shadow, which lies outside the shape: inside it resting, lifted
// and every step of the cross-fade between them are the same pixels.
TEST(DropGlass, LiftingChangesOnlyWhatLiesOutsideTheShape) {
  const QPainterPath inner = DropGlass::capsule(kButton.adjusted(1, 1, -1, -1));
  for (const Tone tone : kTones) {
    for (const ColorScheme scheme : kSchemes) {
      const DropGlass::Style style{tone, std::nullopt, scheme, false};
      const QImage resting = render(style, 0, 2);
      const QImage lifted = render(style, 1, 2);
      const QImage halfway = render(style, 0.5, 2);
      int insideDiffering = 0;
      int outsideDiffering = 0;
      for (int y = 0; y < resting.height(); ++y) {
        for (int x = 0; x < resting.width(); ++x) {
          const bool inside = inner.contains(QPointF(x + 0.5, y + 0.5) / 2);
          const bool liftDiffers = resting.pixel(x, y) != lifted.pixel(x, y);
          if (inside)
            insideDiffering += liftDiffers || resting.pixel(x, y) != halfway.pixel(x, y);
          else if (!kButton.adjusted(-0.5, -0.5, 0.5, 0.5).contains(QPointF(x + 0.5, y + 0.5) / 2))
            outsideDiffering += liftDiffers;
        }
      }
      EXPECT_EQ(insideDiffering, 0) << int(tone) << int(scheme);
      EXPECT_GT(outsideDiffering, 100) << int(tone) << int(scheme);
    }
  }
}

TEST(DropGlass, CachedSurfacesNeverCrossASchemeOrPixelRatioAndMatchFreshOnes) {
  DropGlass::clearCaches();
  const DropGlass::Style light{Tone::clear, std::nullopt, ColorScheme::light, false};
  const DropGlass::Style dark{Tone::clear, std::nullopt, ColorScheme::dark, false};
  const QImage lightAtOne = render(light, 0, 1);
  EXPECT_EQ(DropGlass::cachedSurfaceCount(), 1);
  const QImage darkAtOne = render(dark, 0, 1);
  const QImage lightAtTwo = render(light, 0, 2);
  EXPECT_EQ(DropGlass::cachedSurfaceCount(), 3);
  EXPECT_NE(lightAtOne, darkAtOne);
  EXPECT_EQ(render(light, 0, 1), lightAtOne); // from the cache
  EXPECT_EQ(DropGlass::cachedSurfaceCount(), 3);

  EXPECT_EQ(lightAtOne, render(light, 0, 1, false));
  EXPECT_EQ(lightAtTwo, render(light, 0, 2, false));
  const DropGlass::Style tinted{Tone::ink, QColor(90, 160, 255), ColorScheme::dark, true};
  EXPECT_EQ(render(tinted, 0.25, 2), render(tinted, 0.25, 2, false));
  EXPECT_NE(render(tinted, 0, 2), render({Tone::ink, std::nullopt, ColorScheme::dark, true}, 0, 2));
}

} // namespace
} // namespace brindlewick
