#include "delivery/Preferences.h"

#include "foundation/Json.h"
#include "foundation/PrivateFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QLoggingCategory>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brindlewick {

// MARK: PreferencesError

PreferencesError::PreferencesError(Case errorCase, QString file, QString reason)
    : m_case(errorCase), m_file(std::move(file)), m_reason(std::move(reason)),
      m_what(errorDescription().toUtf8()) {}

QString PreferencesError::errorDescription() const {
  // "The settings file /home/…/app.brindlewick.account-settings.conf cannot be written: …"
  const auto naming = [this](const char* what) {
    if (m_file.isEmpty())
      return QString();
    return QStringLiteral(" The settings file %1 %2: %3.").arg(m_file, QLatin1String(what), m_reason);
  };
  switch (m_case) {
  case Case::invalidTextScale: return QStringLiteral("Text size must be between 100% and 120%.");
  case Case::notSaved:
    return QStringLiteral("Preferences could not be saved on this computer. Existing data was retained.") +
           naming("cannot be written");
  case Case::notReadable:
    return QStringLiteral("Preferences could not be read on this computer. Nothing was changed.") +
           naming("cannot be read");
  }
  return {};
}

// MARK: ReaderPreferences

QJsonObject ReaderPreferences::toJson() const {
  QStringList sortedTopics(topics.cbegin(), topics.cend());
  std::sort(sortedTopics.begin(), sortedTopics.end());
  QJsonObject object{{QStringLiteral("schedule"), schedule.toJson()},
                     {QStringLiteral("topics"), QJsonArray::fromStringList(sortedTopics)},
                     {QStringLiteral("surpriseMe"), surpriseMe},
                     {QStringLiteral("analyticsConsent"), analyticsConsent},
                     {QStringLiteral("onboardingComplete"), onboardingComplete},
                     {QStringLiteral("textScale"), textScale}};
  if (preferredDisplayID)
    object.insert(QStringLiteral("preferredDisplayID"), qint64(*preferredDisplayID));
  return object;
}

ReaderPreferences ReaderPreferences::fromJson(const QJsonValue& value, const QString& path) {
  const JsonObjectReader reader(Json::toObject(value, path), path);
  ReaderPreferences preferences;
  preferences.schedule = ScheduleSettings::fromJson(reader.required(u"schedule"), reader.pathOf(u"schedule"));
  const QJsonArray topics = reader.array(u"topics");
  for (qsizetype i = 0; i < topics.size(); ++i)
    preferences.topics.insert(Json::toString(topics.at(i), Json::element(reader.pathOf(u"topics"), i)));
  preferences.surpriseMe = reader.boolean(u"surpriseMe");
  preferences.analyticsConsent = reader.boolean(u"analyticsConsent");
  preferences.onboardingComplete = reader.boolean(u"onboardingComplete");
  preferences.textScale = reader.number(u"textScale");
  if (const auto display = reader.optionalInt64(u"preferredDisplayID")) {
    if (*display < 0 || *display > qint64(std::numeric_limits<quint32>::max()))
      throw JsonDecodingError(reader.pathOf(u"preferredDisplayID"),
                              QStringLiteral("the number is not an unsigned 32-bit integer"));
    preferences.preferredDisplayID = quint32(*display);
  }
  return preferences;
}

// MARK: PreferencesStore

