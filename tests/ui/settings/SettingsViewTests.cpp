#include "AccountFixtures.h"
#include "AsyncProbe.h"
#include "model/FakeUpdaterBackend.h"
#include "model/ReaderModelFixture.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropTextBlock.h"
#include "ui/library/TopicLabel.h"
#include "ui/settings/ReadingTimeRange.h"
#include "ui/settings/SettingsController.h"
#include "ui/settings/SettingsSaveBar.h"
#include "ui/settings/SettingsView.h"
#include "ui/settings/TopicGrid.h"
#include "ui/settings/TopicToggle.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <QCoroSignal>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

using Bar = SettingsController::SaveBarState;

const QString preferencesPath = QStringLiteral("/api/reader/preferences");

template <typename T> T& child(const QWidget& root, const QString& name) {
  T* found = root.findChild<T*>(name);
  if (found == nullptr)
    throw std::runtime_error("no child " + name.toStdString());
  return *found;
}

ScreenDescription screen(const QString& name, std::optional<quint32> number, const QString& label) {
  return {name, number,
          ScreenGeometry(Rect{0, 0, 1920, 1080}, Rect{0, 0, 1920, 1055}, 0, Rect{}, Rect{}, false), label};
}

class SettingsViewTest : public ::testing::Test {
protected:
  ReaderModel& openSignedIn() { return fx.signIn(), fx.open(); }
  // Ctrl+S as the reader types it, in the page's active window.
  static void pressSave(SettingsView& view) {
    view.show();
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    QTest::keyClick(&view, Qt::Key_S, Qt::ControlModifier);
  }
  int puts() {
    int count = 0;
    for (const LoggedRequest& request : fx.harness().service().requestLog())
      count += request.method == "PUT" && request.path == preferencesPath;
    return count;
  }

  ReaderModelFixture fx;
};

TEST(ReadingTimeRangeTest, HourAndMinuteWritesKeepTheOtherPart) {
  struct Case {
    qint64 minutes;
    int hour;   // -1: a minute is chosen instead
    int minute; // -1: an hour is chosen
    qint64 written;
  };
  const Case cases[] = {{600, 24, -1, 1440}, {1440, 7, -1, 420}, {585, 13, -1, 825}, {825, -1, 5, 785}};
  for (const Case& c : cases) {
    const qint64 written = c.hour >= 0 ? ReadingTimeRange::withHour(c.minutes, c.hour)
                                       : ReadingTimeRange::withMinute(c.minutes, c.minute);
    EXPECT_EQ(written, c.written) << c.minutes;
  }
}

TEST_F(SettingsViewTest, UntilAtTheEndOfTheDayDisablesItsMinutesAndFillingNeverWrites) {
  ReaderModel& model = openSignedIn();
  SettingsView view(model);
  auto& range = child<ReadingTimeRange>(view, QStringLiteral("layout.settings.Working hours"));
  EXPECT_EQ(range.startHour()->count(), 24);
  EXPECT_EQ(range.endHour()->count(), 25);
  range.endHour()->setCurrentIndex(24); // as the reader's choice does
  EXPECT_EQ(view.controller().times().end, 1440);
  EXPECT_FALSE(range.endMinute()->isEnabled());
  EXPECT_EQ(range.endMinute()->currentIndex(), 0);
  range.endHour()->setCurrentIndex(7);
  EXPECT_EQ(view.controller().times().end, 420);
  EXPECT_TRUE(range.endMinute()->isEnabled());

  // A refill from the store's side leaves the controller's fields alone.
  const SettingsTimes before = view.controller().times();
  range.setMinutes(100, 200);
  EXPECT_EQ(view.controller().times(), before);
}

TEST_F(SettingsViewTest, ConflictWaitsForReloadWhichTakesTheAccountsSettings) {
  ReaderModel& model = openSignedIn();
  SettingsView view(model);
  ReaderPreferences elsewhere = ReaderModelFixture::readerPreferences();
  elsewhere.schedule.setInterval(ScheduleSettings::Interval::everySixHours);
  fx.harness().service().accounts().setPreferences(AccountFixtures::userID, elsewhere);

  view.saveBar()->saveButton()->click();
  ASSERT_TRUE(waitUntil([&] { return !view.controller().saving(); }));
  EXPECT_EQ(view.controller().saveBarState(), Bar::conflict);
  EXPECT_TRUE(view.saveBar()->reloadButton()->isVisibleTo(&view));
  const int sent = puts();
  view.saveBar()->saveButton()->click();
  pressSave(view);
  EXPECT_FALSE(view.controller().saving());
  EXPECT_EQ(puts(), sent);

  view.saveBar()->reloadButton()->click();
  ASSERT_TRUE(waitUntil([&] { return !view.controller().saving(); }));
  EXPECT_EQ(view.controller().saveBarState(), Bar::idle);
  EXPECT_EQ(view.controller().draft(), model.preferences().value());
  EXPECT_EQ(view.controller().draft().schedule.interval(), ScheduleSettings::Interval::everySixHours);
}

