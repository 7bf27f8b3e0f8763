#include "AccountFixtures.h"
#include "TestOutput.h"
#include "app/LaunchedReaderWindow.h"
#include "desktop/LoginItemController.h"
#include "model/FeedUpdaterRig.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropPaintedButton.h"
#include "ui/design/FocusPark.h"
#include "ui/update/UpdateWindow.h"

#include <QApplication>
#include <QTest>

#include <functional>

#include <gtest/gtest.h>

using namespace brindlewick;

namespace {

const QString preferencesPath = QStringLiteral("/api/reader/preferences");
const QString mePath = QStringLiteral("/api/reader/me");

// The reader window as the application opens it; keys go to its QWindow, as a keyboard's do.
struct Launched : LaunchedReaderWindow {
  explicit Launched(const std::function<void(ReaderModelFixture&)>& prepare = {}, bool signedIn = true)
      : LaunchedReaderWindow({.reduceMotion = true}, signedIn, prepare) {}

  QWidget* window() const { return delegate.window(); }
  ReadingService& service() { return fixture.harness().service(); }
  static QWidget* focused() { return QApplication::focusWidget(); }
  // The keyboard is on a control itself, not waiting for one busy with its work.
  static bool controlHasTheKeyboard() {
    return focused() != nullptr && qobject_cast<FocusPark*>(focused()) == nullptr;
  }
  QWidget* control(const QString& name) const {
    for (QWidget* widget : window()->findChildren<QWidget*>(name))
      if (widget->isVisible())
        return widget;
    return nullptr;
  }
  // The updates to the reader's preferences the service received.
  int preferenceWrites() {
    int count = 0;
    for (const LoggedRequest& request : service().requestLog())
      count += request.method == "PUT" && request.path == preferencesPath;
    return count;
  }
};

// The control the keyboard is on: the focused one, or the one a park holds the focus for.
QString keyboardOn() {
  const QWidget* focus = QApplication::focusWidget();
  if (focus == nullptr)
    return QStringLiteral("(none)");
  if (const auto* park = qobject_cast<const FocusPark*>(focus))
    return park->control()->objectName();
  return focus->objectName();
}

bool ringShown(const QWidget* widget) {
  const auto* painted = qobject_cast<const DropPaintedButton*>(widget);
  return painted != nullptr && painted->controlState().focus > 0;
}

UpdateWindow* shownUpdateWindow() {
  for (QWidget* top : QApplication::topLevelWidgets())
    if (auto* window = qobject_cast<UpdateWindow*>(top); window != nullptr && window->isVisible())
      return window;
  return nullptr;
}

void savePicture(QWidget* window, const QString& name) {
  EXPECT_TRUE(window->grab().save(brindlewick::testing::testOutputPath(name)));
}

// "Check for updates" pressed from the keyboard keeps it while the check runs (a second Space
// presses nothing, least of all "Save settings"), and once the answer window is closed, by
// Escape or by its button, the reader window is active again with the keyboard on "Check for
// updates": the next Space checks again and sends no settings.
TEST(BusyControlKeyboard, CheckForUpdatesHasTheKeyboardAgainWhenItsAnswerCloses) {
  enum class Close { escape, button };
  struct Row {
    const char* name;
    QString running; // an older version is offered the stand-in's release
    Close close;
  };
  const std::vector<Row> rows{{"offer, escape", QStringLiteral("0.1.0"), Close::escape},
                              {"offer, remind me later", QStringLiteral("0.1.0"), Close::button},
                              {"up to date, escape", QStringLiteral("9.9.9"), Close::escape},
                              {"up to date, ok", QStringLiteral("9.9.9"), Close::button}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FeedUpdaterRig rig;
    Launched launched([&](ReaderModelFixture& fixture) {
      rig.configure(fixture, row.running);
    });
    launched.show(ReaderTab::settings);
    ASSERT_TRUE(launched.tabTo(QStringLiteral("settings.checkForUpdates")));
    QWidget* check = launched.focused();
    launched.press(Qt::Key_Space);
    EXPECT_FALSE(check->isEnabled());
    EXPECT_EQ(keyboardOn(), QStringLiteral("settings.checkForUpdates"));
    EXPECT_TRUE(ringShown(check));
    if (row.close == Close::escape && row.running == QStringLiteral("0.1.0"))
      savePicture(launched.window(), QStringLiteral("settings-check-for-updates-running.png"));
    launched.press(Qt::Key_Space);

    UpdateWindow* answer = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (answer = shownUpdateWindow()) != nullptr; }));
    ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == answer; }));
    EXPECT_EQ(rig.feedRequests(), 1);
    if (row.close == Close::escape) {
      QTest::keyClick(answer->windowHandle(), Qt::Key_Escape);
    } else {
      DropButton* button =
          answer->page() == UpdateWindow::Page::offer ? answer->remindButton() : answer->primaryButton();
      QTest::mouseClick(button, Qt::LeftButton, {}, button->shapeRect().center());
    }
    ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == launched.window(); }));
    EXPECT_FALSE(answer->isVisible());
    EXPECT_EQ(launched.focused(), check);
    EXPECT_TRUE(ringShown(check));
    if (row.close == Close::escape && row.running == QStringLiteral("0.1.0"))
      savePicture(launched.window(), QStringLiteral("settings-check-for-updates-answered.png"));

    launched.press(Qt::Key_Space);
    ASSERT_TRUE(waitUntil([&] { return rig.feedRequests() == 2 && shownUpdateWindow() != nullptr; }));
    EXPECT_EQ(launched.preferenceWrites(), 0);
    shownUpdateWindow()->close();
  }
}

