#include "TestOutput.h"
#include "desktop/FakeDesktop.h"
#include "panel/OutlineTrack.h"
#include "panel/PanelContentContainer.h"
#include "panel/PanelEdgeHighlight.h"

#include <QPainter>
#include <QRadialGradient>

#include <gtest/gtest.h>

#include <cmath>

using namespace brindlewick;

namespace {

const EdgeColors warm{QColor(240, 120, 60), QColor(255, 230, 200)};

// A rim on its own, laid along a panel outline of `size`.
struct Rim {
  ManualFrameClock clock;
  FakeAccessibilitySettings accessibility;
  PanelEdgeHighlight rim{&clock, &accessibility};
  QPainterPath mask;

  Rim(QSize size, double topInset, std::optional<double> notch) {
    mask = PanelSilhouette::path(size, topInset, notch, true);
    rim.update(PanelSilhouette::path(size, topInset, notch, false), QRectF(QPointF(0, 0), size), warm, true);
  }
};

// The panel as the reader sees it: black content, the rim above, everything outside the
// silhouette erased.
QImage panelWith(QSize size, qreal ratio, const QPainterPath& mask, const std::function<void(QPainter&)>& rim) {
  QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(ratio);
  image.fill(Qt::black);
  QPainter painter(&image);
  rim(painter);
  QPainterPath outside;
  outside.setFillRule(Qt::OddEvenFill);
  outside.addRect(QRectF(QPointF(0, 0), size));
  outside.addPath(mask);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
  painter.fillPath(outside, Qt::black);
  return image;
}

// The rim as a plain fill of the line's stroke: in its colour, then in the glint's radial
// sheen at the glint's opacity, clipped to the silhouette.
void paintByFilling(QPainter& painter, const PanelEdgeHighlight& rim, const QPainterPath& mask) {
  QPainterPathStroker stroker;
  stroker.setWidth(PanelEdgeHighlight::lineWidth);
  stroker.setCapStyle(Qt::FlatCap);
  stroker.setJoinStyle(Qt::MiterJoin);
  const QPainterPath stroke = stroker.createStroke(*rim.outline());
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setClipPath(mask);
  painter.fillPath(stroke, rim.lineColor());
  if (const std::optional<QPointF> centre = rim.glintPosition()) {
    const auto faded = [](QColor color, float alpha) {
      color.setAlphaF(alpha);
      return color;
    };
    QRadialGradient sheen(*centre, PanelEdgeHighlight::glintDiameter / 2);
    sheen.setColorAt(0, warm.glint);
    sheen.setColorAt(0.2, faded(warm.glint, 0.95f));
    sheen.setColorAt(0.48, faded(warm.glint, 0.7f));
    sheen.setColorAt(0.8, faded(warm.color, 0.85f));
    sheen.setColorAt(1, faded(warm.color, 0));
    painter.setOpacity(rim.glintOpacity());
    painter.fillPath(stroke, sheen);
  }
  painter.restore();
}

int largestDifference(const QImage& a, const QImage& b) {
  int largest = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y);
      const QRgb q = b.pixel(x, y);
      largest = std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                          std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
    }
  }
  return largest;
}

double distanceToSegment(QPointF point, QPointF a, QPointF b) {
  const QPointF along = b - a;
  const double squared = QPointF::dotProduct(along, along);
  const double t = squared > 0 ? std::clamp(QPointF::dotProduct(point - a, along) / squared, 0.0, 1.0) : 0;
  return QLineF(point, a + t * along).length();
}

} // namespace