TEST_F(SettingsViewTest, UnchangedSavesSendTwiceAndCtrlSSaves) {
  ReaderModel& model = openSignedIn();
  SettingsView view(model);
  view.saveBar()->saveButton()->click();
  ASSERT_TRUE(waitUntil([&] { return view.controller().saved(); }));
  pressSave(view);
  ASSERT_TRUE(waitUntil([&] { return puts() == 2 && !view.controller().saving(); }));
  EXPECT_EQ(view.saveBar()->message(), SettingsSaveBar::savedText);
}

TEST_F(SettingsViewTest, TheTextSizesAreHeardAsChoicesAndTheirActionChoosesOne) {
  ReaderModel& model = openSignedIn();
  SettingsView view(model);
  view.show();
  const QStringList sizes{"Standard", "Larger", "Largest"};
  for (const QString& size : sizes) {
    QAccessibleInterface* choice = QAccessible::queryAccessibleInterface(
        &child<QWidget>(view, QStringLiteral("settings.textScale.") + size));
    EXPECT_EQ(choice->role(), QAccessible::RadioButton);
    choice->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QTest::qWait(1);
    for (const QString& other : sizes)
      EXPECT_EQ(QAccessible::queryAccessibleInterface(
                    &child<QWidget>(view, QStringLiteral("settings.textScale.") + other))
                    ->state()
                    .checked,
                other == size)
          << size.toStdString() << " " << other.toStdString();
  }
}

TEST_F(SettingsViewTest, APageClosedWhileSavingDropsTheResultAndTheModelKeepsIt) {
  ReaderModel& model = openSignedIn();
  auto view = std::make_unique<SettingsView>(model);
  view->controller().setStart(600);
  fx.harness().service().addFault("PUT", preferencesPath, {.hold = true});
  view->saveBar()->saveButton()->click();
  ASSERT_TRUE(waitUntil([&] { return fx.harness().service().heldReplies() == 1; }));
  view.reset();
  fx.harness().service().releaseHeld();
  ASSERT_TRUE(
      waitUntil([&] { return model.preferences().value().schedule.workingHours().startMinute() == 600; }));
}

TEST_F(SettingsViewTest, SignedOutThereIsNoDeliveryAndSaveIsRefused) {
  ReaderModel& model = fx.open();
  SettingsView view(model);
  EXPECT_EQ(view.findChildren<SettingsSection*>(QStringLiteral("layout.settings.card")).size(), 4);
  EXPECT_FALSE(child<QComboBox>(view, QStringLiteral("settings.interval")).isVisibleTo(&view));
  EXPECT_FALSE(view.saveBar()->saveButton()->isEnabled());
  pressSave(view);
  EXPECT_FALSE(view.controller().saving());
  EXPECT_EQ(puts(), 0);
}

TEST_F(SettingsViewTest, TopicGridFitsColumnsOfAtLeast170AndCardEdgesReachTheirControls) {
  ReaderModel& model = openSignedIn();
  SettingsView view(model);
  view.controller().setDraft([&] {
    ReaderPreferences draft = view.controller().draft();
    draft.surpriseMe = false;
    return draft;
  }());
  for (const auto& [width, columns] : {std::pair{900, 4}, std::pair{560, 2}}) {
    view.resize(width, view.heightForWidth(width) > 0 ? view.heightForWidth(width) : 2000);
    view.show();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_EQ(view.topicGrid()->columnCount(), columns) << width;
    EXPECT_GE(view.topicGrid()->width() / columns, TopicGrid::minimumColumnWidth);
  }
  // The card paints its border itself: the control at its content edge takes the click.
  QCheckBox& quiet = child<QCheckBox>(view, QStringLiteral("settings.quiet"));
  auto* card = qobject_cast<QWidget*>(quiet.parent());
  const QPoint edge = quiet.mapTo(card, QPoint(0, quiet.height() / 2));
  EXPECT_EQ(card->childAt(edge), &quiet);
  QTest::mouseClick(&quiet, Qt::LeftButton, {}, QPoint(1, quiet.height() / 2));
  EXPECT_TRUE(view.controller().times().quiet);
}

