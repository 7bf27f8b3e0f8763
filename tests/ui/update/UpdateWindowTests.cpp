#include "AsyncProbe.h"
#include "ScriptedTlsServer.h"
#include "TestOutput.h"
#include "model/FeedUpdaterRig.h"
#include "model/ReaderModelFixture.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropFonts.h"
#include "ui/design/DropTextBlock.h"
#include "ui/design/UiEnvironment.h"
#include "ui/settings/SettingsView.h"
#include "ui/settings/ThisComputerSection.h"
#include "ui/update/UpdateProgressBar.h"
#include "ui/update/UpdateWindow.h"
#include "update/ArchiveExtractor.h"

#include <QApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

using Page = UpdateWindow::Page;

class UpdateWindowTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { ASSERT_TRUE(DropFonts::registerFonts()); }

  FeedUpdaterRig rig;
  std::unique_ptr<FeedUpdater> updater = rig.make();
  UpdateWindow window{*updater};

  // A check as the reader asks for one, waited for until the window answers.
  void check() {
    updater->checkForUpdates();
    ASSERT_TRUE(waitUntil([&] { return window.isVisible() && updater->canCheckForUpdates(); }));
  }
  static void click(DropButton* button) {
    ASSERT_TRUE(button->isVisible() && button->isEnabled()) << button->text().toStdString();
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
  }
  // The feed offers 0.2.0 with its archive served by `server`.
  void offerArchiveFrom(const ScriptedTlsServer& server) {
    const QJsonObject release{
        {"version", "0.2.0"}, {"url", server.baseURL().resolved(QUrl("/a.tar.gz")).toString()},
        {"length", 4000},     {"signature", QString::fromLatin1(QByteArray(64, 's').toBase64())},
        {"notes", "Notes."},  {"minimumVersion", QJsonValue::Null}};
    rig.harness.service().setReply("GET", "/updates/{id}",
                                   StandInReply::json(200, QJsonObject{{"releases", QJsonArray{release}}}));
  }
  // An archive peer that sends a quarter of the archive and then nothing.
  static QList<ScriptedTlsServer::Step> sendAQuarterThenNothing() {
    return {ScriptedTlsServer::Step::write(ScriptedTlsServer::head(200, {"Content-Length: 4000"}) +
                                           QByteArray(1000, 'x'))};
  }
  bool onPage(Page page) {
    return waitUntil([&] { return window.page() == page; });
  }
  void render(const QString& name) {
    QApplication::processEvents();
    EXPECT_TRUE(window.grab().save(testing::testOutputPath(name)));
  }
};

// A key as the reader presses it, delivered by the window system to whatever has the focus.
void press(UpdateWindow& window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QTest::keyClick(window.windowHandle(), key, modifiers);
}

QString focused() {
  const QWidget* focus = QApplication::focusWidget();
  return focus == nullptr ? QStringLiteral("(none)") : focus->objectName();
}

// The button has the focus and its ring shows in full.
[[nodiscard]] bool ringed(const DropButton* button) {
  return waitUntil([&] { return button->hasFocus() && button->controlState().focus == 1.0; });
}

// Pictures of the window in both schemes, "<name>-light.png" and "<name>-dark.png".
void renderBoth(UpdateWindow& window, const QString& name) {
  for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
    UiEnvironment::forceScheme(&window, scheme);
    QApplication::processEvents();
    EXPECT_TRUE(window.grab().save(
        testing::testOutputPath(name + (scheme == ColorScheme::dark ? "-dark.png" : "-light.png"))));
  }
  UiEnvironment::forceScheme(&window, std::nullopt);
}

TEST_F(UpdateWindowTest, AnOfferNamesBothVersionsAndShowsItsNotesAsPlainText) {
  rig.harness.service().updates().setNotes("<b>Bold?</b> No: plain.\nSecond line.");
  check();
  EXPECT_EQ(window.page(), Page::offer);
  EXPECT_EQ(window.headline(), "Brindlewick 0.2.0 is available — you have 0.1.0");
  EXPECT_EQ(window.notes()->text(), "<b>Bold?</b> No: plain.\nSecond line.");
  for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
    UiEnvironment::forceScheme(&window, scheme);
    render(scheme == ColorScheme::dark ? "update-offer-dark.png" : "update-offer-light.png");
  }
}

