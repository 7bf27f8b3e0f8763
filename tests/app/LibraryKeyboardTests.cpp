#include "TestOutput.h"
#include "app/LaunchedReaderWindow.h"
#include "panel/ReadingWindow.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropChoiceList.h"
#include "ui/design/DropFilterMenu.h"
#include "ui/design/DropPaintedButton.h"
#include "ui/design/DropSearchField.h"
#include "ui/design/DropStandardStyle.h"
#include "ui/design/FocusPark.h"
#include "ui/library/LibraryIdeaRow.h"
#include "ui/library/LibraryList.h"
#include "ui/library/LibraryPageModel.h"
#include "ui/library/LibraryView.h"
#include "ui/reading/DetailView.h"
#include "ui/reading/ReadingText.h"
#include "ui/window/AccountDropdown.h"
#include "ui/window/ReaderHome.h"
#include "ui/window/ReaderToolbar.h"
#include "ui/window/ReaderWorkspace.h"

#include <QAccessible>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <QTextDocument>

#include <gtest/gtest.h>

using namespace brindlewick;

namespace {

// The reader window as the application opens it, on Discover.
struct Launched : LaunchedReaderWindow {
  Launched() { EXPECT_TRUE(open(ReaderTab::discover)); }

  LibraryView& page() const { return *delegate.window()->findChild<LibraryView*>(); }
  LibraryList& list() const { return *page().list(); }
  ReaderWorkspace& workspace() const { return *delegate.window()->findChild<ReaderWorkspace*>(); }
  QStringList rows() const { return page().page().lists().filteredIdentities(); }
  // A key as the window delivers it: to the widget with keyboard focus.
  static void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(static_cast<QWidget*>(nullptr), key, modifiers);
  }
  // A key as the keyboard gives it to the window: its shortcuts and menu bar look first.
  void type(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const {
    QTest::keyClick(delegate.window()->windowHandle(), key, modifiers);
  }
};

// Where the keyboard focus is in the list: the row's place among those listed and the
// control's place in the row (summary, love, save, share).
struct Stop {
  qsizetype row = -1;
  int control = -1;
  bool operator==(const Stop&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Stop& stop) {
  return out << "row " << stop.row << " control " << stop.control;
}

std::optional<Stop> focusedStop(const Launched& launched) {
  QWidget* focus = QApplication::focusWidget();
  for (QWidget* level = focus; level != nullptr; level = level->parentWidget()) {
    auto* row = qobject_cast<LibraryIdeaRow*>(level);
    if (row == nullptr)
      continue;
    const LibraryIdeaRow::Control controls[] = {LibraryIdeaRow::Control::read, LibraryIdeaRow::Control::love,
                                                LibraryIdeaRow::Control::save, LibraryIdeaRow::Control::share};
    for (int control = 0; control < 4; ++control) {
      if (row->control(controls[control]) == focus)
        return Stop{launched.rows().indexOf(LibraryViewModel::identity(row->snapshot())), control};
    }
  }
  return std::nullopt;
}

QRect inViewport(const Launched& launched, const QWidget* widget) {
  return QRect(widget->mapTo(launched.workspace().viewport(), QPoint()), widget->size());
}

// Every row lies wholly inside the workspace's viewport while it has the focus; the page
// scrolls only as far as that needs, in the direction of travel, and not at all while the
// focus stays in a row already in view.
void walk(Launched& launched, bool forward, const QList<Stop>& expected) {
  QScrollBar& bar = *launched.workspace().verticalScrollBar();
  const QRect viewport = launched.workspace().viewport()->rect();
  for (const Stop& next : expected) {
    const int before = bar.value();
    const std::optional<Stop> from = focusedStop(launched);
    Launched::press(forward ? Qt::Key_Tab : Qt::Key_Backtab);
    const std::optional<Stop> now = focusedStop(launched);
    ASSERT_TRUE(now.has_value()) << "expected " << next;
    EXPECT_EQ(*now, next);
    auto* row = launched.list().rowFor(launched.rows()[now->row]);
    ASSERT_NE(row, nullptr);
    EXPECT_TRUE(viewport.contains(inViewport(launched, row))) << *now;
    EXPECT_TRUE(row->showsSelectionFill()) << *now;
    if (from && from->row == now->row)
      EXPECT_EQ(bar.value(), before) << *now;
    else if (forward)
      EXPECT_GE(bar.value(), before) << *now;
    else
      EXPECT_LE(bar.value(), before) << *now;
  }
}

TEST(LibraryKeyboard, TabWalksTheRowsInTheirOrderAndShiftTabWalksBack) {
  Launched launched;
  LibraryView& page = launched.page();
  const QStringList rows = launched.rows();
  ASSERT_GE(rows.size(), 12);
  // Rows made and recycled out of order, as a reader scrolling down and back up leaves them.
  QScrollBar& bar = *launched.workspace().verticalScrollBar();
  ASSERT_GT(bar.maximum(), launched.workspace().viewport()->height());
  for (const int value : {bar.maximum(), bar.maximum() / 2, bar.maximum() / 3, 0})
    bar.setValue(value);
  QApplication::processEvents();

  page.topicMenu()->setFocus(Qt::TabFocusReason);
  QList<Stop> forward;
  for (qsizetype row = 0; row < 12; ++row)
    for (int control = 0; control < 4; ++control)
      forward.append({row, control});
  walk(launched, true, forward);
  EXPECT_GT(bar.value(), 0); // the twelfth row lies below the first screen
  launched.delegate.window()->grab().save(
      brindlewick::testing::testOutputPath(QStringLiteral("library-tab-focus-light.png")));

  QList<Stop> back(forward.rbegin() + 1, forward.rend());
  walk(launched, false, back);
  // From the first row the focus goes back where it came from.
  Launched::press(Qt::Key_Backtab);
  EXPECT_EQ(QApplication::focusWidget(), page.topicMenu());
  EXPECT_EQ(page.page().lists().selection(), std::nullopt); // Tab moves the focus, not the selection
}

// A row's love pressed from the keyboard keeps the keyboard while the love is stored (the row's
// buttons wait, disabled), and the row stays lit: the next Space takes the love back rather
// than pressing a neighbour.
TEST(LibraryKeyboard, ALovePressedFromTheKeyboardKeepsItWhileItIsStored) {
  Launched launched;
  launched.page().topicMenu()->setFocus(Qt::TabFocusReason);
  Launched::press(Qt::Key_Tab);
  Launched::press(Qt::Key_Tab);
  ASSERT_EQ(focusedStop(launched), (Stop{0, 1}));
  auto* row = launched.list().rowFor(launched.rows()[0]);
  ASSERT_NE(row, nullptr);
  QWidget* love = row->control(LibraryIdeaRow::Control::love);
  const DropSnapshot idea = row->snapshot();
  for (const bool loved : {true, false}) {
    SCOPED_TRACE(loved ? "love" : "take back");
    Launched::press(Qt::Key_Space);
    if (launched.model.collectionBusy()) {
      EXPECT_FALSE(love->isEnabled());
      EXPECT_EQ(QApplication::focusWidget(), FocusPark::of(love));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return !launched.model.collectionBusy(); }, 10000));
    EXPECT_EQ(launched.model.isLoved(idea), loved);
    EXPECT_EQ(QApplication::focusWidget(), love);
    EXPECT_TRUE(row->showsSelectionFill());
  }
}

