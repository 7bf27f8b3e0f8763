#include "AccountFixtures.h"
#include "AsyncProbe.h"
#include "TestOutput.h"
#include "app/LaunchedReaderWindow.h"
#include "ui/design/DropMenuRowStyle.h"
#include "ui/design/DropPaintedButton.h"
#include "ui/design/FocusInView.h"
#include "ui/design/FocusPark.h"
#include "ui/design/PageKeys.h"
#include "ui/library/LibraryIdeaRow.h"
#include "ui/window/AccountDropdown.h"
#include "ui/window/ReaderHome.h"
#include "ui/window/ReaderWorkspace.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>
#include <QWheelEvent>

#include <functional>

#include <gtest/gtest.h>

using namespace brindlewick;

namespace {

const QString mePath = QStringLiteral("/api/reader/me");

// The reader window as the application opens it, menu bar included; keys go to its QWindow, as
// a keyboard's do, and the wheel to the page's viewport.
struct Launched : LaunchedReaderWindow {
  explicit Launched(const std::function<void(ReaderModelFixture&)>& prepare = {}, bool signedIn = true)
      : LaunchedReaderWindow({.reduceMotion = true}, signedIn, prepare) {}

  QWidget* window() const { return delegate.window(); }
  ReaderHome* home() const { return delegate.home(); }
  ReaderWorkspace* workspace() const { return home()->workspace(); }
  ReadingService& service() { return fixture.harness().service(); }
  // The wheel over the middle of the page, a notch at a time, to the page's end (or top).
  void wheelToEnd(bool end) {
    QWidget* viewport = workspace()->viewport();
    QScrollBar* bar = workspace()->verticalScrollBar();
    for (int notch = 0; notch < 400 && bar->value() != (end ? bar->maximum() : bar->minimum()); ++notch) {
      const QPointF middle = QRectF(viewport->rect()).center();
      QWheelEvent wheel(middle, viewport->mapToGlobal(middle), QPoint(), QPoint(0, end ? -120 : 120),
                        Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
      QApplication::sendEvent(viewport, &wheel);
      QApplication::processEvents();
    }
  }
  DropSnapshot longIdea() const {
    const Drop* longest = &fixture.release().release.lore.front();
    for (const Drop& drop : fixture.release().release.lore)
      if (drop.sourceIds.size() + drop.relatedLoreIds.size() >
          longest->sourceIds.size() + longest->relatedLoreIds.size())
        longest = &drop;
    return *model.repository().snapshot(longest->id);
  }
};

QString focusName() {
  const QWidget* focus = QApplication::focusWidget();
  return focus == nullptr ? QStringLiteral("(none)") : focus->objectName();
}

// The control the keyboard is on: the focused one, or the one a park holds the focus for.
const QWidget* keyboardOn() {
  const QWidget* focus = QApplication::focusWidget();
  if (const auto* park = qobject_cast<const FocusPark*>(focus))
    return park->control();
  return focus;
}

bool ringShown(const QWidget* widget) {
  const auto* painted = qobject_cast<const DropPaintedButton*>(widget);
  return painted != nullptr && painted->controlState().focus > 0;
}

// Whether the keyboard's place shows: a painted control's ring, a text's chosen link (the
// reading page's sources), a library row lit for its control.
bool keyboardShown(const QWidget* widget) {
  if (ringShown(widget))
    return true;
  if (const auto* text = qobject_cast<const QTextBrowser*>(widget))
    return text->hasFocus() && text->textCursor().hasSelection();
  const auto* row = qobject_cast<const LibraryIdeaRow*>(widget->parentWidget());
  return row != nullptr && row->showsSelectionFill();
}

// Whether the whole of `widget` (its ring's margins included) lies in `area`'s viewport.
bool inView(const QAbstractScrollArea* area, const QWidget* widget) {
  const QRect rect(widget->mapTo(area->viewport(), QPoint()), widget->size());
  return area->viewport()->rect().contains(rect);
}

std::string whereIs(const QAbstractScrollArea* area, const QWidget* widget) {
  const QRect rect(widget->mapTo(area->viewport(), QPoint()), widget->size());
  return widget->objectName().toStdString() + " at y " + std::to_string(rect.top()) + "–" +
         std::to_string(rect.bottom()) + " of a viewport " + std::to_string(area->viewport()->height()) +
         " high";
}

void savePicture(QWidget* window, const QString& name) {
  EXPECT_TRUE(window->grab().save(brindlewick::testing::testOutputPath(name)));
}

// From the toolbar's search field (where Ctrl+, leaves the keyboard on the settings page),
// Shift+Tab goes round to the page's last control, "Save settings": the page shows it, ringed,
// before a Space could send the settings unseen.
TEST(KeyboardInView, ShiftTabFromTheSearchFieldShowsSaveSettings) {
  Launched launched;
  launched.show(ReaderTab::welcome);
  launched.press(Qt::Key_Comma, Qt::ControlModifier);
  ASSERT_EQ(launched.model.navigationTab(), ReaderTab::settings);
  ASSERT_TRUE(waitUntil([] { return qobject_cast<QLineEdit*>(QApplication::focusWidget()) != nullptr; }));
  ASSERT_EQ(launched.workspace()->verticalScrollBar()->value(), 0);
  ASSERT_GT(launched.workspace()->verticalScrollBar()->maximum(), 0) << "the settings page scrolls";
  savePicture(launched.window(), QStringLiteral("keyboard-in-view-settings-before.png"));

  launched.press(Qt::Key_Backtab, Qt::ShiftModifier);
  QWidget* save = QApplication::focusWidget();
  ASSERT_EQ(focusName(), QStringLiteral("settings.save"));
  EXPECT_TRUE(inView(launched.workspace(), save)) << whereIs(launched.workspace(), save);
  EXPECT_TRUE(ringShown(save));
  QApplication::processEvents(); // the second look, once the page is laid out, keeps it there
  EXPECT_TRUE(inView(launched.workspace(), save)) << whereIs(launched.workspace(), save);
  savePicture(launched.window(), QStringLiteral("keyboard-in-view-settings-save.png"));
}

// The keyboard on "Show Drop", the page scrolled to its end with the wheel, Tab lands on the
// page's first control far above: the page shows it, ringed, on every page.
TEST(KeyboardInView, TabFromTheSidebarShowsThePagesFirstControlWhereverThePageWasScrolled) {
  struct Row {
    const char* name;
    ReaderTab tab;
    QString first;
  };
  const std::vector<Row> rows{
      {"settings", ReaderTab::settings, QStringLiteral("account.sync")},
      {"reading page", ReaderTab::read, QStringLiteral("detail.back")},
      {"library", ReaderTab::discover, QStringLiteral("library.recent")},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Launched launched;
    launched.show(row.tab, row.tab == ReaderTab::read ? std::optional(launched.longIdea()) : std::nullopt);
    ASSERT_TRUE(launched.tabTo(QStringLiteral("sidebar.show")));
    launched.wheelToEnd(true);
    QScrollBar* bar = launched.workspace()->verticalScrollBar();
    ASSERT_GT(bar->value(), 0) << "the page scrolls";
    const QString name = QString::fromLatin1(row.name).replace(QLatin1Char(' '), QLatin1Char('-'));
    savePicture(launched.window(), QStringLiteral("keyboard-in-view-%1-before.png").arg(name));

    launched.press(Qt::Key_Tab);
    QWidget* focus = QApplication::focusWidget();
    ASSERT_EQ(focusName(), row.first);
    EXPECT_TRUE(inView(launched.workspace(), focus)) << whereIs(launched.workspace(), focus);
    EXPECT_TRUE(ringShown(focus));
    QApplication::processEvents();
    EXPECT_TRUE(inView(launched.workspace(), focus)) << whereIs(launched.workspace(), focus);
    savePicture(launched.window(), QStringLiteral("keyboard-in-view-%1-after.png").arg(name));

    // Back the other way, Shift+Tab returns to "Show Drop" and the page stays where it is.
    const int shown = bar->value();
    launched.press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(focusName(), QStringLiteral("sidebar.show"));
    EXPECT_EQ(bar->value(), shown);
  }
}

// A control the reader scrolled away from with the wheel stays out of view when the window is
// left and comes back (the page does not jump back to it), nor when it is disabled by work that
// runs and enabled again with the keyboard on it ("Sync now" while a click on "Save settings"
// saves), and the click itself does not scroll the page.
TEST(KeyboardInView, NeitherTheWindowComingBackNorAClickScrollsThePage) {
  Launched launched;
  launched.show(ReaderTab::settings);
  ASSERT_TRUE(launched.tabTo(QStringLiteral("account.sync")));
  launched.wheelToEnd(true);
  QScrollBar* bar = launched.workspace()->verticalScrollBar();
  const int scrolled = bar->value();
  ASSERT_GT(scrolled, 0);

  QWidget other;
  other.resize(200, 100);
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  launched.window()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(launched.window()));
  QApplication::processEvents();
  EXPECT_EQ(focusName(), QStringLiteral("account.sync"));
  EXPECT_EQ(bar->value(), scrolled);

