#include "TestOutput.h"
#include "desktop/FakeDesktop.h"
#include "panel/DropPanel.h"
#include "panel/FixturePanel.h"
#include "panel/PanelContentContainer.h"

#include <QGraphicsOpacityEffect>
#include <QImage>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

using namespace brindlewick;

namespace {

using Kind = SilhouetteSegment::Kind;

// The arcs' radii in order, negative for an arc that turns clockwise (a concave shoulder).
QList<double> arcs(const QList<SilhouetteSegment>& segments) {
  QList<double> radii;
  for (const SilhouetteSegment& segment : segments) {
    if (segment.kind == Kind::arc)
      radii.append(segment.clockwise ? -segment.radius : segment.radius);
  }
  return radii;
}

// A shown panel hosting one container, laid out as the panel controller does.
struct Panel {
  ManualFrameClock clock;
  FakeAccessibilitySettings accessibility;
  DropPanel window;
  PanelContentContainer* container = new PanelContentContainer(&clock, &accessibility);

  Panel(QSize size, double topInset, std::optional<double> notchWidth, QSizeF contentSize) {
    window.setContentView(container);
    window.setGeometry(QRect(QPoint(200, 0), size));
    container->setContentSize(contentSize);
    container->setTopInset(topInset);
    container->setNotchWidth(notchWidth);
  }
  void show() {
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    container->setEdgeVisible(true);
  }
  QImage render() { return window.grab().toImage().convertToFormat(QImage::Format_ARGB32); }
};

const EdgeColors warm{QColor(240, 120, 60), QColor(255, 230, 200)};

} // namespace

TEST(PanelSilhouette, DrawsTheRoundedCardOrMeetsTheNotchInTwoConcaveShouldersSizedToThePanel) {
  struct Case {
    Rect bounds;
    double topInset;
    std::optional<double> notch;
    QList<double> arcs;
    QList<QPointF> rim; // the open outline's points, where given
  };
  const Case cases[] = {
      {Rect{0, 0, 420, 196},
       0,
       std::nullopt,
       {34, 34, 34, 34},
       {{34, 196}, {0, 162}, {0, 34}, {34, 0}, {386, 0}, {420, 34}, {420, 162}, {386, 196}}},
      {Rect{0, 0, 420, 228},
       32,
       188,
       {-12, 34, 34, -12},
       {{0, 228}, {12, 216}, {12, 34}, {46, 0}, {374, 0}, {408, 34}, {408, 216}, {420, 228}}},
      {Rect{0, 0, 420, 30}, 20, 188, {-10, 10, 10, -10}, {}},
      {Rect{0, 0, 420, 40}, 32, 188, {-12, 12, 12, -12}, {}},
      {Rect{0, 0, 60, 40}, 0, std::nullopt, {20, 20, 20, 20}, {}},
      {Rect{0, 0, 50, 300}, 0, std::nullopt, {25, 25, 25, 25}, {}},
      // The plain shape although a notch width is given:
      {Rect{0, 0, 420, 228}, 32, 416, {34, 34, 34, 34}, {}},
      {Rect{0, 0, 420, 228}, 32, 415.5, {-2.25, 34, 34, -2.25}, {}}, // shoulders 2.25 pt wide
      {Rect{0, 0, 420, 228}, 0, 188, {34, 34, 34, 34}, {}},
      {Rect{0, 0, 420, 228}, std::nan(""), 188, {34, 34, 34, 34}, {}},
      {Rect{0, 0, 420, 228}, 32, 0, {34, 34, 34, 34}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.bounds.width << "x" << c.bounds.height << " inset " << c.topInset
                                      << " notch " << c.notch.value_or(-1));
    const QList<SilhouetteSegment> rim = PanelSilhouette::segments(c.bounds, c.topInset, c.notch, false);
    EXPECT_EQ(arcs(rim), c.arcs);
    if (!c.rim.isEmpty()) {
      const QList<QPointF> points = PanelSilhouette::points(rim);
      ASSERT_EQ(points.size(), c.rim.size());
      for (qsizetype i = 0; i < points.size(); ++i)
        EXPECT_LT(QLineF(points[i], c.rim[i]).length(), 1e-9) << "point " << i;
    }
    // The mask closes the outline back to its start.
    const QList<SilhouetteSegment> mask = PanelSilhouette::segments(c.bounds, c.topInset, c.notch, true);
    ASSERT_EQ(mask.size(), rim.size() + 1);
    EXPECT_EQ(mask.last().kind, Kind::close);
    EXPECT_EQ(mask.last().to, rim.first().to);
  }
  for (const Rect empty : {Rect{0, 0, 0, 0}, Rect{0, 0, 420, 0}, Rect{0, 0, std::nan(""), 10}}) {
    EXPECT_TRUE(PanelSilhouette::segments(empty, 32, 188, true).isEmpty());
    EXPECT_TRUE(PanelSilhouette::path(empty.size(), 32, 188, false).isEmpty());
  }
}