TEST(LibraryKeyboard, ShiftTabIntoTheListLandsOnTheLastRowAndTabLeavesIt) {
  Launched launched;
  const QStringList rows = launched.rows();
  const qsizetype last = rows.size() - 1;
  launched.page().topicMenu()->setFocus(Qt::TabFocusReason);
  // Tab to the first row's summary, Shift+Tab back out and on round the window, to whatever
  // comes before the filters, then forward again: the list is entered at its start each time.
  Launched::press(Qt::Key_Tab);
  EXPECT_EQ(focusedStop(launched), (Stop{0, 0}));
  Launched::press(Qt::Key_Backtab);
  EXPECT_EQ(QApplication::focusWidget(), launched.page().topicMenu());

  // Walk forward to the very end of the list, and one more: out of the list.
  for (qsizetype step = 0; step < 4 * rows.size(); ++step)
    Launched::press(Qt::Key_Tab);
  EXPECT_EQ(focusedStop(launched), (Stop{last, 3}));
  Launched::press(Qt::Key_Tab);
  EXPECT_FALSE(focusedStop(launched).has_value());
  QWidget* after = QApplication::focusWidget();
  ASSERT_NE(after, nullptr);
  EXPECT_FALSE(launched.list().isAncestorOf(after));
  // And back in from there: the last row's last control, in view.
  Launched::press(Qt::Key_Backtab);
  EXPECT_EQ(focusedStop(launched), (Stop{last, 3}));
  auto* row = launched.list().rowFor(rows[last]);
  ASSERT_NE(row, nullptr);
  EXPECT_TRUE(launched.workspace().viewport()->rect().contains(inViewport(launched, row)));
}

