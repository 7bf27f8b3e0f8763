#include "AccountFixtures.h"
#include "RequiredValue.h"
#include "TestOutput.h"
#include "app/ReaderAppDelegate.h"
#include "model/FeedUpdaterRig.h"
#include "model/ReaderModelFixture.h"
#include "panel/DropPanel.h"
#include "panel/ReadingWindow.h"
#include "ui/account/ElidedEmailLabel.h"
#include "ui/card/CardPanelContent.h"
#include "ui/card/DropCardContent.h"
#include "ui/design/DropGlass.h"
#include "ui/window/WorkspaceBackdrop.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocumentFragment>
#include <QWindow>
#include <QWindowStateChangeEvent>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

using namespace brindlewick;

namespace {

struct Alert {
  QString title;
  QString text;
};

ReaderAppDelegate::Options options(const QString& defaultsFile, QList<Alert>& alerts) {
  ReaderAppDelegate::Options result;
  result.applicationDefaultsFile = defaultsFile;
  result.alert = [&alerts](const QString& title, const QString& text) { alerts.append({title, text}); };
  result.openUrl = [](const QUrl&) {};
  result.statusItem = false;
  return result;
}

void setMinimized(QWidget& window, bool minimized) {
  const Qt::WindowStates old = window.windowState();
  window.setWindowState(minimized ? (old | Qt::WindowMinimized) : (old & ~Qt::WindowMinimized));
  // The offscreen platform does not report state changes back; deliver the event as the
  // window system would.
  QWindowStateChangeEvent event(old);
  QApplication::sendEvent(&window, &event);
}

// Whether an action waited for an answer in an event loop of its own (a menu or a box run with
// exec()) while this was watching: such a loop waits for events, where QTest's clicks and keys
// only deliver those already there. What waits is closed, so that the test goes on to fail
// rather than hang.
class OwnLoopWatch {
public:
  OwnLoopWatch()
      : m_connection(QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                                      [this] {
                                        m_waited = true;
                                        if (QWidget* popup = QApplication::activePopupWidget())
                                          popup->close();
                                        else if (QWidget* modal = QApplication::activeModalWidget())
                                          modal->close();
                                      })) {}
  ~OwnLoopWatch() { QObject::disconnect(m_connection); }
  OwnLoopWatch(const OwnLoopWatch&) = delete;
  OwnLoopWatch& operator=(const OwnLoopWatch&) = delete;

  bool waited() const { return m_waited; }

private:
  bool m_waited = false;
  QMetaObject::Connection m_connection;
};

// A model and the delegate launched on it: signed in, or in the middle of signing in.
struct Launched {
  explicit Launched(bool signedIn = true)
      : model(signedIn ? (fixture.signIn(), fixture.open()) : fixture.openSigningIn()) {
    delegate.launch();
  }

  ReaderModelFixture fixture;
  ReaderModel& model;
  QList<Alert> alerts;
  ReaderAppDelegate delegate{&model, std::nullopt, options(fixture.applicationDefaultsFile(), alerts)};
};

} // namespace

TEST(ReaderAppDelegate, WindowEventsSetWindowOpenAndReplan) {
  Launched launched;
  ReaderModel& model = launched.model;
  ReaderAppDelegate& delegate = launched.delegate;
  ASSERT_NE(delegate.window(), nullptr);
  EXPECT_TRUE(delegate.window()->isVisible());
  EXPECT_TRUE(model.windowOpen());
  EXPECT_EQ(model.navigationTab(), ReaderTab::welcome);

  struct Step {
    const char* name;
    std::function<void()> act;
    bool open;
  };
  const Step steps[] = {
      {"close", [&] { delegate.window()->close(); }, false},
      {"reopen", [&] { delegate.reopen(); }, true},
      {"minimise", [&] { setMinimized(*delegate.window(), true); }, false},
      {"restore", [&] { setMinimized(*delegate.window(), false); }, true},
      {"hide", [&] { delegate.perform(MenuCommand::hide); }, false},
      {"open saved", [&] { delegate.perform(MenuCommand::library); }, true},
  };
  for (const Step& step : steps) {
    const qint64 generation = model.scheduleGeneration();
    step.act();
    EXPECT_EQ(model.windowOpen(), step.open) << step.name;
    EXPECT_GT(model.scheduleGeneration(), generation) << step.name;
  }
  // The same window throughout, on the page last asked for.
  EXPECT_EQ(model.navigationTab(), ReaderTab::saved);
  EXPECT_EQ(delegate.window()->centralWidget(), delegate.home());
  EXPECT_TRUE(launched.alerts.isEmpty());
}