  // "Save settings" half under the window's bottom edge, clicked where it shows.
  QWidget* save = launched.window()->findChild<QWidget*>(QStringLiteral("settings.save"));
  ASSERT_NE(save, nullptr);
  launched.wheelToEnd(false);
  const QWidget* viewport = launched.workspace()->viewport();
  bar->setValue(save->mapTo(launched.workspace()->widget(), QPoint()).y() + save->height() / 2 -
                viewport->height());
  const int before = bar->value();
  const QPoint visible = save->mapFrom(viewport, QPoint(0, viewport->height() - 4));
  QTest::mouseClick(save, Qt::LeftButton, {}, QPoint(save->width() / 2, visible.y()));
  QApplication::processEvents();
  EXPECT_EQ(bar->value(), before);
  launched.fixture.settle();
  ASSERT_TRUE(waitUntil([] { return focusName() == QStringLiteral("account.sync"); }));
  QApplication::processEvents();
  EXPECT_EQ(bar->value(), before);
}

// Sync now pressed in the account menu: while it runs, Up and Down on the held row move by the
// menu's rule (Up stays, for it is the first row; Down goes to Settings), the held row shows
// it is where the keyboard waits, and when the sync ends the keyboard is on "Sync now" again.
TEST(KeyboardInView, TheArrowsOnTheAccountMenusBusySyncRowFollowTheMenu) {
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

  launched.service().addFault("GET", mePath, {.hold = true});
  launched.press(Qt::Key_Space);
  ASSERT_FALSE(sync->isEnabled());
  ASSERT_EQ(keyboardOn(), sync) << focusName().toStdString();
  const QImage held = picture(sync);
  for (int press = 0; press < 2; ++press) {
    launched.press(Qt::Key_Up);
    EXPECT_EQ(keyboardOn(), sync) << focusName().toStdString();
    EXPECT_NE(qobject_cast<FocusPark*>(QApplication::focusWidget()), nullptr);
  }
  EXPECT_GT(sync->controlState().focus, 0) << "the held row reads as where the keyboard waits";
  savePicture(window, QStringLiteral("keyboard-account-menu-sync-held.png"));

  launched.press(Qt::Key_Down);
  ASSERT_EQ(focusName(), QStringLiteral("account.menu.settings"));
  EXPECT_EQ(sync->controlState().focus, 0);
  const QImage left = picture(sync);
  EXPECT_NE(held, left) << "the held row is lit while the keyboard waits on it, and only then";
  // Up from Settings passes the busy row by, as a menu does; the keyboard stays in the menu.
  launched.press(Qt::Key_Up);
  EXPECT_EQ(focusName(), QStringLiteral("account.menu.settings"));

  ASSERT_TRUE(waitUntil([&] { return launched.service().heldReplies() == 1; }));
  launched.service().releaseHeld();
  launched.fixture.settle();
  ASSERT_TRUE(waitUntil([&] { return sync->isEnabled(); }));
  EXPECT_EQ(focusName(), QStringLiteral("account.menu.settings"));
  launched.press(Qt::Key_Up);
  EXPECT_EQ(focusName(), QStringLiteral("account.menu.sync"));
  EXPECT_TRUE(ringShown(sync));

  // Held again and the sync ends while the keyboard waits on it: "Sync now" has it again.
  launched.service().addFault("GET", mePath, {.hold = true});
  launched.press(Qt::Key_Space);
  launched.press(Qt::Key_Up);
  ASSERT_TRUE(waitUntil([&] { return launched.service().heldReplies() == 1; }));
  launched.service().releaseHeld();
  launched.fixture.settle();
  ASSERT_TRUE(waitUntil([] { return focusName() == QStringLiteral("account.menu.sync"); }));
  EXPECT_TRUE(ringShown(sync));
}

// The account menu of a reader whose session ran out holds the sign-in card: when its body
// changes to the code, the dropdown grows to hold it, and the keyboard's place ("Open sign-in
// page") is in view.
TEST(KeyboardInView, TheAccountDropdownGrowsWithTheSignInCode) {
  Launched launched(
      [](ReaderModelFixture& fixture) {
        fixture.signIn();
        fixture.jumpWallClock(40 * 86400.0);
      },
      false);
  launched.show(ReaderTab::welcome);
  ASSERT_FALSE(launched.model.account().isSignedIn());
  launched.service().grants().setTiming(600, 5);
  ASSERT_TRUE(launched.tabTo(QStringLiteral("account.profile")));
  launched.press(Qt::Key_Space);
  AccountDropdown* dropdown = launched.home()->dropdownLayer()->dropdown();
  // Opened from the keys, the keyboard is on the card's first control, ringed.
  ASSERT_TRUE(waitUntil([] { return focusName() == QStringLiteral("account.signIn"); })) << focusName().toStdString();
  EXPECT_TRUE(ringShown(QApplication::focusWidget()));
  const int before = dropdown->height();
  savePicture(launched.window(), QStringLiteral("account-dropdown-sign-in-before.png"));

  ASSERT_TRUE(launched.tabTo(QStringLiteral("account.signIn")));
  launched.press(Qt::Key_Space);
  ASSERT_TRUE(waitUntil([&] { return launched.model.signInCode().has_value(); }));
  ASSERT_TRUE(waitUntil([] { return focusName() == QStringLiteral("account.openBrowser"); }));
  const int room =
      launched.home()->height() - AccountDropdownLayer::topInset - AccountDropdownLayer::bottomInset;
  // The card's layouts settle a level at a time as the event loop comes round.
  ASSERT_TRUE(waitUntil([&] { return dropdown->heightFor(room) > before; }));
  QTest::qWait(50);
  EXPECT_EQ(dropdown->height(), dropdown->heightFor(room));
  auto* scroll = dropdown->findChild<QScrollArea*>();
  ASSERT_NE(scroll, nullptr);
  for (const char* name : {"account.deviceCode", "account.openBrowser", "account.cancel"}) {
    const QWidget* part = dropdown->findChild<QWidget*>(QString::fromLatin1(name));
    ASSERT_NE(part, nullptr) << name;
    EXPECT_TRUE(inView(scroll, part)) << whereIs(scroll, part);
  }
  EXPECT_TRUE(ringShown(QApplication::focusWidget()));
  savePicture(launched.window(), QStringLiteral("account-dropdown-sign-in-code.png"));
  launched.model.cancelAccountSignIn();
  launched.fixture.settle();
}

// Page Down from a control near the top ("Library" on the reading page, "Recent" in the
// library) scrolls it out of view: the keyboard goes to the page, which rings nothing; Space,
// Down and Shift+Space scroll on and press nothing; Tab lands on the first control in view
// and Shift+Tab, from the page again, on the last, the page staying where it is. At the
// page's end, a Page Down that leaves the keyboard's control in view leaves the keyboard there.
TEST(KeyboardInView, PageKeysThatScrollTheKeyboardsControlAwayLeaveTheKeyboardToThePage) {
  struct Row {
    const char* name;
    ReaderTab tab;
    QString top;
  };
  const std::vector<Row> rows{
      {"reading-page", ReaderTab::read, QStringLiteral("detail.back")},
      {"library", ReaderTab::discover, QStringLiteral("library.recent")},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Launched launched;
    // The idea in full runs over several views, as a long one does.
    DropSnapshot idea = launched.longIdea();
    idea.lore.longExplanation = QStringList(30, idea.lore.explanation).join(QStringLiteral("\n\n"));
    launched.show(row.tab, row.tab == ReaderTab::read ? std::optional(idea) : std::nullopt);
    ReaderWorkspace* page = launched.workspace();
    QScrollBar* bar = page->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 2 * bar->pageStep() + bar->singleStep()) << "the page is three views long";
    int presses = 0;
    for (QAbstractButton* button : launched.window()->findChildren<QAbstractButton*>())
      QObject::connect(button, &QAbstractButton::pressed, [&presses] { ++presses; });
    const auto pageControls = [&](const std::function<bool(const QRect&)>& where) {
      QStringList found;
      for (QWidget* control : page->widget()->findChildren<QWidget*>()) {
        const QRect rect(control->mapTo(page->viewport(), QPoint()), control->size());
        if ((control->focusPolicy() & Qt::TabFocus) != 0 && control->isVisible() && control->isEnabled() &&
            control->findChildren<QAbstractButton*>().isEmpty() && inView(page, control) && where(rect))
          found.append(control->objectName());
      }
      return found;
    };

    ASSERT_TRUE(launched.tabTo(row.top));
    QWidget* top = QApplication::focusWidget();
    launched.press(Qt::Key_PageDown);
    EXPECT_FALSE(PageKeys::inView(page, top)) << whereIs(page, top);
    EXPECT_EQ(QApplication::focusWidget(), page) << focusName().toStdString();
    EXPECT_FALSE(ringShown(top));
    savePicture(launched.window(), QStringLiteral("page-keys-%1-on-the-page.png").arg(row.name));

    // Each key scrolls on, down (+1) or up (-1), and leaves the keyboard on the page.
    const std::tuple<Qt::Key, Qt::KeyboardModifiers, int> keys[] = {
        {Qt::Key_Space, Qt::NoModifier, +1},    {Qt::Key_Down, Qt::NoModifier, +1},
        {Qt::Key_Space, Qt::ShiftModifier, -1}, {Qt::Key_Up, Qt::NoModifier, -1},
        {Qt::Key_PageDown, Qt::NoModifier, +1},
    };
    for (const auto& [key, modifiers, way] : keys) {
      const int before = bar->value();
      launched.press(key, modifiers);
      EXPECT_EQ((bar->value() > before) - (bar->value() < before), way) << key << " from " << before;
      EXPECT_EQ(QApplication::focusWidget(), page) << key << " " << focusName().toStdString();
    }
    EXPECT_EQ(presses, 0);

    // At the page's end Shift+Tab lands on the last control in view, the page staying there.
    launched.press(Qt::Key_End);
    ASSERT_EQ(bar->value(), bar->maximum());
    ASSERT_EQ(QApplication::focusWidget(), page) << focusName().toStdString();
    launched.press(Qt::Key_Backtab, Qt::ShiftModifier);
    QWidget* last = QApplication::focusWidget();
    ASSERT_TRUE(last != nullptr && page->widget()->isAncestorOf(last)) << focusName().toStdString();
    EXPECT_TRUE(inView(page, last)) << whereIs(page, last);
    EXPECT_TRUE(keyboardShown(last)) << focusName().toStdString();
    EXPECT_EQ(bar->value(), bar->maximum());
    const int lastBottom = last->mapTo(page->viewport(), QPoint(0, last->height())).y();
    EXPECT_EQ(pageControls([&](const QRect& rect) { return rect.top() >= lastBottom; }), QStringList());

    // A Page Down that leaves the keyboard's control in view leaves the keyboard there.
    bar->setValue(bar->maximum() - 40);
    ASSERT_TRUE(PageKeys::inView(page, last)) << whereIs(page, last);
    launched.press(Qt::Key_PageDown);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(QApplication::focusWidget(), last) << focusName().toStdString();

    // Home takes the page to its top and the keyboard to the page; End back, and Tab lands on
    // the first control in view.
    launched.press(Qt::Key_Home);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(QApplication::focusWidget(), page) << focusName().toStdString();
    launched.press(Qt::Key_End);
    launched.press(Qt::Key_Tab);
    QWidget* first = QApplication::focusWidget();
    ASSERT_TRUE(first != nullptr && page->widget()->isAncestorOf(first)) << focusName().toStdString();
    EXPECT_TRUE(inView(page, first)) << whereIs(page, first);
    EXPECT_TRUE(keyboardShown(first)) << focusName().toStdString();
    // (One half in view comes wholly in.)
    EXPECT_LE(bar->maximum() - bar->value(), FocusInView::room + first->height() / 2);
    const int firstTop = first->mapTo(page->viewport(), QPoint()).y();
    EXPECT_EQ(pageControls([&](const QRect& rect) { return rect.bottom() < firstTop; }), QStringList());
    savePicture(launched.window(), QStringLiteral("page-keys-%1-tab.png").arg(row.name));
    // From there (a source's link on the reading page) the page keys scroll the page too.
    launched.press(Qt::Key_Home);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(QApplication::focusWidget(), page) << focusName().toStdString();
    EXPECT_EQ(presses, 0) << "Space and the arrows pressed nothing";
  }
}

} // namespace
