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
// when it is created, so no key is ever committed; only the stand-in program's state folder
// keeps one between its runs. A client trusts the stand-in by adding certificate() to its
// trusted authorities.
class TestCertificateAuthority {
public:
  // Tests need a day; the stand-in program's folder keeps its authority far longer.
  static constexpr int defaultValidDays = 1;

  explicit TestCertificateAuthority(const QString& commonName = QStringLiteral("Brindlewick Test Authority"),
                                    int validDays = defaultValidDays);
  // An authority read back from its certificate and private key (PEM), issuing certificates
  // valid for `validDays`; throws std::runtime_error when the two are unreadable or do not
  // belong together.
  static TestCertificateAuthority fromPem(const QByteArray& certificate, const QByteArray& key,
                                          int validDays = defaultValidDays);

  const QSslCertificate& certificate() const { return m_identity.certificate; }
  const QByteArray& keyPem() const { return m_keyPem; }
  // Whether this authority signed `certificate`.
  bool issued(const QSslCertificate& certificate) const;

  // A server certificate signed by this authority, valid for the given names and addresses.
  TlsIdentity issueServerIdentity(const QStringList& dnsNames = {QStringLiteral("localhost")},
                                  const QList<QHostAddress>& addresses = {
                                      QHostAddress(QHostAddress::LocalHost)});

private:
  struct Unset {};
  explicit TestCertificateAuthority(Unset) {}

  TlsIdentity m_identity;
  QByteArray m_keyPem;
  int m_validDays = defaultValidDays;
  long m_nextSerial = 2;
};

} // namespace brindlewick