TEST(ReaderAppDelegate, OnlyTheFirstLinkOfTheSchemeActsAndOnlyWhenSpelledExactly) {
  Launched launched;
  ReaderModel& model = launched.model;
  ReaderAppDelegate& delegate = launched.delegate;
  delegate.perform(MenuCommand::settings);

  const auto replansFor = [&](const QStringList& links) {
    delegate.hideMainWindow();
    const qint64 generation = model.scheduleGeneration();
    delegate.openLinks(links);
    return model.scheduleGeneration() - generation;
  };
  const qint64 once = replansFor({QStringLiteral("brindlewick://open/anything?x=1")});
  ASSERT_GT(once, 0);
  EXPECT_TRUE(delegate.window()->isVisible());
  EXPECT_EQ(model.navigationTab(), ReaderTab::settings);
  EXPECT_EQ(replansFor({QStringLiteral("https://example.com/"), QStringLiteral("brindlewick:a"),
                        QStringLiteral("brindlewick:b")}),
            once);
  EXPECT_EQ(replansFor({QStringLiteral("https://example.com/"), QStringLiteral("BrindleWick:a")}), 0);
  EXPECT_FALSE(delegate.window()->isVisible());
}

TEST(ReaderAppDelegate, WithoutAModelEveryOpeningPathAlertsAndNothingElseRuns) {
  QTemporaryDir folder;
  QList<Alert> alerts;
  const QString error = ReaderAppDelegate::startupErrorText(QStringLiteral("The store is not a database."));
  ReaderAppDelegate delegate(nullptr, error,
                             options(folder.filePath(QStringLiteral("defaults.json")), alerts));
  delegate.launch();
  for (const MenuCommand command : {MenuCommand::discover, MenuCommand::show, MenuCommand::library,
                                    MenuCommand::settings, MenuCommand::focusReader, MenuCommand::dismiss,
                                    MenuCommand::pause, MenuCommand::love, MenuCommand::openSupport})
    delegate.perform(command);
  delegate.reopen();
  delegate.openLinks({QStringLiteral("brindlewick:")});
  LaunchRequest action;
  action.kind = LaunchRequest::Kind::action;
  action.action = LaunchAction::show;
  delegate.handle(action);

  // Launch, four opening commands, reopen, the link and the launcher action.
  ASSERT_EQ(alerts.size(), 8);
  for (const Alert& alert : alerts) {
    EXPECT_EQ(alert.title, QStringLiteral("Brindlewick could not start"));
    EXPECT_EQ(alert.text, error);
  }
  EXPECT_EQ(delegate.window(), nullptr);
  EXPECT_TRUE(error.startsWith(
      QStringLiteral("Brindlewick could not open its local storage or configuration. No data was reset.\n")));

  // An error's text shows as the characters it is, markup included.
  const QString markup = QStringLiteral("No <b>such</b> table: a&b");
  EXPECT_EQ(QTextDocumentFragment::fromHtml(ReaderAppDelegate::makeAlert({}, markup)->informativeText())
                .toPlainText(),
            markup);
  const auto box = ReaderAppDelegate::makeAlert(alerts[0].title, alerts[0].text);
  box->show(); // the box takes its size as it is shown
  ASSERT_TRUE(box->grab().save(brindlewick::testing::testOutputPath(QStringLiteral("startup-alert.png"))));
  const QIcon icon = ReaderAppDelegate::menuIcon();
  EXPECT_TRUE(icon.isMask());
  ASSERT_TRUE(icon.pixmap(64).save(brindlewick::testing::testOutputPath(QStringLiteral("status-icon.png"))));
}