// Tab from the filters, and Shift+Tab from the first control beyond the list, move the focus
// once, straight to where it lands: no control on the way takes it first, or assistive
// technology, told of every focus change, would announce it.
TEST(LibraryKeyboard, TheFocusMovesOnceStraightWhereItLands) {
  Launched launched;
  launched.page().topicMenu()->setFocus(Qt::TabFocusReason);
  QList<QWidget*> focused;
  const QMetaObject::Connection watch = QObject::connect(
      qApp, &QApplication::focusChanged, &launched.list(), [&focused](QWidget*, QWidget* now) { focused.append(now); });
  Launched::press(Qt::Key_Tab);
  EXPECT_EQ(focusedStop(launched), (Stop{0, 0}));
  EXPECT_EQ(focused, QList<QWidget*>{QApplication::focusWidget()});

  // Beyond the list and back.
  const qsizetype last = launched.rows().size() - 1;
  for (qsizetype step = 0; step < 4 * launched.rows().size() - 1; ++step)
    Launched::press(Qt::Key_Tab);
  EXPECT_EQ(focusedStop(launched), (Stop{last, 3}));
  Launched::press(Qt::Key_Tab);
  focused.clear();
  Launched::press(Qt::Key_Backtab);
  EXPECT_EQ(focusedStop(launched), (Stop{last, 3}));
  EXPECT_EQ(focused, QList<QWidget*>{QApplication::focusWidget()});
  QObject::disconnect(watch);
}

// Return and Enter open the list's selection wherever the focus is in the list, a row's love,
// save or share included, which they would otherwise press; without a selection they press
// the focused control, and Space presses it always. The focus gets there by Tab alone.
TEST(LibraryKeyboard, ReturnOpensTheSelectionFromAnyControlOfTheListAndSpacePressesTheControl) {
  using Control = LibraryIdeaRow::Control;
  struct Case {
    const char* name;
    Control control; // of the first row, where the focus rests
    int downs;       // the first selects the first row
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int opened;                     // the row whose idea opens; -1 for none
    std::optional<Control> toggled; // the collection control pressed, if any
  };
  constexpr std::nullopt_t none = std::nullopt;
  const Case cases[] = {
      {"Return on love, the third row selected", Control::love, 3, Qt::Key_Return, {}, 2, none},
      {"Enter on save, the third row selected", Control::save, 3, Qt::Key_Enter, Qt::KeypadModifier, 2, none},
      {"Return on share, the second row selected", Control::share, 2, Qt::Key_Return, {}, 1, none},
      {"Return on the summary, the third row selected", Control::read, 3, Qt::Key_Return, {}, 2, none},
      {"Return on the summary, no selection", Control::read, 0, Qt::Key_Return, {}, 0, none},
      {"Return on love, no selection", Control::love, 0, Qt::Key_Return, {}, -1, Control::love},
      {"Enter on save, no selection", Control::save, 0, Qt::Key_Enter, Qt::KeypadModifier, -1, Control::save},
      {"Space on love, the third row selected", Control::love, 3, Qt::Key_Space, {}, -1, Control::love},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Launched launched;
    ReaderModel& model = launched.model;
    const QStringList rows = launched.rows();
    ASSERT_GE(rows.size(), 3);
    const DropSnapshot first = launched.page().page().lists().row(0);
    const bool loved = model.isLoved(first);
    const bool saved = model.isSaved(first);

    launched.page().topicMenu()->setFocus(Qt::TabFocusReason);
    for (int stop = 0; stop <= int(c.control); ++stop)
      launched.type(Qt::Key_Tab);
    LibraryIdeaRow* row = launched.list().rowFor(rows[0]);
    ASSERT_NE(row, nullptr);
    QWidget* control = row->control(c.control);
    ASSERT_EQ(QApplication::focusWidget(), control);
    for (int down = 0; down < c.downs; ++down) {
      launched.type(Qt::Key_Down);
      EXPECT_EQ(launched.page().page().lists().selection(), rows[down]);
    }
    ASSERT_EQ(QApplication::focusWidget(), control) << "the arrows move the selection, not the focus";
    if (&c == &cases[0])
      launched.delegate.window()->grab().save(
          brindlewick::testing::testOutputPath(QStringLiteral("library-selection-and-focus.png")));

    const std::optional<DropSnapshot> wanted =
        c.opened >= 0 ? std::optional(launched.page().page().lists().row(c.opened)) : std::nullopt;
    launched.type(c.key, c.modifiers);
    if (wanted) {
      EXPECT_EQ(model.navigationTab(), ReaderTab::read);
      EXPECT_EQ(model.detail(), wanted);
      QApplication::processEvents();
      auto* page = qobject_cast<DetailView*>(launched.delegate.home()->page());
      EXPECT_TRUE(page != nullptr && page->explanation()->toPlainText() == wanted->lore.explanation);
      // The keyboard goes on from the reading page's first control, ringed.
      const auto* focus = qobject_cast<const DropPaintedButton*>(QApplication::focusWidget());
      EXPECT_TRUE(focus != nullptr && page != nullptr && page->isAncestorOf(focus) &&
                  focus->controlState().focus > 0);
    } else {
      EXPECT_EQ(model.navigationTab(), ReaderTab::discover);
    }
    // A press of love or save changes the account's collection; nothing else does.
    EXPECT_EQ(model.collectionBusy(), c.toggled.has_value());
    ASSERT_TRUE(waitUntil([&] { return !model.collectionBusy(); }));
    EXPECT_EQ(model.isLoved(first), loved != (c.toggled == Control::love));
    EXPECT_EQ(model.isSaved(first), saved != (c.toggled == Control::save));
    for (QMenu* menu : launched.delegate.window()->findChildren<QMenu*>())
      EXPECT_FALSE(menu->isVisible()) << "a menu opened: " << menu->title().toStdString();
  }
}

