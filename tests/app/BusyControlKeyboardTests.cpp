#include "TestOutput.h"
#include "app/LaunchedReaderWindow.h"
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

// The reader window as the application opens it; keys go to its QWindow, as a keyboard's do.
struct Launched : LaunchedReaderWindow {
  explicit Launched(const std::function<void(ReaderModelFixture&)>& prepare = {}, bool signedIn = true)
      : LaunchedReaderWindow({.reduceMotion = true}, signedIn, prepare) {}

  QWidget* window() const { return delegate.window(); }
  ReadingService& service() { return fixture.harness().service(); }
  void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(window()->windowHandle(), key, modifiers);
  }
  // Tabs until `name` has the focus (at most once round a long window).
  bool tabTo(const QString& name) {
    for (int step = 0; step < 80; ++step) {
      if (focused() != nullptr && focused()->objectName() == name)
        return true;
      press(Qt::Key_Tab);
    }
    return false;
  }
  static QWidget* focused() { return QApplication::focusWidget(); }
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
      fixture.addConfiguration(
          {{UpdateConfiguration::feedKey, rig.feedURL().toString()},
           {UpdateConfiguration::publicKeyKey, rig.harness.service().updates().publicKey()}});
      fixture.makeUpdaterBackend = [&] { return rig.makeUnstarted(row.running); };
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

} // namespace