TEST(PanelContentContainer, PlacesTheContentBelowTheNotchStrip) {
  Panel panel(QSize(420, 228), 32, 188, QSizeF(420, 196));
  panel.show(); // a hidden window receives its resize only when shown
  auto* first = new QLabel(QStringLiteral("first"));
  panel.container->setContent(first);
  EXPECT_EQ(first->geometry(), QRect(0, 32, 420, 196));
  panel.container->setContentSize(QSizeF(300, 100));
  EXPECT_EQ(first->geometry(), QRect(60, 32, 300, 100)); // centred, not stretched
  panel.window.resize(500, 228);
  EXPECT_EQ(first->geometry(), QRect(100, 32, 300, 100));
  EXPECT_EQ(panel.container->maskPath().boundingRect(), QRectF(0, 0, 500, 228));

  // Replacing the content keeps the fade of the old view, which leaves the panel at once.
  panel.container->setContentOpacity(0.4);
  auto* second = new QLabel(QStringLiteral("second"));
  panel.container->setContent(second);
  EXPECT_EQ(first->parent(), nullptr);
  auto* effect = qobject_cast<QGraphicsOpacityEffect*>(second->graphicsEffect());
  ASSERT_NE(effect, nullptr);
  EXPECT_DOUBLE_EQ(effect->opacity(), 0.4);
  panel.container->setContentOpacity(-3);
  EXPECT_EQ(panel.container->contentOpacity(), 0);
}

TEST(PanelContentContainer, RendersBlackInsideTheSilhouetteAndTransparentOutside) {
  Panel panel(QSize(420, 228), 32, 188, QSizeF(420, 196));
  panel.show();
  const QImage image = panel.render();
  ASSERT_EQ(image.size(), QSize(420, 228));
  EXPECT_EQ(image.pixelColor(210, 2), QColor(Qt::black));
  EXPECT_EQ(image.pixelColor(14, 120), QColor(Qt::black));
  for (const QPoint outside : {QPoint(5, 120), QPoint(415, 120), QPoint(1, 226)})
    EXPECT_EQ(qAlpha(image.pixel(outside)), 0) << outside.x() << "," << outside.y();
  // The edges are antialiased, not cut pixel by pixel.
  int partial = 0;
  for (int x = 0; x < 60; ++x) {
    const int alpha = qAlpha(image.pixel(x, 215));
    partial += alpha > 0 && alpha < 255;
  }
  EXPECT_GT(partial, 0);

  // Hosted content is cut to the same shape.
  panel.container->setContent(new FixturePanel([] {}));
  const QImage hosted = panel.render();
  EXPECT_EQ(hosted.pixelColor(14, 130), FixturePanel::backgroundColor());
  EXPECT_EQ(qAlpha(hosted.pixel(5, 130)), 0);
  EXPECT_TRUE(hosted.save(brindlewick::testing::testOutputPath(QStringLiteral("notched-layout.png"))));
}