TEST_F(SettingsViewTest, DisplayPickerListsNumberedScreensAndKeepsAnAbsentChoice) {
  fx.screens() = SimulatedScreenSource({screen(QStringLiteral("eDP-1"), 11, QStringLiteral("Acme Panel")),
                                        screen(QStringLiteral("HDMI-A-1"), std::nullopt, {}),
                                        screen(QStringLiteral("DP-2"), 33, {})},
                                       0);
  ReaderPreferences stored = ReaderModelFixture::readerPreferences();
  stored.preferredDisplayID = 99;
  fx.signIn(stored);
  ReaderModel& model = fx.open();
  ReaderPreferences local = model.preferences().value();
  local.preferredDisplayID = 99;
  model.preferences().save(local);
  SettingsView view(model);
  QComboBox& picker = *view.thisComputer()->displayPicker();
  ASSERT_EQ(picker.count(), 3);
  EXPECT_EQ(picker.itemText(1), QStringLiteral("Acme Panel"));
  EXPECT_EQ(picker.itemText(2), QStringLiteral("DP-2"));
  EXPECT_EQ(picker.currentIndex(), -1);
  fx.desktop().events.screensChanged();
  EXPECT_EQ(picker.currentIndex(), -1);
  EXPECT_EQ(view.controller().draft().preferredDisplayID, 99u);

  picker.activated(2);
  EXPECT_EQ(view.controller().draft().preferredDisplayID, 33u);
  EXPECT_EQ(model.preferences().value().preferredDisplayID, 99u) << "stored only by a save";
}

// Unregistering answers when the test opens the gate.
class GatedLoginItems final : public QObject, public LoginItemService {
  Q_OBJECT

public:
  LoginItemStatus status() const override {
    return registered ? LoginItemStatus::enabled : LoginItemStatus::notRegistered;
  }
  std::optional<QString> registerItem() override {
    registered = true;
    return std::nullopt;
  }
  QCoro::Task<std::optional<QString>> unregisterItem() override {
    co_await qCoro(this, &GatedLoginItems::opened);
    registered = false;
    co_return std::nullopt;
  }

  bool registered = true;

Q_SIGNALS:
  void opened();
};

TEST_F(SettingsViewTest, LaunchAtLoginWritesAutostartAndWaitsDisabled) {
  ReaderModel& model = openSignedIn();
  {
    SettingsView view(model);
    QCheckBox& launch = *view.thisComputer()->launchAtLogin();
    EXPECT_FALSE(launch.isChecked());
    launch.click();
    ASSERT_TRUE(waitUntil([&] { return launch.isEnabled(); }));
    EXPECT_TRUE(launch.isChecked());
    EXPECT_TRUE(QFileInfo::exists(fx.path(QStringLiteral("autostart/") + XdgAutostartService::entryName)));
  }

  auto gated = std::make_shared<GatedLoginItems>();
  LoginItemController loginItem(gated);
  ThisComputerSection::Services services = ThisComputerSection::Services::of(model);
  SettingsView view(model,
                    ThisComputerSection::Services{services.screens, services.events, loginItem,
                                                  services.sound, services.defaults, services.updater});
  QCheckBox& launch = *view.thisComputer()->launchAtLogin();
  ASSERT_TRUE(launch.isChecked());
  launch.click();
  EXPECT_FALSE(launch.isEnabled());
  QTest::mouseClick(&launch, Qt::LeftButton);
  Q_EMIT gated->opened();
  ASSERT_TRUE(waitUntil([&] { return launch.isEnabled(); }));
  EXPECT_FALSE(launch.isChecked());
  EXPECT_FALSE(gated->registered);
}

TEST_F(SettingsViewTest, PreviewPlaysAtItsVolumeUnlessMutedAndTheSwitchIsWrittenAtOnce) {
  ReaderModel& model = openSignedIn();
  struct Case {
    QStringList arguments;
    bool chimeOn;
    int plays;
  };
  for (const Case& c :
       {Case{{}, true, 1}, Case{{}, false, 1}, Case{{QStringLiteral("--smoke-test")}, true, 0}}) {
    auto player = std::make_unique<FakeSoundPlayer>();
    FakeSoundPlayer& played = *player;
    DropSound sound(std::move(player), c.arguments, model.applicationDefaults());
    ThisComputerSection::Services services = ThisComputerSection::Services::of(model);
    SettingsView view(model,
                      ThisComputerSection::Services{services.screens, services.events, services.loginItem,
                                                    sound, services.defaults, services.updater});
    QCheckBox& chime = *view.thisComputer()->chime();
    if (chime.isChecked() != c.chimeOn)
      chime.click();
    EXPECT_EQ(model.applicationDefaults().dropSoundEnabled(), c.chimeOn);
    view.thisComputer()->preview()->click();
    EXPECT_EQ(played.plays, c.plays);
    if (c.plays) {
      EXPECT_DOUBLE_EQ(played.lastVolume, DropSound::volume);
    }
  }
}

