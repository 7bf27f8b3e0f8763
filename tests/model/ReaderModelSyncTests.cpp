#include "model/ReaderModelFixture.h"

#include "AccountFixtures.h"
#include "AsyncProbe.h"

#include <QFile>

#include <algorithm>

#include <gtest/gtest.h>

namespace brindlewick {

struct ReaderModelTestAccess {
  static void setMessage(ReaderModel& model, const QString& text) { model.setMessage(text); }
};

namespace {

const QString mePath = QStringLiteral("/api/reader/me");
const QString tokenPath = QStringLiteral("/api/reader-auth/device/token");

class ReaderModelSyncTest : public ::testing::Test {
protected:
  ReaderModel& openSignedIn() {
    fx.signIn();
    return fx.open();
  }
  void failSyncs() {
    fx.harness().service().addFault("GET", mePath, {.times = StandInFault::always, .status = 503});
  }
  int syncs() { return fx.requestsTo(mePath); }
  void focus() {
    Q_EMIT fx.desktop().events.windowBecameKey();
    fx.settle();
  }

  ReaderModelFixture fx;
};

TEST_F(ReaderModelSyncTest, FailedSyncsBackOffUpToSixHoursAndASuccessStartsOver) {
  ReaderModel& model = openSignedIn();
  EXPECT_EQ(model.refreshDeadline(), fx.harness().scheduler().now() + 21600);
  failSyncs();
  finishTask(model.refresh(false));
  for (const double wait : {60, 300, 900, 3600, 21600, 21600}) {
    SCOPED_TRACE(wait);
    const int before = syncs();
    fx.advance(wait - 1);
    EXPECT_EQ(syncs(), before);
    fx.advance(1);
    fx.settle();
    EXPECT_EQ(syncs(), before + 1);
  }
  EXPECT_EQ(model.refreshFailures(), ReaderModel::maximumRefreshFailures);
  fx.harness().service().clearFaults();
  fx.advance(21600);
  fx.settle();
  EXPECT_EQ(model.refreshFailures(), 0);
  EXPECT_EQ(model.refreshDeadline(), fx.harness().scheduler().now() + 21600);
}

TEST_F(ReaderModelSyncTest, ASyncWhileOneRunsIsDroppedUncounted) {
  ReaderModel& model = openSignedIn();
  failSyncs();
  const int before = syncs();
  const auto first = startTask(model.refresh(false));
  const auto second = startTask(model.refresh(false));
  EXPECT_TRUE(second->finished);
  waitUntilFinished(first);
  EXPECT_EQ(syncs(), before + 1);
  EXPECT_EQ(model.refreshFailures(), 1);
}

TEST_F(ReaderModelSyncTest, WithoutASessionNothingIsSentAndNoSyncIsPlanned) {
  ReaderModel& model = fx.open();
  finishTask(model.refresh(true));
  Q_EMIT fx.desktop().events.networkBecameOnline();
  focus();
  EXPECT_EQ(syncs(), 0);
  EXPECT_FALSE(model.refreshPlanned());
  EXPECT_EQ(model.lastFocusSync(), Date::distantPast());
}

TEST_F(ReaderModelSyncTest, OnlyAReportingSyncShowsItsFailureAndNeitherTouchesTheMessage) {
  ReaderModel& model = openSignedIn();
  failSyncs();
  ReaderModelTestAccess::setMessage(model, QStringLiteral("earlier"));
  finishTask(model.refresh(false));
  EXPECT_FALSE(model.syncIssue());
  finishTask(model.refresh(true));
  EXPECT_TRUE(model.syncIssue()->startsWith(ReaderModel::syncFailurePrefix));
  EXPECT_EQ(model.message(), QStringLiteral("earlier"));
  EXPECT_TRUE(model.lastSyncFailed());
}

// A newer release at the service, withdrawing the drop at `withdrawn` of the installed one.
QByteArray releaseWithdrawing(const GeneratedRelease& installed, qsizetype withdrawn) {
  ContentRelease release = installed.release;
  const QString id = release.lore.takeAt(withdrawn).id;
  for (Drop& drop : release.lore)
    drop.relatedLoreIds.removeAll(id);
  release.withdrawals.append(Withdrawal{id, QStringLiteral("Withdrawn."), release.publishedAt});
  release.releaseId = QStringLiteral("0a1b2c3d-4e5f-4a6b-8c7d-8e9f0a1b2c3d");
  return encodeRelease(release);
}

TEST(ReaderModelWithdrawal, ACardWhoseDropASyncWithdrawsClosesAndAnyOtherStaysUp) {
  for (const bool withdrawingTheCard : {true, false}) {
    SCOPED_TRACE(withdrawingTheCard ? "the card's drop withdrawn" : "another drop withdrawn");
    ReaderModelFixture fx;
    fx.signIn();
    ReaderModel& model = fx.open();
    fx.advance(3.2);
    model.openTeaser();
    ASSERT_TRUE(model.panel().panel().isVisible());
    const QString card = model.current()->id();
    const auto index = std::find_if(fx.release().release.lore.begin(), fx.release().release.lore.end(),
                                    [&](const Drop& drop) { return drop.id == card; }) -
                       fx.release().release.lore.begin();
    const qsizetype withdrawn = withdrawingTheCard ? index : (index + 1) % fx.release().release.lore.size();
    fx.harness().service().content().publish(releaseWithdrawing(fx.release(), withdrawn));

    finishTask(model.refresh(false));
    fx.settle();
    ASSERT_EQ(model.repository().withdrawals().size(), 1) << "the new release was not installed";
    EXPECT_EQ(model.panel().panel().isVisible(), !withdrawingTheCard);
  }
}

TEST_F(ReaderModelSyncTest, WakeScreensAndUnlockGiveOneMissedDropCheckAfterTheLast) {
  ReaderModel& model = openSignedIn();
  SystemEvents& events = fx.desktop().events;
  Q_EMIT events.screenLocked(); // before the catch-up finds the 09:00 slot
  EXPECT_FALSE(model.nextDelivery());
  fx.advance(10);
  Q_EMIT events.didWake();
  fx.settle();
  fx.advance(1);
  Q_EMIT events.screensDidWake();
  fx.settle();
  fx.advance(1);
  Q_EMIT events.screenUnlocked();
  fx.advance(2.9);
  EXPECT_FALSE(model.teaserPanel().panel().isVisible());
  fx.advance(0.2);
  EXPECT_TRUE(model.teaserPanel().panel().isVisible());
  model.openTeaser();
  ASSERT_TRUE(model.panel().panel().isVisible());
  Q_EMIT events.screenLocked();
  EXPECT_FALSE(model.panel().panel().isVisible());
  EXPECT_FALSE(model.nextDelivery());
}

TEST_F(ReaderModelSyncTest, FocusSyncsAtMostOncePerMinuteUnlessASyncProblemIsShown) {
  ReaderModel& model = openSignedIn();
  int expected = syncs();
  const auto focusSyncs = [&](bool syncs_) {
    focus();
    expected += syncs_ ? 1 : 0;
    EXPECT_EQ(syncs(), expected);
  };
  focusSyncs(true); // the first focus of the run
  fx.advance(30);
  focusSyncs(false);
  fx.advance(31);
  focusSyncs(true);
  fx.jumpWallClock(-120); // set back: long ago, not in the future
  focusSyncs(true);
  model.beginAccountSignIn();
  ASSERT_TRUE(waitUntil([&] { return model.signInCode().has_value(); }));
  const Date last = model.lastFocusSync();
  fx.advance(61);
  Q_EMIT fx.desktop().events.windowBecameKey();
  flushEvents();
  EXPECT_EQ(syncs(), expected);
  EXPECT_EQ(model.lastFocusSync(), last);
  model.cancelAccountSignIn();
  fx.settle();

  failSyncs();
  focusSyncs(true);
  EXPECT_FALSE(model.syncIssue());
  fx.advance(2.9);
  EXPECT_EQ(syncs(), expected);
  fx.advance(0.1);
  fx.settle();
  EXPECT_EQ(syncs(), ++expected); // the retry, reported
  EXPECT_TRUE(model.syncIssue());
  focusSyncs(true); // a problem is shown: every focus syncs
}

TEST_F(ReaderModelSyncTest, AClockSetBackPausesDeliveryUntilTheNextFocusWakeOrNetwork) {
  const std::function<void(SystemEvents&)> recoveries[] = {
      [](SystemEvents& events) { Q_EMIT events.windowBecameKey(); },
      [](SystemEvents& events) { Q_EMIT events.didWake(); },
      [](SystemEvents& events) { Q_EMIT events.networkBecameOnline(); },
  };
  for (const auto& recover : recoveries) {
    ReaderModelFixture fixture;
    fixture.signIn();
    ReaderModel& model = fixture.open();
    ASSERT_TRUE(model.nextDelivery());
    fixture.jumpWallClock(-1);
    Q_EMIT fixture.desktop().events.activeApplicationChanged();
    flushEvents();
    EXPECT_FALSE(model.nextDelivery());
    EXPECT_FALSE(model.refreshPlanned());
    recover(fixture.desktop().events);
    fixture.settle();
    EXPECT_TRUE(model.account().isSignedIn());
    EXPECT_TRUE(model.nextDelivery());
    EXPECT_TRUE(model.refreshPlanned());
  }
}

TEST_F(ReaderModelSyncTest, SignedOutApplicationSwitchesNeverWriteTheSettingsFile) {
  fx.open();
  ASSERT_TRUE(QFile::remove(fx.accountSettingsFile()));
  for (int i = 0; i < 10; ++i) {
    Q_EMIT fx.desktop().events.activeApplicationChanged();
    flushEvents();
  }
  EXPECT_FALSE(QFile::exists(fx.accountSettingsFile()));
}

class ReaderModelSignInTest : public ReaderModelSyncTest {
protected:
  int polls() { return fx.requestsTo(tokenPath); }
};

TEST_F(ReaderModelSignInTest, AFailingBrowserStillWaitsForTheApproval) {
  fx.browser.opens = false;
  ReaderModel& model = fx.openSigningIn();
  EXPECT_EQ(fx.browser.opened, QList<QUrl>{*model.signInURL()});
  EXPECT_EQ(model.message(), ReaderModel::browserFailureMessage);
  model.beginAccountSignIn(); // refused: one sign-in at a time
  fx.harness().service().grants().approve(*model.signInCode(), AccountFixtures::userID);
  fx.advance(5);
  fx.settle();
  EXPECT_EQ(polls(), 1);
  EXPECT_TRUE(model.account().isSignedIn());
  EXPECT_FALSE(model.accountBusy() || model.signInRunning() || model.signInCode());
  EXPECT_TRUE(model.nextDelivery());
}

// The browser answers when it has tried: a failure about a page the reader has since left
// (cancelled, or a new code) is not news, and cancelling takes the old failure away with
// the code.
TEST_F(ReaderModelSignInTest, TheBrowsersAnswerCountsOnlyForThePageStillPending) {
  fx.browser.opens = false;
  fx.browser.holding = true;
  ReaderModel& model = fx.openSigningIn();
  EXPECT_FALSE(model.message()) << "no answer yet";
  model.cancelAccountSignIn();
  fx.browser.release();
  fx.settle();
  EXPECT_FALSE(model.message());

  fx.browser.holding = false;
  model.beginAccountSignIn();
  ASSERT_TRUE(waitUntil([&] { return model.message().has_value(); }));
  EXPECT_EQ(*model.message(), "The sign-in page could not open. Check your default browser and try again.");
  model.cancelAccountSignIn();
  EXPECT_FALSE(model.message());
  fx.settle();
  EXPECT_FALSE(model.message());
}

TEST_F(ReaderModelSignInTest, ASlowDownLengthensTheNextWait) {
  ReaderModel& model = fx.openSigningIn();
  fx.harness().service().addFault("POST", tokenPath,
                                  {.status = 400, .body = QByteArray(R"({"error":"slow_down"})")});
  fx.advance(5);
  ASSERT_TRUE(waitUntil([&] { return model.account().pendingDeviceCode()->interval == 10; }));
  flushEvents();
  fx.advance(9.9);
  EXPECT_EQ(polls(), 1);
  fx.advance(0.1);
  EXPECT_TRUE(waitUntil([&] { return polls() == 2; }));
}

// The keyring's bus call gives up on the credential (status 7) and the keyring performs the
// write once it resumes: the reader, told the sign-in failed, finds it failed after a restart.
TEST_F(ReaderModelSignInTest, ASignInShownAsFailedStaysFailedWhenTheKeyringStoresItLate) {
  ReaderModel& model = fx.openSigningIn();
  fx.harness().service().grants().approve(*model.signInCode(), AccountFixtures::userID);
  fx.storage().setHolding(true);
  fx.advance(5);
  ASSERT_TRUE(waitUntil([&] { return fx.storage().heldCount() == 1; }));
  fx.storage().failOldestSilently(7);
  fx.settle();
  EXPECT_EQ(model.message(), ReaderModel::signInFailurePrefix + KeychainError(7).description());
  EXPECT_FALSE(model.account().isSignedIn() || model.signInRunning());

  fx.storage().setHolding(false);
  fx.storage().releaseOldest();
  flushEvents();
  EXPECT_FALSE(fx.storage().items().isEmpty()) << "the keyring stored it late";
  fx.advance(AccountController::firstCredentialCheck);
  fx.settle();
  EXPECT_TRUE(fx.storage().items().isEmpty());
  EXPECT_FALSE(model.account().isSignedIn());
  fx.close();
  EXPECT_FALSE(fx.open().account().hasStoredSession());
}

TEST_F(ReaderModelSignInTest, CancellingDuringAWaitClearsEverythingSilently) {
  ReaderModel& model = fx.openSigningIn();
  model.cancelAccountSignIn();
  EXPECT_FALSE(model.signInCode());
  fx.settle();
  fx.advance(60);
  EXPECT_EQ(polls(), 0);
  EXPECT_FALSE(model.accountBusy() || model.signInRunning() || model.signInURL() || model.message());
  EXPECT_FALSE(model.account().isSigningIn());
}

TEST_F(ReaderModelSyncTest, SigningOutResetsThisComputersAccountState) {
  ReaderModel& model = openSignedIn();
  const std::optional<quint32> display = model.preferences().value().preferredDisplayID;
  model.setLibrarySearch(QStringLiteral("stoics"));
  model.setNavigationTab(ReaderTab::read);
  model.signOutAccount();
  fx.settle();
  EXPECT_FALSE(model.account().isSignedIn());
  EXPECT_FALSE(model.message());
  EXPECT_EQ(model.navigationTab(), ReaderTab::welcome);
  EXPECT_TRUE(model.librarySearch().isEmpty());
  ReaderPreferences reset;
  reset.preferredDisplayID = display;
  EXPECT_EQ(model.preferences().value(), reset);
  EXPECT_FALSE(model.nextDelivery());
  EXPECT_FALSE(model.refreshPlanned());
}

} // namespace
} // namespace brindlewick
