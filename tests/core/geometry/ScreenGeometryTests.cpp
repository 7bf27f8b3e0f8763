#include "GeometryPrinting.h"
#include "geometry/ScreenGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace brindlewick;

namespace {

const QSizeF panelSize(420, 196);

ScreenGeometry plainDisplay() {
  return ScreenGeometry(Rect{0, 0, 1920, 1080}, Rect{0, 0, 1920, 1055}, 0, Rect{}, Rect{}, false);
}

ScreenGeometry notchedDisplay(Rect left = Rect{0, 950, 662, 32}, Rect right = Rect{850, 950, 662, 32},
                              double safeTop = 32, bool builtIn = true) {
  return ScreenGeometry(Rect{0, 0, 1512, 982}, Rect{0, 0, 1512, 949}, safeTop, left, right, builtIn);
}

} // namespace

TEST(ScreenGeometry, PlacesThePlainPanelBelowTheMenuBarOrTucksItUnderTheNotch) {
  EXPECT_EQ(plainDisplay().panelLayout(panelSize),
            (PanelLayout{Rect{750, 847, 420, 196}, Rect{750, 847, 420, 196}, std::nullopt}));
  const ScreenGeometry display = notchedDisplay();
  EXPECT_EQ(display.notchGap(), (Rect{662, 950, 188, 32}));
  EXPECT_EQ(display.panelFrame(panelSize), (Rect{546, 753, 420, 196}));
  const PanelLayout layout = display.panelLayout(panelSize);
  EXPECT_EQ(layout.contentFrame, (Rect{546, 754, 420, 196}));
  EXPECT_EQ(layout.frame, (Rect{546, 754, 420, 228}));
  EXPECT_EQ(layout.notchWidth, 188);
  EXPECT_EQ(layout.topInset(), 32);
}

TEST(ScreenGeometry, RoundsTheNotchWindowOutwardButNotItsContent) {
  const ScreenGeometry display = notchedDisplay();
  const PanelLayout layout = display.panelLayout(QSizeF(420.5, 100.25));
  EXPECT_EQ(layout.contentFrame, (Rect{545.75, 849.75, 420.5, 100.25}));
  EXPECT_EQ(layout.frame, (Rect{545, 849, 422, 133}));
}

TEST(ScreenGeometry, FindsNoNotchGapUnlessEveryConditionHolds) {
  struct Case {
    const char* name;
    ScreenGeometry display;
    bool hasGap;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {"notched", notchedDisplay(), true},
      {"top 0.9 pt off still counts", notchedDisplay(Rect{0, 949.1, 662, 32}, Rect{850, 950.9, 662, 32}),
       true},
      {"no safe area", notchedDisplay(Rect{0, 950, 662, 32}, Rect{850, 950, 662, 32}, 0), false},
      {"safe area not a number", notchedDisplay(Rect{0, 950, 662, 32}, Rect{850, 950, 662, 32}, nan), false},
      {"safe area as tall as the display",
       notchedDisplay(Rect{0, 950, 662, 32}, Rect{850, 950, 662, 32}, 982), false},
      {"no auxiliary areas", notchedDisplay(Rect{}, Rect{}), false},
      {"empty right area", notchedDisplay(Rect{0, 950, 662, 32}, Rect{850, 950, 0, 32}), false},
      {"areas touch", notchedDisplay(Rect{0, 950, 662, 32}, Rect{662, 950, 850, 32}), false},
      {"areas overlap", notchedDisplay(Rect{0, 950, 700, 32}, Rect{650, 950, 862, 32}), false},
      {"left area outside the frame", notchedDisplay(Rect{-1, 950, 663, 32}), false},
      {"right area outside the frame", notchedDisplay(Rect{0, 950, 662, 32}, Rect{850, 950, 663, 32}), false},
      {"top 1 pt off", notchedDisplay(Rect{0, 949, 662, 32}), false},
      {"right top 1 pt off", notchedDisplay(Rect{0, 950, 662, 32}, Rect{850, 951, 662, 32}), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.display.notchGap().has_value(), c.hasGap);
    const PanelLayout layout = c.display.panelLayout(panelSize);
    EXPECT_EQ(layout.notchWidth.has_value(), c.hasGap);
    if (!c.hasGap) {
      EXPECT_EQ(layout.frame, c.display.panelFrame(panelSize));
      EXPECT_EQ(layout.contentFrame, layout.frame);
      EXPECT_EQ(layout.topInset(), 0);
    }
  }
}

TEST(ScreenGeometry, FallsBackToThePlainLayoutWhenTheNotchLayoutDoesNotFit) {
  // A panel narrower than the notch gap.
  const ScreenGeometry display = notchedDisplay();
  const PanelLayout narrow = display.panelLayout(QSizeF(150, 100));
  EXPECT_FALSE(narrow.notchWidth);
  EXPECT_EQ(narrow.frame, display.panelFrame(QSizeF(150, 100)));
  // A wide notch on a small display: the requested width is first cut to the usable width.
  const ScreenGeometry small(Rect{0, 0, 300, 200}, Rect{0, 0, 300, 180}, 20, Rect{0, 180, 10, 20},
                             Rect{290, 180, 10, 20}, true);
  EXPECT_EQ(small.notchGap(), (Rect{10, 180, 280, 20}));
  EXPECT_EQ(small.panelFrame(panelSize).width, 276);
  EXPECT_FALSE(small.panelLayout(panelSize).notchWidth);
  // No room below the notch.
  const ScreenGeometry shallow(Rect{0, 0, 1512, 40}, Rect{0, 0, 1512, 8}, 32, Rect{0, 8, 662, 32},
                               Rect{850, 8, 662, 32}, true);
  EXPECT_TRUE(shallow.notchGap());
  EXPECT_FALSE(shallow.panelLayout(panelSize).notchWidth);
}

