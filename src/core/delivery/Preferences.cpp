#include "delivery/Preferences.h"

#include "foundation/Json.h"

#include <QJsonArray>
#include <QSettings>

#include <algorithm>
#include <cmath>
#include <limits>

namespace brindlewick {

// MARK: PreferencesError

PreferencesError::PreferencesError(Case errorCase) : m_case(errorCase), m_what(errorDescription().toUtf8()) {}

QString PreferencesError::errorDescription() const {
  switch (m_case) {
  case Case::invalidTextScale: return QStringLiteral("Text size must be between 100% and 120%.");
  case Case::notSaved:
    return QStringLiteral("Preferences could not be saved on this computer. Existing data was retained.");
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

QString PreferencesStore::accountSettingsFile() {
  return QSettings(QSettings::NativeFormat, QSettings::UserScope,
                   QStringLiteral("app.brindlewick.account-settings"))
      .fileName();
}

PreferencesStore::PreferencesStore(QString settingsFile, QObject* parent)
    : QObject(parent), m_defaults(std::move(settingsFile)) {
  const QVariant stored = QSettings(m_defaults, QSettings::NativeFormat).value(key);
  if (stored.typeId() != QMetaType::QByteArray)
    return; // nothing stored (or not a blob): the defaults, and nothing is written

  m_value = ReaderPreferences::fromJson(Json::parse(stored.toByteArray()));
  if (!std::isfinite(m_value.textScale) || m_value.textScale < ReaderPreferences::textScaleRange.lowerBound)
    throw PreferencesError(PreferencesError::Case::invalidTextScale);
  if (m_value.textScale > ReaderPreferences::textScaleRange.upperBound) {
    m_value.textScale = ReaderPreferences::textScaleRange.upperBound;
    // Should the repair not reach the disk, the stored blob is untouched and is repaired
    // again at the next start; the value in use is already the repaired one.
    write(Json::serialize(m_value.toJson()));
  }
}

void PreferencesStore::save(const ReaderPreferences& preferences) {
  if (!ReaderPreferences::textScaleRange.contains(preferences.textScale))
    throw PreferencesError(PreferencesError::Case::invalidTextScale);
  if (!write(Json::serialize(preferences.toJson())))
    throw PreferencesError(PreferencesError::Case::notSaved);
  if (preferences == m_value)
    return;
  m_value = preferences;
  Q_EMIT valueChanged();
}

bool PreferencesStore::write(const QByteArray& blob) {
  // A fresh QSettings each time: its status reports this write alone (an object keeps the
  // first error it ever met).
  QSettings settings(m_defaults, QSettings::NativeFormat);
  const QVariant previous = settings.value(key);
  settings.setValue(key, blob);
  settings.sync();
  if (settings.status() == QSettings::NoError)
    return true;
  // Qt keeps the unwritten change in memory, shared with every other holder of this file,
  // and the next successful sync of any of them would write it. Put back what was there;
  // when nothing was, removing the key drops the pending change without removing anything.
  if (previous.isValid())
    settings.setValue(key, previous);
  else
    settings.remove(key);
  settings.sync();
  return false;
}

} // namespace brindlewick
