#include "model/ReaderModelFixture.h"

#include <QLocale>

#include "AsyncProbe.h"
#include "RequiredValue.h"
#include "VirtualDelayScheduler.h"

#include <gtest/gtest.h>

namespace brindlewick {

struct ReaderModelTestAccess {
  static void fireDeliveryTimer(ReaderModel& model) { model.deliveryTimerFired(); }
};

namespace {

class ReaderModelDeliveryTest : public ::testing::Test {
protected:
  ReaderModel& open(const ReaderPreferences& preferences = ReaderModelFixture::readerPreferences()) {
    fx.signIn(preferences);
    return fx.open();
  }
  qsizetype automaticShown() { return fx.model().repository().ledger().automaticPresentations().size(); }
  std::optional<Date> lastShown() { return fx.model().repository().ledger().lastPresentation(); }
  bool teaserUp() { return fx.model().teaserPanel().panel().isVisible(); }

  ReaderModelFixture fx;
};

TEST_F(ReaderModelDeliveryTest, ATeaserCountsOnlyWhenItIsStillSeenAfterATenthOfASecond) {
  const struct {
    const char* name;
    bool covered;
    bool onActiveSpace;
    bool dismissedMeanwhile;
    bool recorded;
  } cases[] = {
      {"seen", false, true, false, true},
      {"covered", true, true, false, false},
      {"on another workspace", false, false, false, false},
      {"dismissed within 0.1 s", false, true, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ReaderModelFixture fixture;
    fixture.signIn();
    fixture.desktop().state.covered = c.covered;
    fixture.desktop().state.onActiveSpace = c.onActiveSpace;
    ReaderModel& model = fixture.open();
    fixture.advance(3.05); // the catch-up finds the 09:00 slot
    ASSERT_TRUE(model.teaserPanel().panel().isVisible());
    EXPECT_EQ(fixture.dropSound->plays, 1);
    if (c.dismissedMeanwhile)
      model.dismiss();
    fixture.advance(0.1);
    EXPECT_EQ(model.repository().ledger().automaticPresentations().size(), c.recorded ? 1u : 0u);
    EXPECT_EQ(model.repository().seen().contains(model.teaser()->id()), c.recorded);
  }
}

TEST_F(ReaderModelDeliveryTest, TheSameTeaserShownAgainIsSilentAndCheckedAgain) {
  ReaderModel& model = open();
  fx.advance(3.05);
  ASSERT_TRUE(teaserUp());
  const DropSnapshot first = *model.teaser();
  const Date again = fx.now();
  model.show(false); // the reader asks while that teaser is up: the same drop
  EXPECT_EQ(*model.teaser(), first);
  EXPECT_EQ(fx.dropSound->plays, 1);
  fx.advance(0.1);
  // The first check was replaced; the second counts the showing the reader asked for.
  EXPECT_EQ(automaticShown(), 0);
  EXPECT_EQ(lastShown(), again);
}

TEST_F(ReaderModelDeliveryTest, ABlockedTimerShowsNothing) {
  ReaderModel& model = open();
  fx.advance(3.2);
  model.dismiss();
  ASSERT_EQ(automaticShown(), 1);
  fx.jumpWallClock(2 * 3600); // the 11:00 slot is due

  model.requestDrop(); // a card up: busy until it is read, and the card panel is visible
  model.openTeaser();
  ASSERT_TRUE(model.busy());
  const qint64 current = model.scheduleGeneration();
  ReaderModelTestAccess::fireDeliveryTimer(model);
  EXPECT_EQ(model.scheduleGeneration(), current + 1) << "a blocked timer still re-plans";
  EXPECT_FALSE(model.nextDelivery().has_value());
  EXPECT_EQ(automaticShown(), 1);
}

TEST_F(ReaderModelDeliveryTest, ALongSleepOverManySlotsShowsOneDrop) {
  ReaderPreferences hourly = ReaderModelFixture::readerPreferences();
  hourly.schedule =
      ScheduleSettings(ScheduleSettings::Interval::hourly, ScheduleInterval(0, 1440), std::nullopt, false);
  ReaderModel& model = open(hourly);
  fx.advance(3.2);
  model.dismiss();
  ASSERT_EQ(automaticShown(), 1);
  const Date planned = requiredValue(model.nextDelivery(), "nextDelivery");

  // The computer sleeps ten hours: the wall clock moves on, the wait fires once on waking.
  fx.jumpWallClock(10 * 3600);
  fx.advance(planned.secondsSince(fx.now()) + 10 * 3600 + 0.2);
  EXPECT_EQ(automaticShown(), 2);
  EXPECT_GT(*model.nextDelivery(), fx.now());
}

TEST_F(ReaderModelDeliveryTest, AFailedRecordStopsDeliveryForTheRun) {
  ReaderModel& model = open();
  model.setWindowOpen(true);
  model.setNavigationTab(ReaderTab::history);
  model.requestDrop();
  EXPECT_EQ(fx.hiddenCount, 1);
  ASSERT_TRUE(teaserUp());
  fx.failStoreWrites();
  fx.advance(0.1);

  EXPECT_FALSE(model.storageHealthy());
  EXPECT_TRUE(model.message()->startsWith(ReaderModel::deliveryFailurePrefix));
  EXPECT_TRUE(model.message()->endsWith(QStringLiteral("disk on fire")));
  EXPECT_FALSE(teaserUp());
  EXPECT_FALSE(model.panel().panel().isVisible());
  EXPECT_EQ(fx.openedPages, QList<ReaderTab>{ReaderTab::history});
  EXPECT_FALSE(model.nextDelivery().has_value());
  EXPECT_FALSE(model.nextDropLabel().has_value());

  fx.allowStoreWrites(); // even with storage back, the run stays paused
  fx.advance(6 * 3600);
  EXPECT_FALSE(teaserUp());
  model.requestDrop();
  EXPECT_FALSE(teaserUp());
  model.show(false);
  EXPECT_EQ(model.message(), ReaderModel::storagePausedPrompt);
  EXPECT_FALSE(teaserUp());
}

TEST_F(ReaderModelDeliveryTest, ASkippedSetupIsFinishedBeforeTheFirstDrop) {
  ReaderPreferences unfinished = ReaderModelFixture::readerPreferences();
  unfinished.onboardingComplete = false;
  ReaderModel& model = open(unfinished);
  fx.advance(3.2);
  EXPECT_FALSE(teaserUp()) << "no automatic drop before setup";
  EXPECT_FALSE(model.nextDelivery().has_value());
  model.requestDrop();
  // The finished setup is saved to the account first.
  ASSERT_TRUE(waitUntil([&] { return !model.busy(); }));
  EXPECT_FALSE(model.message().has_value());
  EXPECT_TRUE(model.preferences().value().onboardingComplete);
  EXPECT_TRUE(teaserUp());
  EXPECT_FALSE(model.busy());
  EXPECT_TRUE(model.nextDelivery().has_value());
}

TEST_F(ReaderModelDeliveryTest, AManualRequestThatCannotShowSaysWhyAndGivesTheWindowBack) {
  const struct {
    const char* name;
    bool signedIn;
    bool screens;
    QString message;
    QList<ReaderTab> opened;
  } cases[] = {
      {"signed out", false, true, ReaderModel::signInPrompt, {ReaderTab::welcome}},
      {"no screen", true, false, QStringLiteral("suppressed: no screen"), {ReaderTab::history}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ReaderModelFixture fixture;
    if (c.signedIn)
      fixture.signIn();
    if (!c.screens)
      fixture.screens() = SimulatedScreenSource({}, std::nullopt);
    ReaderModel& model = fixture.open();
    model.setWindowOpen(true);
    model.setNavigationTab(ReaderTab::history);
    model.show(false);
    EXPECT_EQ(model.message(), c.message);
    EXPECT_EQ(fixture.openedPages, c.opened);
    EXPECT_FALSE(model.teaserPanel().panel().isVisible());
  }
}

TEST_F(ReaderModelDeliveryTest, TheNextDropReadsAsToday_Tomorrow_OrAWeekday) {
  const QLocale british(QLocale::English, QLocale::UnitedKingdom);
  const Calendar utc(QTimeZone::utc());
  const Date monday = Date::fromQDateTime(QDateTime(QDate(2026, 3, 2), QTime(10, 0), QTimeZone::utc()));
  const auto at = [](int day, int hour, int minute) {
    return Date::fromQDateTime(QDateTime(QDate(2026, 3, day), QTime(hour, minute), QTimeZone::utc()));
  };
  EXPECT_EQ(ReaderModel::formatNextDrop(at(2, 23, 59), monday, utc, british), QStringLiteral("23:59"));
  EXPECT_EQ(ReaderModel::formatNextDrop(at(3, 0, 1), monday, utc, british), QStringLiteral("Tomorrow 00:01"));
  EXPECT_EQ(ReaderModel::formatNextDrop(at(5, 9, 0), monday, utc, british), QStringLiteral("Thu 09:00"));
  // A session with no language set still reads hours and minutes.
  EXPECT_EQ(ReaderModel::formatNextDrop(at(2, 23, 59), monday, utc, QLocale::c()), QStringLiteral("23:59"));
}

TEST_F(ReaderModelDeliveryTest, TomorrowBecomesTodayAtMidnightWithoutAReplan) {
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
  // 09:00 UTC is 23:00 there: the day's slots are over, and midnight comes before the
  // background sync re-plans.
  fx.setTimeZone(QTimeZone("Pacific/Kiritimati"));
  ReaderModel& model = open();
  fx.advance(60);
  ASSERT_EQ(model.nextDropLabel(), QStringLiteral("Tomorrow 09:00"));
  const qint64 generation = model.scheduleGeneration();
  int signals = 0;
  QObject::connect(&model, &ReaderModel::nextDropLabelChanged, [&] { ++signals; });
  fx.advance(3600 - 60); // local midnight
  EXPECT_EQ(model.nextDropLabel(), QStringLiteral("09:00"));
  EXPECT_EQ(signals, 1);
  EXPECT_EQ(model.scheduleGeneration(), generation);
  QLocale::setDefault(QLocale::c());
}

} // namespace
} // namespace brindlewick