TEST(ReaderAppDelegate, TheSavedFrameIsRestoredGrownToTheMinimumAndKeptOnceTheWindowRests) {
  ReaderModelFixture fixture;
  ReaderModel& model = fixture.open();
  ApplicationDefaults defaults(fixture.applicationDefaultsFile());
  ASSERT_TRUE(defaults.setFrame(ApplicationDefaults::mainWindowFrameKey, QRect(40, 50, 300, 200)));
  QList<Alert> alerts;
  ReaderAppDelegate delegate(&model, std::nullopt, options(fixture.applicationDefaultsFile(), alerts));
  delegate.launch();
  ReadingWindow& window = *delegate.window();
  EXPECT_EQ(window.geometry().topLeft(), QPoint(40, 50));
  EXPECT_GE(window.centralWidget()->width(), 960);
  EXPECT_GE(window.centralWidget()->height(), 640);

  const auto saved = [&] {
    return defaults.frame(ApplicationDefaults::mainWindowFrameKey) == window.geometry();
  };
  window.move(120, 130);
  EXPECT_FALSE(saved()) << "written once the window rests, not at every move";
  EXPECT_TRUE(waitUntil(saved));
  window.resize(window.width() + 40, window.height());
  EXPECT_TRUE(waitUntil(saved));
}

TEST(ReaderAppDelegate, LookingAwayGivesMemoryBackAndTheDrawingCachesTheWindowRemakesWhenSeenAgain) {
  ReaderModelFixture fixture;
  ReaderModel& model = (fixture.signIn(), fixture.open());
  QList<Alert> alerts;
  ReaderAppDelegate::Options quick = options(fixture.applicationDefaultsFile(), alerts);
  quick.memoryRelease = {.brief = 10, .inactive = 150};
  ReaderAppDelegate delegate(&model, std::nullopt, quick);
  QSignalSpy released(&delegate.memoryRelease(), &IdleMemoryRelease::released);
  delegate.launch();
  ReadingWindow& window = *delegate.window();
  const auto bringForward = [](QWidget& forward) {
    forward.activateWindow();
    return QTest::qWaitForWindowActive(&forward);
  };
  ASSERT_TRUE(bringForward(window));
  window.grab();
  const auto cached = [] { return DropGlass::cachedSurfaceCount() + DropGlass::cachedShadowCount(); };
  ASSERT_TRUE(!released.isEmpty() || released.wait(2000)) << "what the launch freed goes back too";
  EXPECT_FALSE(released.takeFirst().at(0).toBool());
  ASSERT_GT(cached(), 0) << "the window being read keeps its caches";

  // Another window comes to the front and the reader comes straight back: nothing goes.
  QWidget other;
  other.show();
  ASSERT_TRUE(bringForward(other));
  ASSERT_TRUE(bringForward(window));
  EXPECT_FALSE(released.wait(400));
  EXPECT_GT(cached(), 0);

  // The reader stays elsewhere: the caches go, though the window still shows.
  ASSERT_TRUE(bringForward(other));
  ASSERT_TRUE(released.wait(2000));
  EXPECT_TRUE(released.takeFirst().at(0).toBool());
  EXPECT_EQ(cached(), 0);

  // Painted again, then closed as the window manager's close button does it.
  window.grab();
  ASSERT_GT(cached(), 0);
  const int backdrops = WorkspaceBackdrop::madeCount();
  window.close();
  ASSERT_TRUE(released.wait(100)) << "a hidden window's caches go soon";
  EXPECT_EQ(cached(), 0);

  delegate.reopen();
  QTest::qWait(700); // the page's fade-in, for the picture
  const QImage reopened = window.grab().toImage();
  EXPECT_GT(cached(), 0);
  EXPECT_GT(WorkspaceBackdrop::madeCount(), backdrops) << "the backdrop is painted again, not kept";
  EXPECT_TRUE(
      reopened.save(brindlewick::testing::testOutputPath(QStringLiteral("reader-window-reopened.png"))));
}

