#include "RequiredValue.h"
#include "app/LaunchedReaderWindow.h"
#include "panel/ReadingWindow.h"
#include "ui/design/DropSearchField.h"
#include "ui/window/ReaderToolbar.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QShortcut>
#include <QTest>

#include <gtest/gtest.h>

using namespace brindlewick;

namespace {

// The reader window as the application opens it, with its keys.
struct Launched : LaunchedReaderWindow {
  void press(int key, Qt::KeyboardModifiers modifiers) {
    QTest::keyClick(delegate.window(), Qt::Key(key), modifiers);
  }
  void waitForCollection() {
    ASSERT_TRUE(waitUntil([&] { return !model.collectionBusy(); }));
    QApplication::processEvents();
  }
  int preferencePuts() {
    int count = 0;
    for (const LoggedRequest& request : fixture.harness().service().requestLog())
      count += request.method == "PUT" && request.path == QStringLiteral("/api/reader/preferences");
    return count;
  }
};

QList<QKeySequence> menuBarKeys(const QMenuBar& bar) {
  QList<QKeySequence> keys;
  for (const QAction* action : bar.findChildren<QAction*>()) {
    if (!action->shortcut().isEmpty())
      keys.append(action->shortcut());
  }
  return keys;
}

// On every page, a key that a shown page answers is one the menu bar does not: two owners of
// one key make Qt fire neither.
TEST(ReaderWindowKeys, EveryKeyHasOneOwnerOnEveryPage) {
  Launched launched;
  const QList<QKeySequence> menuKeys = menuBarKeys(*launched.delegate.window()->menuBar());
  ASSERT_TRUE(menuKeys.contains(QKeySequence(QStringLiteral("Ctrl+Shift+L"))));
  const DropSnapshot idea =
      requiredValue(launched.model.repository().snapshot(launched.fixture.release().release.lore[3].id),
                    "the fixture's drop");
  int pageKeys = 0;
  for (const ReaderTab tab : {ReaderTab::welcome, ReaderTab::discover, ReaderTab::saved, ReaderTab::history,
                              ReaderTab::read, ReaderTab::settings}) {
    SCOPED_TRACE(id(tab).toStdString());
    launched.show(tab, tab == ReaderTab::read ? std::optional(idea) : std::nullopt);
    for (const QShortcut* shortcut : launched.delegate.window()->findChildren<QShortcut*>()) {
      const auto* owner = qobject_cast<const QWidget*>(shortcut->parent());
      if (!shortcut->isEnabled() || owner == nullptr || !owner->isVisible())
        continue;
      ++pageKeys;
      EXPECT_FALSE(menuKeys.contains(shortcut->key())) << shortcut->key().toString().toStdString();
    }
  }
  EXPECT_GT(pageKeys, 0);
}

// The reading page's keys, pressed on the window with its menu bar: the love key, which the
// menu bar also names, goes through the page's button like the others.
TEST(ReaderWindowKeys, TheReadingPagesKeysWorkBesideTheMenuBar) {
  Launched launched;
  ReaderModel& model = launched.model;
  const DropSnapshot idea = requiredValue(
      model.repository().snapshot(launched.fixture.release().release.lore[9].id), "the fixture's drop");
  ASSERT_FALSE(model.isLoved(idea));
  ASSERT_FALSE(model.isSaved(idea));
  launched.show(ReaderTab::discover);
  launched.show(ReaderTab::read, idea);
  launched.press(Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_TRUE(model.collectionBusy());
  launched.waitForCollection();
  EXPECT_TRUE(model.isLoved(idea));
  launched.press(Qt::Key_S, Qt::ControlModifier);
  launched.waitForCollection();
  EXPECT_TRUE(model.isSaved(idea));
  launched.press(Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier);
  launched.waitForCollection();
  EXPECT_FALSE(model.isLoved(idea));
  launched.press(Qt::Key_BracketLeft, Qt::ControlModifier);
  EXPECT_NE(model.navigationTab(), ReaderTab::read);
}

// Ctrl+S saves the settings while the page is shown, also with the focus outside the page.
TEST(ReaderWindowKeys, CtrlSSavesTheSettingsWhereverTheFocusIs) {
  Launched launched;
  launched.show(ReaderTab::settings);
  ReaderHome* home = launched.delegate.home();
  auto* quiet = home->findChild<QAbstractButton*>(QStringLiteral("settings.quiet"));
  ASSERT_NE(quiet, nullptr);
  const bool wasQuiet = quiet->isChecked();
  QTest::mouseClick(quiet, Qt::LeftButton, {}, QPoint(8, quiet->height() / 2));
  ASSERT_NE(quiet->isChecked(), wasQuiet);
  home->toolbar()->searchField()->setFocus(Qt::MouseFocusReason);
  ASSERT_FALSE(home->page()->isAncestorOf(QApplication::focusWidget()));
  const int before = launched.preferencePuts();
  launched.press(Qt::Key_S, Qt::ControlModifier);
  ASSERT_TRUE(waitUntil([&] { return launched.preferencePuts() == before + 1; }));
  EXPECT_TRUE(waitUntil(
      [&] { return launched.model.preferences().value().schedule.quietHours().has_value() == !wasQuiet; }));
}

} // namespace
