#include "LibraryFixture.h"
#include "ui/design/CollectionButton.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropChoiceList.h"
#include "ui/design/DropEmptyState.h"
#include "ui/design/DropFilterMenu.h"
#include "ui/design/DropScreenHeader.h"
#include "ui/design/DropMenuRowStyle.h"
#include "ui/design/DropStandardStyle.h"
#include "ui/design/DropTextBlock.h"
#include "ui/design/FitLayout.h"
#include "ui/design/IdeaShareButton.h"
#include "ui/library/LibraryIdeaRow.h"
#include "ui/library/LibraryList.h"
#include "ui/library/LibraryPageModel.h"
#include "ui/library/LibraryRow.h"
#include "ui/library/LibraryView.h"

#include <QApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScreen>
#include <QScrollBar>
#include <QTest>

using namespace brindlewick;
using namespace brindlewick::testing;

namespace {

// Counts the keys that reach a widget (the workspace) from its descendants.
struct KeyCounter : QObject {
  QList<int> keys;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::KeyPress)
      keys.append(static_cast<QKeyEvent*>(event)->key());
    return false;
  }
};

// A library page inside a scrolling workspace, as the reader window holds it.
struct Workspace {
  Workspace(ReaderModel& model, ReaderTab tab, QSize size = {1200, 800}) {
    area.setWidgetResizable(true);
    auto* content = new QWidget;
    content->setAutoFillBackground(true);
    QPalette palette = content->palette();
    palette.setColor(QPalette::Window, DropDesign::windowBackground(UiEnvironment::instance().scheme()));
    content->setPalette(palette);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    page = new LibraryView(model, tab, [this](const DropSnapshot& snapshot) { opened.append(snapshot); });
    layout->addWidget(page);
    area.setWidget(content);
    area.resize(size);
    area.show();
    area.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&area));
    flushEvents();
  }
  LibraryList& list() { return *page->list(); }
  const LibraryViewModel& lists() { return page->page().lists(); }
  QScrollBar& bar() { return *area.verticalScrollBar(); }
  QRect viewportIn(QWidget* widget) {
    return QRect(widget->mapFrom(area.viewport(), QPoint(0, 0)), area.viewport()->size());
  }

  QScrollArea area;
  LibraryView* page;
  QList<DropSnapshot> opened;
};

// Saves the workspace in light and dark; `name` takes the scheme as its last argument.
void renderSchemes(Workspace& workspace, const QString& name) {
  for (const ColorScheme scheme : {ColorScheme::dark, ColorScheme::light}) {
    UiEnvironment::instance().setOverrides({.scheme = scheme, .reduceMotion = true});
    QPalette palette = workspace.area.widget()->palette();
    palette.setColor(QPalette::Window, DropDesign::windowBackground(scheme));
    workspace.area.widget()->setPalette(palette);
    flushEvents();
    workspace.area.grab().save(testOutputPath(name.arg(scheme == ColorScheme::dark ? "dark" : "light")));
  }
}

