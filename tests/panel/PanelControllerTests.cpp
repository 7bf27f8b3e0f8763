#include "panel/PanelController.h"

#include "GeometryPrinting.h"
#include "desktop/FakeDesktop.h"
#include "panel/PanelMotion.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QWindow>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace brindlewick {
namespace {

// A display without a notch: the panel of 420 by 196 goes to (750, 847).
ScreenDescription plainDisplay(double x = 0, quint32 id = 1) {
  return {QStringLiteral("plain-%1").arg(id), id,
          ScreenGeometry(Rect{x, 0, 1920, 1080}, Rect{x, 0, 1920, 1055}, 0, Rect{}, Rect{}, false)};
}

// A built-in display with a camera housing: content (546, 754, 420, 196), window
// (546, 754, 420, 228), notch 188 by 32.
ScreenDescription notchedDisplay(quint32 id = 2) {
  return {QStringLiteral("notched"), id,
          ScreenGeometry(Rect{0, 0, 1512, 982}, Rect{0, 0, 1512, 949}, 32, Rect{0, 950, 662, 32},
                         Rect{850, 950, 662, 32}, true)};
}

constexpr Rect kPlainFrame{750, 847, 420, 196};

// Frames computed from clock readings carry rounding noise far below a pixel.
void expectNear(const Rect& actual, const Rect& expected, double seconds) {
  for (const auto& [a, e] : {std::pair{actual.x, expected.x},
                             {actual.y, expected.y},
                             {actual.width, expected.width},
                             {actual.height, expected.height}})
    EXPECT_NEAR(a, e, 1e-6) << ::testing::PrintToString(actual) << " at " << seconds;
}

class PanelControllerTest : public ::testing::Test {
protected:
  PanelControllerTest() {
    controller_ = std::make_unique<PanelController>(screens_, desktop_.probes());
    controller_->setOnDismiss([this] { ++dismissals_; });
  }

  void useScreens(QList<ScreenDescription> screens) {
    screens_ = SimulatedScreenSource(std::move(screens), 0);
  }

  // Steps the fake clock to `seconds` after the transition started and delivers one frame.
  void stepTo(double seconds) {
    ASSERT_TRUE(controller_->transition().has_value());
    clock_.advance(controller_->transition()->startedAt + seconds - clock_.now());
  }

  double contentAlpha() const { return controller_->container().contentOpacity(); }

