#include "TestOutput.h"
#include "app/KeyringWaitWindow.h"
#include "app/KeyringWatch.h"
#include "app/LaunchRequestQueue.h"
#include "app/ReaderLaunch.h"
#include "desktop/KeychainStorage.h"
#include "model/ApplicationDefaults.h"
#include "model/ReaderModelFixture.h"
#include "ui/design/DropTextBlock.h"
#include "ui/onboarding/OnboardingView.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <optional>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace brindlewick;
using namespace Qt::StringLiterals;

namespace {

// What the process writes to standard error while it lives, kept in a file.
class StandardErrorCapture {
public:
  StandardErrorCapture() : m_saved(::dup(STDERR_FILENO)) {
    EXPECT_TRUE(m_file.open());
    std::fflush(stderr);
    ::dup2(m_file.handle(), STDERR_FILENO);
  }
  ~StandardErrorCapture() { restore(); }
  QByteArray text() {
    restore();
    m_file.seek(0);
    return m_file.readAll();
  }

private:
  void restore() {
    if (m_saved < 0)
      return;
    std::fflush(stderr);
    ::dup2(m_saved, STDERR_FILENO);
    ::close(m_saved);
    m_saved = -1;
  }
  QTemporaryFile m_file;
  int m_saved;
};

KeyringWaitWindow* visibleWaitWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* window = qobject_cast<KeyringWaitWindow*>(widget);
    if (window && window->isVisible())
      return window;
  }
  return nullptr;
}

// The start as the application makes it, its keyring watched, on the fixture's virtual time,
// with the keyring holding its answer to the credential's read.
class ReaderLaunchTest : public ::testing::Test {
protected:
  ReaderLaunchTest() {
    fixture.signIn();
    fixture.keyring = &watch;
    fixture.storage().setHolding(true);
    options.alert = [this](const QString& title, const QString& text) { alerts.append(title + '\n' + text); };
    options.openUrl = [](const QUrl&) {};
    options.statusItem = false;
  }

  // Launches, and once the start has been seen waiting on the keyring (sawWaitWindowInTime()),
  // runs `then` from the event loop.
  ReaderLaunch launchAfterTheWait(const std::function<void()>& then) {
    QTimer steps;
    bool waited = false;
    bool done = false;
    QObject::connect(&steps, &QTimer::timeout, [&] {
      if (done)
        return;
      if (!waited) {
        waited = sawWaitWindowInTime();
        return;
      }
      then();
      done = true;
    });
    steps.start(5);
    ReaderLaunch launch = launchReader(fixture.services(), options, requests, &watch);
    EXPECT_TRUE(done) << "the start ended before its steps did";
    return launch;
  }

  // Waits for the credential's read, then lets virtual time pass: no window just under the
  // notice delay, the wait window just after it.
  bool sawWaitWindowInTime() {
    if (fixture.storage().heldCount() != 1)
      return false;
    fixture.advance(KeyringWatch::noticeDelay - 0.1);
    EXPECT_EQ(visibleWaitWindow(), nullptr) << "a keyring that answers at once shows nothing";
    fixture.advance(0.2);
    KeyringWaitWindow* window = visibleWaitWindow();
    if (!window) {
      ADD_FAILURE() << "no wait window after " << KeyringWatch::noticeDelay + 0.1 << " s";
      return true;
    }
    EXPECT_EQ(window->headlineLabel()->text(), u"Waiting for the system keyring…");
    window->grab().save(brindlewick::testing::testOutputPath(QStringLiteral("keyring-wait.png")));
    return true;
  }

  // Waits as sawWaitWindowInTime() does, lets `giveUp` end the keyring's read with a failure,
  // and expects the start's alert to keep the start-up text and give `reason` on its next line,
  // as standard error does after its prefix.
  void expectStayedLockedAlert(const QString& reason, const std::function<void()>& giveUp,
                               const QString& picture) {
    StandardErrorCapture errors;
    const ReaderLaunch launch = launchAfterTheWait(giveUp);
    EXPECT_FALSE(launch.model);
    EXPECT_EQ(visibleWaitWindow(), nullptr);
    const QString text =
        u"Brindlewick could not open its local storage or configuration. No data was reset.\n"_s + reason;
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_EQ(alerts.front().toStdString(),
              (ReaderAppDelegate::startupAlertTitle + '\n' + text).toStdString());
    EXPECT_TRUE(errors.text().contains("Brindlewick initialization failed: " + reason.toUtf8() + '\n'))
        << errors.text().toStdString();
    ReaderAppDelegate::makeAlert(ReaderAppDelegate::startupAlertTitle, text)
        ->grab()
        .save(brindlewick::testing::testOutputPath(picture));
    // The keyring answers after all: nothing is left waiting.
    fixture.storage().setHolding(false);
    fixture.storage().releaseOldest();
  }

