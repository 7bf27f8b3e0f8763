#include "RequiredValue.h"
#include "TestOutput.h"
#include "desktop/FakeDesktop.h"
#include "panel/OutlineTrack.h"
#include "panel/PanelContentContainer.h"

#include <QPainter>
#include <QRadialGradient>

#include <gtest/gtest.h>

using namespace brindlewick;

namespace {

const EdgeColors warm{QColor(240, 120, 60), QColor(255, 230, 200)};

// A rim on its own along a panel outline, painted over black and cut to the silhouette.
struct Rim {
  ManualFrameClock clock;
  FakeAccessibilitySettings accessibility;
  PanelEdgeHighlight rim{&clock, &accessibility};
  QSize size;
  QPainterPath mask;

  Rim(QSize size, double topInset, std::optional<double> notch)
      : size(size), mask(PanelSilhouette::path(size, topInset, notch, true)) {
    rim.update(PanelSilhouette::path(size, topInset, notch, false), QRectF(QPointF(0, 0), size), warm, true);
  }
  QImage render(qreal ratio, const std::function<void(QPainter&)>& paint) const {
    QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.save();
    paint(painter);
    painter.restore();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    painter.fillPath(mask, Qt::black);
    return image;
  }
};

// The rim as a plain fill of the line's stroke, in its colour and then in the glint's sheen.
void paintByFilling(QPainter& painter, const Rim& r) {
  QPainterPathStroker stroker;
  stroker.setWidth(PanelEdgeHighlight::lineWidth);
  stroker.setCapStyle(Qt::FlatCap);
  const QPainterPath stroke = stroker.createStroke(*r.rim.outline());
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setClipPath(r.mask);
  painter.fillPath(stroke, r.rim.lineColor());
  QRadialGradient sheen(*r.rim.glintPosition(), PanelEdgeHighlight::glintDiameter / 2);
  const QColor glint = warm.glint;
  sheen.setStops({{0, glint},
                  {0.2, QColor(glint.red(), glint.green(), glint.blue(), 242)},
                  {0.48, QColor(glint.red(), glint.green(), glint.blue(), 178)},
                  {0.8, QColor(240, 120, 60, 217)},
                  {1, QColor(240, 120, 60, 0)}});
  painter.setOpacity(r.rim.glintOpacity());
  painter.fillPath(stroke, sheen);
}

} // namespace

// The rim is blitted from images made once; it must look as the fills it replaces did.
TEST(PanelEdgeHighlight, PaintsWhatAFillOfTheLineWithTheGlintsSheenPaints) {
  const struct {
    const char* name;
    QSize size;
    double topInset;
    std::optional<double> notch;
    double lap; // fraction of a lap run
    qreal ratio;
  } cases[] = {
      {"fading-in", QSize(420, 196), 0, std::nullopt, 0.04, 1},
      {"corner", QSize(420, 196), 0, std::nullopt, 0.3, 1},
      {"fading-out", QSize(420, 196), 0, std::nullopt, 0.95, 1},
      {"teaser-shoulder", QSize(380, 40), 32, 188, 0.1, 1},
      {"teaser-at-2x", QSize(380, 40), 32, 188, 0.55, 2},
  };
  for (const auto& c : cases) {
    Rim r(c.size, c.topInset, c.notch);
    r.clock.advance(c.lap * PanelEdgeHighlight::lapDuration);
    const QImage blitted = r.render(c.ratio, [&](QPainter& p) { r.rim.paint(p); });
    const QImage filled = r.render(c.ratio, [&](QPainter& p) { paintByFilling(p, r); });
    int largest = 0;
    for (int i = 0; i < blitted.width() * blitted.height(); ++i) {
      const QRgb a = blitted.pixel(i % blitted.width(), i / blitted.width());
      const QRgb b = filled.pixel(i % blitted.width(), i / blitted.width());
      for (const int shift : {0, 8, 16, 24})
        largest = std::max(largest, std::abs(int((a >> shift) & 0xff) - int((b >> shift) & 0xff)));
    }
    EXPECT_LE(largest, 4) << c.name << ": more than rounding apart";
    EXPECT_TRUE(blitted.save(
        brindlewick::testing::testOutputPath(QStringLiteral("rim-%1.png").arg(QLatin1String(c.name)))));
  }
}

TEST(PanelEdgeHighlight, GlintStepsAFewPointsAFrameAndGivesTheClockBackWhenItStops) {
  for (const QSize size : {QSize(380, 40), QSize(900, 400)}) {
    Rim r(size, 0, std::nullopt);
    const double rate = r.rim.glintFrameRate();
    EXPECT_EQ(r.clock.requestedRate(), rate);
    EXPECT_GE(rate, PanelEdgeHighlight::minimumGlintFrameRate);
    r.clock.advance(2); // mid-lap: neither fading nor starting over
    const QPointF before = requiredValue(r.rim.glintPosition(), "glintPosition");
    r.clock.advance(1 / rate);
    EXPECT_LE(QLineF(before, *r.rim.glintPosition()).length(), PanelEdgeHighlight::glintStep + 0.01);
  }
  // Stopped, it gives the clock back.
  Rim r(QSize(380, 40), 32, 188);
  r.rim.stop();
  EXPECT_FALSE(r.clock.isRunning());
  EXPECT_EQ(r.rim.glintFrameRate(), 0);
}

// The glint's constant speed: points at even fractions lie at even distances, corners and
// shoulders included (QPainterPath's own search along a curve is only approximate).
TEST(OutlineTrack, FindsPointsAtEvenDistancesAlongThePath) {
  for (const QPainterPath& path : {PanelSilhouette::path(QSizeF(420, 196), 0, std::nullopt, false),
                                   PanelSilhouette::path(QSizeF(380, 40), 32, 188, false)}) {
    const OutlineTrack track(path);
    EXPECT_NEAR(track.length(), path.length(), path.length() * 5e-4);
    EXPECT_EQ(track.pointAtFraction(-1), path.pointAtPercent(0));
    EXPECT_LT(QLineF(track.pointAtFraction(2), path.pointAtPercent(1)).length(), 1e-9);
    const double step = track.length() / 400;
    for (int i = 1; i <= 400; ++i)
      EXPECT_NEAR(QLineF(track.pointAtFraction((i - 1) / 400.0), track.pointAtFraction(i / 400.0)).length(),
                  step, step * 0.02)
          << "uneven at step " << i;
  }
}
