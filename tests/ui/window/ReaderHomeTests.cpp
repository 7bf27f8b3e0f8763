#include "MessageCapture.h"
#include "ReaderWindowTestFixture.h"
#include "RequiredValue.h"
#include "TestOutput.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropMenuRowStyle.h"
#include "ui/design/DropOverlayScrollBar.h"
#include "ui/design/DropSearchField.h"
#include "ui/design/DropSelectionStyle.h"
#include "ui/design/ReadingSearchInput.h"
#include "ui/window/AccountDropdown.h"
#include "ui/window/ReaderSidebar.h"
#include "ui/window/ReaderToolbar.h"
#include "ui/window/ReaderWorkspace.h"

#include <QLayout>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocumentFragment>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

QPointer<QWidget> shownPage(const ReaderWindowHarness& w) {
  return w.home->page();
}

TEST(ReaderHome, LaysItsLayersOutForTheWindowSize) {
  for (const QSize size : {QSize(960, 640), QSize(1440, 900)}) {
    SCOPED_TRACE(size.width());
    ReaderWindowHarness w(true, size);
    ASSERT_EQ(w.home->size(), size);
    EXPECT_EQ(w.home->minimumSize(), QSize(960, 640));
    // The window counts its whole toolbar in its minimum, never more or less.
    EXPECT_EQ(w.window.minimumSize(), QSize(960, 640 + w.bar->height()));
    const QRect sidebar = w.inHome(w.home->sidebar());
    EXPECT_EQ(sidebar, QRect(16, 16, 240, size.height() - 32));
    EXPECT_TRUE(sidebar.contains(w.inHome(w.find(QStringLiteral("sidebar.show")))));
    for (const ReaderTab tab : ReaderSidebar::listedTabs)
      EXPECT_EQ(w.home->sidebar()->row(tab)->shapeRect().height(), 40);

    const QWidget* search = w.find(QStringLiteral("library.search"));
    EXPECT_EQ(search->size(), QSize(480, 40));
    EXPECT_EQ(search->mapTo(&w.window, QPoint()).x(), (w.window.width() - 480) / 2);
    EXPECT_EQ(w.home->page()->property("availableWidth").toReal(), size.width() - 288.0);

    // A short menu gives a short dropdown; a long message scrolls in the tallest one.
    w.home->setProfilePresented(true);
    const QWidget* dropdown = w.home->dropdownLayer()->dropdown();
    EXPECT_EQ(w.inHome(dropdown).topRight(), QPoint(size.width() - 9, 4));
    EXPECT_EQ(dropdown->width(), 296);
    EXPECT_LT(dropdown->height(), size.height() - 20);
    ReaderModelTestAccess::setMessage(*w.model, QStringLiteral("A long message.\n").repeated(80));
    EXPECT_EQ(dropdown->height(), size.height() - 20);
  }
  // The dashboard is told again when the window grows.
  ReaderWindowHarness w(true);
  w.resize(QSize(1200, 700));
  EXPECT_EQ(w.home->page()->property("availableWidth").toReal(), 912.0);
}

TEST(ReaderHome, RebuildsAPageOnlyWhenItsIdentityChanges) {
  ReaderWindowHarness w(true);
  ReaderModel& model = *w.model;
  QScrollBar* scroll = w.home->workspace()->verticalScrollBar();
  const auto scrolledDown = [&] {
    w.home->page()->setMinimumHeight(3000);
    for (int round = 0; round < 4; ++round)
      QApplication::processEvents();
    scroll->setValue(400);
    return scroll->value() == 400;
  };

  model.setNavigationTab(ReaderTab::saved);
  QPointer<QWidget> saved = shownPage(w);
  ASSERT_TRUE(scrolledDown());
  model.setNavigationTab(ReaderTab::saved);
  EXPECT_EQ(shownPage(w), saved) << "the same tab keeps its page";
  EXPECT_EQ(scroll->value(), 400) << "and its scroll position";
  model.setNavigationTab(ReaderTab::history);
  EXPECT_EQ(scroll->value(), 0);
  model.setNavigationTab(ReaderTab::saved);
  EXPECT_NE(shownPage(w), saved);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(saved.isNull()) << "the old page is deleted";

  // The reading page follows the idea and its revision, nothing else.
  DropSnapshot idea = requiredValue(model.repository().snapshot(w.fixture.release().release.lore.first().id),
                                    "the fixture's drop");
  model.read(idea);
  QPointer<QWidget> reading = shownPage(w);
  model.read(idea);
  EXPECT_EQ(shownPage(w), reading);
  idea.lore.revision += 1;
  model.read(idea);
  EXPECT_NE(shownPage(w), reading);

  // Settings follow the account: signing out, and signing in as someone else.
  model.setNavigationTab(ReaderTab::settings);
  QPointer<QWidget> settings = shownPage(w);
  w.signOut();
  model.setNavigationTab(ReaderTab::settings);
  const QPointer<QWidget> signedOut = shownPage(w);
  EXPECT_NE(signedOut, settings);
  w.signInThroughTheService(QStringLiteral("reader-b"), QStringLiteral("b@example.com"));
  EXPECT_NE(shownPage(w), signedOut);
  EXPECT_EQ(ReaderHome::pageIdentity(model).key, QStringLiteral("reader-b"));
}

