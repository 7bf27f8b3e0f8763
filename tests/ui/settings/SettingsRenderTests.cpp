#include "../account/ContactSheet.h"
#include "../window/ReaderWindowTestFixture.h"
#include "AccountFixtures.h"
#include "AsyncProbe.h"
#include "model/FakeUpdaterBackend.h"
#include "model/ReaderModelFixture.h"
#include "ui/account/AccountView.h"
#include "ui/design/DropPaintedButton.h"
#include "ui/settings/SettingsController.h"
#include "ui/settings/SettingsSaveBar.h"
#include "ui/settings/SettingsSection.h"
#include "ui/settings/SettingsView.h"
#include "ui/window/ReaderWorkspace.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QPainter>
#include <QScrollBar>
#include <QTest>

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

using testing::ContactSheet;

const QString preferencesPath = QStringLiteral("/api/reader/preferences");

ReaderPreferences topicsChosen(ReaderPreferences preferences) {
  preferences.surpriseMe = false;
  preferences.analyticsConsent = true;
  preferences.topics = {QStringLiteral("science"), QStringLiteral("design"), QStringLiteral("history")};
  return preferences;
}

QWidget& section(const SettingsView& view, const QString& title) {
  for (SettingsSection* card : view.findChildren<SettingsSection*>(QStringLiteral("layout.settings.card")))
    if (card->title() == title)
      return *card;
  throw std::runtime_error("no section " + title.toStdString());
}

TEST(SettingsRenderTest, PageSignedInAndOut) {
  ContactSheet sheet;
  {
    ReaderModelFixture fx;
    fx.signIn(topicsChosen(ReaderModelFixture::readerPreferences()));
    ReaderModel& model = fx.open();
    SettingsView view(model);
    sheet.add(QStringLiteral("signed in, topics chosen, reading activity on"), view, 760);
    sheet.add(QStringLiteral("narrow: two topic columns"), view, 480);
    sheet.add(QStringLiteral("wide: five topic columns"), view, 1100);
  }
  {
    ReaderModelFixture fx;
    SettingsView view(fx.open());
    sheet.add(QStringLiteral("signed out: no delivery section"), view, 760);
  }
  sheet.write(QStringLiteral("settings-page.png"));
}

TEST(SettingsRenderTest, PageInTheReaderWindow) {
  ReaderWindowHarness w(true, QSize(1200, 800));
  w.model->setNavigationTab(ReaderTab::settings);
  QApplication::processEvents();
  EXPECT_NE(w.home->findChild<SettingsView*>(), nullptr);
  EXPECT_TRUE(w.window.grab().save(testing::testOutputPath(QStringLiteral("settings-window.png"))));
}