TEST(PanelContentContainer, ShowsTheRimOnlyWithColoursOnAVisibleWindowAndFollowsTheSettings) {
  Panel panel(QSize(420, 196), 0, std::nullopt, QSizeF(420, 196));
  PanelEdgeHighlight& rim = panel.container->edgeHighlight();
  panel.container->setEdgeVisible(true);
  EXPECT_TRUE(rim.isHidden()); // no colours
  panel.container->setEdgeColors(warm);
  EXPECT_TRUE(rim.isHidden()); // no visible window
  EXPECT_FALSE(panel.clock.isRunning());

  panel.container->setContent(new FixturePanel([] {}));
  panel.show();
  EXPECT_FALSE(rim.isHidden());
  EXPECT_TRUE(panel.clock.isRunning());
  EXPECT_EQ(rim.lineColor(), QColor(240, 120, 60, 153));
  panel.clock.advance(2.0); // the glint a third of the way round
  const QImage image = panel.render();
  EXPECT_TRUE(image.save(brindlewick::testing::testOutputPath(QStringLiteral("fixture-panel.png"))));
  // The inner half of the 4 pt line runs along the left side, in the rim colour over the content.
  EXPECT_GT(image.pixelColor(0, 98).red(), 100);
  EXPECT_EQ(image.pixelColor(10, 98), FixturePanel::backgroundColor());

  // Reduce Motion stops the glint, and it or Increase Contrast draws the line at full colour.
  panel.accessibility.setReduceMotion(true);
  panel.container->layoutContent();
  EXPECT_TRUE(rim.isGlintHidden() && !rim.isHidden());
  EXPECT_EQ(rim.lineColor().alpha(), 255);
  EXPECT_FALSE(panel.clock.isRunning());
  panel.accessibility.setReduceMotion(false);
  panel.accessibility.setIncreaseContrast(true);
  panel.container->layoutContent();
  EXPECT_TRUE(rim.isAnimating());
  EXPECT_FALSE(rim.isGlintHidden());
  EXPECT_EQ(rim.lineColor().alpha(), 255);

  panel.container->setEdgeVisible(false);
  EXPECT_TRUE(rim.isHidden());
  EXPECT_FALSE(panel.clock.isRunning());
  panel.container->setEdgeVisible(true);
  panel.container->setEdgeColors(std::nullopt);
  EXPECT_TRUE(rim.isHidden());
  EXPECT_FALSE(panel.clock.isRunning());
}

TEST(PanelEdgeHighlight, RunsTheGlintAroundTheOutlineAtConstantSpeed) {
  Panel panel(QSize(420, 196), 0, std::nullopt, QSizeF(420, 196));
  panel.container->setEdgeColors(warm);
  panel.show();
  PanelEdgeHighlight& rim = panel.container->edgeHighlight();
  QSignalSpy wholeRepaints(&rim, &PanelEdgeHighlight::changed);
  QSignalSpy bandRepaints(&rim, &PanelEdgeHighlight::bandChanged);

  // It starts where the outline starts, at the end of the straight top edge, fading in.
  ASSERT_TRUE(rim.glintPosition());
  EXPECT_NEAR(rim.glintPosition()->x(), 34, 1e-6);
  EXPECT_NEAR(rim.glintPosition()->y(), 0, 1e-6);
  EXPECT_EQ(rim.glintOpacity(), 0);
  panel.clock.advance(0.24);
  EXPECT_NEAR(rim.glintOpacity(), 0.5, 1e-3);
  // The outline is symmetric, so half a lap puts the glint at the middle of the bottom edge.
  panel.clock.advance(2.76);
  EXPECT_NEAR(rim.glintPosition()->x(), 210, 0.5);
  EXPECT_NEAR(rim.glintPosition()->y(), 196, 0.5);
  EXPECT_EQ(rim.glintOpacity(), 1);
  panel.clock.advance(2.64); // 94 % of the lap: half faded out
  EXPECT_NEAR(rim.glintOpacity(), 0.5, 1e-3);
  EXPECT_EQ(bandRepaints.count(), 3);
  EXPECT_EQ(wholeRepaints.count(), 0) << "a frame of the glint repaints its band, not the panel";

  // A layout pass with the same outline leaves the glint running where it is.
  panel.container->setContentSize(QSizeF(400, 196));
  EXPECT_NEAR(rim.glintOpacity(), 0.5, 1e-3);
  // A new outline starts it again from the beginning; laps repeat without end.
  panel.window.resize(440, 196);
  EXPECT_EQ(rim.glintOpacity(), 0);
  panel.clock.advance(6 + 3);
  EXPECT_NEAR(rim.glintPosition()->x(), 220, 0.5);

  // Hidden, the glint goes; shown again with the same outline, it restarts.
  rim.update(*rim.outline(), rim.bounds(), warm, false);
  EXPECT_FALSE(rim.isAnimating());
  rim.update(*rim.outline(), rim.bounds(), warm, true);
  EXPECT_EQ(rim.glintOpacity(), 0);
}