// Every row on screen is as tall as a new row of its idea needs at its width, in its place.
void expectRowsFitTheirContent(Workspace& workspace, ReaderModel& model) {
  LibraryList& list = workspace.list();
  const QStringList ids = workspace.lists().filteredIdentities();
  int checked = 0;
  for (qsizetype index = 0; index < ids.size(); ++index) {
    LibraryIdeaRow* row = list.rowFor(ids[index]);
    if (row == nullptr || row->isHidden())
      continue;
    SCOPED_TRACE(ids[index].toStdString());
    LibraryIdeaRow fresh(model, row->snapshot());
    EXPECT_EQ(row->height(), fresh.heightForWidth(row->width()));
    EXPECT_EQ(row->geometry(), list.rowRect(index));
    DropTextBlock* explanation = row->summary()->explanationLabel();
    EXPECT_GE(explanation->height(), explanation->heightForWidth(explanation->width()));
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

class LibraryPageTest : public LibraryTest {};

TEST_F(LibraryPageTest, ArrowsMoveTheSelectionAndReturnOpensIt) {
  Workspace workspace(model(), ReaderTab::discover);
  KeyCounter reached;
  workspace.area.installEventFilter(&reached);
  LibraryList& list = workspace.list();
  list.setFocus(Qt::TabFocusReason);
  const QStringList ids = workspace.lists().filteredIdentities();
  ASSERT_GE(ids.size(), 3);

  QTest::keyClick(&list, Qt::Key_Up);
  EXPECT_EQ(workspace.lists().selection(), ids[0]);
  QTest::keyClick(&list, Qt::Key_Down);
  QTest::keyClick(&list, Qt::Key_Down);
  LibraryIdeaRow* row = list.rowFor(ids[2]);
  ASSERT_NE(row, nullptr);
  EXPECT_TRUE(row->isSelected());
  EXPECT_FALSE(list.rowFor(ids[1])->isSelected());
  // From a row's control as well.
  row->shareButton()->setFocus(Qt::TabFocusReason);
  QTest::keyClick(row->shareButton(), Qt::Key_Up);
  EXPECT_EQ(workspace.lists().selection(), ids[1]);
  QTest::keyClick(&list, Qt::Key_Return);
  ASSERT_EQ(workspace.opened.size(), 1);
  EXPECT_EQ(LibraryViewModel::identity(workspace.opened[0]), ids[1]);
  EXPECT_TRUE(reached.keys.isEmpty());

  // A search that hides the selection: Return travels on to the workspace.
  model().setLibrarySearch(QStringLiteral("\u2603"));
  flushEvents();
  list.setFocus(Qt::TabFocusReason);
  QTest::keyClick(workspace.page, Qt::Key_Return);
  EXPECT_EQ(reached.keys, QList<int>{Qt::Key_Return});
  EXPECT_EQ(workspace.opened.size(), 1);
}

TEST_F(LibraryPageTest, AClickOpensWithoutMovingTheSelection) {
  Workspace workspace(model(), ReaderTab::discover);
  const QStringList ids = workspace.lists().filteredIdentities();
  workspace.page->page().setSelection(ids[0]);
  QTest::mouseClick(workspace.list().rowFor(ids[1])->readButton(), Qt::LeftButton, {}, QPoint(10, 10));
  ASSERT_EQ(workspace.opened.size(), 1);
  EXPECT_EQ(LibraryViewModel::identity(workspace.opened[0]), ids[1]);
  EXPECT_EQ(workspace.lists().selection(), ids[0]);
}

TEST_F(LibraryPageTest, ContextMenuLabelsFollowTheAccount) {
  Workspace workspace(model(), ReaderTab::discover);
  const auto labels = [&](const DropSnapshot& snapshot) {
    std::unique_ptr<QMenu> menu(workspace.list().contextMenu(snapshot, nullptr));
    QStringList texts;
    for (QAction* action : menu->actions())
      texts.append(action->text());
    return texts;
  };
  const DropSnapshot other = drop(9);
  EXPECT_EQ(labels(model().savedSnapshots().first()),
            (QStringList{"Open idea", "Love this idea", "Remove from Saved"}));
  EXPECT_EQ(labels(other), (QStringList{"Open idea", "Love this idea", "Save this idea"}));
  std::unique_ptr<QMenu> menu(workspace.list().contextMenu(other, nullptr));
  menu->actions()[1]->trigger();
  waitForCollection();
  EXPECT_EQ(labels(other), (QStringList{"Open idea", "Unlove this idea", "Save this idea"}));
}

TEST_F(LibraryPageTest, FilterBarMenusAndLayout) {
  Workspace wide(model(), ReaderTab::discover);
  auto* book = wide.page->findChild<DropFilterMenu*>(QStringLiteral("library.bookMenu"));
  ASSERT_NE(book, nullptr);
  EXPECT_TRUE(wide.page->filterLayout()->isRow());
  // Choosing a book narrows the list; its menu shows it checked.
  QAction* first = book->menu()->actions()[1];
  first->trigger();
  flushEvents();
  EXPECT_EQ(book->selection(), wide.lists().books().first().title);
  EXPECT_TRUE(first->isChecked());
  EXPECT_LT(wide.lists().count(), wide.lists().all().size());
  EXPECT_EQ(wide.page->header()->trailingLabel()->text(), LibraryViewModel::countText(wide.lists().count()));

  // The first filter's shape starts where the header does, in a row and in a column.
  Workspace narrow(model(), ReaderTab::discover, {400, 800});
  EXPECT_FALSE(narrow.page->filterLayout()->isRow());
  for (Workspace* workspace : {&wide, &narrow}) {
    LibraryView* page = workspace->page;
    const auto* recent = page->findChild<DropButton*>(QStringLiteral("library.recent"));
    EXPECT_EQ(recent->mapTo(page, recent->shapeRect().topLeft()).x(),
              page->header()->titleLabel()->mapTo(page, QPoint()).x());
  }
}

TEST(LibraryPageSignedOut, ShowsTheAccountCardAndOnlyTheRecentToggle) {
  ReaderModelFixture fx;
  ReaderModel& model = fx.open();
  for (const ReaderTab tab : {ReaderTab::discover, ReaderTab::saved, ReaderTab::history}) {
    Workspace workspace(model, tab, {900, 520});
    if (tab == ReaderTab::discover)
      renderSchemes(workspace, QStringLiteral("library-empty-account-%1.png"));
    EXPECT_EQ(workspace.page->emptyStateKind(), LibraryEmptyState::accountCard);
    EXPECT_EQ(workspace.page->filterBar()->isVisibleTo(workspace.page), tab == ReaderTab::discover);
    EXPECT_FALSE(workspace.page->bookMenu()->isVisibleTo(workspace.page));
  }
}

class LibraryEmptyPageTest : public LibraryTest {
protected:
  void SetUp() override {
    ReaderPreferences preferences = ReaderModelFixture::readerPreferences();
    preferences.topics.clear();
    preferences.surpriseMe = false;
    fx.signIn(preferences, 0);
    fx.open();
    fx.settle();
  }
};

TEST_F(LibraryEmptyPageTest, EmptyStatesAndTheirActions) {
  struct Case {
    ReaderTab tab;
    LibraryEmptyState kind;
    ReaderTab goesTo;
  };
  const Case cases[] = {{ReaderTab::discover, LibraryEmptyState::noIdeas, ReaderTab::settings},
                        {ReaderTab::saved, LibraryEmptyState::noSaved, ReaderTab::discover},
                        {ReaderTab::history, LibraryEmptyState::noHistory, ReaderTab::discover}};
  for (const Case& c : cases) {
    model().setNavigationTab(ReaderTab::welcome);
    Workspace workspace(model(), c.tab, {900, 520});
    EXPECT_EQ(workspace.page->emptyStateKind(), c.kind);
    renderSchemes(workspace, QStringLiteral("library-empty-%1-%2.png").arg(id(c.tab)));
    static_cast<DropEmptyState*>(workspace.page->emptyState())->actionTriggered();
    EXPECT_EQ(model().navigationTab(), c.goesTo);
  }
  Workspace workspace(model(), ReaderTab::saved);
  model().setLibrarySearch(QStringLiteral("anything"));
  flushEvents();
  EXPECT_EQ(workspace.page->emptyStateKind(), LibraryEmptyState::noMatches);
  workspace.area.grab().save(testOutputPath(QStringLiteral("library-empty-matches-light.png")));
  static_cast<DropEmptyState*>(workspace.page->emptyState())->actionTriggered();
  EXPECT_EQ(model().librarySearch(), QString());
  EXPECT_EQ(workspace.page->emptyStateKind(), LibraryEmptyState::noSaved);
}

class LibraryManyBooksTest : public LibraryTest {
protected:
  LibraryManyBooksTest() : LibraryTest(600) {}

  // Opens the book menu with a click, as a reader does; its list of choices.
  DropChoiceList* openBooks(Workspace& workspace) {
    DropFilterMenu* filter = workspace.page->bookMenu();
    QTest::mouseClick(filter, Qt::LeftButton, {}, filter->rect().center());
    auto* popup = filter->findChild<DropChoiceList*>();
    EXPECT_NE(popup, nullptr);
    if (popup != nullptr) {
      EXPECT_TRUE(QTest::qWaitForWindowExposed(popup));
    }
    return popup;
  }
  static void press(Qt::Key key) { QTest::keyClick(static_cast<QWidget*>(nullptr), key); }
};

TEST_F(LibraryManyBooksTest, ALongBookMenuShowsTenRowsAtATimeWithinTheScreen) {
  Workspace workspace(model(), ReaderTab::discover, {900, 560});
  const QList<Book> books = workspace.lists().books();
  ASSERT_GT(books.size(), 2 * DropStandardStyle::visibleListRows);
  DropFilterMenu* filter = workspace.page->bookMenu();

  for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
    UiEnvironment::instance().setOverrides({.scheme = scheme, .reduceMotion = true});
    QPointer<DropChoiceList> popup = openBooks(workspace);
    ASSERT_TRUE(popup);
    QListWidget* list = popup;
    EXPECT_EQ(list->count(), books.size() + 1);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("All books"));
    EXPECT_EQ(list->currentRow(), 0); // the current choice
    EXPECT_LE(popup->height(),
              DropStandardStyle::visibleListRows * int(DropMenuRowStyle::height) + 2 * DropStandardStyle::popupInset);
    EXPECT_TRUE(popup->screen()->availableGeometry().contains(popup->geometry()));
    EXPECT_GT(popup->geometry().top(), filter->mapToGlobal(filter->shapeRect().bottomLeft()).y());
    EXPECT_GT(list->verticalScrollBar()->maximum(), 0);
    // The list over the page, where it opened.
    QPalette palette = workspace.area.widget()->palette();
    palette.setColor(QPalette::Window, DropDesign::windowBackground(scheme));
    workspace.area.widget()->setPalette(palette);
    flushEvents();
    QPixmap shown = workspace.area.grab();
    {
      QPainter painter(&shown);
      painter.drawPixmap(workspace.area.mapFromGlobal(popup->pos()), popup->grab());
    }
    shown.save(testOutputPath(
        QStringLiteral("library-long-book-menu-%1.png").arg(scheme == ColorScheme::dark ? "dark" : "light")));
    // Escape closes it, choosing nothing.
    press(Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return popup.isNull(); }, 2000));
    EXPECT_EQ(workspace.lists().book(), QString());
  }
  UiEnvironment::instance().setOverrides({.scheme = ColorScheme::light, .reduceMotion = true});

  // The keyboard scrolls to the last book and chooses it.
  QPointer<DropChoiceList> popup = openBooks(workspace);
  ASSERT_TRUE(popup);
  press(Qt::Key_End);
  EXPECT_GT(popup->verticalScrollBar()->value(), 0);
  press(Qt::Key_Return);
  EXPECT_TRUE(QTest::qWaitFor([&] { return popup.isNull(); }, 2000));
  EXPECT_EQ(workspace.lists().book(), books.last().id);
  EXPECT_EQ(filter->selection(), books.last().title);

  // Opened again, the chosen book is marked and in view; a click on another row chooses it.
  popup = openBooks(workspace);
  ASSERT_TRUE(popup);
  QListWidget* list = popup;
  EXPECT_EQ(list->currentRow(), list->count() - 1);
  EXPECT_TRUE(list->viewport()->rect().contains(list->visualItemRect(list->currentItem())));
  EXPECT_EQ(list->currentItem()->data(Qt::CheckStateRole).toInt(), Qt::Checked);
  list->scrollToTop();
  const QRect second = list->visualItemRect(list->item(2));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
  EXPECT_TRUE(QTest::qWaitFor([&] { return popup.isNull(); }, 2000));
  EXPECT_EQ(workspace.lists().book(), books[1].id);

  // Up to a list's worth of choices stay a menu.
  QMenu menu;
  for (int choice = 0; choice < DropStandardStyle::visibleListRows; ++choice)
    menu.addAction(QString::number(choice));
  menu.addSeparator();
  EXPECT_FALSE(DropChoiceList::isLong(&menu));
  menu.addAction(QStringLiteral("one more"));
  EXPECT_TRUE(DropChoiceList::isLong(&menu));
}

