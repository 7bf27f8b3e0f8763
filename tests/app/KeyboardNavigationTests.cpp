#include "TestOutput.h"
#include "app/LaunchedReaderWindow.h"
#include "app/ReaderAppDelegate.h"
#include "model/ReaderModelFixture.h"
#include "panel/ReadingWindow.h"
#include "ui/design/DropFonts.h"
#include "ui/design/DropMenuRowStyle.h"
#include "ui/design/DropPaintedButton.h"
#include "ui/design/UiEnvironment.h"
#include "ui/reading/ReadingText.h"
#include "ui/window/ReaderHome.h"
#include "ui/window/ReaderWorkspace.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <functional>

#include <gtest/gtest.h>

using namespace brindlewick;

namespace {

// The reader window as the application opens it, signed in or not. Keys go to its QWindow, so
// they take the way a keyboard's do: to the focused control first, and on to its parents when
// it leaves them.
struct Launched : LaunchedReaderWindow {
  explicit Launched(bool signedIn = true) : LaunchedReaderWindow({.reduceMotion = true}, signedIn) {}

  QWidget* window() const { return delegate.window(); }
  ReaderHome* home() const { return delegate.home(); }
  // An idea with related ideas and sources, shown on the reading page.
  DropSnapshot richIdea() const {
    for (const Drop& drop : fixture.release().release.lore) {
      if (!drop.relatedLoreIds.isEmpty() && !drop.sourceIds.isEmpty())
        return *model.repository().snapshot(drop.id);
    }
    return *model.repository().snapshot(fixture.release().release.lore.front().id);
  }
};

QString focusName() {
  const QWidget* focus = QApplication::focusWidget();
  return focus == nullptr ? QStringLiteral("(none)") : focus->objectName();
}

bool ringShown(const QWidget* widget) {
  const auto* painted = qobject_cast<const DropPaintedButton*>(widget);
  return painted != nullptr && painted->controlState().focus > 0;
}

// The part of `widget` its window shows: its rectangle clipped by every parent's.
QRect shownPart(const QWidget* widget) {
  const QWidget* window = widget->window();
  QRect shown(widget->mapTo(window, QPoint()), widget->size());
  for (const QWidget* parent = widget->parentWidget(); parent != nullptr && parent != window;
       parent = parent->parentWidget())
    shown &= QRect(parent->mapTo(window, QPoint()), parent->size());
  return shown & window->rect();
}

void savePicture(QWidget* window, const QString& name) {
  EXPECT_TRUE(window->grab().save(brindlewick::testing::testOutputPath(name)));
}

// A control pressed with Return or Enter does what a click does, also where its window has a
// Return key of its own.
TEST(KeyboardNavigation, ReturnAndEnterPressTheFocusedControl) {
  struct Row {
    const char* name;
    ReaderTab page;
    QString control;
    Qt::Key key;
    std::function<bool(Launched&)> done;
  };
  const std::vector<Row> rows{
      {"a sidebar page", ReaderTab::welcome, QStringLiteral("navigation.settings"), Qt::Key_Return,
       [](Launched& at) { return at.model.navigationTab() == ReaderTab::settings; }},
      {"a sidebar page by the keypad", ReaderTab::settings, QStringLiteral("navigation.discover"), Qt::Key_Enter,
       [](Launched& at) { return at.model.navigationTab() == ReaderTab::discover; }},
      {"a dashboard tile", ReaderTab::welcome, QStringLiteral("dashboard.saved"), Qt::Key_Return,
       [](Launched& at) { return at.model.navigationTab() == ReaderTab::saved; }},
      {"a collection button", ReaderTab::read, QStringLiteral("detail.love"), Qt::Key_Return,
       [](Launched& at) {
         return waitUntil([&] { return !at.model.collectionBusy() && at.model.isLoved(at.richIdea()); });
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Launched launched;
    launched.show(row.page, row.page == ReaderTab::read ? std::optional(launched.richIdea()) : std::nullopt);
    ASSERT_TRUE(launched.tabTo(row.control));
    launched.press(row.key, row.key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    EXPECT_TRUE(row.done(launched));
  }
}

// Tab round each page rests only where the reader sees it: on a shown control inside the
// window that draws its focus (a painted control its ring or fill, a text its chosen link),
// never on the scrolling workspace itself. (The library lists have their own keys.)
TEST(KeyboardNavigation, TabRestsOnlyOnControlsThatShowTheFocus) {
  Launched launched;
  for (const ReaderTab page : {ReaderTab::welcome, ReaderTab::history, ReaderTab::read, ReaderTab::settings}) {
    SCOPED_TRACE(id(page).toStdString());
    launched.show(page, page == ReaderTab::read ? std::optional(launched.richIdea()) : std::nullopt);
    ASSERT_TRUE(launched.tabTo(QStringLiteral("account.profile")));
    int inPage = 0;
    for (int step = 0; step < 60; ++step) {
      launched.press(Qt::Key_Tab);
      QWidget* focus = QApplication::focusWidget();
      ASSERT_NE(focus, nullptr);
      if (focus->objectName() == QStringLiteral("account.profile"))
        break;
      SCOPED_TRACE(focus->objectName().toStdString() + " " + focus->metaObject()->className());
      EXPECT_EQ(qobject_cast<ReaderWorkspace*>(focus), nullptr);
      EXPECT_TRUE(focus->isVisible());
      EXPECT_FALSE(shownPart(focus).isEmpty());
      if (qobject_cast<DropPaintedButton*>(focus) != nullptr) {
        EXPECT_TRUE(ringShown(focus));
      }
      if (auto* text = qobject_cast<ReadingText*>(focus)) {
        EXPECT_TRUE(text->textCursor().hasSelection()); // a link, outlined
      }
      inPage += launched.home()->page()->isAncestorOf(focus);
    }
    EXPECT_GT(inPage, 0);
  }
}

// Backtab into a text with links lands on its last link, as Tab lands on its first, and
// Backtab leaves a text whose first link opens it (a source's title) for the control before.
TEST(KeyboardNavigation, TextLinksAreReachedAndLeftFromEitherSide) {
  Launched launched;
  launched.show(ReaderTab::read, launched.richIdea());
  ASSERT_TRUE(launched.tabTo(QStringLiteral("detail.book")));
  auto* book = qobject_cast<ReadingText*>(QApplication::focusWidget());
  ASSERT_NE(book, nullptr);
  EXPECT_TRUE(book->textCursor().hasSelection());
  launched.press(Qt::Key_Tab);
  auto* source = qobject_cast<ReadingText*>(QApplication::focusWidget());
  ASSERT_NE(source, nullptr);
  ASSERT_NE(source, book);
  // The title's link and its arrow are one link: one stop, then on to the related idea.
  EXPECT_EQ(source->textCursor().selectionStart(), 0);
  EXPECT_EQ(source->textCursor().selectionEnd(), source->document()->characterCount() - 1);
  launched.press(Qt::Key_Tab);
  EXPECT_TRUE(focusName().startsWith(QStringLiteral("detail.related.")));
  launched.press(Qt::Key_Backtab, Qt::ShiftModifier);
  ASSERT_EQ(QApplication::focusWidget(), source);
  EXPECT_TRUE(source->textCursor().hasSelection());
  launched.press(Qt::Key_Backtab, Qt::ShiftModifier);
  ASSERT_EQ(QApplication::focusWidget(), book);
  EXPECT_TRUE(book->textCursor().hasSelection());
}

// The account menu opens from the keyboard onto its first row, ringed; its rows light as the
// arrows reach them and stop at its ends, Return chooses one, and the focus comes back to the
// account button.
TEST(KeyboardNavigation, TheAccountMenuIsWalkedWithTheArrows) {
  Launched launched;
  launched.show(ReaderTab::welcome);
  ASSERT_TRUE(launched.tabTo(QStringLiteral("account.profile")));
  launched.press(Qt::Key_Space);
  ASSERT_TRUE(waitUntil([] { return focusName() == QStringLiteral("account.menu.sync"); }));
  EXPECT_TRUE(ringShown(QApplication::focusWidget()));

  struct Step {
    Qt::Key key;
    const char* focus;
  };
  const std::vector<Step> steps{
      {Qt::Key_Down, "account.menu.settings"}, {Qt::Key_Down, "account.signOut"},
      {Qt::Key_Down, "account.signOut"},       {Qt::Key_Up, "account.menu.settings"},
      {Qt::Key_Up, "account.menu.sync"},       {Qt::Key_Up, "account.menu.sync"},
      {Qt::Key_Down, "account.menu.settings"},
  };
  for (const Step& step : steps) {
    launched.press(step.key);
    EXPECT_EQ(focusName().toStdString(), step.focus);
    EXPECT_TRUE(ringShown(QApplication::focusWidget())) << step.focus;
  }
  for (const DropMenuRow* row : launched.window()->findChildren<DropMenuRow*>()) {
    if (row != QApplication::focusWidget()) {
      EXPECT_EQ(row->controlState().focus, 0) << row->objectName().toStdString();
    }
  }
  savePicture(launched.window(), QStringLiteral("keyboard-account-menu.png"));

  launched.press(Qt::Key_Return);
  EXPECT_EQ(launched.model.navigationTab(), ReaderTab::settings);
  EXPECT_TRUE(waitUntil([] { return focusName() == QStringLiteral("account.profile"); }));
  // Opened again with Return, on the first row again, where Up stops.
  launched.press(Qt::Key_Return);
  ASSERT_TRUE(waitUntil([] { return focusName() == QStringLiteral("account.menu.sync"); }));
  launched.press(Qt::Key_Up);
  EXPECT_EQ(focusName(), QStringLiteral("account.menu.sync"));
  launched.press(Qt::Key_Escape);
  EXPECT_TRUE(waitUntil([] { return focusName() == QStringLiteral("account.profile"); }));
  EXPECT_TRUE(launched.model.account().hasStoredSession());
}

// The menu row the arrows are on is painted lit, as the row under the pointer is, and ringed
// besides: inside its ring, its picture with the keyboard on it is its picture under the
// pointer, and differs from its picture with neither, by the menu's row fill laid over the menu.
TEST(KeyboardNavigation, TheAccountMenuRowTheKeyboardIsOnIsPaintedLit) {
  Launched launched;
  launched.show(ReaderTab::welcome);
  ASSERT_TRUE(launched.tabTo(QStringLiteral("account.profile")));
  launched.press(Qt::Key_Space);
  ASSERT_TRUE(waitUntil([] { return focusName() == QStringLiteral("account.menu.sync"); }));
  auto* sync = qobject_cast<DropMenuRow*>(QApplication::focusWidget());
  ASSERT_NE(sync, nullptr);
  ASSERT_EQ(sync->objectName(), QStringLiteral("account.menu.sync"));
  QWidget* window = launched.window();
  const auto picture = [window](const QWidget* row) {
    return window->grab(QRect(row->mapTo(window, QPoint()), row->size())).toImage();
  };

  const QImage keyboard = picture(sync);
  launched.press(Qt::Key_Down);
  ASSERT_EQ(focusName(), QStringLiteral("account.menu.settings"));
  const QImage neither = picture(sync);
  QTest::mouseMove(window, sync->mapTo(window, sync->shapeRect().center()));
  ASSERT_TRUE(waitUntil([&] { return sync->controlState().hover == 1; }));
  const QImage pointer = picture(sync);

  EXPECT_NE(keyboard, neither);
  // Clear of the ring, its rounded corners included.
  const QRect insideRing = sync->shapeRect().adjusted(10, 3, -10, -3);
  EXPECT_EQ(keyboard.copy(insideRing), pointer.copy(insideRing));
  // The ring on the row's edge, which the pointer's row does not have.
  const QPoint edge(sync->shapeRect().left() + 1, sync->shapeRect().center().y());
  EXPECT_LT(qGray(keyboard.pixel(edge)), qGray(pointer.pixel(edge)) - 60);
  // Beside the label, inside the row's rounded shape.
  const QPoint beside(sync->shapeRect().left() + 4, sync->shapeRect().center().y());
  const QColor fill = DropMenuRowStyle::fill(UiEnvironment::instance().schemeOf(sync), false);
  const QColor under = neither.pixelColor(beside);
  const QColor lit = keyboard.pixelColor(beside);
  const auto over = [&fill](int channel, int beneath) {
    return std::lround(channel * fill.alphaF() + beneath * (1 - fill.alphaF()));
  };
  EXPECT_NEAR(lit.red(), over(fill.red(), under.red()), 2);
  EXPECT_NEAR(lit.green(), over(fill.green(), under.green()), 2);
  EXPECT_NEAR(lit.blue(), over(fill.blue(), under.blue()), 2);

  QImage sheet(keyboard.width(), 3 * keyboard.height(), QImage::Format_ARGB32);
  QPainter painter(&sheet);
  painter.drawImage(0, 0, keyboard);
  painter.drawImage(0, keyboard.height(), neither);
  painter.drawImage(0, 2 * keyboard.height(), pointer);
  painter.end();
  EXPECT_TRUE(sheet.save(brindlewick::testing::testOutputPath(QStringLiteral("account-menu-row-lit.png"))));
}

// The sidebar's pages are a column the arrows walk, stopping at its ends rather than running
// on to "Show Drop" and the page, and choosing nothing as they go.
TEST(KeyboardNavigation, TheArrowsWalkTheSidebarsPagesAndStopAtItsEnds) {
  Launched launched;
  launched.show(ReaderTab::welcome);
  ASSERT_TRUE(launched.tabTo(QStringLiteral("navigation.discover")));
  const std::vector<std::pair<Qt::Key, const char*>> steps{
      {Qt::Key_Down, "navigation.saved"},   {Qt::Key_Down, "navigation.settings"},
      {Qt::Key_Down, "navigation.settings"}, {Qt::Key_Up, "navigation.saved"},
      {Qt::Key_Up, "navigation.discover"},  {Qt::Key_Up, "navigation.welcome"},
      {Qt::Key_Up, "navigation.welcome"},
  };
  for (const auto& [key, name] : steps) {
    launched.press(key);
    EXPECT_EQ(focusName().toStdString(), name);
    EXPECT_TRUE(ringShown(QApplication::focusWidget())) << name;
  }
  EXPECT_EQ(launched.model.navigationTab(), ReaderTab::welcome);
}

// A page turned by one of its own controls leaves the focus on the new page, ringed when the
// keyboard turned it and not when the mouse did, instead of back at the top of the window.
TEST(KeyboardNavigation, APageTurnedFromItsOwnControlKeepsTheFocusOnThePage) {
  struct Row {
    const char* name;
    ReaderTab page;
    QString control;
    bool mouse;
    ReaderTab turnsTo;
  };
  const std::vector<Row> rows{
      {"back from the reading page", ReaderTab::read, QStringLiteral("detail.back"), false, ReaderTab::discover},
      {"a related idea", ReaderTab::read, QStringLiteral("detail.related."), false, ReaderTab::read},
      {"a dashboard tile", ReaderTab::welcome, QStringLiteral("dashboard.discover"), false, ReaderTab::discover},
      {"back, clicked", ReaderTab::read, QStringLiteral("detail.back"), true, ReaderTab::discover},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Launched launched;
    launched.show(row.page, row.page == ReaderTab::read ? std::optional(launched.richIdea()) : std::nullopt);
    QWidget* oldPage = launched.home()->page();
    // Related ideas are named after the idea they open.
    for (int step = 0; step < 60 && !focusName().startsWith(row.control); ++step)
      launched.press(Qt::Key_Tab);
    auto* control = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
    ASSERT_NE(control, nullptr);
    ASSERT_TRUE(control->objectName().startsWith(row.control));
    if (row.mouse)
      QTest::mouseClick(control, Qt::LeftButton, {}, control->rect().center());
    else
      launched.press(Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return launched.home()->page() != oldPage; }));
    EXPECT_EQ(launched.model.navigationTab(), row.turnsTo);
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    EXPECT_TRUE(launched.home()->page()->isAncestorOf(focus)) << focus->objectName().toStdString();
    EXPECT_EQ(ringShown(focus), !row.mouse);
    // Where the page, laid out, shows it; a list page shows its rows too.
    EXPECT_TRUE(waitUntil([&] { return !shownPart(focus).isEmpty(); })) << focus->objectName().toStdString();
    if (row.turnsTo == ReaderTab::discover) {
      EXPECT_TRUE(waitUntil([&] {
        const QList<QWidget*> all = launched.home()->page()->findChildren<QWidget*>();
        return std::any_of(all.begin(), all.end(), [](const QWidget* widget) {
          return widget->objectName().startsWith(QStringLiteral("library.idea.")) && widget->isVisible() &&
                 !shownPart(widget).isEmpty();
        });
      }));
    }
  }
}

// The first-run screens from the keyboard: Return turns to the sign-in page with the focus on
// "Continue with Google"; pressing it moves the focus to "Open sign-in page" once the code
// shows; "Cancel" brings it back to "Continue with Google". A ring shows at every step.
// Once signed in, the focus is on the window's search field.
TEST(KeyboardNavigation, TheSignInIsWalkedFromTheKeyboard) {
  Launched launched(false);
  launched.show(ReaderTab::welcome);
  ReadingService& service = launched.fixture.harness().service();
  service.grants().setTiming(600, 5);
  ASSERT_TRUE(launched.tabTo(QStringLiteral("onboarding.next")));
  launched.press(Qt::Key_Return);
  EXPECT_EQ(focusName(), QStringLiteral("onboarding.signIn"));
  EXPECT_TRUE(ringShown(QApplication::focusWidget()));

  launched.press(Qt::Key_Return);
  ASSERT_TRUE(waitUntil([&] { return launched.model.signInCode().has_value(); }));
  ASSERT_TRUE(waitUntil([] { return focusName() == QStringLiteral("onboarding.openBrowser"); }));
  EXPECT_TRUE(ringShown(QApplication::focusWidget()));
  savePicture(launched.window(), QStringLiteral("keyboard-sign-in-code.png"));

  launched.press(Qt::Key_Tab);
  ASSERT_EQ(focusName(), QStringLiteral("onboarding.cancel"));
  launched.press(Qt::Key_Return);
  EXPECT_FALSE(launched.model.signInCode().has_value());
  ASSERT_TRUE(waitUntil([] { return focusName() == QStringLiteral("onboarding.signIn"); }));
  EXPECT_TRUE(ringShown(QApplication::focusWidget()));

  // Signed in at last, the reader starts from the search field, not from a button fading away.
  service.accounts().addReader({QStringLiteral("reader-1"), QStringLiteral("Reader"), QStringLiteral("r@example.com")});
  service.accounts().setPreferences(QStringLiteral("reader-1"), ReaderModelFixture::readerPreferences());
  launched.press(Qt::Key_Return);
  ASSERT_TRUE(waitUntil([&] { return launched.model.signInCode().has_value(); }));
  service.grants().approve(*launched.model.signInCode(), QStringLiteral("reader-1"));
  launched.fixture.advance(5);
  launched.fixture.settle();
  ASSERT_TRUE(launched.model.account().hasStoredSession());
  EXPECT_TRUE(waitUntil([] { return qobject_cast<QLineEdit*>(QApplication::focusWidget()) != nullptr; }));
  EXPECT_EQ(QApplication::focusWidget()->accessibleName(), QStringLiteral("Search your reading"));
}

} // namespace
