#pragma once

#include <QHostAddress>
#include <QList>
#include <QSslCertificate>
#include <QSslKey>
#include <QStringList>

namespace brindlewick {

// A certificate and its private key, ready for a TLS server.
struct TlsIdentity {
  QSslCertificate certificate;
  QSslKey key;
};

// A throw-away certificate authority for the stand-in service: keys are generated in memory
// when it is created and never written anywhere, so no key is ever committed. A client trusts
// the stand-in by adding certificate() to its trusted authorities.
class TestCertificateAuthority {
public:
  explicit TestCertificateAuthority(const QString& commonName = QStringLiteral("Brindlewick Test Authority"));

  const QSslCertificate& certificate() const { return m_identity.certificate; }

  // A server certificate signed by this authority, valid for the given names and addresses.
  TlsIdentity issueServerIdentity(const QStringList& dnsNames = {QStringLiteral("localhost")},
                                  const QList<QHostAddress>& addresses = {
                                      QHostAddress(QHostAddress::LocalHost)});

private:
  TlsIdentity m_identity;
  QByteArray m_keyPem;
  long m_nextSerial = 2;
};

} // namespace brindlewick
