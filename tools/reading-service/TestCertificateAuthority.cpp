#include "TestCertificateAuthority.h"

#include <QDateTime>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <stdexcept>

namespace brindlewick {

namespace {

template <typename T, void (*Free)(T*)> struct Deleter {
  void operator()(T* value) const { Free(value); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;

void check(bool ok, const char* what) {
  if (!ok) {
    throw std::runtime_error(std::string("test certificate: ") + what + " failed");
  }
}

KeyPtr generateKey() {
  KeyPtr key(EVP_EC_gen("P-256"));
  check(key != nullptr, "key generation");
  return key;
}

void addExtension(X509* certificate, X509* issuer, int nid, const QByteArray& value) {
  X509V3_CTX context;
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_nconf_nid(nullptr, &context, nid, value.constData());
  check(extension != nullptr, "extension");
  X509_add_ext(certificate, extension, -1);
  X509_EXTENSION_free(extension);
}

CertPtr makeCertificate(EVP_PKEY* subjectKey, const QString& commonName, long serial, X509* issuer,
                        int validDays) {
  CertPtr certificate(X509_new());
  check(certificate != nullptr, "certificate allocation");
  X509_set_version(certificate.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), serial);
  // Valid from an hour ago (clock skew); a day is long enough for any test run.
  X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(certificate.get()), long(validDays) * 24 * 3600);
  X509_set_pubkey(certificate.get(), subjectKey);
  X509_NAME* name = X509_get_subject_name(certificate.get());
  const QByteArray cn = commonName.toUtf8();
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                             reinterpret_cast<const unsigned char*>(cn.constData()), -1, -1, 0);
  X509_set_issuer_name(certificate.get(), issuer ? X509_get_subject_name(issuer) : name);
  return certificate;
}

QByteArray pem(X509* certificate) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  check(PEM_write_bio_X509(bio.get(), certificate) == 1, "certificate export");
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return QByteArray(data, size);
}

QByteArray pem(EVP_PKEY* key) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  check(PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1, "key export");
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return QByteArray(data, size);
}

TlsIdentity toIdentity(X509* certificate, EVP_PKEY* key) {
  TlsIdentity identity{QSslCertificate(pem(certificate), QSsl::Pem), QSslKey(pem(key), QSsl::Ec, QSsl::Pem)};
  check(!identity.certificate.isNull() && !identity.key.isNull(), "conversion to Qt");
  return identity;
}

} // namespace

TestCertificateAuthority::TestCertificateAuthority(const QString& commonName, int validDays)
    : m_validDays(validDays) {
  KeyPtr key = generateKey();
  CertPtr certificate = makeCertificate(key.get(), commonName, 1, nullptr, validDays);
  addExtension(certificate.get(), certificate.get(), NID_basic_constraints, "critical,CA:TRUE");
  addExtension(certificate.get(), certificate.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
  addExtension(certificate.get(), certificate.get(), NID_subject_key_identifier, "hash");
  check(X509_sign(certificate.get(), key.get(), EVP_sha256()) > 0, "authority signature");
  m_identity = toIdentity(certificate.get(), key.get());
  m_keyPem = pem(key.get());
}

TestCertificateAuthority TestCertificateAuthority::fromPem(const QByteArray& certificate,
                                                           const QByteArray& key, int validDays) {
  BioPtr keyBio(BIO_new_mem_buf(key.constData(), int(key.size())));
  KeyPtr authorityKey(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr));
  BioPtr certBio(BIO_new_mem_buf(certificate.constData(), int(certificate.size())));
  CertPtr authority(PEM_read_bio_X509(certBio.get(), nullptr, nullptr, nullptr));
  check(authorityKey && authority, "authority reading");
  check(X509_check_private_key(authority.get(), authorityKey.get()) == 1, "authority key match");
  TestCertificateAuthority read{Unset{}};
  read.m_identity = toIdentity(authority.get(), authorityKey.get());
  read.m_keyPem = pem(authorityKey.get());
  read.m_validDays = validDays;
  // Serials of a new run must not repeat those the earlier runs issued.
  read.m_nextSerial = long(QDateTime::currentSecsSinceEpoch());
  return read;
}

bool TestCertificateAuthority::issued(const QSslCertificate& certificate) const {
  const QByteArray issuedPem = certificate.toPem();
  BioPtr issuedBio(BIO_new_mem_buf(issuedPem.constData(), int(issuedPem.size())));
  CertPtr issuedCertificate(PEM_read_bio_X509(issuedBio.get(), nullptr, nullptr, nullptr));
  BioPtr keyBio(BIO_new_mem_buf(m_keyPem.constData(), int(m_keyPem.size())));
  KeyPtr key(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr));
  return issuedCertificate && key && X509_verify(issuedCertificate.get(), key.get()) == 1;
}

TlsIdentity TestCertificateAuthority::issueServerIdentity(const QStringList& dnsNames,
                                                          const QList<QHostAddress>& addresses) {
  // Read the authority back from its PEM form: nothing of OpenSSL is kept between calls.
  BioPtr keyBio(BIO_new_mem_buf(m_keyPem.constData(), int(m_keyPem.size())));
  KeyPtr authorityKey(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr));
  const QByteArray authorityPem = m_identity.certificate.toPem();
  BioPtr certBio(BIO_new_mem_buf(authorityPem.constData(), int(authorityPem.size())));
  CertPtr authority(PEM_read_bio_X509(certBio.get(), nullptr, nullptr, nullptr));
  check(authorityKey && authority, "authority reload");

  KeyPtr key = generateKey();
  const QString commonName = dnsNames.isEmpty() ? QStringLiteral("stand-in") : dnsNames.first();
  CertPtr certificate = makeCertificate(key.get(), commonName, m_nextSerial++, authority.get(), m_validDays);
  QStringList alternativeNames;
  for (const QString& name : dnsNames) {
    alternativeNames << QStringLiteral("DNS:") + name;
  }
  for (const QHostAddress& address : addresses) {
    alternativeNames << QStringLiteral("IP:") + address.toString();
  }
  addExtension(certificate.get(), authority.get(), NID_basic_constraints, "critical,CA:FALSE");
  addExtension(certificate.get(), authority.get(), NID_key_usage, "critical,digitalSignature");
  addExtension(certificate.get(), authority.get(), NID_ext_key_usage, "serverAuth");
  addExtension(certificate.get(), authority.get(), NID_authority_key_identifier, "keyid:always");
  if (!alternativeNames.isEmpty()) {
    addExtension(certificate.get(), authority.get(), NID_subject_alt_name,
                 alternativeNames.join(',').toUtf8());
  }
  check(X509_sign(certificate.get(), authorityKey.get(), EVP_sha256()) > 0, "server signature");
  return toIdentity(certificate.get(), key.get());
}

} // namespace brindlewick