class LibraryLargeTest : public LibraryTest {
protected:
  LibraryLargeTest() : LibraryTest(10000) {}
};

TEST_F(LibraryLargeTest, TenThousandRowsKeepOnlyTheVisibleOnesAlive) {
  Workspace workspace(model(), ReaderTab::discover);
  LibraryList& list = workspace.list();
  ASSERT_GT(workspace.lists().count(), 9000);
  QScrollBar& bar = workspace.bar();
  const auto checkAlive = [&] {
    const QRect window =
        workspace.viewportIn(&list).adjusted(0, -LibraryList::overscan, 0, LibraryList::overscan);
    int alive = 0;
    for (LibraryIdeaRow* row : list.findChildren<LibraryIdeaRow*>(Qt::FindDirectChildrenOnly)) {
      if (row->isHidden())
        continue;
      ++alive;
      EXPECT_TRUE(row->geometry().intersects(window)) << row->geometry().y() << " " << window.y();
    }
    EXPECT_LE(alive, 30);
    EXPECT_GT(alive, 0);
  };
  while (bar.value() < bar.maximum()) {
    bar.setValue(bar.value() + bar.pageStep());
    checkAlive();
  }
  const QString last = workspace.lists().filteredIdentities().last();
  list.scrollTo(last);
  EXPECT_EQ(bar.value(), bar.maximum());
  ASSERT_NE(list.rowFor(last), nullptr);
  EXPECT_TRUE(workspace.viewportIn(&list).contains(list.rowFor(last)->geometry()));
  const int measured = list.measurements();
  while (bar.value() > 0)
    bar.setValue(bar.value() - bar.pageStep());
  EXPECT_EQ(list.measurements(), measured);
  checkAlive();
}