TEST(ReaderHome, EveryWayOfClosingTheDropdownReturnsTheKeyboardToTheAccountButton) {
  ReaderWindowHarness w(true);
  AccountButton* button = w.home->toolbar()->accountButton();
  struct Way {
    const char* name;
    std::function<void()> close;
  };
  const Way ways[] = {
      {"the button again", [&] { button->click(); }},
      {"a click on the scrim",
       [&] { QTest::mouseClick(w.home->dropdownLayer(), Qt::LeftButton, {}, QPoint(400, 300)); }},
      {"Escape", [&] { QTest::keyClick(w.home->dropdownLayer()->dropdown(), Qt::Key_Escape); }},
      {"another application", [&] { Q_EMIT qApp->applicationStateChanged(Qt::ApplicationInactive); }},
      {"the settings entry",
       [&] {
         w.home->dropdownLayer()
             ->findChild<QAbstractButton*>(QStringLiteral("account.menu.settings"))
             ->click();
       }},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    w.search().setFocus();
    // Clicked, as the keys before (Escape) would open it on its first entry.
    QTest::mouseClick(w.window.windowHandle(), Qt::LeftButton, {},
                      button->mapTo(&w.window, button->rect().center()));
    ASSERT_TRUE(w.home->profilePresented());
    EXPECT_EQ(w.window.focusWidget(), w.home->dropdownLayer()->dropdown());
    EXPECT_FALSE(w.home->sidebar()->isEnabled() || w.home->workspace()->isEnabled() ||
                 w.search().isEnabled());
    EXPECT_TRUE(button->isEnabled());
    way.close();
    EXPECT_FALSE(w.home->profilePresented());
    EXPECT_EQ(w.window.focusWidget(), button);
    EXPECT_TRUE(w.home->sidebar()->isEnabled() && w.search().isEnabled());
  }
  EXPECT_EQ(w.model->navigationTab(), ReaderTab::settings);
}

// "Your account" opens with Return, Enter and Space as with a click. From the keyboard the keys
// land on the first entry, ringed, and Escape brings them back to the button, ringed; a click
// leaves the keyboard on the dropdown, with no ring anywhere.
TEST(ReaderHome, TheAccountButtonOpensItsDropdownFromTheKeysOntoTheFirstEntry) {
  struct Way {
    const char* name;
    Qt::Key key; // none: a click
    Qt::KeyboardModifiers modifiers;
  };
  const Way ways[] = {{"Return", Qt::Key_Return, Qt::NoModifier},
                      {"Enter", Qt::Key_Enter, Qt::KeypadModifier},
                      {"Space", Qt::Key_Space, Qt::NoModifier},
                      {"a click", Qt::Key_unknown, Qt::NoModifier}};
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    ReaderWindowHarness w(true);
    AccountButton* button = w.home->toolbar()->accountButton();
    ASSERT_TRUE(w.tabTo(button));
    const bool fromKeys = way.key != Qt::Key_unknown;
    if (fromKeys)
      w.press(way.key, way.modifiers);
    else
      QTest::mouseClick(w.window.windowHandle(), Qt::LeftButton, {},
                        button->mapTo(button->window(), button->rect().center()));
    ASSERT_TRUE(w.home->profilePresented());
    AccountDropdown* dropdown = w.home->dropdownLayer()->dropdown();
    auto* first = dropdown->findChild<DropMenuRow*>(QStringLiteral("account.menu.sync"));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(QApplication::focusWidget(), fromKeys ? static_cast<QWidget*>(first) : dropdown);
    EXPECT_EQ(first->controlState().focus, fromKeys ? 1.0 : 0.0);
    if (way.key == Qt::Key_Return)
      w.window.grab().save(testing::testOutputPath(QStringLiteral("account-menu-from-keys.png")));
    // The arrows go on from the ringed entry, or enter the menu at its top after a click; the
    // reader is on the keys from then on, and Escape gives the button back ringed.
    w.press(Qt::Key_Down);
    auto* next =
        fromKeys ? dropdown->findChild<DropMenuRow*>(QStringLiteral("account.menu.settings")) : first;
    EXPECT_EQ(QApplication::focusWidget(), next);
    EXPECT_EQ(next->controlState().focus, 1.0);
    w.press(Qt::Key_Escape);
    EXPECT_FALSE(w.home->profilePresented());
    EXPECT_EQ(QApplication::focusWidget(), button);
    EXPECT_TRUE(button->showsFocusRing());
  }
}

