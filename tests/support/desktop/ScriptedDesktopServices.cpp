#include "desktop/ScriptedDesktopServices.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace brindlewick {

namespace {

const QString kLogin1 = QStringLiteral("/org/freedesktop/login1");
const QString kUserPath = QStringLiteral("/org/freedesktop/login1/user/_1000");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kSession = QStringLiteral("org.freedesktop.login1.Session");

} // namespace

const QString ScriptedDesktopServices::kProcessSession =
    QStringLiteral("/org/freedesktop/login1/session/_32");
const QString ScriptedDesktopServices::kDisplaySession = QStringLiteral("/org/freedesktop/login1/session/c2");

ScriptedDesktopServices::ScriptedDesktopServices(const QDBusConnection& connection)
    : m_connection(connection) {
  m_connection.registerVirtualObject(kLogin1, this, QDBusConnection::SubPath);
  m_connection.registerService(QStringLiteral("org.freedesktop.login1"));
}

ScriptedDesktopServices::~ScriptedDesktopServices() {
  m_connection.unregisterObject(kLogin1, QDBusConnection::UnregisterTree);
}

bool ScriptedDesktopServices::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
  const QString member = message.member();
  const QString path = message.path();
  QVariant answer;
  if (member == QLatin1String("GetSessionByPID")) {
    if (!sessionForProcess) {
      return connection.send(
          message.createErrorReply(QStringLiteral("org.freedesktop.login1.NoSessionForPID"),
                                   QStringLiteral("PID does not belong to any known session")));
    }
    answer = QVariant::fromValue(QDBusObjectPath(kProcessSession));
  } else if (member == QLatin1String("GetUser")) {
    answer = QVariant::fromValue(QDBusObjectPath(kUserPath));
  } else if (member == QLatin1String("Get") && path == kUserPath) {
    // The user's Display: the session's id and object path.
    QDBusArgument display;
    display.beginStructure();
    display << QStringLiteral("c2") << QDBusObjectPath(kDisplaySession);
    display.endStructure();
    answer = QVariant::fromValue(QDBusVariant(QVariant::fromValue(display)));
  } else if (member == QLatin1String("GetAll") && path.startsWith(kLogin1 + QStringLiteral("/session/"))) {
    answer = session;
  } else {
    return false;
  }
  return connection.send(message.createReply(answer));
}

void ScriptedDesktopServices::sendSignal(const QString& path, const QString& interface, const QString& name,
                                         const QVariantList& arguments) {
  QDBusMessage signal = QDBusMessage::createSignal(path, interface, name);
  signal.setArguments(arguments);
  m_connection.send(signal);
}

void ScriptedDesktopServices::propertiesChanged(const QString& path, const QString& interface,
                                                const QVariantMap& changed) {
  sendSignal(path, kProperties, QStringLiteral("PropertiesChanged"), {interface, changed, QStringList()});
}

void ScriptedDesktopServices::prepareForSleep(bool sleeping) {
  sendSignal(kLogin1, QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
             {sleeping});
}

void ScriptedDesktopServices::setSession(const char* property, bool value, bool announce) {
  session.insert(QString::fromLatin1(property), value);
  if (announce) {
    propertiesChanged(kProcessSession, kSession, {{QString::fromLatin1(property), value}});
  }
}

void ScriptedDesktopServices::requestLock(bool lock, const QString& session) {
  sendSignal(session, kSession, lock ? QStringLiteral("Lock") : QStringLiteral("Unlock"), {});
}

void ScriptedDesktopServices::setScreenSaverActive(bool active, bool gnome) {
  const QString desktop = gnome ? QStringLiteral("gnome") : QStringLiteral("freedesktop");
  sendSignal(QStringLiteral("/org/%1/ScreenSaver").arg(desktop),
             QStringLiteral("org.%1.ScreenSaver").arg(desktop), QStringLiteral("ActiveChanged"), {active});
}

void ScriptedDesktopServices::setScreenReader(bool running) {
  propertiesChanged(QStringLiteral("/org/a11y/bus"), QStringLiteral("org.a11y.Status"),
                    {{QStringLiteral("ScreenReaderEnabled"), running}});
}

} // namespace brindlewick