  ReaderModelFixture fixture;
  KeyringWatch watch{fixture.storage(), fixture.harness().scheduler()};
  ReaderAppDelegate::Options options;
  QStringList alerts;
  // Where later starts' requests wait, when a test makes them.
  LaunchRequestQueue* requests = nullptr;
};

TEST_F(ReaderLaunchTest, ALockedKeyringIsSaidAtOnceAndTheReaderFollowsItsUnlock) {
  const ReaderLaunch launch = launchAfterTheWait([&] {
    // The reader unlocks the keyring.
    fixture.storage().setHolding(false);
    fixture.storage().releaseOldest();
  });
  ASSERT_TRUE(launch.model);
  EXPECT_TRUE(launch.model->account().hasStoredSession());
  EXPECT_EQ(visibleWaitWindow(), nullptr);
  ASSERT_NE(launch.delegate->window(), nullptr);
  EXPECT_TRUE(launch.delegate->window()->isVisible());
  EXPECT_TRUE(alerts.isEmpty()) << alerts.join('\n').toStdString();
}

// Our own time limit ends the wait on a prompt nobody answers. The keyring's own text for it
// already says to unlock it: the alert says so once, and that it is the start that goes again.
TEST_F(ReaderLaunchTest, AKeyringThatStaysLockedEndsInAnAlertThatSaysSo) {
  expectStayedLockedAlert(
      u"Secure storage is unavailable: the system keyring stayed locked or did not answer, "
      "so Brindlewick could not read your sign-in. Unlock it (your login password usually "
      "opens it), then start Brindlewick again. No credentials were discarded."_s,
      [this] { fixture.storage().timeOutOldest(KeychainError::noAnswerStatus); },
      QStringLiteral("keyring-stayed-locked.png"));
}

// The keyring's bus call gives up on a keyring that is stuck: its own words first, then what
// the reader can do about it.
TEST_F(ReaderLaunchTest, AKeyringWhoseBusGivesUpAfterTheWaitShowedSaysItMayHaveStayedLocked) {
  expectStayedLockedAlert(
      u"Secure storage is unavailable: the system keyring reported an error. No credentials "
      "were discarded. The keyring may have stayed locked, so Brindlewick could not read "
      "your sign-in: unlock it (your login password usually opens it), then start "
      "Brindlewick again."_s,
      [this] { fixture.storage().failOldestSilently(7); }, QStringLiteral("keyring-bus-gave-up.png"));
}

// Starts that came while the keyring kept the start waiting are served by the alert of the
// start that then fails, each bringing it forward: once it is on screen, not before it exists
// (nothing would be brought forward then, and the start would count as served).
TEST_F(ReaderLaunchTest, StartsKeptDuringTheWaitAreServedOnceTheAlertShows) {
  LaunchRequestQueue queue;
  requests = &queue;
  LaunchRequest library;
  library.kind = LaunchRequest::Kind::action;
  library.action = LaunchAction::library;
  library.startupId = u"launcher-1-host-brindlewick-0_TIME100"_s;
  LaunchRequest link;
  link.kind = LaunchRequest::Kind::openLinks;
  link.links = QStringList{u"brindlewick:open"_s};

  std::optional<qsizetype> keptAsTheAlertCame;
  bool servedWhileItShowed = false;
  // The alert as the application presents it: a modal box that waits for its answer, answered
  // here once nothing is kept any more.
  options.alert = [&](const QString& title, const QString& text) {
    alerts.append(title + '\n' + text);
    keptAsTheAlertCame = queue.pendingCount();
    const std::unique_ptr<QMessageBox> box = ReaderAppDelegate::makeAlert(title, text);
    QTimer answer;
    const QDeadlineTimer deadline(5000);
    QObject::connect(&answer, &QTimer::timeout, [&] {
      servedWhileItShowed = queue.pendingCount() == 0 && QApplication::activeModalWidget() == box.get();
      if (servedWhileItShowed || deadline.hasExpired())
        box->done(QMessageBox::Ok);
    });
    answer.start(5);
    box->exec();
  };
  StandardErrorCapture errors;
  const ReaderLaunch launch = launchAfterTheWait([&] {
    queue.enqueue(library);
    queue.enqueue(link);
    fixture.storage().timeOutOldest(KeychainError::noAnswerStatus);
  });
  EXPECT_FALSE(launch.model);
  ASSERT_EQ(alerts.size(), 1);
  EXPECT_EQ(keptAsTheAlertCame, 2) << "served before the alert was on screen";
  EXPECT_TRUE(servedWhileItShowed);
  EXPECT_EQ(queue.pendingCount(), 0);
  fixture.storage().setHolding(false);
  fixture.storage().releaseOldest();
}