// While the first-run screens lie over the reader window, a scheduled update offer waits; once
// they have gone (the reader signed in, or closed the window) it shows a minute later where the
// reader works: over the reader window while that is open, else centred on their display.
TEST(ReaderAppDelegate, AScheduledUpdateOfferWaitsUntilTheFirstRunScreensHaveGone) {
  const auto shownOffer = []() -> QWidget* {
    for (QWidget* window : QApplication::topLevelWidgets())
      if (window->objectName() == QLatin1String("update.window") && window->isVisible())
        return window;
    return nullptr;
  };
  const struct {
    const char* name;
    bool signsIn;        // else the reader closes the window
    double onTheScreens; // seconds after the start
  } rows[] = {
      {"the reader signs in", true, FeedUpdater::firstCheckDelay + 3 * FeedUpdater::retryDelay},
      {"the reader closes the window", false, FeedUpdater::firstCheckDelay + 3 * FeedUpdater::retryDelay},
      // Not a few seconds after, as the check due then would have it.
      {"the reader signs in just before the first check falls due", true, FeedUpdater::firstCheckDelay - 2},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FeedUpdaterRig rig;
    ReaderModelFixture fixture;
    rig.configure(fixture);
    ReaderModel& model = row.signsIn ? fixture.openSigningIn() : fixture.open();
    QList<Alert> alerts;
    ReaderAppDelegate delegate(&model, std::nullopt, options(fixture.applicationDefaultsFile(), alerts));
    delegate.launch();
    ASSERT_NE(delegate.home()->onboarding(), nullptr);

    // Time passes on the first-run screens: no offer, and the feed is not even read.
    rig.harness.advance(row.onTheScreens);
    QTest::qWait(20);
    EXPECT_EQ(shownOffer(), nullptr);
    EXPECT_EQ(rig.feedRequests(), 0);

    if (row.signsIn) {
      fixture.harness().service().grants().approve(*model.signInCode(), AccountFixtures::userID);
      fixture.advance(5);
      fixture.settle();
      ASSERT_TRUE(model.account().hasStoredSession());
    } else {
      delegate.window()->close();
    }
    rig.harness.advance(FeedUpdater::firstCheckDelay - 1);
    QTest::qWait(20);
    EXPECT_EQ(shownOffer(), nullptr);
    rig.harness.advance(1);
    ASSERT_TRUE(waitUntil([&] { return shownOffer() != nullptr; }));
    // The fixture's display is 1920 by 1080 with a bar of 25 along its top.
    const QPoint expected = row.signsIn ? delegate.window()->frameGeometry().center() : QPoint(960, 552);
    const QPoint off = shownOffer()->frameGeometry().center() - expected;
    EXPECT_LE(off.manhattanLength(), 24) << off.x() << "," << off.y();
    // Over the reader window it stays above it; with none shown it stands on its own.
    EXPECT_EQ(shownOffer()->windowHandle()->transientParent(),
              row.signsIn ? delegate.window()->windowHandle() : nullptr);
  }
}

