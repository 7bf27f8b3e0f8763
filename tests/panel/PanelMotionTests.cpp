#include "GeometryPrinting.h"
#include "panel/PanelMotion.h"

#include <gtest/gtest.h>

#include <limits>

using namespace brindlewick;

namespace {
const double notANumber = std::numeric_limits<double>::quiet_NaN();
const Rect expanded{100, 500, 420, 228};
} // namespace

// The usual origins go through the panel controller's tests; here the bounds of odd notches.
TEST(PanelMotion, KeepsTheOriginBetweenOnePointAndTheExpandedSize) {
  EXPECT_EQ(PanelMotion::originFrame(expanded, 0.5, std::nullopt, false).width, 1);
  EXPECT_EQ(PanelMotion::originFrame(expanded, 500, std::nullopt, false).width, 420);
  EXPECT_EQ(PanelMotion::originFrame(expanded, 188, 1000, false).height, 228);
  EXPECT_EQ(PanelMotion::originFrame(expanded, notANumber, notANumber, false).size(), QSizeF(1, 1));
}

TEST(PanelMotion, GrowsOutOfTheTeaserOnlyWhenItSitsAtTheSameTopCentre) {
  const Rect fallback{274, 718, 72, 10};
  const Rect within{110.5, 700.5, 400, 28}; // midX and top both half a point off
  EXPECT_EQ(PanelMotion::presentationOrigin(expanded, within, fallback), within);
  EXPECT_EQ(PanelMotion::presentationOrigin(expanded, Rect{111, 700, 400, 28}, fallback), fallback);
  EXPECT_EQ(PanelMotion::presentationOrigin(expanded, Rect{110, 701, 400, 28}, fallback), fallback);
  EXPECT_EQ(PanelMotion::presentationOrigin(expanded, Rect{310, 728, 0, 0}, fallback), fallback);
}

TEST(PanelMotion, EasesBetweenFramesWithSmootherstep) {
  const Rect from{0, 0, 100, 10};
  const Rect to{100, 50, 300, 210};
  EXPECT_EQ(PanelMotion::frame(from, to, -1, true), from);
  EXPECT_EQ(PanelMotion::frame(from, to, notANumber, true), from);
  EXPECT_EQ(PanelMotion::frame(from, to, 2, false), to);
  EXPECT_EQ(PanelMotion::frame(from, to, 0.25, true), (Rect{10.3515625, 5.17578125, 120.703125, 30.703125}));
  EXPECT_EQ(PanelMotion::smootherstep(0.75), 1 - 0.103515625);
}
