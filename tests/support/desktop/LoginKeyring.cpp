#include "desktop/LoginKeyring.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

using namespace Qt::StringLiterals;

namespace brindlewick {

namespace {

const QDBusObjectPath login(u"/org/freedesktop/secrets/collection/login"_s);

QDBusMessage callSecretService(const QString& interface, const QString& method, const QVariantList& arguments) {
  QDBusMessage call = QDBusMessage::createMethodCall(u"org.freedesktop.secrets"_s, u"/org/freedesktop/secrets"_s,
                                                     interface, method);
  call.setArguments(arguments);
  return QDBusConnection::sessionBus().call(call);
}

QString errorOf(const QDBusMessage& reply) {
  return reply.type() == QDBusMessage::ReplyMessage ? QString() : reply.errorName() + u": "_s + reply.errorMessage();
}

} // namespace

QString LoginKeyring::lock() {
  return errorOf(
      callSecretService(u"org.freedesktop.Secret.Service"_s, u"Lock"_s, {QVariant::fromValue(QList{login})}));
}

QString LoginKeyring::unlock() {
  const QDBusMessage session = callSecretService(u"org.freedesktop.Secret.Service"_s, u"OpenSession"_s,
                                                 {u"plain"_s, QVariant::fromValue(QDBusVariant(QString()))});
  if (const QString error = errorOf(session); !error.isEmpty())
    return error;
  QDBusArgument secret;
  secret.beginStructure();
  secret << qvariant_cast<QDBusObjectPath>(session.arguments().value(1)) << QByteArray()
         << "brindlewick-test-keyring"_ba << u"text/plain"_s;
  secret.endStructure();
  return errorOf(callSecretService(u"org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface"_s,
                                   u"UnlockWithMasterPassword"_s,
                                   {QVariant::fromValue(login), QVariant::fromValue(secret)}));
}

} // namespace brindlewick