TEST_F(LibraryLargeTest, ShiftTabFromBelowTheListLandsOnTheLastOfTenThousandRowsInView) {
  Workspace workspace(model(), ReaderTab::discover);
  auto* after = new QPushButton(QStringLiteral("After the list"));
  workspace.area.widget()->layout()->addWidget(after);
  flushEvents();
  workspace.bar().setValue(workspace.bar().maximum());
  flushEvents();
  after->setFocus(Qt::TabFocusReason);
  workspace.bar().setValue(0); // the reader scrolled back up with the focus still down there

  QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Backtab);
  const QString last = workspace.lists().filteredIdentities().last();
  LibraryIdeaRow* row = workspace.list().rowFor(last);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(QApplication::focusWidget(), row->shareButton());
  EXPECT_TRUE(workspace.viewportIn(row).contains(row->rect()));
  // And on out again, forward, to where it came from.
  QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), after);
}

TEST_F(LibraryPageTest, Renders) {
  Workspace workspace(model(), ReaderTab::discover);
  renderSchemes(workspace, QStringLiteral("library-page-%1.png"));
  // A long book title, cut in its menu; then the bar as a column in a narrow page.
  workspace.page->bookMenu()->setSelection(
      QStringLiteral("An Extraordinarily Long Book Title That Cannot Fit"));
  workspace.area.resize(420, 700);
  renderSchemes(workspace, QStringLiteral("library-page-narrow-%1.png"));
}

