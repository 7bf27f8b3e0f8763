#include "GeometryPrinting.h"
#include "desktop/DisplayIdentity.h"
#include "desktop/ScreenSource.h"
#include "foundation/Json.h"

#include <gtest/gtest.h>

using namespace brindlewick;

namespace {

const QByteArray twoDisplays = R"({
  "screens": [
    {"name": "HDMI-A-1", "frame": [0, 0, 1920, 1080], "visibleFrame": [0, 0, 1920, 1055]},
    {"name": "eDP-1", "displayId": 4294967295, "builtIn": true,
     "frame": [1920, 0, 1512, 982], "visibleFrame": [1920, 0, 1512, 949], "safeTop": 32,
     "auxiliaryLeft": [1920, 950, 662, 32], "auxiliaryRight": [2770, 950, 662, 32]}
  ],
  "mainIndex": 0
})";

} // namespace

TEST(SimulatedScreenSource, ReadsADescriptionWithDefaults) {
  const SimulatedScreenSource source = SimulatedScreenSource::fromJson(twoDisplays);
  const QList<ScreenDescription> screens = source.screens();
  ASSERT_EQ(screens.size(), 2);
  EXPECT_EQ(screens[0].name, QStringLiteral("HDMI-A-1"));
  EXPECT_EQ(screens[0].displayId, std::nullopt);
  EXPECT_EQ(screens[0].geometry,
            ScreenGeometry(Rect{0, 0, 1920, 1080}, Rect{0, 0, 1920, 1055}, 0, Rect{}, Rect{}, false));
  EXPECT_EQ(screens[1].displayId, 4294967295u);
  EXPECT_EQ(screens[1].geometry.notchGap(), (Rect{2582, 950, 188, 32}));
  EXPECT_EQ(source.mainIndex(), 0);
  EXPECT_EQ(ScreenGeometry::preferredIndex(source.geometries(), source.mainIndex()), 1);

  const SimulatedScreenSource bare =
      SimulatedScreenSource::fromJson(R"({"screens": [{"frame": [0, 0, 800, 600]}], "mainIndex": null})");
  EXPECT_EQ(bare.screens()[0].geometry.visibleFrame(), (Rect{0, 0, 800, 600}));
  EXPECT_EQ(bare.mainIndex(), std::nullopt);
}

TEST(SimulatedScreenSource, RefusesMalformedDescriptionsNamingTheValue) {
  struct Case {
    const char* json;
    const char* path;
  };
  const Case cases[] = {
      {R"({"screens": [{"frame": [0, 0, 800]}]})", "screens[0].frame"},
      {R"({"screens": [{"frame": [0, 0, 800, -1]}]})", "screens[0].frame"},
      {R"({"screens": [{"frame": [0, 0, 800, "600"]}]})", "screens[0].frame[3]"},
      {R"({"screens": [{"visibleFrame": [0, 0, 800, 600]}]})", "screens[0].frame"},
      {R"({"screens": [{"frame": [0, 0, 8, 6], "displayId": -1}]})", "screens[0].displayId"},
      {R"({"screens": [{"frame": [0, 0, 8, 6], "displayId": 4294967296}]})", "screens[0].displayId"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    try {
      SimulatedScreenSource::fromJson(c.json);
      ADD_FAILURE() << "accepted";
    } catch (const JsonDecodingError& error) {
      EXPECT_EQ(error.path(), QString::fromUtf8(c.path));
    }
  }
}

TEST(DesktopMapping, FlipsAgainstThePrimaryDisplay) {
  // Primary 1920x1080 at the desktop origin; a second display to its right, top-aligned.
  const DesktopMapping mapping(QRectF(0, 0, 1920, 1080));
  EXPECT_EQ(mapping.toGlobal(QRectF(1920, 0, 1280, 800)), (Rect{1920, 280, 1280, 800}));
  EXPECT_EQ(mapping.toDesktop(Rect{750, 847, 420, 196}), QRectF(750, 37, 420, 196));
  EXPECT_EQ(mapping.pointToGlobal(QPointF(10, 0)), QPointF(10, 1080));
  // A primary display away from the desktop origin still puts the global origin at its bottom-left.
  const DesktopMapping shifted(QRectF(-100, 50, 800, 600));
  EXPECT_EQ(shifted.toGlobal(QRectF(-100, 50, 800, 600)), (Rect{0, 0, 800, 600}));
  EXPECT_EQ(shifted.toDesktop(shifted.toGlobal(QRectF(-640, -480, 640, 480))), QRectF(-640, -480, 640, 480));
  EXPECT_EQ(shifted.pointToDesktop(shifted.pointToGlobal(QPointF(7, 9))), QPointF(7, 9));
  // The simulated source maps its first display's frame to the top of the desktop.
  const SimulatedScreenSource simulated = SimulatedScreenSource::fromJson(twoDisplays);
  EXPECT_EQ(simulated.mapping().toDesktop(Rect{0, 0, 1920, 1080}), QRectF(0, 0, 1920, 1080));
}

TEST(SystemScreenSource, RecognisesBuiltInPanelsByConnector) {
  for (const char* name : {"eDP-1", "eDP1", "LVDS-1", "lvds1", "DSI-2", "eDP"})
    EXPECT_TRUE(SystemScreenSource::isBuiltInConnector(QString::fromUtf8(name))) << name;
  for (const char* name : {"HDMI-A-1", "DP-1", "DP-2-1", "VGA-1", "offscreen", "", "eDPX", "XeDP-1"})
    EXPECT_FALSE(SystemScreenSource::isBuiltInConnector(QString::fromUtf8(name))) << name;
}

TEST(DisplayIdentity, GivesTheSameNumberInEveryProcessFollowingTheMonitor) {
  // Stored in the reader's preferences: these values must never change.
  EXPECT_EQ((DisplayIdentity{"eDP-1", "BOE", "NE135FBM-N41", ""}.displayId()), 3249416444u);
  const DisplayIdentity monitor{"DP-1", "DEL", "DELL U2720Q", "ABC123"};
  EXPECT_EQ(monitor.displayId(), 358115150u);
  // A monitor with a serial number keeps its number on another connector; two anonymous
  // twins are told apart by their connectors.
  EXPECT_EQ((DisplayIdentity{"HDMI-A-1", "DEL", "DELL U2720Q", "ABC123"}.displayId()), monitor.displayId());
  EXPECT_NE((DisplayIdentity{"DP-1", "DEL", "DELL U2720Q", ""}.displayId()),
            (DisplayIdentity{"DP-2", "DEL", "DELL U2720Q", ""}.displayId()));
  // The separator keeps shifted fields apart.
  EXPECT_NE((DisplayIdentity{"", "AB", "C", ""}.displayId()),
            (DisplayIdentity{"", "A", "BC", ""}.displayId()));
  EXPECT_NE(DisplayIdentity{}.displayId(), 0u);
}