bool looksLikeMarkup(const QString& text) {
  return text.contains(QLatin1Char('<')) || Qt::mightBeRichText(text);
}

// Every element of the tree under `element`, each with its description.
void collectDescriptions(QAccessibleInterface* element, QStringList& descriptions, int depth = 0) {
  if (element == nullptr || depth > 64)
    return;
  descriptions.append(element->text(QAccessible::Description));
  for (int i = 0; i < element->childCount(); ++i)
    collectDescriptions(element->child(i), descriptions, depth + 1);
}

TEST(LibraryKeyboard, AssistiveTechnologyReadsEveryDescriptionOfThePageAsPlainText) {
  Launched launched;
  launched.delegate.window()->resize(1200, 900);
  QApplication::processEvents();
  QStringList descriptions;
  collectDescriptions(QAccessible::queryAccessibleInterface(launched.delegate.window()), descriptions);
  descriptions.removeAll(QString());
  ASSERT_GT(descriptions.size(), 19);
  for (const QString& description : std::as_const(descriptions))
    EXPECT_FALSE(looksLikeMarkup(description)) << description.toStdString();
  // The help texts themselves, word for word, beside the tooltips that still wrap.
  EXPECT_TRUE(descriptions.contains(QStringLiteral("Love this idea, separately from saving it")))
      << descriptions.join(QStringLiteral(" | ")).toStdString();
  AccountButton* avatar = launched.delegate.window()->findChild<AccountButton*>();
  ASSERT_NE(avatar, nullptr);
  EXPECT_EQ(QAccessible::queryAccessibleInterface(avatar)->text(QAccessible::Description),
            launched.model.account().user()->email);
  EXPECT_TRUE(Qt::mightBeRichText(avatar->toolTip()));
}

TEST(LibraryKeyboard, TheRecentToggleReadsAsOnOrOff) {
  Launched launched;
  DropButton* recent = launched.page().recentToggle();
  QAccessibleInterface* element = QAccessible::queryAccessibleInterface(recent);
  ASSERT_NE(element, nullptr);
  EXPECT_EQ(element->role(), QAccessible::Button);
  EXPECT_EQ(element->text(QAccessible::Name), QStringLiteral("Recently read"));
  EXPECT_EQ(element->text(QAccessible::Description), QStringLiteral("Only show recently read ideas"));
  for (const bool on : {true, false}) {
    QTest::mouseClick(recent, Qt::LeftButton, {}, recent->rect().center());
    QApplication::processEvents();
    EXPECT_EQ(launched.page().page().lists().recentOnly(), on);
    const QAccessible::State state = element->state();
    EXPECT_TRUE(state.checkable);
    EXPECT_EQ(bool(state.checked), on);
  }
}