TEST_F(ReaderLaunchTest, AKeyringThatRefusesAtOnceIsNoLockedKeyring) {
  fixture.storage().setHolding(false);
  fixture.storage().setFailure(7);
  StandardErrorCapture errors;
  const ReaderLaunch launch = launchReader(fixture.services(), options, nullptr, &watch);
  EXPECT_FALSE(launch.model);
  // The keyring's own description, with nothing about unlocking it.
  const QString reason =
      u"Secure storage is unavailable: the system keyring reported an error. No credentials were discarded."_s;
  ASSERT_EQ(alerts.size(), 1);
  EXPECT_EQ(alerts.front().toStdString(),
            (ReaderAppDelegate::startupAlertTitle +
             u"\nBrindlewick could not open its local storage or configuration. No data was reset.\n"_s +
             reason)
                .toStdString());
  EXPECT_TRUE(errors.text().contains("Brindlewick initialization failed: " + reason.toUtf8() + '\n'));
}

// Closing the window that says the start waits for the keyring is the reader's Quit, the only
// one there is before a tray icon: the start ends there, with neither alert nor shell, and what
// the keyring holds is left as it is, whatever it answers later.
TEST_F(ReaderLaunchTest, ClosingTheKeyringWaitWindowGivesTheStartUp) {
  const QHash<QString, QByteArray> held = fixture.storage().items();
  bool closed = false;
  // Were the start not given up, the keyring's answer would let it come up.
  QTimer answer;
  answer.setSingleShot(true);
  QObject::connect(&answer, &QTimer::timeout, [&] {
    fixture.storage().setHolding(false);
    fixture.storage().releaseOldest();
  });
  const ReaderLaunch launch = launchAfterTheWait([&] {
    if (KeyringWaitWindow* window = visibleWaitWindow()) {
      // As the window manager asks it.
      window->windowHandle()->close();
      closed = true;
      answer.start(2000);
    }
  });
  const bool waitedForTheKeyring = !answer.isActive();
  ASSERT_TRUE(closed);
  EXPECT_FALSE(waitedForTheKeyring) << "the start went on waiting for the keyring";
  EXPECT_FALSE(launch.model);
  EXPECT_FALSE(launch.delegate);
  EXPECT_FALSE(launch.abandoned);
  EXPECT_TRUE(alerts.isEmpty()) << alerts.join('\n').toStdString();
  EXPECT_EQ(visibleWaitWindow(), nullptr);
  fixture.storage().setHolding(false);
  fixture.storage().releaseOldest();
  QCoreApplication::processEvents();
  EXPECT_EQ(fixture.storage().items(), held);
}

// The install chime belongs to the onboarding: an installed copy chimes once, as the
// onboarding of its first start comes on screen, and remembers it. A start whose reader is
// signed in shows no onboarding and stays silent, remembering nothing, so that an onboarding
// shown at a later start still chimes.
TEST(ReaderLaunch, TheInstallChimePlaysOnceWhenTheOnboardingComesOnScreen) {
  const struct {
    const char* name;
    bool signedIn;
    bool chimedBefore;
    int plays;
    bool chimedAfter;
  } cases[] = {
      {"a first start, the onboarding shown", false, false, 1, true},
      {"a start whose onboarding is done", true, false, 0, false},
      {"the onboarding shown again after the chime", false, true, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ReaderModelFixture fixture;
    fixture.executablePath = fixture.installPrefix + QStringLiteral("/bin/brindlewick");
    ASSERT_TRUE(QDir().mkpath(fixture.installPrefix + QStringLiteral("/bin")));
    QFile executable(fixture.executablePath);
    ASSERT_TRUE(executable.open(QIODevice::WriteOnly));
    executable.close();
    if (c.signedIn)
      fixture.signIn();
    if (c.chimedBefore) {
      ASSERT_TRUE(ApplicationDefaults(fixture.applicationDefaultsFile()).setInstallChimePlayed(true));
    }
    ReaderAppDelegate::Options options;
    options.alert = [](const QString& title, const QString& text) {
      ADD_FAILURE() << title.toStdString() << ": " << text.toStdString();
    };
    options.openUrl = [](const QUrl&) {};
    options.statusItem = false;

    const ReaderLaunch launch = launchReader(fixture.services(), options);
    ASSERT_TRUE(launch.model);
    QWidget* window = launch.delegate->window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    QApplication::processEvents();
    const auto* onboarding = window->findChild<OnboardingView*>();
    EXPECT_EQ(onboarding != nullptr && onboarding->isVisible(), !c.signedIn);
    EXPECT_EQ(fixture.chimeSound->plays, c.plays);
    EXPECT_EQ(ApplicationDefaults(fixture.applicationDefaultsFile()).installChimePlayed(), c.chimedAfter);
  }
}

} // namespace
