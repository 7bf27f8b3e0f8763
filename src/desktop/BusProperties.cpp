#include "desktop/BusProperties.h"

#include <QDBusArgument>
#include <QDBusPendingCallWatcher>

namespace brindlewick {

namespace {

const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

} // namespace

void callWithoutWaiting(const QDBusConnection& bus, const QDBusMessage& call, int timeoutMilliseconds,
                        QObject* context, std::function<void(const QDBusMessage& reply)> done) {
  // The watcher belongs to the context, so a context that goes away takes the answer with it.
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, timeoutMilliseconds), context);
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                   [done = std::move(done)](QDBusPendingCallWatcher* finished) {
                     finished->deleteLater();
                     done(finished->reply());
                   });
}

BusProperties::BusProperties(const QDBusConnection& bus, const QString& service, const QString& path,
                             const QString& interface, int timeoutMilliseconds, QObject* parent)
    : QObject(parent), m_bus(bus), m_service(service), m_path(path), m_interface(interface),
      m_timeoutMilliseconds(timeoutMilliseconds) {
  if (m_bus.isConnected()) {
    m_subscribed = m_bus.connect(QString(), m_path, kPropertiesInterface, QStringLiteral("PropertiesChanged"),
                                 this, SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
  }
}

void BusProperties::read() {
  if (!m_subscribed) {
    return;
  }
  m_signalledSinceRead.clear();
  const quint64 generation = ++m_readGeneration;
  QDBusMessage getAll =
      QDBusMessage::createMethodCall(m_service, m_path, kPropertiesInterface, QStringLiteral("GetAll"));
  getAll << m_interface;
  // A service that is not running has no state worth starting it for.
  getAll.setAutoStartService(false);
  callWithoutWaiting(m_bus, getAll, m_timeoutMilliseconds, this,
                     [this, generation](const QDBusMessage& reply) {
                       // Of two readings in flight only the later one counts.
                       if (generation != m_readGeneration || reply.type() != QDBusMessage::ReplyMessage ||
                           reply.signature() != QLatin1String("a{sv}")) {
                         return;
                       }
                       QVariantMap values = qdbus_cast<QVariantMap>(reply.arguments().constFirst());
                       for (const QString& newer : std::as_const(m_signalledSinceRead)) {
                         values.remove(newer);
                       }
                       if (!values.isEmpty()) {
                         Q_EMIT changed(values);
                       }
                     });
}

void BusProperties::propertiesChanged(const QString& interface, const QVariantMap& changedValues,
                                      const QStringList& invalidatedNames) {
  if (interface != m_interface) {
    return;
  }
  for (auto it = changedValues.cbegin(); it != changedValues.cend(); ++it) {
    m_signalledSinceRead.insert(it.key());
  }
  for (const QString& name : invalidatedNames) {
    m_signalledSinceRead.insert(name);
  }
  if (!changedValues.isEmpty()) {
    Q_EMIT changed(changedValues);
  }
  if (!invalidatedNames.isEmpty()) {
    Q_EMIT invalidated(invalidatedNames);
  }
}

} // namespace brindlewick