namespace {

Q_LOGGING_CATEGORY(lcPreferences, "brindlewick.preferences")

// What the settings file holds, found without changing it.
struct StoredSettings {
  enum class Kind {
    nothing,
    blob,
    // Not a settings file holding a record: kept aside before anything is written.
    unreadable,
    // There, but it cannot be opened: nothing may be done with it.
    inaccessible,
  };
  Kind kind = Kind::nothing;
  QByteArray blob;
  QString reason;
};

StoredSettings readSettingsFile(const QString& file) {
  using Kind = StoredSettings::Kind;
  struct stat info {};
  if (::stat(QFile::encodeName(file).constData(), &info) != 0) {
    if (errno == ENOENT)
      return {};
    return {Kind::inaccessible,
            {},
            errno == ENOTDIR ? QStringLiteral("a file is in the place of one of its folders")
                             : PrivateFiles::describe(errno)};
  }
  if (S_ISDIR(info.st_mode))
    return {Kind::inaccessible, {}, QStringLiteral("a folder is in its place")};
  // A pipe or a device would block or never end.
  if (!S_ISREG(info.st_mode))
    return {Kind::inaccessible, {}, QStringLiteral("it is not a regular file")};
  QFile source(file);
  if (!source.open(QIODevice::ReadOnly))
    return {Kind::inaccessible, {}, source.errorString()};
  // QSettings reads a file whole into memory: one far larger than a record never gets there.
  const QByteArray bytes = source.read(PreferencesStore::maximumFileBytes + 1);
  if (bytes.size() > PreferencesStore::maximumFileBytes)
    return {Kind::unreadable,
            {},
            QStringLiteral("it is larger than %1 KiB").arg(PreferencesStore::maximumFileBytes / 1024)};
  if (bytes.isEmpty())
    return {};

  // Parsed from a private copy of exactly the bytes read: QSettings keeps what it parsed of
  // a path and, while the file looks unchanged, reports a format error only the first time.
  // Without a temporary folder, the file itself, which is right at least at the first reading.
  QTemporaryFile copy;
  const bool copied = copy.open() && copy.write(bytes) == bytes.size() && copy.flush();
  const QSettings settings(copied ? copy.fileName() : file, QSettings::NativeFormat);
  // The file is parsed at the first question; only then does the status tell.
  const QVariant stored = settings.value(PreferencesStore::key);
  if (settings.status() != QSettings::NoError)
    return {Kind::unreadable, {}, QStringLiteral("it is not a settings file")};
  if (!stored.isValid())
    return {};
  // A file cut short holds the start of the record as text.
  if (stored.typeId() != QMetaType::QByteArray)
    return {Kind::unreadable, {}, QStringLiteral("its record is cut short or not one the program wrote")};
  return {Kind::blob, stored.toByteArray(), {}};
}

// Renames `file` to the first free name of "<file>.unreadable", "<file>.unreadable-2", …,
// never replacing anything; none when it worked, else why not.
std::optional<QString> moveSettingsAside(const QString& file, QString* aside) {
  const QByteArray from = QFile::encodeName(file);
  for (int attempt = 1; attempt <= 100; ++attempt) {
    *aside = file + QStringLiteral(".unreadable") +
             (attempt == 1 ? QString() : QStringLiteral("-%1").arg(attempt));
    const QByteArray to = QFile::encodeName(*aside);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
      return std::nullopt;
    if (errno == EEXIST)
      continue;
    // A file system without the flag: a new link cannot replace anything either.
    if (errno != EINVAL && errno != ENOSYS)
      return PrivateFiles::describe(errno);
    if (::link(from.constData(), to.constData()) == 0) {
      ::unlink(from.constData());
      return std::nullopt;
    }
    if (errno != EEXIST)
      return PrivateFiles::describe(errno);
  }
  return QStringLiteral("there are too many unreadable copies beside it");
}

// Why a write of `file` failed, as far as can be told afterwards: QSettings says no more than
// that it could not.
QString settingsWriteProblem(const QString& file) {
  const QFileInfo info(file);
  if (info.isDir())
    return QStringLiteral("a folder is in its place");
  if (info.exists() && ::access(QFile::encodeName(file).constData(), W_OK) != 0)
    return PrivateFiles::describe(errno);
  const QString folder = info.absolutePath();
  if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
    return QStringLiteral("its folder %1 cannot be written (%2)").arg(folder, PrivateFiles::describe(errno));
  return QStringLiteral("the system refused the write (is the disk full?)");
}

} // namespace

QString PreferencesStore::accountSettingsFile() {
  // Where QSettings keeps the suite's user file, found without a QSettings of the suite: one
  // reads the file whole as it is made, whatever its size.
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/app.brindlewick.account-settings.conf");
}