TEST(LibraryKeyboard, TheFilterMenusKeepOneChoiceGroupThroughRefills) {
  Launched launched;
  DropButton* recent = launched.page().recentToggle();
  // Recent on lists no ideas (nothing was read), off the release's: both menus refill each time.
  for (int click = 0; click < 6; ++click) {
    QTest::mouseClick(recent, Qt::LeftButton, {}, recent->rect().center());
    QApplication::processEvents();
  }
  for (DropFilterMenu* filter : {launched.page().bookMenu(), launched.page().topicMenu()}) {
    const auto groups = filter->menu()->findChildren<QActionGroup*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(groups.size(), 1);
    EXPECT_EQ(groups.first()->actions().size(), filter->menu()->actions().size());
  }
}

// A filter keeps the keyboard once its menu (or its long list) closes, and shows its ring when
// the reader left the menu with a key, a choice made with Return or Escape, as the avatar
// does; not after a choice clicked. The ring and the capsule lie whole inside the filter bar.
TEST(LibraryKeyboard, AFilterRingsAgainWhenItsMenuIsLeftWithAKey) {
  enum class Close { escape, returnKey, click };
  struct Row {
    const char* name;
    Close close;
    bool chooses;
    bool ring;
  };
  const std::vector<Row> rows{{"escape", Close::escape, false, true},
                              {"return", Close::returnKey, true, true},
                              {"click", Close::click, true, false}};
  for (const bool books : {false, true}) {
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(books ? "books, " : "topics, ") + row.name);
      Launched launched;
      DropFilterMenu* filter = books ? launched.page().bookMenu() : launched.page().topicMenu();
      launched.delegate.window()->findChild<DropSearchField*>()->setFocus(Qt::TabFocusReason);
      for (int step = 0; step < 20 && !filter->hasFocus(); ++step)
        Launched::press(Qt::Key_Tab);
      ASSERT_TRUE(filter->hasFocus());
      ASSERT_GT(filter->controlState().focus, 0);
      const QString before = filter->selection();
      Launched::press(Qt::Key_Space);
      QWidget* popup = QApplication::activePopupWidget();
      ASSERT_NE(popup, nullptr);
      // The topics make a long list, the books a menu.
      auto* list = qobject_cast<DropChoiceList*>(popup);
      switch (row.close) {
      case Close::escape: Launched::press(Qt::Key_Escape); break;
      case Close::returnKey:
        Launched::press(Qt::Key_Down);
        Launched::press(Qt::Key_Down);
        Launched::press(Qt::Key_Return);
        break;
      case Close::click:
        if (list != nullptr) {
          QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                            list->visualItemRect(list->item(2)).center());
        } else {
          auto* menu = qobject_cast<QMenu*>(popup);
          ASSERT_NE(menu, nullptr);
          QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().at(2)).center());
        }
        break;
      }
      ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() == nullptr; }, 2000));
      ASSERT_TRUE(QTest::qWaitFor([&] { return filter->hasFocus(); }, 2000));
      EXPECT_EQ(filter->selection() != before, row.chooses) << filter->selection().toStdString();
      EXPECT_EQ(filter->controlState().focus > 0, row.ring);
      // Nothing of it is cut off: the capsule at its full height, the glass inside the bar.
      EXPECT_EQ(filter->shapeRect().height(), int(filter->buttonStyle().metrics().height));
      EXPECT_TRUE(filter->parentWidget()->rect().contains(filter->geometry()));
      if (row.close == Close::returnKey && !books) {
        QWidget* window = launched.delegate.window();
        EXPECT_TRUE(window->grab().save(
            brindlewick::testing::testOutputPath(QStringLiteral("library-filter-after-menu.png"))));
        const QRect around(filter->parentWidget()->mapTo(window, QPoint()), filter->parentWidget()->size());
        EXPECT_TRUE(window->grab(around).save(
            brindlewick::testing::testOutputPath(QStringLiteral("library-filter-bar.png"))));
      }
    }
  }
}