// The stand-in's sample update is a script that prints its version, not a program: its offer
// says so before the reader installs it in place of a working one.
TEST_F(UpdateWindowTest, TheStandInsSampleOfferSaysItIsNoWorkingProgram) {
  check();
  const QString notes = window.notes()->text();
  EXPECT_TRUE(notes.contains("It is not a working Brindlewick")) << notes.toStdString();
  EXPECT_TRUE(notes.contains("cmake --install build-run --prefix")) << notes.toStdString();
  render("update-offer-stand-in.png");

  QTemporaryDir unpacked;
  QFile archive(unpacked.filePath("sample.tar.gz"));
  ASSERT_TRUE(archive.open(QIODevice::WriteOnly));
  archive.write(rig.harness.service().updates().archive());
  archive.close();
  ASSERT_TRUE(QDir(unpacked.path()).mkdir("out"));
  extractArchive(archive.fileName(), unpacked.filePath("out"));
  QFile program(unpacked.filePath("out/brindlewick-0.2.0-Linux/lib/brindlewick/brindlewick"));
  ASSERT_TRUE(program.open(QIODevice::ReadOnly));
  EXPECT_TRUE(program.readAll().startsWith("#!/bin/sh\n")) << "the notes describe a script";
  // All a reader sees after "Restart now" into it is its one line: that says what it is too.
  QProcess run;
  run.start(program.fileName(), {});
  ASSERT_TRUE(run.waitForFinished(10000));
  const QString said = QString::fromUtf8(run.readAllStandardOutput());
  EXPECT_TRUE(said.startsWith("Brindlewick 0.2.0: ")) << said.toStdString();
  EXPECT_TRUE(said.contains("not a working Brindlewick")) << said.toStdString();
  EXPECT_TRUE(said.contains("cmake --install build-run --prefix")) << said.toStdString();
}

TEST_F(UpdateWindowTest, SkipAndRemindCloseTheOfferAndOnlySkipIsRemembered) {
  check();
  click(window.remindButton());
  EXPECT_FALSE(window.isVisible());
  EXPECT_FALSE(updater->skippedVersion());
  check();
  click(window.skipButton());
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(updater->skippedVersion(), "0.2.0");
  EXPECT_TRUE(rig.installed.isEmpty());
}

TEST_F(UpdateWindowTest, InstallDownloadsVerifiesAndOffersARestart) {
  check();
  click(window.installButton());
  EXPECT_EQ(window.page(), Page::progress);
  EXPECT_EQ(window.headline(), "Downloading Brindlewick 0.2.0…");
  ASSERT_TRUE(onPage(Page::message));
  EXPECT_EQ(window.headline(), "Brindlewick 0.2.0 is installed.");
  EXPECT_EQ(rig.installed, QList{rig.harness.service().updates().archive()});
  EXPECT_EQ(window.secondaryButton()->text(), "Later");
  EXPECT_EQ(window.primaryButton()->text(), "Restart now");
  render("update-installed.png");

  // A restart that does not start says so and quits nothing.
  rig.restartSucceeds = false;
  click(window.primaryButton());
  EXPECT_EQ(window.headline(), "Brindlewick could not start the new version.");
  EXPECT_EQ(rig.quits, 0);
  EXPECT_EQ(rig.restarts, QStringList{rig.outcome.path});
}

TEST_F(UpdateWindowTest, RestartNowStartsTheNewVersionAndQuits) {
  check();
  click(window.installButton());
  ASSERT_TRUE(onPage(Page::message));
  click(window.primaryButton());
  EXPECT_EQ(rig.restarts, QStringList{rig.outcome.path});
  EXPECT_EQ(rig.quits, 1);
}