PreferencesStore::PreferencesStore(QString settingsFile, QObject* parent)
    : QObject(parent), m_defaults(std::move(settingsFile)) {
  const StoredSettings stored = readSettingsFile(m_defaults);
  if (stored.kind == StoredSettings::Kind::inaccessible)
    throw PreferencesError(PreferencesError::Case::notReadable, m_defaults, stored.reason);
  PrivateFiles::tighten(m_defaults);
  if (stored.kind != StoredSettings::Kind::blob)
    return; // nothing stored (or nothing readable): the defaults, and nothing is written

  m_value = ReaderPreferences::fromJson(Json::parse(stored.blob));
  if (!std::isfinite(m_value.textScale) || m_value.textScale < ReaderPreferences::textScaleRange.lowerBound)
    throw PreferencesError(PreferencesError::Case::invalidTextScale);
  if (m_value.textScale > ReaderPreferences::textScaleRange.upperBound) {
    m_value.textScale = ReaderPreferences::textScaleRange.upperBound;
    // Should the repair not reach the disk, the stored blob is untouched and is repaired
    // again at the next start; the value in use is already the repaired one.
    try {
      write(Json::serialize(m_value.toJson()));
    } catch (const PreferencesError& error) {
      qCWarning(lcPreferences, "%s", error.what());
    }
  }
}

void PreferencesStore::save(const ReaderPreferences& preferences) {
  if (!ReaderPreferences::textScaleRange.contains(preferences.textScale))
    throw PreferencesError(PreferencesError::Case::invalidTextScale);
  write(Json::serialize(preferences.toJson()));
  if (preferences == m_value)
    return;
  m_value = preferences;
  Q_EMIT valueChanged();
}

void PreferencesStore::write(const QByteArray& blob) {
  const auto notSaved = [this](const QString& reason) {
    return PreferencesError(PreferencesError::Case::notSaved, m_defaults, reason);
  };
  const StoredSettings stored = readSettingsFile(m_defaults);
  if (stored.kind == StoredSettings::Kind::inaccessible)
    throw notSaved(stored.reason);
  if (stored.kind == StoredSettings::Kind::unreadable) {
    // What could not be read may still be worth something to the reader: never written over.
    QString aside;
    if (const std::optional<QString> problem = moveSettingsAside(m_defaults, &aside))
      throw notSaved(QStringLiteral("it cannot be read (%1) and could not be moved aside: %2")
                         .arg(stored.reason, *problem));
    PrivateFiles::tighten(aside);
    qCWarning(lcPreferences, "%s could not be read (%s); it is kept as %s, and the preferences start afresh",
              qUtf8Printable(m_defaults), qUtf8Printable(stored.reason), qUtf8Printable(aside));
  }
  // Made for the reader alone before QSettings writes it, which then keeps the file's mode.
  const QString folder = QFileInfo(m_defaults).absolutePath();
  if (const std::optional<QString> problem = PrivateFiles::createFolder(folder))
    throw notSaved(QStringLiteral("its folder %1 could not be made (%2)").arg(folder, *problem));
  if (PrivateFiles::createPrivateFile(m_defaults))
    throw notSaved(settingsWriteProblem(m_defaults));
  PrivateFiles::tighten(m_defaults);

  // A fresh QSettings each time: its status reports this write alone (an object keeps the
  // first error it ever met).
  QSettings settings(m_defaults, QSettings::NativeFormat);
  const QVariant previous = settings.value(key);
  // Changed behind the store's back since it was looked at: not written over.
  if (settings.status() != QSettings::NoError)
    throw notSaved(QStringLiteral("it changed while it was being read"));
  settings.setValue(key, blob);
  settings.sync();
  if (settings.status() == QSettings::NoError)
    return;
  // Qt keeps the unwritten change in memory, shared with every other holder of this file,
  // and the next successful sync of any of them would write it. Put back what was there;
  // when nothing was, removing the key drops the pending change without removing anything.
  if (previous.isValid())
    settings.setValue(key, previous);
  else
    settings.remove(key);
  settings.sync();
  throw notSaved(settingsWriteProblem(m_defaults));
}

} // namespace brindlewick
