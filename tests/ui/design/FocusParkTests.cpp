#include "TestOutput.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropFonts.h"
#include "ui/design/FocusPark.h"
#include "ui/design/UiEnvironment.h"

#include <QAccessible>
#include <QApplication>
#include <QHBoxLayout>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

// A row as a settings page has one: a control before, "Check for updates", whose press
// disables it while its work runs, and "Save settings", whose press sends the reader's data.
// Keys go to the window's QWindow, as a keyboard's do.
struct Row {
  Row() {
    DropFonts::registerFonts();
    UiEnvironment::instance().setOverrides({.reduceMotion = true});
    auto* layout = new QHBoxLayout(&window);
    layout->setContentsMargins(12, 9, 12, 15);
    for (DropButton* button : {before, check, save})
      layout->addWidget(button);
    before->setObjectName(QStringLiteral("before"));
    check->setObjectName(QStringLiteral("check"));
    save->setObjectName(QStringLiteral("save"));
    check->setAccessibleName(QStringLiteral("Check for updates"));
    QObject::connect(check, &QPushButton::clicked, check, [this] { check->setEnabled(false); });
    window.show();
    QApplication::setActiveWindow(&window);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
  }
  ~Row() { UiEnvironment::instance().setOverrides({}); }

  void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(window.windowHandle(), key, modifiers);
  }
  // Tabs from the first control to "Check for updates".
  void tabToCheck() {
    before->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Tab);
    ASSERT_TRUE(check->hasFocus());
  }
  FocusPark* park() const { return FocusPark::of(check); }

  QWidget window;
  DropButton* before = new DropButton(QStringLiteral("Preview"), dropControl({}));
  DropButton* check = new DropButton(QStringLiteral("Check for updates"), dropControl({}));
  DropButton* save = new DropButton(QStringLiteral("Save settings"), dropControl({.prominent = true}));
  QSignalSpy checks{check, &QPushButton::clicked};
  QSignalSpy saves{save, &QPushButton::clicked};
};

// Pressed from the keyboard, the control disables itself while its work runs: the keyboard
// stays in its place, with the ring (dimmed with the control), and pressing again does
// nothing, to it or to "Save settings"; once it is enabled the focus is back on it.
TEST(FocusPark, TheKeyboardWaitsOnAControlItsOwnPressDisabled) {
  const std::vector<std::pair<const char*, Qt::Key>> presses{
      {"space", Qt::Key_Space}, {"return", Qt::Key_Return}, {"enter", Qt::Key_Enter}};
  for (const auto& [name, key] : presses) {
    SCOPED_TRACE(name);
    Row row;
    row.tabToCheck();
    row.press(key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    ASSERT_EQ(row.checks.size(), 1);
    ASSERT_FALSE(row.check->isEnabled());
    ASSERT_NE(row.park(), nullptr);
    EXPECT_EQ(QApplication::focusWidget(), row.park());
    EXPECT_EQ(row.check->controlState().focus, 1.0);
    EXPECT_FALSE(row.check->controlState().enabled);
    if (key == Qt::Key_Space) {
      EXPECT_TRUE(row.window.grab().save(testing::testOutputPath(QStringLiteral("focus-park-busy.png"))));
    }
    for (const Qt::Key again : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter})
      row.press(again);
    EXPECT_EQ(row.checks.size(), 1);
    EXPECT_EQ(row.saves.size(), 0);

    row.check->setEnabled(true);
    EXPECT_TRUE(row.check->hasFocus());
    EXPECT_EQ(row.check->controlState().focus, 1.0);
    QApplication::processEvents(); // the park is deleted later
    EXPECT_EQ(row.park(), nullptr);
    row.press(Qt::Key_Space);
    EXPECT_EQ(row.checks.size(), 2);
    EXPECT_EQ(row.saves.size(), 0);
  }
}

// From the park, Tab and Backtab go on from the control's place, and the arrows as from a
// button; the park then goes, and the control enabled later does not take the focus back.
TEST(FocusPark, TabBacktabAndTheArrowsGoOnFromTheControlsPlace) {
  struct Case {
    const char* name;
    Qt::Key key;
    const char* lands;
  };
  const std::vector<Case> cases{{"tab", Qt::Key_Tab, "save"},     {"backtab", Qt::Key_Backtab, "before"},
                                {"right", Qt::Key_Right, "save"}, {"down", Qt::Key_Down, "save"},
                                {"left", Qt::Key_Left, "before"}, {"up", Qt::Key_Up, "before"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Row row;
    row.tabToCheck();
    row.press(Qt::Key_Space);
    ASSERT_NE(row.park(), nullptr);
    row.press(c.key, c.key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget()->objectName().toStdString(), c.lands);
    EXPECT_EQ(row.check->controlState().focus, 0.0);
    EXPECT_EQ(row.park(), nullptr);
    row.check->setEnabled(true);
    EXPECT_EQ(QApplication::focusWidget()->objectName().toStdString(), c.lands);
  }
}

// Assistive technology hears the control on the park, unavailable and busy, with nothing to
// press.
TEST(FocusPark, ItReadsAsTheControlUnavailableAndBusy) {
  Row row;
  row.tabToCheck();
  row.press(Qt::Key_Space);
  QAccessibleInterface* focused = QAccessible::queryAccessibleInterface(QApplication::focusWidget());
  ASSERT_NE(focused, nullptr);
  EXPECT_EQ(focused->text(QAccessible::Name), QStringLiteral("Check for updates"));
  EXPECT_EQ(focused->role(), QAccessible::Button);
  EXPECT_TRUE(focused->state().focused);
  EXPECT_TRUE(focused->state().disabled);
  EXPECT_TRUE(focused->state().busy);
  EXPECT_TRUE(focused->actionInterface() == nullptr || focused->actionInterface()->actionNames().isEmpty());
}

// The control hidden while the keyboard waits on it (it has nothing left to act on): the
// focus goes on from its place, as Qt hands it on from a hidden control, not nowhere.
TEST(FocusPark, AControlHiddenMeanwhileHandsTheFocusOn) {
  Row row;
  row.tabToCheck();
  row.press(Qt::Key_Space);
  row.check->hide();
  ASSERT_NE(QApplication::focusWidget(), nullptr);
  EXPECT_EQ(QApplication::focusWidget(), row.save);
  EXPECT_EQ(row.check->controlState().focus, 0.0);
}

} // namespace
} // namespace brindlewick
