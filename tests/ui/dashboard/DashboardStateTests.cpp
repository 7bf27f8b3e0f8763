#include "ui/dashboard/DashboardState.h"

#include <gtest/gtest.h>

using namespace brindlewick;

namespace {

using Interval = ScheduleSettings::Interval;

ScheduleSettings schedule(Interval interval, qint64 start, qint64 end, bool paused = false) {
  return ScheduleSettings(interval, ScheduleInterval(start, end), std::nullopt, paused);
}

DashboardState readyState() {
  DashboardState state;
  state.signedIn = true;
  state.onboardingComplete = true;
  state.schedule = schedule(Interval::everyTwoHours, 510, 1320);
  state.releaseDrops = 40;
  state.savedCount = 3;
  return state;
}

TEST(DashboardState, StatusFollowsItsPrecedenceAndTheLibraryCountsOnlyWhenReady) {
  const struct {
    const char* name;
    std::function<void(DashboardState&)> change;
    const char* status;
    const char* button;
    qsizetype library;
  } cases[] = {
      {"signed out, storage down, setup open, paused",
       [](DashboardState& s) {
         s.signedIn = false;
         s.storageHealthy = false;
         s.onboardingComplete = false;
         s.schedule.setPaused(true);
       },
       "Sign in with Google to bring your reading together.", "Your account", 0},
      {"storage down, setup open",
       [](DashboardState& s) {
         s.storageHealthy = false;
         s.onboardingComplete = false;
       },
       "Your drops could not load on this computer. Sync again to continue.", "Your account", 0},
      {"setup open wins over paused",
       [](DashboardState& s) {
         s.onboardingComplete = false;
         s.schedule.setPaused(true);
       },
       "Show Drop to finish setup and read your first idea.", "Adjust delivery", 40},
      {"paused", [](DashboardState& s) { s.schedule.setPaused(true); },
       "Automatic drops are paused. You can still show one anytime.", "Adjust delivery", 40},
      {"running", [](DashboardState&) {}, "Every 2 hours, 08:30\u201322:00.", "Adjust delivery", 40},
      {"no release", [](DashboardState& s) { s.releaseDrops.reset(); }, "Every 2 hours, 08:30\u201322:00.",
       "Adjust delivery", 0},
      {"empty release", [](DashboardState& s) { s.releaseDrops = 0; }, "Every 2 hours, 08:30\u201322:00.",
       "Adjust delivery", 0},
  };
  for (const auto& c : cases) {
    DashboardState state = readyState();
    c.change(state);
    EXPECT_EQ(state.status(), QString::fromUtf8(c.status)) << c.name;
    const DashboardState::HeroButton button = state.heroButton();
    EXPECT_EQ(button.title, QString::fromUtf8(c.button)) << c.name;
    EXPECT_EQ(button.prominent, !state.ready()) << c.name;
    EXPECT_EQ(button.symbol, state.ready() ? "slider.horizontal.3" : "person.crop.circle") << c.name;
    const QList<DashboardState::Tile> tiles = state.tiles();
    EXPECT_EQ(tiles[0].value, c.library) << c.name;
    EXPECT_EQ(tiles[1].value, 3) << c.name; // saved ideas never consult the release
    EXPECT_EQ(state.showsAccountCard(), !state.signedIn) << c.name;
  }
}

TEST(DashboardState, ScheduleLinesWriteBothEndsAsTwoDigitClocks) {
  const struct {
    ScheduleSettings settings;
    const char* line;
  } cases[] = {
      {schedule(Interval::everyTwoHours, 510, 1320), "Every 2 hours, 08:30\u201322:00."},
      {schedule(Interval::hourly, 540, 1020), "Every hour, 09:00\u201317:00."},
      {schedule(Interval::everySixHours, 0, 1439), "Every 6 hours, 00:00\u201323:59."},
      {schedule(Interval::everyTwelveHours, 1200, 1440), "Every 12 hours, 20:00\u201324:00."},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DashboardState::scheduleLine(c.settings), QString::fromUtf8(c.line));
}

TEST(DashboardState, TilesAreAnnouncedWithUngroupedCounts) {
  DashboardState state = readyState();
  state.savedCount = 10000;
  EXPECT_EQ(state.tiles()[1].accessibleName(), "Saved, 10000. Keep the good ones");
}

TEST(DashboardLayout, ArtFromSixHundredFortyAndLargeTilesFromSevenHundredSixty) {
  const struct {
    qreal width;
    bool art;
    qreal padding;
    bool compact;
    qreal icon;
  } cases[] = {
      {639.9, false, 0, true, 32},
      {640, true, 190, true, 32},
      {759.9, true, 190, true, 32},
      {760, true, 190, false, 48},
  };
  for (const auto& c : cases) {
    const DashboardLayout layout = DashboardLayout::forWidth(c.width);
    EXPECT_EQ(layout.showsArtwork, c.art) << c.width;
    EXPECT_EQ(layout.heroTrailingPadding, c.padding) << c.width;
    EXPECT_EQ(layout.compact, c.compact) << c.width;
    EXPECT_EQ(layout.tileIconSize, c.icon) << c.width;
  }
}

} // namespace
