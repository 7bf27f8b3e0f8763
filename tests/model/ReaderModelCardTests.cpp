#include "AsyncProbe.h"
#include "model/ReaderModelFixture.h"

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

QString words(int count, QChar separator = QLatin1Char(' ')) {
  QStringList list;
  for (int i = 0; i < count; ++i)
    list.append(QStringLiteral("word"));
  return list.join(separator);
}

TEST(ReaderModelReadingTime, HalfASecondPerWordAndNeverUnder45Seconds) {
  const struct {
    QString explanation;
    double seconds;
  } cases[] = {
      {words(90), 45},
      {words(91), 45.5},
      {words(200), 100},
      {QStringLiteral(" \n\t "), 45},
      {words(120, QChar(0x00A0)), 60}, // no-break spaces separate
      {words(120, QChar(0x2028)), 60}, // so do line separators
      {QStringLiteral("  a,b  ") + words(119, QLatin1Char('\n')) + QStringLiteral("   "), 60},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ReaderModel::autoCollapseDelay(c.explanation), c.seconds)
        << c.explanation.left(40).toStdString();
}

class ReaderModelCardTest : public ::testing::Test {
protected:
  // Signed in with a teaser up (shown and counted at 09:00).
  ReaderModel& openWithTeaser() {
    fx.signIn();
    ReaderModel& model = fx.open();
    fx.advance(3.2);
    EXPECT_TRUE(model.teaserPanel().panel().isVisible());
    return model;
  }
  bool cardUp() { return fx.model().panel().panel().isVisible(); }
  qsizetype readings() { return fx.model().accountHistory().size(); }

  ReaderModelFixture fx;
};

TEST_F(ReaderModelCardTest, AReadingCountsAfter056SecondsOnlyForACardStillUp) {
  ReaderModel& model = openWithTeaser();
  model.openTeaser();
  ASSERT_TRUE(cardUp());
  EXPECT_TRUE(model.busy());
  fx.advance(0.55);
  EXPECT_EQ(readings(), 0);
  fx.advance(0.01);
  EXPECT_EQ(readings(), 1);
  EXPECT_FALSE(model.busy());
  const Date read = fx.now();
  EXPECT_EQ(model.repository().ledger().lastPresentation(), read);

  // A card closed within its confirmation: nothing counted, and not busy any more.
  model.collapseReader();
  model.openTeaser();
  fx.advance(0.5);
  model.dismiss();
  EXPECT_FALSE(model.busy());
  fx.advance(1);
  EXPECT_EQ(model.repository().ledger().lastPresentation(), read);
}

TEST_F(ReaderModelCardTest, AFailedReadingClosesTheCardAndPausesDelivery) {
  ReaderModel& model = openWithTeaser();
  model.setWindowOpen(true);
  model.setNavigationTab(ReaderTab::saved);
  model.openTeaser(); // hides the reader window
  EXPECT_EQ(fx.hiddenCount, 1);
  fx.failStoreWrites();
  fx.advance(ReaderModel::readingConfirmationDelay);
  EXPECT_FALSE(model.storageHealthy());
  EXPECT_TRUE(model.message()->startsWith(ReaderModel::readingFailurePrefix));
  EXPECT_FALSE(cardUp());
  EXPECT_FALSE(model.busy());
  EXPECT_EQ(fx.openedPages, QList<ReaderTab>{ReaderTab::saved});
  EXPECT_FALSE(model.nextDelivery().has_value());
}

TEST_F(ReaderModelCardTest, TheCardFoldsAwayAfterItsReadingTimeUnlessHovered) {
  ReaderModel& model = openWithTeaser();
  model.openTeaser();
  fx.advance(ReaderModel::readingConfirmationDelay);
  const double reading = ReaderModel::autoCollapseDelay(model.current()->lore.explanation);
  fx.advance(reading - 0.01);
  ASSERT_TRUE(cardUp());

  // Hovering cancels; leaving starts the whole time again, and so does leaving again.
  model.setHovered(true);
  fx.advance(reading);
  ASSERT_TRUE(cardUp());
  model.setHovered(false);
  fx.advance(reading / 2);
  model.setHovered(false);
  fx.advance(reading - 0.01);
  EXPECT_TRUE(cardUp());
  fx.advance(0.02);
  EXPECT_FALSE(cardUp());
  EXPECT_FALSE(model.current().has_value());
  EXPECT_TRUE(model.teaserPanel().panel().isVisible()) << "the card folds back into the teaser";
}

TEST_F(ReaderModelCardTest, AScreenReaderOrAKeyCardKeepsTheCardUp) {
  for (const bool screenReader : {true, false}) {
    SCOPED_TRACE(screenReader ? "screen reader" : "key card");
    ReaderModelFixture fixture;
    fixture.signIn();
    ReaderModel& model = fixture.open();
    fixture.advance(3.2);
    fixture.desktop().state.screenReader = screenReader;
    model.openTeaser();
    fixture.advance(ReaderModel::readingConfirmationDelay);
    if (!screenReader)
      model.panel().focusForKeyboard(); // the wait is armed; its end finds the card key
    fixture.advance(ReaderModel::autoCollapseDelay(model.current()->lore.explanation) + 1);
    EXPECT_TRUE(model.panel().panel().isVisible());
  }
}

TEST_F(ReaderModelCardTest, AReadingIsReportedOnlyWithConsent) {
  for (const bool consent : {true, false}) {
    ReaderModelFixture fixture;
    ReaderPreferences preferences = ReaderModelFixture::readerPreferences();
    preferences.analyticsConsent = consent;
    fixture.signIn(preferences);
    ReaderModel& model = fixture.open();
    fixture.advance(3.2);
    fixture.harness().service().addFault("POST", "/api/reader/activity", {.status = 500});
    model.openTeaser();
    fixture.advance(ReaderModel::readingConfirmationDelay);
    waitUntil([&] { return fixture.requestsTo(QStringLiteral("/api/reader/activity")) > 0; },
              consent ? 10000 : 300);
    EXPECT_EQ(fixture.requestsTo(QStringLiteral("/api/reader/activity")), consent ? 1 : 0);
    EXPECT_FALSE(model.message().has_value()) << "a lost report is not shown";
  }
}

} // namespace
} // namespace brindlewick