// The account card on the settings page keeps its padding below its last buttons in each of
// its bodies: the buttons' shadows and rings lie inside the card, not on or past its edge.
TEST(SettingsRenderTest, TheAccountCardKeepsItsPaddingBelowItsButtons) {
  struct Row {
    const char* name;
    bool signedIn;
    bool legacySave;
    bool code;
    bool browserOpens;
  };
  const std::vector<Row> rows{
      {"signed-in", true, false, false, true},
      {"signed-in-import", true, true, false, true},
      {"sign-in", false, false, false, true},
      {"code", false, false, true, true},
      {"code-no-browser", false, false, true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ReaderWindowHarness w(row.signedIn, QSize(1200, 800));
    w.fixture.browser.opens = row.browserOpens;
    if (row.legacySave)
      w.model->repository().toggleSave(*w.model->repository().snapshot(w.fixture.release().release.lore[20].id),
                                       w.fixture.now());
    if (row.code) {
      w.fixture.harness().service().grants().setTiming(600, 5);
      w.model->beginAccountSignIn();
      ASSERT_TRUE(waitUntil([&] { return w.model->signInCode().has_value(); }));
    }
    w.model->setNavigationTab(ReaderTab::settings);
    QApplication::processEvents();
    auto* page = w.home->findChild<SettingsView*>();
    ASSERT_NE(page, nullptr);
    auto* card = page->findChild<AccountView*>();
    ASSERT_NE(card, nullptr);
    ASSERT_TRUE(card->isVisible());
    // What the card lays out ends its padding above its bottom edge (a painted button's item is
    // its shape, without the room for its shadow and ring).
    int lowest = 0;
    QLayout* stack = card->layout();
    for (int index = 0; index < stack->count(); ++index) {
      if (!stack->itemAt(index)->isEmpty())
        lowest = std::max(lowest, stack->itemAt(index)->geometry().bottom() + 1);
    }
    EXPECT_EQ(card->height() - lowest, AccountView::surfacePadding);
    // Their shadows and rings lie inside the card.
    for (const DropPaintedButton* button : card->findChildren<DropPaintedButton*>()) {
      if (button->isVisibleTo(card)) {
        EXPECT_TRUE(card->rect().contains(QRect(button->mapTo(card, QPoint()), button->size())))
            << button->objectName().toStdString();
      }
    }
    EXPECT_TRUE(card->grab().save(
        testing::testOutputPath(QStringLiteral("settings-account-card-%1.png").arg(QLatin1String(row.name)))));
  }
}

// The page in the window with the minute list of the working hours open, in each scheme:
// the list on its rounded surface beside the painted controls.
TEST(SettingsRenderTest, AComboListOpenInTheWindowInBothSchemes) {
  for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
    ReaderWindowHarness w(true, QSize(960, 560));
    UiEnvironment::instance().setOverrides({.scheme = scheme, .reduceMotion = true});
    w.model->setNavigationTab(ReaderTab::settings);
    QApplication::processEvents();
    QComboBox* minutes = nullptr;
    for (QComboBox* combo : w.home->findChildren<QComboBox*>())
      if (minutes == nullptr && combo->count() == 60)
        minutes = combo;
    ASSERT_NE(minutes, nullptr);
    QScrollBar* scroll = w.home->workspace()->verticalScrollBar();
    scroll->setValue(minutes->mapTo(w.home->workspace()->widget(), QPoint()).y() - 160);
    QApplication::processEvents();

    QTest::mouseClick(minutes, Qt::LeftButton);
    QWidget* popup = QApplication::activePopupWidget();
    ASSERT_NE(popup, nullptr);
    QImage shot = w.window.grab().toImage();
    QPainter painter(&shot);
    painter.drawImage(
        QRectF(QPointF(popup->mapToGlobal(QPoint()) - w.window.mapToGlobal(QPoint())), popup->size()),
        popup->grab().toImage());
    painter.end();
    const QString name = scheme == ColorScheme::dark ? QStringLiteral("settings-combo-dark.png")
                                                     : QStringLiteral("settings-combo-light.png");
    EXPECT_TRUE(shot.save(testing::testOutputPath(name)));
    popup->close();
  }
}

