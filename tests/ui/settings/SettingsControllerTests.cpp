#include "account/AccountContracts.h"
#include "content/ContentRepository.h"
#include "ui/settings/SettingsController.h"

#include <QList>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace brindlewick {
namespace {

using Bar = SettingsController::SaveBarState;

const QString invalidText =
    ScheduleValidationError(ScheduleValidationError::Case::invalidInterval).errorDescription();
const QString coveredText =
    ScheduleValidationError(ScheduleValidationError::Case::noEligibleTime).errorDescription();
const QString topicsText = ContentError(ContentError::Case::emptySelection).message();

ReaderPreferences stored() {
  ReaderPreferences preferences;
  preferences.topics = {QStringLiteral("science"), QStringLiteral("history")};
  preferences.surpriseMe = false;
  preferences.onboardingComplete = true;
  return preferences;
}

// Answers at once as the test scripts it, and records what it was sent. A save succeeds by
// raising the version, as the account does.
class ScriptedBackend final : public SettingsBackend {
public:
  const ReaderPreferences& storedPreferences() const override { return value; }
  qint64 preferenceVersion() const override { return version; }
  bool isSignedIn() const override { return signedIn; }

  QCoro::Task<> save(ReaderPreferences preferences, std::optional<qint64> expected) override {
    sent.append({preferences, expected});
    if (saveFailure)
      saveFailure(*this);
    ++version;
    co_return;
  }
  QCoro::Task<> refresh() override {
    if (refreshFails)
      throw AccountError::http(503);
    co_return;
  }
  QCoro::Task<> apply() override {
    ++applies;
    store(account, accountVersion);
    co_return;
  }

  void store(const ReaderPreferences& preferences, qint64 newVersion) {
    version = newVersion;
    value = preferences;
    Q_EMIT storedPreferencesChanged();
  }

