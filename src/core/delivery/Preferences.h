#pragma once

#include "delivery/Scheduling.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QSet>
#include <QString>

#include <exception>
#include <optional>

namespace brindlewick {

// The preferences store's error. The message is shown to the reader unchanged.
class PreferencesError : public std::exception {
public:
  enum class Case {
    invalidTextScale,
    // The settings file could not be written (read-only location, full disk).
    notSaved,
    // The settings file is there but cannot be opened (permission, a folder in its place).
    notReadable,
  };

  // `file` and `reason` name the settings file and what went wrong with it, when known; the
  // message then says both.
  explicit PreferencesError(Case errorCase, QString file = {}, QString reason = {});

  Case errorCase() const { return m_case; }
  QString errorDescription() const;
  const char* what() const noexcept override { return m_what.constData(); }

  // By case alone.
  friend bool operator==(const PreferencesError& a, const PreferencesError& b) {
    return a.m_case == b.m_case;
  }

private:
  Case m_case;
  QString m_file;
  QString m_reason;
  QByteArray m_what;
};

// The reader's settings. The same JSON object is kept on this computer and exchanged with
// the reading service; the preferred display belongs to this computer alone.
struct ReaderPreferences {
  struct ClosedRange {
    double lowerBound;
    double upperBound;
    // False for NaN.
    constexpr bool contains(double value) const { return value >= lowerBound && value <= upperBound; }
  };
  // The reading text may be shown at 100% to 120%, both included.
  static constexpr ClosedRange textScaleRange{1.0, 1.2};

  ScheduleSettings schedule{ScheduleSettings::Interval::everyTwoHours,
                            ScheduleInterval::standardWorkingHours(), std::nullopt, false};
  // Meant to be category wire names; not checked here.
  QSet<QString> topics;
  bool surpriseMe = true;
  bool analyticsConsent = false;
  bool onboardingComplete = false;
  double textScale = 1.0;
  // The screen drops appear on; absent for the automatic choice.
  std::optional<quint32> preferredDisplayID;

  // "preferredDisplayID" is left out when absent; topics are written sorted.
  QJsonObject toJson() const;
  // Every key but "preferredDisplayID" is required; unknown keys are ignored; no ranges are
  // checked. Throws JsonDecodingError or the schedule's ScheduleValidationError.
  static ReaderPreferences fromJson(const QJsonValue& value, const QString& path = {});

  // Topics compare as sets, the text scale numerically.
  friend bool operator==(const ReaderPreferences&, const ReaderPreferences&) = default;
};

// This computer's current preferences, kept as one JSON blob under "reader-preferences-v1"
// in a settings file. Main thread only.
class PreferencesStore : public QObject {
  Q_OBJECT

public:
  static inline const QString key = QStringLiteral("reader-preferences-v1");
  // The settings file of the "app.brindlewick.account-settings" suite, under
  // $XDG_CONFIG_HOME.
  static QString accountSettingsFile();

  // A settings file larger than this was not written by the program; it is never parsed.
  static constexpr qint64 maximumFileBytes = 256 * 1024;

  // Reads the stored record: nothing stored gives the defaults (and writes nothing); a
  // stored text size above the range is repaired to the maximum and written back. Throws
  // the decoding error for a blob that is not a valid record and invalidTextScale for a
  // text size below the range; the stored blob is left as it was. A file that is not a
  // settings file holding a record (garbage, cut short, oversized) counts as nothing stored;
  // the first write keeps it aside, renamed beside it, rather than over it. A file that is
  // there but cannot be opened throws notReadable naming it and the reason. Makes the file
  // the reader's alone if an earlier version left it open.
  explicit PreferencesStore(QString settingsFile = accountSettingsFile(), QObject* parent = nullptr);

  const ReaderPreferences& value() const { return m_value; }
  // The settings file the store reads and writes.
  const QString& defaults() const { return m_defaults; }

  // Writes the record and then publishes it. Throws invalidTextScale outside the range
  // (never clamps) and notSaved, naming the file and the reason, when the file could not be
  // written; either way the stored blob and `value` stay as they were. valueChanged is
  // emitted only for a different value. The file is created for the reader alone (0600).
  void save(const ReaderPreferences& preferences);

Q_SIGNALS:
  void valueChanged();

private:
  // Stores the blob and makes sure it reached the disk; on failure puts back what was there
  // and throws notSaved.
  void write(const QByteArray& blob);

  ReaderPreferences m_value;
  QString m_defaults;
};

} // namespace brindlewick