// A text's Copy menu may still be open when its page goes: a later start turns the page, the
// sign-in completes and the first-run screens go, or a sign-out the keyring kept waiting goes
// through and the account dropdown goes. The menu opens without waiting for its answer, goes
// with the page, and the program goes on. (A menu that waited for its answer once had the page
// deleted under it.)
TEST(ReaderAppDelegate, ATextsMenuGoesWithThePageThatGoesWhileItShows) {
  struct Shown {
    QWidget* text;
    QWidget* page;
  };
  struct Row {
    const char* name;
    bool signedIn;
    // Brings the text on screen as the reader would: its page is open.
    std::function<Shown(Launched&)> reach;
    // Takes the page away while the menu shows.
    std::function<void(Launched&)> takeAway;
    bool signedInAfter;
    ReaderTab tabAfter;
    const char* picture;
  };
  // The one on screen: a page may hold a hidden one of the same name (the dropdown's card for
  // signing in, while signed in).
  const auto named = [](Launched& launched, const char* name) -> QWidget* {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    for (QWidget* widget : launched.delegate.window()->findChildren<QWidget*>(QString::fromLatin1(name)))
      if (widget->isVisible())
        return widget;
    return nullptr;
  };
  const auto clickOn = [](QWidget* widget) {
    QWidget* window = widget->window();
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                      widget->mapTo(window, widget->rect().center()));
  };
  const Row rows[] = {
      {"the reading page's eyebrow, a later start opens the library", true,
       [&](Launched& launched) {
         launched.model.read(requiredValue(
             launched.model.repository().snapshot(launched.fixture.release().release.lore[0].id), "snapshot"));
         QWidget* text = named(launched, "detail.eyebrow");
         return Shown{text, text ? text->parentWidget() : nullptr};
       },
       [](Launched& launched) {
         LaunchRequest request;
         request.kind = LaunchRequest::Kind::action;
         request.action = LaunchAction::library;
         launched.delegate.handle(request);
       },
       true, ReaderTab::saved, "text-menu-detail.eyebrow.png"},
      {"the sign-in code, the sign-in completes", false,
       [&](Launched& launched) {
         // From the welcome page on to the one with the code, by the keys.
         QWidget* window = launched.delegate.window();
         window->activateWindow();
         EXPECT_TRUE(QTest::qWaitForWindowActive(window));
         QTest::keyClick(window->windowHandle(), Qt::Key_Return);
         return Shown{named(launched, "onboarding.deviceCode"), launched.delegate.home()->onboarding()};
       },
       [](Launched& launched) {
         launched.fixture.harness().service().grants().approve(*launched.model.signInCode(),
                                                               AccountFixtures::userID);
         launched.fixture.advance(5);
       },
       true, ReaderTab::welcome, "text-menu-onboarding.deviceCode.png"},
      {"the account e-mail, a sign-out the keyring kept waiting goes through", true,
       [&](Launched& launched) {
         // The dropdown opened with a click on the avatar, and Sign out chosen in it while the
         // keyring is slow to remove the credential.
         QWidget* avatar = named(launched, "account.profile");
         if (avatar == nullptr)
           return Shown{};
         clickOn(avatar);
         launched.fixture.storage().setHolding(true);
         QWidget* signOut = named(launched, "account.signOut");
         if (signOut == nullptr)
           return Shown{};
         clickOn(signOut);
         EXPECT_TRUE(QTest::qWaitFor([&] { return launched.fixture.storage().heldCount() == 1; }, 5000));
         return Shown{launched.delegate.window()->findChild<ElidedEmailLabel*>(),
                      launched.delegate.home()->dropdownLayer()};
       },
       [](Launched& launched) {
         launched.fixture.storage().setHolding(false);
         launched.fixture.storage().releaseOldest();
       },
       false, ReaderTab::welcome, "text-menu-account.email.png"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Launched launched(row.signedIn);
    QWidget* window = launched.delegate.window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    const Shown shown = row.reach(launched);
    const QPointer<QWidget> text = shown.text;
    const QPointer<QWidget> page = shown.page;
    ASSERT_FALSE(text.isNull());
    ASSERT_FALSE(page.isNull());

    OwnLoopWatch watch;
    QTest::mouseClick(window->windowHandle(), Qt::RightButton, {}, text->mapTo(window, text->rect().center()));
    EXPECT_FALSE(watch.waited()) << "the menu waited for its answer";
    const QPointer<QMenu> menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_FALSE(menu.isNull());
    EXPECT_EQ(menu->actions().value(0)->text(), "Copy");
    EXPECT_EQ(menu->parentWidget(), text.data());
    EXPECT_TRUE(menu->grab().save(brindlewick::testing::testOutputPath(QString::fromLatin1(row.picture))));

    row.takeAway(launched);
    EXPECT_TRUE(QTest::qWaitFor([&] { return page.isNull() && text.isNull(); }, 5000)) << "the page stayed";
    EXPECT_TRUE(menu.isNull());
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(launched.model.navigationTab(), row.tabAfter);
    EXPECT_EQ(launched.model.account().isSignedIn(), row.signedInAfter);
    EXPECT_EQ(launched.model.account().hasStoredSession(), row.signedInAfter);
    launched.fixture.settle();
  }
}