TEST_F(UpdateWindowTest, AHandOffSaysWhereTheFileIsKeptAndWhatToDoWithIt) {
  // The detail repeats the desktop opener's answer, never claims an installer it did not find,
  // and sends a release archive (what a build tree or a copy of the reader's own keeps) to be
  // unpacked, not to a package manager that cannot take it.
  const struct {
    QString kept;
    bool opens;
    QStringList says;
    QStringList never;
  } cases[] = {
      {"/home/reader/Downloads/brindlewick-0.2.0.deb",
       true,
       {"was opened with this computer's installer"},
       {"no installer", "Unpack"}},
      {"/home/reader/Downloads/brindlewick-0.2.0.deb",
       false,
       {"no installer on this computer opened it", "package manager"},
       {"was opened", "Unpack"}},
      {"/home/reader/Downloads/brindlewick-0.2.0.tar.gz",
       true,
       {"was opened with the program this computer uses for it", "Unpack it", "bin/brindlewick"},
       {"installer", "package manager"}},
      {"/home/reader/Downloads/brindlewick-0.2.0.tar.gz",
       false,
       {"no program on this computer opened it", "Unpack it", "bin/brindlewick"},
       {"installer", "package manager", "was opened"}},
  };
  for (const auto& one : cases) {
    SCOPED_TRACE((one.kept + (one.opens ? " opened" : " not opened")).toStdString());
    rig.outcome = {UpdateInstallOutcome::Kind::handedOff, one.kept};
    rig.openSucceeds = one.opens;
    rig.opened.clear();
    check();
    click(window.installButton());
    ASSERT_TRUE(onPage(Page::message));
    EXPECT_EQ(window.headline(), "Brindlewick 0.2.0 is downloaded and verified.");
    const QString detail = window.messageDetail()->text();
    EXPECT_TRUE(detail.contains(one.kept)) << detail.toStdString();
    // A build tree is not installed anywhere: the window says where the copy runs from.
    EXPECT_TRUE(detail.contains("cannot replace itself where it runs from")) << detail.toStdString();
    for (const QString& phrase : one.says)
      EXPECT_TRUE(detail.contains(phrase)) << phrase.toStdString() << " in " << detail.toStdString();
    for (const QString& phrase : one.never)
      EXPECT_FALSE(detail.contains(phrase)) << phrase.toStdString() << " in " << detail.toStdString();
    EXPECT_EQ(rig.opened, QList{QUrl::fromLocalFile(one.kept)});
    EXPECT_FALSE(window.secondaryButton()->isVisible());
    if (!one.opens && one.kept.endsWith(".tar.gz"))
      render("update-handed-off-archive.png");
    click(window.primaryButton());
    EXPECT_FALSE(window.isVisible());
  }
}

TEST_F(UpdateWindowTest, AStalledDownloadShowsItsProgressAndCancelGoesBackToTheOffer) {
  ScriptedTlsServer stalled(rig.harness.serverIdentity(), sendAQuarterThenNothing());
  offerArchiveFrom(stalled);
  check();
  click(window.installButton());
  ASSERT_TRUE(waitUntil([&] { return window.progressBar()->fraction() == 0.25; }));
  EXPECT_EQ(window.page(), Page::progress);
  for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
    UiEnvironment::forceScheme(&window, scheme);
    render(scheme == ColorScheme::dark ? "update-progress-dark.png" : "update-progress-light.png");
  }
  click(window.cancelButton());
  ASSERT_TRUE(onPage(Page::offer));
  EXPECT_TRUE(window.installButton()->isEnabled());
  EXPECT_TRUE(QDir(rig.downloadFolder()).isEmpty());
  EXPECT_TRUE(rig.installed.isEmpty());
}