// The rim is blitted from images made once; it must look as the fills it replaces did,
// wherever the glint is and however far it has faded.
TEST(PanelEdgeHighlight, PaintsWhatAFillOfTheLineWithTheGlintsSheenPaints) {
  struct Case {
    const char* name;
    QSize size;
    double topInset;
    std::optional<double> notch;
    double lap; // fraction of a lap run
    qreal ratio = 1;
  };
  const Case cases[] = {
      {"fading-in", QSize(420, 196), 0, std::nullopt, 0.04},
      {"left-corner", QSize(420, 196), 0, std::nullopt, 0.3},
      {"bottom", QSize(420, 196), 0, std::nullopt, 0.5},
      {"fading-out", QSize(420, 196), 0, std::nullopt, 0.95},
      {"teaser-shoulder", QSize(380, 40), 32, 188, 0.1},
      {"teaser-bottom", QSize(380, 40), 32, 188, 0.55},
      {"teaser-bottom-at-2x", QSize(380, 40), 32, 188, 0.55, 2},
  };
  QImage sheet(420, 2 * 196 * int(std::size(cases)), QImage::Format_ARGB32_Premultiplied);
  sheet.fill(Qt::darkGray);
  QPainter sheetPainter(&sheet);
  int row = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rim rim(c.size, c.topInset, c.notch);
    rim.clock.advance(c.lap * PanelEdgeHighlight::lapDuration);
    ASSERT_TRUE(rim.rim.glintPosition());
    const QImage blitted = panelWith(c.size, c.ratio, rim.mask, [&](QPainter& p) { rim.rim.paint(p); });
    const QImage filled =
        panelWith(c.size, c.ratio, rim.mask, [&](QPainter& p) { paintByFilling(p, rim.rim, rim.mask); });
    EXPECT_LE(largestDifference(blitted, filled), 4) << "more than rounding apart";
    // And the glint is really there: a bright stretch of line under its centre.
    const QPoint centre = (*rim.rim.glintPosition() * c.ratio).toPoint();
    const QRect near = QRect(centre - QPoint(4, 4), QSize(9, 9)).intersected(blitted.rect());
    int brightest = 0;
    for (int y = near.top(); y <= near.bottom(); ++y)
      for (int x = near.left(); x <= near.right(); ++x)
        brightest = std::max(brightest, qGreen(blitted.pixel(x, y)));
    EXPECT_GT(brightest, rim.rim.glintOpacity() > 0.9 ? 180 : 40);
    sheetPainter.drawImage(QRect(0, row, c.size.width(), c.size.height()), blitted);
    sheetPainter.drawImage(QRect(0, row + c.size.height() + 2, c.size.width(), c.size.height()), filled);
    row += 2 * c.size.height() + 8;
  }
  sheetPainter.end();
  EXPECT_TRUE(sheet.copy(0, 0, 420, row).save(
      brindlewick::testing::testOutputPath(QStringLiteral("rim-blitted-over-filled.png"))));
}