// About, chosen with the pointer from the window's menu bar, opens over the window without
// waiting for its answer, so no event loop of its own runs under the menu entry. While it shows,
// the window and its menu wait for it: asked for again, no second box comes.
TEST(ReaderAppDelegate, AboutOpensWithoutWaitingAndOnlyOnce) {
  Launched launched;
  ReadingWindow* window = launched.delegate.window();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  QMenuBar* bar = window->menuBar();
  // Returns whether the menu opened: not while the window waits for the box.
  const auto chooseAbout = [&] {
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                      bar->mapTo(window, bar->actionGeometry(bar->actions().constFirst()).center()));
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (menu == nullptr)
      return false;
    for (QAction* action : menu->actions())
      if (action->text() == QLatin1String("About Brindlewick"))
        QTest::mouseClick(menu->windowHandle(), Qt::LeftButton, {}, menu->actionGeometry(action).center());
    return true;
  };
  {
    // Were the box to wait for its answer, this would answer it each time.
    OwnLoopWatch watch;
    ASSERT_TRUE(chooseAbout());
    EXPECT_FALSE(chooseAbout());
    EXPECT_FALSE(watch.waited()) << "About waited for its answer";
  }
  const QList<QMessageBox*> boxes = window->findChildren<QMessageBox*>();
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes.first()->isVisible());
  EXPECT_EQ(QApplication::activeModalWidget(), boxes.first());
  const QPointer<QMessageBox> box = boxes.first();
  EXPECT_TRUE(box->grab().save(brindlewick::testing::testOutputPath(QStringLiteral("about.png"))));
  // A drop asked for by a later start hides the window: the box goes with it.
  LaunchRequest show;
  show.kind = LaunchRequest::Kind::action;
  show.action = LaunchAction::show;
  launched.delegate.handle(show);
  ASSERT_FALSE(window->isVisible());
  EXPECT_TRUE(QTest::qWaitFor([&] { return box.isNull(); }, 2000)) << "the box stayed without its window";
}

// The launcher's "--focus-reader" and "--dismiss" act as the status menu's entries do: on a
// drop on screen only. Without one they do nothing, not even open the reader window.
TEST(ReaderAppDelegate, FocusReaderAndDismissFromALaunchActOnlyOnADropOnScreen) {
  Launched launched;
  ReaderModel& model = launched.model;
  ReaderAppDelegate& delegate = launched.delegate;
  model.setPanelContentFactories(cardPanelContent());
  delegate.hideMainWindow();
  const auto launch = [&](LaunchAction action) {
    LaunchRequest request;
    request.kind = LaunchRequest::Kind::action;
    request.action = action;
    delegate.handle(request);
    QApplication::processEvents();
  };

  launch(LaunchAction::focusReader);
  launch(LaunchAction::dismiss);
  EXPECT_FALSE(delegate.window()->isVisible());
  EXPECT_FALSE(model.panel().panel().isVisible());

  model.requestDrop();
  ASSERT_TRUE(model.teaserPanel().panel().isVisible());
  // The teaser opens into its card, and the keyboard lands on the drop's text, ringed.
  launch(LaunchAction::focusReader);
  ASSERT_TRUE(model.panel().panel().isVisible());
  ASSERT_TRUE(QTest::qWaitForWindowActive(&model.panel().panel()));
  auto* text = qobject_cast<DropCardContent*>(QApplication::focusWidget());
  ASSERT_NE(text, nullptr);
  EXPECT_TRUE(text->showsFocus());
  EXPECT_FALSE(delegate.window()->isVisible());

  launch(LaunchAction::dismiss);
  launched.fixture.advance(2);
  EXPECT_FALSE(model.panel().panel().isVisible());
  EXPECT_FALSE(model.teaserPanel().panel().isVisible());
  EXPECT_TRUE(launched.alerts.isEmpty());
}

