#pragma once

#include "content/ContentContracts.h"
#include "delivery/Preferences.h"
#include "ui/settings/SettingsBackend.h"

#include <QObject>
#include <QString>

#include <QCoroTask>

#include <array>
#include <memory>
#include <optional>

namespace brindlewick {

// The working and quiet hours as the page edits them, in minutes after midnight. They live
// beside the draft, not in it, and become its schedule only when it is saved.
struct SettingsTimes {
  static constexpr qint64 defaultQuietStart = 1080; // 18:00
  static constexpr qint64 defaultQuietEnd = 540;    // 09:00

  qint64 start = 540;
  qint64 end = 1080;
  bool quiet = false;
  qint64 quietStart = defaultQuietStart;
  qint64 quietEnd = defaultQuietEnd;

  // The fields for stored preferences: their windows, or the proposal 18:00 to 09:00 for
  // quiet hours they do not have.
  static SettingsTimes of(const ReaderPreferences& preferences);
  // The schedule these fields describe, with the interval and pause flag given. Throws
  // ScheduleValidationError: invalidInterval for bad working hours or (while `quiet`) bad
  // quiet hours, noEligibleTime when quiet hours cover every working minute.
  ScheduleSettings schedule(ScheduleSettings::Interval interval, bool paused) const;

  friend bool operator==(const SettingsTimes&, const SettingsTimes&) = default;
};

// The settings page without its widgets: a draft of the synced preferences, saved to the
// account with the version it was taken from so that a save from another computer in the
// meantime is detected instead of overwritten; the save bar's state; and the rules by which
// the draft follows the stored preferences while the page is open. Main thread only.
//
// A failed save never loses the reader's edits; filling a control never writes the draft (only
// the setters do). Save and reload run as tasks the page does not keep: one that finishes after
// the page is gone drops its result, while the model's own effects stay.
class SettingsController : public QObject {
  Q_OBJECT

public:
  static inline const QString conflictMessage = QStringLiteral(
      "Settings changed on another computer. Reload the latest settings, then reapply your changes.");

  struct TextSizeOption {
    QString label;
    double scale;
  };
  static const std::array<TextSizeOption, 3>& textSizeOptions();
  // The option shown for a stored scale: the nearest, the smaller one on a tie.
  static double textSizeSelection(double storedScale);

  // What the save bar shows and allows.
  enum class SaveBarState { idle, saving, saved, failed, conflict, reloading };

  explicit SettingsController(std::unique_ptr<SettingsBackend> backend, QObject* parent = nullptr);

  SettingsBackend& backend() const { return *m_backend; }

  const ReaderPreferences& draft() const { return m_draft; }
  const SettingsTimes& times() const { return m_times; }
  const std::optional<QString>& error() const { return m_error; }
  bool saved() const { return m_saved; }
  bool saving() const { return m_saving; }
  bool needsReload() const { return m_needsReload; }
  qint64 baselineVersion() const { return m_baselineVersion; }
  bool isSignedIn() const { return m_backend->isSignedIn(); }

  SaveBarState saveBarState() const;
  bool canSave() const { return !m_saving && !m_needsReload && isSignedIn(); }
  bool canReload() const { return !m_saving; }

  // The reader's edits. Each clears `saved` as the page's rules say.
  void setDraft(const ReaderPreferences& draft);
  void setTimes(const SettingsTimes& times);
  void setStart(qint64 minutes);
  void setEnd(qint64 minutes);
  void setQuiet(bool quiet);
  void setQuietStart(qint64 minutes);
  void setQuietEnd(qint64 minutes);
  // Whether a topic is chosen; any topic may be removed, even the last.
  bool topic(Category category) const;
  void setTopic(Category category, bool chosen);
  double textScale() const { return textSizeSelection(m_draft.textScale); }
  void setTextScale(double scale);

  // Validates the draft and starts saving it; a failure shows in error(), nothing is sent.
  // Does nothing while the save button is disabled (saving, a conflict, signed out).
  void save();
  // Fetches the account's latest settings and resets the page to them. Does nothing while a
  // save or reload runs.
  void reload();

Q_SIGNALS:
  void draftChanged();
  void timesChanged();
  void errorChanged();
  void savedChanged();
  void savingChanged();
  void needsReloadChanged();
  void baselineVersionChanged();
  void signedInChanged();

private:
  void storedPreferencesChanged();
  void resetTo(const ReaderPreferences& preferences);
  QCoro::Task<> runSave(ReaderPreferences draft, qint64 expectedVersion);
  QCoro::Task<> runReload();

  void setError(const std::optional<QString>& error);
  void setSaved(bool saved);
  void setSaving(bool saving);
  void setNeedsReload(bool needsReload);
  void setBaselineVersion(qint64 version);

  std::unique_ptr<SettingsBackend> m_backend;
  // The stored preferences as last seen: the store's signal carries no old value.
  ReaderPreferences m_lastStored;
  ReaderPreferences m_draft;
  SettingsTimes m_times;
  std::optional<QString> m_error;
  bool m_saved = false;
  bool m_saving = false;
  bool m_needsReload = false;
  qint64 m_baselineVersion = 0;
};

} // namespace brindlewick
