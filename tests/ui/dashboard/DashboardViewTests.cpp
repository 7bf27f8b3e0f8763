#include "../account/ContactSheet.h"
#include "model/ReaderModelFixture.h"
#include "ui/account/AccountView.h"
#include "ui/dashboard/DashboardCard.h"
#include "ui/dashboard/DashboardHero.h"
#include "ui/dashboard/DashboardIcon.h"
#include "ui/dashboard/DashboardView.h"
#include "ui/dashboard/DayGreetingLabel.h"
#include "ui/dashboard/HeroArt.h"
#include "ui/design/DropArtwork.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropTextBlock.h"

#include <QAccessible>

#include <gtest/gtest.h>

#include <cmath>

namespace brindlewick {
namespace {

using testing::ContactSheet;

enum class Situation { signedOut, storageDown, setupOpen, paused, ready };

// The model as a reader in `situation` finds it, on `fx`.
ReaderModel& open(ReaderModelFixture& fx, Situation situation) {
  if (situation != Situation::signedOut) {
    ReaderPreferences preferences = ReaderModelFixture::readerPreferences();
    preferences.onboardingComplete = situation != Situation::setupOpen;
    preferences.schedule.setPaused(situation == Situation::paused);
    fx.signIn(preferences);
  }
  return fx.open();
}

// A failed write of a delivery marks local storage unusable.
void breakStorage(ReaderModelFixture& fx, ReaderModel& model) {
  model.setWindowOpen(true);
  model.requestDrop();
  fx.failStoreWrites();
  fx.advance(0.1);
  ASSERT_FALSE(model.storageHealthy());
  model.setWindowOpen(false);
}

DropSnapshot unsavedSnapshot(const ReaderModelFixture& fx, ReaderModel& model) {
  for (const Drop& drop : fx.release().release.lore) {
    const std::optional<DropSnapshot> snapshot = model.repository().snapshot(drop.id);
    if (snapshot && !model.isSaved(*snapshot) && !model.isLoved(*snapshot))
      return *snapshot;
  }
  throw std::runtime_error("every drop is kept");
}

QString text(const DashboardView& view, const char* name) {
  return view.findChild<DropTextBlock*>(QString::fromLatin1(name))->text();
}

// The page as its host lays it out for `availableWidth`.
void addPage(ContactSheet& sheet, const QString& caption, DashboardView& view, qreal availableWidth) {
  view.setAvailableWidth(availableWidth);
  sheet.add(caption + QStringLiteral(" at %1").arg(availableWidth), view,
            int(std::ceil(availableWidth)) + 48);
}

TEST(DashboardView, EachSituationShowsItsStatusCardAndCounts) {
  const struct {
    Situation situation;
    const char* name;
    const char* status;
  } cases[] = {
      {Situation::signedOut, "signed out", "Sign in with Google to bring your reading together."},
      {Situation::storageDown, "storage unhealthy",
       "Your drops could not load on this computer. Sync again to continue."},
      {Situation::setupOpen, "setup unfinished", "Show Drop to finish setup and read your first idea."},
      {Situation::paused, "paused", "Automatic drops are paused. You can still show one anytime."},
      {Situation::ready, "ready", "Every 2 hours, 09:00\u201318:00."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ContactSheet sheet;
    ReaderModelFixture fx;
    ReaderModel& model = open(fx, c.situation);
    if (c.situation != Situation::signedOut)
      model.read(model.savedSnapshots().first());
    if (c.situation == Situation::storageDown)
      breakStorage(fx, model);
    DashboardView view(model, 760);

    EXPECT_EQ(text(view, "dashboard.status"), QString::fromUtf8(c.status));
    auto* button = view.findChild<DropButton*>(QStringLiteral("dashboard.delivery"));
    EXPECT_EQ(view.accountCard()->isVisibleTo(&view), c.situation == Situation::signedOut);
    // The library counts the installed release only while the reader is ready for it.
    const bool counts = c.situation != Situation::signedOut && c.situation != Situation::storageDown;
    EXPECT_EQ(view.findChild<QWidget*>(QStringLiteral("dashboard.discover"))->accessibleName(),
              counts ? "Library, 40. Ideas to explore" : "Library, 0. Ideas to explore");
    // The idea read last is saved, so even broken storage lets it be read again.
    EXPECT_EQ(view.continueCard()->isVisibleTo(&view), c.situation != Situation::signedOut);
    EXPECT_EQ(view.hero()->nextDrop()->isVisibleTo(&view), c.situation == Situation::ready);

    for (const qreal width : {639.9, 640.0, 759.9, 760.0})
      addPage(sheet, QString::fromLatin1(c.name), view, width);
    sheet.write(QStringLiteral("dashboard-%1.png").arg(QString::fromLatin1(c.name).replace(' ', '-')));

    button->click();
    EXPECT_EQ(model.navigationTab(), ReaderTab::settings);
    view.findChild<QPushButton*>(QStringLiteral("dashboard.saved"))->click();
    EXPECT_EQ(model.navigationTab(), ReaderTab::saved);
  }
}

// The card opens the idea read last; once that one cannot be read it goes, even though an
// idea read before it (saved, so still readable) remains.
TEST(DashboardView, TheContinueCardOpensTheIdeaReadLastWhileItIsReadable) {
  ReaderModelFixture fx;
  ReaderModel& model = open(fx, Situation::ready);
  model.read(model.savedSnapshots().first());
  const DropSnapshot last = unsavedSnapshot(fx, model);
  model.read(last);
  model.setNavigationTab(ReaderTab::welcome);
  DashboardView view(model, 700);
  ASSERT_TRUE(view.continueCard()->isVisibleTo(&view));
  view.continueCard()->click();
  EXPECT_EQ(model.navigationTab(), ReaderTab::read);
  EXPECT_EQ(model.detail()->id(), last.id());
  breakStorage(fx, model);
  EXPECT_FALSE(view.continueCard()->isVisibleTo(&view));
}

TEST(DashboardView, TheGreetingTurnsAtNoonWithoutRebuildingThePage) {
  ReaderModelFixture fx; // 09:00 UTC
  ReaderModel& model = open(fx, Situation::ready);
  DashboardView view(model, 760);
  DayGreetingLabel* greeting = view.hero()->greeting();
  fx.advance(2 * 3600 + 59 * 60 + 30); // 11:59:30
  const int rebuilds = view.rebuilds();
  EXPECT_EQ(greeting->text(), DayGreeting(DayGreeting::Case::morning).rawValue());
  fx.advance(29);
  EXPECT_EQ(greeting->text(), DayGreeting(DayGreeting::Case::morning).rawValue());
  fx.advance(1);
  EXPECT_EQ(greeting->text(), DayGreeting(DayGreeting::Case::afternoon).rawValue());
  EXPECT_EQ(view.rebuilds(), rebuilds);
  // Heard as the page's heading, in its new words; its icons are not heard at all.
  QAccessibleInterface* heard = QAccessible::queryAccessibleInterface(greeting);
  EXPECT_EQ(heard->role(), QAccessible::Heading);
  EXPECT_EQ(heard->text(QAccessible::Name), DayGreeting(DayGreeting::Case::afternoon).rawValue());
  const QList<DashboardIcon*> icons = view.findChildren<DashboardIcon*>();
  EXPECT_FALSE(icons.isEmpty());
  for (DashboardIcon* icon : icons)
    EXPECT_LT(QAccessible::queryAccessibleInterface(icon->parentWidget())
                  ->indexOfChild(QAccessible::queryAccessibleInterface(icon)),
              0);

  ContactSheet sheet;
  sheet.add(QStringLiteral("afternoon"), view, 808);
  fx.advance(6 * 3600);
  EXPECT_EQ(greeting->text(), DayGreeting(DayGreeting::Case::evening).rawValue());
  sheet.add(QStringLiteral("evening"), view, 808);
  fx.advance(11 * 3600);
  EXPECT_EQ(greeting->text(), DayGreeting(DayGreeting::Case::morning).rawValue());
  sheet.add(QStringLiteral("morning"), view, 808);
  sheet.write(QStringLiteral("dashboard-greetings.png"));
}

TEST(HeroArt, WithoutItsArtworkTheCornerStaysEmpty) {
  const auto painted = [](const QString& resource) {
    QImage image(240, 200, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    HeroArt::paint(painter, QRectF(0, 0, 240, 200), 1, resource);
    painter.end();
    return image;
  };
  QImage empty(240, 200, QImage::Format_ARGB32_Premultiplied);
  empty.fill(Qt::transparent);
  EXPECT_EQ(painted(QStringLiteral("no-such-art")), empty);
  EXPECT_NE(painted(DropArtwork::heroArt), empty);
}

} // namespace
} // namespace brindlewick