TEST(SettingsRenderTest, SectionsInTheirStates) {
  ContactSheet sheet;
  ReaderModelFixture fx;
  fx.screens() = SimulatedScreenSource::fromJson(R"({"screens": [
      {"name": "eDP-1", "label": "Acme Panel 14", "displayId": 11, "frame": [0, 0, 1512, 982]},
      {"name": "HDMI-A-1", "displayId": 22, "frame": [1512, 0, 1920, 1080]},
      {"name": "DP-2", "label": "Contoso View 27", "displayId": 33, "frame": [3432, 0, 2560, 1440]}],
      "mainIndex": 0})");
  fx.signIn(topicsChosen(ReaderModelFixture::readerPreferences()));
  // An update feed with a backend that can check: the update row's enabled look.
  fx.addConfiguration(
      {{UpdateConfiguration::feedKey, QStringLiteral("https://updates.example/feed.xml")},
       {UpdateConfiguration::publicKeyKey, QString::fromLatin1(QByteArray(32, 'k').toBase64())}});
  int checks = 0;
  fx.makeUpdaterBackend = [&] { return std::make_unique<FakeUpdaterBackend>(checks); };
  ReaderModel& model = fx.open();
  SettingsView view(model);
  SettingsController& controller = view.controller();
  // The sections are drawn at the width the page gives them.
  const int sectionWidth = 560;
  const int pageWidth = sectionWidth + 48;
  view.resize(pageWidth, view.heightForWidth(pageWidth));
  view.layout()->activate();
  QWidget& delivery = section(view, QStringLiteral("When drops arrive"));
  sheet.add(QStringLiteral("quiet hours off"), delivery, sectionWidth);
  controller.setQuiet(true);
  controller.setEnd(1440);
  sheet.add(QStringLiteral("quiet hours on, Until at 24:00 (minute picker disabled)"), delivery,
            sectionWidth);

  sheet.add(QStringLiteral("curiosity: topic toggles, three chosen"),
            section(view, QStringLiteral("Follow your curiosity")), sectionWidth);

  QWidget& reading = section(view, QStringLiteral("Reading"));
  controller.setTextScale(1.2);
  sheet.add(QStringLiteral("reading at Largest"), reading, sectionWidth);

  QComboBox& picker = *view.thisComputer()->displayPicker();
  picker.setCurrentIndex(2);
  sheet.add(QStringLiteral("this computer, a screen chosen, an updater that can check"), *view.thisComputer(),
            sectionWidth);
  // The list lays its entries out when it first pops up.
  picker.showPopup();
  picker.hidePopup();
  sheet.add(QStringLiteral("the display picker's entries"), *picker.view(), 280);
  sheet.write(QStringLiteral("settings-sections.png"));
}

TEST(SettingsRenderTest, SaveBarInEachState) {
  ContactSheet sheet;
  ReaderModelFixture fx;
  fx.signIn();
  ReaderModel& model = fx.open();
  SettingsView view(model);
  SettingsController& controller = view.controller();
  SettingsSaveBar& bar = *view.saveBar();
  view.resize(768, view.heightForWidth(768));
  view.layout()->activate();
  ReadingService& service = fx.harness().service();
  using Bar = SettingsController::SaveBarState;

  EXPECT_EQ(controller.saveBarState(), Bar::idle);
  sheet.add(QStringLiteral("idle"), bar, 720);
  service.addFault("PUT", preferencesPath, {.hold = true});
  controller.save();
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 1; }));
  EXPECT_EQ(controller.saveBarState(), Bar::saving);
  sheet.add(QStringLiteral("saving"), bar, 720);
  service.clearFaults();
  service.releaseHeld();
  ASSERT_TRUE(waitUntil([&] { return controller.saveBarState() == Bar::saved; }));
  sheet.add(QStringLiteral("saved"), bar, 720);
  controller.setEnd(controller.times().start);
  controller.save();
  EXPECT_EQ(controller.saveBarState(), Bar::failed);
  sheet.add(QStringLiteral("failed"), bar, 720);

  controller.setEnd(1080);
  service.accounts().setPreferences(AccountFixtures::userID, ReaderModelFixture::readerPreferences());
  controller.save();
  ASSERT_TRUE(waitUntil([&] { return controller.saveBarState() == Bar::conflict; }));
  sheet.add(QStringLiteral("conflict"), bar, 720);
  service.addFault("GET", QStringLiteral("/api/reader/me"), {.hold = true});
  controller.reload();
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 1; }));
  EXPECT_EQ(controller.saveBarState(), Bar::reloading);
  sheet.add(QStringLiteral("reloading"), bar, 720);
  service.clearFaults();
  service.releaseHeld();
  ASSERT_TRUE(waitUntil([&] { return !controller.saving(); }));

  // The account takes the change, this computer's settings file does not: the message names
  // the file, however long its path.
  ASSERT_TRUE(QFile::remove(fx.accountSettingsFile()) && QDir().mkpath(fx.accountSettingsFile()));
  controller.setEnd(1020);
  controller.save();
  ASSERT_TRUE(waitUntil([&] { return controller.saveBarState() == Bar::failed; }));
  EXPECT_TRUE(controller.error().value_or(QString()).contains(fx.accountSettingsFile()));
  sheet.add(QStringLiteral("this computer's settings file refused"), bar, 720);
  sheet.write(QStringLiteral("settings-save-bar.png"));
}

} // namespace
} // namespace brindlewick