TEST(LibraryKeyboard, TheAvatarRingsOnlyForTheKeyboard) {
  Launched launched;
  AccountButton* avatar = launched.delegate.window()->findChild<AccountButton*>();
  ASSERT_NE(avatar, nullptr);
  const QPoint centre = avatar->rect().center();
  // A click opens the dropdown, a click on the dimmed window closes it: focus is back on the
  // avatar, without a ring.
  QTest::mouseClick(avatar, Qt::LeftButton, {}, centre);
  QWidget* dropdown = launched.delegate.window()->findChild<QWidget*>(QStringLiteral("account.dropdown"));
  ASSERT_NE(dropdown, nullptr);
  QWidget* scrim = dropdown->parentWidget();
  while (scrim != nullptr && qobject_cast<AccountDropdownLayer*>(scrim) == nullptr)
    scrim = scrim->parentWidget();
  ASSERT_NE(scrim, nullptr);
  QTest::mouseClick(scrim, Qt::LeftButton, {}, QPoint(40, scrim->height() - 40));
  ASSERT_TRUE(QTest::qWaitFor([&] { return avatar->hasFocus(); }, 2000));
  EXPECT_FALSE(avatar->showsFocusRing());
  // By the keyboard: Tab from the search field rings it; the dropdown it opens and Escape
  // give the focus back with the ring.
  launched.delegate.window()->findChild<DropSearchField*>()->setFocus(Qt::TabFocusReason);
  for (int step = 0; step < 200 && !avatar->hasFocus() && QApplication::focusWidget() != nullptr; ++step) {
    QWidget* before = QApplication::focusWidget();
    Launched::press(Qt::Key_Tab);
    if (QApplication::focusWidget() == before)
      break;
    if (launched.list().isAncestorOf(QApplication::focusWidget()))
      FAIL() << "the search field's next stop is the avatar";
  }
  ASSERT_TRUE(avatar->hasFocus());
  EXPECT_TRUE(avatar->showsFocusRing());
  Launched::press(Qt::Key_Space);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !avatar->hasFocus(); }, 2000));
  Launched::press(Qt::Key_Escape);
  ASSERT_TRUE(QTest::qWaitFor([&] { return avatar->hasFocus(); }, 2000));
  EXPECT_TRUE(avatar->showsFocusRing());
}

// The list a choice control opened: a menu, our long list or a combo box's.
struct OpenedChoices {
  QWidget* popup = QApplication::activePopupWidget();