namespace {

// Every paint event any widget receives, with the region it repaints in panel coordinates.
class PaintRecorder : public QObject {
public:
  explicit PaintRecorder(QWidget& panel) : m_panel(panel) { qApp->installEventFilter(this); }
  ~PaintRecorder() override { qApp->removeEventFilter(this); }
  QRegion painted;
  int events = 0;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (event->type() == QEvent::Paint && widget && (widget == &m_panel || m_panel.isAncestorOf(widget))) {
      const QRegion region = static_cast<QPaintEvent*>(event)->region();
      painted += region.translated(widget->mapTo(&m_panel, QPoint(0, 0)));
      ++events;
    }
    return false;
  }

private:
  QWidget& m_panel;
};

} // namespace

// While a teaser waits, each frame repaints the few squares of the rim the glint left and
// entered: the panel's middle, its content, is never painted again.
TEST(PanelEdgeHighlight, AFrameOfTheGlintRepaintsOnlyTheBandItCrosses) {
  Panel panel(QSize(420, 196), 0, std::nullopt, QSizeF(420, 196));
  panel.container->setEdgeColors(warm);
  panel.show();
  const PanelEdgeHighlight& rim = panel.container->edgeHighlight();
  ASSERT_TRUE(rim.isAnimating());
  QApplication::processEvents();
  const QRegion band = rim.band().translated(panel.container->mapTo(&panel.window, QPoint(0, 0)));
  ASSERT_FALSE(band.isEmpty());
  EXPECT_FALSE(band.contains(QPoint(210, 98))) << "the band is the rim, not the panel";

  PaintRecorder recorder(panel.window);
  for (int frame = 0; frame < 120; ++frame) {
    panel.clock.advance(1.0 / 60);
    QApplication::processEvents();
  }
  EXPECT_GT(recorder.events, 0) << "the glint moved without a repaint";
  EXPECT_TRUE(band.united(recorder.painted) == band) << "a frame repainted beyond the rim's band";
  EXPECT_FALSE(recorder.painted.contains(QPoint(210, 98)));
  // Two seconds of frames cross a third of the outline: far less than the whole panel.
  const auto area = [](const QRegion& region) {
    qint64 sum = 0;
    for (const QRect& rect : region)
      sum += qint64(rect.width()) * rect.height();
    return sum;
  };
  EXPECT_LT(area(recorder.painted), 420 * 196 / 4);
}

// Frame by frame, the glint repaints only its band: what is on screen after many such frames,
// around a corner, must be what one whole repaint paints, the corners erased included.
TEST(PanelEdgeHighlight, FramesOfTheGlintLeaveWhatAWholeRepaintPaints) {
  Panel panel(QSize(420, 196), 0, std::nullopt, QSizeF(420, 196));
  panel.container->setEdgeColors(warm);
  panel.container->setContent(new FixturePanel([] {}));
  panel.show();
  QApplication::processEvents();
  const double rate = panel.container->edgeHighlight().glintFrameRate();
  ASSERT_GT(rate, 0);
  // From the start of the lap round the lower left corner and along the bottom.
  for (int frame = 0; frame < int(2.6 * rate); ++frame) {
    panel.clock.advance(1 / rate);
    QApplication::processEvents();
  }
  // Compared premultiplied: the screen grab may drop the alpha channel, and erased pixels
  // are black either way.
  const QImage shown = panel.window.screen()
                           ->grabWindow(panel.window.winId())
                           .toImage()
                           .convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const QImage whole = panel.render().convertToFormat(QImage::Format_ARGB32_Premultiplied);
  ASSERT_EQ(shown.size(), whole.size());
  int largest = 0;
  for (int i = 0; i < whole.width() * whole.height(); ++i) {
    const QRgb a = shown.pixel(i % whole.width(), i / whole.width());
    const QRgb b = whole.pixel(i % whole.width(), i / whole.width());
    for (const int shift : {0, 8, 16})
      largest = std::max(largest, std::abs(int((a >> shift) & 0xff) - int((b >> shift) & 0xff)));
  }
  EXPECT_LE(largest, 2);
  EXPECT_TRUE(
      shown.save(brindlewick::testing::testOutputPath(QStringLiteral("glint-after-band-frames.png"))));
}
