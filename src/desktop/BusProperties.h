#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QVariantMap>

#include <functional>

namespace brindlewick {

// Sends `call` without waiting and hands its reply (or the error message that stands for it: a
// missing service, a timeout) to `done` on the main thread. Nothing is delivered once `context`
// is gone.
void callWithoutWaiting(const QDBusConnection& bus, const QDBusMessage& call, int timeoutMilliseconds,
                        QObject* context, std::function<void(const QDBusMessage& reply)> done);

// The properties of one interface of one object on a bus, as its PropertiesChanged signal
// reports them and, when asked, as one bounded GetAll reads them. The subscription names no
// sender: for a well-known name Qt would first ask the bus for its owner and wait for the
// answer, which hangs the main thread on a bus that has stopped answering.
class BusProperties final : public QObject {
  Q_OBJECT

public:
  // Subscribes at once when `bus` is connected; otherwise it never reports anything.
  BusProperties(const QDBusConnection& bus, const QString& service, const QString& path,
                const QString& interface, int timeoutMilliseconds, QObject* parent);

  bool isSubscribed() const { return m_subscribed; }

  // Reads every property once, without starting a service that is not running. The answer
  // comes as changed(), less the properties that a signal reported while it travelled (those
  // are newer); no answer (no service, a timeout) leaves everything as it was.
  void read();

Q_SIGNALS:
  void changed(const QVariantMap& values);
  void invalidated(const QStringList& names);

private Q_SLOTS:
  void propertiesChanged(const QString& interface, const QVariantMap& changed,
                         const QStringList& invalidated);

private:
  QDBusConnection m_bus;
  QString m_service;
  QString m_path;
  QString m_interface;
  int m_timeoutMilliseconds;
  bool m_subscribed = false;
  quint64 m_readGeneration = 0;
  QSet<QString> m_signalledSinceRead;
};

} // namespace brindlewick
