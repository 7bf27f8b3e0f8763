#include "ReaderWindowTestFixture.h"
#include "TestOutput.h"
#include "ui/design/DrawingCaches.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropSelectionStyle.h"
#include "ui/window/CachedSidebarSurface.h"
#include "ui/window/ReaderSidebar.h"
#include "ui/window/SidebarNextDrop.h"

#include <QAccessible>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

ReaderPreferences withSchedule(ScheduleSettings::Interval interval, ScheduleInterval hours, bool paused) {
  ReaderPreferences preferences = ReaderModelFixture::readerPreferences();
  preferences.schedule = ScheduleSettings(interval, hours, std::nullopt, paused);
  return preferences;
}

TEST(ReaderSidebar, LightsTheRowOfThePageOnShow) {
  // Pages that are not rows light the row they belong to.
  const std::pair<ReaderTab, ReaderTab> cases[] = {
      {ReaderTab::welcome, ReaderTab::welcome},  {ReaderTab::discover, ReaderTab::discover},
      {ReaderTab::history, ReaderTab::discover}, {ReaderTab::read, ReaderTab::discover},
      {ReaderTab::saved, ReaderTab::saved},      {ReaderTab::settings, ReaderTab::settings},
  };
  ReaderWindowHarness w(true);
  for (const auto& [shown, lit] : cases) {
    w.model->setNavigationTab(shown);
    for (const ReaderTab tab : ReaderSidebar::listedTabs) {
      DropSelectionItem* row = w.home->sidebar()->row(tab);
      EXPECT_EQ(row->isChecked(), tab == lit) << id(shown).toStdString() << " " << id(tab).toStdString();
      EXPECT_EQ(row->selectionStyle().selected, tab == lit);
    }
  }
  // The lit row's click still moves from the reading page to the list.
  w.model->setNavigationTab(ReaderTab::read);
  w.home->sidebar()->row(ReaderTab::discover)->click();
  EXPECT_EQ(w.model->navigationTab(), ReaderTab::discover);
}

// The row the keys are on is ringed and keeps its own fill, so it never passes for the page on
// show; the row on show that the keys reach shows its glass and the ring.
TEST(ReaderSidebar, TheRowTheKeysAreOnIsRingedAndNotLitAsTheSelectedOne) {
  ReaderWindowHarness w(true);
  ReaderSidebar* sidebar = w.home->sidebar();
  DropSelectionItem* library = sidebar->row(ReaderTab::discover);
  const QRect tile(library->mapTo(sidebar, library->shapeRect().topLeft()), library->shapeRect().size());
  const QPoint inside(tile.right() - 8, tile.center().y()); // clear of the label
  const QPoint ring(tile.left() - 2, tile.center().y());
  const auto picture = [&](const QString& name) {
    const QImage image = sidebar->grab().toImage();
    image.save(testing::testOutputPath(name));
    return image;
  };
  const QImage plain = picture(QStringLiteral("sidebar-plain.png"));
  ASSERT_TRUE(w.tabTo(sidebar->row(ReaderTab::welcome)));
  w.press(Qt::Key_Down);
  ASSERT_EQ(QApplication::focusWidget(), library);
  const QImage focused = picture(QStringLiteral("sidebar-focused-row.png"));
  w.model->setNavigationTab(ReaderTab::discover);
  const QImage both = picture(QStringLiteral("sidebar-focused-selected-row.png"));
  const struct {
    const char* name;
    const QImage& image;
    bool ringed;
  } looks[] = {{"plain", plain, false}, {"focused", focused, true}, {"focused and selected", both, true}};
  for (const auto& look : looks)
    EXPECT_EQ(qGray(look.image.pixel(ring)) < 100, look.ringed) << look.name;
  EXPECT_EQ(focused.pixel(inside), plain.pixel(inside));
  EXPECT_NE(both.pixel(inside), focused.pixel(inside));
}

TEST(ReaderSidebar, EachRowIsAPageTabWhoseOwnActionOpensItsPage) {
  ReaderWindowHarness w(true);
  w.model->setNavigationTab(ReaderTab::settings);
  for (const ReaderTab tab : ReaderSidebar::listedTabs) {
    QAccessibleInterface* row = QAccessible::queryAccessibleInterface(w.home->sidebar()->row(tab));
    EXPECT_EQ(row->role(), QAccessible::PageTab) << id(tab).toStdString();
    ASSERT_EQ(row->actionInterface()->actionNames().value(0), QAccessibleActionInterface::pressAction());
    row->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QTest::qWait(1);
    EXPECT_EQ(w.model->navigationTab(), tab) << id(tab).toStdString();
    for (const ReaderTab other : ReaderSidebar::listedTabs) {
      const QAccessible::State state =
          QAccessible::queryAccessibleInterface(w.home->sidebar()->row(other))->state();
      EXPECT_EQ(state.selected, other == tab) << id(tab).toStdString() << " " << id(other).toStdString();
      EXPECT_FALSE(state.checkable);
    }
  }
}