TEST(PanelEdgeHighlight, GlintStepsAFewPointsAFrameAndReleasesTheClockWhenItStops) {
  for (const QSize size : {QSize(380, 40), QSize(420, 196), QSize(900, 400)}) {
    SCOPED_TRACE(size.width());
    Rim rim(size, 0, std::nullopt);
    ASSERT_TRUE(rim.rim.isAnimating());
    const double rate = rim.rim.glintFrameRate();
    EXPECT_EQ(rim.clock.requestedRate(), rate);
    EXPECT_GE(rate, PanelEdgeHighlight::minimumGlintFrameRate);
    // Mid-lap, where it neither fades nor starts over, one frame moves it at most a step.
    rim.clock.advance(2);
    const QPointF before = *rim.rim.glintPosition();
    rim.clock.advance(1 / rate);
    EXPECT_LE(QLineF(before, *rim.rim.glintPosition()).length(), PanelEdgeHighlight::glintStep + 0.01);

    // A strip of consecutive frames, to judge by eye how smoothly it moves.
    if (size.height() == 40) {
      QImage strip(size.width(), 12 * (size.height() + 4), QImage::Format_ARGB32_Premultiplied);
      strip.fill(Qt::darkGray);
      QPainter painter(&strip);
      for (int frame = 0; frame < 12; ++frame) {
        rim.clock.advance(1 / rate);
        painter.drawImage(0, frame * (size.height() + 4),
                          panelWith(size, 1, rim.mask, [&](QPainter& p) { rim.rim.paint(p); }));
      }
      painter.end();
      EXPECT_TRUE(strip.save(brindlewick::testing::testOutputPath(QStringLiteral("glint-frames.png"))));
    }

    // Someone else's request for every refresh wins while it lasts.
    rim.clock.requestFrames();
    EXPECT_EQ(rim.clock.requestedRate(), FrameClock::everyRefresh);
    rim.clock.releaseFrames();
    EXPECT_EQ(rim.clock.requestedRate(), rate);
  }

  const std::function<void(Rim&)> stops[] = {
      [](Rim& r) { r.rim.stop(); },
      [](Rim& r) { r.rim.update(*r.rim.outline(), r.rim.bounds(), warm, false); },
      [](Rim& r) {
        r.accessibility.setReduceMotion(true);
        r.rim.update(*r.rim.outline(), r.rim.bounds(), warm, true);
      },
  };
  for (const auto& stop : stops) {
    Rim rim(QSize(380, 40), 32, 188);
    stop(rim);
    EXPECT_FALSE(rim.clock.isRunning());
    EXPECT_EQ(rim.clock.requestedRate(), 0);
    EXPECT_EQ(rim.rim.glintFrameRate(), 0);
  }
}

// Points by length: on the path, evenly spaced for even steps (QPainterPath's own search
// along a curve is only approximate, so curves are checked against their definition).
TEST(OutlineTrack, FindsPointsOnThePathAtEvenDistances) {
  QPainterPath zigzag;
  zigzag.moveTo(0, 0);
  zigzag.lineTo(100, 0);
  zigzag.lineTo(100, 50);
  zigzag.lineTo(40, 50);
  const OutlineTrack straight(zigzag);
  EXPECT_DOUBLE_EQ(straight.length(), 210);
  for (const auto& [fraction, point] : {std::pair{0.0, QPointF(0, 0)},
                                        {0.25, QPointF(52.5, 0)},
                                        {0.5, QPointF(100, 5)},
                                        {1.0, QPointF(40, 50)},
                                        {-1.0, QPointF(0, 0)},
                                        {2.0, QPointF(40, 50)}})
    EXPECT_LT(QLineF(straight.pointAtFraction(fraction), point).length(), 1e-9) << fraction;

  QPainterPath curve;
  curve.moveTo(10, 10);
  curve.cubicTo(200, 0, -50, 120, 300, 90);
  const QPainterPath curved[] = {curve, PanelSilhouette::path(QSizeF(420, 196), 0, std::nullopt, false),
                                 PanelSilhouette::path(QSizeF(380, 40), 32, 188, false)};
  for (const QPainterPath& path : curved) {
    const OutlineTrack track(path);
    EXPECT_NEAR(track.length(), path.length(), path.length() * 5e-4);
    const QPolygonF dense = path.toFillPolygon(QTransform::fromScale(64, 64)); // flattened finely
    constexpr int steps = 400;
    for (int step = 0; step <= steps; ++step) {
      const QPointF point = track.pointAtFraction(double(step) / steps);
      double nearest = 1e9;
      for (qsizetype i = 1; i < dense.size(); ++i)
        nearest = std::min(nearest, distanceToSegment(point, dense[i - 1] / 64, dense[i] / 64));
      EXPECT_LT(nearest, 0.05) << "off the path at step " << step;
      if (step > 0) {
        const double chord = QLineF(track.pointAtFraction(double(step - 1) / steps), point).length();
        EXPECT_NEAR(chord, track.length() / steps, track.length() / steps * 0.02) << "uneven at step " << step;
      }
    }
  }
  const OutlineTrack empty{QPainterPath()};
  EXPECT_EQ(empty.length(), 0);
  EXPECT_EQ(empty.pointAtFraction(0.5), QPointF());
}