  SimulatedScreenSource screens_{{plainDisplay()}, 0};
  FakeDesktop desktop_;
  ManualFrameClock& clock_ = desktop_.clock;
  std::unique_ptr<PanelController> controller_;
  int dismissals_ = 0;
};

TEST_F(PanelControllerTest, AutomaticRequestsAreSuppressedWhileVisibleOrFullScreenAndManualOnesShown) {
  EXPECT_EQ(controller_->lastDecision(), QStringLiteral("not requested"));

  desktop_.fullScreen.fullScreen = true;
  EXPECT_FALSE(controller_->show(PresentationRequest::automaticProbe));
  EXPECT_EQ(controller_->lastDecision(), QStringLiteral("suppressed: active app reports fullScreen"));
  EXPECT_FALSE(controller_->request().has_value());
  EXPECT_FALSE(controller_->panel().isVisible());

  EXPECT_TRUE(controller_->show(PresentationRequest::manual));
  EXPECT_EQ(controller_->lastDecision(), QStringLiteral("ordered manual"));
  EXPECT_EQ(controller_->collectionBehavior(), 262473u);
  EXPECT_EQ(controller_->phase(), PanelController::Phase::presenting);
  EXPECT_TRUE(controller_->panel().isVisible());

  // Visible and full screen at once: the first rule, the visible panel, gives the reason.
  EXPECT_FALSE(controller_->show(PresentationRequest::automaticProbe));
  EXPECT_EQ(controller_->lastDecision(), QStringLiteral("suppressed: panel already visible"));
  EXPECT_EQ(controller_->request(), PresentationRequest::manual);
  desktop_.fullScreen.fullScreen = false;

  // Still on screen while it closes: an automatic request waits, a manual one reopens it
  // from where it is, with the content's current fade.
  controller_->dismiss(true);
  ASSERT_EQ(controller_->phase(), PanelController::Phase::dismissing);
  stepTo(0.18);
  const Rect closingFrame = controller_->panelFrame();
  const double closingAlpha = contentAlpha();
  EXPECT_FALSE(controller_->show(PresentationRequest::automaticProbe));
  EXPECT_EQ(controller_->lastDecision(), QStringLiteral("suppressed: panel already visible"));
  EXPECT_TRUE(controller_->show(PresentationRequest::manual));
  EXPECT_EQ(controller_->phase(), PanelController::Phase::presenting);
  EXPECT_EQ(controller_->transition()->from, closingFrame);
  EXPECT_DOUBLE_EQ(controller_->transition()->fromAlpha, closingAlpha);
  EXPECT_EQ(dismissals_, 0);

  controller_->dismiss(false);
  EXPECT_EQ(dismissals_, 1);
  EXPECT_TRUE(controller_->show(PresentationRequest::automaticProbe, false));
  EXPECT_EQ(controller_->lastDecision(), QStringLiteral("ordered automaticProbe"));
  EXPECT_EQ(controller_->collectionBehavior(), 201u);
}

TEST_F(PanelControllerTest, ASecondShowNeverAnimatesAgainAndKeepsKeyboardFocus) {
  ASSERT_TRUE(controller_->show(PresentationRequest::automaticProbe, false));
  EXPECT_EQ(controller_->phase(), PanelController::Phase::visible);
  EXPECT_FALSE(controller_->panel().acceptsKeyboardFocus());
  controller_->focusForKeyboard();
  QCoreApplication::processEvents();
  EXPECT_TRUE(controller_->panel().acceptsKeyboardFocus());
  ASSERT_TRUE(controller_->panel().isActiveWindow());

  ASSERT_TRUE(controller_->show(PresentationRequest::manual, true));
  EXPECT_FALSE(controller_->transition().has_value());
  EXPECT_EQ(controller_->collectionBehavior(), 262473u);
  EXPECT_TRUE(controller_->panel().acceptsKeyboardFocus());

  // A fresh presentation never starts with focus.
  controller_->dismiss(false);
  EXPECT_FALSE(controller_->panel().acceptsKeyboardFocus());
  ASSERT_TRUE(controller_->show(PresentationRequest::manual, false));
  EXPECT_FALSE(controller_->panel().acceptsKeyboardFocus());
}

TEST_F(PanelControllerTest, ReduceMotionOpensAndClosesAtOnceAndStillReportsTheDismissal) {
  desktop_.accessibility.setReduceMotion(true);
  ASSERT_TRUE(controller_->show(PresentationRequest::manual, true));
  EXPECT_EQ(controller_->phase(), PanelController::Phase::visible);
  EXPECT_EQ(controller_->panelFrame(), kPlainFrame);
  EXPECT_DOUBLE_EQ(contentAlpha(), 1);
  EXPECT_FALSE(clock_.isRunning());

  controller_->dismiss(true);
  EXPECT_FALSE(controller_->panel().isVisible());
  EXPECT_EQ(dismissals_, 1);

  // Turned on while an opening runs, it ends the opening at the next frame.
  desktop_.accessibility.setReduceMotion(false);
  ASSERT_TRUE(controller_->show(PresentationRequest::manual, true));
  desktop_.accessibility.setReduceMotion(true);
  clock_.advance(0.01);
  EXPECT_EQ(controller_->phase(), PanelController::Phase::visible);
  EXPECT_EQ(controller_->panelFrame(), kPlainFrame);
  EXPECT_DOUBLE_EQ(contentAlpha(), 1);
}

TEST_F(PanelControllerTest, OpeningMovesOnSmootherstepAndFadesTheContentInAfterADelay) {
  ASSERT_TRUE(controller_->show(PresentationRequest::manual, true));
  const Rect origin = controller_->originFrame();
  EXPECT_EQ(origin, (Rect{kPlainFrame.midX() - 36, kPlainFrame.maxY() - 10, 72, 10}));
  EXPECT_EQ(controller_->panelFrame(), origin);
  EXPECT_DOUBLE_EQ(contentAlpha(), 0);
  EXPECT_TRUE(clock_.isRunning());

  struct Point {
    double seconds;
    double alpha;
  };
  const double d = PanelMotion::openingDuration;
  const Point points[] = {
      {0.10 * d, 0}, {0.15 * d, 0}, {0.50 * d, 0.35 / 0.65}, {0.80 * d, 1}, {0.90 * d, 1},
  };
  for (const Point& point : points) {
    stepTo(point.seconds);
    EXPECT_NEAR(contentAlpha(), point.alpha, 1e-9) << point.seconds;
    expectNear(controller_->panelFrame(), PanelMotion::frame(origin, kPlainFrame, point.seconds / d, true),
               point.seconds);
    EXPECT_EQ(controller_->phase(), PanelController::Phase::presenting);
  }
  stepTo(d * 1.01);
  EXPECT_EQ(controller_->phase(), PanelController::Phase::visible);
  EXPECT_EQ(controller_->panelFrame(), kPlainFrame);
  EXPECT_FALSE(clock_.isRunning());

  // Closing: back into the origin, the content fading out linearly.
  controller_->dismiss(true);
  stepTo(PanelMotion::closingDuration / 2);
  EXPECT_NEAR(contentAlpha(), 0.5, 1e-9);
  expectNear(controller_->panelFrame(), PanelMotion::frame(kPlainFrame, origin, 0.5, false), 0.5);
  EXPECT_EQ(dismissals_, 0);
  stepTo(PanelMotion::closingDuration * 1.01);
  EXPECT_EQ(controller_->phase(), PanelController::Phase::hidden);
  EXPECT_FALSE(controller_->panel().isVisible());
  EXPECT_DOUBLE_EQ(contentAlpha(), 1);
  EXPECT_EQ(dismissals_, 1);
}

// Where exactly a teaser counts is PanelMotion's rule; here only that the controller uses it.
TEST_F(PanelControllerTest, GrowsOutOfATeaserAtTheSameTopCentre) {
  const Rect teaser{kPlainFrame.midX() - 100 + 0.5, kPlainFrame.maxY() - 40 - 0.5, 200, 40};
  ASSERT_TRUE(controller_->show(PresentationRequest::manual, true, teaser));
  EXPECT_EQ(controller_->panelFrame(), teaser);
  controller_->dismiss(false);
  ASSERT_TRUE(controller_->show(PresentationRequest::manual, true, Rect{0, 0, 200, 40}));
  EXPECT_EQ(controller_->panelFrame(), controller_->originFrame());
}

TEST_F(PanelControllerTest, OriginFrameAndContentHeightFollowTheLayout) {
  controller_->setRevealsVertically(true);
  ASSERT_TRUE(controller_->show(PresentationRequest::manual, false));
  EXPECT_EQ(controller_->originFrame(),
            (Rect{kPlainFrame.minX(), kPlainFrame.maxY() - 10, kPlainFrame.width, 10}));
  controller_->dismiss(false);

  struct Case {
    double measured;
    double height;
  };
  const Case cases[] = {{150, 196}, {260, 260}, {std::nan(""), 196}};
  for (const Case& c : cases) {
    double askedWidth = 0;
    controller_->setContentHeight([&askedWidth, &c](double width) {
      askedWidth = width;
      return c.measured;
    });
    ASSERT_TRUE(controller_->show(PresentationRequest::manual, false));
    EXPECT_EQ(askedWidth, 420);
    EXPECT_EQ(controller_->panelFrame().height, c.height) << c.measured;
    EXPECT_EQ(controller_->panelFrame().maxY(), kPlainFrame.maxY()) << c.measured;
    EXPECT_EQ(controller_->container().contentSize().height(), c.height) << c.measured;
    controller_->dismiss(false);
  }
}

TEST_F(PanelControllerTest, HugsTheNotchOfTheBuiltInDisplayUnlessTheReaderChoseAnother) {
  useScreens({plainDisplay(), notchedDisplay()});
  const QSizeF size(420, 196);
  EXPECT_EQ(PanelController::targetFrame(screens_, size, 1u), kPlainFrame);
  EXPECT_EQ(PanelController::targetFrame(screens_, size, 77u), (Rect{546, 753, 420, 196})); // not connected

  ASSERT_TRUE(controller_->show(PresentationRequest::manual, true));
  EXPECT_EQ(controller_->originFrame(), (Rect{546 + 210 - 94, 982 - 32, 188, 32}));
  EXPECT_EQ(controller_->container().topInset(), 32);
  EXPECT_EQ(controller_->container().notchWidth(), 188);
  stepTo(PanelMotion::openingDuration * 1.01);
  EXPECT_EQ(controller_->panelFrame(), (Rect{546, 754, 420, 228}));

  // The reader's display choice wins when it is connected.
  controller_->setPreferredDisplayID(1);
  controller_->refreshLayout();
  EXPECT_EQ(controller_->panelFrame(), kPlainFrame);
  EXPECT_FALSE(controller_->container().notchWidth().has_value());

  useScreens({});
  EXPECT_FALSE(PanelController::targetFrame(screens_, size, std::nullopt).has_value());
  EXPECT_FALSE(PanelController::targetLayoutFrame(screens_, size, 1u).has_value());
}

TEST_F(PanelControllerTest, WithoutADisplayNothingIsShownAndAShownPanelGoes) {
  useScreens({});
  desktop_.fullScreen.fullScreen = true; // full screen is looked at before the displays
  EXPECT_FALSE(controller_->show(PresentationRequest::automaticProbe));
  EXPECT_EQ(controller_->lastDecision(), QStringLiteral("suppressed: active app reports fullScreen"));
  EXPECT_FALSE(controller_->show(PresentationRequest::manual));
  EXPECT_EQ(controller_->lastDecision(), QStringLiteral("suppressed: no screen"));
  desktop_.fullScreen.fullScreen = false;
  EXPECT_FALSE(controller_->panel().isVisible());

  useScreens({plainDisplay()});
  ASSERT_TRUE(controller_->show(PresentationRequest::manual, false));
  useScreens({});
  Q_EMIT desktop_.events.screensChanged();
  EXPECT_EQ(controller_->phase(), PanelController::Phase::hidden);
  EXPECT_EQ(controller_->lastDecision(), QStringLiteral("ordered manual"));
  EXPECT_EQ(dismissals_, 1);
}

// An opening or a closing needs a display that holds the panel's frame (here the only one is too
// small, or went away); without one the panel is taken down at once, saying why.
TEST_F(PanelControllerTest, AMoveWithoutADisplayForItsFrameEndsAtOnceAndSaysWhy) {
  ASSERT_TRUE(controller_->show(PresentationRequest::manual, false));
  useScreens({plainDisplay(3000)});
  controller_->dismiss(true);
  EXPECT_EQ(controller_->lastDecision(), QStringLiteral("dismissed: animation display disconnected"));
  EXPECT_EQ(controller_->phase(), PanelController::Phase::hidden);
  EXPECT_EQ(dismissals_, 1);

  useScreens({{QStringLiteral("tiny"), 9,
               ScreenGeometry(Rect{0, 0, 10, 10}, Rect{0, 0, 10, 10}, 0, {}, {}, false)}});
  EXPECT_FALSE(controller_->show(PresentationRequest::manual, true)); // no successful presentation
  EXPECT_EQ(controller_->lastDecision(), QStringLiteral("dismissed: animation display disconnected"));
  EXPECT_FALSE(controller_->request().has_value());
  EXPECT_FALSE(controller_->panel().isVisible());
  EXPECT_FALSE(clock_.isRunning());
  EXPECT_EQ(dismissals_, 2);
}

TEST_F(PanelControllerTest, SystemChangesFollowTheDesktop) {
  // Full screen in front takes an automatic panel down, with its reason.
  ASSERT_TRUE(controller_->show(PresentationRequest::automaticProbe, true));
  desktop_.fullScreen.fullScreen = true;
  Q_EMIT desktop_.events.frontFullScreenChanged();
  EXPECT_EQ(controller_->phase(), PanelController::Phase::presenting); // looked at from the event loop
  QCoreApplication::processEvents();
  EXPECT_EQ(controller_->phase(), PanelController::Phase::hidden);
  EXPECT_EQ(controller_->lastDecision(), QStringLiteral("dismissed: active app reports fullScreen"));
  EXPECT_EQ(dismissals_, 1);

  // A manual one stays; a display change snaps an opening panel to its new place.
  ASSERT_TRUE(controller_->show(PresentationRequest::manual, true));
  useScreens({plainDisplay(100)});
  Q_EMIT desktop_.events.screensChanged();
  EXPECT_EQ(controller_->phase(), PanelController::Phase::visible);
  EXPECT_EQ(controller_->panelFrame(), (Rect{850, 847, 420, 196}));
  EXPECT_DOUBLE_EQ(contentAlpha(), 1);
  EXPECT_FALSE(controller_->transition().has_value());

  // A panel that is closing goes at once.
  controller_->dismiss(true);
  Q_EMIT desktop_.events.activeApplicationChanged();
  EXPECT_EQ(controller_->phase(), PanelController::Phase::hidden);
  EXPECT_EQ(dismissals_, 2);
}

TEST_F(PanelControllerTest, SleepAndDarkDisplaysTakeThePanelDownAtOnce) {
  for (const auto emitEvent : {+[](SystemEvents& events) { Q_EMIT events.willSleep(); },
                               +[](SystemEvents& events) { Q_EMIT events.screensDidSleep(); }}) {
    const int before = dismissals_;
    ASSERT_TRUE(controller_->show(PresentationRequest::manual, true));
    emitEvent(desktop_.events);
    EXPECT_FALSE(controller_->panel().isVisible());
    EXPECT_FALSE(clock_.isRunning());
    EXPECT_EQ(dismissals_, before + 1);
  }
}

TEST_F(PanelControllerTest, DismissingAHiddenPanelReportsNothing) {
  controller_->dismiss(true);
  controller_->dismiss(false);
  EXPECT_EQ(dismissals_, 0);
  EXPECT_EQ(controller_->phase(), PanelController::Phase::hidden);
  EXPECT_FALSE(controller_->request().has_value());

  controller_->refreshLayout(PresentationRequest::automaticProbe);
  EXPECT_FALSE(controller_->request().has_value());
  EXPECT_EQ(controller_->lastDecision(), QStringLiteral("not requested"));
}

TEST_F(PanelControllerTest, PressesOutsideThePanelAndItsChildWindowsAreReported) {
  int outside = 0;
  const DesktopMapping mapping = screens_.mapping();
  const auto press = [&](QPointF global) { Q_EMIT desktop_.presses.pressed(mapping.pointToDesktop(global)); };
  // Without an outside action at show time no presses are watched, even once one is set.
  ASSERT_TRUE(controller_->show(PresentationRequest::manual, false));
  controller_->setOnOutsideClick([&outside] { ++outside; });
  press({100, 100});
  EXPECT_FALSE(controller_->isObservingOutsideClicks());
  EXPECT_FALSE(desktop_.presses.isWatching());
  EXPECT_EQ(outside, 0);
  controller_->dismiss(false);

  ASSERT_TRUE(controller_->show(PresentationRequest::manual, false));
  ASSERT_TRUE(controller_->isObservingOutsideClicks());
  EXPECT_TRUE(desktop_.presses.isWatching());

  // A menu opened from the panel, and a sub-menu of that menu, below the panel.
  QWindow menu;
  menu.setTransientParent(controller_->panel().windowHandle());
  menu.setGeometry(mapping.toDesktop(Rect{800, 600, 100, 100}).toRect());
  menu.show();
  QWindow submenu;
  submenu.setTransientParent(&menu);
  submenu.setGeometry(mapping.toDesktop(Rect{800, 400, 100, 100}).toRect());
  submenu.show();

  press({960, 900}); // in the panel
  press({850, 650}); // in the menu
  press({850, 450}); // in the sub-menu
  EXPECT_EQ(outside, 0);
  press({100, 100});
  EXPECT_EQ(outside, 1);

  submenu.hide();
  press({850, 450});
  EXPECT_EQ(outside, 2);

  controller_->dismiss(true); // closing: presses are no longer the panel's business
  press({100, 100});
  EXPECT_EQ(outside, 2);
  EXPECT_FALSE(controller_->isObservingOutsideClicks());
  EXPECT_FALSE(desktop_.presses.isWatching());
}

TEST_F(PanelControllerTest, TheDesktopIsWatchedForPressesWhileAnyPanelWantsThem) {
  // The teaser and the card share one monitor; it listens until the last of them stops.
  auto card = std::make_unique<PanelController>(screens_, desktop_.probes());
  controller_->setOnOutsideClick([] {});
  card->setOnOutsideClick([] {});
  ASSERT_TRUE(controller_->show(PresentationRequest::manual, false));
  ASSERT_TRUE(card->show(PresentationRequest::manual, false));
  controller_->show(PresentationRequest::manual, false); // a second show does not watch twice
  controller_->dismiss(false);
  EXPECT_TRUE(desktop_.presses.isWatching());
  card.reset(); // a controller that goes while shown stops its watch
  EXPECT_FALSE(desktop_.presses.isWatching());
  desktop_.presses.stopWatching(); // more stops than starts change nothing
  ASSERT_TRUE(controller_->show(PresentationRequest::manual, false));
  EXPECT_TRUE(desktop_.presses.isWatching());
}

TEST_F(PanelControllerTest, ConnectionsAndActionsEndWithTheController) {
  ASSERT_TRUE(controller_->show(PresentationRequest::manual, false));
  const std::function<void()> escape = controller_->panel().onEscape();
  escape(); // Escape closes with animation
  EXPECT_EQ(controller_->phase(), PanelController::Phase::dismissing);
  controller_.reset();
  EXPECT_FALSE(clock_.isRunning());
  Q_EMIT desktop_.events.willSleep();
  Q_EMIT desktop_.events.screensChanged();
  Q_EMIT desktop_.events.frontFullScreenChanged();
  Q_EMIT desktop_.presses.pressed(QPointF(1, 1));
  desktop_.accessibility.setReduceMotion(true);
  clock_.advance(1);
  QCoreApplication::processEvents();
  escape();
  EXPECT_EQ(dismissals_, 0);
}

} // namespace
} // namespace brindlewick