  ReaderPreferences value = stored();
  qint64 version = 7;
  bool signedIn = true;
  std::function<void(ScriptedBackend&)> saveFailure;
  bool refreshFails = false;
  ReaderPreferences account = stored();
  qint64 accountVersion = 9;
  QList<std::pair<ReaderPreferences, std::optional<qint64>>> sent;
  int applies = 0;
};

// A page over its own scripted backend.
struct Page {
  ScriptedBackend* backend = new ScriptedBackend;
  std::unique_ptr<SettingsController> controller =
      std::make_unique<SettingsController>(std::unique_ptr<ScriptedBackend>(backend));
};

class SettingsControllerTest : public ::testing::Test, protected Page {};

TEST(SettingsRulesTest, TextSizeSelectsTheNearestOptionAndTheSmallerOnATie) {
  const std::pair<double, double> cases[] = {{1.04, 1.0}, {1.05, 1.0}, {1.06, 1.1}, {1.15, 1.1}, {1.2, 1.2}};
  for (const auto& [storedScale, shown] : cases)
    EXPECT_DOUBLE_EQ(SettingsController::textSizeSelection(storedScale), shown) << storedScale;
}

TEST_F(SettingsControllerTest, ValidationFailsInOrderWithoutSendingOrTouchingSaving) {
  struct Case {
    const char* name;
    SettingsTimes times;
    bool surpriseMe;
    bool topics;
    std::optional<QString> failure; // none: sent
  };
  const Case cases[] = {
      {"09:00 to 09:00", {540, 540, false, 1080, 540}, false, true, invalidText},
      {"start 24:00", {1440, 600, false, 1080, 540}, false, true, invalidText},
      {"end 24:00", {540, 1440, false, 1080, 540}, false, true, std::nullopt},
      {"equal quiet minutes, quiet off", {540, 1080, false, 600, 600}, false, true, std::nullopt},
      {"equal quiet minutes, quiet on", {540, 1080, true, 600, 600}, false, true, invalidText},
      {"bad hours before no topics", {540, 540, false, 1080, 540}, false, false, invalidText},
      {"quiet covers working hours", {540, 1080, true, 480, 1140}, false, true, coveredText},
      {"no topics, surprise off", {540, 1080, false, 1080, 540}, false, false, topicsText},
      {"no topics, surprise on", {540, 1080, false, 1080, 540}, true, false, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Page fresh;
    SettingsController& page = *fresh.controller;
    ReaderPreferences draft = page.draft();
    draft.surpriseMe = c.surpriseMe;
    if (!c.topics)
      draft.topics.clear();
    page.setDraft(draft);
    page.setTimes(c.times);
    page.save();
    EXPECT_FALSE(page.saving());
    EXPECT_EQ(page.error(), c.failure);
    EXPECT_EQ(fresh.backend->sent.size(), c.failure ? 0 : 1);
    if (!c.failure) {
      const ScheduleSettings& schedule = fresh.backend->sent.front().first.schedule;
      EXPECT_EQ(schedule.workingHours(), ScheduleInterval(c.times.start, c.times.end));
      EXPECT_EQ(schedule.quietHours().has_value(), c.times.quiet);
    }
  }
}

TEST_F(SettingsControllerTest, SaveOutcomesSetTheBarAndTheBaseline) {
  struct Case {
    const char* name;
    std::function<void(ScriptedBackend&)> failure;
    Bar bar;
    std::optional<QString> error;
    qint64 baseline;
  };
  const Case cases[] = {
      {"success", nullptr, Bar::saved, std::nullopt, 8},
      {"conflict", [](ScriptedBackend&) { throw AccountError::preferenceConflict(); }, Bar::conflict,
       SettingsController::conflictMessage, 7},
      {"service error", [](ScriptedBackend&) { throw AccountError::http(500); }, Bar::failed,
       QString::fromUtf8(AccountError::http(500).what()), 7},
      // The account accepted it and only this computer's store refused: the baseline moves on.
      {"this computer's store",
       [](ScriptedBackend& account) {
         account.version = 8;
         throw PreferencesError(PreferencesError::Case::notSaved);
       },
       Bar::failed, PreferencesError(PreferencesError::Case::notSaved).errorDescription(), 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Page fresh;
    SettingsController& page = *fresh.controller;
    fresh.backend->saveFailure = c.failure;
    page.setQuiet(true);
    page.save();
    EXPECT_EQ(fresh.backend->sent.front().second, 7);
    EXPECT_EQ(page.saveBarState(), c.bar);
    EXPECT_EQ(page.error(), c.error);
    EXPECT_EQ(page.baselineVersion(), c.baseline);
    EXPECT_TRUE(page.draft().schedule.quietHours().has_value()) << "the edits stay";
    EXPECT_EQ(page.canSave(), c.bar != Bar::conflict);
  }
}

TEST_F(SettingsControllerTest, ConflictRefusesSaveUntilReloadSucceeds) {
  backend->saveFailure = [](ScriptedBackend&) { throw AccountError::preferenceConflict(); };
  controller->setStart(600);
  controller->save();
  controller->save();
  EXPECT_EQ(backend->sent.size(), 1);

  backend->refreshFails = true;
  controller->reload();
  EXPECT_EQ(controller->saveBarState(), Bar::conflict);
  EXPECT_EQ(controller->error(), QString::fromUtf8(AccountError::http(503).what()));
  EXPECT_EQ(backend->applies, 0) << "nothing is applied after a failed refresh";
  EXPECT_EQ(controller->times().start, 600) << "the edits stay";

  backend->refreshFails = false;
  backend->account.schedule.setInterval(ScheduleSettings::Interval::hourly);
  controller->reload();
  EXPECT_EQ(controller->saveBarState(), Bar::idle);
  EXPECT_EQ(controller->draft(), backend->account);
  EXPECT_EQ(controller->times(), SettingsTimes::of(backend->account));
  EXPECT_EQ(controller->baselineVersion(), 9);
  EXPECT_FALSE(controller->error());
  EXPECT_TRUE(controller->canSave());
}

TEST_F(SettingsControllerTest, StoreChangesAreFollowedOnlyByACleanPage) {
  struct Case {
    const char* name;
    std::function<void(SettingsController&)> edit;
    std::function<void(ReaderPreferences&)> sync;
    bool follows;
  };
  const auto newHours = [](ReaderPreferences& p) {
    p.schedule = ScheduleSettings(p.schedule.interval(), ScheduleInterval(600, 1000), std::nullopt,
                                  p.schedule.paused());
  };
  const Case cases[] = {
      {"clean page, new hours", [](SettingsController&) {}, newHours, true},
      {"clean page, paused with more", [](SettingsController&) {},
       [&](ReaderPreferences& p) {
         newHours(p);
         p.schedule.setPaused(true);
       },
       true},
      {"edited draft, new hours", [](SettingsController& c) { c.setTopic(Category::design, true); }, newHours,
       false},
      {"edited hours, new pause and onboarding", [](SettingsController& c) { c.setEnd(1200); },
       [](ReaderPreferences& p) {
         p.schedule.setPaused(true);
         p.onboardingComplete = false;
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Page fresh;
    SettingsController& page = *fresh.controller;
    c.edit(page);
    const ReaderPreferences draftBefore = page.draft();
    const SettingsTimes timesBefore = page.times();
    ReaderPreferences next = fresh.backend->value;
    c.sync(next);
    fresh.backend->store(next, 12);
    if (c.follows) {
      EXPECT_EQ(page.draft(), next);
      EXPECT_EQ(page.times(), SettingsTimes::of(next));
      EXPECT_EQ(page.baselineVersion(), 12);
    } else {
      EXPECT_EQ(page.times(), timesBefore);
      EXPECT_EQ(page.draft().topics, draftBefore.topics);
      EXPECT_EQ(page.draft().schedule.workingHours(), draftBefore.schedule.workingHours());
      EXPECT_EQ(page.draft().schedule.paused(), next.schedule.paused());
      EXPECT_EQ(page.draft().onboardingComplete, next.onboardingComplete);
      EXPECT_EQ(page.baselineVersion(), 7);
    }
  }
}

TEST_F(SettingsControllerTest, FollowedHoursAndEditsClearSavedButEditingBackToStoredDoesNot) {
  controller->save();
  ASSERT_TRUE(controller->saved());
  ReaderPreferences next = backend->value;
  next.schedule = ScheduleSettings(next.schedule.interval(), ScheduleInterval(600, 900), std::nullopt, false);
  backend->store(next, 10);
  EXPECT_FALSE(controller->saved()) << "a followed change of hours";

  controller->save();
  ASSERT_TRUE(controller->saved());
  controller->setTopic(Category::design, true);
  controller->setTopic(Category::design, false);
  EXPECT_FALSE(controller->saved()) << "edit and edit back";

  controller->save();
  controller->setTopic(Category::science, true); // already chosen: no change at all
  EXPECT_TRUE(controller->saved());
}

} // namespace
} // namespace brindlewick