TEST_F(LibraryPageTest, ClickingClearFiltersBringsTheRowsBack) {
  Workspace workspace(model(), ReaderTab::discover);
  model().setLibrarySearch(QStringLiteral("no idea says this"));
  flushEvents();
  ASSERT_EQ(workspace.page->emptyStateKind(), LibraryEmptyState::noMatches);
  // The button is inside the empty state that its own click takes away.
  const QPointer<DropButton> button =
      static_cast<DropEmptyState*>(workspace.page->emptyState())->actionButton();
  QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
  EXPECT_EQ(model().librarySearch(), QString());
  EXPECT_EQ(workspace.page->emptyState(), nullptr);
  EXPECT_GT(workspace.lists().count(), 0);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(button.isNull());
  EXPECT_TRUE(workspace.list().isVisible());
}

TEST_F(LibraryPageTest, RemovingASaveByItsRowButtonRebindsTheRows) {
  Workspace workspace(model(), ReaderTab::saved);
  const QStringList before = workspace.lists().filteredIdentities();
  ASSERT_GE(before.size(), 2);
  LibraryIdeaRow* row = workspace.list().rowFor(before[0]);
  ASSERT_NE(row, nullptr);
  QWidget* save = row->saveButton();
  QTest::mouseClick(save, Qt::LeftButton, {}, save->rect().center());
  waitForCollection();
  EXPECT_EQ(workspace.lists().filteredIdentities(), before.mid(1));
  expectRowsFitTheirContent(workspace, model());
}

