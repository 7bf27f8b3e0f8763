#include "desktop/LogindSession.h"

#include "desktop/BusProperties.h"
#include "desktop/DesktopLog.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusVariant>

#include <unistd.h>

namespace brindlewick {

namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kUser = QStringLiteral("org.freedesktop.login1.User");
const QString kSession = QStringLiteral("org.freedesktop.login1.Session");
const QString kActive = QStringLiteral("Active");
const QString kLockedHint = QStringLiteral("LockedHint");

QString objectPathOf(const QDBusMessage& reply) {
  if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != QLatin1String("o")) {
    return {};
  }
  return reply.arguments().constFirst().value<QDBusObjectPath>().path();
}

// The user's Display property is a (session id, session path) pair; "/" means none.
QString displaySessionOf(const QDBusMessage& reply) {
  if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != QLatin1String("v")) {
    return {};
  }
  const QVariant value = reply.arguments().constFirst().value<QDBusVariant>().variant();
  if (!value.canConvert<QDBusArgument>()) {
    return {};
  }
  const auto argument = value.value<QDBusArgument>();
  if (argument.currentSignature() != QLatin1String("(so)")) {
    return {};
  }
  QString id;
  QDBusObjectPath path;
  argument.beginStructure();
  argument >> id >> path;
  argument.endStructure();
  return path.path() == QLatin1String("/") ? QString() : path.path();
}

} // namespace

LogindSession::LogindSession(int timeoutMilliseconds, QObject* parent)
    : QObject(parent), m_timeoutMilliseconds(timeoutMilliseconds) {}

void LogindSession::listenTo(const QDBusConnection& systemBus) {
  if (m_lookingUp || !systemBus.isConnected()) {
    return;
  }
  m_lookingUp = true;
  m_bus = systemBus;
  QDBusMessage byPid =
      QDBusMessage::createMethodCall(kService, kManagerPath, kManager, QStringLiteral("GetSessionByPID"));
  byPid << static_cast<quint32>(::getpid());
  callWithoutWaiting(m_bus, byPid, m_timeoutMilliseconds, this, [this](const QDBusMessage& reply) {
    const QString path = objectPathOf(reply);
    // A process started outside the session (by the user's service manager, say) has none of
    // its own; the session on the user's display is the one the reader sits at.
    if (path.isEmpty()) {
      lookUpDisplaySession();
    } else {
      follow(path);
    }
  });
}

void LogindSession::lookUpDisplaySession() {
  QDBusMessage getUser =
      QDBusMessage::createMethodCall(kService, kManagerPath, kManager, QStringLiteral("GetUser"));
  getUser << static_cast<quint32>(::getuid());
  callWithoutWaiting(m_bus, getUser, m_timeoutMilliseconds, this, [this](const QDBusMessage& reply) {
    const QString user = objectPathOf(reply);
    if (user.isEmpty()) {
      qCInfo(lcDesktop) << "no logind session to follow:" << reply.errorMessage();
      return;
    }
    QDBusMessage display = QDBusMessage::createMethodCall(
        kService, user, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    display << kUser << QStringLiteral("Display");
    callWithoutWaiting(m_bus, display, m_timeoutMilliseconds, this, [this](const QDBusMessage& answer) {
      const QString path = displaySessionOf(answer);
      if (path.isEmpty()) {
        qCInfo(lcDesktop) << "no logind session on the user's display";
      } else {
        follow(path);
      }
    });
  });
}

void LogindSession::follow(const QString& path) {
  m_path = path;
  // Subscribe first and read afterwards, so that a change made while the reading travels is
  // not lost.
  m_properties = new BusProperties(m_bus, kService, path, kSession, m_timeoutMilliseconds, this);
  connect(m_properties, &BusProperties::changed, this, &LogindSession::apply);
  connect(m_properties, &BusProperties::invalidated, this, [this](const QStringList& names) {
    if (names.contains(kActive) || names.contains(kLockedHint)) {
      reread();
    }
  });
  m_bus.connect(QString(), path, kSession, QStringLiteral("Lock"), this, SLOT(lockRequested()));
  m_bus.connect(QString(), path, kSession, QStringLiteral("Unlock"), this, SLOT(unlockRequested()));
  m_properties->read();
}

void LogindSession::reread() {
  if (m_properties != nullptr) {
    m_properties->read();
  }
}

void LogindSession::apply(const QVariantMap& values) {
  const QVariant active = values.value(kActive);
  if (active.typeId() == QMetaType::Bool) {
    setActive(active.toBool());
  }
  const QVariant locked = values.value(kLockedHint);
  if (locked.typeId() == QMetaType::Bool) {
    setLocked(locked.toBool());
  }
}

// logind sends Lock and Unlock to ask the session's screen locker to act; the locker then
// sets the locked hint. Desktops whose locker never sets the hint have only these signals.
void LogindSession::lockRequested() {
  setLocked(true);
}

void LogindSession::unlockRequested() {
  setLocked(false);
}

void LogindSession::setActive(bool active) {
  if (m_active != active) {
    m_active = active;
    Q_EMIT activeChanged(active);
  }
}

void LogindSession::setLocked(bool locked) {
  if (m_locked != locked) {
    m_locked = locked;
    Q_EMIT lockedChanged(locked);
  }
}

} // namespace brindlewick