TEST(ReaderSidebar, ShowDropIsOfferedOnlyWhenADropCanBeAskedFor) {
  const struct {
    const char* name;
    bool onboarded;
    std::function<void(ReaderWindowHarness&)> arrange;
    bool enabled;
  } cases[] = {
      {"signed in", true, nullptr, true},
      {"before setup is complete", false, nullptr, true},
      {"busy", true, [](ReaderWindowHarness& w) { ReaderModelTestAccess::setBusy(*w.model, true); }, false},
      {"storage unhealthy", true,
       [](ReaderWindowHarness& w) { ReaderModelTestAccess::setStorageHealthy(*w.model, false); }, false},
      {"session expired", true,
       [](ReaderWindowHarness& w) {
         w.fixture.jumpWallClock(31 * 86400.0);
         w.model->account().recheckAccess();
         ASSERT_TRUE(w.model->account().hasStoredSession());
       },
       false},
      {"signed out", true, [](ReaderWindowHarness& w) { w.signOut(); }, false},
  };
  for (const auto& c : cases) {
    ReaderPreferences preferences = ReaderModelFixture::readerPreferences();
    preferences.onboardingComplete = c.onboarded;
    ReaderWindowHarness w(true, QSize(960, 640), preferences);
    if (c.arrange)
      c.arrange(w);
    ReaderSidebar& sidebar = *w.home->sidebar();
    EXPECT_EQ(sidebar.showDropButton()->isEnabledTo(&sidebar), c.enabled) << c.name;
  }
}

TEST(CachedSidebarSurface, KeepsItsPictureWhileShownAndDropsItWhileHidden) {
  QWidget window;
  window.resize(320, 600);
  auto* surface = new CachedSidebarSurface(&window);
  surface->setGeometry(0, 0, 280, 600);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const QImage painted = surface->grab().toImage();
  const qint64 kept = surface->picture().cacheKey();
  EXPECT_EQ(surface->picture().cacheKey(), kept) << "painted once, then copied";

  window.hide();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const qint64 remade = surface->picture().cacheKey();
  EXPECT_NE(remade, kept) << "made again after the window was hidden";
  EXPECT_EQ(surface->grab().toImage(), painted);

  // With the other drawing caches, once the reader has looked away long enough.
  DrawingCaches::release();
  EXPECT_NE(surface->picture().cacheKey(), remade);
  delete surface;
  DrawingCaches::release(); // the gone surface is no longer asked
}

TEST(SidebarNextDrop, SaysWhenTheNextDropComesOrNothing) {
  using Interval = ScheduleSettings::Interval;
  const ScheduleInterval workingHours = ScheduleInterval::standardWorkingHours();
  using Status = SidebarNextDrop::Status;
  const struct {
    const char* name;
    bool signedIn;
    ReaderPreferences preferences;
    std::function<void(ReaderWindowHarness&)> arrange;
    std::optional<Status> status;
  } cases[] = {
      {"every two hours", true, withSchedule(Interval::everyTwoHours, workingHours, false), nullptr,
       Status{"Next drop 11:00", "Every 2 hours", false}},
      {"every hour", true, withSchedule(Interval::hourly, workingHours, false), nullptr,
       Status{"Next drop 10:00", "Every hour", false}},
      {"paused", true, withSchedule(Interval::hourly, workingHours, true), nullptr,
       Status{"Drops paused", "Show one anytime", true}},
      {"paused, storage unhealthy", true, withSchedule(Interval::hourly, workingHours, true),
       [](ReaderWindowHarness& w) { ReaderModelTestAccess::setStorageHealthy(*w.model, false); },
       std::nullopt},
      {"nothing planned", true, withSchedule(Interval::hourly, workingHours, false),
       [](ReaderWindowHarness& w) {
         Q_EMIT w.fixture.desktop().events.screensDidSleep();
         QApplication::processEvents();
       },
       std::nullopt},
      {"signed out", false, withSchedule(Interval::hourly, workingHours, true), nullptr, std::nullopt},
  };
  for (const auto& c : cases) {
    ReaderWindowHarness w(c.signedIn, QSize(960, 640), c.preferences);
    if (c.arrange)
      c.arrange(w);
    const SidebarNextDrop& block = *w.home->sidebar()->nextDrop();
    EXPECT_EQ(block.shownStatus(), c.status) << c.name;
    EXPECT_EQ(block.isVisibleTo(w.home->sidebar()), c.status.has_value()) << c.name;
  }
}

TEST(SidebarNextDrop, MidnightTurnsTomorrowIntoToday) {
  // 09:00 on the fixture's first day, after the day's only slots (06:00 and 07:00).
  ReaderWindowHarness w(
      true, QSize(960, 640),
      withSchedule(ScheduleSettings::Interval::hourly, ScheduleInterval(6 * 60, 8 * 60), false));
  const SidebarNextDrop& block = *w.home->sidebar()->nextDrop();
  ASSERT_TRUE(block.shownStatus());
  EXPECT_EQ(block.shownStatus()->title, QStringLiteral("Next drop Tomorrow 06:00"));
  w.fixture.advance(15 * 3600.0 - 1);
  w.fixture.settle();
  EXPECT_EQ(block.shownStatus()->title, QStringLiteral("Next drop Tomorrow 06:00"));
  w.fixture.advance(2);
  EXPECT_EQ(block.shownStatus(), (SidebarNextDrop::Status{"Next drop 06:00", "Every hour", false}));
}

} // namespace
} // namespace brindlewick