TEST_F(UpdateWindowTest, AFailedCheckOrInstallIsToldInPlainWords) {
  FeedUpdaterRig badRig;
  const auto bad = badRig.make("0.1.0", "feed-bad-signature.json");
  UpdateWindow badWindow(*bad);
  bad->checkForUpdates();
  ASSERT_TRUE(waitUntil([&] { return badWindow.isVisible(); }));
  QTest::mouseClick(badWindow.installButton(), Qt::LeftButton, {},
                    badWindow.installButton()->rect().center());
  ASSERT_TRUE(waitUntil([&] { return badWindow.page() == Page::message; }));
  EXPECT_EQ(badWindow.headline(), FeedUpdater::installFailedTitle);
  EXPECT_EQ(badWindow.messageDetail()->text(), FeedUpdater::badSignatureMessage);
  EXPECT_TRUE(badRig.installed.isEmpty());
  badWindow.grab().save(testing::testOutputPath("update-failed.png"));
  QTest::mouseClick(badWindow.primaryButton(), Qt::LeftButton, {},
                    badWindow.primaryButton()->rect().center());
  EXPECT_FALSE(badWindow.isVisible());

  // Up to date is an answer too.
  FeedUpdaterRig currentRig;
  const auto current = currentRig.make("0.2.0");
  UpdateWindow currentWindow(*current);
  current->checkForUpdates();
  ASSERT_TRUE(waitUntil([&] { return currentWindow.isVisible(); }));
  EXPECT_EQ(currentWindow.headline(), "You're up to date.");
  EXPECT_EQ(currentWindow.messageDetail()->text(), "Brindlewick 0.2.0 is the newest version available.");
}

// A scheduled check's offer is shown without activation (under a window manager the x11
// tests see that the reader's application keeps the focus); one the reader asked for comes
// forward.
TEST_F(UpdateWindowTest, OnlyAnOfferTheReaderAskedForComesForward) {
  rig.harness.advance(FeedUpdater::firstCheckDelay);
  ASSERT_TRUE(waitUntil([&] { return window.isVisible(); }));
  EXPECT_TRUE(window.testAttribute(Qt::WA_ShowWithoutActivating));
  window.close();
  check();
  EXPECT_FALSE(window.testAttribute(Qt::WA_ShowWithoutActivating));
  EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
}

// The offer opens on "Install update", ringed, every time, whatever had the focus when it
// last closed; the notes are no Tab stop, and Page Down scrolls them from the buttons.
TEST_F(UpdateWindowTest, TheOfferTakesTheKeyboardOnInstallUpdateEveryTimeItOpens) {
  QStringList lines;
  for (int line = 1; line <= 40; ++line)
    lines << QStringLiteral("Line %1 of the notes.").arg(line);
  rig.harness.service().updates().setNotes(lines.join('\n'));
  check();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  ASSERT_TRUE(ringed(window.installButton())) << focused().toStdString();
  renderBoth(window, "update-offer-focused");

  QStringList walk;
  for (int step = 0; step < 3; ++step) {
    press(window, Qt::Key_Tab);
    walk << focused();
  }
  EXPECT_EQ(walk, (QStringList{"update.skip", "update.remind", "update.install"}));
  const auto* notes = window.findChild<QScrollArea*>();
  ASSERT_NE(notes, nullptr);
  press(window, Qt::Key_PageDown);
  EXPECT_GT(notes->verticalScrollBar()->value(), 0);
  EXPECT_EQ(focused(), "update.install");

  // Left on "Remind me later" and closed: the next offer starts on "Install update" again, so
  // the keys that mean install do.
  press(window, Qt::Key_Backtab, Qt::ShiftModifier);
  ASSERT_EQ(focused(), "update.remind");
  press(window, Qt::Key_Escape);
  ASSERT_FALSE(window.isVisible());
  check();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  EXPECT_TRUE(ringed(window.installButton())) << focused().toStdString();
  EXPECT_EQ(notes->verticalScrollBar()->value(), 0);
  press(window, Qt::Key_Space);
  ASSERT_TRUE(onPage(Page::message));
  EXPECT_EQ(rig.installed, QList{rig.harness.service().updates().archive()});
  EXPECT_FALSE(updater->skippedVersion());
}