// A control disabled by its own work keeps the keyboard until it is done: a second Space while
// it runs does nothing, to it or to its neighbour (Sign out after Sync now, Save settings after
// Launch at login), and afterwards the keyboard is on it again.
TEST(BusyControlKeyboard, AControlBusyWithItsWorkKeepsTheKeyboard) {
  struct Row {
    const char* name;
    QString control;
    // The reply the work waits on, held until both presses are in; none for work that does not
    // wait on the service.
    QByteArray heldMethod;
    QString heldPath;
    // What the presses did, given the account's reads before them.
    std::function<void(Launched&, int reads)> check;
  };
  const std::vector<Row> rows{
      {"sync now", QStringLiteral("account.sync"), "GET", mePath,
       [](Launched& at, int reads) {
         EXPECT_TRUE(at.model.account().hasStoredSession()) << "the second Space signed the reader out";
         EXPECT_EQ(at.fixture.requestsTo(mePath), reads + 1);
       }},
      {"save settings", QStringLiteral("settings.save"), "PUT", preferencesPath,
       [](Launched& at, int) { EXPECT_EQ(at.preferenceWrites(), 1); }},
      {"launch at login",
       QStringLiteral("settings.launchAtLogin"),
       {},
       {},
       [](Launched& at, int) {
         EXPECT_EQ(at.preferenceWrites(), 0) << "the second Space saved the settings";
         EXPECT_EQ(at.model.loginItem().status(), LoginItemStatus::notRegistered);
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Launched launched;
    launched.show(ReaderTab::settings);
    const int reads = launched.fixture.requestsTo(mePath);
    if (!row.heldPath.isEmpty())
      launched.service().addFault(row.heldMethod, row.heldPath, {.hold = true});
    ASSERT_TRUE(launched.tabTo(row.control));
    launched.press(Qt::Key_Space);
    EXPECT_EQ(keyboardOn(), row.control);
    if (row.control == QStringLiteral("account.sync"))
      savePicture(launched.window(), QStringLiteral("settings-sync-running.png"));
    launched.press(Qt::Key_Space);
    EXPECT_EQ(keyboardOn(), row.control);
    if (!row.heldPath.isEmpty()) {
      ASSERT_TRUE(waitUntil([&] { return launched.service().heldReplies() == 1; }));
      launched.service().releaseHeld();
      launched.fixture.settle();
    }
    ASSERT_TRUE(waitUntil([&] { return launched.controlHasTheKeyboard(); }));
    EXPECT_EQ(launched.focused()->objectName(), row.control);
    row.check(launched, reads);
  }
}

// Signed out from the keyboard, on the settings' account card or in the account menu, the
// reader goes on from the first-run screen that covers the window, not from nowhere.
TEST(BusyControlKeyboard, SignedOutFromTheKeyboardTheFirstRunScreenHasIt) {
  for (const bool menu : {false, true}) {
    SCOPED_TRACE(menu ? "account menu" : "account card");
    Launched launched;
    launched.show(menu ? ReaderTab::welcome : ReaderTab::settings);
    if (menu) {
      ASSERT_TRUE(launched.tabTo(QStringLiteral("account.profile")));
      launched.press(Qt::Key_Space);
      ASSERT_TRUE(waitUntil([] { return keyboardOn() == QStringLiteral("account.menu.sync"); }));
      launched.press(Qt::Key_Down);
      launched.press(Qt::Key_Down); // past Settings, to the bottom of the menu
    } else {
      ASSERT_TRUE(launched.tabTo(QStringLiteral("account.signOut")));
    }
    ASSERT_EQ(keyboardOn(), QStringLiteral("account.signOut"));
    launched.press(Qt::Key_Return);
    launched.fixture.settle();
    ASSERT_FALSE(launched.model.account().hasStoredSession());
    ASSERT_TRUE(waitUntil([] { return keyboardOn() == QStringLiteral("onboarding.next"); }))
        << keyboardOn().toStdString();
    EXPECT_TRUE(ringShown(launched.focused()));
  }
}

// A reader whose session ran out signs in again from the settings' account card by keyboard:
// "Continue with Google" keeps the keyboard until the code shows, then "Open sign-in page" has
// it; "Cancel" gives it back to "Continue with Google"; once approved, "Sync now" has it when
// the first sync is done. A ring shows at every step.
TEST(BusyControlKeyboard, TheAccountCardKeepsTheKeyboardAsItsBodyChanges) {
  Launched launched(
      [](ReaderModelFixture& fixture) {
        fixture.signIn();
        fixture.jumpWallClock(40 * 86400.0);
      },
      false);
  launched.show(ReaderTab::settings);
  ASSERT_FALSE(launched.model.account().isSignedIn());
  launched.service().grants().setTiming(600, 5);
  launched.service().addFault("POST", QStringLiteral("/api/reader-auth/device/code"), {.hold = true});
  ASSERT_TRUE(launched.tabTo(QStringLiteral("account.signIn")));
  launched.press(Qt::Key_Space);
  EXPECT_EQ(keyboardOn(), QStringLiteral("account.signIn"));
  ASSERT_TRUE(waitUntil([&] { return launched.service().heldReplies() == 1; }));
  launched.service().releaseHeld();
  ASSERT_TRUE(waitUntil([&] { return launched.model.signInCode().has_value(); }));
  EXPECT_EQ(keyboardOn(), QStringLiteral("account.openBrowser"));
  EXPECT_TRUE(ringShown(launched.focused()));

  launched.press(Qt::Key_Tab);
  ASSERT_EQ(keyboardOn(), QStringLiteral("account.cancel"));
  launched.press(Qt::Key_Space);
  ASSERT_TRUE(waitUntil([&] { return launched.controlHasTheKeyboard(); }));
  EXPECT_EQ(launched.focused()->objectName(), QStringLiteral("account.signIn"));
  EXPECT_TRUE(ringShown(launched.focused()));

  launched.press(Qt::Key_Space);
  ASSERT_TRUE(waitUntil([&] { return launched.model.signInCode().has_value(); }));
  launched.service().grants().approve(*launched.model.signInCode(), AccountFixtures::userID);
  launched.fixture.advance(5);
  launched.fixture.settle();
  ASSERT_TRUE(launched.model.account().isSignedIn());
  ASSERT_TRUE(waitUntil([&] { return launched.controlHasTheKeyboard(); }));
  EXPECT_EQ(launched.focused()->objectName(), QStringLiteral("account.sync"));
  EXPECT_TRUE(ringShown(launched.focused()));
}

// After a conflict, "Reload settings" pressed from the keyboard goes once reloaded: the reader
// goes on from the first setting, where their changes are made again, not from "Save
// settings" (whose press would send the settings just fetched) nor from the top of the window.
TEST(BusyControlKeyboard, ReloadedTheKeyboardGoesToTheFirstSetting) {
  Launched launched;
  launched.show(ReaderTab::settings);
  ReaderPreferences elsewhere = ReaderModelFixture::readerPreferences();
  elsewhere.schedule.setInterval(ScheduleSettings::Interval::everySixHours);
  launched.service().accounts().setPreferences(AccountFixtures::userID, elsewhere);
  ASSERT_TRUE(launched.tabTo(QStringLiteral("settings.save")));
  launched.press(Qt::Key_Space);
  ASSERT_TRUE(waitUntil([&] { return launched.control(QStringLiteral("settings.reload")) != nullptr; }));
  // Save waits, disabled, until the settings are reloaded; the reload is just before it.
  EXPECT_EQ(keyboardOn(), QStringLiteral("settings.save"));
  launched.press(Qt::Key_Backtab, Qt::ShiftModifier);
  ASSERT_EQ(keyboardOn(), QStringLiteral("settings.reload"));
  launched.press(Qt::Key_Space);
  ASSERT_TRUE(waitUntil([&] { return launched.control(QStringLiteral("settings.reload")) == nullptr; }));
  EXPECT_EQ(keyboardOn(), QStringLiteral("settings.interval"));
  const int writes = launched.preferenceWrites(); // the save that met the conflict
  launched.press(Qt::Key_Space);
  launched.fixture.settle();
  EXPECT_EQ(launched.preferenceWrites(), writes);
  if (QWidget* list = QApplication::activePopupWidget())
    list->close();
}

} // namespace