// An idea's summary in the library holds the keys without a look of its own: its row rings it,
// and a row the keys are not on has no ring.
TEST(ReaderHome, TheLibrarySummaryTheKeysAreOnIsRinged) {
  ReaderWindowHarness w(true);
  w.model->setNavigationTab(ReaderTab::discover);
  QApplication::processEvents();
  QList<QAbstractButton*> summaries;
  for (QAbstractButton* button : w.home->findChildren<QAbstractButton*>())
    if (button->objectName().startsWith(QLatin1String("library.idea.")) && button->isVisible())
      summaries.append(button);
  ASSERT_GE(summaries.size(), 2);
  std::sort(summaries.begin(), summaries.end(),
            [&](auto* a, auto* b) { return w.inHome(a).top() < w.inHome(b).top(); });
  ASSERT_TRUE(w.tabTo(summaries.first()));
  for (QAbstractButton* summary : {summaries.at(0), summaries.at(1)}) {
    QWidget* row = summary->parentWidget();
    const QImage picture = row->grab().toImage();
    if (summary == summaries.first())
      picture.save(testing::testOutputPath(QStringLiteral("library-summary-focused.png")));
    const QPoint ring(summary->geometry().left() - 7, summary->geometry().center().y());
    EXPECT_EQ(qGray(picture.pixel(ring)) < 100, summary->hasFocus());
  }
}

TEST(ReaderHome, AClickOnTheScrimReachesNothingBeneath) {
  ReaderWindowHarness w(true);
  w.home->setProfilePresented(true);
  QWidget* saved = w.home->sidebar()->row(ReaderTab::saved);
  QSignalSpy clicks(static_cast<QAbstractButton*>(saved), &QAbstractButton::clicked);
  QTest::mouseClick(w.home->dropdownLayer(), Qt::LeftButton, {}, w.inHome(saved).center());
  EXPECT_FALSE(w.home->profilePresented());
  EXPECT_EQ(clicks.size(), 0);
  EXPECT_EQ(w.model->navigationTab(), ReaderTab::welcome);
}

TEST(ReaderHome, TypingASearchLeavesPagesThatAreNotLists) {
  using T = ReaderTab;
  const std::tuple<T, const char*, T> cases[] = {
      {T::settings, "stoic", T::discover}, {T::read, "stoic", T::discover},
      {T::welcome, "stoic", T::discover},  {T::saved, "stoic", T::saved},
      {T::history, "stoic", T::history},   {T::settings, "", T::settings},
  };
  ReaderWindowHarness w(true);
  for (const auto& [from, text, to] : cases) {
    w.model->setLibrarySearch(QStringLiteral("x")); // so that clearing is a change
    w.model->setNavigationTab(from);
    w.model->setLibrarySearch(QString::fromLatin1(text));
    EXPECT_EQ(w.model->navigationTab(), to) << id(from).toStdString() << " '" << text << "'";
  }

  // The field edits the model; a row click clears it, and on the page already shown changes
  // nothing else.
  QTest::keyClicks(w.search().input(), QStringLiteral("mind"));
  EXPECT_EQ(w.model->librarySearch(), QStringLiteral("mind"));
  QSignalSpy tabChanges(w.model, &ReaderModel::navigationTabChanged);
  w.home->sidebar()->row(ReaderTab::discover)->click();
  EXPECT_TRUE(w.model->librarySearch().isEmpty());
  EXPECT_TRUE(w.search().text().isEmpty());
  EXPECT_EQ(tabChanges.size(), 0);
}