TEST_F(LibraryPageTest, RowsTakeTheHeightTheirContentNeeds) {
  // Ideas with a long explanation (cut after three lines) and with a long book line (two
  // lines) at the top of the list.
  const QString longTitle = QStringLiteral(
      "A Book Whose Title Goes On And On Through Subtitles And Qualifications Of Every Kind Until It Needs "
      "A Second Line");
  installChanged([&](ContentRelease& release) {
    release.lore[0].explanation =
        QString(40, 'x').replace(QLatin1Char('x'), QStringLiteral("a long explanation "));
    // Two books of long titles: a book line of two lines.
    release.lore[1].bookIds = {release.books[0].id, release.books[1].id};
    release.lore[1].sourceIds.clear();
    for (const QString& book : release.lore[1].bookIds) {
      const auto source = std::find_if(release.sources.cbegin(), release.sources.cend(),
                                       [&](const Source& candidate) { return candidate.bookId == book; });
      release.lore[1].sourceIds.append(source->id);
    }
    release.books[0].title = longTitle;
    release.books[1].title = longTitle;
  });
  {
    Workspace discover(model(), ReaderTab::discover, {1000, 900});
    const QStringList ids = discover.lists().filteredIdentities();
    ASSERT_GE(ids.size(), 2);
    const LibraryRow* first = discover.list().rowFor(ids[0])->summary();
    EXPECT_TRUE(first->explanationLabel()->isClamped(first->explanationLabel()->width()));
    const DropTextBlock* books = discover.list().rowFor(ids[1])->summary()->booksLabel();
    EXPECT_GT(books->height(), books->heightForWidth(100000));
    expectRowsFitTheirContent(discover, model());
    renderSchemes(discover, QStringLiteral("library-rows-page-%1.png"));
    discover.area.resize(560, 900);
    flushEvents();
    expectRowsFitTheirContent(discover, model());
  }

  // A kept idea that a new release corrects while the page is shown gains its badge.
  const DropSnapshot kept = drop(13);
  model().changeCollection(kept, false);
  waitForCollection();
  Workspace workspace(model(), ReaderTab::saved, {1000, 900});
  const QString goneIdentity = LibraryViewModel::identity(kept);
  ASSERT_NE(workspace.list().rowFor(goneIdentity), nullptr);
  const int heightBefore = workspace.list().rowFor(goneIdentity)->height();
  installCorrection(13);
  flushEvents();
  const LibraryIdeaRow* gone = workspace.list().rowFor(goneIdentity);
  ASSERT_NE(gone, nullptr);
  ASSERT_FALSE(gone->summary()->badgeLabel()->text().isEmpty());
  EXPECT_GT(gone->height(), heightBefore);
  expectRowsFitTheirContent(workspace, model());
  renderSchemes(workspace, QStringLiteral("library-rows-page-corrected-%1.png"));
}

} // namespace