// One notch of the wheel over the middle of `widget`, delivered as Qt delivers the reader's.
void wheelOver(QWidget* widget, int delta) {
  const QPointF local = QRectF(widget->rect()).center();
  QWheelEvent event(local, widget->mapToGlobal(local), QPoint(), QPoint(0, delta), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(widget, &event);
}

TEST_F(SettingsViewTest, TheWheelOverAPickerScrollsThePageUnlessThePickerHasFocus) {
  ReaderModel& model = openSignedIn();
  QScrollArea workspace;
  workspace.setWidgetResizable(true);
  auto* view = new SettingsView(model);
  workspace.setWidget(view);
  workspace.resize(900, 320);
  workspace.show();
  workspace.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&workspace));
  QScrollBar& scroll = *workspace.verticalScrollBar();
  ASSERT_GT(scroll.maximum(), 0);

  const QList<QComboBox*> pickers = view->findChildren<QComboBox*>();
  ASSERT_GE(pickers.size(), 10) << "interval, display and four time pickers for each range";
  const ReaderPreferences stored = model.preferences().value();
  for (QComboBox* picker : pickers) {
    SCOPED_TRACE(picker->objectName().toStdString());
    const ReaderPreferences draft = view->controller().draft();
    const int index = picker->currentIndex();
    for (const int delta : {-120, 120}) {
      scroll.setValue(scroll.maximum() / 2);
      const int before = scroll.value();
      wheelOver(picker, delta);
      EXPECT_EQ(scroll.value() > before, delta < 0) << "the page scrolls with the wheel";
      EXPECT_NE(scroll.value(), before);
    }
    EXPECT_EQ(picker->currentIndex(), index);
    EXPECT_EQ(view->controller().draft(), draft);
  }
  EXPECT_EQ(model.preferences().value(), stored) << "nothing applied at once either";

  // Once chosen with the keyboard, the picker takes the wheel and the page stays.
  QComboBox& interval = child<QComboBox>(*view, QStringLiteral("settings.interval"));
  interval.setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(interval.hasFocus());
  const int index = interval.currentIndex();
  const int before = scroll.value();
  wheelOver(&interval, index > 0 ? 120 : -120);
  EXPECT_NE(interval.currentIndex(), index);
  EXPECT_EQ(scroll.value(), before);
  EXPECT_NE(view->controller().draft(), model.preferences().value());
}