// An installed version put off with "Later" waits for the reader: the "OK" of a later answer
// closes the window and never restarts into it.
TEST_F(UpdateWindowTest, AnAnswerAfterAnInstallPutOffRestartsNothing) {
  check();
  click(window.installButton());
  ASSERT_TRUE(onPage(Page::message));
  ASSERT_EQ(window.primaryButton()->text(), "Restart now");
  click(window.secondaryButton());
  ASSERT_FALSE(window.isVisible());
  // The reader goes on in another window, and later asks again.
  QWidget elsewhere;
  elsewhere.show();
  QApplication::setActiveWindow(&elsewhere);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
  // The feed no longer lists anything newer than the running version.
  rig.harness.service().updates().setVersion("0.1.0");
  check();
  ASSERT_EQ(window.headline(), FeedUpdater::upToDateTitle);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  ASSERT_TRUE(ringed(window.primaryButton())) << focused().toStdString();
  press(window, Qt::Key_Return);
  EXPECT_FALSE(window.isVisible());
  EXPECT_TRUE(rig.restarts.isEmpty());
  EXPECT_EQ(rig.quits, 0);
}

// A download under way takes the keyboard on "Cancel"; cancelled, the offer is back on
// "Install update".
TEST_F(UpdateWindowTest, TheProgressPageTakesTheKeyboardOnCancel) {
  ScriptedTlsServer stalled(rig.harness.serverIdentity(), sendAQuarterThenNothing());
  offerArchiveFrom(stalled);
  check();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  ASSERT_TRUE(ringed(window.installButton()));
  press(window, Qt::Key_Return);
  ASSERT_TRUE(waitUntil([&] { return window.progressBar()->fraction() == 0.25; }));
  EXPECT_TRUE(ringed(window.cancelButton())) << focused().toStdString();
  renderBoth(window, "update-progress-focused");
  press(window, Qt::Key_Return);
  ASSERT_TRUE(onPage(Page::offer));
  EXPECT_TRUE(ringed(window.installButton())) << focused().toStdString();
  EXPECT_TRUE(QDir(rig.downloadFolder()).isEmpty());
}

// Every message opens on its main button, ringed, and Return presses it.
TEST(UpdateWindowMessages, EachOpensOnItsMainButtonAndReturnPressesIt) {
  const struct {
    const char* name;
    const char* running;
    const char* feed;
    std::optional<UpdateInstallOutcome> outcome; // the offer is installed, with this outcome
    QString headline;
    QString button;
    bool restarts; // Return starts the new version rather than closing the window
  } rows[] = {
      {"up to date", "0.2.0", "feed.json", std::nullopt, "You're up to date.", "OK", false},
      {"a feed that cannot be read", "0.1.0", "feed-malformed.json", std::nullopt,
       FeedUpdater::checkFailedTitle, "OK", false},
      {"a download that fails its check", "0.1.0", "feed-bad-signature.json",
       UpdateInstallOutcome{UpdateInstallOutcome::Kind::staged, "/opt/new/brindlewick"},
       FeedUpdater::installFailedTitle, "Close", false},
      {"installed", "0.1.0", "feed.json",
       UpdateInstallOutcome{UpdateInstallOutcome::Kind::staged, "/opt/new/brindlewick"},
       "Brindlewick 0.2.0 is installed.", "Restart now", true},
      {"handed off", "0.1.0", "feed.json",
       UpdateInstallOutcome{UpdateInstallOutcome::Kind::handedOff,
                            "/home/reader/Downloads/brindlewick-0.2.0.tar.gz"},
       "Brindlewick 0.2.0 is downloaded and verified.", "Done", false},
  };
  ASSERT_TRUE(DropFonts::registerFonts());
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FeedUpdaterRig rig;
    if (row.outcome)
      rig.outcome = *row.outcome;
    const auto updater = rig.make(QString::fromLatin1(row.running), QString::fromLatin1(row.feed));
    UpdateWindow window(*updater);
    updater->checkForUpdates();
    ASSERT_TRUE(waitUntil([&] { return window.isVisible(); }));
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    if (row.outcome) {
      ASSERT_TRUE(ringed(window.installButton()));
      press(window, Qt::Key_Return);
    }
    ASSERT_TRUE(waitUntil([&] { return window.page() == Page::message && updater->canCheckForUpdates(); }));
    EXPECT_EQ(window.headline(), row.headline);
    EXPECT_EQ(window.primaryButton()->text(), row.button);
    EXPECT_TRUE(ringed(window.primaryButton())) << focused().toStdString();
    renderBoth(window, QStringLiteral("update-message-") + QString::fromLatin1(row.name).replace(' ', '-'));
    press(window, Qt::Key_Return);
    EXPECT_EQ(window.isVisible(), row.restarts);
    EXPECT_EQ(rig.restarts, row.restarts ? QStringList{row.outcome->path} : QStringList{});
  }
}

