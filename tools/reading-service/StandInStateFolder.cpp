#include "StandInStateFolder.h"

#include "foundation/Json.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace brindlewick {

namespace {

const QString authorityName = QStringLiteral("ca.pem");
const QString authorityKeyName = QStringLiteral("ca-key.pem");
const QString serverName = QStringLiteral("server.pem");
const QString serverKeyName = QStringLiteral("server-key.pem");
const QString accountsName = QStringLiteral("accounts.json");
constexpr QFileDevice::Permissions userOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

[[noreturn]] void fail(const QString& path, const QString& problem) {
  throw std::runtime_error(QStringLiteral("stand-in state %1: %2").arg(path, problem).toStdString());
}

std::optional<QByteArray> readIfPresent(const QString& path) {
  QFile file(path);
  if (!file.exists())
    return std::nullopt;
  if (!file.open(QIODevice::ReadOnly))
    fail(path, file.errorString());
  return file.readAll();
}

// Replaces the file whole; a secret is readable by the user alone from its first byte.
void write(const QString& path, const QByteArray& bytes, bool secret) {
  if (secret && !QFile::exists(path)) {
    QFile made(path);
    if (!made.open(QIODevice::WriteOnly | QIODevice::NewOnly, userOnly))
      fail(path, made.errorString());
  }
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
    fail(path, file.errorString());
  if (secret)
    QFile::setPermissions(path, userOnly);
}

bool stillValid(const QSslCertificate& certificate) {
  // A day's margin, so that a run does not outlive its certificate.
  return certificate.expiryDate() > QDateTime::currentDateTimeUtc().addDays(1);
}

} // namespace

StandInStateFolder::StandInStateFolder(QString path) : m_path(std::move(path)) {
  if (!QDir().mkpath(m_path))
    fail(m_path, QStringLiteral("the folder cannot be made"));
  QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  loadOrMakeIdentities();
}

QString StandInStateFolder::filePath(const QString& name) const {
  return QDir(m_path).filePath(name);
}

QString StandInStateFolder::authorityFile() const {
  return filePath(authorityName);
}

void StandInStateFolder::loadOrMakeIdentities() {
  const auto certificate = readIfPresent(filePath(authorityName));
  const auto key = readIfPresent(filePath(authorityKeyName));
  const auto server = readIfPresent(filePath(serverName));
  const auto serverKey = readIfPresent(filePath(serverKeyName));
  const QString authorityPair = filePath(authorityName) + QStringLiteral(" and ") + authorityKeyName;
  if (bool(certificate) != bool(key))
    fail(authorityPair, QStringLiteral("one of the two is missing"));
  if (certificate && key) {
    try {
      m_authority = TestCertificateAuthority::fromPem(*certificate, *key, validDays);
    } catch (const std::runtime_error& error) {
      fail(authorityPair, QString::fromUtf8(error.what()));
    }
    if (server && serverKey) {
      m_identity = {QSslCertificate(*server, QSsl::Pem), QSslKey(*serverKey, QSsl::Ec, QSsl::Pem)};
      if (m_identity.certificate.isNull() || m_identity.key.isNull())
        fail(filePath(serverName), QStringLiteral("not a certificate and its key"));
      if (!m_authority->issued(m_identity.certificate))
        fail(filePath(serverName), QStringLiteral("not issued by the authority beside it"));
    }
    if (stillValid(m_authority->certificate()) && !m_identity.certificate.isNull() &&
        stillValid(m_identity.certificate))
      return;
    if (!stillValid(m_authority->certificate()))
      m_authority.emplace(QStringLiteral("Brindlewick Stand-in Authority"), validDays);
  } else {
    m_authority.emplace(QStringLiteral("Brindlewick Stand-in Authority"), validDays);
  }
  m_identity = m_authority->issueServerIdentity();
  write(filePath(authorityKeyName), m_authority->keyPem(), true);
  write(filePath(authorityName), m_authority->certificate().toPem(), false);
  write(filePath(serverKeyName), m_identity.key.toPem(), true);
  write(filePath(serverName), m_identity.certificate.toPem(), false);
}

void StandInStateFolder::keep(StandInAccounts& accounts) {
  const QString path = filePath(accountsName);
  if (const auto bytes = readIfPresent(path)) {
    try {
      accounts.restore(Json::parseObject(*bytes));
    } catch (const std::exception& error) {
      fail(path, QString::fromUtf8(error.what()));
    }
  }
  // The file holds bearer tokens.
  accounts.setOnChange([path, &accounts] { write(path, Json::serialize(accounts.toJson()), true); });
}

} // namespace brindlewick