// Each topic is a toggle labelled with its chip; a click anywhere on the cell, the chip
// included, writes the draft (and only the draft), and the space bar does the same.
TEST_F(SettingsViewTest, TopicTogglesAreLabelledByTheirChipAndWriteTheDraft) {
  ReaderPreferences preferences = ReaderModelFixture::readerPreferences();
  preferences.surpriseMe = false;
  preferences.topics = {QStringLiteral("science"), QStringLiteral("history")};
  fx.signIn(preferences);
  ReaderModel& model = fx.open();
  SettingsView view(model);
  view.resize(760, 2000);
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

  const QList<TopicToggle*> toggles = view.topicGrid()->findChildren<TopicToggle*>();
  ASSERT_EQ(toggles.size(), qsizetype(allCases<Category>().size()));
  for (qsizetype index = 0; index < toggles.size(); ++index) {
    EXPECT_EQ(toggles[index]->category(), allCases<Category>()[std::size_t(index)]);
    EXPECT_EQ(toggles[index]->label()->nameLabel()->text(), TopicLabel::name(toggles[index]->category()));
    EXPECT_EQ(toggles[index]->isChecked(), preferences.topics.contains(rawValue(toggles[index]->category())));
  }
  const auto toggle = [&](Category category) {
    return view.topicGrid()->findChild<TopicToggle*>(QStringLiteral("settings.topic.") + rawValue(category));
  };
  struct Case {
    const char* how;
    Category category;
    QStringList topics;
  };
  const Case cases[] = {
      {"click on the chip's name", Category::science, {QStringLiteral("history")}},
      {"click on the box", Category::psychology, {QStringLiteral("history"), QStringLiteral("psychology")}},
      {"space bar", Category::history, {QStringLiteral("psychology")}},
      {"click on the chip's name", Category::psychology, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    TopicToggle& cell = *toggle(c.category);
    if (QString::fromLatin1(c.how) == QLatin1String("space bar")) {
      cell.setFocus(Qt::TabFocusReason);
      QTest::keyClick(&cell, Qt::Key_Space);
    } else if (QString::fromLatin1(c.how).contains(QLatin1String("chip"))) {
      const QWidget& name = *cell.label()->nameLabel();
      QTest::mouseClick(&cell, Qt::LeftButton, {}, name.mapTo(&cell, name.rect().center()));
    } else {
      QTest::mouseClick(&cell, Qt::LeftButton, {}, QPoint(4, cell.height() / 2));
    }
    QStringList topics(view.controller().draft().topics.begin(), view.controller().draft().topics.end());
    topics.sort();
    QStringList expected = c.topics;
    expected.sort();
    EXPECT_EQ(topics, expected);
    EXPECT_EQ(cell.isChecked(), c.topics.contains(rawValue(c.category)));
  }
  // Only the draft: the stored preferences wait for a save.
  EXPECT_EQ(model.preferences().value().topics, preferences.topics);
}

// The update row as the configuration and the backend leave it, and a click on the button as
// the reader makes it.
TEST_F(SettingsViewTest, UpdateRowShowsTheUpdatersLineAndChecksOnlyWhenItCan) {
  const QJsonObject valid{
      {UpdateConfiguration::feedKey, QStringLiteral("https://updates.example/feed.xml")},
      {UpdateConfiguration::publicKeyKey, QString::fromLatin1(QByteArray(32, 'k').toBase64())}};
  QJsonObject shortKey = valid;
  shortKey.insert(UpdateConfiguration::publicKeyKey, QString::fromLatin1(QByteArray(31, 'k').toBase64()));
  struct Case {
    const char* name;
    QJsonObject entries;
    std::optional<bool> backendCanCheck; // none: no backend
    QString status;
    bool enabled;
  };
  const Case cases[] = {
      {"no update entries", {}, true, UpdateController::notConfiguredMessage, false},
      {"valid, no backend", valid, std::nullopt, UpdateController::notConfiguredMessage, false},
      {"valid, backend busy", valid, false, UpdateController::enabledMessage, false},
      {"valid, backend ready", valid, true, UpdateController::enabledMessage, true},
      {"short key", shortKey, true,
       UpdateController::disabledPrefix + UpdateConfigurationError().description(), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReaderModelFixture fixture;
    fixture.addConfiguration(c.entries);
    int checks = 0;
    if (c.backendCanCheck)
      fixture.makeUpdaterBackend = [&] {
        return std::make_unique<FakeUpdaterBackend>(checks, *c.backendCanCheck);
      };
    SettingsView view(fixture.open());
    view.resize(760, 2000);
    view.show();
    const ThisComputerSection& computer = *view.thisComputer();
    EXPECT_EQ(computer.updateStatus()->text(), c.status);
    EXPECT_EQ(computer.checkForUpdates()->isEnabled(), c.enabled);
    QTest::mouseClick(computer.checkForUpdates(), Qt::LeftButton);
    EXPECT_EQ(checks, c.enabled ? 1 : 0);
  }
}

TEST_F(SettingsViewTest, UpdateButtonFollowsTheBackendAndIsOffWithoutAnUpdater) {
  fx.addConfiguration(
      {{UpdateConfiguration::feedKey, QStringLiteral("https://updates.example/feed.xml")},
       {UpdateConfiguration::publicKeyKey, QString::fromLatin1(QByteArray(32, 'k').toBase64())}});
  int checks = 0;
  FakeUpdaterBackend* backend = nullptr;
  fx.makeUpdaterBackend = [&] {
    auto made = std::make_unique<FakeUpdaterBackend>(checks, false);
    backend = made.get();
    return made;
  };
  ReaderModel& model = fx.open();
  {
    SettingsView view(model);
    DropButton& check = *view.thisComputer()->checkForUpdates();
    EXPECT_FALSE(check.isEnabled());
    backend->setCanCheck(true);
    EXPECT_TRUE(check.isEnabled());
    check.click();
    EXPECT_EQ(checks, 1);
  }
  // A page given no updater: an empty line and a button that does nothing.
  ThisComputerSection::Services services = ThisComputerSection::Services::of(model);
  services.updater = nullptr;
  SettingsView view(model, services);
  EXPECT_TRUE(view.thisComputer()->updateStatus()->text().isEmpty());
  EXPECT_FALSE(view.thisComputer()->checkForUpdates()->isEnabled());
  view.thisComputer()->checkForUpdates()->click();
  EXPECT_EQ(checks, 1);
}

} // namespace
} // namespace brindlewick

#include "SettingsViewTests.moc"