TEST(ReaderHome, OnboardingCoversEverythingWhileNoSessionIsStored) {
  ReaderWindowHarness w(false);
  QPointer<QWidget> first = w.home->onboarding();
  ASSERT_TRUE(first);
  EXPECT_EQ(w.inHome(first), w.home->rect());
  const QPoint inSidebar = w.inHome(w.home->sidebar()).center();
  EXPECT_TRUE(first->isAncestorOf(w.home->childAt(inSidebar)) || w.home->childAt(inSidebar) == first);
  EXPECT_FALSE(w.bar->isVisible());
  std::unique_ptr<QMenu> menu(w.window.createPopupMenu());
  EXPECT_TRUE(!menu || menu->isEmpty()) << "the window offers no menu that hides its toolbar";
  const QSize window = w.window.size();

  w.signInThroughTheService(AccountFixtures::userID, QStringLiteral("ada@example.com"));
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(first.isNull());
  EXPECT_TRUE(w.bar->isVisible());
  QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
  EXPECT_EQ(w.window.size(), window) << "the toolbar's room was kept while it was hidden";
  EXPECT_EQ(QTextDocumentFragment::fromHtml(w.home->toolbar()->accountButton()->toolTip()).toPlainText(),
            QStringLiteral("ada@example.com"));

  w.signOut();
  ASSERT_TRUE(w.home->onboarding());
  EXPECT_NE(w.home->onboarding(), first);
  EXPECT_FALSE(w.bar->isVisible());
  EXPECT_EQ(w.window.size(), window);
}

// The workspace's scroll bar lies over its trailing margin: the card keeps its width as the
// page outgrows the window and fits again, and the wheel scrolls the page through it.
TEST(ReaderHome, ThePageCardKeepsItsWidthAsTheScrollBarComesAndGoes) {
  ReaderWindowHarness w(true);
  ReaderWorkspace* workspace = w.home->workspace();
  const auto settle = [] {
    for (int round = 0; round < 4; ++round)
      QApplication::processEvents();
  };
  settle();
  const int width = workspace->card()->width();
  const auto* bar = workspace->findChild<DropOverlayScrollBar*>();
  ASSERT_NE(bar, nullptr);
  for (const int height : {3000, 0, 3000}) {
    w.home->page()->setMinimumHeight(height);
    settle();
    EXPECT_EQ(workspace->card()->width(), width) << height;
    EXPECT_EQ(bar->isVisible(), workspace->verticalScrollBar()->maximum() > 0) << height;
  }
  ASSERT_TRUE(bar->isVisible());
  EXPECT_GE(bar->geometry().left(), workspace->card()->geometry().right()) << "beside the card, not on it";

  const QPointF over = QPointF(workspace->viewport()->rect().center());
  QWheelEvent wheel(over, workspace->viewport()->mapToGlobal(over), QPoint(), QPoint(0, -240), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(workspace->viewport(), &wheel);
  EXPECT_GT(workspace->verticalScrollBar()->value(), 0);
  EXPECT_EQ(bar->value(), workspace->verticalScrollBar()->value());
}

// The menu fades in and out as one picture, over a row that is faded itself (the sync row
// while a sync runs): every frame is painted, and the painter never complains.
TEST(ReaderHome, TheAccountMenuFadesInAndOutWithoutPainterErrors) {
  ReaderWindowHarness w(true);
  UiEnvironment::instance().setOverrides({.reduceMotion = false});
  ReadingService& service = w.fixture.harness().service();
  service.addFault("GET", QStringLiteral("/api/reader/me"), {.hold = true});
  w.model->refresh(true);
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 1; }));
  AccountButton* button = w.home->toolbar()->accountButton();
  // Qt's painter warnings carry no category of their own.
  testing::MessageCapture warnings("default");
  // Frames as the window system would ask for them, through the fade and after it.
  const auto frames = [&](const QString& name) {
    for (int frame = 0; frame < 8; ++frame) {
      QTest::qWait(40);
      const QPixmap picture = w.window.grab();
      if (frame == 2 && !name.isEmpty())
        picture.save(testing::testOutputPath(name));
    }
  };
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    ASSERT_TRUE(w.home->profilePresented());
    auto* sync = w.home->dropdownLayer()->findChild<DropMenuRow*>(QStringLiteral("account.menu.sync"));
    ASSERT_NE(sync, nullptr);
    EXPECT_FALSE(sync->isEnabled());
    frames(round == 0 ? QStringLiteral("account-menu-opening.png") : QString());
    if (round == 0)
      w.window.grab().save(testing::testOutputPath(QStringLiteral("account-menu-open.png")));
    QTest::keyClick(w.home->dropdownLayer()->dropdown(), Qt::Key_Escape);
    EXPECT_FALSE(w.home->profilePresented());
    frames(round == 0 ? QStringLiteral("account-menu-closing.png") : QString());
  }
  QStringList painter;
  for (const testing::MessageCapture::Record& record : warnings.records()) {
    if (record.message.contains(QLatin1String("QPainter")))
      painter.append(record.message);
  }
  EXPECT_TRUE(painter.isEmpty()) << painter.size() << " " << painter.value(0).toStdString();
  service.releaseHeld();
  w.fixture.settle();
}

} // namespace
} // namespace brindlewick
