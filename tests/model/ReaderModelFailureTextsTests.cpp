#include "model/ReaderModelFixture.h"

#include "AsyncProbe.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

// The one-line outcomes of the account and setup actions, as the reader reads them: written
// out here in full, so that a changed word, a lost prefix or a miscounted decline fails.

namespace brindlewick {
namespace {

const QString tokenPath = QStringLiteral("/api/reader-auth/device/token");

// The service's next answer to a poll ends the sign-in.
void answerNextPoll(ReaderModelFixture& fx, int status, const QByteArray& body) {
  fx.harness().service().addFault("POST", tokenPath, {.status = status, .body = body});
  fx.advance(5);
  fx.settle();
}

TEST(ReaderModelFailureTexts, HowASignInEndsIsOneLineWordForWord) {
  const struct {
    const char* name;
    int status;
    QByteArray body;
    QString message;
    int declined;
  } rows[] = {
      {"declined in the browser", 400, R"({"error":"access_denied"})", "Sign-in was declined in the browser.", 1},
      {"the code expired", 400, R"({"error":"expired_token"})",
       "Sign-in could not finish: " + AccountError::deviceExpired().description(), 0},
      {"a reply that does not decode", 200, R"({"unexpected":true})",
       "Sign-in could not finish: Brindlewick got an unexpected reply. Please try again.", 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ReaderModelFixture fx;
    ReaderModel& model = fx.openSigningIn();
    QSignalSpy declines(&model, &ReaderModel::signInDeclinedChanged);
    answerNextPoll(fx, row.status, row.body);
    EXPECT_EQ(model.message(), row.message);
    EXPECT_EQ(model.signInDeclined(), row.declined);
    EXPECT_EQ(declines.count(), row.declined);
    EXPECT_FALSE(model.account().isSignedIn());
    EXPECT_FALSE(model.accountBusy() || model.signInCode() || model.signInURL());
  }
}

// Every decline counts, and each is signalled, however often the reader declines.
TEST(ReaderModelFailureTexts, EachDeclineRaisesTheCountByOne) {
  ReaderModelFixture fx;
  ReaderModel& model = fx.openSigningIn();
  QSignalSpy declines(&model, &ReaderModel::signInDeclinedChanged);
  for (int round = 1; round <= 3; ++round) {
    if (round > 1) {
      model.beginAccountSignIn();
      ASSERT_TRUE(waitUntil([&] { return model.signInCode().has_value(); }));
      EXPECT_FALSE(model.message()) << "a new sign-in starts without the old outcome";
    }
    answerNextPoll(fx, 400, R"({"error":"access_denied"})");
    EXPECT_EQ(model.signInDeclined(), round);
    EXPECT_EQ(declines.count(), round);
    EXPECT_EQ(model.message(), "Sign-in was declined in the browser.");
  }
}

// A keyring that cannot remove the credential keeps the reader signed in, and says so.
TEST(ReaderModelFailureTexts, ASignOutTheKeyringRefusesNeedsAttention) {
  ReaderModelFixture fx;
  fx.signIn();
  ReaderModel& model = fx.open();
  fx.storage().setFailure(-128);
  model.signOutAccount();
  fx.settle();
  ASSERT_TRUE(model.message());
  EXPECT_TRUE(model.message()->startsWith(QStringLiteral("Sign-out needs attention: "))) << model.message()->toStdString();
  EXPECT_GT(model.message()->size(), QStringLiteral("Sign-out needs attention: ").size());
  EXPECT_TRUE(model.account().isSignedIn());
}

// Settings files that cannot be written: the settings folder's file is a folder now.
void breakSettingsFile(ReaderModelFixture& fx) {
  QFile::remove(fx.accountSettingsFile());
  QDir().mkpath(fx.accountSettingsFile());
}

// A session that ends without the reader's sign-out (another part of the application, or an
// expiry) still puts the default settings on this computer; when they cannot be written, the
// reader is told.
TEST(ReaderModelFailureTexts, DefaultSettingsThatCannotBeWrittenAfterTheSessionEndsSaySo) {
  ReaderModelFixture fx;
  fx.signIn();
  ReaderModel& model = fx.open();
  breakSettingsFile(fx);
  const auto signedOut = startTask(model.account().signOut());
  ASSERT_TRUE(waitUntilFinished(signedOut));
  fx.settle();
  EXPECT_FALSE(model.account().isSignedIn());
  // The message names the settings file and what stands in its way.
  EXPECT_EQ(model.message(),
            "Account settings could not be reset: " +
                QString::fromUtf8(PreferencesError(PreferencesError::Case::notSaved, fx.accountSettingsFile(),
                                                   QStringLiteral("a folder is in its place"))
                                      .what()));
}

// "Show Drop" after a skipped setup saves the finished setup to the account first; when that
// fails, no drop comes and the reader reads why.
TEST(ReaderModelFailureTexts, ASetupThatCannotBeSavedSaysSoAndShowsNoDrop) {
  ReaderModelFixture fx;
  ReaderPreferences unfinished = ReaderModelFixture::readerPreferences();
  unfinished.onboardingComplete = false;
  fx.signIn(unfinished);
  ReaderModel& model = fx.open();
  fx.harness().service().addFault("PUT", QStringLiteral("/api/reader/preferences"),
                                  {.times = StandInFault::always, .status = 503});
  model.requestDrop();
  ASSERT_TRUE(waitUntil([&] { return !model.busy(); }));
  ASSERT_TRUE(model.message());
  EXPECT_TRUE(model.message()->startsWith(QStringLiteral("Could not finish setup: "))) << model.message()->toStdString();
  EXPECT_GT(model.message()->size(), QStringLiteral("Could not finish setup: ").size());
  EXPECT_FALSE(model.teaserPanel().panel().isVisible());
  EXPECT_FALSE(model.preferences().value().onboardingComplete);
}

} // namespace
} // namespace brindlewick