// The View menu's love entry names what it would do to the selected idea; with none selected
// it is disabled and keeps the title it had.
TEST(ReaderAppDelegate, TheLoveEntryKeepsItsTitleWhenNoIdeaIsSelected) {
  Launched launched;
  ReaderModel& model = launched.model;
  ReaderAppDelegate& delegate = launched.delegate;
  QMenuBar* bar = delegate.window()->menuBar();
  QAction* viewTitle = nullptr;
  for (QAction* action : bar->actions()) {
    if (action->text() == QStringLiteral("View"))
      viewTitle = action;
  }
  ASSERT_NE(viewTitle, nullptr);
  QMenu* view = viewTitle->menu();
  // The love entry as the open menu shows it (on closing, every entry is enabled again so that
  // its shortcut reaches the command, which checks for itself).
  struct Shown {
    QString title;
    bool enabled = false;
    bool operator==(const Shown&) const = default;
  };
  const auto loveEntry = [&]() -> std::optional<Shown> {
    // Opened as the reader opens it, with a click on its title: the menu is filled as it shows.
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(viewTitle).center());
    if (!QTest::qWaitFor([&] { return view->isVisible(); }))
      return std::nullopt;
    std::optional<Shown> love;
    for (QAction* action : view->actions()) {
      if (action->text().endsWith(QStringLiteral("ove idea")))
        love = Shown{action->text(), action->isEnabled()};
    }
    QTest::keyClick(view, Qt::Key_Escape);
    return QTest::qWaitFor([&] { return !view->isVisible(); }) ? love : std::nullopt;
  };
  EXPECT_EQ(loveEntry(), (Shown{QStringLiteral("Love idea"), false}));

  const DropSnapshot idea =
      requiredValue(model.repository().snapshot(launched.fixture.release().release.lore[0].id), "snapshot");
  model.changeCollection(idea, true);
  ASSERT_TRUE(waitUntil([&] { return !model.collectionBusy() && model.isLoved(idea); }));
  model.read(idea);
  ASSERT_EQ(model.navigationTab(), ReaderTab::read);
  EXPECT_EQ(loveEntry(), (Shown{QStringLiteral("Unlove idea"), true}));

  delegate.perform(MenuCommand::library); // no idea is selected on the saved page
  EXPECT_EQ(loveEntry(), (Shown{QStringLiteral("Unlove idea"), false}));
}

// An offer that stood on its own before the reader window was made stays above it once the
// reader opens it.
TEST(ReaderAppDelegate, AnUpdateOfferStandingBeforeTheReaderWindowStaysAboveItOnceItOpens) {
  FeedUpdaterRig rig;
  ReaderModelFixture fixture;
  rig.configure(fixture);
  fixture.signIn();
  ReaderModel& model = fixture.open();
  QList<Alert> alerts;
  ReaderAppDelegate delegate(&model, std::nullopt, options(fixture.applicationDefaultsFile(), alerts));
  rig.harness.advance(FeedUpdater::firstCheckDelay);
  QWidget* offer = nullptr;
  ASSERT_TRUE(waitUntil([&] {
    for (QWidget* window : QApplication::topLevelWidgets())
      if (window->objectName() == QLatin1String("update.window") && window->isVisible())
        offer = window;
    return offer != nullptr;
  }));
  ASSERT_EQ(delegate.window(), nullptr);
  EXPECT_EQ(offer->windowHandle()->transientParent(), nullptr);

  delegate.perform(MenuCommand::library);
  ASSERT_NE(delegate.window(), nullptr);
  EXPECT_EQ(offer->windowHandle()->transientParent(), delegate.window()->windowHandle());
  EXPECT_TRUE(offer->isVisible());
}
