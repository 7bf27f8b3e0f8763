#pragma once

#include <QDBusConnection>
#include <QMap>
#include <QObject>
#include <QVariantMap>

namespace brindlewick {

// Stands in for the desktop's settings portal (org.freedesktop.portal.Settings) on a test's
// own bus: ReadAll answers from `values`, and the test sends SettingChanged by hand.
class ScriptedSettingsPortal : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

public:
  // `service` is the portal's own connection to the bus.
  explicit ScriptedSettingsPortal(const QDBusConnection& service);

  QMap<QString, QVariantMap> values;

  // Registers the portal's object and well-known name on the bus.
  bool publish();
  bool sendSettingChanged(const QString& group, const QString& key, const QVariant& value);

public Q_SLOTS:
  QMap<QString, QVariantMap> ReadAll(const QStringList& groups);

private:
  QDBusConnection service_;
};

} // namespace brindlewick