TEST(ScreenGeometry, UsesTheWholeFrameWhenTheVisibleFrameLiesElsewhere) {
  const ScreenGeometry apart(Rect{0, 0, 800, 600}, Rect{2000, 0, 800, 600}, 0, Rect{}, Rect{}, false);
  EXPECT_EQ(apart.usableFrame(), apart.frame());
  const ScreenGeometry touching(Rect{0, 0, 800, 600}, Rect{800, 0, 800, 600}, 0, Rect{}, Rect{}, false);
  EXPECT_EQ(touching.usableFrame(), touching.frame());
  const ScreenGeometry secondary(Rect{1920, 200, 1280, 800}, Rect{1900, 180, 1400, 790}, 0, Rect{}, Rect{},
                                 false);
  EXPECT_EQ(secondary.usableFrame(), (Rect{1920, 200, 1280, 770}));
}

TEST(ScreenGeometry, CutsOversizedAndDegenerateRequestsWithoutFailing) {
  const ScreenGeometry display = plainDisplay();
  EXPECT_EQ(display.panelFrame(QSizeF(5000, 5000)), (Rect{12, 12, 1896, 1031}));
  const ScreenGeometry tiny(Rect{0, 0, 10, 10}, Rect{0, 0, 10, 10}, 0, Rect{}, Rect{}, false);
  const Rect cut = tiny.panelFrame(QSizeF(5000, 5000));
  EXPECT_EQ(cut.size(), QSizeF(1, 1));
  // The right-hand clamp wins over the left one when the display is too narrow.
  EXPECT_EQ(cut.x, 10 - 1 - 12);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const QSizeF size : {QSizeF(0, 0), QSizeF(-50, -10), QSizeF(nan, nan)}) {
    const Rect frame = display.panelFrame(size);
    EXPECT_EQ(frame.size(), QSizeF(0, 0));
    EXPECT_EQ(frame.midX(), 960);
    EXPECT_TRUE(std::isfinite(frame.y));
    EXPECT_FALSE(notchedDisplay().panelLayout(size).notchWidth); // a gap wider than the panel
  }
}

TEST(ScreenGeometry, PrefersTheFirstNotchedBuiltInDisplayThenTheMainOne) {
  const ScreenGeometry plain = plainDisplay();
  const ScreenGeometry notchedExternal =
      notchedDisplay(Rect{0, 950, 662, 32}, Rect{850, 950, 662, 32}, 32, false);
  const ScreenGeometry notchedBuiltIn = notchedDisplay();
  EXPECT_EQ(ScreenGeometry::preferredIndex({}, 0), std::nullopt);
  EXPECT_EQ(ScreenGeometry::preferredIndex({plain, plain}, std::nullopt), 0);
  EXPECT_EQ(ScreenGeometry::preferredIndex({plain, plain}, -1), 0);
  EXPECT_EQ(ScreenGeometry::preferredIndex({plain, plain}, 2), 0);
  EXPECT_EQ(ScreenGeometry::preferredIndex({plain, plain}, 1), 1);
  EXPECT_EQ(ScreenGeometry::preferredIndex({plain, notchedExternal, plain}, 2), 2);
  EXPECT_EQ(ScreenGeometry::preferredIndex({plain, notchedBuiltIn, notchedBuiltIn}, 0), 1);
}

TEST(Rect, IntersectsRoundsAndContainsWithTheUsualEdgeRules) {
  const Rect a{0, 0, 10, 10};
  EXPECT_EQ(a.intersected(Rect{5, 5, 10, 10}), (Rect{5, 5, 5, 5}));
  EXPECT_EQ(a.intersected(Rect{10, 0, 5, 5}), (Rect{10, 0, 0, 5}));
  EXPECT_EQ(a.intersected(Rect{11, 0, 5, 5}), std::nullopt);
  EXPECT_EQ((Rect{0.5, -0.5, 1.2, 1.0}.integral()), (Rect{0, -1, 2, 2}));
  EXPECT_TRUE(a.contains(QPointF(0, 0)));
  EXPECT_FALSE(a.contains(QPointF(10, 5)));
  EXPECT_TRUE(a.contains(Rect{0, 0, 10, 10}));
  EXPECT_FALSE(a.contains(Rect{0, 0, 10, 10.5}));
  EXPECT_TRUE((Rect{0, 0, 0, 4}).isEmpty());
  EXPECT_TRUE((Rect{0, 0, std::numeric_limits<double>::quiet_NaN(), 4}).isEmpty());
}