// An offer stays above the reader window while both are shown, and stands on its own while the
// reader window is closed; minimized after the link was made, the reader window keeps it, as a
// dialog goes down and back with its window.
TEST(UpdateWindowOverTheReader, StaysAboveTheReaderWindowWhileItIsShown) {
  FeedUpdaterRig rig;
  const auto updater = rig.make();
  QWidget reader;
  reader.resize(900, 600);
  UpdateWindow window(*updater, {.readerWindow = [&] { return static_cast<const QWidget*>(&reader); }});
  const auto linkedToReader = [&] {
    return window.windowHandle() != nullptr && reader.windowHandle() != nullptr &&
           window.windowHandle()->transientParent() == reader.windowHandle();
  };
  const auto onItsOwn = [&] {
    return window.windowHandle() != nullptr && window.windowHandle()->transientParent() == nullptr;
  };

  reader.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&reader));
  rig.harness.advance(FeedUpdater::firstCheckDelay);
  ASSERT_TRUE(waitUntil([&] { return window.isVisible(); }));
  EXPECT_TRUE(linkedToReader());

  const struct {
    const char* step;
    std::function<void()> act;
    bool linked;
  } steps[] = {
      {"the reader closes the reader window", [&] { reader.close(); }, false},
      {"the reader opens it again", [&] { reader.show(); }, true},
      {"the reader minimizes it", [&] { reader.showMinimized(); }, true},
      {"the offer is put off and comes again meanwhile",
       [&] {
         DropButton* remind = window.remindButton();
         QTest::mouseClick(remind, Qt::LeftButton, {}, remind->rect().center());
         ASSERT_FALSE(window.isVisible());
         rig.harness.advance(FeedUpdater::checkInterval);
         ASSERT_TRUE(waitUntil([&] { return window.isVisible(); }));
       },
       false},
      {"the reader brings the reader window back", [&] { reader.showNormal(); }, true},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.step);
    step.act();
    EXPECT_TRUE(
        waitUntil(step.linked ? std::function<bool()>(linkedToReader) : std::function<bool()>(onItsOwn)));
    EXPECT_TRUE(window.isVisible());
  }
}

// The settings page's button, pressed as the reader presses it, runs a real check whose
// answer opens the window; the button waits while it runs.
TEST(UpdateSettingsRow, CheckForUpdatesAsksTheFeedAndTheWindowAnswers) {
  FeedUpdaterRig rig;
  ReaderModelFixture fixture;
  rig.configure(fixture);
  ReaderModel& model = fixture.open();
  auto* updater = qobject_cast<FeedUpdater*>(model.updater().backend());
  ASSERT_TRUE(updater);
  UpdateWindow window(*updater);
  SettingsView view(model);
  view.resize(760, 2000);
  view.show();
  DropButton& button = *view.thisComputer()->checkForUpdates();
  EXPECT_EQ(view.thisComputer()->updateStatus()->text(),
            "Updates are enabled for the configured update feed.");
  ASSERT_TRUE(button.isEnabled());
  QTest::mouseClick(&button, Qt::LeftButton, {}, button.rect().center());
  EXPECT_FALSE(button.isEnabled());
  ASSERT_TRUE(waitUntil([&] { return window.isVisible(); }));
  EXPECT_TRUE(button.isEnabled());
  EXPECT_EQ(window.headline(), "Brindlewick 0.2.0 is available — you have 0.1.0");
}

} // namespace
} // namespace brindlewick
