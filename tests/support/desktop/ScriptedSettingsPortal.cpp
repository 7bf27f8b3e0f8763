#include "desktop/ScriptedSettingsPortal.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>

namespace brindlewick {

namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");

} // namespace

ScriptedSettingsPortal::ScriptedSettingsPortal(const QDBusConnection& service) : service_(service) {
  qDBusRegisterMetaType<QMap<QString, QVariantMap>>();
}

bool ScriptedSettingsPortal::publish() {
  return service_.registerObject(kPortalPath, this, QDBusConnection::ExportAllSlots) &&
         service_.registerService(kPortalService);
}

bool ScriptedSettingsPortal::sendSettingChanged(const QString& group, const QString& key,
                                                const QVariant& value) {
  QDBusMessage signal = QDBusMessage::createSignal(
      kPortalPath, QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("SettingChanged"));
  signal << group << key << QVariant::fromValue(QDBusVariant(value));
  return service_.send(signal);
}

QMap<QString, QVariantMap> ScriptedSettingsPortal::ReadAll(const QStringList& groups) {
  QMap<QString, QVariantMap> answer;
  for (const QString& group : groups) {
    if (values.contains(group))
      answer.insert(group, values.value(group));
  }
  return answer;
}

} // namespace brindlewick