  QMenu* menu() const { return qobject_cast<QMenu*>(popup); }
  QAbstractItemView* view() const {
    auto* view = qobject_cast<QAbstractItemView*>(popup);
    return view != nullptr ? view : popup->findChild<QAbstractItemView*>();
  }
  int rows() const { return menu() != nullptr ? int(menu()->actions().size()) : view()->model()->rowCount(); }
  int current() const {
    return menu() != nullptr ? int(menu()->actions().indexOf(menu()->activeAction()))
                             : view()->currentIndex().row();
  }
  QRect rowRect(int row) const {
    if (menu() != nullptr)
      return menu()->actionGeometry(menu()->actions().at(row));
    const QRect rect = view()->visualRect(view()->model()->index(row, 0));
    return QRect(view()->viewport()->mapTo(popup, rect.topLeft()), rect.size());
  }
  // The rows shown filled, told from the bare surface beside them.
  QList<int> litRows() const {
    const QImage shown = popup->grab().toImage();
    QList<int> lit;
    for (int row = 0; row < rows(); ++row) {
      const int y = rowRect(row).center().y();
      if (y > 0 && y < shown.height() &&
          shown.pixel(DropStandardStyle::popupInset + 4, y) != shown.pixel(2, y))
        lit.append(row);
    }
    return lit;
  }
  // What Qt tells a window that appears under a pointer resting at `global`: it entered, and
  // moved to where it already was.
  void pointerRestsAt(const QPoint& global) const {
    const QPoint local = popup->mapFromGlobal(global);
    QEnterEvent enter(local, local, global);
    QCoreApplication::sendEvent(popup->windowHandle(), &enter);
    QWidget* under = popup->childAt(local) != nullptr ? popup->childAt(local) : popup;
    QMouseEvent move(QEvent::MouseMove, under->mapFromGlobal(global), global, Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(under, &move);
  }
};

// A list of choices opened from the keyboard where the pointer happens to rest keeps the
// reader's choice current and the only row lit, so Return keeps it; a real move of the pointer
// makes the row under it current. The long list is heard as a list inside its control.
TEST(LibraryKeyboard, AListOpenedUnderARestingPointerKeepsTheReadersChoice) {
  const std::vector<std::pair<ReaderTab, const char*>> rows{{ReaderTab::discover, "library.bookMenu"},
                                                            {ReaderTab::discover, "library.topicMenu"},
                                                            {ReaderTab::settings, "settings.interval"}};
  for (const auto& [tab, name] : rows) {
    SCOPED_TRACE(name);
    Launched launched;
    launched.show(tab);
    auto* control = launched.delegate.window()->findChild<QWidget*>(QLatin1String(name));
    ASSERT_NE(control, nullptr);
    auto* combo = qobject_cast<QComboBox*>(control);
    const auto chosen = [&] {
      return combo != nullptr ? combo->currentText()
                              : static_cast<DropFilterMenu*>(control)->selection() + QLatin1Char('/') +
                                    QString::number(launched.page().page().lists().count());
    };
    const auto open = [] {
      Launched::press(Qt::Key_Space);
      QApplication::processEvents(); // the window system's answer to the pop-up
      return OpenedChoices{};
    };
    // Closed, with the reader window active again.
    const auto closed = [&] {
      QApplication::processEvents();
      return QTest::qWaitFor([&] {
        return QApplication::activePopupWidget() == nullptr &&
               QApplication::activeWindow() == launched.delegate.window();
      });
    };
    control->setFocus(Qt::TabFocusReason);
    const QString before = chosen();
    OpenedChoices opened = open();
    ASSERT_NE(opened.popup, nullptr);
    const int choice = opened.current();
    EXPECT_EQ(choice, combo != nullptr ? combo->currentIndex() : 0);
    // The pointer rests on the next row when the list opens there again.
    const QRect next = opened.rowRect(choice + 1);
    const QPoint resting = opened.popup->mapToGlobal(next.center() - QPoint(0, next.height() / 4));
    const QPoint moved = opened.popup->mapToGlobal(next.center() + QPoint(0, next.height() / 4));
    Launched::press(Qt::Key_Escape);
    ASSERT_TRUE(closed());
    QCursor::setPos(resting);

    opened = open();
    opened.pointerRestsAt(resting);
    EXPECT_EQ(opened.current(), choice);
    EXPECT_EQ(opened.litRows(), QList<int>{choice});
    if (qobject_cast<DropChoiceList*>(opened.popup) != nullptr) {
      QAccessibleInterface* list = QAccessible::queryAccessibleInterface(opened.popup);
      EXPECT_EQ(list->role(), QAccessible::List);
      ASSERT_EQ(list->childCount(), opened.rows());
      EXPECT_EQ(list->child(choice)->role(), QAccessible::ListItem);
      EXPECT_EQ(list->child(choice)->text(QAccessible::Name), QStringLiteral("All topics"));
      EXPECT_TRUE(list->child(choice)->state().checked);
      EXPECT_TRUE(list->child(choice)->state().focused);
      EXPECT_FALSE(list->child(choice + 1)->state().checked);
      EXPECT_EQ(list->parent(), QAccessible::queryAccessibleInterface(control));
      EXPECT_EQ(list->parent()->indexOfChild(list), 0);
      opened.popup->grab().save(
          brindlewick::testing::testOutputPath(QStringLiteral("choice-list-resting.png")));
    }
    Launched::press(Qt::Key_Return);
    ASSERT_TRUE(closed());
    EXPECT_EQ(chosen(), before);

    opened = open();
    opened.pointerRestsAt(resting);
    QCursor::setPos(moved);
    QApplication::processEvents();
    EXPECT_EQ(opened.current(), choice + 1);
    EXPECT_EQ(opened.litRows(), QList<int>{choice + 1});
    if (qobject_cast<DropChoiceList*>(opened.popup) != nullptr)
      opened.popup->grab().save(
          brindlewick::testing::testOutputPath(QStringLiteral("choice-list-moved.png")));
    Launched::press(Qt::Key_Return);
    ASSERT_TRUE(closed());
    EXPECT_NE(chosen(), before);
    EXPECT_EQ(QApplication::focusWidget(), control);
  }
}

} // namespace
