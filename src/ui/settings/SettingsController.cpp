#include "ui/settings/SettingsController.h"

#include "account/AccountContracts.h"
#include "account/SyncService.h"
#include "content/ContentRepository.h"

#include <QPointer>

#include <cmath>

namespace brindlewick {

SettingsTimes SettingsTimes::of(const ReaderPreferences& preferences) {
  const ScheduleSettings& schedule = preferences.schedule;
  const std::optional<ScheduleInterval>& quiet = schedule.quietHours();
  return SettingsTimes{
      .start = schedule.workingHours().startMinute(),
      .end = schedule.workingHours().endMinute(),
      .quiet = quiet.has_value(),
      .quietStart = quiet ? quiet->startMinute() : defaultQuietStart,
      .quietEnd = quiet ? quiet->endMinute() : defaultQuietEnd,
  };
}

ScheduleSettings SettingsTimes::schedule(ScheduleSettings::Interval interval, bool paused) const {
  const ScheduleInterval working(start, end);
  std::optional<ScheduleInterval> quietHours;
  if (quiet)
    quietHours = ScheduleInterval(quietStart, quietEnd);
  return ScheduleSettings(interval, working, quietHours, paused);
}

const std::array<SettingsController::TextSizeOption, 3>& SettingsController::textSizeOptions() {
  static const std::array<TextSizeOption, 3> options{{
      {QStringLiteral("Standard"), 1.0},
      {QStringLiteral("Larger"), 1.1},
      {QStringLiteral("Largest"), 1.2},
  }};
  return options;
}

double SettingsController::textSizeSelection(double storedScale) {
  double chosen = textSizeOptions().front().scale;
  for (const TextSizeOption& option : textSizeOptions()) {
    if (std::abs(option.scale - storedScale) < std::abs(chosen - storedScale))
      chosen = option.scale;
  }
  return chosen;
}

SettingsController::SettingsController(std::unique_ptr<SettingsBackend> backend, QObject* parent)
    : QObject(parent), m_backend(std::move(backend)), m_lastStored(m_backend->storedPreferences()),
      m_draft(m_lastStored), m_times(SettingsTimes::of(m_lastStored)),
      m_baselineVersion(m_backend->preferenceVersion()) {
  connect(m_backend.get(), &SettingsBackend::storedPreferencesChanged, this,
          &SettingsController::storedPreferencesChanged);
  connect(m_backend.get(), &SettingsBackend::signedInChanged, this, &SettingsController::signedInChanged);
}

SettingsController::SaveBarState SettingsController::saveBarState() const {
  if (m_saving)
    return m_needsReload ? SaveBarState::reloading : SaveBarState::saving;
  if (m_needsReload)
    return SaveBarState::conflict;
  if (m_error)
    return SaveBarState::failed;
  return m_saved ? SaveBarState::saved : SaveBarState::idle;
}

// MARK: Edits

void SettingsController::setDraft(const ReaderPreferences& draft) {
  if (draft == m_draft)
    return;
  m_draft = draft;
  // Editing back to what is stored leaves `saved` as it is.
  if (m_draft != m_backend->storedPreferences())
    setSaved(false);
  Q_EMIT draftChanged();
}

void SettingsController::setTimes(const SettingsTimes& times) {
  if (times == m_times)
    return;
  m_times = times;
  setSaved(false);
  Q_EMIT timesChanged();
}

void SettingsController::setStart(qint64 minutes) {
  SettingsTimes times = m_times;
  times.start = minutes;
  setTimes(times);
}

void SettingsController::setEnd(qint64 minutes) {
  SettingsTimes times = m_times;
  times.end = minutes;
  setTimes(times);
}

void SettingsController::setQuiet(bool quiet) {
  SettingsTimes times = m_times;
  times.quiet = quiet;
  setTimes(times);
}

void SettingsController::setQuietStart(qint64 minutes) {
  SettingsTimes times = m_times;
  times.quietStart = minutes;
  setTimes(times);
}

void SettingsController::setQuietEnd(qint64 minutes) {
  SettingsTimes times = m_times;
  times.quietEnd = minutes;
  setTimes(times);
}

bool SettingsController::topic(Category category) const {
  return m_draft.topics.contains(rawValue(category));
}

void SettingsController::setTopic(Category category, bool chosen) {
  ReaderPreferences draft = m_draft;
  if (chosen)
    draft.topics.insert(rawValue(category));
  else
    draft.topics.remove(rawValue(category));
  setDraft(draft);
}

void SettingsController::setTextScale(double scale) {
  ReaderPreferences draft = m_draft;
  draft.textScale = scale;
  setDraft(draft);
}

// MARK: Following the store

// Checked against the old value first: a clean page follows the new value whole (paused and
// onboarding included); only a page with edits takes over just those two flags. The other
// order would leave a clean page behind when a sync changes the pause together with more.
void SettingsController::storedPreferencesChanged() {
  const ReaderPreferences old = m_lastStored;
  const ReaderPreferences current = m_backend->storedPreferences();
  m_lastStored = current;
  if (old == current)
    return;
  if (m_draft == old && m_times == SettingsTimes::of(old)) {
    setDraft(current);
    setTimes(SettingsTimes::of(current));
    setBaselineVersion(m_backend->preferenceVersion());
    return;
  }
  ReaderPreferences draft = m_draft;
  if (old.schedule.paused() != current.schedule.paused())
    draft.schedule.setPaused(current.schedule.paused());
  if (old.onboardingComplete != current.onboardingComplete)
    draft.onboardingComplete = current.onboardingComplete;
  setDraft(draft);
}

// MARK: Save and reload

void SettingsController::save() {
  if (!canSave())
    return;
  try {
    ReaderPreferences draft = m_draft;
    draft.schedule = m_times.schedule(m_draft.schedule.interval(), m_draft.schedule.paused());
    setDraft(draft);
    if (!m_draft.surpriseMe && m_draft.topics.isEmpty())
      throw ContentError(ContentError::Case::emptySelection);
  } catch (const std::exception& failure) {
    setError(QString::fromUtf8(failure.what()));
    setSaved(false);
    return;
  }
  setSaving(true);
  runSave(m_draft, m_baselineVersion);
}

QCoro::Task<> SettingsController::runSave(ReaderPreferences draft, qint64 expectedVersion) {
  const QPointer<SettingsController> self(this);
  std::exception_ptr failure;
  try {
    co_await m_backend->save(std::move(draft), expectedVersion);
  } catch (...) {
    failure = std::current_exception();
  }
  if (!self)
    co_return;
  if (!failure) {
    setBaselineVersion(m_backend->preferenceVersion());
    setError(std::nullopt);
    setSaved(true);
    setSaving(false);
    co_return;
  }
  try {
    std::rethrow_exception(failure);
  } catch (const AccountError& error) {
    if (error.errorCase() == AccountError::Case::preferenceConflict) {
      setError(conflictMessage);
      setNeedsReload(true);
    } else {
      setError(QString::fromUtf8(error.what()));
    }
  } catch (const PreferencesError& error) {
    // The account took the save before this computer's store refused it: the draft now stands
    // at the account's new version, and the next save must expect that one.
    setBaselineVersion(m_backend->preferenceVersion());
    setError(QString::fromUtf8(error.what()));
  } catch (...) {
    setError(failureDescription(failure));
  }
  setSaved(false);
  setSaving(false);
}

void SettingsController::reload() {
  if (m_saving)
    return;
  setSaving(true);
  runReload();
}

QCoro::Task<> SettingsController::runReload() {
  const QPointer<SettingsController> self(this);
  try {
    co_await m_backend->refresh();
    if (!self)
      co_return;
    co_await m_backend->apply();
  } catch (...) {
    if (self) {
      setError(failureDescription(std::current_exception()));
      setSaving(false);
    }
    co_return;
  }
  if (!self)
    co_return;
  resetTo(m_backend->storedPreferences());
}

void SettingsController::resetTo(const ReaderPreferences& preferences) {
  m_lastStored = preferences;
  setDraft(preferences);
  setTimes(SettingsTimes::of(preferences));
  setBaselineVersion(m_backend->preferenceVersion());
  setNeedsReload(false);
  setSaved(false);
  setError(std::nullopt);
  setSaving(false);
}

// MARK: Observable fields

void SettingsController::setError(const std::optional<QString>& error) {
  if (error == m_error)
    return;
  m_error = error;
  Q_EMIT errorChanged();
}

void SettingsController::setSaved(bool saved) {
  if (saved == m_saved)
    return;
  m_saved = saved;
  Q_EMIT savedChanged();
}

void SettingsController::setSaving(bool saving) {
  if (saving == m_saving)
    return;
  m_saving = saving;
  Q_EMIT savingChanged();
}

void SettingsController::setNeedsReload(bool needsReload) {
  if (needsReload == m_needsReload)
    return;
  m_needsReload = needsReload;
  Q_EMIT needsReloadChanged();
}

void SettingsController::setBaselineVersion(qint64 version) {
  if (version == m_baselineVersion)
    return;
  m_baselineVersion = version;
  Q_EMIT baselineVersionChanged();
}

} // namespace brindlewick
