#pragma once

#include <QJsonObject>
#include <QRect>
#include <QString>

#include <optional>

namespace brindlewick {

// The application's own small settings on this computer (not the reader's preferences, which
// the account syncs): whether a drop arrives with a sound, and whether the first-run chime has
// played. One JSON object in one file, written whole and atomically, and read again at every
// question, so that whatever the settings page last wrote is what counts.
//
// A value counts only when it is stored with its own type: a key holding a string "true" or a
// number is absent. (QSettings' INI files would read every boolean back as a string.)
//
// A file that exists but cannot be read (no permission, oversized, not a JSON object) is never
// replaced: questions get the values this object last read, every write fails and leaves the
// file as it is, and the log says so once, so one save of the window frame cannot wipe the
// reader's other settings.
//
// The file is the reader's alone (0600, and a folder made for it 0700); construction tightens
// one an earlier version left open.
class ApplicationDefaults {
public:
  static inline const QString dropSoundEnabledKey = QStringLiteral("drop-sound-enabled");
  static inline const QString installChimePlayedKey = QStringLiteral("Brindlewick.installChimePlayed");
  // When the updater last asked its feed (a Date), and the release the reader chose to skip.
  static inline const QString lastUpdateCheckKey = QStringLiteral("update-last-check");
  static inline const QString skippedUpdateKey = QStringLiteral("update-skipped-version");
  // The reader window's last frame.
  static inline const QString mainWindowFrameKey = QStringLiteral("BrindlewickMain");

  // app.brindlewick/application-defaults.json under the user's configuration folder.
  static QString defaultFilePath();

  explicit ApplicationDefaults(QString filePath = defaultFilePath());

  const QString& filePath() const { return m_filePath; }

  // The boolean under `key`; none when the file is missing, the key absent, or its value of
  // another type. While the file cannot be read, the value last read from it.
  std::optional<bool> boolean(const QString& key) const;
  // Stores `value` under `key` and keeps every other key. False when the file could not be
  // read or written; the file is then as it was.
  bool setBoolean(const QString& key, bool value);

  // True unless a boolean false is stored.
  bool dropSoundEnabled() const { return boolean(dropSoundEnabledKey).value_or(true); }
  bool setDropSoundEnabled(bool enabled) { return setBoolean(dropSoundEnabledKey, enabled); }
  // False unless a boolean true is stored.
  bool installChimePlayed() const { return boolean(installChimePlayedKey).value_or(false); }
  bool setInstallChimePlayed(bool played) { return setBoolean(installChimePlayedKey, played); }

  // A finite number or a string under `key`; none when absent or of another type.
  std::optional<double> number(const QString& key) const;
  bool setNumber(const QString& key, double value);
  std::optional<QString> string(const QString& key) const;
  bool setString(const QString& key, const QString& value);

  // A window frame stored as {"x", "y", "width", "height"} (integers); none when absent,
  // malformed or empty.
  std::optional<QRect> frame(const QString& key) const;
  bool setFrame(const QString& key, const QRect& frame);

private:
  bool write(const QString& key, const QJsonValue& value);
  // The stored object (empty when there is no file), or none when the file cannot be read.
  std::optional<QJsonObject> load() const;
  // The stored object, or the one last read while the file cannot be read.
  QJsonObject read() const;

  QString m_filePath;
  mutable QJsonObject m_lastRead;
  mutable bool m_unreadableReported = false;
};

} // namespace brindlewick
